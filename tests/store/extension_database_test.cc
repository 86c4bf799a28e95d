// The extension database: the table's entries in text order with their indexes, loaded back
// with the same indexes, and every file that cannot give back a usable table rejected without
// a word, so that the start-up rebuilds.
#include "store/extension_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/fakes/memory_files.h"
#include "platform/fakes/recording_messages.h"
#include "platform/little_endian.h"

namespace vessiko {
namespace {

const std::string kPath = "/db/kavume_ext.db";

class ExtensionDatabaseTest : public ::testing::Test {
 protected:
  // A table seeded as every build seeds it, then the given extensions interned in order.
  std::unique_ptr<ExtensionTable> tableWith(const std::vector<std::u16string>& texts) {
    auto table = std::make_unique<ExtensionTable>(heap_);
    table->seedBuiltins();
    for (std::u16string text : texts)
      table->intern(text.data(), static_cast<uint32_t>(text.size()));
    return table;
  }
  std::vector<uint8_t> saved(const ExtensionTable& table) {
    SaveExtensionDatabase(kPath, table, files_, messages_);
    return files_.get(kPath);
  }
  // Loads the bytes into a fresh table; 0 or 1 as the load says.
  int load(std::vector<uint8_t> bytes, std::unique_ptr<ExtensionTable>* out = nullptr) {
    files_.put(kPath, std::move(bytes));
    auto table = std::make_unique<ExtensionTable>(heap_);
    const int result = LoadExtensionDatabase(kPath, *table, files_, messages_);
    if (out != nullptr) *out = std::move(table);
    return result;
  }

