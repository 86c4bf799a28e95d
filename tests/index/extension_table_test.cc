#include "index/extension_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/fakes/recording_messages.h"
#include "platform/utf.h"

namespace vessiko {
namespace {

class ExtensionTableTest : public ::testing::Test {
 protected:
  int32_t intern(std::u16string text) {
    return table_.intern(text.data(), static_cast<uint32_t>(text.size()));
  }
  int32_t lookup(std::u16string text) {
    return table_.lookup(text.data(), static_cast<uint32_t>(text.size()));
  }
  std::u16string text(int32_t index) { return table_.extensionText(index); }
  std::vector<std::u16string> sortedTexts() {
    std::vector<std::u16string> out;
    for (uint32_t i = 0; i < table_.count(); ++i)
      out.push_back(text(table_.sortedIndexAt(i)));
    return out;
  }

  RecordingMessages messages_;
  PrivateHeap heap_{messages_};
  ExtensionTable table_{heap_};
};

TEST_F(ExtensionTableTest, SeededTableHoldsTheBuiltinsWithBuiltinIcons) {
  table_.seedBuiltins();
  EXPECT_TRUE(table_.seeded());
  EXPECT_EQ(table_.count(), 4u);
  EXPECT_EQ(text(0), u"cur");
  EXPECT_EQ(text(3), u"lnk");
  EXPECT_EQ(table_.iconOf(1), ExtensionTable::kIconBuiltin);
  table_.seedBuiltins();  // only an empty table is seeded
  EXPECT_EQ(table_.count(), 4u);
}

TEST_F(ExtensionTableTest, InternLowersAndFindsOrAdds) {
  table_.seedBuiltins();
  std::u16string upper = u"EXE";
  EXPECT_EQ(table_.intern(upper.data(), 3), 1);
  EXPECT_EQ(upper, u"exe");  // lowered in the caller's buffer
  EXPECT_EQ(intern(u"txt"), 4);
  EXPECT_EQ(sortedTexts(), (std::vector<std::u16string>{u"cur", u"exe", u"ico", u"lnk", u"txt"}));
  EXPECT_EQ(intern(u"TxT"), 4);
  // Only A-Z are lowered.
  EXPECT_EQ(intern(u"Ä"), 5);
  EXPECT_EQ(lookup(u"ä"), -1);
}

TEST_F(ExtensionTableTest, PrefixOfAnExistingTextIsItsOwnExtension) {
  table_.seedBuiltins();
  EXPECT_EQ(lookup(u"ex"), -1);
  EXPECT_EQ(intern(u"ex"), 4);
  EXPECT_EQ(sortedTexts()[1], u"ex");
  EXPECT_EQ(sortedTexts()[2], u"exe");
  EXPECT_EQ(lookup(u"ex"), 4);
  EXPECT_EQ(lookup(u"exe"), 1);
  EXPECT_EQ(lookup(u"exec"), -1);
}

TEST_F(ExtensionTableTest, EmptyExtensionSortsFirst) {
  table_.seedBuiltins();
  EXPECT_EQ(intern(u""), 4);
  EXPECT_EQ(sortedTexts()[0], u"");
  EXPECT_EQ(intern(u""), 4);
  EXPECT_EQ(lookup(u""), 4);
}

TEST_F(ExtensionTableTest, EmptyTableAnswersAbsent) {
  EXPECT_EQ(lookup(u""), -1);
  EXPECT_EQ(lookup(u"abc"), -1);
  EXPECT_EQ(table_.extensionText(0), nullptr);
  EXPECT_EQ(table_.compareTexts(0, 0), -1);
}

TEST_F(ExtensionTableTest, The513thExtensionGrowsTheTableAndKeepsIndexes) {
  table_.seedBuiltins();
  std::vector<std::u16string> texts;
  for (int i = 0; i < 509; ++i)
    texts.push_back(Utf8ToUtf16("e" + std::to_string(i * 7919 % 10007)));
  for (size_t i = 0; i < texts.size(); ++i)
    ASSERT_EQ(intern(texts[i]), static_cast<int32_t>(4 + i));
  EXPECT_EQ(table_.count(), 513u);
  EXPECT_EQ(table_.capacity(), 576u);
  for (size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(lookup(texts[i]), static_cast<int32_t>(4 + i));
  const auto sorted = sortedTexts();
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
}

TEST_F(ExtensionTableTest, CompareTextsAndIcons) {
  table_.seedBuiltins();
  const int32_t cura = intern(u"cura");
  EXPECT_EQ(table_.compareTexts(0, 0), 0);
  EXPECT_EQ(table_.compareTexts(0, cura), -1);
  EXPECT_EQ(table_.compareTexts(cura, 0), 1);
  EXPECT_EQ(table_.compareTexts(-1, 0), -1);
  EXPECT_EQ(table_.compareTexts(0, 99), -1);
  EXPECT_EQ(table_.iconOf(cura), ExtensionTable::kIconUnknown);
  table_.setIconOf(cura, 17);
  EXPECT_EQ(table_.iconOf(cura), 17);
  EXPECT_EQ(table_.iconOf(-1), ExtensionTable::kIconUnknown);
}

TEST_F(ExtensionTableTest, RestoreTakesSortedEntriesAndRefusesDisorder) {
  ASSERT_TRUE(table_.beginRestore(3));
  EXPECT_TRUE(table_.restore(0, 2, u"a", 1));
  EXPECT_TRUE(table_.restore(1, 0, u"ab", 2));
  EXPECT_TRUE(table_.restore(2, 1, u"b", 1));
  EXPECT_EQ(lookup(u"ab"), 0);
  EXPECT_EQ(intern(u"c"), 3);

  ExtensionTable other(heap_);
  ASSERT_TRUE(other.beginRestore(2));
  EXPECT_TRUE(other.restore(0, 0, u"b", 1));
  EXPECT_FALSE(other.restore(1, 1, u"a", 1));  // out of order

  ExtensionTable twice(heap_);
  ASSERT_TRUE(twice.beginRestore(2));
  EXPECT_TRUE(twice.restore(0, 1, u"a", 1));
  EXPECT_FALSE(twice.restore(1, 1, u"b", 1));  // index taken twice
  EXPECT_FALSE(twice.restore(1, 2, u"b", 1));  // index out of range
  EXPECT_FALSE(twice.restore(1, 0, u"B", 1));  // not lowered
}

// One thread adds extensions while another reads texts, icons and comparisons and looks up.
TEST_F(ExtensionTableTest, ReadersAreSafeWhileTheTableGrows) {
  table_.seedBuiltins();
  std::atomic<bool> done{false};
  std::thread reader([&] {
    std::u16string probe = u"exe";
    while (!done) {
      const uint32_t n = table_.count();
      for (uint32_t i = 0; i < n; i += 37) {
        ASSERT_NE(table_.extensionText(static_cast<int32_t>(i)), nullptr);
        table_.iconOf(static_cast<int32_t>(i));
        table_.compareTexts(static_cast<int32_t>(i), 0);
      }
      ASSERT_EQ(table_.lookup(probe.data(), 3), 1);
      ASSERT_EQ(table_.sortedIndexAt(0), 0);
    }
  });
  for (int i = 0; i < 3000; ++i)
    intern(Utf8ToUtf16("x" + std::to_string(i)));
  done = true;
  reader.join();
  EXPECT_EQ(table_.count(), 3004u);
}

TEST_F(ExtensionTableTest, ANulUnitEndsTheText) {
  table_.seedBuiltins();
  std::u16string withNul(u"A\0b", 3);
  EXPECT_EQ(table_.intern(withNul.data(), 3), 4);
  EXPECT_EQ(withNul, std::u16string(u"a\0b", 3));
  EXPECT_EQ(text(4), u"a");
  EXPECT_EQ(intern(u"a"), 4);
  std::u16string other(u"a\0c", 3);
  EXPECT_EQ(table_.lookup(other.data(), 3), 4);
}

// Random interns and lookups (upper case, prefixes, units above 'z') checked against a model
// through several growths of the table, then the same after the table is saved and restored.
TEST_F(ExtensionTableTest, AgreesWithAModelThroughGrowthAndRestore) {
  table_.seedBuiltins();
  std::map<std::u16string, int32_t> model = {{u"cur", 0}, {u"exe", 1}, {u"ico", 2}, {u"lnk", 3}};
  std::vector<std::u16string> byIndex = {u"cur", u"exe", u"ico", u"lnk"};
  std::mt19937 random(11);
  const char16_t alphabet[] = {u'a', u'B', u'b', u'0', u'\u00e9', u'\uffff'};
  ExtensionTable restored(heap_);
  ExtensionTable* table = &table_;

  const auto check = [&] {
    ASSERT_EQ(table->count(), byIndex.size());
    uint32_t position = 0;
    for (const auto& entry : model)
      ASSERT_EQ(table->sortedIndexAt(position++), entry.second);
    EXPECT_EQ(table->sortedIndexAt(position), -1);
    for (int i = 0; i < 200; ++i) {
      const auto a = static_cast<int32_t>(random() % byIndex.size());
      const auto b = static_cast<int32_t>(random() % byIndex.size());
      const int expected = byIndex[a] < byIndex[b] ? -1 : byIndex[a] == byIndex[b] ? 0 : 1;
      ASSERT_EQ(table->compareTexts(a, b), expected);
    }
  };
  for (int step = 0; step < 16000; ++step) {
    std::u16string units;
    for (uint32_t n = random() % 7; n > 0; --n)
      units.push_back(alphabet[random() % 6]);
    std::u16string lowered = units;
    for (char16_t& u : lowered)
      u = u == u'B' ? u'b' : u;
    const auto known = model.find(lowered);
    if (random() % 3 == 0) {
      ASSERT_EQ(table->lookup(units.data(), static_cast<uint32_t>(units.size())),
                known == model.end() ? -1 : known->second);
    } else {
      const auto next = static_cast<int32_t>(byIndex.size());
      ASSERT_EQ(table->intern(units.data(), static_cast<uint32_t>(units.size())),
                known == model.end() ? next : known->second);
      if (known == model.end()) {
        model.emplace(lowered, next);
        byIndex.push_back(lowered);
      }
    }
    ASSERT_EQ(units, lowered);
    if (random() % 1000 == 0) {
      ASSERT_NO_FATAL_FAILURE(check());
    }
    if (step == 10000) {
      ASSERT_NO_FATAL_FAILURE(check());
      ASSERT_GT(byIndex.size(), 2000u);
      ASSERT_TRUE(restored.beginRestore(table->count()));
      uint32_t position = 0;
      for (const auto& [saved, index] : model)
        ASSERT_TRUE(
            restored.restore(position++, index, saved.data(), static_cast<uint32_t>(saved.size())));
      table = &restored;
      ASSERT_NO_FATAL_FAILURE(check());
    }
  }
  ASSERT_NO_FATAL_FAILURE(check());
}

}  // namespace
}  // namespace vessiko
