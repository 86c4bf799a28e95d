#include "tools/synth/synthetic_names.h"

#include <iterator>

namespace vessiko {

namespace {

const char16_t* const kWords[] = {
    u"report",   u"invoice",   u"setup",   u"readme",  u"config",  u"index",    u"main",
    u"util",     u"test",      u"data",    u"backup",  u"project", u"notes",    u"summary",
    u"draft",    u"final",     u"image",   u"video",   u"music",   u"document", u"archive",
    u"export",   u"import",    u"server",  u"client",  u"module",  u"library",  u"resource",
    u"template", u"settings",  u"manager", u"service", u"update",  u"install",  u"window",
    u"string",   u"buffer",    u"stream",  u"record",  u"journal", u"volume",   u"budget",
    u"meeting",  u"contract",  u"photo",   u"holiday", u"family",  u"Windows",  u"System",
    u"Program",  u"Microsoft", u"Adobe",   u"Google",  u"Chrome",  u"Office",   u"Visual",
    u"Studio"};

const char16_t* const kPrefixes[] = {u"IMG_", u"DSC", u"Screenshot ", u"VID_", u"lib", u"Copy of ",
                                     u"New ", u"~$",  u"api-ms-win-", u"msvcp"};

// Common characters of file names in Chinese: documents, reports, photos, projects...
const char16_t* const kChinese[] = {
    u"文档", u"报告", u"照片", u"项目", u"会议", u"合同", u"资料", u"新建", u"文件夹", u"图片",
    u"视频", u"音乐", u"备份", u"设置", u"中国", u"北京", u"上海", u"工作", u"计划",   u"总结",
    u"简历", u"财务", u"数据", u"下载", u"桌面", u"我的", u"张三", u"李四"};

struct WeightedExtension {
  const char16_t* text;
  uint32_t weight;
};

const WeightedExtension kExtensions[] = {
    {u"dll", 14}, {u"jpg", 10}, {u"png", 9}, {u"h", 6},    {u"cpp", 4}, {u"js", 8},
    {u"json", 4}, {u"xml", 4},  {u"txt", 6}, {u"html", 3}, {u"pdf", 3}, {u"docx", 2},
    {u"xlsx", 2}, {u"mp3", 2},  {u"mp4", 1}, {u"exe", 4},  {u"lnk", 1}, {u"ico", 1},
    {u"log", 3},  {u"dat", 3},  {u"mui", 5}, {u"py", 2},   {u"cs", 2},  {u"css", 2},
    {u"svg", 2},  {u"ttf", 1},  {u"sys", 1}, {u"ini", 1},  {u"cab", 1}, {u"manifest", 2},
    {u"cat", 2},  {u"pyc", 2},  {u"gz", 1},  {u"zip", 1}};

uint32_t TotalWeight() {
  uint32_t sum = 0;
  for (const auto& e : kExtensions)
    sum += e.weight;
  return sum;
}

}  // namespace

std::u16string SyntheticNames::word() {
  return kWords[pick(std::size(kWords))];
}

std::u16string SyntheticNames::chineseWord() {
  return kChinese[pick(std::size(kChinese))];
}

std::u16string SyntheticNames::number(int digits) {
  std::u16string text;
  for (int i = 0; i < digits; ++i)
    text.push_back(static_cast<char16_t>(u'0' + pick(10)));
  return text;
}

const char16_t* SyntheticNames::extension() {
  static const uint32_t total = TotalWeight();
  uint32_t r = pick(total);
  for (const auto& e : kExtensions) {
    if (r < e.weight) return e.text;
    r -= e.weight;
  }
  return kExtensions[0].text;
}

std::u16string SyntheticNames::fileName() {
  std::u16string base;
  const uint32_t shape = pick(100);
  if (shape < 10) {
    base = chineseWord() + (pick(2) ? chineseWord() : u"") + (pick(2) ? u"_" + number(2) : u"");
  } else if (shape < 30) {
    base = std::u16string(kPrefixes[pick(std::size(kPrefixes))]) + u"20" + number(6) + u"_" +
           number(4);
  } else if (shape < 55) {
    base = word() + u"_" + word() + (pick(2) ? u"-" + number(4) : u"");
  } else if (shape < 80) {
    base = word() + word() + word() + (pick(2) == 0 ? u" (" + number(1) + u")" : u"");
  } else {
    base = word() + u"." + word() + u"." + number(4);
  }
  if (pick(20) == 0) return base;  // no extension
  return base + u"." + extension();
}

std::u16string SyntheticNames::folderName() {
  const uint32_t shape = pick(100);
  if (shape < 10) return chineseWord() + chineseWord();
  if (shape < 35) return word() + u"s";
  if (shape < 70) return word() + u" " + word();
  if (shape < 85) return word() + u"-" + number(1) + u"." + number(2) + u"." + number(4);
  return u"{" + number(8) + u"-" + number(4) + u"-" + number(4) + u"}";
}

}  // namespace vessiko
