#include "tests/ntfs_image/made_volume.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "ntfs_image/image_volume.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "volume/usn_record.h"

extern char** environ;

namespace vessiko::testing {

namespace {

// "name<separator>value" lines, the names without their indent and trailing blanks.
std::map<std::string, std::string> Fields(const std::string& text, const std::string& separator) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(separator);
    const size_t start = line.find_first_not_of('\t');
    if (at == std::string::npos || start == std::string::npos || start > at) continue;
    const size_t end = line.find_last_not_of(' ', at - 1);
    fields[line.substr(start, end + 1 - start)] = line.substr(at + separator.size());
  }
  return fields;
}

}  // namespace

std::string Run(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(("PATH=\"$PATH:/usr/sbin:/sbin\"; " + command).c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  pclose(pipe);
  return out;
}

Ntfs3gMount::Ntfs3gMount(const std::string& image, const std::string& point, const std::string& log,
                         bool readOnly)
    : point_(point) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const char* argv[] = {"ntfs-3g",     "-o",          readOnly ? "ro,no_detach" : "no_detach",
                        image.c_str(), point.c_str(), nullptr};
  const int spawned =
      posix_spawnp(&pid_, "ntfs-3g", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    pid_ = -1;
    failure_ = std::string("ntfs-3g cannot be started: ") + std::strerror(spawned);
    return;
  }
  // Mounted once the point lies on another device than the folder holding it.
  const std::string above = point + "/..";
  for (int wait = 0; wait < 1000; ++wait) {
    struct stat inside, outside;
    if (stat(point.c_str(), &inside) == 0 && stat(above.c_str(), &outside) == 0 &&
        inside.st_dev != outside.st_dev) {
      mounted_ = true;
      return;
    }
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      std::ifstream in(log);
      failure_ = "ntfs-3g cannot mount the image (FUSE missing?): " +
                 std::string(std::istreambuf_iterator<char>(in), {});
      return;
    }
    usleep(10000);
  }
  failure_ = "ntfs-3g did not mount the image within 10 s";
  unmount();
}

bool Ntfs3gMount::unmount() {
  bool clean = true;
  if (mounted_ && umount(point_.c_str()) != 0) {
    clean = false;
    kill(pid_, SIGTERM);  // it unmounts on its way out
  }
  mounted_ = false;
  if (pid_ > 0) {
    int status = 0;
    clean =
        waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0 && clean;
    pid_ = -1;
  }
  return clean;
}

void WriteJournal(const MadeVolume& volume, const std::string& sizes, const std::string& records,
                  bool windowsLast) {
  std::string log(4096, windowsLast ? '\0' : '\xFF');
  if (windowsLast) log.replace(0, 4, "RSTR");
  for (const auto& [file, bytes] :
       {std::pair<const char*, const std::string&>{"max", sizes}, {"j", records}, {"log", log}}) {
    std::ofstream(volume.folder() + "/" + file, std::ios::binary) << bytes;
  }
  const std::string in = "cd " + volume.folder() + " && ntfscp -f ";
  // $LogFile last: ntfscp empties one that holds a restart page.
  Run(in + "-N '$Max' volume.img max '/$Extend/$UsnJrnl' 2>&1");
  Run(in + "-N '$J' volume.img j '/$Extend/$UsnJrnl' 2>&1");
  Run(in + "-i volume.img log 2 2>&1");
}

bool HaveMkntfs() {
  return Run("command -v mkntfs && command -v ntfsinfo").find("ntfsinfo") != std::string::npos;
}

MadeVolume::MadeVolume(uint64_t bytes, const std::string& options) {
  char folder[] = "/tmp/vessiko-ntfs-XXXXXX";
  if (mkdtemp(folder) == nullptr) return;
  folder_ = folder;
  path_ = folder_ + "/volume.img";
  std::ofstream(path_).close();
  if (truncate(path_.c_str(), static_cast<off_t>(bytes)) != 0) return;
  Run("mkntfs -F -q -f -L test " + options + " " + path_ + " 2>&1");
  reload();
}

