// A simulated NTFS volume: its MFT, its change journal and its clusters, answering the control
// codes and raw reads of a Volume byte for byte as Windows does. Tests build the MFT through
// this class; changes made through it append the journal records Windows writes for them.
//
// Ownership: a SimVolume lives in a shared_ptr (SimMachine holds one per NTFS drive); every
// Volume handle from open() shares ownership, so a handle stays valid after the machine that
// handed it out is gone. All members are safe to call from several threads: one mutex guards
// the whole model. Each handle runs the calls made on it one at a time, as a synchronous Windows
// handle does, so a call that waits (a journal read with BytesToWaitFor, a NOTIFY deletion)
// holds up the others on that handle only. Raw reads are unbuffered: offset, size and buffer
// must be sector-aligned.
//
// Files are named by their reference (record number | sequence << 48, as in USN records); a
// reference whose sequence is 0 names the record whatever its sequence.
//
// Enumeration gives one record per name of a file, hard links included but not DOS twins: the
// first name, then the links in order, all with the file's reference, last USN and attributes.
// A file's records never straddle two calls.
//
// Where Microsoft's documentation is silent the model chooses: an output buffer too small for the
// fixed part or for the first record (the first file's records, in enumeration) fails with
// ERROR_INSUFFICIENT_BUFFER; enumeration's first 8 bytes are the record number to start the next
// call from; a journal read with BytesToWaitFor waits until that many bytes follow StartUsn, for
// at most Timeout seconds (0: until they come); raw reads take whole sectors and stop at the end
// of the volume.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ntfs_model/change_journal.h"
#include "ntfs_model/file_record_builder.h"
#include "platform/ntfs_layout.h"
#include "platform/volume.h"

namespace vessiko {

struct SimVolumeOptions {
  uint32_t clusterSize = 4096;
  uint32_t recordSize = 1024;
  uint64_t totalClusters = uint64_t{1} << 27;
  uint64_t serialNumber = 0x5EC0'1D2A'77B4'0C13;
  uint64_t mftStartLcn = 786432;
  // The MFT zone holds this many records; record numbers stay below it.
  uint64_t mftZoneRecords = uint64_t{1} << 28;
  // The model's clock: FILETIME of its first tick (2024-01-01 00:00 UTC) and the ticks it
  // advances per journal record.
  uint64_t clockStart = 133485408000000000ULL;
  uint64_t clockStep = 10000;
  bool journal = true;
  uint64_t journalMaximumSize = 32ULL << 20;
  uint64_t journalAllocationDelta = 8ULL << 20;
  int64_t journalStartUsn = 0;
  // Journal identifiers are this value plus the number of journals made before.
  uint64_t journalIdBase = 0x01DA'3C5F'1E00'0000;
  // At most this many files (each with all its names) per FSCTL_ENUM_USN_DATA call; 0: as many
  // as fit. Windows may return fewer than fit, and a test may change the volume in between.
  uint32_t enumerationRecordsPerCall = 0;
};

// A new directory or file.
struct SimEntry {
  uint64_t parent = 5;  // a directory's reference or record number
  std::u16string name = {};
  uint32_t attributes = 0;  // ntfs::kAttribute*; kAttributeDirectory makes a directory
  uint64_t size = 0;        // of the data, for a file
  std::optional<FileTimes> times = std::nullopt;  // unset: the model's clock
  uint64_t recordNumber = 0;                      // 0: the lowest free from 16 up
  uint16_t sequence = 0;  // 0: the record's next (1 for a record never used)
  uint8_t nameSpace = ntfs::file_name::kNamespaceWin32;
};

// The layout of a heavily fragmented file's data.
struct SimFragmentation {
  uint32_t runs = 2;  // runs of clusters, none adjacent to the next
  // When not 0, the $DATA extents move to this many extension records, each holding one
  // extent as its first attribute, and the base record gets an $ATTRIBUTE_LIST.
  uint32_t extensionRecords = 0;
  bool nonResidentList = false;      // the $ATTRIBUTE_LIST lives in a cluster of the volume
  bool fileNameInExtension = false;  // the file's only $FILE_NAME moves to an extension record
};

class SimVolume : public std::enable_shared_from_this<SimVolume> {
 public:
  static constexpr uint64_t kRootDirectory = 5;
  static constexpr uint64_t kFirstUserRecord = 16;

