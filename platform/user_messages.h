// What the system tells its user: the status line, message boxes and the yes/no question. Each
// face implements it (the Win32 dialog, the terminal) and the tests record it. Texts are UTF-8.
// Every operation may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/printf_check.h"

namespace vessiko {

enum class MessageIcon { kNone, kInformation, kWarning, kError };

class UserMessages {
 public:
  virtual ~UserMessages() = default;
  // Replaces the status line's text.
  virtual void showStatus(std::string_view text) = 0;
  // A modal box with an OK button; returns when the user has closed it.
  virtual void showMessage(std::string_view caption, std::string_view text, MessageIcon icon) = 0;
  // A modal Yes/No question; true for Yes.
  virtual bool askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) = 0;
  // The same question in a box of its own that leaves the main window usable, for a background
  // task whose question may come at any moment. Faces without windows ask as above.
  virtual bool askYesNoWithoutOwner(std::string_view caption, std::string_view text,
                                    MessageIcon icon) {
    return askYesNo(caption, text, icon);
  }
};

// Status line capacity and error box capacity in bytes; longer texts are cut at a character.
constexpr size_t kStatusTextBytes = 1024;
constexpr size_t kErrorTextBytes = 4096;

// With count -1 the status is the format filled in with the arguments; otherwise it is
// "%d 个结果!" with the count, and the format is not used.
void ShowStatus(UserMessages& messages, int count, const char* format, ...) VESSIKO_PRINTF(3, 4);

// An error box titled "错误" with the filled-in format; waits until it is closed.
void ShowError(UserMessages& messages, const char* format, ...) VESSIKO_PRINTF(2, 3);

}  // namespace vessiko
