// The filter button over an index built from simulated volumes: which results each group keeps,
// the messages that refuse a press, and the snapshot the filtered lists become.
#include "engine/apply_filter.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/fakes/fixed_clock.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf.h"
#include "search/memory_scope_view.h"
#include "search/run_search.h"
#include "tests/support/search_fixture.h"
#include "tests/support/sim_entries.h"
#include "tests/support/test_index.h"
#include "volume/enumeration.h"
#include "volume/volume_discovery.h"

namespace vessiko {
namespace {

using Results = std::vector<std::string>;

constexpr uint32_t kHidden = ntfs::kAttributeHidden;
constexpr uint32_t kSystem = ntfs::kAttributeSystem;

std::string Describe(const RecordingMessages::Message& m) {
  static const char* const kIcons[] = {"none", "information", "warning", "error"};
  return m.caption + ": " + m.text + " [" + kIcons[static_cast<int>(m.icon)] + "]";
}

std::string Error(const std::string& text) {
  return "错误: " + text + " [error]";
}

class ResultFilterTest : public ::testing::Test {
 protected:
  ResultFilterTest() { t_.index().extensions.seedBuiltins(); }

  // A local time of the clock's zone (UTC+8) as a FILETIME.
  uint64_t local(uint16_t year, uint16_t month, uint16_t day, uint16_t hour = 0,
                 uint16_t minute = 0) {
    return clock_.fromLocal({year, month, day, hour, minute, 0, 0});
  }
  static FileTimes at(uint64_t time) { return {time, time, time, time}; }

  // Drive C, or drive D, added when first asked for.
  SimVolume& drive(char letter) {
    if (letter == 'C') return c_;
    if (!d_) d_ = &machine_.addNtfsDrive(letter, u"Data");
    return *d_;
  }
  uint64_t file(const std::string& name, uint64_t size, uint32_t attributes = 0,
                std::optional<FileTimes> times = std::nullopt, char letter = 'C') {
    SimEntry entry = testing::SimFile(5, Utf8ToUtf16(name), size, attributes);
    entry.times = times ? *times : at(local(2024, 3, 1));
    return drive(letter).create(entry);
  }
  uint64_t dir(const std::string& name, uint32_t attributes = 0,
               std::optional<FileTimes> times = std::nullopt, char letter = 'C') {
    SimEntry entry = testing::SimDir(5, Utf8ToUtf16(name));
    entry.attributes |= attributes;
    entry.times = times ? *times : at(local(2024, 3, 1));
    return drive(letter).create(entry);
  }

  // Discovery and the full build, then searching is allowed, as at the end of start-up.
  void build() {
    DiscoverVolumes(machine_, slots_, scope_, messages());
    EnumerateVolumes(t_.index(), slots_, messages());
    ui_.searchEnabled = true;
  }
  Results results() {
    Results out;
    for (uint32_t i = 0; i < state_.dirResults.count(); ++i)
      out.push_back("D " + t_.pathOf(state_.dirResults.itemAt(i)));
    for (uint32_t i = 0; i < state_.fileResults.count(); ++i)
      out.push_back("F " + t_.filePath(state_.fileResults.itemAt(i)));
    return out;
  }
  Results search(const std::string& name) {
    RunSearch(search_, {Utf8ToUtf16(name), u""});
    return results();
  }
  // What an edit of the name field does after a filter: searching is allowed again and the
  // same text is searched in full.
  Results searchAfresh() {
    ui_.searchEnabled = true;
    ui_.filterInForce = false;
    ui_.optionsChanged = true;
    RepeatSearch(search_);
    return results();
  }
  // The filter button, with the messages of earlier steps forgotten.
  Results press() {
    messages().clear();
    ApplyFilter(filter_);
    return results();
  }
  RecordingMessages& messages() { return t_.messages(); }
  // The message boxes shown since the last press.
  std::vector<std::string> boxes() {
    std::vector<std::string> out;
    for (const auto& m : messages().messages())
      out.push_back(Describe(m));
    return out;
  }

