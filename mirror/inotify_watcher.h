// InotifyWatcher: follows the mirrored tree while the program runs. One inotify watch per
// directory reports creations, deletions, renames and moves; its thread applies each of them
// through the MirrorEditor, which journals it, so the engine's journal monitors take it up
// within their polling interval.
//
// A move is a pair of events sharing a cookie. A "moved from" whose "moved to" does not follow
// left the tree; a "moved to" without its "moved from" came in from outside. A rename over an
// existing name replaces that entry. A directory that appears is read at once (its entries may
// have come before its watch). When the kernel drops events (its queue overflowed) the whole
// tree is compared again. When the kernel's watch limit is reached the status line says so
// once; folders without a watch are caught up at the next start.
//
// Thread safety: watch, bind and release are called by the tree's writer: the opening thread
// before start(), then the watcher's own thread. stop() may come from any thread.
#pragma once

#include <sys/inotify.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "mirror/mirror_editor.h"
#include "mirror/tree_reconciler.h"
#include "mirror/watch_registry.h"
#include "platform/user_messages.h"

namespace vessiko {

class InotifyWatcher : public WatchRegistry {
 public:
  explicit InotifyWatcher(UserMessages& messages) : messages_(messages) {}
  ~InotifyWatcher() override;
  InotifyWatcher(const InotifyWatcher&) = delete;
  InotifyWatcher& operator=(const InotifyWatcher&) = delete;

  // False when inotify cannot be had; the tree is then not followed while the program runs.
  bool open();

  int32_t watch(const std::string& path) override;
  void bind(int32_t watch, uint32_t record) override;
  void release(int32_t watch) override;

  // Starts applying the changes the watches report, from those queued since they were set.
  void start(MirrorEditor& editor, TreeReconciler& reconciler, std::string root);
  // Stops the thread and waits for it; changes after this are caught up at the next start.
  void stop();

 private:
  struct PendingMove {
    bool waiting = false;
    uint32_t cookie = 0;
    uint32_t directory = kNoNode;
    std::string name;
  };

  void run();
  void handle(const inotify_event& event);
  void settlePendingMove();
  // The entry `name` of `directory` as it is now on disk, made or replaced in the tree.
  void appear(uint32_t directory, std::string_view name);
  void moveEntry(uint32_t fromDirectory, std::string_view fromName, uint32_t toDirectory,
                 std::string_view toName);
  uint32_t directoryOf(int32_t watch) const;
  bool isWithin(uint32_t n, uint32_t top) const;

  UserMessages& messages_;
  int fd_ = -1;
  int stopFd_ = -1;
  std::thread thread_;
  MirrorEditor* editor_ = nullptr;
  TreeReconciler* reconciler_ = nullptr;
  std::string root_;
  std::vector<uint32_t> byWatch_;  // the directory each watch stands for
  PendingMove pending_;
  std::string path_;
  bool limitReported_ = false;
  bool rootReported_ = false;
};

}  // namespace vessiko