  explicit SimVolume(const SimVolumeOptions& options = {});
  ~SimVolume();
  SimVolume(const SimVolume&) = delete;
  SimVolume& operator=(const SimVolume&) = delete;

  // A handle on this volume; it shares ownership of it. Needs the volume in a shared_ptr.
  std::unique_ptr<Volume> open();
  // What a handle's calls do.
  bool control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error);
  bool readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read, uint32_t* error);

  const SimVolumeOptions& options() const { return options_; }

  // --- Building the MFT. Each returns the new file's reference, or 0 when the parent is not a
  // directory in use, the record number is taken or out of range, or the names do not fit.
  // No journal record; the file's last USN stays 0.
  uint64_t createQuietly(const SimEntry& entry);
  // FILE_CREATE, then FILE_CREATE | CLOSE.
  uint64_t create(const SimEntry& entry);
  // FILE_CREATE, and the file stays open until closeFile().
  uint64_t createOpen(const SimEntry& entry);

  // Quiet edits of a file's description (no journal record). These and the changes below take
  // files from record 16 up, and are false when the file is not in use.
  bool setTimes(uint64_t file, const FileTimes& times);
  // A DOS 8.3 twin of the file's first name (empty: none).
  bool setDosName(uint64_t file, std::u16string_view dosName);
  // What every $FILE_NAME of the file says of its sizes, apart from the real ones.
  bool setFileNameSizes(uint64_t file, uint64_t allocatedSize, uint64_t dataSize);
  // Lays a file's data out in fragments. False for a directory, an empty file or one already
  // fragmented, fewer clusters than runs, or a layout that does not fit the records.
  bool fragment(uint64_t file, const SimFragmentation& layout);

  // --- Changes, journaled as Windows journals them. Reasons accumulate per file, whatever the
  // handle, from the first change until the last handle closes: a record is written whenever a
  // new reason appears, carrying all reasons so far, and the last close writes one more with
  // CLOSE naming the name last named. A change to a file that is not open opens and closes it
  // around the change. A file whose deletion is pending refuses every change and openFile() (as
  // Windows refuses to open it), and nothing is created, moved or linked into such a folder;
  // closeFile() still works. Directories open like files.
  bool openFile(uint64_t file);
  bool closeFile(uint64_t file);
  // What DeleteFile of one of its paths does. A file with one name is delete-pending: it stays,
  // named and enumerated, until its last close writes FILE_DELETE | CLOSE and frees the record.
  // A file with more names loses its first name only, as removeHardLink() of that name.
  bool remove(uint64_t file);
  // Renames or moves the file's first name: RENAME_OLD_NAME with the old name and parent, then
  // RENAME_NEW_NAME, which later records carry. A DOS twin of the old name is dropped.
  bool rename(uint64_t file, uint64_t newParent, std::u16string_view newName);
  // DATA_EXTEND, DATA_TRUNCATION or DATA_OVERWRITE as the size grows, shrinks or stays. False,
  // the file left as it was, when its records cannot hold the runs the new size needs.
  bool writeData(uint64_t file, uint64_t newSize);
  // BASIC_INFO_CHANGE. The directory bit cannot change.
  bool changeAttributes(uint64_t file, uint32_t attributes);
  // HARD_LINK_CHANGE naming the link, written for every link even when the reason is not new.
  // No links to directories, nor to a fragmented file whose list or name lives outside its base
  // record. Removing the first name makes the next one first; removing the last name leaves the
  // file delete-pending, as remove() does.
  bool addHardLink(uint64_t file, uint64_t parent, std::u16string_view name);
  bool removeHardLink(uint64_t file, uint64_t parent, std::u16string_view name);

  // --- Looking at the model.
  // The reference of the base record in use at this record number, or 0.
  uint64_t reference(uint64_t recordNumber) const;
  int64_t lastUsn(uint64_t file) const;
  // Base records in use from 16 up: the files enumeration returns with an open USN range.
  uint64_t userFileCount() const;
  // The extension records of a fragmented file, in $ATTRIBUTE_LIST order.
  std::vector<uint64_t> extensionRecords(uint64_t file) const;
  // The cluster that holds a non-resident $ATTRIBUTE_LIST, or 0.
  uint64_t attributeListCluster(uint64_t file) const;
  // The UTF-16 units the first names take, with those of renamed and freed files not yet
  // dropped.
  size_t nameUnits() const;

  // --- The journal.
  ChangeJournalState journal() const;
  // FSCTL_CREATE_USN_JOURNAL: new sizes for an active journal, or a new empty one starting at
  // `startUsn` (unset: where the last one ended, or the options' start for the first). False
  // while a deletion is in progress.
  bool createJournal(uint64_t maximumSize, uint64_t allocationDelta,
                     std::optional<int64_t> startUsn = std::nullopt);
  // FSCTL_DELETE_USN_JOURNAL with DELETE: every file's last USN becomes 0 and the journal is
  // "being deleted" until finishJournalDeletion() or a call with NOTIFY. A slow deletion, as on
  // a large volume, lasts until finishJournalDeletion() alone: a call with NOTIFY waits for it.
  // False when there is no journal or it is being deleted already.
  bool beginJournalDeletion(bool slow = false);
  void finishJournalDeletion();

  // --- The model's clock (FILETIME); journal records take it and advance it by clockStep.
  uint64_t clock() const;
  void setClock(uint64_t fileTime);

  // --- Clusters.
  // Bytes a raw read returns for a cluster that holds nothing else (the cluster's size at most).
  void writeCluster(uint64_t lcn, std::span<const uint8_t> bytes);

  // --- Damaged records (failing and cut calls are the handle's: see VolumeFaults).
  // Called on every FILE record handed out (by the control code or raw reads) before it
  // leaves, in its in-memory form; it may rewrite any byte. It runs under the model's lock, so
  // it must not call the volume. An empty function clears it.
  using RecordRewriter = std::function<void(uint64_t recordNumber, std::span<uint8_t> record)>;
  void setRecordRewriter(RecordRewriter rewriter);

 private:
  struct Name {
    uint64_t parent;
    std::u16string name;
    uint8_t nameSpace;
  };
  // A fragmented file's runs and extension records.
  struct Layout {
    std::vector<AllocatedRun> runs;
    // Extension records in $ATTRIBUTE_LIST order: the $FILE_NAME's first when it moved, then
    // one per $DATA extent.
    std::vector<uint64_t> extensions;
    uint32_t dataExtents = 0;
    bool fileNameInExtension = false;
    bool nonResidentList = false;
    uint64_t listLcn = 0;
    uint64_t listClusters = 0;

    uint64_t clusters() const {
      uint64_t total = 0;
      for (const AllocatedRun& run : runs)
        total += run.length;
      return total;
    }
    // The first run of extent j; the extents share the runs evenly.
    size_t extentBegin(uint32_t j) const { return j * runs.size() / dataExtents; }
  };
  // What few files need: more names, stated sizes, a fragmented layout.
  struct Extras {
    std::vector<Name> links;  // names after the first
    std::u16string dosName;
    std::optional<std::pair<uint64_t, uint64_t>> fileNameSizes;
    std::unique_ptr<Layout> layout;
  };
  // One MFT slot. Kept small: a volume of a million files holds a million of these.
  struct Slot {
    uint64_t parent = 0;  // the first name's parent; an extension record's base reference
    uint64_t size = 0;
    int64_t lastUsn = 0;
    FileTimes times;
    uint64_t lcn = 0;         // first cluster of non-resident, unfragmented data
    uint32_t nameOffset = 0;  // the first name, in namePool_
    uint32_t attributes = 0;
    uint16_t sequence = 0;
    uint8_t nameLength = 0;
    uint8_t nameSpace = 0;
    uint8_t state = 0;  // kNeverUsed, kFree, kInUse
    uint8_t flags = 0;  // kNonResident, kExtension
    std::unique_ptr<Extras> extras;
  };
  struct OpenFile {
    int handles = 0;
    uint32_t reasons = 0;
    bool deletePending = false;
    uint64_t parent = 0;  // the name the journal records carry
    std::u16string name;
  };
  // How a file's $DATA is laid out.
  struct DataShape {
    bool resident = true;
    uint64_t size = 0;
    uint64_t allocated = 0;
    std::vector<AllocatedRun> runs;
  };

  static constexpr uint8_t kNeverUsed = 0, kFree = 1, kInUse = 2;
  static constexpr uint8_t kNonResident = 1, kExtension = 2;
  static constexpr uint32_t kChunkBits = 12;
  // The MFT grows in steps of this many records; the slots past the last record in use hold no
  // record at all.
  static constexpr uint64_t kMftGrowth = 64;
  static constexpr uint32_t kIndexBlockSize = 4096;

  static uint64_t recordOf(uint64_t reference) { return reference & ntfs::kRecordNumberMask48; }
  static uint16_t sequenceOf(uint64_t reference) {
    return static_cast<uint16_t>(reference >> ntfs::kSequenceShift);
  }

  Slot* slotAt(uint64_t n);
  const Slot* slotAt(uint64_t n) const;
  Slot& slotFor(uint64_t n);
  Slot* live(uint64_t file);
  const Slot* live(uint64_t file) const;
  Slot* userFile(uint64_t file);            // live, and not a metafile
  Slot* changeable(uint64_t file);          // a user file whose deletion is not pending
  Slot* liveDirectory(uint64_t reference);  // in use and not delete-pending
  static uint64_t referenceOf(uint64_t n, const Slot& s);
  std::u16string_view firstName(const Slot& s) const;
  // Any view of a first name is invalid afterwards: the pool may be compacted.
  void setFirstName(Slot& s, uint64_t parent, std::u16string_view name, uint8_t nameSpace);
  void compactNames();
  std::vector<Name> names(const Slot& s) const;
  Extras& extras(Slot& s);

  bool allocateRecord(uint64_t requested, uint64_t* n);
  void freeRecord(uint64_t n);
  uint64_t allocateClusters(uint64_t count);
  uint64_t clustersFor(uint64_t bytes) const;
  uint64_t mftRecordsAllocated() const;
  uint64_t mftZoneEndLcn() const;
  uint64_t totalClusters() const;

  DataShape dataShape(uint64_t n, const Slot& s) const;
  uint32_t baseRecordBytes(uint64_t n, const Slot& s) const;
  bool settleData(uint64_t n, Slot& s, uint64_t oldSize);
  std::vector<uint8_t> attributeList(uint64_t n, const Slot& s) const;
  std::vector<uint8_t> buildRecord(uint64_t n) const;
  std::vector<uint8_t> recordForCaller(uint64_t n) const;

  uint64_t tick();
  void log(uint64_t n, Slot& s, uint32_t reason, uint64_t parent, std::u16string_view name);
  void openLocked(uint64_t n);
  void closeLocked(uint64_t n);
  void change(uint64_t n, uint32_t reason);
  void changeName(uint64_t n, uint32_t reason, uint64_t parent, std::u16string_view name);
  void removeName(uint64_t n, Slot& s, size_t index);
  uint64_t createLocked(const SimEntry& entry, bool journaled, bool leaveOpen);
  void forgetUsns();

  uint32_t volumeData(uint8_t* out, uint32_t outSize, uint32_t* returned) const;
  uint32_t enumerate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                     uint32_t* returned) const;
  uint32_t fileRecord(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                      uint32_t* returned) const;

  const SimVolumeOptions options_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Slot[]>> chunks_;
  std::u16string namePool_;
  size_t deadNameUnits_ = 0;  // of names replaced or freed, until the pool is compacted
  std::set<uint64_t> freeRecords_;
  uint64_t firstNeverUsed_ = kFirstUserRecord;
  uint64_t highestUsed_ = kFirstUserRecord - 1;
  std::map<uint64_t, OpenFile> open_;
  uint64_t nextCluster_;
  uint64_t clustersInUse_ = 0;
  std::map<uint64_t, uint64_t> listClusters_;  // first cluster of an attribute list -> record
  std::map<uint64_t, std::vector<uint8_t>> writtenClusters_;
  ChangeJournal journal_;
  uint64_t clock_;
  RecordRewriter rewriter_;
};

}  // namespace vessiko
