// The change journal Windows leaves in $Extend\$UsnJrnl, read in place from a volume mkntfs made
// and ntfscp filled. A generator lays records out as Windows does (versions 2, 3 and 4, a page
// ending in zeros where the next record would not fit it); every read, from any start, with any
// mask and buffer, must give what a model of the journal says, and reads resumed from where the
// last one stopped must give every wanted record once. Damaged journals fail or read within
// their bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

#include "ntfs_image/image_volume.h"
#include "ntfs_model/usn_journal.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "tests/ntfs_image/made_volume.h"

namespace vessiko::testing {
namespace {

namespace rj = ntfs::read_usn_journal_data;
namespace jd = ntfs::usn_journal_data;
namespace u3 = ntfs::usn_record_v3;

constexpr uint64_t kJournalId = 0x1D8F00AA55;
constexpr uint32_t kPage = 4096;

struct Journaled {
  int64_t usn;
  uint64_t file;
  uint64_t parent;
  uint32_t reason;
  std::u16string name;
};

// $J as Windows lays it out, and the records a reader of version 2 must get from it.
struct GeneratedJournal {
  std::string bytes;
  std::vector<Journaled> records;
  int64_t lowestValid = 0;
};

GeneratedJournal Generate(uint32_t seed, size_t count) {
  std::mt19937 random(seed);
  GeneratedJournal j;
  const auto place = [&](uint32_t length) {
    // A record never crosses a page: the rest of the page stays zero.
    if (j.bytes.size() / kPage != (j.bytes.size() + length - 1) / kPage) {
      j.bytes.resize((j.bytes.size() / kPage + 1) * kPage, '\0');
    }
    const size_t at = j.bytes.size();
    j.bytes.resize(at + length, '\0');
    return reinterpret_cast<uint8_t*>(j.bytes.data() + at);
  };
  for (size_t i = 0; i < count; ++i) {
    const int kind = static_cast<int>(random() % 10);
    Journaled r;
    r.file = (random() % 100000) | uint64_t{random() % 7} << 48;
    r.parent = (random() % 1000) | uint64_t{1} << 48;
    r.reason =
        static_cast<uint32_t>(random()) & (ntfs::kReasonFileCreate | ntfs::kReasonFileDelete |
                                           ntfs::kReasonRenameNewName | ntfs::kReasonClose);
    r.name.resize(1 + random() % (random() % 4 == 0 ? 255 : 20));
    for (char16_t& c : r.name)
      c = static_cast<char16_t>(random() % 3 == 0 ? 0x4E00 + random() % 0x5000
                                                  : 'a' + random() % 26);
    if (kind == 0) {  // a range written, version 4: never handed out
      uint8_t* out = place(88);
      StoreU32(out, 88);
      StoreU16(out + ntfs::usn_record::kMajorVersion, 4);
      continue;
    }
    if (kind == 1) {  // version 3, 128-bit references
      const uint32_t length =
          (u3::kHeaderSize + 2 * static_cast<uint32_t>(r.name.size()) + 7) & ~7u;
      uint8_t* out = place(length);
      r.usn = static_cast<int64_t>(out - reinterpret_cast<uint8_t*>(j.bytes.data()));
      StoreU32(out, length);
      StoreU16(out + ntfs::usn_record::kMajorVersion, 3);
      StoreU64(out + u3::kFileReferenceNumber, r.file);
      StoreU64(out + u3::kParentFileReferenceNumber, r.parent);
      StoreU64(out + u3::kUsn, static_cast<uint64_t>(r.usn));
      StoreU32(out + u3::kReason, r.reason);
      StoreU32(out + u3::kFileAttributes, ntfs::kAttributeArchive);
      StoreU16(out + u3::kFileNameLength, static_cast<uint16_t>(2 * r.name.size()));
      StoreU16(out + u3::kFileNameOffset, u3::kHeaderSize);
      for (size_t k = 0; k < r.name.size(); ++k)
        StoreU16(out + u3::kHeaderSize + 2 * k, r.name[k]);
    } else {
      uint8_t* out = place(UsnRecordLength(r.name.size()));
      r.usn = static_cast<int64_t>(out - reinterpret_cast<uint8_t*>(j.bytes.data()));
      WriteUsnRecord(out, {r.file, r.parent, r.usn, 0, r.reason, ntfs::kAttributeArchive, r.name});
    }
    j.records.push_back(std::move(r));
  }
  // The first pages were discarded: reads below them fail.
  j.lowestValid = j.records[j.records.size() / 5].usn / kPage * kPage;
  std::erase_if(j.records, [&](const Journaled& r) { return r.usn < j.lowestValid; });
  return j;
}

// A volume holding the journal, as ntfscp writes named streams.
std::vector<uint8_t> VolumeWith(MadeVolume& volume, const GeneratedJournal& j,
                                bool windowsLast = true) {
  std::string sizes(ntfs::usn_journal_max::kSize, '\0');
  auto* s = reinterpret_cast<uint8_t*>(sizes.data());
  StoreU64(s + ntfs::usn_journal_max::kMaximumSize, 32 << 20);
  StoreU64(s + ntfs::usn_journal_max::kAllocationDelta, 8 << 20);
  StoreU64(s + ntfs::usn_journal_max::kUsnJournalId, kJournalId);
  StoreU64(s + ntfs::usn_journal_max::kLowestValidUsn, static_cast<uint64_t>(j.lowestValid));
  WriteJournal(volume, sizes, j.bytes, windowsLast);
  volume.reload();
  return volume.bytes_;
}

uint32_t Read(Volume& volume, int64_t start, uint32_t mask, bool onlyOnClose,
              std::vector<uint8_t>* out, uint32_t* returned) {
  uint8_t in[rj::kSize] = {};
  StoreU64(in + rj::kStartUsn, static_cast<uint64_t>(start));
  StoreU32(in + rj::kReasonMask, mask);
  StoreU32(in + rj::kReturnOnlyOnClose, onlyOnClose);
  StoreU64(in + rj::kUsnJournalId, kJournalId);
  uint32_t error = 0;
  *returned = 0;
  volume.control(ntfs::kReadUsnJournal, in, sizeof in, out->data(),
                 static_cast<uint32_t>(out->size()), returned, &error);
  return error;
}

TEST(ImageJournal, EveryReadGivesWhatWasJournaled) {
  if (!HaveMkntfs()) GTEST_SKIP() << "mkntfs (ntfs-3g) is needed";
  MadeVolume made(4 << 20, "");
  const GeneratedJournal j = Generate(11, 1500);
  std::string error;
  auto volume = NtfsImageVolume::Open(std::make_shared<MemoryImage>(VolumeWith(made, j)), &error);
  ASSERT_TRUE(volume) << error;
  ASSERT_TRUE(volume->hasJournal());
  {
    // Once another system had the volume read-write, the journal may be older than its changes.
    MadeVolume other(4 << 20, "");
    EXPECT_FALSE(
        NtfsImageVolume::Open(std::make_shared<MemoryImage>(VolumeWith(other, j, false)), &error)
            ->hasJournal());
  }
  uint8_t data[jd::kSize];
  uint32_t returned = 0;
  uint32_t failure = 0;
  ASSERT_TRUE(
      volume->control(ntfs::kQueryUsnJournal, nullptr, 0, data, sizeof data, &returned, &failure));
  EXPECT_EQ(LoadU64(data + jd::kUsnJournalId), kJournalId);
  EXPECT_EQ(LoadI64(data + jd::kFirstUsn), j.lowestValid);
  EXPECT_EQ(LoadI64(data + jd::kNextUsn), static_cast<int64_t>(j.bytes.size()));

  std::vector<uint8_t> out;
  EXPECT_EQ((out.resize(4096), Read(*volume, j.lowestValid - 8, ~0u, false, &out, &returned)),
            ntfs::kErrorJournalEntryDeleted);
  std::mt19937 random(5);
  for (int round = 0; round < 60; ++round) {
    const uint32_t mask = round == 0 ? ~0u : static_cast<uint32_t>(random());
    const bool onlyOnClose = random() % 4 == 0;
    const auto wanted = [&](const Journaled& r) {
      return (r.reason & mask) != 0 && (!onlyOnClose || (r.reason & ntfs::kReasonClose) != 0);
    };
    // Reads resumed from where each stopped, from StartUsn 0 (the oldest kept) to the end.
    out.resize(8 + random() % 6000);
    std::vector<Journaled> got;
    int64_t start = 0;
    for (int calls = 0;; ++calls) {
      ASSERT_LT(calls, 4000);
      const uint32_t failure = Read(*volume, start, mask, onlyOnClose, &out, &returned);
      if (failure == ntfs::kErrorInsufficientBuffer) {
        out.resize(out.size() + 600);
        continue;
      }
      ASSERT_EQ(failure, 0u);
      for (uint32_t at = 8; at < returned;) {
        const uint8_t* r = out.data() + at;
        Journaled g{LoadI64(r + ntfs::usn_record::kUsn),
                    LoadU64(r + 8),
                    LoadU64(r + 16),
                    LoadU32(r + ntfs::usn_record::kReason),
                    {}};
        for (uint32_t k = 0; k < LoadU16(r + ntfs::usn_record::kFileNameLength) / 2u; ++k)
          g.name.push_back(static_cast<char16_t>(LoadU16(r + ntfs::usn_record::kFileName + 2 * k)));
        ASSERT_EQ(LoadU16(r + ntfs::usn_record::kMajorVersion), 2);
        got.push_back(std::move(g));
        at += LoadU32(r);
      }
      const int64_t resume = LoadI64(out.data());
      if (resume == static_cast<int64_t>(j.bytes.size()) && returned == 8) break;
      ASSERT_GT(resume, start);
      start = resume;
    }
    std::vector<Journaled> expected;
    std::copy_if(j.records.begin(), j.records.end(), std::back_inserter(expected), wanted);
    ASSERT_EQ(got.size(), expected.size()) << "round " << round;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].usn, expected[i].usn);
      EXPECT_EQ(got[i].file, expected[i].file);
      EXPECT_EQ(got[i].parent, expected[i].parent);
      EXPECT_EQ(got[i].reason, expected[i].reason);
      EXPECT_TRUE(got[i].name == expected[i].name) << i;
    }
  }
}

