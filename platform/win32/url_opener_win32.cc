#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/url_opener.h"
#include "platform/win32/wide_path.h"

namespace vessiko {

namespace {

class Win32UrlOpener final : public UrlOpener {
 public:
  void openUrl(const std::string& url) override {
    ShellExecuteW(nullptr, L"open", Widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
};

}  // namespace

UrlOpener& SystemUrlOpener() {
  static Win32UrlOpener opener;
  return opener;
}

}  // namespace vessiko
