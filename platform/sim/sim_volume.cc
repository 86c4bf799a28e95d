#include "platform/sim/sim_volume.h"

#include <algorithm>

#include "ntfs_model/metafiles.h"
#include "ntfs_model/volume_handle.h"

namespace vessiko {

namespace {

constexpr uint64_t kFirstDataLcn = 0x40;  // past the boot sectors and the MFT mirror
// The name pool is compacted once its dead units pass this and outweigh the live ones.
constexpr size_t kCompactNamesFrom = 1 << 20;

}  // namespace

SimVolume::SimVolume(const SimVolumeOptions& options)
    : options_(options),
      nextCluster_(kFirstDataLcn),
      journal_(options.journalIdBase, options.journalStartUsn, [this] { forgetUsns(); }),
      clock_(options.clockStart) {
  const FileTimes formatted{clock_, clock_, clock_, clock_};
  for (uint64_t n = 0; n < kFirstUserRecord; ++n) {
    Slot& s = slotFor(n);
    s.sequence = static_cast<uint16_t>(n == 0 ? 1 : n);
    s.times = formatted;
    if (n >= std::size(ntfs::kMetafiles)) {
      s.state = kFree;  // reserved: never handed out
      continue;
    }
    s.state = kInUse;
    s.attributes = ntfs::kAttributeHidden | ntfs::kAttributeSystem |
                   (ntfs::kMetafiles[n].directory ? ntfs::kAttributeDirectory : 0);
    setFirstName(s, kRootDirectory | uint64_t{kRootDirectory} << ntfs::kSequenceShift,
                 ntfs::kMetafiles[n].name, ntfs::file_name::kNamespaceWin32AndDos);
  }
  if (options_.journal)
    journal_.create(options_.journalMaximumSize, options_.journalAllocationDelta);
}

SimVolume::~SimVolume() = default;

std::unique_ptr<Volume> SimVolume::open() {
  return std::make_unique<VolumeHandle<SimVolume>>(shared_from_this());
}

// --- Slots ---

SimVolume::Slot* SimVolume::slotAt(uint64_t n) {
  const uint64_t chunk = n >> kChunkBits;
  if (chunk >= chunks_.size() || !chunks_[chunk]) return nullptr;
  return &chunks_[chunk][n & ((uint64_t{1} << kChunkBits) - 1)];
}

const SimVolume::Slot* SimVolume::slotAt(uint64_t n) const {
  return const_cast<SimVolume*>(this)->slotAt(n);
}

SimVolume::Slot& SimVolume::slotFor(uint64_t n) {
  const uint64_t chunk = n >> kChunkBits;
  if (chunk >= chunks_.size()) chunks_.resize(chunk + 1);
  if (!chunks_[chunk]) chunks_[chunk] = std::make_unique<Slot[]>(uint64_t{1} << kChunkBits);
  return *slotAt(n);
}

SimVolume::Slot* SimVolume::live(uint64_t file) {
  Slot* s = slotAt(recordOf(file));
  if (s == nullptr || s->state != kInUse || (s->flags & kExtension) != 0) return nullptr;
  if (sequenceOf(file) != 0 && sequenceOf(file) != s->sequence) return nullptr;
  return s;
}

const SimVolume::Slot* SimVolume::live(uint64_t file) const {
  return const_cast<SimVolume*>(this)->live(file);
}

SimVolume::Slot* SimVolume::userFile(uint64_t file) {
  return recordOf(file) >= kFirstUserRecord ? live(file) : nullptr;
}

SimVolume::Slot* SimVolume::changeable(uint64_t file) {
  Slot* s = userFile(file);
  if (s == nullptr) return nullptr;
  const auto it = open_.find(recordOf(file));
  return it != open_.end() && it->second.deletePending ? nullptr : s;
}

SimVolume::Slot* SimVolume::liveDirectory(uint64_t reference) {
  Slot* s = live(reference);
  if (s == nullptr || (s->attributes & ntfs::kAttributeDirectory) == 0) return nullptr;
  // Nothing enters a folder whose deletion is pending.
  const auto it = open_.find(recordOf(reference));
  return it != open_.end() && it->second.deletePending ? nullptr : s;
}

uint64_t SimVolume::referenceOf(uint64_t n, const Slot& s) {
  return n | uint64_t{s.sequence} << ntfs::kSequenceShift;
}

std::u16string_view SimVolume::firstName(const Slot& s) const {
  return std::u16string_view(namePool_).substr(s.nameOffset, s.nameLength);
}

void SimVolume::setFirstName(Slot& s, uint64_t parent, std::u16string_view name,
                             uint8_t nameSpace) {
  deadNameUnits_ += s.nameLength;
  s.nameLength = 0;
  if (deadNameUnits_ > kCompactNamesFrom && deadNameUnits_ > namePool_.size() / 2) {
    compactNames();
  }
  s.parent = parent;
  s.nameOffset = static_cast<uint32_t>(namePool_.size());
  s.nameLength = static_cast<uint8_t>(name.size());
  s.nameSpace = nameSpace;
  namePool_.append(name);
}

void SimVolume::compactNames() {
  std::u16string pool;
  pool.reserve(namePool_.size() - deadNameUnits_);
  for (auto& chunk : chunks_) {
    if (!chunk) continue;
    for (uint64_t i = 0; i < uint64_t{1} << kChunkBits; ++i) {
      Slot& s = chunk[i];
      if (s.nameLength == 0) continue;
      const auto offset = static_cast<uint32_t>(pool.size());
      pool.append(namePool_, s.nameOffset, s.nameLength);
      s.nameOffset = offset;
    }
  }
  namePool_.swap(pool);
  deadNameUnits_ = 0;
}

std::vector<SimVolume::Name> SimVolume::names(const Slot& s) const {
  std::vector<Name> all{{s.parent, std::u16string(firstName(s)), s.nameSpace}};
  if (s.extras) {
    if (!s.extras->dosName.empty()) {
      all.push_back({s.parent, s.extras->dosName, ntfs::file_name::kNamespaceDos});
    }
    all.insert(all.end(), s.extras->links.begin(), s.extras->links.end());
  }
  return all;
}

SimVolume::Extras& SimVolume::extras(Slot& s) {
  if (!s.extras) s.extras = std::make_unique<Extras>();
  return *s.extras;
}

bool SimVolume::allocateRecord(uint64_t requested, uint64_t* n) {
  if (requested != 0) {
    const Slot* s = slotAt(requested);
    if (requested < kFirstUserRecord || requested >= options_.mftZoneRecords ||
        (s != nullptr && s->state == kInUse)) {
      return false;
    }
    *n = requested;
  } else {
    *n = freeRecords_.empty() ? firstNeverUsed_ : std::min(*freeRecords_.begin(), firstNeverUsed_);
    if (*n >= options_.mftZoneRecords) return false;
  }
  Slot& s = slotFor(*n);
  if (s.state == kFree) freeRecords_.erase(*n);
  if (s.state == kNeverUsed) s.sequence = 1;
  s.state = kInUse;
  while (const Slot* t = slotAt(firstNeverUsed_)) {
    if (t->state == kNeverUsed) break;
    ++firstNeverUsed_;
  }
  highestUsed_ = std::max(highestUsed_, *n);
  return true;
}

void SimVolume::freeRecord(uint64_t n) {
  Slot& s = *slotAt(n);
  if (s.extras && s.extras->layout) {
    const Layout& layout = *s.extras->layout;
    for (uint64_t extension : layout.extensions)
      freeRecord(extension);
    clustersInUse_ -= layout.clusters() + layout.listClusters;
    if (layout.nonResidentList) listClusters_.erase(layout.listLcn);
  } else if (s.flags & kNonResident) {
    clustersInUse_ -= clustersFor(s.size);
  }
  open_.erase(n);
  deadNameUnits_ += s.nameLength;
  const uint16_t sequence = static_cast<uint16_t>(s.sequence + 1 == 0x10000 ? 1 : s.sequence + 1);
  s = Slot();
  s.state = kFree;
  s.sequence = sequence;
  freeRecords_.insert(n);
}

uint64_t SimVolume::allocateClusters(uint64_t count) {
  if (count == 0) return 0;
  uint64_t lcn = nextCluster_;
  if (lcn < mftZoneEndLcn() && lcn + count > options_.mftStartLcn) lcn = mftZoneEndLcn();
  // A free cluster after every allocation keeps runs of different allocations apart.
  nextCluster_ = lcn + count + 1;
  clustersInUse_ += count;
  return lcn;
}

uint64_t SimVolume::clustersFor(uint64_t bytes) const {
  return (bytes + options_.clusterSize - 1) / options_.clusterSize;
}

uint64_t SimVolume::mftRecordsAllocated() const {
  return (highestUsed_ + kMftGrowth) / kMftGrowth * kMftGrowth;
}

uint64_t SimVolume::mftZoneEndLcn() const {
  return options_.mftStartLcn +
         options_.mftZoneRecords * options_.recordSize / options_.clusterSize;
}

uint64_t SimVolume::totalClusters() const {
  return std::max({options_.totalClusters, mftZoneEndLcn(), nextCluster_});
}

// --- Journal writing ---

uint64_t SimVolume::tick() {
  const uint64_t now = clock_;
  clock_ += options_.clockStep;
  return now;
}

void SimVolume::log(uint64_t n, Slot& s, uint32_t reason, uint64_t parent,
                    std::u16string_view name) {
  UsnRecordFields fields;
  fields.fileReference = referenceOf(n, s);
  fields.parentReference = parent;
  fields.timeStamp = tick();
  fields.reason = reason;
  fields.attributes = s.attributes;
  fields.name = name;
  if (const std::optional<int64_t> usn = journal_.append(fields)) s.lastUsn = *usn;
}

void SimVolume::openLocked(uint64_t n) {
  OpenFile& f = open_[n];
  if (f.handles++ > 0) return;
  const Slot& s = *slotAt(n);
  f.parent = s.parent;
  f.name = firstName(s);
}

void SimVolume::closeLocked(uint64_t n) {
  OpenFile& f = open_[n];
  if (--f.handles > 0) return;
  Slot& s = *slotAt(n);
  if (f.deletePending) {
    log(n, s, f.reasons | ntfs::kReasonFileDelete | ntfs::kReasonClose, f.parent, f.name);
    freeRecord(n);
    return;
  }
  if (f.reasons != 0) log(n, s, f.reasons | ntfs::kReasonClose, f.parent, f.name);
  open_.erase(n);
}

void SimVolume::change(uint64_t n, uint32_t reason) {
  OpenFile& f = open_[n];
  if ((f.reasons | reason) == f.reasons) return;
  f.reasons |= reason;
  log(n, *slotAt(n), f.reasons, f.parent, f.name);
}

// A change made through one name of the file: its record names it even when the reason is not
// new (each link added or removed has its own), and the records after it name it too.
void SimVolume::changeName(uint64_t n, uint32_t reason, uint64_t parent, std::u16string_view name) {
  OpenFile& f = open_[n];
  f.parent = parent;
  f.name = name;
  f.reasons |= reason;
  log(n, *slotAt(n), f.reasons, f.parent, f.name);
}

// Takes one name off the file (0: the first, then the links in order). The last name leaves the
// file delete-pending, named by it until the last close.
void SimVolume::removeName(uint64_t n, Slot& s, size_t index) {
  std::vector<Name>* links = s.extras ? &s.extras->links : nullptr;
  openLocked(n);
  if (links == nullptr || links->empty()) {
    OpenFile& f = open_[n];
    f.parent = s.parent;
    f.name = firstName(s);
    f.deletePending = true;
  } else {
    const auto link = links->begin() + static_cast<ptrdiff_t>(index == 0 ? 0 : index - 1);
    if (index == 0) {
      // The next name becomes the first; the old first leaves the list in its place.
      Name first{s.parent, std::u16string(firstName(s)), s.nameSpace};
      setFirstName(s, link->parent, link->name, link->nameSpace);
      s.extras->dosName.clear();
      *link = std::move(first);
    }
    const Name removed = std::move(*link);
    links->erase(link);
    changeName(n, ntfs::kReasonHardLinkChange, removed.parent, removed.name);
    s.times.recordChange = clock_;
  }
  closeLocked(n);
}

// --- Building the MFT ---

uint64_t SimVolume::createLocked(const SimEntry& entry, bool journaled, bool leaveOpen) {
  if (entry.name.empty() || entry.name.size() > 255 || liveDirectory(entry.parent) == nullptr) {
    return 0;
  }
  const uint64_t parent = referenceOf(recordOf(entry.parent), *live(entry.parent));
  uint64_t n = 0;
  if (!allocateRecord(entry.recordNumber, &n)) return 0;
  Slot& s = *slotAt(n);
  if (entry.sequence != 0) s.sequence = entry.sequence;
  s.attributes = entry.attributes;
  s.size = (entry.attributes & ntfs::kAttributeDirectory) ? 0 : entry.size;
  s.times = entry.times ? *entry.times : FileTimes{clock_, clock_, clock_, clock_};
  setFirstName(s, parent, entry.name, entry.nameSpace);
  if (!settleData(n, s, 0)) {
    freeRecord(n);
    return 0;
  }
  if (journaled) {
    openLocked(n);
    change(n, ntfs::kReasonFileCreate);
    if (!leaveOpen) closeLocked(n);
  }
  return referenceOf(n, s);
}

uint64_t SimVolume::createQuietly(const SimEntry& entry) {
  std::lock_guard lock(mutex_);
  return createLocked(entry, false, false);
}

uint64_t SimVolume::create(const SimEntry& entry) {
  std::lock_guard lock(mutex_);
  return createLocked(entry, true, false);
}

uint64_t SimVolume::createOpen(const SimEntry& entry) {
  std::lock_guard lock(mutex_);
  return createLocked(entry, true, true);
}

bool SimVolume::setTimes(uint64_t file, const FileTimes& times) {
  std::lock_guard lock(mutex_);
  Slot* s = userFile(file);
  if (s == nullptr) return false;
  s->times = times;
  return true;
}

bool SimVolume::setDosName(uint64_t file, std::u16string_view dosName) {
  std::lock_guard lock(mutex_);
  Slot* s = userFile(file);
  if (s == nullptr || dosName.size() > 12 ||
      (s->extras && s->extras->layout && s->extras->layout->fileNameInExtension)) {
    return false;
  }
  const uint64_t n = recordOf(file);
  const std::u16string previous = s->extras ? s->extras->dosName : std::u16string();
  extras(*s).dosName = dosName;
  if (!settleData(n, *s, s->size)) {
    s->extras->dosName = previous;
    return false;
  }
  return true;
}

bool SimVolume::setFileNameSizes(uint64_t file, uint64_t allocatedSize, uint64_t dataSize) {
  std::lock_guard lock(mutex_);
  Slot* s = userFile(file);
  if (s == nullptr) return false;
  extras(*s).fileNameSizes = std::make_pair(allocatedSize, dataSize);
  return true;
}

bool SimVolume::fragment(uint64_t file, const SimFragmentation& f) {
  std::lock_guard lock(mutex_);
  Slot* s = userFile(file);
  if (s == nullptr || (s->attributes & ntfs::kAttributeDirectory) ||
      (s->extras && s->extras->layout)) {
    return false;
  }
  const uint64_t n = recordOf(file);
  const uint64_t clusters = clustersFor(s->size);
  const bool single = names(*s).size() == 1;
  const uint32_t extensionCount = f.extensionRecords + (f.fileNameInExtension ? 1 : 0);
  if (f.runs == 0 || f.runs > clusters || f.extensionRecords > f.runs ||
      ((f.nonResidentList || f.fileNameInExtension) && f.extensionRecords == 0) ||
      (f.fileNameInExtension && !single) ||
      freeRecords_.size() + (options_.mftZoneRecords - firstNeverUsed_) < extensionCount) {
    return false;
  }
  const uint8_t flags = s->flags;
  if (flags & kNonResident) clustersInUse_ -= clusters;
  s->flags |= kNonResident;
  auto layout = std::make_unique<Layout>();
  for (uint32_t r = 0; r < f.runs; ++r) {
    const uint64_t length = clusters / f.runs + (r < clusters % f.runs ? 1 : 0);
    layout->runs.push_back({allocateClusters(length), length});
  }
  layout->dataExtents = f.extensionRecords;
  layout->fileNameInExtension = f.fileNameInExtension;
  layout->nonResidentList = f.nonResidentList;
  for (uint32_t i = 0; i < extensionCount; ++i) {
    uint64_t e = 0;
    allocateRecord(0, &e);
    Slot& extension = *slotAt(e);
    extension.flags = kExtension;
    extension.parent = referenceOf(n, *s);
    layout->extensions.push_back(e);
  }
  Layout& placed = *(extras(*s).layout = std::move(layout));
  if (f.nonResidentList) {
    placed.listClusters = clustersFor(attributeList(n, *s).size());
    placed.listLcn = allocateClusters(placed.listClusters);
    listClusters_[placed.listLcn] = n;
  }
  bool fits = !buildRecord(n).empty();
  for (uint64_t e : placed.extensions)
    fits = fits && !buildRecord(e).empty();
  if (fits) return true;
  // Undone: the records taken stay free with their sequence numbers moved on, as after any use.
  for (uint64_t e : placed.extensions)
    freeRecord(e);
  clustersInUse_ -= placed.clusters() + placed.listClusters;
  if (placed.nonResidentList) listClusters_.erase(placed.listLcn);
  s->extras->layout.reset();
  s->flags = flags;
  if (flags & kNonResident) clustersInUse_ += clusters;
  return false;
}

// --- Changes ---

bool SimVolume::openFile(uint64_t file) {
  std::lock_guard lock(mutex_);
  if (changeable(file) == nullptr) return false;
  openLocked(recordOf(file));
  return true;
}

bool SimVolume::closeFile(uint64_t file) {
  std::lock_guard lock(mutex_);
  const uint64_t n = recordOf(file);
  const auto it = open_.find(n);
  if (userFile(file) == nullptr || it == open_.end() || it->second.handles == 0) return false;
  closeLocked(n);
  return true;
}

bool SimVolume::remove(uint64_t file) {
  std::lock_guard lock(mutex_);
  Slot* s = changeable(file);
  if (s == nullptr) return false;
  removeName(recordOf(file), *s, 0);
  return true;
}

bool SimVolume::rename(uint64_t file, uint64_t newParent, std::u16string_view newName) {
  std::lock_guard lock(mutex_);
  Slot* s = changeable(file);
  Slot* directory = liveDirectory(newParent);
  if (s == nullptr || directory == nullptr || newName.empty() || newName.size() > 255) {
    return false;
  }
  const uint64_t n = recordOf(file);
  const uint64_t parent = referenceOf(recordOf(newParent), *directory);
  const uint64_t oldParent = s->parent;
  const std::u16string oldName(firstName(*s));
  const std::u16string dosName = s->extras ? s->extras->dosName : std::u16string();
  openLocked(n);
  setFirstName(*s, parent, newName, s->nameSpace);
  if (s->extras) s->extras->dosName.clear();
  if (!settleData(n, *s, s->size)) {
    setFirstName(*s, oldParent, oldName, s->nameSpace);
    if (s->extras) s->extras->dosName = dosName;
    closeLocked(n);
    return false;
  }
  // The old name is the one renamed, whatever was named last; RENAME_OLD_NAME is the one reason
  // later records do not carry.
  log(n, *s, open_[n].reasons | ntfs::kReasonRenameOldName, oldParent, oldName);
  changeName(n, ntfs::kReasonRenameNewName, parent, newName);
  s->times.recordChange = clock_;
  closeLocked(n);
  return true;
}

bool SimVolume::writeData(uint64_t file, uint64_t newSize) {
  std::lock_guard lock(mutex_);
  Slot* s = changeable(file);
  if (s == nullptr || (s->attributes & ntfs::kAttributeDirectory)) return false;
  const uint64_t n = recordOf(file);
  const uint64_t oldSize = s->size;
  const uint64_t oldLcn = s->lcn;
  const uint8_t oldFlags = s->flags;
  const uint64_t oldClustersInUse = clustersInUse_;
  Layout* layout = s->extras ? s->extras->layout.get() : nullptr;
  const size_t oldRuns = layout != nullptr ? layout->runs.size() : 0;
  s->size = newSize;
  if (!settleData(n, *s, oldSize)) {
    // Undone; the clusters just handed out are left free.
    s->size = oldSize;
    s->lcn = oldLcn;
    s->flags = oldFlags;
    clustersInUse_ = oldClustersInUse;
    if (layout != nullptr) layout->runs.resize(oldRuns);
    return false;
  }
  const uint32_t reason = newSize > oldSize   ? ntfs::kReasonDataExtend
                          : newSize < oldSize ? ntfs::kReasonDataTruncation
                                              : ntfs::kReasonDataOverwrite;
  openLocked(n);
  change(n, reason);
  s->times.modification = s->times.recordChange = clock_;
  closeLocked(n);
  return true;
}

bool SimVolume::changeAttributes(uint64_t file, uint32_t attributes) {
  std::lock_guard lock(mutex_);
  Slot* s = changeable(file);
  if (s == nullptr) return false;
  const uint64_t n = recordOf(file);
  s->attributes =
      (attributes & ~ntfs::kAttributeDirectory) | (s->attributes & ntfs::kAttributeDirectory);
  openLocked(n);
  change(n, ntfs::kReasonBasicInfoChange);
  s->times.recordChange = clock_;
  closeLocked(n);
  return true;
}

bool SimVolume::addHardLink(uint64_t file, uint64_t parent, std::u16string_view name) {
  std::lock_guard lock(mutex_);
  Slot* s = changeable(file);
  Slot* directory = liveDirectory(parent);
  if (s == nullptr || directory == nullptr || name.empty() || name.size() > 255 ||
      (s->attributes & ntfs::kAttributeDirectory) ||
      (s->extras && s->extras->layout &&
       (s->extras->layout->fileNameInExtension || s->extras->layout->nonResidentList))) {
    return false;
  }
  const uint64_t n = recordOf(file);
  const uint64_t parentReference = referenceOf(recordOf(parent), *directory);
  extras(*s).links.push_back({parentReference, std::u16string(name), s->nameSpace});
  if (!settleData(n, *s, s->size)) {
    s->extras->links.pop_back();
    return false;
  }
  openLocked(n);
  changeName(n, ntfs::kReasonHardLinkChange, parentReference, name);
  s->times.recordChange = clock_;
  closeLocked(n);
  return true;
}

bool SimVolume::removeHardLink(uint64_t file, uint64_t parent, std::u16string_view name) {
  std::lock_guard lock(mutex_);
  Slot* s = changeable(file);
  if (s == nullptr) return false;
  auto named = [&](uint64_t p, std::u16string_view l) {
    return recordOf(p) == recordOf(parent) && l == name;
  };
  size_t index = 0;
  if (!named(s->parent, firstName(*s))) {
    if (!s->extras) return false;
    const std::vector<Name>& links = s->extras->links;
    const auto link = std::find_if(links.begin(), links.end(),
                                   [&](const Name& l) { return named(l.parent, l.name); });
    if (link == links.end()) return false;
    index = 1 + static_cast<size_t>(link - links.begin());
  }
  removeName(recordOf(file), *s, index);
  return true;
}

// --- Looking at the model ---

uint64_t SimVolume::reference(uint64_t recordNumber) const {
  std::lock_guard lock(mutex_);
  const Slot* s = live(recordOf(recordNumber));
  return s == nullptr ? 0 : referenceOf(recordOf(recordNumber), *s);
}

int64_t SimVolume::lastUsn(uint64_t file) const {
  std::lock_guard lock(mutex_);
  const Slot* s = live(file);
  return s == nullptr ? 0 : s->lastUsn;
}

uint64_t SimVolume::userFileCount() const {
  std::lock_guard lock(mutex_);
  uint64_t count = 0;
  for (size_t c = 0; c < chunks_.size(); ++c) {
    if (!chunks_[c]) continue;
    for (uint64_t i = 0; i < uint64_t{1} << kChunkBits; ++i) {
      const Slot& s = chunks_[c][i];
      const uint64_t n = c << kChunkBits | i;
      if (n >= kFirstUserRecord && s.state == kInUse && (s.flags & kExtension) == 0) ++count;
    }
  }
  return count;
}

size_t SimVolume::nameUnits() const {
  std::lock_guard lock(mutex_);
  return namePool_.size();
}

std::vector<uint64_t> SimVolume::extensionRecords(uint64_t file) const {
  std::lock_guard lock(mutex_);
  const Slot* s = live(file);
  if (s == nullptr || !s->extras || !s->extras->layout) return {};
  return s->extras->layout->extensions;
}

uint64_t SimVolume::attributeListCluster(uint64_t file) const {
  std::lock_guard lock(mutex_);
  const Slot* s = live(file);
  if (s == nullptr || !s->extras || !s->extras->layout) return 0;
  return s->extras->layout->listLcn;
}

// --- The journal ---

ChangeJournalState SimVolume::journal() const {
  std::lock_guard lock(mutex_);
  return journal_.state();
}

bool SimVolume::createJournal(uint64_t maximumSize, uint64_t allocationDelta,
                              std::optional<int64_t> startUsn) {
  std::lock_guard lock(mutex_);
  return journal_.create(maximumSize, allocationDelta, startUsn);
}

// A deletion makes every file forget its last USN.
void SimVolume::forgetUsns() {
  for (auto& chunk : chunks_) {
    if (!chunk) continue;
    for (uint64_t i = 0; i < uint64_t{1} << kChunkBits; ++i)
      chunk[i].lastUsn = 0;
  }
}

bool SimVolume::beginJournalDeletion(bool slow) {
  std::lock_guard lock(mutex_);
  return journal_.beginDeletion(slow);
}

void SimVolume::finishJournalDeletion() {
  std::lock_guard lock(mutex_);
  journal_.finishDeletion();
}

// --- Clock, clusters, damaged records ---

uint64_t SimVolume::clock() const {
  std::lock_guard lock(mutex_);
  return clock_;
}

void SimVolume::setClock(uint64_t fileTime) {
  std::lock_guard lock(mutex_);
  clock_ = fileTime;
}

void SimVolume::writeCluster(uint64_t lcn, std::span<const uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  writtenClusters_[lcn].assign(
      bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), options_.clusterSize));
}

void SimVolume::setRecordRewriter(RecordRewriter rewriter) {
  std::lock_guard lock(mutex_);
  rewriter_ = std::move(rewriter);
}

}  // namespace vessiko
