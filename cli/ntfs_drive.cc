#include "cli/ntfs_drive.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "ntfs_model/metafiles.h"
#include "platform/image_file.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

// mountinfo writes a space, tab, newline or backslash in a path as \ and three octal digits.
std::string Unescaped(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const auto digit = [&](size_t k) { return field[i + k] >= '0' && field[i + k] <= '7'; };
      if (digit(1) && digit(2) && digit(3)) {
        out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                        (field[i + 3] - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  while (!line.empty()) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    line.remove_prefix(start);
    const size_t end = line.find(' ');
    words.push_back(line.substr(0, end));
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
  }
  return words;
}

bool SameFile(const std::string& a, const std::string& b) {
  char resolved[PATH_MAX];
  return a == b || (realpath(a.c_str(), resolved) != nullptr && b == resolved);
}

}  // namespace

MountPlace MountPlaceOf(std::string_view mountInfo, const std::string& source) {
  struct stat st {};
  const bool block = stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
  const std::string device =
      block ? std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)) : "";
  while (!mountInfo.empty()) {
    const size_t end = mountInfo.find('\n');
    const std::vector<std::string_view> w = Words(mountInfo.substr(0, end));
    mountInfo.remove_prefix(end == std::string_view::npos ? mountInfo.size() : end + 1);
    // id parent major:minor root mount-point options [optional...] - type source options
    size_t dash = 6;
    while (dash < w.size() && w[dash] != "-")
      ++dash;
    if (dash + 2 >= w.size()) continue;
    if ((block && w[2] == device) || SameFile(Unescaped(w[dash + 2]), source)) {
      return {Unescaped(w[4]), w[5].substr(0, 2) == "ro"};
    }
  }
  return {};
}

bool NtfsDrive::open(char driveLetter, const std::string& path, std::string* error) {
  letter = driveLetter;
  source = path;
  std::shared_ptr<ImageBytes> bytes = OpenImageFile(path, error);
  if (!bytes) return false;
  volume = NtfsImageVolume::Open(std::move(bytes), error);
  if (!volume) return false;
  std::ifstream in("/proc/self/mountinfo");
  const std::string info(std::istreambuf_iterator<char>(in), {});
  const MountPlace place = MountPlaceOf(info, source);
  if (!place.readOnly) volume->ignoreJournal();
  mountPoint = place.path;
  struct stat st {};
  if (!mountPoint.empty() && stat(mountPoint.c_str(), &st) == 0) {
    device = st.st_dev;
  } else {
    mountPoint.clear();
  }
  return true;
}

bool NtfsDrive::folderRecord(std::string_view path, uint32_t* record) const {
  if (mountPoint.empty() || path.substr(0, mountPoint.size()) != mountPoint) return false;
  if (path.size() > mountPoint.size() && path[mountPoint.size()] != '/' && mountPoint != "/") {
    return false;
  }
  struct stat st {};
  if (stat(std::string(path).c_str(), &st) != 0 || st.st_dev != device || !S_ISDIR(st.st_mode) ||
      (st.st_ino & ntfs::kRecordNumberMask48) > UINT32_MAX) {
    return false;
  }
  // The mount point itself is the root folder, whatever number the driver gives it.
  *record = path.size() == mountPoint.size()
                ? static_cast<uint32_t>(ntfs::kRootDirectoryRecord)
                : static_cast<uint32_t>(st.st_ino & ntfs::kRecordNumberMask48);
  return true;
}

}  // namespace vessiko
