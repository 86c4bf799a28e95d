// The texts of the result view's size, time and attribute cells, widened for the list view.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/utf.h"
#include "search/result_cell_text.h"

namespace vessiko {

inline std::u16string SizeCell(uint64_t bytes) {
  return Utf8ToUtf16(SizeText(bytes));
}
inline std::u16string TimeCell(const CalendarTime& local) {
  return Utf8ToUtf16(TimeText(local));
}
inline std::u16string AttributeCell(uint32_t attributes, bool isDirectory) {
  return Utf8ToUtf16(AttributeText(attributes, isDirectory));
}

}  // namespace vessiko
