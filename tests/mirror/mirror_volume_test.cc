// The mirror's volume under random changes of its tree, read back through the control codes
// the engine sends. One generator of changes drives the checks: the journal says, record for
// record, what the simulated NTFS volume says for the same changes, and enumeration and the
// file-record code show the tree the changes made; an enumeration taken while another thread
// changes the tree, caught up from the journal as the engine's start catches up, ends where a
// fresh enumeration does.
#include "mirror/mirror_volume.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <map>
#include <random>
#include <thread>

#include "mirror/file_name_bytes.h"
#include "mirror/mirror_editor.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_volume.h"
#include "tests/platform/sim_test_readers.h"

namespace vessiko {
namespace {

using simtest::Call;
using simtest::RecordNumber;
using simtest::Sequence;
using simtest::UsnRecords;

constexpr uint32_t kAll = 0xFFFFFFFF;
constexpr uint32_t kRoot = 0;  // the generator's root entity

std::u16string Utf16(std::string_view bytes) {
  std::u16string out;
  DecodeFileName(bytes, &out);
  return out;
}

// Random creations, renames, moves and removals of a tree of entities, with names that are
// hidden, Chinese, or not UTF-8 now and then.
class ChangeGenerator {
 public:
  struct Entity {
    uint32_t parent;
    std::string name;
    bool directory;
  };
  struct Change {
    enum Kind { kCreate, kMove, kRemove } kind;
    uint32_t entity;
    uint32_t parent = kRoot;
    std::string name = {};
    bool directory = false;
    std::string oldName = {};  // a move's
  };

  // leavesOnly: removals take a file or an empty folder, never a whole subtree.
  ChangeGenerator(uint32_t seed, bool leavesOnly) : random_(seed), leavesOnly_(leavesOnly) {}

  Change next(bool createOnly = false) {
    const int roll = pick(10);
    if (createOnly || live_.empty() || roll < 5) {
      Change c{Change::kCreate, nextEntity_++};
      c.parent = anyDirectory();
      c.name = freshName(c.parent);
      c.directory = pick(3) == 0;
      live_[c.entity] = {c.parent, c.name, c.directory};
      return c;
    }
    auto it = live_.begin();
    std::advance(it, pick(static_cast<int>(live_.size())));
    if (roll < 8) {
      Change c{Change::kMove, it->first};
      do {
        c.parent = anyDirectory();
      } while (below(c.parent, c.entity));
      c.name = freshName(c.parent);
      c.oldName = it->second.name;
      it->second.parent = c.parent;
      it->second.name = c.name;
      return c;
    }
    if (leavesOnly_) {
      while (hasChildren(it->first)) {
        it = live_.begin();
        std::advance(it, pick(static_cast<int>(live_.size())));
      }
    }
    const Change c{Change::kRemove, it->first};
    removeSubtree(c.entity);
    return c;
  }

  const std::map<uint32_t, Entity>& live() const { return live_; }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool below(uint32_t entity, uint32_t top) const {
    for (uint32_t at = entity; at != kRoot; at = live_.at(at).parent) {
      if (at == top) return true;
    }
    return false;
  }
  bool hasChildren(uint32_t entity) const {
    for (const auto& [e, entry] : live_) {
      if (entry.parent == entity) return true;
    }
    return false;
  }
  uint32_t anyDirectory() {
    std::vector<uint32_t> dirs{kRoot};
    for (const auto& [e, entry] : live_) {
      if (entry.directory) dirs.push_back(e);
    }
    return dirs[static_cast<size_t>(pick(static_cast<int>(dirs.size())))];
  }
  std::string freshName(uint32_t parent) {
    static const char* const kParts[] = {"a", "b", "报告", "\xFF", "x.txt", "Z"};
    for (;;) {
      std::string name = pick(5) == 0 ? "." : "";
      for (int i = pick(3); i >= 0; --i)
        name += kParts[pick(6)];
      bool taken = false;
      for (const auto& [e, entry] : live_)
        taken = taken || (entry.parent == parent && entry.name == name);
      if (!taken) return name;
    }
  }
  void removeSubtree(uint32_t entity) {
    std::vector<uint32_t> children;
    for (const auto& [e, entry] : live_) {
      if (entry.parent == entity) children.push_back(e);
    }
    for (const uint32_t child : children)
      removeSubtree(child);
    live_.erase(entity);
  }

  std::mt19937 random_;
  bool leavesOnly_;
  uint32_t nextEntity_ = 1;
  std::map<uint32_t, Entity> live_;
};

// A mirror volume with no real files behind it, and its editor.
struct MirrorSide {
  MirrorSide()
      : volume(std::make_shared<MirrorVolume>(std::make_unique<MirrorTree>(1), "/nonexistent", 0,
                                              MirrorJournal{0x1234, 4096})),
        editor(*volume, nullptr, SystemClock()),
        handle(volume->open()) {}

