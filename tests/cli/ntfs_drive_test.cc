// --ntfs end to end: a volume mkntfs made and ntfs-3g filled is searched from its file table as
// the tree written into it, whether it is mounted or not, alone and through the service; where it
// is mounted, its paths and scopes are the mount's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "cli/ntfs_drive.h"
#include "ntfs_model/usn_journal.h"
#include "platform/image_file.h"
#include "platform/ntfs_layout.h"
#include "tests/cli/vessiko_process.h"
#include "tests/mirror/temp_tree.h"
#include "tests/ntfs_image/made_volume.h"

namespace vessiko::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(const std::string& out, char end) {
  std::vector<std::string> items;
  for (size_t start = 0, stop; (stop = out.find(end, start)) != out.npos; start = stop + 1)
    items.push_back(out.substr(start, stop - start));
  std::sort(items.begin(), items.end());
  return items;
}

class NtfsDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image = made.path();
    mountPoint = made.folder() + "/mount";
    fs::create_directory(mountPoint);
    if (!HaveMkntfs() || !mount(false)) {
      GTEST_SKIP() << "mkntfs and an ntfs-3g (FUSE) mount are needed";
    }
    // A tree with what a search must get right: CJK, deep folders, a hard link in another
    // folder, data resident and not.
    std::string deep = "docs/深";
    for (int i = 0; i < 12; ++i)
      deep += "/level" + std::to_string(i);
    fs::create_directories(mountPoint + "/" + deep);
    fs::create_directories(mountPoint + "/photos");
    for (const std::string& name : {std::string("docs/report.txt"), std::string("docs/深/报告.doc"),
                                    deep + "/bottom.rep", std::string("notes.md")}) {
      std::ofstream(mountPoint + "/" + name) << std::string(name.size() * 300, 'x');
    }
    for (int i = 0; i < 40; ++i)
      std::ofstream(mountPoint + "/photos/IMG_" + std::to_string(1000 + i) + ".jpg") << i;
    fs::create_hard_link(mountPoint + "/docs/report.txt", mountPoint + "/photos/report copy.txt");
    walk();
    unmount();
  }
  void TearDown() override { unmount(); }

  bool mount(bool readOnly) {
    mounted.emplace(image, mountPoint, made.folder() + "/ntfs-3g.log", readOnly);
    if (mounted->failure().empty()) return true;
    mounted.reset();
    return false;
  }
  // Waits for ntfs-3g to write everything back.
  void unmount() { mounted.reset(); }
  // The tree as it stands in the mounted volume.
  void walk() {
    written.clear();
    for (const auto& entry : fs::recursive_directory_iterator(mountPoint))
      written.push_back(entry.path().string().substr(mountPoint.size() + 1));
    std::sort(written.begin(), written.end());
  }
  // The file reference of the entry at `path` in the volume (mounted), its sequence number
  // read from its record.
  uint64_t reference(const std::string& path) const {
    const uint64_t number = fs::path(path).empty() ? 5 : InodeOf(mountPoint + "/" + path);
    std::string error;
    std::unique_ptr<NtfsImageVolume> volume =
        NtfsImageVolume::Open(OpenImageFile(image, &error), &error);
    std::vector<uint8_t> record;
    if (!volume || !volume->readRecord(number, &record)) return 0;
    return number | uint64_t{FileRecordView(record.data(), 1024).sequenceNumber()} << 48;
  }
  static uint64_t InodeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  }
  // Writes $Extend\$UsnJrnl with identifier 77 and these records in $J, and $LogFile as
  // Windows leaves it.
  void writeJournal(const std::string& records) const {
    std::string sizes(32, '\0');
    sizes[0] = 1;  // a maximum size of 256 bytes: only the identifier matters here
    sizes[16] = 77;
    WriteJournal(made, sizes, records);
  }
  std::vector<std::string> with(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--ntfs", "E=" + image, "--db-dir", database.root()});
    return args;
  }
  // The paths written, as --paths prints them below `root`, with the root itself.
  std::vector<std::string> expected(const std::string& root) const {
    std::vector<std::string> paths{root};
    for (const std::string& path : written)
      paths.push_back(root + "/" + path);
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  MadeVolume made{32 << 20, ""};
  TempTree database;
  std::string image;
  std::string mountPoint;
  std::optional<Ntfs3gMount> mounted;
  std::vector<std::string> written;
};

