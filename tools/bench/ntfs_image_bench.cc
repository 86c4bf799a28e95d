// Times indexing the NTFS volume in an image file, beside other ways to list the same entries:
//   - the engine's EnumerateVolumes over the image's bytes (NtfsImageVolume on OpenImageFile), from
//     opening the file to the sorted lists, in the phases enumeration_bench reports;
//   - a readdir walk of the tree (like find) through a fresh read-only ntfs-3g mount, the
//     reference the engine's count is checked against;
//   - enumeration_bench: EnumerateVolumes over a simulated volume of as many entries (its own
//     tree of that size, run as it is run on its own).
// The first two run cold (page cache dropped, which needs root) and warm.
//
//   build/linux-release/tools/bench/ntfs_image_bench IMAGE      (scripts/ntfs-image-bench)
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "index/index.h"
#include "ntfs_image/image_volume.h"
#include "platform/drives.h"
#include "platform/image_bytes.h"
#include "platform/image_file.h"
#include "platform/ntfs_layout.h"
#include "tools/bench/bench_clock.h"
#include "volume/enumeration.h"
#include "volume/volume_discovery.h"

extern char** environ;

namespace vessiko {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "ntfs_image_bench: %s\n", what.c_str());
  std::exit(1);
}

// The image's bytes as the program reads them (OpenImageFile), the reads counted: they show how
// the volume reads them.
class CountedImage : public ImageBytes {
 public:
  explicit CountedImage(const std::string& path) {
    std::string error;
    bytes_ = OpenImageFile(path, &error);
    if (!bytes_) Fail("cannot open " + path + ": " + error);
  }

  bool read(uint64_t offset, void* out, uint32_t size) override {
    ++reads;
    return bytes_->read(offset, out, size);
  }
  uint64_t size() const override { return bytes_->size(); }
  void prefetch(uint64_t offset, uint64_t size) override { bytes_->prefetch(offset, size); }

  uint64_t reads = 0;  // a plain count: one thread reads at a time here

 private:
  std::shared_ptr<ImageBytes> bytes_;
};

// One fixed NTFS drive, C:, whose volume is the image; the file is opened with the volume.
class ImageDrive : public Drives {
 public:
  explicit ImageDrive(std::string path) : path_(std::move(path)) {}
  uint32_t logicalDriveStrings(char16_t* buffer, uint32_t capacity) override {
    if (capacity < 5) return 5;
    std::memcpy(buffer, u"C:\\\0", 5 * sizeof(char16_t));
    return 4;
  }
  uint32_t driveType(const char16_t*) override { return ntfs::kDriveFixed; }
  bool volumeInformation(const char16_t*, char16_t* label, uint32_t labelCapacity,
                         char16_t* fileSystem, uint32_t fileSystemCapacity) override {
    if (labelCapacity > 0) label[0] = 0;
    if (fileSystemCapacity < 5) return false;
    std::memcpy(fileSystem, u"NTFS", 5 * sizeof(char16_t));
    return true;
  }
  std::unique_ptr<Volume> openVolume(const char16_t*, uint32_t* error) override {
    image = std::make_shared<CountedImage>(path_);
    std::string why;
    std::unique_ptr<Volume> volume = NtfsImageVolume::Open(image, &why);
    *error = volume == nullptr ? ntfs::kErrorFileCorrupt : 0;
    return volume;
  }

  std::shared_ptr<CountedImage> image;

 private:
  std::string path_;
};

// Notes the moment each status text appears: the phases of the enumeration.
class PhaseClock : public UserMessages {
 public:
  void showStatus(std::string_view) override { marks.push_back(clock.seconds()); }
  void showMessage(std::string_view, std::string_view, MessageIcon) override { ++boxes; }
  bool askYesNo(std::string_view, std::string_view, MessageIcon) override { return true; }

  Stopwatch clock;
  std::vector<double> marks;
  int boxes = 0;
};

struct Build {
  uint64_t entries = 0;  // below the root
  double open = 0;       // discovery: opening the volume, its data, the journal query
  double scan = 0;
  double link = 0;
  double sortFolders = 0;
  double sortFiles = 0;  // with the records laid out in list order
  double total() const { return open + scan + link + sortFolders + sortFiles; }
};

