// Opens a web address in the user's browser: the shell's "open" on Windows, xdg-open on Linux.
#pragma once

#include <string>

namespace vessiko {

class UrlOpener {
 public:
  virtual ~UrlOpener() = default;
  // Returns without waiting for the browser; a failure to open is not reported.
  virtual void openUrl(const std::string& url) = 0;
};

UrlOpener& SystemUrlOpener();

}  // namespace vessiko
