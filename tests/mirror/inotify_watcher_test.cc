#include "mirror/inotify_watcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "mirror/mirror_editor.h"
#include "mirror/mirror_tree.h"
#include "mirror/mirror_volume.h"
#include "mirror/tree_reconciler.h"
#include "platform/fakes/recording_messages.h"
#include "tests/mirror/temp_tree.h"

namespace vessiko {
namespace {

// inotify granted but the stop signal refused: the watcher must not watch, for a thread it
// started could never be stopped.
TEST(InotifyWatcher, HalfOpenedWatchesNothingAndStopsAtOnce) {
  testing::TempTree tree;
  RecordingMessages messages;
  InotifyWatcher watcher(messages);
  // A descriptor limit that leaves exactly one free: inotify takes it, the eventfd finds none.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int next = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(next, 0);
  close(next);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(next) + 1;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  const bool opened = watcher.open();
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_FALSE(opened);
  ASSERT_LT(watcher.watch(tree.root()), 0);

  MirrorVolume volume(std::make_unique<MirrorTree>(1), tree.root(), 0, MirrorJournal());
  MirrorEditor editor(volume, &watcher, SystemClock());
  TreeReconciler reconciler(volume.tree(), tree.root(), 0, &watcher);
  watcher.start(editor, reconciler, tree.root());
  watcher.stop();
}

}  // namespace
}  // namespace vessiko
