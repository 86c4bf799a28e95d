#include "tools/synth/synthetic_names.h"

#include <array>
#include <iterator>
#include <string_view>

namespace vessiko {

namespace {

constexpr std::u16string_view kWords[] = {
    u"report",   u"invoice",   u"setup",   u"readme",  u"config",  u"index",    u"main",
    u"util",     u"test",      u"data",    u"backup",  u"project", u"notes",    u"summary",
    u"draft",    u"final",     u"image",   u"video",   u"music",   u"document", u"archive",
    u"export",   u"import",    u"server",  u"client",  u"module",  u"library",  u"resource",
    u"template", u"settings",  u"manager", u"service", u"update",  u"install",  u"window",
    u"string",   u"buffer",    u"stream",  u"record",  u"journal", u"volume",   u"budget",
    u"meeting",  u"contract",  u"photo",   u"holiday", u"family",  u"Windows",  u"System",
    u"Program",  u"Microsoft", u"Adobe",   u"Google",  u"Chrome",  u"Office",   u"Visual",
    u"Studio"};

constexpr std::u16string_view kPrefixes[] = {u"IMG_",        u"DSC",      u"Screenshot ", u"VID_",
                                             u"lib",         u"Copy of ", u"New ",        u"~$",
                                             u"api-ms-win-", u"msvcp"};

// Common characters of file names in Chinese: documents, reports, photos, projects...
constexpr std::u16string_view kChinese[] = {
    u"文档", u"报告", u"照片", u"项目", u"会议", u"合同", u"资料", u"新建", u"文件夹", u"图片",
    u"视频", u"音乐", u"备份", u"设置", u"中国", u"北京", u"上海", u"工作", u"计划",   u"总结",
    u"简历", u"财务", u"数据", u"下载", u"桌面", u"我的", u"张三", u"李四"};

struct WeightedExtension {
  const char16_t* text;
  uint32_t weight;
};

constexpr WeightedExtension kExtensions[] = {
    {u"dll", 14}, {u"jpg", 10}, {u"png", 9}, {u"h", 6},    {u"cpp", 4}, {u"js", 8},
    {u"json", 4}, {u"xml", 4},  {u"txt", 6}, {u"html", 3}, {u"pdf", 3}, {u"docx", 2},
    {u"xlsx", 2}, {u"mp3", 2},  {u"mp4", 1}, {u"exe", 4},  {u"lnk", 1}, {u"ico", 1},
    {u"log", 3},  {u"dat", 3},  {u"mui", 5}, {u"py", 2},   {u"cs", 2},  {u"css", 2},
    {u"svg", 2},  {u"ttf", 1},  {u"sys", 1}, {u"ini", 1},  {u"cab", 1}, {u"manifest", 2},
    {u"cat", 2},  {u"pyc", 2},  {u"gz", 1},  {u"zip", 1}};

constexpr uint32_t TotalWeight() {
  uint32_t sum = 0;
  for (const auto& e : kExtensions)
    sum += e.weight;
  return sum;
}
constexpr uint32_t kTotalWeight = TotalWeight();

// The extension of each draw in [0, kTotalWeight): extension i takes weight draws in a row.
constexpr std::array<uint8_t, kTotalWeight> MakeExtensionDraws() {
  std::array<uint8_t, kTotalWeight> draws{};
  uint32_t at = 0;
  for (uint32_t i = 0; i < std::size(kExtensions); ++i) {
    for (uint32_t k = 0; k < kExtensions[i].weight; ++k)
      draws[at++] = static_cast<uint8_t>(i);
  }
  return draws;
}
constexpr std::array<uint8_t, kTotalWeight> kExtensionDraws = MakeExtensionDraws();

constexpr uint32_t kWordCount = std::size(kWords);
constexpr uint32_t kPrefixCount = std::size(kPrefixes);
constexpr uint32_t kChineseCount = std::size(kChinese);

}  // namespace

// The names are those the generator has always made: each draws its random numbers in the order
// it always did (the parts of a name from the last to the first), then writes the parts in
// name order.

void SyntheticNames::appendWord(uint32_t which) {
  name_ += kWords[which];
}

void SyntheticNames::appendChineseWord(uint32_t which) {
  name_ += kChinese[which];
}

void SyntheticNames::drawDigits(char16_t* out, int count) {
  for (int i = 0; i < count; ++i)
    out[i] = static_cast<char16_t>(u'0' + pick(10));
}

void SyntheticNames::appendDigits(const char16_t* digits, int count) {
  name_.append(digits, static_cast<size_t>(count));
}

const char16_t* SyntheticNames::extension() {
  return kExtensions[kExtensionDraws[pick(kTotalWeight)]].text;
}

std::u16string& SyntheticNames::nextFileName() {
  name_.clear();
  const uint32_t shape = pick(100);
  if (shape < 10) {
    // Two or four Chinese characters, perhaps _NN.
    char16_t digits[2];
    const bool numbered = pick(2) != 0;
    if (numbered) drawDigits(digits, 2);
    const bool twice = pick(2) != 0;
    const uint32_t second = twice ? pick(kChineseCount) : 0;
    appendChineseWord(pick(kChineseCount));
    if (twice) appendChineseWord(second);
    if (numbered) {
      name_ += u'_';
      appendDigits(digits, 2);
    }
  } else if (shape < 30) {
    // IMG_20NNNNNN_NNNN
    char16_t serial[4];
    char16_t date[6];
    drawDigits(serial, 4);
    drawDigits(date, 6);
    name_ += kPrefixes[pick(kPrefixCount)];
    name_ += u"20";
    appendDigits(date, 6);
    name_ += u'_';
    appendDigits(serial, 4);
  } else if (shape < 55) {
    // word_word, perhaps -NNNN
    char16_t digits[4];
    const bool numbered = pick(2) != 0;
    if (numbered) drawDigits(digits, 4);
    const uint32_t second = pick(kWordCount);
    appendWord(pick(kWordCount));
    name_ += u'_';
    appendWord(second);
    if (numbered) {
      name_ += u'-';
      appendDigits(digits, 4);
    }
  } else if (shape < 80) {
    // wordwordword, perhaps " (N)"
    char16_t digit = 0;
    const bool copy = pick(2) == 0;
    if (copy) drawDigits(&digit, 1);
    const uint32_t third = pick(kWordCount);
    const uint32_t second = pick(kWordCount);
    appendWord(pick(kWordCount));
    appendWord(second);
    appendWord(third);
    if (copy) {
      name_ += u" (";
      name_ += digit;
      name_ += u')';
    }
  } else {
    // word.word.NNNN
    char16_t digits[4];
    drawDigits(digits, 4);
    const uint32_t second = pick(kWordCount);
    appendWord(pick(kWordCount));
    name_ += u'.';
    appendWord(second);
    name_ += u'.';
    appendDigits(digits, 4);
  }
  if (pick(20) == 0) return name_;  // no extension
  name_ += u'.';
  name_ += extension();
  return name_;
}

std::u16string& SyntheticNames::nextFolderName() {
  name_.clear();
  const uint32_t shape = pick(100);
  if (shape < 10) {
    const uint32_t second = pick(kChineseCount);
    appendChineseWord(pick(kChineseCount));
    appendChineseWord(second);
  } else if (shape < 35) {
    appendWord(pick(kWordCount));
    name_ += u's';
  } else if (shape < 70) {
    const uint32_t second = pick(kWordCount);
    appendWord(pick(kWordCount));
    name_ += u' ';
    appendWord(second);
  } else if (shape < 85) {
    // word-N.NN.NNNN
    char16_t build[4];
    char16_t minor[2];
    char16_t major;
    drawDigits(build, 4);
    drawDigits(minor, 2);
    drawDigits(&major, 1);
    appendWord(pick(kWordCount));
    name_ += u'-';
    name_ += major;
    name_ += u'.';
    appendDigits(minor, 2);
    name_ += u'.';
    appendDigits(build, 4);
  } else {
    // {NNNNNNNN-NNNN-NNNN}
    char16_t last[4];
    char16_t middle[4];
    char16_t first[8];
    drawDigits(last, 4);
    drawDigits(middle, 4);
    drawDigits(first, 8);
    name_ += u'{';
    appendDigits(first, 8);
    name_ += u'-';
    appendDigits(middle, 4);
    name_ += u'-';
    appendDigits(last, 4);
    name_ += u'}';
  }
  return name_;
}

}  // namespace vessiko
