#include "mirror/mirror_drives.h"

#include <algorithm>
#include <string_view>

#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

// A letter A to Z or a to z as an index; -1 for anything else.
int LetterIndex(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c - u'A';
  if (c >= u'a' && c <= u'z') return c - u'a';
  return -1;
}

// Copies text and its NUL, cut to the capacity.
void CopyCut(std::u16string_view text, char16_t* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) return;
  const size_t units = std::min<size_t>(text.size(), capacity - 1);
  text.copy(buffer, units);
  buffer[units] = u'\0';
}

}  // namespace

void MirrorDrives::add(char letter, std::u16string label, std::shared_ptr<MirrorVolume> volume) {
  const int index = LetterIndex(static_cast<char16_t>(letter));
  if (index < 0) return;
  MutexLock lock(mutex_);
  drives_[static_cast<size_t>(index)] = {std::move(label), std::move(volume), nullptr};
}

void MirrorDrives::add(char letter, std::u16string label, std::shared_ptr<Volume> volume) {
  const int index = LetterIndex(static_cast<char16_t>(letter));
  if (index < 0) return;
  MutexLock lock(mutex_);
  drives_[static_cast<size_t>(index)] = {std::move(label), nullptr, std::move(volume)};
}

const MirrorDrives::Drive* MirrorDrives::driveOfRoot(const char16_t* root) const {
  if (root == nullptr) return nullptr;
  const int index = LetterIndex(root[0]);
  if (index < 0 || root[1] != u':' || root[2] != u'\\' || root[3] != u'\0') return nullptr;
  const Drive& d = drives_[static_cast<size_t>(index)];
  return d.volume || d.own ? &d : nullptr;
}

uint32_t MirrorDrives::logicalDriveStrings(char16_t* buffer, uint32_t capacity) {
  MutexLock lock(mutex_);
  std::u16string strings;
  for (size_t i = 0; i < drives_.size(); ++i) {
    if (!drives_[i].volume && !drives_[i].own) continue;
    strings += static_cast<char16_t>(u'A' + i);
    strings += u":\\";
    strings += u'\0';
  }
  const auto units = static_cast<uint32_t>(strings.size());
  if (capacity < units + 1) return units + 1;
  strings.copy(buffer, units);
  buffer[units] = u'\0';
  return units;
}

uint32_t MirrorDrives::driveType(const char16_t* root) {
  MutexLock lock(mutex_);
  return driveOfRoot(root) != nullptr ? ntfs::kDriveFixed : ntfs::kDriveNoRootDir;
}

bool MirrorDrives::volumeInformation(const char16_t* root, char16_t* label, uint32_t labelCapacity,
                                     char16_t* fileSystem, uint32_t fileSystemCapacity) {
  MutexLock lock(mutex_);
  const Drive* d = driveOfRoot(root);
  if (d == nullptr) return false;
  CopyCut(d->label, label, labelCapacity);
  CopyCut(u"NTFS", fileSystem, fileSystemCapacity);
  return true;
}

std::unique_ptr<Volume> MirrorDrives::openVolume(const char16_t* devicePath, uint32_t* error) {
  // Only "\\.\X:" opens a volume.
  const std::u16string_view path(devicePath);
  const int index = path.size() == 6 && path.substr(0, 4) == u"\\\\.\\" && path[5] == u':'
                        ? LetterIndex(path[4])
                        : -1;
  std::shared_ptr<MirrorVolume> volume;
  std::shared_ptr<Volume> own;
  if (index >= 0) {
    MutexLock lock(mutex_);
    volume = drives_[static_cast<size_t>(index)].volume;
    own = drives_[static_cast<size_t>(index)].own;
  }
  if (volume) return volume->open();
  std::unique_ptr<Volume> handle = own ? own->reopen() : nullptr;
  if (!handle) *error = ntfs::kErrorFileNotFound;
  return handle;
}

}  // namespace vessiko
