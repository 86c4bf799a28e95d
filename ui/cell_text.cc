#include "ui/cell_text.h"

#include <cstdio>
#include <string>

#include "platform/utf.h"

namespace vessiko {

std::u16string SizeText(uint64_t bytes) {
  char text[64];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%d B", static_cast<int>(bytes));
  } else if (bytes < 1048576) {
    std::snprintf(text, sizeof text, "%0.2f KB", static_cast<double>(bytes) / 1024.0);
  } else if (bytes < 1073741824) {
    std::snprintf(text, sizeof text, "%0.2f MB", static_cast<double>(bytes) / 1048576.0);
  } else {
    std::snprintf(text, sizeof text, "%0.2f GB", static_cast<double>(bytes) / 1073741824.0);
  }
  // ASCII only: each byte widens to one unit.
  const std::string narrow(text);
  return std::u16string(narrow.begin(), narrow.end());
}

std::u16string TimeText(const CalendarTime& t) {
  const std::string text = std::to_string(t.year) + "年" + std::to_string(t.month) + "月" +
                           std::to_string(t.day) + "日 " + std::to_string(t.hour) + "时" +
                           std::to_string(t.minute) + "分";
  return utf8ToUtf16(text);
}

std::u16string AttributeText(uint32_t attributes, bool isDirectory) {
  constexpr uint32_t kHidden = 0x2;
  constexpr uint32_t kSystem = 0x4;
  std::string text;
  if ((attributes & (kHidden | kSystem)) == 0) {
    text = "[普通]";
  } else if ((attributes & kHidden) != 0 && (attributes & kSystem) != 0) {
    text = "[隐藏,系统]";
  } else {
    text = (attributes & kHidden) != 0 ? "[隐藏]" : "[系统]";
  }
  text += isDirectory ? "文件夹" : "文件";
  return utf8ToUtf16(text);
}

}  // namespace vessiko