TEST(ImageJournal, DamagedJournalsFailOrReadWithinBounds) {
  if (!HaveMkntfs()) GTEST_SKIP() << "mkntfs (ntfs-3g) is needed";
  MadeVolume made(4 << 20, "");
  const GeneratedJournal j = Generate(3, 400);
  const std::vector<uint8_t> bytes = VolumeWith(made, j);
  // What the damage goes to: $J's records (their first bytes are unique in the image), and the
  // records that lead to them, $Extend's index and $UsnJrnl's own, which name "$UsnJrnl".
  std::vector<std::pair<size_t, size_t>> targets;
  const std::vector<uint8_t> head(j.bytes.begin(), j.bytes.begin() + 200);
  const auto first = std::search(bytes.begin(), bytes.end(), head.begin(), head.end());
  ASSERT_NE(first, bytes.end());
  targets.emplace_back(first - bytes.begin(), j.bytes.size());
  std::vector<uint8_t> name;
  for (const char16_t c : std::u16string_view(u"$UsnJrnl"))
    name.insert(name.end(), {static_cast<uint8_t>(c), 0});
  for (size_t record = 0; record + 1024 <= bytes.size(); record += 1024) {
    if (std::memcmp(bytes.data() + record, "FILE", 4) == 0 &&
        std::search(bytes.begin() + record, bytes.begin() + record + 1024, name.begin(),
                    name.end()) != bytes.begin() + record + 1024) {
      targets.emplace_back(record, 1024);
    }
  }
  ASSERT_GE(targets.size(), 3u);
  std::mt19937 random(9);
  std::vector<uint8_t> out(1 << 16);
  for (int round = 0; round < 150; ++round) {
    std::vector<uint8_t> damaged = bytes;
    const auto [at, length] = targets[round % targets.size()];
    for (int k = 0; k < 1 + round % 8; ++k) {
      const size_t where = at + random() % length;
      damaged[where] = round % 3 == 0 ? 0 : static_cast<uint8_t>(random());
    }
    std::string error;
    auto volume = NtfsImageVolume::Open(std::make_shared<MemoryImage>(damaged), &error);
    ASSERT_TRUE(volume) << error;
    int64_t start = 0;
    for (int calls = 0; calls < 1000; ++calls) {
      uint32_t returned = 0;
      if (Read(*volume, start, ~0u, false, &out, &returned) != 0) break;
      ASSERT_GE(returned, 8u);
      ASSERT_LE(returned, out.size());
      const int64_t resume = LoadI64(out.data());
      if (resume <= start) break;
      start = resume;
    }
  }
}

}  // namespace
}  // namespace vessiko::testing
