#include "ui/demo_machine.h"

#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/ntfs_layout.h"
#include "platform/utf.h"

namespace vessiko {

void DemoFolders::add(std::u16string path, EntryKey key) {
  std::lock_guard lock(mutex_);
  keys_[std::move(path)] = key;
}

bool DemoFolders::folderKey(std::u16string_view path, EntryKey* key) {
  std::lock_guard lock(mutex_);
  const auto found = keys_.find(path);
  if (found == keys_.end()) return false;
  *key = found->second;
  return true;
}

SimTreeBuilder::SimTreeBuilder(SimVolume& volume, char letter, DemoFolders& folders)
    : volume_(volume), letter_(static_cast<char16_t>(letter)), folders_(folders) {
  paths_[root()] = std::u16string{letter_, u':', u'\\'};
}

uint64_t SimTreeBuilder::folder(uint64_t parent, std::u16string_view name, uint32_t attributes,
                                std::optional<FileTimes> times) {
  const uint64_t folder = volume_.createQuietly(
      SimEntry{parent, std::u16string(name), attributes | ntfs::kAttributeDirectory, 0, times});
  if (folder == 0) return 0;
  const std::u16string& above = paths_.at(parent);
  std::u16string path =
      above.back() == u'\\' ? above + std::u16string(name) : above + u'\\' + std::u16string(name);
  const auto record = static_cast<uint32_t>(folder & ntfs::kRecordNumberMask48);
  folders_.add(path, MakeEntryKey(static_cast<uint32_t>(letter_ - u'A'), record));
  paths_[folder] = std::move(path);
  return folder;
}

uint64_t SimTreeBuilder::file(uint64_t parent, std::u16string_view name, uint64_t size,
                              uint32_t attributes, std::optional<FileTimes> times) {
  return volume_.createQuietly(SimEntry{parent, std::u16string(name), attributes, size, times});
}

namespace {

constexpr uint32_t kHidden = ntfs::kAttributeHidden;
constexpr uint32_t kSystem = ntfs::kAttributeSystem;
constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;
constexpr uint64_t kGiB = 1024 * kMiB;
constexpr uint64_t kDay = 24ULL * 3600 * kFileTimeTicksPerSecond;

// Deterministic sizes and times for the demo entries.
class Dice {
 public:
  uint64_t between(uint64_t low, uint64_t high) { return low + random_() % (high - low + 1); }
  // Times between 2019 and the end of 2024, in the order a file lives them.
  FileTimes times() {
    const uint64_t start = CalendarToFileTime({2019, 1, 1, 0, 0, 0, 0});
    FileTimes t;
    t.creation = start + between(0, 1800 * kDay) + between(0, kDay);
    t.modification = t.creation + between(0, 180 * kDay);
    t.recordChange = t.modification + between(0, 3 * kDay);
    t.lastAccess = t.recordChange + between(0, 40 * kDay);
    return t;
  }

 private:
  std::mt19937_64 random_{20241207};
};

std::u16string U(std::string_view utf8) {
  return Utf8ToUtf16(utf8);
}

// The prefix, the number with leading zeros to `digits` digits, and the suffix.
std::string Numbered(std::string_view prefix, uint64_t n, int digits, std::string_view suffix) {
  std::string number = std::to_string(n);
  while (static_cast<int>(number.size()) < digits)
    number.insert(number.begin(), '0');
  return std::string(prefix) + number + std::string(suffix);
}

struct Tree {
  SimTreeBuilder& b;
  Dice& dice;

