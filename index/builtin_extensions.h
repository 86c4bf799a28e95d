// The four extensions every table starts with when it is seeded: "cur", "exe", "ico", "lnk" at
// indexes 0-3. Their files carry icons of their own, so their records have an icon slot.
#pragma once

#include <cstdint>

namespace vessiko {

constexpr int32_t kBuiltinExtensionCount = 4;

}  // namespace vessiko