TEST_F(NtfsDriveTest, AnUnmountedVolumeIsSearchedAsTheTreeWrittenIntoIt) {
  const Outcome first = RunVessiko(with({"-0", "?*"}));
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(Split(first.out, '\0'), expected("E:"));
  EXPECT_NE(first.err.find("(E:)盘没有USN日志，索引不会随文件的变化更新"), std::string::npos);
  // The saved index of a volume nobody follows is read anew, with the same answer.
  const Outcome again = RunVessiko(with({"-0", "?*"}));
  EXPECT_EQ(again.out, first.out);
  const Outcome report = RunVessiko(with({"--paths", "report"}));
  EXPECT_EQ(report.out, "E:/docs/report.txt\nE:/photos/report copy.txt\n");
  // Filters read the records: sizes from the volume's own.
  EXPECT_EQ(Split(RunVessiko(with({"-0", "--size", "gt,3,KB", "?*"})).out, '\0'),
            (std::vector<std::string>{"E:/docs/report.txt",
                                      "E:/docs/深/level0/level1/level2/level3/level4/level5/level6/"
                                      "level7/level8/level9/level10/level11/bottom.rep",
                                      "E:/docs/深/报告.doc", "E:/photos/report copy.txt"}));

  const std::vector<std::vector<std::string>> commands = {
      {"-0", "?*"}, {"--count", "IMG"}, {"报告"}};
  std::vector<Outcome> alone;
  for (const auto& command : commands)
    alone.push_back(RunVessiko(with(command)));
  ServiceVessiko service(with({}));
  ASSERT_TRUE(service.serving()) << service.err();
  for (size_t i = 0; i < commands.size(); ++i)
    EXPECT_EQ(RunVessiko(with(commands[i])).out, alone[i].out) << i;
  // The same letter as a mirrored tree is another drive.
  const Outcome other =
      RunVessiko({"--drive", "E=" + made.folder(), "--db-dir", database.root(), "x"});
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("serving E=" + image + " (NTFS)"), std::string::npos) << other.err;
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

TEST_F(NtfsDriveTest, AMountedVolumeShowsItsPathsAndTakesItsFoldersAsScopes) {
  ASSERT_TRUE(mount(true));
  EXPECT_EQ(Split(RunVessiko(with({"-0", "?*"})).out, '\0'), expected(mountPoint));
  std::vector<std::string> photos;
  for (const std::string& path : expected(mountPoint)) {
    if (path.rfind(mountPoint + "/photos/", 0) == 0) photos.push_back(path);
  }
  EXPECT_EQ(Split(RunVessiko(with({"-0", "--scope", mountPoint + "/photos", "?*"})).out, '\0'),
            photos);
  EXPECT_EQ(RunVessiko(with({"--paths", "--scope", mountPoint + "/docs/深", "bottom"})).out,
            mountPoint +
                "/docs/深/level0/level1/level2/level3/level4/level5/level6/level7/level8/"
                "level9/level10/level11/bottom.rep\n");
  EXPECT_EQ(RunVessiko(with({"--paths", "--scope-top", mountPoint + "/docs/深", "bottom"})).out,
            "");
  const auto top = std::count_if(written.begin(), written.end(),
                                 [](const std::string& p) { return p.find('/') == p.npos; });
  EXPECT_EQ(RunVessiko(with({"--count", "--scope-top", mountPoint, "?*"})).out,
            std::to_string(top) + "\n");
}

// A record of $J as Windows writes it, at the stream's end.
void Journal(std::string* j, uint64_t file, uint64_t parent, uint32_t reason,
             std::u16string_view name) {
  std::string record(UsnRecordLength(name.size()), '\0');
  WriteUsnRecord(
      reinterpret_cast<uint8_t*>(record.data()),
      {file, parent, static_cast<int64_t>(j->size()), 0, reason, ntfs::kAttributeArchive, name});
  *j += record;
}