  uint64_t dir(uint64_t parent, std::string_view name, uint32_t attributes = 0) {
    return b.folder(parent, U(name), attributes, dice.times());
  }
  void file(uint64_t parent, std::string_view name, uint64_t low, uint64_t high,
            uint32_t attributes = 0) {
    b.file(parent, U(name), dice.between(low, high), attributes, dice.times());
  }
  void files(uint64_t parent, std::initializer_list<std::string_view> names, uint64_t low,
             uint64_t high) {
    for (std::string_view name : names)
      file(parent, name, low, high);
  }
};

void FillWindows(Tree& t) {
  const uint64_t root = t.b.root();
  const uint64_t windows = t.dir(root, "Windows");
  t.files(windows,
          {"explorer.exe", "notepad.exe", "regedit.exe", "HelpPane.exe", "win.ini", "system.ini",
           "bfsvc.exe", "splwow64.exe"},
          10 * kKiB, 5 * kMiB);
  const uint64_t system32 = t.dir(windows, "System32");
  const char* stems[] = {"ad",     "win",   "ms",    "nt",    "shell",  "com",   "user",  "kernel",
                         "gdi",    "crypt", "net",   "ole",   "rpc",    "setup", "print", "audio",
                         "dx",     "d3d",   "media", "sec",   "sys",    "wmi",   "wlan",  "bcrypt",
                         "cfg",    "font",  "input", "power", "search", "sync",  "task",  "theme",
                         "update", "web",   "xml",   "dwm"};
  const char* tails[] = {"api", "core", "svc", "ui",  "mgr", "host", "base",
                         "ext", "lib",  "32",  "srv", "cli", "res"};
  for (const char* stem : stems) {
    for (const char* tail : tails)
      t.file(system32, std::string(stem) + tail + ".dll", 20 * kKiB, 3 * kMiB);
  }
  t.files(system32, {"cmd.exe",    "calc.exe",     "mspaint.exe", "taskmgr.exe",  "control.exe",
                     "mmc.exe",    "charmap.exe",  "winver.exe",  "msinfo32.exe", "cleanmgr.exe",
                     "dxdiag.exe", "eventvwr.exe", "perfmon.exe", "services.msc", "svchost.exe",
                     "lsass.exe",  "csrss.exe",    "conhost.exe", "rundll32.exe", "smss.exe"},
          30 * kKiB, 2 * kMiB);
  const uint64_t drivers = t.dir(system32, "drivers");
  t.files(drivers,
          {"ntfs.sys", "tcpip.sys", "disk.sys", "volmgr.sys", "usbhub.sys", "hdaudio.sys",
           "acpi.sys", "pci.sys", "storport.sys", "netio.sys"},
          40 * kKiB, 3 * kMiB);
  const uint64_t fonts = t.dir(windows, "Fonts");
  t.files(fonts, {"simsun.ttc",  "msyh.ttc",    "msyhbd.ttc",  "simhei.ttf",   "simkai.ttf",
                  "simfang.ttf", "arial.ttf",   "arialbd.ttf", "times.ttf",    "cour.ttf",
                  "consola.ttf", "segoeui.ttf", "tahoma.ttf",  "verdana.ttf",  "calibri.ttf",
                  "cambria.ttc", "georgia.ttf", "impact.ttf",  "webdings.ttf", "wingding.ttf"},
          50 * kKiB, 20 * kMiB);
  const uint64_t wallpaper = t.dir(t.dir(windows, "Web"), "Wallpaper");
  for (int i = 0; i < 6; ++i)
    t.file(wallpaper, "img" + std::to_string(i) + ".jpg", 300 * kKiB, 5 * kMiB);
  const uint64_t logs = t.dir(windows, "Logs");
  t.files(logs, {"CBS.log", "DISM.log", "setupact.log", "setuperr.log", "WindowsUpdate.log"},
          1 * kKiB, 30 * kMiB);
}

void FillPrograms(Tree& t) {
  const uint64_t root = t.b.root();
  const uint64_t programs = t.dir(root, "Program Files");
  const uint64_t vessiko = t.dir(programs, "Vessiko");
  t.files(vessiko, {"vessiko.exe", "使用说明.txt", "kavume_core.db", "kavume_ext.db"}, 2 * kKiB,
          40 * kMiB);
  const uint64_t zip = t.dir(programs, "7-Zip");
  t.files(zip,
          {"7z.exe", "7z.dll", "7zFM.exe", "7zG.exe", "History.txt", "License.txt", "readme.txt"},
          5 * kKiB, 2 * kMiB);
  const uint64_t lang = t.dir(zip, "Lang");
  t.files(lang, {"zh-cn.txt", "zh-tw.txt", "en.ttt", "ja.txt", "ko.txt", "de.txt", "fr.txt"},
          5 * kKiB, 60 * kKiB);
  const uint64_t firefox = t.dir(programs, "Mozilla Firefox");
  t.files(firefox,
          {"firefox.exe", "xul.dll", "mozglue.dll", "nss3.dll", "omni.ja", "application.ini",
           "platform.ini", "updater.exe"},
          100 * kKiB, 120 * kMiB);
  const uint64_t office = t.dir(t.dir(t.dir(programs, "Microsoft Office"), "root"), "Office16");
  t.files(office,
          {"WINWORD.EXE", "EXCEL.EXE", "POWERPNT.EXE", "OUTLOOK.EXE", "ONENOTE.EXE", "MSACCESS.EXE",
           "mso.dll", "wwlib.dll", "Excel.exe.manifest"},
          500 * kKiB, 60 * kMiB);
  const uint64_t wechat = t.dir(t.dir(programs, "Tencent"), "WeChat");
  t.files(wechat, {"WeChat.exe", "WeChatWin.dll", "WeChatApp.exe", "卸载微信.exe"}, 1 * kMiB,
          90 * kMiB);
  const uint64_t music = t.dir(programs, "网易云音乐");
  t.files(music, {"cloudmusic.exe", "cloudmusic.dll", "libcef.dll", "卸载清除.exe"}, 1 * kMiB,
          150 * kMiB);
  const uint64_t x86 = t.dir(root, "Program Files (x86)");
  const uint64_t qq = t.dir(t.dir(t.dir(x86, "Tencent"), "QQ"), "Bin");
  t.files(qq, {"QQ.exe", "QQScLauncher.exe", "AppUtil.dll", "Common.dll", "卸载QQ.exe"}, 100 * kKiB,
          30 * kMiB);
  const uint64_t common = t.dir(x86, "Common Files");
  t.files(common, {"setup.exe", "Installer.dll"}, 50 * kKiB, 5 * kMiB);
}

void FillUser(Tree& t) {
  const uint64_t root = t.b.root();
  const uint64_t users = t.dir(root, "Users");
  const uint64_t user = t.dir(users, "小明");
  const uint64_t desktop = t.dir(user, "桌面");
  t.files(desktop, {"微信.lnk", "QQ.lnk", "网易云音乐.lnk", "Vessiko.lnk", "Firefox.lnk"}, 1 * kKiB,
          3 * kKiB);
  t.files(desktop, {"工作报告.docx", "待办事项.txt", "截图.png"}, 5 * kKiB, 2 * kMiB);
  t.file(desktop, "desktop.ini", 282, 282, kHidden | kSystem);

  const uint64_t documents = t.dir(user, "文档");
  const uint64_t reports = t.dir(documents, "报告");
  const uint64_t contracts = t.dir(documents, "合同");
  const uint64_t notes = t.dir(documents, "笔记");
  for (int year = 2019; year <= 2024; ++year) {
    const std::string y = std::to_string(year);
    t.file(reports, y + "年度工作总结.docx", 30 * kKiB, 900 * kKiB);
    t.file(reports, "Annual Report " + y + ".pdf", 500 * kKiB, 12 * kMiB);
    for (int quarter = 1; quarter <= 4; ++quarter)
      t.file(reports, "Report " + y + " Q" + std::to_string(quarter) + ".xlsx", 20 * kKiB,
             2 * kMiB);
    for (int month = 1; month <= 12; ++month) {
      t.file(documents, y + "年" + std::to_string(month) + "月报销单.xlsx", 10 * kKiB, 200 * kKiB);
      t.file(notes, "会议纪要_" + y + Numbered("", static_cast<uint64_t>(month), 2, "15.docx"),
             15 * kKiB, 300 * kKiB);
    }
    t.file(documents, "Budget " + y + ".xlsx", 20 * kKiB, 800 * kKiB);
  }
  for (int week = 1; week <= 24; ++week)
    t.file(reports, "项目进度报告_第" + std::to_string(week) + "周.docx", 20 * kKiB, 600 * kKiB);
  for (const char* topic : {"市场调研", "用户访谈", "竞品分析", "性能测试", "安全审计"})
    t.file(reports, std::string(topic) + "报告.pdf", 200 * kKiB, 9 * kMiB);
  for (const char* company : {"华为", "腾讯", "阿里巴巴", "百度", "Contoso", "Fabrikam"})
    t.file(contracts, std::string("合同_") + company + ".pdf", 100 * kKiB, 5 * kMiB);
  for (int i = 1; i <= 40; ++i)
    t.file(contracts, Numbered("Invoice_", static_cast<uint64_t>(i), 4, ".pdf"), 50 * kKiB,
           400 * kKiB);
  for (int i = 1; i <= 30; ++i)
    t.file(notes, "notes_" + std::to_string(i) + ".txt", 200, 30 * kKiB);
  t.files(documents,
          {"项目计划书_v1.pptx", "项目计划书_v2.pptx", "项目计划书_v3.pptx", "简历_小明.pdf",
           "readme.md", "密码.txt"},
          5 * kKiB, 8 * kMiB);

  const uint64_t downloads = t.dir(user, "下载");
  t.files(downloads,
          {"WeChatSetup.exe", "QQ9.9.exe", "Firefox Setup 121.0.exe", "7z2301-x64.exe",
           "cloudmusicsetup.exe", "python-3.12.1-amd64.exe", "VSCodeUserSetup.exe",
           "Git-2.43.0-64-bit.exe", "论文模板.docx", "发票.pdf", "数据.csv", "photos.zip",
           "驱动程序.zip", "ubuntu-22.04.iso"},
          500 * kKiB, 90 * kMiB);
  const uint64_t pictures = t.dir(user, "图片");
  const uint64_t screenshots = t.dir(pictures, "截图");
  for (int i = 1; i <= 60; ++i)
    t.file(screenshots,
           "Screenshot 2024-" + std::to_string(1 + i % 12) + "-" + std::to_string(1 + i % 28) +
               " " + std::to_string(100000 + i * 37) + ".png",
           50 * kKiB, 3 * kMiB);
  t.dir(user, "音乐");
  const uint64_t videos = t.dir(user, "视频");
  t.files(videos, {"毕业典礼.mp4", "生日聚会.mov"}, 200 * kMiB, 2 * kGiB);
  const uint64_t appData = t.dir(user, "AppData", kHidden);
  const uint64_t temp = t.dir(t.dir(appData, "Local"), "Temp");
  for (int i = 0; i < 40; ++i)
    t.file(temp, Numbered("~tmp", static_cast<uint64_t>(i) * 7919 % 10000, 4, ".tmp"), 0,
           500 * kKiB);
  const uint64_t roaming = t.dir(appData, "Roaming");
  t.files(t.dir(roaming, "Tencent"), {"config.ini", "users.db"}, 1 * kKiB, 2 * kMiB);

  const uint64_t publicUser = t.dir(users, "Public");
  t.file(t.dir(publicUser, "Documents"), "desktop.ini", 278, 278, kHidden | kSystem);
}

void FillSystemRoot(Tree& t) {
  const uint64_t root = t.b.root();
  t.dir(root, "$Recycle.Bin", kHidden | kSystem);
  t.dir(root, "System Volume Information", kHidden | kSystem);
  const uint64_t programData = t.dir(root, "ProgramData", kHidden);
  t.files(t.dir(programData, "Microsoft"), {"Windows Defender.log", "wlansvc.dat"}, 1 * kKiB,
          5 * kMiB);
  t.file(root, "pagefile.sys", 8 * kGiB, 8 * kGiB, kHidden | kSystem);
  t.file(root, "hiberfil.sys", 6 * kGiB, 7 * kGiB, kHidden | kSystem);
  t.file(root, "swapfile.sys", 256 * kMiB, 256 * kMiB, kHidden | kSystem);
  t.file(root, "bootmgr", 400 * kKiB, 420 * kKiB, kHidden | kSystem);
}

void FillData(Tree& t) {
  const uint64_t root = t.b.root();
  const uint64_t photos = t.dir(root, "照片");
  uint64_t photo = 1;
  for (int year = 2019; year <= 2024; ++year) {
    const uint64_t yearFolder = t.dir(photos, std::to_string(year));
    for (int month = 1; month <= 12; ++month) {
      const uint64_t monthFolder =
          t.dir(yearFolder, Numbered("", static_cast<uint64_t>(month), 2, ""));
      const uint64_t count = t.dice.between(6, 14);
      for (uint64_t i = 0; i < count; ++i)
        t.file(monthFolder, Numbered("IMG_", photo++, 4, ".jpg"), 1 * kMiB, 8 * kMiB);
    }
  }
  t.files(photos, {"全家福.jpg", "毕业照.jpg", "旅行_西湖.jpg", "旅行_长城.jpg", "Thumbs.db"},
          100 * kKiB, 9 * kMiB);

  const uint64_t music = t.dir(root, "音乐");
  struct Artist {
    const char* name;
    std::vector<const char*> songs;
  };
  const Artist artists[] = {
      {"周杰伦",
       {"晴天", "七里香", "稻香", "夜曲", "青花瓷", "告白气球", "简单爱", "双截棍", "以父之名",
        "东风破"}},
      {"陈奕迅",
       {"十年", "浮夸", "好久不见", "富士山下", "红玫瑰", "K歌之王", "爱情转移", "孤勇者"}},
      {"王菲", {"红豆", "传奇", "因为爱情", "匆匆那年", "容易受伤的女人", "流年"}},
      {"邓紫棋", {"泡沫", "光年之外", "倒数", "喜欢你"}},
      {"Beyond", {"海阔天空", "光辉岁月", "真的爱你", "不再犹豫"}},
      {"Taylor Swift",
       {"Love Story", "Shake It Off", "Blank Space", "Style", "Anti-Hero", "Cardigan"}},
      {"Coldplay", {"Yellow", "Viva La Vida", "Fix You", "Paradise", "The Scientist"}},
      {"Adele", {"Hello", "Someone Like You", "Rolling in the Deep", "Skyfall"}},
  };
  for (const auto& [artist, songs] : artists) {
    const uint64_t folder = t.dir(music, artist);
    int n = 0;
    for (const char* song : songs)
      t.file(folder, std::string(song) + (n++ % 3 == 2 ? ".flac" : ".mp3"), 3 * kMiB, 40 * kMiB);
  }

  const uint64_t books = t.dir(root, "电子书");
  t.files(books,
          {"三体.epub", "三体II 黑暗森林.epub", "三体III 死神永生.epub", "活着.pdf", "围城.epub",
           "红楼梦.pdf", "平凡的世界.epub", "The Pragmatic Programmer.pdf", "Clean Code.pdf",
           "Effective Modern C++.pdf", "深入理解计算机系统.pdf", "算法导论.pdf",
           "Windows Internals.pdf", "NTFS Documentation.pdf"},
          500 * kKiB, 60 * kMiB);
  const uint64_t films = t.dir(root, "电影");
  t.files(films,
          {"流浪地球.mkv", "让子弹飞.mp4", "霸王别姬.mkv", "千与千寻.mp4", "Inception.mkv",
           "Interstellar.mkv", "The Matrix.mkv"},
          700 * kMiB, 12 * kGiB);
  const uint64_t backups = t.dir(root, "备份");
  t.files(backups, {"手机备份_2023.zip", "照片备份_2022.7z", "工作资料.rar", "系统镜像.vhdx"},
          100 * kMiB, 30 * kGiB);

  const uint64_t projects = t.dir(root, "项目");
  const uint64_t source = t.dir(t.dir(projects, "Vessiko"), "src");
  for (const char* module : {"index", "volume", "store", "search", "ui", "update", "platform"}) {
    const uint64_t folder = t.dir(source, module);
    for (const char* part : {"reader", "writer", "table", "list", "view", "state", "query",
                             "monitor", "builder", "cache"}) {
      const std::string stem = std::string(module) + "_" + part;
      t.file(folder, stem + ".h", 1 * kKiB, 12 * kKiB);
      t.file(folder, stem + ".cc", 2 * kKiB, 60 * kKiB);
    }
  }
  const uint64_t site = t.dir(projects, "网站");
  t.files(site, {"index.html", "package.json", "package-lock.json", "README.md"}, 1 * kKiB,
          400 * kKiB);
  const uint64_t modules = t.dir(site, "node_modules");
  const char* syllables[] = {"re", "act", "lo",  "dash", "ex",     "press", "web",  "pack",
                             "ba", "bel", "vue", "type", "script", "es",    "lint", "jest"};
  for (int i = 0; i < 96; ++i) {
    const std::string name =
        std::string(syllables[i % 16]) + syllables[(i / 16 + i) % 16] + (i >= 48 ? "-core" : "");
    const uint64_t package = t.dir(modules, name + "-" + std::to_string(i));
    t.files(package, {"package.json", "index.js", "README.md", "LICENSE"}, 300, 90 * kKiB);
  }
}

}  // namespace

void FillDemoMachine(SimMachine& machine, DemoFolders& folders) {
  Dice dice;
  SimTreeBuilder system(machine.addNtfsDrive('C', u"系统"), 'C', folders);
  Tree c{system, dice};
  FillWindows(c);
  FillPrograms(c);
  FillUser(c);
  FillSystemRoot(c);
  SimTreeBuilder data(machine.addNtfsDrive('D', u"资料"), 'D', folders);
  Tree d{data, dice};
  FillData(d);
}

}  // namespace vessiko
