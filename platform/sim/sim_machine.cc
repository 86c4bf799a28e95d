#include "platform/sim/sim_machine.h"

#include <algorithm>
#include <stdexcept>

#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

size_t IndexOf(char letter) {
  const char upper =
      letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
  if (upper < 'A' || upper > 'Z') throw std::invalid_argument("not a drive letter");
  return static_cast<size_t>(upper - 'A');
}

// A letter of a path, A to Z or a to z, as an index; -1 for anything else.
int LetterIndex(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c - u'A';
  if (c >= u'a' && c <= u'z') return c - u'a';
  return -1;
}

// Copies text and its NUL, cut to the capacity.
void CopyCut(const std::u16string& text, char16_t* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) return;
  const size_t units = std::min<size_t>(text.size(), capacity - 1);
  text.copy(buffer, units);
  buffer[units] = u'\0';
}

// A volume that is not NTFS: it opens, but knows none of the NTFS control codes.
class ForeignVolume final : public Volume {
 public:
  bool control(uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t* returned,
               uint32_t* error) override {
    *returned = 0;
    *error = ntfs::kErrorInvalidFunction;
    return false;
  }
  bool readAt(uint64_t, void*, uint32_t, uint32_t* read, uint32_t* error) override {
    *read = 0;
    *error = ntfs::kErrorInvalidFunction;
    return false;
  }
  std::unique_ptr<Volume> reopen() override { return std::make_unique<ForeignVolume>(); }
};

}  // namespace

SimMachine::Drive& SimMachine::drive(char letter) {
  std::optional<Drive>& slot = drives_[IndexOf(letter)];
  if (!slot) throw std::invalid_argument("no such drive");
  return *slot;
}

SimMachine::Drive* SimMachine::driveOfRoot(const char16_t* root) {
  if (root == nullptr) return nullptr;
  const int index = LetterIndex(root[0]);
  if (index < 0 || root[1] != u':' || root[2] != u'\\' || root[3] != u'\0') return nullptr;
  std::optional<Drive>& slot = drives_[static_cast<size_t>(index)];
  return slot ? &*slot : nullptr;
}

SimVolume& SimMachine::addNtfsDrive(char letter, std::u16string label,
                                    const SimVolumeOptions& options) {
  std::lock_guard lock(mutex_);
  Drive& d = drives_[IndexOf(letter)].emplace();
  d.type = ntfs::kDriveFixed;
  d.fileSystem = u"NTFS";
  d.label = std::move(label);
  d.volume = std::make_shared<SimVolume>(options);
  return *d.volume;
}

void SimMachine::addDrive(char letter, uint32_t driveType, std::u16string fileSystem,
                          std::u16string label) {
  std::lock_guard lock(mutex_);
  Drive& d = drives_[IndexOf(letter)].emplace();
  d.type = driveType;
  d.fileSystem = std::move(fileSystem);
  d.label = std::move(label);
}

void SimMachine::removeDrive(char letter) {
  std::lock_guard lock(mutex_);
  drives_[IndexOf(letter)].reset();
}

SimVolume& SimMachine::volume(char letter) {
  return *sharedVolume(letter);
}

std::shared_ptr<SimVolume> SimMachine::sharedVolume(char letter) {
  std::lock_guard lock(mutex_);
  Drive& d = drive(letter);
  if (!d.volume) throw std::invalid_argument("not an NTFS drive");
  return d.volume;
}

VolumeFaults& SimMachine::faults(char letter) {
  std::lock_guard lock(mutex_);
  return *drive(letter).faults;
}

void SimMachine::setOpenError(char letter, uint32_t error) {
  std::lock_guard lock(mutex_);
  drive(letter).openError = error;
}

void SimMachine::setVolumeInformationFails(char letter, bool fails) {
  std::lock_guard lock(mutex_);
  drive(letter).informationFails = fails;
}

void SimMachine::setLowerCaseRoot(char letter, bool lower) {
  std::lock_guard lock(mutex_);
  drive(letter).lowerCaseRoot = lower;
}

uint32_t SimMachine::logicalDriveStrings(char16_t* buffer, uint32_t capacity) {
  std::lock_guard lock(mutex_);
  std::u16string strings;
  for (size_t i = 0; i < drives_.size(); ++i) {
    if (!drives_[i]) continue;
    const char16_t letter = static_cast<char16_t>((drives_[i]->lowerCaseRoot ? u'a' : u'A') + i);
    strings += letter;
    strings += u":\\";
    strings += u'\0';
  }
  const uint32_t units = static_cast<uint32_t>(strings.size());
  if (capacity < units + 1) return units + 1;
  strings.copy(buffer, units);
  buffer[units] = u'\0';
  return units;
}

uint32_t SimMachine::driveType(const char16_t* root) {
  std::lock_guard lock(mutex_);
  const Drive* d = driveOfRoot(root);
  return d == nullptr ? ntfs::kDriveNoRootDir : d->type;
}

bool SimMachine::volumeInformation(const char16_t* root, char16_t* label, uint32_t labelCapacity,
                                   char16_t* fileSystem, uint32_t fileSystemCapacity) {
  std::lock_guard lock(mutex_);
  const Drive* d = driveOfRoot(root);
  if (d == nullptr || d->informationFails) return false;
  CopyCut(d->label, label, labelCapacity);
  CopyCut(d->fileSystem, fileSystem, fileSystemCapacity);
  return true;
}

std::unique_ptr<Volume> SimMachine::openVolume(const char16_t* devicePath, uint32_t* error) {
  std::lock_guard lock(mutex_);
  // Only "\\.\X:" opens a volume.
  const std::u16string_view path(devicePath);
  const int index = path.size() == 6 && path.substr(0, 4) == u"\\\\.\\" && path[5] == u':'
                        ? LetterIndex(path[4])
                        : -1;
  const std::optional<Drive>* slot = index < 0 ? nullptr : &drives_[static_cast<size_t>(index)];
  if (slot == nullptr || !*slot) {
    *error = ntfs::kErrorFileNotFound;
    return nullptr;
  }
  const Drive& d = **slot;
  if (d.openError != 0) {
    *error = d.openError;
    return nullptr;
  }
  std::unique_ptr<Volume> handle = d.volume ? d.volume->open() : std::make_unique<ForeignVolume>();
  return std::make_unique<FaultyVolume>(std::move(handle), d.faults);
}

}  // namespace vessiko