MadeVolume::~MadeVolume() {
  if (!folder_.empty()) Run("rm -rf " + folder_);
}

std::map<std::string, std::string> MadeVolume::info() const {
  return Fields(Run("ntfsinfo -m " + path_ + " 2>/dev/null"), ": ");
}

std::map<std::string, std::string> MadeVolume::clusterInfo() const {
  return Fields(Run("ntfscluster -f " + path_ + " 2>/dev/null"), ": ");
}

void MadeVolume::copyIn(const std::string& name, size_t size) {
  const std::string source = folder_ + "/source";
  std::ofstream out(source, std::ios::binary);
  std::mt19937 random(static_cast<uint32_t>(size));
  for (size_t i = 0; i < size; ++i)
    out.put(static_cast<char>(random()));
  out.close();
  Run("ntfscp " + path_ + " " + source + " '/" + name + "' 2>&1");
}

void MadeVolume::reload() {
  std::ifstream in(path_, std::ios::binary);
  bytes_.assign(std::istreambuf_iterator<char>(in), {});
}

bool MemoryImage::read(uint64_t offset, void* out, uint32_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  std::memcpy(out, bytes_.data() + offset, size);
  return true;
}

uint32_t ImageDrive::logicalDriveStrings(char16_t* buffer, uint32_t capacity) {
  if (capacity < 5) return 5;
  std::memcpy(buffer, u"D:\\\0", 5 * sizeof(char16_t));
  return 4;
}

uint32_t ImageDrive::driveType(const char16_t*) {
  return ntfs::kDriveFixed;
}

bool ImageDrive::volumeInformation(const char16_t*, char16_t* label, uint32_t labelCapacity,
                                   char16_t* fileSystem, uint32_t fileSystemCapacity) {
  if (labelCapacity > 0) label[0] = 0;
  if (fileSystemCapacity < 5) return false;
  std::memcpy(fileSystem, u"NTFS", 5 * sizeof(char16_t));
  return true;
}

std::unique_ptr<Volume> ImageDrive::openVolume(const char16_t*, uint32_t* error) {
  std::string why;
  std::unique_ptr<Volume> volume = NtfsImageVolume::Open(bytes_, &why);
  *error = volume == nullptr ? ntfs::kErrorFileCorrupt : 0;
  return volume;
}

std::vector<Listed> EnumerateAll(Volume& volume, uint32_t outSize, bool* ended) {
  namespace me = ntfs::mft_enum_data;
  std::vector<Listed> listed;
  std::vector<uint8_t> out(outSize);
  uint8_t in[me::kSize] = {};
  StoreU64(in + me::kHighUsn, static_cast<uint64_t>(INT64_MAX));
  *ended = false;
  for (;;) {
    uint32_t returned = 0;
    uint32_t error = 0;
    if (!volume.control(ntfs::kEnumUsnData, in, sizeof in, out.data(), outSize, &returned,
                        &error)) {
      *ended = error == ntfs::kErrorHandleEof;
      return listed;
    }
    ForEachUsnRecord(out.data(), returned, [&](const UsnRecord& r) {
      std::u16string name(r.nameLength, u'\0');
      for (uint32_t i = 0; i < r.nameLength; ++i)
        name[i] = static_cast<char16_t>(LoadU16(r.name + 2 * i));
      listed.push_back({name, r.recordNumber(), r.parentRecordNumber(), r.isDirectory()});
    });
    const uint64_t next = LoadU64(out.data());
    if (next <= LoadU64(in + me::kStartFileReferenceNumber)) {
      ADD_FAILURE() << "the enumeration does not move on from " << next;
      return listed;
    }
    StoreU64(in + me::kStartFileReferenceNumber, next);
  }
}

}  // namespace vessiko::testing
