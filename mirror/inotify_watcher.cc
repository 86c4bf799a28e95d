#include "mirror/inotify_watcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace vessiko {

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW |
                                IN_EXCL_UNLINK;
// How long a "moved from" waits for its "moved to": the kernel queues the two together, so
// only a move out of the tree waits this long.
constexpr int kMovePairingMilliseconds = 20;
constexpr size_t kEventBufferBytes = 64 * 1024;

NodeKind KindOfMode(mode_t mode) {
  return S_ISDIR(mode) ? NodeKind::kDirectory : S_ISREG(mode) ? NodeKind::kFile : NodeKind::kOther;
}

}  // namespace

InotifyWatcher::~InotifyWatcher() {
  stop();
  if (fd_ >= 0) close(fd_);
  if (stopFd_ >= 0) close(stopFd_);
}

bool InotifyWatcher::open() {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  stopFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd_ >= 0 && stopFd_ >= 0) return true;
  // The thread needs both, one to watch and one to be stopped by: with one alone, none runs.
  if (fd_ >= 0) close(fd_);
  if (stopFd_ >= 0) close(stopFd_);
  fd_ = stopFd_ = -1;
  return false;
}

int32_t InotifyWatcher::watch(const std::string& path) {
  if (fd_ < 0) return -1;
  const int wd = inotify_add_watch(fd_, path.c_str(), kWatchMask);
  if (wd < 0 && errno == ENOSPC && !limitReported_) {
    limitReported_ = true;
    messages_.showStatus(
        "The inotify watch limit is reached (fs.inotify.max_user_watches): changes in some "
        "folders show after the next start");
  }
  return wd;
}

void InotifyWatcher::bind(int32_t watch, uint32_t record) {
  if (watch < 0) return;
  if (static_cast<size_t>(watch) >= byWatch_.size()) byWatch_.resize(watch + 1024, kNoNode);
  byWatch_[watch] = record;
}

void InotifyWatcher::release(int32_t watch) {
  if (watch < 0) return;
  inotify_rm_watch(fd_, watch);
  if (static_cast<size_t>(watch) < byWatch_.size()) byWatch_[watch] = kNoNode;
}

void InotifyWatcher::start(MirrorEditor& editor, TreeReconciler& reconciler, std::string root) {
  if (fd_ < 0 || stopFd_ < 0 || thread_.joinable()) return;
  // The last stop is still counted: left there, it would end the new thread at once.
  uint64_t stops = 0;
  if (read(stopFd_, &stops, sizeof stops) < 0 && errno != EAGAIN) perror("eventfd");
  editor_ = &editor;
  reconciler_ = &reconciler;
  root_ = std::move(root);
  thread_ = std::thread([this] { run(); });
}

void InotifyWatcher::stop() {
  if (!thread_.joinable()) return;
  const uint64_t one = 1;
  if (write(stopFd_, &one, sizeof one) < 0) perror("eventfd");
  thread_.join();
}

uint32_t InotifyWatcher::directoryOf(int32_t watch) const {
  if (watch < 0 || static_cast<size_t>(watch) >= byWatch_.size()) return kNoNode;
  const uint32_t n = byWatch_[watch];
  const MirrorNode* node = editor_->tree().node(n);
  return node != nullptr && node->kind() == NodeKind::kDirectory ? n : kNoNode;
}

bool InotifyWatcher::isWithin(uint32_t n, uint32_t top) const {
  const MirrorTree& tree = editor_->tree();
  for (uint32_t at = n; at != kNoNode; at = tree.node(at)->parent) {
    if (at == top) return true;
    if (at == kRootNode) return false;
  }
  return false;
}

void InotifyWatcher::run() {
  alignas(struct inotify_event) static thread_local char buffer[kEventBufferBytes];
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    const int ready = poll(fds, 2, pending_.waiting ? kMovePairingMilliseconds : -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (fds[1].revents & POLLIN) != 0) return;
    if (ready == 0) {
      settlePendingMove();
      continue;
    }
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got <= 0) continue;
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
      handle(*event);
      at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
    }
  }
}

