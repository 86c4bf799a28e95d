#include "platform/posix/terminal_messages.h"

#include <unistd.h>

#include <string>

namespace vessiko {

void TerminalMessages::showStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

void TerminalMessages::showMessage(std::string_view caption, std::string_view text, MessageIcon) {
  std::lock_guard lock(mutex_);
  std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
}

bool TerminalMessages::askYesNo(std::string_view caption, std::string_view text, MessageIcon) {
  std::lock_guard lock(mutex_);
  FILE* tty = std::fopen("/dev/tty", "r+");
  if (tty == nullptr) return defaultAnswer_;
  std::fprintf(tty, "[%.*s]\n%.*s\n(y/n) ", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  std::fflush(tty);
  char line[64] = {};
  const bool got = std::fgets(line, sizeof line, tty) != nullptr;
  std::fclose(tty);
  if (!got) return defaultAnswer_;
  return line[0] == 'y' || line[0] == 'Y';
}

}  // namespace vessiko