  testing::TestIndex t_;
  VolumeSlots slots_{t_.heap()};
  SimMachine machine_;
  SimVolume& c_ = machine_.addNtfsDrive('C', u"System");
  SimVolume* d_ = nullptr;
  UiState ui_;
  MemoryScopeView view_;
  testing::MapFolderResolver folders_;
  ScopeList scope_{view_, folders_, t_.messages()};
  SearchState state_{t_.heap()};
  SearchContext search_{t_.index(), ui_, t_.messages(), t_.messages(), scope_, state_};
  // 2024-06-15 20:00 UTC: already 2024-06-16 04:00 in the local zone.
  FixedClock clock_{CalendarToFileTime({2024, 6, 15, 20, 0, 0, 0}), 8 * 60};
  ResultFilter resultFilter_;
  MemoryFilterPanel panel_{clock_};
  FilterContext filter_{t_.index(), ui_,    t_.messages(), t_.messages(), state_,
                        slots_,     clock_, resultFilter_, panel_};
};

TEST_F(ResultFilterTest, SizeGroupWithoutFileResultsOnlyShowsAHint) {
  dir("d_only");
  file("f_other.txt", 5);
  build();
  ASSERT_EQ(search("d_"), Results{"D C:\\d_only"});
  resultFilter_.setSizeEnabled(true);
  // Both other groups would be refused, and the date group would drop the folder.
  resultFilter_.setDateEnabled(true);
  panel_.afterPicker = {2024, 6, 20, 0, 0, 0, 0};
  resultFilter_.setAttributesEnabled(true);

  EXPECT_EQ(press(), Results{"D C:\\d_only"});
  EXPECT_EQ(boxes(),
            std::vector<std::string>{"提示: 当前结果中没有文件(非文件夹)数为0 [information]"});
  EXPECT_TRUE(messages().statuses().empty());
  EXPECT_TRUE(ui_.searchEnabled);
  EXPECT_FALSE(ui_.filterInForce);
}

TEST_F(ResultFilterTest, SizeComparisonsAgainstOneKilobyte) {
  file("f_1024.bin", 1024);  // record 16 on C
  dir("d_c");
  file("f_2048.bin", 2048, 0, std::nullopt, 'D');  // record 16 on D
  dir("d_d", 0, std::nullopt, 'D');
  file("f_0.txt", 0);
  file("f_1023.txt", 1023);
  file("f_1025.bin", 1025);
  file("f_big.bin", 10'000'000);
  build();
  const Results all = search("_");
  ASSERT_EQ(all.size(), 8u);
  resultFilter_.setSizeEnabled(true);
  panel_.sizeText = u"1";

  panel_.operatorSelection = kSizeGreater;
  // A file's record is read on its parent's volume: D's record 16 is the 2048-byte file.
  EXPECT_EQ(press(), (Results{"F C:\\f_1025.bin", "F D:\\f_2048.bin", "F C:\\f_big.bin"}));
  EXPECT_EQ(messages().lastStatus(), "3 个结果!");
  EXPECT_EQ(messages().resultCount(), 3);
  EXPECT_TRUE(boxes().empty());

  const struct {
    int op;
    Results kept;
  } cases[] = {
      {kSizeEqual, {"F C:\\f_1024.bin"}},
      {kSizeLess, {"F C:\\f_0.txt", "F C:\\f_1023.txt"}},
      {kSizeGreaterEqual,
       {"F C:\\f_1024.bin", "F C:\\f_1025.bin", "F D:\\f_2048.bin", "F C:\\f_big.bin"}},
      {kSizeLessEqual, {"F C:\\f_0.txt", "F C:\\f_1023.txt", "F C:\\f_1024.bin"}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(searchAfresh(), all);
    panel_.operatorSelection = c.op;
    EXPECT_EQ(press(), c.kept) << c.op;
  }
}

TEST_F(ResultFilterTest, ThresholdOfZeroAndThresholdsBeyondThirtyTwoBits) {
  file("f_empty1.txt", 0);
  file("f_empty2.bin", 0);
  file("f_one.txt", 1);
  file("f_huge.bin", uint64_t{5} << 30);
  build();
  const Results all = search("f_");
  resultFilter_.setSizeEnabled(true);

  // "小于等于" 0 is "等于" 0.
  panel_.operatorSelection = kSizeLessEqual;
  panel_.sizeText = u"0";
  EXPECT_EQ(press(), (Results{"F C:\\f_empty1.txt", "F C:\\f_empty2.bin"}));
  EXPECT_TRUE(boxes().empty());

  ASSERT_EQ(searchAfresh(), all);
  panel_.operatorSelection = kSizeLess;
  EXPECT_EQ(press(), all);
  EXPECT_EQ(boxes(), std::vector<std::string>{Error("不存在小于0的文件")});
  EXPECT_TRUE(ui_.searchEnabled);
  EXPECT_FALSE(ui_.filterInForce);

  // 4 GB is 2^32 bytes, 0 if the shift were done in 32 bits.
  panel_.sizeText = u"4";
  panel_.unitSelection = 3;
  EXPECT_EQ(press(), (Results{"F C:\\f_empty1.txt", "F C:\\f_empty2.bin", "F C:\\f_one.txt"}));
  EXPECT_TRUE(boxes().empty());

  ASSERT_EQ(searchAfresh(), all);
  panel_.operatorSelection = kSizeGreaterEqual;
  panel_.sizeText = u"5";
  EXPECT_EQ(press(), Results{"F C:\\f_huge.bin"});
  ASSERT_EQ(searchAfresh(), all);
  panel_.sizeText = u"4294967295";
  EXPECT_EQ(press(), Results{});
  EXPECT_EQ(messages().lastStatus(), "0 个结果!");
}

TEST_F(ResultFilterTest, SizeTextThatIsNoUnsignedNumberIsRefused) {
  file("f_a.txt", 1);
  build();
  const Results all = search("f_");
  resultFilter_.setSizeEnabled(true);
  for (const std::u16string text : {u"-1", u"abc", u"", u"4294967296", u"12kb", u"1 2"}) {
    panel_.sizeText = text;
    EXPECT_EQ(press(), all);
    EXPECT_EQ(boxes(), std::vector<std::string>{Error("指定的文件大小数无效")})
        << Utf16ToUtf8(text);
  }
  EXPECT_TRUE(ui_.searchEnabled);
  EXPECT_FALSE(ui_.filterInForce);
}

TEST_F(ResultFilterTest, DialogNumbersAreReadAsGetDlgItemIntReadsThem) {
  const struct {
    std::u16string_view text;
    uint32_t value;
  } valid[] = {{u"0", 0}, {u" 42 ", 42}, {u"\t7", 7}, {u"007", 7}, {u"4294967295", 4294967295u}};
  for (const auto& v : valid) {
    uint32_t n = 1;
    EXPECT_TRUE(ParseDialogUnsigned(v.text, &n)) << Utf16ToUtf8(v.text);
    EXPECT_EQ(n, v.value);
  }
  for (const std::u16string_view text :
       {u"", u"  ", u"-1", u"+1", u"1 2", u"1.5", u"１", u"4294967296", u"99999999999999999999"}) {
    uint32_t n = 1;
    EXPECT_FALSE(ParseDialogUnsigned(text, &n)) << Utf16ToUtf8(text);
    EXPECT_EQ(n, 1u);
  }
}

TEST_F(ResultFilterTest, ListsWithoutAValidSelectionFilterNothing) {
  file("f_a.txt", 1);
  build();
  const Results all = search("f_");
  resultFilter_.setSizeEnabled(true);
  panel_.operatorSelection = -1;
  EXPECT_EQ(press(), all);
  panel_.operatorSelection = 0;
  panel_.unitSelection = 4;
  EXPECT_EQ(press(), all);
  resultFilter_.setSizeEnabled(false);
  resultFilter_.setDateEnabled(true);
  panel_.dateKindSelection = 3;
  EXPECT_EQ(press(), all);
  EXPECT_TRUE(boxes().empty());
  EXPECT_TRUE(ui_.searchEnabled);
  EXPECT_FALSE(ui_.filterInForce);
}

TEST_F(ResultFilterTest, FutureDatesAreRefusedExceptAsTheUpperBound) {
  file("f_old.txt", 1, 0, at(local(2024, 1, 1)));
  file("f_early_today.txt", 1, 0, at(local(2024, 6, 16, 1)));
  file("f_tomorrow_1159.txt", 1, 0, at(local(2024, 6, 17, 11, 59)));
  file("f_tomorrow_1201.txt", 1, 0, at(local(2024, 6, 17, 12, 1)));
  build();
  const Results all = search("f_");
  resultFilter_.setDateEnabled(true);

  panel_.afterPicker = {2024, 6, 17, 0, 0, 0, 0};
  EXPECT_EQ(press(), all);
  EXPECT_EQ(boxes(), std::vector<std::string>{Error("指定了一个未来时间！")});
  panel_.checkedRadio = DateRadio::kBetween;
  panel_.startPicker = {2024, 6, 17, 0, 0, 0, 0};
  panel_.endPicker = {2024, 6, 18, 0, 0, 0, 0};
  EXPECT_EQ(press(), all);
  EXPECT_EQ(boxes(), std::vector<std::string>{Error("指定了一个未来时间！")});

  // Today is the local date, 16 June, although it is still the 15th in UTC.
  panel_.checkedRadio = DateRadio::kAfter;
  panel_.afterPicker = {2024, 6, 16, 0, 0, 0, 0};
  EXPECT_EQ(press(), (Results{"F C:\\f_early_today.txt", "F C:\\f_tomorrow_1159.txt",
                              "F C:\\f_tomorrow_1201.txt"}));
  EXPECT_TRUE(boxes().empty());

  // "在此前：" takes tomorrow, and the picker's time of day is part of the boundary.
  ASSERT_EQ(searchAfresh(), all);
  panel_.checkedRadio = DateRadio::kBefore;
  panel_.beforePicker = {2024, 6, 17, 12, 0, 0, 0};
  EXPECT_EQ(press(),
            (Results{"F C:\\f_early_today.txt", "F C:\\f_old.txt", "F C:\\f_tomorrow_1159.txt"}));
  EXPECT_TRUE(boxes().empty());
}

TEST_F(ResultFilterTest, IntervalIncludesItsStartAndExcludesItsEnd) {
  file("f_mar01.txt", 1, 0, at(local(2024, 3, 1)));
  file("f_mar15.txt", 1, 0, at(local(2024, 3, 15)));
  file("f_apr01.txt", 1, 0, at(local(2024, 4, 1)));
  dir("d_apr02", 0, at(local(2024, 4, 2)));
  build();
  const Results all = search("_");
  resultFilter_.setDateEnabled(true);
  panel_.checkedRadio = DateRadio::kBetween;

  panel_.startPicker = {2024, 3, 1, 0, 0, 0, 0};
  panel_.endPicker = {2024, 4, 1, 0, 0, 0, 0};
  EXPECT_EQ(press(), (Results{"F C:\\f_mar01.txt", "F C:\\f_mar15.txt"}));

  ASSERT_EQ(searchAfresh(), all);
  panel_.endPicker = panel_.startPicker;
  EXPECT_EQ(press(), Results{});
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(messages().lastStatus(), "0 个结果!");

  ASSERT_EQ(searchAfresh(), all);
  panel_.startPicker = {2024, 4, 1, 0, 0, 0, 0};
  panel_.endPicker = {2024, 3, 31, 23, 59, 0, 0};
  EXPECT_EQ(press(), all);
  EXPECT_EQ(boxes(), std::vector<std::string>{Error("指定的时间区间不合法！")});
}

TEST_F(ResultFilterTest, EachDateKindComparesItsOwnTimeStamp) {
  const uint64_t jan = local(2024, 1, 5);
  const uint64_t jun = local(2024, 6, 10);
  // FileTimes: creation, modification, record change, last access.
  file("f_created.txt", 1, 0, FileTimes{jun, jan, jan, jan});
  file("f_modified.txt", 1, 0, FileTimes{jan, jun, jan, jan});
  file("f_changed.txt", 1, 0, FileTimes{jan, jan, jun, jan});
  file("f_accessed.txt", 1, 0, FileTimes{jan, jan, jan, jun});
  dir("d_created", 0, FileTimes{jun, jan, jan, jan});
  build();
  const Results all = search("_");
  resultFilter_.setDateEnabled(true);
  panel_.afterPicker = {2024, 6, 1, 0, 0, 0, 0};

  const struct {
    int kind;
    Results kept;
  } cases[] = {
      {kByCreation, {"D C:\\d_created", "F C:\\f_created.txt"}},
      {kByRecordChange, {"F C:\\f_changed.txt"}},
      {kByLastAccess, {"F C:\\f_accessed.txt"}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(searchAfresh(), all);
    panel_.dateKindSelection = c.kind;
    EXPECT_EQ(press(), c.kept) << c.kind;
  }
}

TEST_F(ResultFilterTest, AttributeBoxesChooseNormalHiddenAndSystemEntries) {
  dir("d_plain");                               // record 16 on C
  dir("d_hidden", kHidden, std::nullopt, 'D');  // record 16 on D
  file("f_plain.txt", 1, ntfs::kAttributeReadOnly | ntfs::kAttributeArchive);
  file("f_hidden.txt", 1, kHidden);
  file("f_system.txt", 1, kSystem);
  file("f_both.txt", 1, kHidden | kSystem);
  build();
  const Results all = search("_");
  ASSERT_EQ(all.size(), 6u);
  resultFilter_.setAttributesEnabled(true);

  EXPECT_EQ(press(), all);
  EXPECT_EQ(boxes(), std::vector<std::string>{Error("必须指定一个过滤属性！")});

  // The boxes checked: N "普通", H "隐藏", S "系统".
  const struct {
    std::string checked;
    Results kept;
  } cases[] = {
      {"N", {"D C:\\d_plain", "F C:\\f_plain.txt"}},
      {"H", {"D D:\\d_hidden", "F C:\\f_both.txt", "F C:\\f_hidden.txt"}},
      {"S", {"F C:\\f_both.txt", "F C:\\f_system.txt"}},
      {"NS", {"D C:\\d_plain", "F C:\\f_both.txt", "F C:\\f_plain.txt", "F C:\\f_system.txt"}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(searchAfresh(), all);
    panel_.normal = c.checked.find('N') != std::string::npos;
    panel_.hidden = c.checked.find('H') != std::string::npos;
    panel_.system = c.checked.find('S') != std::string::npos;
    EXPECT_EQ(press(), c.kept) << c.checked;
  }
}

TEST_F(ResultFilterTest, NothingHappensWithoutAGroupOrBeforeTheIndexIsReady) {
  dir("d_a");
  build();
  const Results all = search("d_");
  messages().clear();
  EXPECT_EQ(press(), all);
  EXPECT_TRUE(boxes().empty());
  EXPECT_TRUE(messages().statuses().empty());
  EXPECT_EQ(messages().resultCount(), -1);
  EXPECT_TRUE(ui_.searchEnabled);
  EXPECT_FALSE(ui_.filterInForce);

  // Still loading: not even the hint about missing file results.
  ui_.searchEnabled = false;
  resultFilter_.setSizeEnabled(true);
  EXPECT_EQ(press(), all);
  EXPECT_TRUE(boxes().empty());
  EXPECT_FALSE(ui_.filterInForce);
}

TEST_F(ResultFilterTest, FilteredListsStayUntilTheNextEditAndCanBeFilteredAgain) {
  dir("d_hidden", kHidden);
  file("f_small_hidden.txt", 10, kHidden);
  file("f_large_hidden.txt", 5000, kHidden);
  file("f_large_plain.txt", 5000);
  build();
  const Results all = search("_");
  resultFilter_.setAttributesEnabled(true);
  panel_.hidden = true;
  const Results hidden{"D C:\\d_hidden", "F C:\\f_large_hidden.txt", "F C:\\f_small_hidden.txt"};
  EXPECT_EQ(press(), hidden);
  EXPECT_FALSE(ui_.searchEnabled);
  EXPECT_TRUE(ui_.filterInForce);

  // Option changes and index changes do not refresh a snapshot.
  const size_t statuses = messages().statuses().size();
  ui_.caseSensitive = true;
  ui_.optionsChanged = true;
  RepeatSearch(search_);
  ui_.indexChanged = true;
  RepeatSearch(search_);
  EXPECT_EQ(results(), hidden);
  EXPECT_EQ(messages().statuses().size(), statuses);

  // A second press narrows the filtered lists: hidden and over 1 KB.
  resultFilter_.setSizeEnabled(true);
  panel_.operatorSelection = kSizeGreater;
  panel_.sizeText = u"1";
  EXPECT_EQ(press(), Results{"F C:\\f_large_hidden.txt"});
  EXPECT_EQ(messages().lastStatus(), "1 个结果!");

  // Typing runs a full, unfiltered search again.
  ui_.caseSensitive = false;
  ui_.searchEnabled = true;
  EXPECT_EQ(search("f_"), (Results{"F C:\\f_large_hidden.txt", "F C:\\f_large_plain.txt",
                                   "F C:\\f_small_hidden.txt"}));
  EXPECT_EQ(search("_"), all);
}

TEST_F(ResultFilterTest, EntriesWhoseRecordsGiveNoValueAreDropped) {
  file("f_kept.txt", 10);
  const uint64_t gone = file("f_gone.txt", 10);
  file("f_last.txt", 10);
  build();
  const Results all = search("f_");
  ASSERT_EQ(all.size(), 3u);
  // Deleted on the volume, but no journal monitor has taken it out of the index yet.
  ASSERT_TRUE(c_.remove(gone));

  // Every box checked: any entry with readable flags passes.
  resultFilter_.setAttributesEnabled(true);
  panel_.normal = panel_.hidden = panel_.system = true;
  EXPECT_EQ(press(), (Results{"F C:\\f_kept.txt", "F C:\\f_last.txt"}));

  ASSERT_EQ(searchAfresh(), all);
  resultFilter_.setAttributesEnabled(false);
  resultFilter_.setSizeEnabled(true);
  panel_.operatorSelection = kSizeGreaterEqual;
  EXPECT_EQ(press(), (Results{"F C:\\f_kept.txt", "F C:\\f_last.txt"}));
}

}  // namespace
}  // namespace vessiko