// Discovery and EnumerateVolumes over the drives' one volume, timed by phase, the result checked.
Build BuildIndex(Drives& drives) {
  PhaseClock phases;
  PrivateHeap heap(phases);
  Index index(heap, Collation::loadCollationTable());
  index.extensions.seedBuiltins();
  VolumeSlots slots(heap);
  DroppedVolumeRows rows;
  const double start = phases.clock.seconds();
  DiscoverVolumes(drives, slots, rows, phases);
  const double discovered = phases.clock.seconds();
  phases.marks.clear();
  if (EnumerateVolumes(index, slots, phases) != 0) Fail("EnumerateVolumes failed");
  const double end = phases.clock.seconds();
  // Scanning C, linking, sorting folders, sorting files.
  if (phases.marks.size() != 4 || phases.boxes != 0) Fail("status texts or message boxes");
  const FileOrder order = index.fileOrder();
  RecordRef previous = kNoRecord;
  index.files.forEach([&](RecordRef ref) {
    if (previous != kNoRecord && order(previous, ref) > 0) Fail("file order");
    previous = ref;
  });
  const auto& m = phases.marks;
  Build b;
  b.entries = index.dirs.itemCount() + index.files.itemCount() - 1;
  b.open = discovered - start;
  b.scan = m[1] - m[0];
  b.link = m[2] - m[1];
  b.sortFolders = m[3] - m[2];
  b.sortFiles = end - m[3];
  return b;
}

// Empties the page cache (root only), so that the next reads come from the disk.
bool DropPageCache() {
  sync();
  const int fd = open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool dropped = write(fd, "3", 1) == 1;
  close(fd);
  return dropped;
}

// A read-only ntfs-3g mount of the image on a folder of its own, for as long as it lives.
// no_detach keeps ntfs-3g this process's child, so that the unmount can wait for it.
class NtfsMount {
 public:
  explicit NtfsMount(const std::string& image) {
    char folder[] = "/tmp/vessiko-ntfs-mount.XXXXXX";
    if (mkdtemp(folder) == nullptr) Fail("mkdtemp failed");
    folder_ = folder;
    struct stat parent;
    if (stat("/tmp", &parent) != 0) Fail("stat /tmp failed");
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&quiet, 1, 2);
    const char* argv[] = {"ntfs-3g", "-o", "ro,no_detach", image.c_str(), folder_.c_str(), nullptr};
    const int spawned =
        posix_spawnp(&pid_, "ntfs-3g", &quiet, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) {
      pid_ = -1;
      rmdir(folder_.c_str());
      Fail("cannot run ntfs-3g: " + std::string(std::strerror(spawned)));
    }
    // Mounted once the folder lies on another device than its parent.
    for (int waited = 0; waited < 30000; ++waited) {
      struct stat st;
      if (stat(folder_.c_str(), &st) == 0 && st.st_dev != parent.st_dev) return;
      int status;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        rmdir(folder_.c_str());
        Fail("ntfs-3g could not mount " + image);
      }
      usleep(1000);
    }
    kill(pid_, SIGTERM);
    unmount();
    Fail("ntfs-3g did not mount " + image);
  }
  ~NtfsMount() { unmount(); }
  NtfsMount(const NtfsMount&) = delete;
  NtfsMount& operator=(const NtfsMount&) = delete;

  const std::string& folder() const { return folder_; }

 private:
  // Lazily, so that it cannot fail on a busy folder; ntfs-3g exits once nothing uses the mount.
  void unmount() {
    if (pid_ > 0) {
      umount2(folder_.c_str(), MNT_DETACH);
      int status;
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
    rmdir(folder_.c_str());
  }

  std::string folder_;
  pid_t pid_ = -1;
};

// The entries below the open folder `fd`, which it closes. Folders are known by d_type, or by
// fstatat where the file system leaves it unknown, as find does.
uint64_t CountBelow(int fd) {
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return 0;
  }
  uint64_t count = 0;
  while (const dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    ++count;
    bool folder = e->d_type == DT_DIR;
    struct stat st;
    if (e->d_type == DT_UNKNOWN && fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      folder = S_ISDIR(st.st_mode);
    }
    if (!folder) continue;
    const int child = openat(dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (child >= 0) count += CountBelow(child);
  }
  closedir(dir);
  return count;
}

struct Walk {
  uint64_t entries = 0;
  double mount = 0;
  double walk = 0;
};

Walk WalkMount(const std::string& image) {
  Walk w;
  Stopwatch mounting;
  NtfsMount mount(image);
  w.mount = mounting.seconds();
  Stopwatch walking;
  const int root = open(mount.folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root >= 0) w.entries = CountBelow(root);
  w.walk = walking.seconds();
  return w;
}

// enumeration_bench, from this program's folder, over a simulated volume of `entries` entries:
// its report, and the time EnumerateVolumes took in all.
double RunEnumerationBench(uint64_t entries, std::string* report) {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) Fail("cannot find this program's folder");
  const std::string program(self, static_cast<size_t>(length));
  const std::string command = "'" + program.substr(0, program.rfind('/') + 1) +
                              "enumeration_bench' " + std::to_string(entries);
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) Fail("cannot run " + command);
  char line[512];
  double total = -1;
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    *report += "  ";
    *report += line;
    std::sscanf(line, " EnumerateVolumes in all %lf", &total);
  }
  if (pclose(pipe) != 0 || total < 0) Fail(command + " failed");
  return total;
}

