// The texts of a result row's size, time and attribute cells, as both faces show them (UTF-8).
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace vessiko {

// "1023 B", then two decimals in KB below 1 MiB, in MB below 1 GiB, and in GB above.
std::string SizeText(uint64_t bytes);

// A local time as "2024年3月5日 8时7分": no zero padding, no seconds.
std::string TimeText(const CalendarTime& local);

// "[普通]", "[隐藏]", "[系统]" or "[隐藏,系统]" by FILE_ATTRIBUTE_HIDDEN (2) and
// FILE_ATTRIBUTE_SYSTEM (4), followed by the kind: "文件夹" or "文件".
std::string AttributeText(uint32_t attributes, bool isDirectory);

}  // namespace vessiko