TEST_F(NtfsDriveTest, TheJournalWindowsLeftCatchesTheSavedIndexUp) {
  std::string j;
  Journal(&j, reference("notes.md"), reference(""), ntfs::kReasonFileCreate, u"notes.md");
  j.resize(2048, '\0');  // too long to be resident, as $J always is
  writeJournal(j);
  const Outcome first = RunVessiko(with({"-0", "?*"}));
  EXPECT_EQ(Split(first.out, '\0'), expected("E:"));
  EXPECT_EQ(first.err.find("没有USN日志"), std::string::npos) << first.err;

  // Windows creates, renames and deletes, journaling each; pages end in zeros.
  ASSERT_TRUE(mount(false));
  const uint64_t gone = reference("photos/IMG_1000.jpg");
  const uint64_t photos = reference("photos");
  fs::remove(mountPoint + "/photos/IMG_1000.jpg");
  fs::rename(mountPoint + "/notes.md", mountPoint + "/docs/renamed.md");
  std::ofstream(mountPoint + "/docs/新的.txt") << "new";
  walk();
  unmount();
  j.resize(4096, '\0');
  const uint64_t notes = reference("");  // the root, as the parent of the old name
  ASSERT_TRUE(mount(true));
  const uint64_t moved = reference("docs/renamed.md");
  const uint64_t docs = reference("docs");
  const uint64_t created = reference("docs/新的.txt");
  unmount();
  Journal(&j, gone, photos, ntfs::kReasonFileDelete | ntfs::kReasonClose, u"IMG_1000.jpg");
  Journal(&j, moved, notes, ntfs::kReasonRenameOldName, u"notes.md");
  Journal(&j, moved, docs, ntfs::kReasonRenameNewName | ntfs::kReasonClose, u"renamed.md");
  Journal(&j, created, docs, ntfs::kReasonFileCreate | ntfs::kReasonClose, u"新的.txt");
  writeJournal(j);

  const Outcome second = RunVessiko(with({"-0", "?*"}));
  EXPECT_EQ(Split(second.out, '\0'), expected("E:"));
  EXPECT_NE(first.err.find("正在扫描"), std::string::npos);
  EXPECT_EQ(second.err.find("正在扫描"), std::string::npos) << "built anew: " << second.err;

  // Mounted read-write, the volume may change unjournaled: it is read anew, unfollowed; and so
  // it is after Linux had it, until Windows has it again.
  ASSERT_TRUE(mount(false));
  const Outcome live = RunVessiko(with({"-0", "?*"}));
  EXPECT_EQ(Split(live.out, '\0'), expected(mountPoint));
  EXPECT_NE(live.err.find("(E:)盘没有USN日志"), std::string::npos) << live.err;
  std::ofstream(mountPoint + "/docs/made on Linux.txt") << "unjournaled";
  walk();
  unmount();
  const Outcome after = RunVessiko(with({"-0", "?*"}));
  EXPECT_EQ(Split(after.out, '\0'), expected("E:"));
  EXPECT_NE(after.err.find("(E:)盘没有USN日志"), std::string::npos) << after.err;
}

TEST(MountPoint, IsFoundByTheSourceItNamesWithEscapesUndone) {
  TempTree folder;
  folder.writeFile("a b.img");
  const std::string info =
      "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "90 22 0:50 / /mnt/other rw,nosuid - fuseblk /tmp/elsewhere.img rw\n"
      "91 22 0:51 / /mnt/my\\040disk rw,nosuid shared:7 - fuseblk " +
      folder.root() + "/a\\040b.img rw,user_id=0\n";
  const MountPlace place = MountPlaceOf(info, folder.path("a b.img"));
  EXPECT_EQ(place.path, "/mnt/my disk");
  EXPECT_FALSE(place.readOnly);
  EXPECT_EQ(MountPlaceOf(info, folder.path("c.img")).path, "");
  EXPECT_EQ(MountPlaceOf("garbage\n- -\n\n", folder.path("a b.img")).path, "");
}

}  // namespace
}  // namespace vessiko::testing
