#include "search/result_cell_text.h"

#include <cstdio>

#include "platform/ntfs_layout.h"

namespace vessiko {

std::string SizeText(uint64_t bytes) {
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
  return text;
}

std::string TimeText(const CalendarTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%d年%d月%d日 %d时%d分", t.year, t.month, t.day, t.hour,
                t.minute);
  return text;
}

std::string AttributeText(uint32_t attributes, bool isDirectory) {
  const bool hidden = (attributes & ntfs::kAttributeHidden) != 0;
  const bool system = (attributes & ntfs::kAttributeSystem) != 0;
  std::string text;
  if (!hidden && !system) {
    text = "[普通]";
  } else {
    text = "[";
    if (hidden) text += "隐藏,";
    if (system) text += "系统,";
    text.back() = ']';
  }
  text += isDirectory ? "文件夹" : "文件";
  return text;
}

}  // namespace vessiko
