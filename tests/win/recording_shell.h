// Shell actions and a browser that only note what they were asked, so that a test never starts
// Explorer, a shortcut's target, a context menu or a web page.
#pragma once

#include <deque>
#include <string>
#include <utility>
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
  // The queued answers in order; cancelled when none is left.
  FolderChoice browseForFolder(HWND, std::u16string* path) override {
    if (folders_.empty()) return FolderChoice::kCancelled;
    auto [choice, chosen] = std::move(folders_.front());
    folders_.pop_front();
    *path = std::move(chosen);
    return choice;
  }
  void queueFolder(FolderChoice choice, std::u16string path = u"") {
    folders_.emplace_back(choice, std::move(path));
  }

  std::vector<std::u16string> calls;

 private:
  std::deque<std::pair<FolderChoice, std::u16string>> folders_;
};

class RecordingUrlOpener final : public UrlOpener {
 public:
  void openUrl(const std::string& url) override { opened.push_back(url); }

  std::vector<std::string> opened;
};

}  // namespace vessiko::testing
