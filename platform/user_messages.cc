#include "platform/user_messages.h"

#include <cstdarg>
#include <cstdio>

namespace vessiko {

namespace {

// vsnprintf may cut a UTF-8 sequence in two; drop the broken tail.
std::string_view WholeCharacters(const char* text, size_t length) {
  size_t end = length;
  size_t lead = end;
  while (lead > 0 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80)
    --lead;
  if (lead > 0) {
    const auto c = static_cast<unsigned char>(text[lead - 1]);
    const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (end - (lead - 1) < need) end = lead - 1;
  }
  return std::string_view(text, end);
}

std::string_view Format(char* buffer, size_t capacity, const char* fmt, va_list args) {
  const int n = std::vsnprintf(buffer, capacity, fmt, args);
  if (n < 0) return {};
  const size_t length = static_cast<size_t>(n) < capacity ? static_cast<size_t>(n) : capacity - 1;
  return WholeCharacters(buffer, length);
}

}  // namespace

void ShowStatus(UserMessages& messages, int count, const char* fmt, ...) {
  char buffer[kStatusTextBytes];
  if (count != -1) {
    const int n = std::snprintf(buffer, sizeof buffer, "%d 个结果!", count);
    messages.showStatus(std::string_view(buffer, static_cast<size_t>(n)));
    return;
  }
  va_list args;
  va_start(args, fmt);
  const std::string_view text = Format(buffer, sizeof buffer, fmt, args);
  va_end(args);
  messages.showStatus(text);
}

void ShowError(UserMessages& messages, const char* fmt, ...) {
  static thread_local char buffer[kErrorTextBytes];
  va_list args;
  va_start(args, fmt);
  const std::string_view text = Format(buffer, sizeof buffer, fmt, args);
  va_end(args);
  messages.showMessage("错误", text, MessageIcon::kError);
}

}  // namespace vessiko