  uint64_t journalId() {
    const simtest::Reply reply = Call(*handle, ntfs::kQueryUsnJournal, {}, 56);
    EXPECT_TRUE(reply.ok);
    return reply.ok ? simtest::Get64(reply.bytes.data()) : 0;
  }
  uint32_t record(uint32_t entity) const {
    return entity == kRoot ? kRootNode : records.at(entity);
  }
  void apply(const ChangeGenerator::Change& c) {
    using Change = ChangeGenerator::Change;
    switch (c.kind) {
      case Change::kCreate:
        records[c.entity] =
            editor.create(record(c.parent), c.name,
                          c.directory ? NodeKind::kDirectory : NodeKind::kFile, c.entity, 0, -1);
        break;
      case Change::kMove:
        editor.move(record(c.entity), record(c.parent), c.name);
        break;
      case Change::kRemove:
        editor.removeTree(record(c.entity));
        break;
    }
  }

  std::shared_ptr<MirrorVolume> volume;
  MirrorEditor editor;
  std::unique_ptr<Volume> handle;
  std::map<uint32_t, uint32_t> records;  // entity -> record
};

// What enumeration lists of a record.
struct Listed {
  uint64_t parent;
  std::u16string name;
  uint32_t attributes;
  int64_t usn;
  uint64_t reference;
  bool operator==(const Listed&) const = default;
};

// The whole volume by FSCTL_ENUM_USN_DATA, in calls that hold a few records each.
std::map<uint32_t, Listed> Enumerate(Volume& volume) {
  std::map<uint32_t, Listed> listed;
  uint64_t start = 0;
  for (;;) {
    const simtest::Reply reply =
        Call(volume, ntfs::kEnumUsnData, simtest::EnumInput(start, 0, INT64_MAX), 400);
    if (!reply.ok) {
      EXPECT_EQ(reply.error, ntfs::kErrorHandleEof);
      return listed;
    }
    for (const simtest::UsnRecord& r : UsnRecords(reply.bytes)) {
      listed[static_cast<uint32_t>(RecordNumber(r.file))] = {RecordNumber(r.parent), r.name,
                                                             r.attributes, r.usn, r.file};
    }
    const uint64_t next = simtest::Get64(reply.bytes.data());
    EXPECT_GT(next, start);
    start = next;
  }
}

// The records from `*from` on, moving it past them.
std::vector<simtest::UsnRecord> ReadOn(Volume& volume, uint64_t journalId, int64_t* from) {
  const simtest::Reply reply =
      Call(volume, ntfs::kReadUsnJournal, simtest::ReadInput(*from, kAll, journalId), 1 << 16);
  EXPECT_TRUE(reply.ok) << reply.error;
  if (!reply.ok) return {};
  *from = static_cast<int64_t>(simtest::Get64(reply.bytes.data()));
  return UsnRecords(reply.bytes);
}

TEST(MirrorVolume, JournalsEveryChangeAsTheSimulatedVolumeDoesAndListsTheTreeItMakes) {
  ChangeGenerator generator(11, true);
  MirrorSide mirror;
  auto sim = std::make_shared<SimVolume>();
  const std::unique_ptr<Volume> simHandle = sim->open();
  std::map<uint32_t, uint64_t> simFiles;  // entity -> reference
  const auto simParent = [&](uint32_t entity) {
    return entity == kRoot ? uint64_t{SimVolume::kRootDirectory} : simFiles.at(entity);
  };
  // Record numbers of either side to entities, for records that name them.
  std::map<uint64_t, uint32_t> simEntities{{SimVolume::kRootDirectory, kRoot}};
  std::map<uint64_t, uint32_t> mirrorEntities{{kRootNode, kRoot}};
  std::map<uint32_t, uint16_t> sequences;  // the mirror's, by record
  std::map<uint32_t, int64_t> lastUsns;    // the mirror's, by entity
  int64_t simNext = 0;
  int64_t mirrorNext = 4096;
  const uint64_t mirrorId = mirror.journalId();
  for (int step = 0; step < 1500; ++step) {
    const ChangeGenerator::Change c = generator.next();
    mirror.apply(c);
    const NodeKind kind = c.directory ? NodeKind::kDirectory : NodeKind::kFile;
    switch (c.kind) {
      case ChangeGenerator::Change::kCreate:
        simFiles[c.entity] = sim->create({.parent = simParent(c.parent),
                                          .name = Utf16(c.name),
                                          .attributes = AttributesFor(kind, c.name)});
        simEntities[RecordNumber(simFiles[c.entity])] = c.entity;
        mirrorEntities[mirror.records.at(c.entity)] = c.entity;
        break;
      case ChangeGenerator::Change::kMove: {
        // A name that gains or loses its leading dot changes the attributes too.
        const NodeKind moved =
            generator.live().at(c.entity).directory ? NodeKind::kDirectory : NodeKind::kFile;
        ASSERT_TRUE(sim->rename(simFiles[c.entity], simParent(c.parent), Utf16(c.name)));
        if (AttributesFor(moved, c.oldName) != AttributesFor(moved, c.name)) {
          ASSERT_TRUE(sim->changeAttributes(simFiles[c.entity], AttributesFor(moved, c.name)));
        }
        break;
      }
      case ChangeGenerator::Change::kRemove:
        ASSERT_TRUE(sim->remove(simFiles[c.entity]));
        break;
    }
    const auto simRecords = ReadOn(*simHandle, sim->journal().id, &simNext);
    const auto mirrorRecords = ReadOn(*mirror.handle, mirrorId, &mirrorNext);
    ASSERT_EQ(mirrorRecords.size(), simRecords.size()) << "step " << step;
    for (size_t i = 0; i < simRecords.size(); ++i) {
      const simtest::UsnRecord& s = simRecords[i];
      const simtest::UsnRecord& m = mirrorRecords[i];
      ASSERT_EQ(m.reason, s.reason) << "step " << step;
      ASSERT_EQ(m.name, s.name);
      ASSERT_EQ(m.attributes, s.attributes);
      ASSERT_EQ(mirrorEntities.at(RecordNumber(m.file)), simEntities.at(RecordNumber(s.file)));
      ASSERT_EQ(mirrorEntities.at(RecordNumber(m.parent)), simEntities.at(RecordNumber(s.parent)));
      if (m.reason == ntfs::kReasonFileCreate) {
        // A record used again has its sequence number raised.
        const auto n = static_cast<uint32_t>(RecordNumber(m.file));
        const auto used = sequences.find(n);
        ASSERT_EQ(Sequence(m.file), used == sequences.end() ? 1 : used->second + 1);
        sequences[n] = Sequence(m.file);
      }
      lastUsns[mirrorEntities.at(RecordNumber(m.file))] = m.usn;
    }
  }

  // Enumeration lists exactly the tree, each entry with its last USN.
  const std::map<uint32_t, Listed> listed = Enumerate(*mirror.handle);
  ASSERT_EQ(listed.size(), generator.live().size());
  for (const auto& [entity, e] : generator.live()) {
    const uint32_t n = mirror.records.at(entity);
    const Listed expected{
        mirror.record(e.parent), Utf16(e.name),
        AttributesFor(e.directory ? NodeKind::kDirectory : NodeKind::kFile, e.name),
        lastUsns.at(entity), n | uint64_t{sequences.at(n)} << 48};
    ASSERT_EQ(listed.at(n), expected) << e.name;
  }

  // A record read gives the nearest record in use at or below the one asked for.
  for (uint32_t asked = 0; asked < mirror.volume->tree().recordLimit() + 4; ++asked) {
    std::vector<uint8_t> in(8);
    simtest::Put64(in.data(), asked);
    const simtest::Reply reply = Call(*mirror.handle, ntfs::kGetNtfsFileRecord, in, 4096);
    ASSERT_TRUE(reply.ok);
    auto expected = listed.upper_bound(asked);
    const uint32_t nearest = expected != listed.begin() && std::prev(expected)->first >= 16
                                 ? std::prev(expected)->first
                                 : std::min<uint32_t>(asked, 11);
    ASSERT_EQ(RecordNumber(simtest::Get64(reply.bytes.data())), nearest) << asked;
    const simtest::FileRecord record =
        simtest::ParseFileRecord(reply.bytes.data() + 12, reply.bytes.size() - 12);
    ASSERT_EQ(record.recordNumber, nearest);
    ASSERT_EQ(record.all(ntfs::attribute::kTypeFileName).size(), 1u);
    if (nearest < 16) continue;
    const simtest::FileName name =
        simtest::FileNameOf(*record.all(ntfs::attribute::kTypeFileName)[0]);
    EXPECT_EQ(name.name, listed.at(nearest).name);
    EXPECT_EQ(RecordNumber(name.parent), listed.at(nearest).parent);
    EXPECT_EQ(record.sequence, Sequence(listed.at(nearest).reference));
  }
}

// The engine's start over a volume that changes meanwhile: the journal's position first, then
// the enumeration, then the journal from that position, less what each entry's last USN says
// the enumeration showed already.
TEST(MirrorVolume, AnEnumerationDuringChangesCaughtUpFromTheJournalEndsAsTheTreeDoes) {
  ChangeGenerator generator(5, false);
  MirrorSide mirror;
  // A tree to start from, read quietly as at a first start.
  mirror.editor.setJournaled(false);
  for (int i = 0; i < 3000; ++i)
    mirror.apply(generator.next(true));
  mirror.editor.setJournaled(true);
  std::atomic<int> made{0};
  std::thread writer([&] {
    for (int i = 0; i < 3000; ++i) {
      mirror.apply(generator.next());
      ++made;
    }
  });
  while (made < 100)
    std::this_thread::yield();
  const uint64_t id = mirror.journalId();
  int64_t from = 0;
  {
    const simtest::Reply query = Call(*mirror.handle, ntfs::kQueryUsnJournal, {}, 56);
    ASSERT_TRUE(query.ok);
    from = static_cast<int64_t>(simtest::Get64(query.bytes.data() + 16));
  }
  const int64_t discovered = from;
  std::map<uint32_t, Listed> model = Enumerate(*mirror.handle);
  std::map<uint32_t, int64_t> seen;
  for (const auto& [n, entry] : model) {
    if (entry.usn >= discovered && entry.usn != 0) seen[n] = entry.usn;
  }
  for (bool last = false; !last;) {
    last = made == 3000;
    for (const simtest::UsnRecord& r : ReadOn(*mirror.handle, id, &from)) {
      const auto n = static_cast<uint32_t>(RecordNumber(r.file));
      const auto shown = seen.find(n);
      if (shown != seen.end() && r.usn <= shown->second) continue;
      if (r.reason & (ntfs::kReasonRenameOldName | ntfs::kReasonFileDelete)) {
        model.erase(n);
      } else if (r.reason & (ntfs::kReasonFileCreate | ntfs::kReasonRenameNewName |
                             ntfs::kReasonBasicInfoChange)) {
        model[n] = {RecordNumber(r.parent), r.name, r.attributes, r.usn, r.file};
      }
    }
  }
  writer.join();
  const std::map<uint32_t, Listed> now = Enumerate(*mirror.handle);
  ASSERT_EQ(model.size(), now.size());
  for (const auto& [n, entry] : now) {
    ASSERT_TRUE(model.count(n)) << n;
    const Listed& replayed = model.at(n);
    EXPECT_EQ(replayed.parent, entry.parent) << n;
    EXPECT_EQ(replayed.name, entry.name) << n;
    EXPECT_EQ(replayed.attributes, entry.attributes) << n;
    EXPECT_EQ(replayed.reference, entry.reference) << n;
  }
}

// A journal past its maximum size drops its oldest records: a reader left behind them is told
// so, as the engine is when the journal was truncated while it was closed.
TEST(MirrorVolume, TheJournalDropsItsOldestRecordsPastItsMaximumSize) {
  auto volume = std::make_shared<MirrorVolume>(std::make_unique<MirrorTree>(1), "/nonexistent", 0,
                                               MirrorJournal{77, 1 << 20, 4096});
  MirrorEditor editor(*volume, nullptr, SystemClock());
  const std::unique_ptr<Volume> handle = volume->open();
  for (int i = 0; i < 100; ++i)
    editor.create(kRootNode, "file" + std::to_string(i), NodeKind::kFile, 1000 + i, 0, -1);
  const simtest::Reply query = Call(*handle, ntfs::kQueryUsnJournal, {}, 56);
  ASSERT_TRUE(query.ok);
  EXPECT_EQ(simtest::Get64(query.bytes.data()), 77u);
  const auto first = static_cast<int64_t>(simtest::Get64(query.bytes.data() + 8));
  const auto next = static_cast<int64_t>(simtest::Get64(query.bytes.data() + 16));
  EXPECT_GT(first, 1 << 20);
  EXPECT_LE(next - first, 4096);
  const simtest::Reply stale =
      Call(*handle, ntfs::kReadUsnJournal, simtest::ReadInput(1 << 20, kAll, 77), 65536);
  EXPECT_FALSE(stale.ok);
  EXPECT_EQ(stale.error, ntfs::kErrorJournalEntryDeleted);
  const simtest::Reply kept =
      Call(*handle, ntfs::kReadUsnJournal, simtest::ReadInput(0, kAll, 77), 65536);
  ASSERT_TRUE(kept.ok);
  EXPECT_EQ(UsnRecords(kept.bytes).front().usn, first);
  EXPECT_EQ(UsnRecords(kept.bytes).back().name, u"file99");
}

}  // namespace
}  // namespace vessiko
