// The mirror over real temporary trees, read back through the volume's own control codes:
// enumeration for the whole tree, the change journal for what a start or the watcher wrote,
// and the file-record control code for sizes and times.
#include "mirror/directory_mirror.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "mirror/file_name_bytes.h"
#include "platform/fakes/memory_files.h"
#include "platform/fakes/recording_messages.h"
#include "platform/ntfs_layout.h"
#include "tests/mirror/temp_tree.h"
#include "tests/platform/sim_test_readers.h"

namespace vessiko {
namespace {

using simtest::Call;
using simtest::UsnRecords;

std::string BytesOf(const std::u16string& name) {
  std::string out;
  AppendFileNameBytes(name, &out);
  return out;
}

// Every entry of the volume from record 16 up, as the tree's walk lists them.
std::vector<std::string> VolumePaths(Volume& volume) {
  struct Entry {
    uint64_t parent;
    std::string name;
    bool directory;
  };
  std::map<uint64_t, Entry> entries;
  uint64_t start = 0;
  for (;;) {
    const simtest::Reply reply =
        Call(volume, ntfs::kEnumUsnData, simtest::EnumInput(start, 0, INT64_MAX), 65536);
    if (!reply.ok) break;
    for (const simtest::UsnRecord& r : UsnRecords(reply.bytes)) {
      entries[simtest::RecordNumber(r.file)] = {simtest::RecordNumber(r.parent), BytesOf(r.name),
                                                (r.attributes & ntfs::kAttributeDirectory) != 0};
    }
    start = simtest::Get64(reply.bytes.data());
  }
  std::vector<std::string> paths;
  for (const auto& [n, e] : entries) {
    if (n < 16) continue;
    std::string path = e.name;
    for (uint64_t at = e.parent; at != 5 && entries.count(at); at = entries[at].parent) {
      path = entries[at].name + "/" + path;
    }
    paths.push_back((e.directory ? "D " : "F ") + path);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

struct JournalData {
  uint64_t id = 0;
  int64_t firstUsn = 0;
  int64_t nextUsn = 0;
};

// The journal as FSCTL_QUERY_USN_JOURNAL gives it.
JournalData QueryJournal(Volume& volume) {
  const simtest::Reply reply = Call(volume, ntfs::kQueryUsnJournal, {}, 56);
  EXPECT_TRUE(reply.ok);
  if (!reply.ok) return {};
  return {simtest::Get64(reply.bytes.data()),
          static_cast<int64_t>(simtest::Get64(reply.bytes.data() + 8)),
          static_cast<int64_t>(simtest::Get64(reply.bytes.data() + 16))};
}

// The journal's closing records from `from` on, as "reasons name" with the reasons named.
std::vector<std::string> JournalSince(Volume& volume, int64_t from) {
  const simtest::Reply reply =
      Call(volume, ntfs::kReadUsnJournal,
           simtest::ReadInput(from, 0xFFFFFFFF, QueryJournal(volume).id), 1 << 20);
  std::vector<std::string> out;
  for (const simtest::UsnRecord& r : UsnRecords(reply.bytes)) {
    if ((r.reason & ntfs::kReasonClose) == 0) continue;
    std::string what;
    if (r.reason & ntfs::kReasonFileCreate) what += "create ";
    if (r.reason & ntfs::kReasonFileDelete) what += "delete ";
    if (r.reason & ntfs::kReasonRenameNewName) what += "rename ";
    out.push_back(what + BytesOf(r.name));
  }
  std::sort(out.begin(), out.end());
  return out;
}

class DirectoryMirrorTest : public ::testing::Test {
 protected:
  // Opens a run as the face does: fresh drives, the mirror of drive C.
  bool openRun(bool* fit) { return openRun(tree, fit); }
  bool openRun(const testing::TempTree& directory, bool* fit) {
    drives = std::make_unique<MirrorDrives>();
    mirror = std::make_unique<DirectoryMirror>('C', directory.root(), state.path("mirror_C.state"),
                                               SystemFiles(), SystemClock(), messages);
    if (!mirror->open(*drives, fit)) return false;
    uint32_t error = 0;
    handle = drives->openVolume(u"\\\\.\\C:", &error);
    return handle != nullptr;
  }
  Volume& volume() { return *handle; }
  void closeRun() {
    mirror->stopWatching();
    ASSERT_TRUE(mirror->saveState());
    mirror.reset();
    handle.reset();
  }
  // Waits until the volume lists what the tree holds, as the watcher should make it.
  bool converges() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (VolumePaths(volume()) != tree.walk()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  testing::TempTree tree;
  testing::TempTree state;
  RecordingMessages messages;
  std::unique_ptr<MirrorDrives> drives;
  std::unique_ptr<DirectoryMirror> mirror;
  std::unique_ptr<Volume> handle;
};

TEST_F(DirectoryMirrorTest, FirstRunFillsTheVolumeWithoutJournaling) {
  tree.makeDirectory("src");
  tree.makeDirectory("src/lib");
  tree.writeFile("src/lib/a.cc", 10);
  tree.writeFile(".profile");
  tree.symlink("src", "link");
  tree.writeFile(std::string("bad\xFF\xFEname", 9));
  bool fit = true;
  ASSERT_TRUE(openRun(&fit));
  EXPECT_FALSE(fit);
  EXPECT_EQ(VolumePaths(volume()), tree.walk());
  const JournalData journal = QueryJournal(volume());
  EXPECT_EQ(journal.firstUsn, journal.nextUsn);
}

TEST_F(DirectoryMirrorTest, ChangesWhileClosedAreJournaledOnceAsRenamesCreationsAndDeletions) {
  tree.makeDirectory("projects");
  tree.makeDirectory("projects/old");
  for (int i = 0; i < 5; ++i)
    tree.writeFile("projects/old/f" + std::to_string(i));
  tree.makeDirectory("archive");
  tree.writeFile("moved.txt");
  tree.writeFile("renamed.txt");
  tree.writeFile("deleted.txt");
  tree.writeFile("a");
  tree.writeFile("b");
  tree.writeFile("target");
  tree.writeFile("replacement");
  tree.makeDirectory("gone");
  tree.writeFile("gone/inside");
  tree.writeFile("shape");
  bool fit = false;
  ASSERT_TRUE(openRun(&fit));
  uint32_t oldRecord = 0;
  ASSERT_TRUE(mirror->folderRecord(tree.path("projects/old"), &oldRecord));
  const int64_t savedUsn = QueryJournal(volume()).nextUsn;
  const uint64_t journalId = QueryJournal(volume()).id;
  closeRun();

  // Creations first: an inode freed by a deletion and taken by a new file would read as a move.
  tree.makeDirectory("fresh");
  tree.writeFile("fresh/new.txt");
  tree.remove("shape");  // a file that became a folder of the same name
  tree.makeDirectory("shape");
  tree.rename("projects/old", "projects/new");  // a folder with children
  tree.rename("projects", "archive/projects");  // a folder moved into another
  tree.rename("moved.txt", "archive/moved.txt");
  tree.rename("renamed.txt", "renamed.md");
  tree.remove("deleted.txt");
  tree.remove("gone");
  tree.rename("a", "tmp");  // a swap of two names
  tree.rename("b", "a");
  tree.rename("tmp", "b");
  tree.rename("replacement", "target");  // a rename over an existing file

  ASSERT_TRUE(openRun(&fit));
  EXPECT_TRUE(fit);
  EXPECT_EQ(QueryJournal(volume()).id, journalId);
  EXPECT_EQ(QueryJournal(volume()).firstUsn, savedUsn);
  EXPECT_EQ(VolumePaths(volume()), tree.walk());
  // Each change once, and nothing for the children that moved with their folder.
  EXPECT_EQ(JournalSince(volume(), savedUsn),
            (std::vector<std::string>{"create fresh", "create new.txt", "create shape",
                                      "delete deleted.txt", "delete gone", "delete inside",
                                      "delete shape", "delete target", "rename a", "rename b",
                                      "rename moved.txt", "rename new", "rename projects",
                                      "rename renamed.md", "rename target"}));
  uint32_t newRecord = 0;
  ASSERT_TRUE(mirror->folderRecord(tree.path("archive/projects/new"), &newRecord));
  EXPECT_EQ(newRecord, oldRecord);
}

// A close that changed nothing puts the state it set aside back instead of writing it again.
TEST_F(DirectoryMirrorTest, AnUnchangedTreeKeepsItsStateFileAndAChangedOneWritesANewOne) {
  tree.makeDirectory("docs");
  tree.writeFile("docs/a.txt");
  // When the file was last written, 0 when there is none.
  const auto written = [&](const std::string& name) {
    struct stat st {};
    return ::stat(state.path(name).c_str(), &st) != 0
               ? 0
               : st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec;
  };
  bool fit = false;
  ASSERT_TRUE(openRun(&fit));
  closeRun();
  const long long first = written("mirror_C.state");
  ASSERT_NE(first, 0);
  ASSERT_TRUE(openRun(&fit));
  ASSERT_TRUE(fit);
  mirror->forgetState();
  EXPECT_EQ(written("mirror_C.state"), 0);
  ASSERT_TRUE(mirror->saveState());
  EXPECT_EQ(written("mirror_C.state"), first);
  EXPECT_EQ(written("mirror_C.state.aside"), 0);

  mirror->startWatching();
  tree.writeFile("docs/b.txt");
  ASSERT_TRUE(converges());
  mirror->stopWatching();
  mirror->forgetState();
  ASSERT_TRUE(mirror->saveState());
  EXPECT_NE(written("mirror_C.state"), first);
  closeRun();
  ASSERT_TRUE(openRun(&fit));
  EXPECT_TRUE(fit);
  EXPECT_EQ(VolumePaths(volume()), tree.walk());
  EXPECT_TRUE(JournalSince(volume(), QueryJournal(volume()).firstUsn).empty());
}

TEST_F(DirectoryMirrorTest, AStateOfAnotherTreeIsNotUsed) {
  tree.writeFile("one");
  bool fit = false;
  ASSERT_TRUE(openRun(&fit));
  const uint64_t journalId = QueryJournal(volume()).id;
  closeRun();
  // The same state file, now for another directory.
  testing::TempTree other;
  other.writeFile("two");
  ASSERT_TRUE(openRun(other, &fit));
  EXPECT_FALSE(fit);
  EXPECT_NE(QueryJournal(volume()).id, journalId);
  EXPECT_EQ(VolumePaths(volume()), other.walk());
}

TEST_F(DirectoryMirrorTest, TheWatcherJournalsChangesWhileRunning) {
  testing::TempTree outside;
  tree.makeDirectory("docs");
  tree.writeFile("docs/a.txt");
  outside.makeDirectory("incoming");
  outside.writeFile("incoming/x");
  bool fit = false;
  ASSERT_TRUE(openRun(&fit));
  mirror->startWatching();
  tree.writeFile("docs/b.txt");
  tree.makeDirectory("docs/sub");
  tree.writeFile("docs/sub/c.txt");
  ASSERT_TRUE(converges());
  tree.rename("docs", "papers");  // a folder with children
  tree.rename("papers/a.txt", "papers/sub/a.txt");
  tree.remove("papers/b.txt");
  ASSERT_TRUE(converges());
  // In from outside the tree, and out of it.
  ::rename(outside.path("incoming").c_str(), tree.path("incoming").c_str());
  ::rename(tree.path("papers/sub").c_str(), outside.path("sub").c_str());
  ASSERT_TRUE(converges());
  tree.writeFile("incoming/y");  // the folder that came in is watched too
  tree.writeFile("replacement");
  tree.rename("replacement", "incoming/x");
  ASSERT_TRUE(converges());
  closeRun();
}

TEST_F(DirectoryMirrorTest, TheWatcherFollowsChangesAgainAfterAStop) {
  tree.makeDirectory("docs");
  bool fit = false;
  ASSERT_TRUE(openRun(&fit));
  mirror->startWatching();
  tree.writeFile("docs/a.txt");
  ASSERT_TRUE(converges());
  mirror->stopWatching();
  tree.writeFile("docs/while stopped");
  mirror->startWatching();
  tree.writeFile("docs/b.txt");
  ASSERT_TRUE(converges());
  closeRun();
}

TEST_F(DirectoryMirrorTest, RecordsCarryTheRealFilesSizesAndTimes) {
  tree.writeFile("data.bin", 5000);
  tree.setTimes("data.bin", 1700000000, 1600000000);
  tree.writeFile("doomed");
  bool fit = false;
  ASSERT_TRUE(openRun(&fit));
  const auto record = [&](const std::string& name) {
    uint32_t n = 0;
    std::string path;
    for (uint32_t r = 16; r < 64 && n == 0; ++r) {
      if (mirror->pathOf(r, &path) && path == tree.path(name)) n = r;
    }
    std::vector<uint8_t> in(8);
    simtest::Put64(in.data(), n);
    const simtest::Reply reply = Call(volume(), ntfs::kGetNtfsFileRecord, in, 4096);
    return simtest::ParseFileRecord(reply.bytes.data() + 12, reply.bytes.size() - 12);
  };
  const simtest::FileRecord data = record("data.bin");
  ASSERT_FALSE(data.all(ntfs::attribute::kTypeFileName).empty());
  const std::vector<uint8_t>& value = data.all(ntfs::attribute::kTypeFileName)[0]->value;
  const uint64_t second = 10000000;
  const uint64_t epoch = 116444736000000000ULL;
  EXPECT_EQ(simtest::Get64(&value[ntfs::file_name::kDataSize]), 5000u);
  EXPECT_EQ(simtest::Get64(&value[ntfs::file_name::kRecordChange]), epoch + 1600000000 * second);
  EXPECT_EQ(simtest::Get64(&value[ntfs::file_name::kLastAccess]), epoch + 1700000000 * second);
  tree.remove("doomed");
  EXPECT_EQ(record("doomed").flags & 1, 0) << "a file that has gone is no record in use";
}

// The engine's volume handles share the volume with the drives and may outlive the mirror
// that made it.
TEST_F(DirectoryMirrorTest, TheVolumeHandsOutRecordsAfterTheMirrorIsGone) {
  tree.writeFile("data.bin", 5000);
  bool fit = false;
  ASSERT_TRUE(openRun(&fit));
  const uint32_t n = 16;
  std::string path;
  ASSERT_TRUE(mirror->pathOf(n, &path));
  ASSERT_EQ(path, tree.path("data.bin"));
  const std::unique_ptr<Volume> handle = std::move(this->handle);
  closeRun();
  drives.reset();
  std::vector<uint8_t> in(8);
  simtest::Put64(in.data(), n);
  const simtest::Reply reply = Call(*handle, ntfs::kGetNtfsFileRecord, in, 4096);
  ASSERT_TRUE(reply.ok);
  const simtest::FileRecord record =
      simtest::ParseFileRecord(reply.bytes.data() + 12, reply.bytes.size() - 12);
  ASSERT_FALSE(record.all(ntfs::attribute::kTypeFileName).empty());
  EXPECT_EQ(simtest::FileNameOf(*record.all(ntfs::attribute::kTypeFileName)[0]).name, u"data.bin");
}

}  // namespace
}  // namespace vessiko