  RecordingMessages messages_;
  PrivateHeap heap_{messages_};
  MemoryFiles files_;
};

// One record as the file holds it.
std::vector<uint8_t> Record(uint32_t index, const std::u16string& text) {
  std::vector<uint8_t> out(8);
  StoreU32(out.data(), index);
  StoreU32(out.data() + 4, 0xFFFFFFFD);
  for (char16_t unit : text)
    out.insert(out.end(), {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)});
  out.insert(out.end(), {0, 0});
  return out;
}

std::vector<uint8_t> FileOf(uint32_t count, const std::vector<std::vector<uint8_t>>& records) {
  std::vector<uint8_t> out(4);
  StoreU32(out.data(), count);
  for (const auto& r : records)
    out.insert(out.end(), r.begin(), r.end());
  return out;
}

// Every index's text, and the sorted order, of a table.
struct TableView {
  std::vector<std::u16string> texts;
  std::vector<int32_t> sorted;
  bool operator==(const TableView&) const = default;
};

TableView ViewOf(const ExtensionTable& table) {
  TableView view;
  for (uint32_t i = 0; i < table.count(); ++i) {
    const char16_t* text = table.extensionText(static_cast<int32_t>(i));
    view.texts.push_back(text == nullptr ? u"<none>" : text);
    view.sorted.push_back(table.sortedIndexAt(i));
  }
  return view;
}

TEST_F(ExtensionDatabaseTest, TheBuiltinsSaveAsSixtyEightBytesAndLoadWithTheirIndexes) {
  const std::vector<uint8_t> bytes = saved(*tableWith({}));
  EXPECT_EQ(bytes, FileOf(4, {Record(0, u"cur"), Record(1, u"exe"), Record(2, u"ico"),
                              Record(3, u"lnk")}));
  EXPECT_EQ(bytes.size(), 4u + 4u * 16u);

  std::unique_ptr<ExtensionTable> table;
  ASSERT_EQ(load(bytes, &table), 1);
  EXPECT_EQ(ViewOf(*table), ViewOf(*tableWith({})));
  EXPECT_FALSE(table->seeded());
  for (int32_t i = 0; i < 4; ++i)
    EXPECT_EQ(table->iconOf(i), ExtensionTable::kIconUnknown);
  std::u16string exe = u"EXE";
  EXPECT_EQ(table->lookup(exe.data(), 3), 1);
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(ExtensionDatabaseTest, RecordsFollowTextOrderAndLoadingKeepsTheStoredIndexes) {
  // Indexes 4... in the order of interning; the empty extension of "notes." sorts first, CJK
  // last.
  const auto original = tableWith({u"zip", u"AVI", u"文档", u"", u"mp3"});
  const std::vector<uint8_t> bytes = saved(*original);
  EXPECT_EQ(bytes, FileOf(9, {Record(7, u""), Record(5, u"avi"), Record(0, u"cur"),
                              Record(1, u"exe"), Record(2, u"ico"), Record(3, u"lnk"),
                              Record(8, u"mp3"), Record(4, u"zip"), Record(6, u"文档")}));

  std::unique_ptr<ExtensionTable> table;
  ASSERT_EQ(load(bytes, &table), 1);
  EXPECT_EQ(ViewOf(*table), ViewOf(*original));
  std::u16string zip = u"zip";
  EXPECT_EQ(table->lookup(zip.data(), 3), 4);
  std::u16string empty;
  EXPECT_EQ(table->lookup(empty.data(), 0), 7);
}

TEST_F(ExtensionDatabaseTest, AnExtensionAddedAfterALoadGetsTheNextIndex) {
  std::unique_ptr<ExtensionTable> table;
  ASSERT_EQ(load(saved(*tableWith({u"zip", u"avi", u"mp3"})), &table), 1);
  std::u16string pdf = u"pdf";
  EXPECT_EQ(table->intern(pdf.data(), 3), 7);
  std::u16string avi = u"avi";
  EXPECT_EQ(table->intern(avi.data(), 3), 5);
  EXPECT_EQ(table->count(), 8u);
  // The new text sits at its place among the loaded ones.
  std::vector<std::u16string> inOrder;
  for (uint32_t i = 0; i < table->count(); ++i)
    inOrder.push_back(table->extensionText(table->sortedIndexAt(i)));
  EXPECT_TRUE(std::is_sorted(inOrder.begin(), inOrder.end()));
  EXPECT_EQ(table->lookup(pdf.data(), 3), 7);
}

TEST_F(ExtensionDatabaseTest, ALargeTableRoundTrips) {
  // More entries than the table's first capacity, indexes of two bytes, texts interned in no
  // particular order.
  std::vector<std::u16string> texts;
  std::mt19937 random(7);
  for (int i = 0; i < 1500; ++i) {
    std::u16string text;
    const int length = 1 + static_cast<int>(random() % 6);
    for (int j = 0; j < length; ++j)
      text.push_back(
          static_cast<char16_t>(random() % 3 == 0 ? u'0' + random() % 10 : u'a' + random() % 26));
    texts.push_back(text);
  }
  const auto original = tableWith(texts);
  ASSERT_GT(original->count(), 1000u);
  std::unique_ptr<ExtensionTable> table;
  ASSERT_EQ(load(saved(*original), &table), 1);
  EXPECT_EQ(ViewOf(*table), ViewOf(*original));
}

TEST_F(ExtensionDatabaseTest, AFileThatCannotBeReadIsReported) {
  files_.remove(kPath);
  ExtensionTable table(heap_);
  EXPECT_EQ(LoadExtensionDatabase(kPath, table, files_, messages_), 0);
  EXPECT_EQ(messages_.errors(), std::vector<std::string>{"读扩展名文件失败:2"});

  messages_.clear();
  files_.put(kPath, saved(*tableWith({})));
  files_.failReadAfter(kPath, 20);
  ExtensionTable other(heap_);
  EXPECT_EQ(LoadExtensionDatabase(kPath, other, files_, messages_), 0);
  EXPECT_EQ(messages_.errors(), std::vector<std::string>{"读扩展名文件失败:30"});
}

// A valid file of six entries, changed in one way that leaves no usable table.
struct Damage {
  const char* name;
  std::function<std::vector<uint8_t>()> bytes;
};

std::vector<std::vector<uint8_t>> SixRecords() {
  return {Record(0, u"cur"), Record(1, u"exe"), Record(2, u"ico"),
          Record(3, u"lnk"), Record(5, u"mp3"), Record(4, u"zip")};
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t from) {
  bytes.resize(from);
  return bytes;
}

TEST_F(ExtensionDatabaseTest, EveryInconsistentFileIsRejectedSilently) {
  const std::vector<uint8_t> good = FileOf(6, SixRecords());
  ASSERT_EQ(load(good), 1);
  const Damage damages[] = {
      {"one byte", [&] { return Cut(good, 1); }},
      {"three bytes", [&] { return Cut(good, 3); }},
      {"more entries than records", [] { return FileOf(7, SixRecords()); }},
      {"fewer entries than records", [] { return FileOf(5, SixRecords()); }},
      {"a count far too large", [] { return FileOf(0xFFFFFFFF, SixRecords()); }},
      {"cut inside a text", [&] { return Cut(good, good.size() - 3); }},
      {"cut before the last terminator", [&] { return Cut(good, good.size() - 2); }},
      {"cut inside an index", [&] { return Cut(good, good.size() - 16 + 2); }},
      {"cut inside an icon", [&] { return Cut(good, good.size() - 16 + 6); }},
      {"an index twice",
       [] {
         auto r = SixRecords();
         r[5] = Record(5, u"zip");
         return FileOf(6, r);
       }},
      {"an index equal to the count",
       [] {
         auto r = SixRecords();
         r[5] = Record(6, u"zip");
         return FileOf(6, r);
       }},
      {"a negative index",
       [] {
         auto r = SixRecords();
         r[5] = Record(0xFFFFFFFF, u"zip");
         return FileOf(6, r);
       }},
      {"texts out of order",
       [] {
         auto r = SixRecords();
         std::swap(r[4], r[5]);
         return FileOf(6, r);
       }},
      {"a text twice",
       [] {
         auto r = SixRecords();
         r[5] = Record(4, u"mp3");
         return FileOf(6, r);
       }},
      {"a text longer than a file name",
       [] {
         auto r = SixRecords();
         r[5] = Record(4, std::u16string(256, u'z'));
         return FileOf(6, r);
       }},
      {"an upper-case letter",
       [] {
         auto r = SixRecords();
         r[5] = Record(4, u"zIp");  // still after "mp3"
         return FileOf(6, r);
       }},
      {"garbage after the records",
       [&] {
         auto bytes = good;
         bytes.insert(bytes.end(), {1, 2, 3});
         return bytes;
       }},
  };
  for (const Damage& damage : damages) {
    messages_.clear();
    EXPECT_EQ(load(damage.bytes()), 0) << damage.name;
    EXPECT_TRUE(messages_.messages().empty()) << damage.name;
  }
}

}  // namespace
}  // namespace vessiko