void PrintBuild(const Build& b) {
  std::printf("  open the volume, discovery         %7.3f s\n", b.open);
  std::printf("  scan (enumerate and build records) %7.3f s\n", b.scan);
  std::printf("  link parents                       %7.3f s\n", b.link);
  std::printf("  sort folders                       %7.3f s\n", b.sortFolders);
  std::printf("  sort files, lay records out        %7.3f s\n", b.sortFiles);
}

void Run(const std::string& path) {
  std::string error;
  {
    const std::unique_ptr<NtfsImageVolume> volume =
        NtfsImageVolume::Open(std::make_shared<CountedImage>(path), &error);
    if (volume == nullptr) Fail(path + ": " + error);
    const BootSectorGeometry& g = volume->geometry();
    std::printf("%s: %.1f GiB volume, %u-byte clusters, %llu file records\n", path.c_str(),
                static_cast<double>(g.totalClusters * g.bytesPerCluster) / (1 << 30),
                g.bytesPerCluster, static_cast<unsigned long long>(volume->recordCount()));
  }

  // Each ntfs-3g request is a round trip between two processes: other work on the machine
  // slows the walk most.
  char load[64] = "?";
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fgets(load, sizeof load, f) == nullptr) load[0] = '\0';
    std::fclose(f);
  }
  std::printf("%u hardware threads, load average %.14s\n", std::thread::hardware_concurrency(),
              load);

  const bool cold = DropPageCache();
  if (!cold) std::printf("(the page cache cannot be dropped, not root?): the cold runs are warm\n");
  ImageDrive coldDrive(path);
  const Build imageCold = BuildIndex(coldDrive);
  ImageDrive warmDrive(path);
  Build imageWarm = BuildIndex(warmDrive);
  // The best of three: the machine may be shared.
  for (int run = 0; run < 2; ++run) {
    ImageDrive drive(path);
    const Build b = BuildIndex(drive);
    if (b.total() < imageWarm.total()) imageWarm = b;
  }

  DropPageCache();
  const Walk walkCold = WalkMount(path);
  Walk walkWarm = WalkMount(path);
  for (int run = 0; run < 2; ++run) {
    const Walk w = WalkMount(path);
    if (w.mount + w.walk < walkWarm.mount + walkWarm.walk) walkWarm = w;
  }
  // The walk is the reference: another implementation reading the same volume.
  if (imageCold.entries != walkCold.entries || imageWarm.entries != walkCold.entries ||
      walkWarm.entries != walkCold.entries) {
    Fail("the entry counts differ: engine " + std::to_string(imageCold.entries) + " and " +
         std::to_string(imageWarm.entries) + ", ntfs-3g " + std::to_string(walkCold.entries) +
         " and " + std::to_string(walkWarm.entries));
  }

  std::string simulated;
  const double simulatedSeconds = RunEnumerationBench(walkCold.entries, &simulated);

  std::printf("\n%-38s %9s %9s %9s\n", "", "entries", "cold", "warm");
  std::printf("%-38s %9llu %7.3f s %7.3f s\n", "engine over the image",
              static_cast<unsigned long long>(imageCold.entries), imageCold.total(),
              imageWarm.total());
  std::printf("%-38s %9llu %7.3f s %7.3f s\n", "ntfs-3g: mount, readdir walk",
              static_cast<unsigned long long>(walkCold.entries), walkCold.mount + walkCold.walk,
              walkWarm.mount + walkWarm.walk);
  std::printf("%-38s %9llu %9s %7.3f s\n", "engine over a simulated volume",
              static_cast<unsigned long long>(walkCold.entries), "", simulatedSeconds);

  std::printf("\nEngine over the image, cold (%llu reads of the image):\n",
              static_cast<unsigned long long>(coldDrive.image->reads));
  PrintBuild(imageCold);
  std::printf("Engine over the image, warm (best of 3):\n");
  PrintBuild(imageWarm);
  std::printf(
      "ntfs-3g, cold: mount %.3f s, walk %.3f s; warm (best of 3): mount %.3f s, walk %.3f s\n",
      walkCold.mount, walkCold.walk, walkWarm.mount, walkWarm.walk);
  std::printf("enumeration_bench (its own tree):\n%s", simulated.c_str());
}

}  // namespace
}  // namespace vessiko

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ntfs_image_bench IMAGE\n");
    return 2;
  }
  vessiko::Run(argv[1]);
  return 0;
}
