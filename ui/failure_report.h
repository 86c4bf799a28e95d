// What an exception that reached the edge of a Win32 callback tells the user. The callback
// catches it there (nothing may unwind through the system's frames) and calls this from its
// catch block.
#pragma once

#include "platform/user_messages.h"

namespace vessiko {

// Memory that ran out says "申请内存失败:%d" as the index's heap does; a system call that
// failed (a thread that could not be started), "系统调用失败:%d" with its code. Never throws.
void ReportFailure(UserMessages& messages) noexcept;

}  // namespace vessiko
