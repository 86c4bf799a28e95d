#include "ui/failure_report.h"

#include <windows.h>

#include <new>
#include <system_error>

namespace vessiko {

namespace {

// Telling may itself run out of memory: then nothing is told.
void Tell(UserMessages& messages, const char* format, int code) noexcept {
  try {
    ShowError(messages, format, code);
  } catch (...) {
  }
}

}  // namespace

void ReportFailure(UserMessages& messages) noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    Tell(messages, "申请内存失败:%d", ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::system_error& failure) {
    Tell(messages, "系统调用失败:%d", failure.code().value());
  } catch (...) {
    Tell(messages, "系统调用失败:%d", -1);
  }
}

}  // namespace vessiko
