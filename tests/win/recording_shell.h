// Shell actions and a browser that only note what they were asked, so that a test never starts
// Explorer, a shortcut's target, a context menu or a web page.
#pragma once

#include <string>
#include <vector>

#include "platform/url_opener.h"
#include "ui/shell_actions.h"

namespace vessiko::testing {

class RecordingShell final : public ShellActions {
 public:
  void revealInExplorer(std::u16string_view path) override {
    calls.push_back(u"reveal " + std::u16string(path));
  }
  void openShortcutTarget(std::u16string_view path) override {
    calls.push_back(u"shortcut " + std::u16string(path));
  }
  void showContextMenu(HWND, std::u16string_view folder, std::u16string_view name) override {
    calls.push_back(u"menu " + std::u16string(folder) + u"|" + std::u16string(name));
  }

  std::vector<std::u16string> calls;
};

class RecordingUrlOpener final : public UrlOpener {
 public:
  void openUrl(const std::string& url) override { opened.push_back(url); }

  std::vector<std::string> opened;
};

}  // namespace vessiko::testing