void InotifyWatcher::settlePendingMove() {
  if (!pending_.waiting) return;
  pending_.waiting = false;
  const uint32_t gone = editor_->tree().find(pending_.directory, pending_.name);
  if (gone != kNoNode && editor_->tree().node(pending_.directory) != nullptr) {
    editor_->removeTree(gone);
  }
}

void InotifyWatcher::handle(const inotify_event& event) {
  if ((event.mask & IN_Q_OVERFLOW) != 0) {
    pending_.waiting = false;
    reconciler_->walk(kRootNode, true);
    reconciler_->apply(*editor_);
    return;
  }
  const uint32_t directory = directoryOf(event.wd);
  if ((event.mask & IN_IGNORED) != 0) {
    // The watch ended with its directory (removed, or on a file system unmounted).
    if (directory != kNoNode && editor_->tree().watch(directory) == event.wd) {
      editor_->tree().setWatch(directory, -1);
    }
    if (static_cast<size_t>(event.wd) < byWatch_.size()) byWatch_[event.wd] = kNoNode;
    return;
  }
  if (directory == kNoNode) return;
  if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
    // Any other directory's parent reports its move or removal.
    if (directory == kRootNode && !rootReported_) {
      rootReported_ = true;
      messages_.showStatus("The mirrored folder " + root_ +
                           " was moved or removed: changes in it show after the next start");
    }
    return;
  }
  const std::string_view name(event.len > 0 ? event.name : "");
  if (name.empty()) return;
  if (pending_.waiting && !((event.mask & IN_MOVED_TO) != 0 && event.cookie == pending_.cookie)) {
    settlePendingMove();
  }
  if ((event.mask & IN_CREATE) != 0) {
    appear(directory, name);
  } else if ((event.mask & IN_DELETE) != 0) {
    const uint32_t gone = editor_->tree().find(directory, name);
    if (gone != kNoNode) editor_->removeTree(gone);
  } else if ((event.mask & IN_MOVED_FROM) != 0) {
    pending_.waiting = true;
    pending_.cookie = event.cookie;
    pending_.directory = directory;
    pending_.name.assign(name);
  } else if ((event.mask & IN_MOVED_TO) != 0) {
    if (pending_.waiting) {
      pending_.waiting = false;
      moveEntry(pending_.directory, pending_.name, directory, name);
    } else {
      appear(directory, name);
    }
  }
}

void InotifyWatcher::appear(uint32_t directory, std::string_view name) {
  MirrorTree& tree = editor_->tree();
  if (!tree.pathOf(root_, directory, &path_)) return;
  if (path_.back() != '/') path_.push_back('/');
  path_.append(name);
  struct statx st {};
  if (statx(AT_FDCWD, path_.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO, &st) != 0) {
    return;  // gone again; its removal follows
  }
  const NodeKind kind = KindOfMode(st.stx_mode);
  const uint32_t known = tree.find(directory, name);
  if (known != kNoNode) {
    const MirrorNode& node = *tree.node(known);
    if (node.inode == st.stx_ino && node.kind() == kind) return;
    editor_->removeTree(known);
  }
  const uint32_t made = editor_->create(directory, name, kind, st.stx_ino, 0, -1);
  if (made != kNoNode && kind == NodeKind::kDirectory) {
    reconciler_->walk(made, false);
    reconciler_->apply(*editor_);
  }
}

void InotifyWatcher::moveEntry(uint32_t fromDirectory, std::string_view fromName,
                               uint32_t toDirectory, std::string_view toName) {
  MirrorTree& tree = editor_->tree();
  const uint32_t moving =
      tree.node(fromDirectory) != nullptr ? tree.find(fromDirectory, fromName) : kNoNode;
  if (moving == kNoNode || isWithin(toDirectory, moving)) {
    appear(toDirectory, toName);
    return;
  }
  const uint32_t replaced = tree.find(toDirectory, toName);
  if (replaced != kNoNode && replaced != moving) editor_->removeTree(replaced);
  editor_->move(moving, toDirectory, toName);
}

}  // namespace vessiko
