#include "tools/treegen/tree_generator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

namespace vessiko {

namespace {

// Deeper than any real home folder goes; below it everything left is files.
constexpr uint32_t kMaxDepth = 24;

// splitmix64: small, fast, and the same sequence on every platform and library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}

  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t below(uint64_t n) {
    return static_cast<uint64_t>((static_cast<unsigned __int128>(next()) * n) >> 64);
  }
  uint32_t between(uint32_t low, uint32_t high) {
    return low + static_cast<uint32_t>(below(uint64_t{high} - low + 1));
  }
  bool percent(uint32_t p) { return below(100) < p; }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  template <class T, size_t N>
  const T& pick(const T (&list)[N]) {
    return list[below(N)];
  }

 private:
  uint64_t state_;
};

struct Weighted {
  const char* text;
  uint32_t weight;
};

template <size_t N>
const char* PickWeighted(Random& random, const Weighted (&list)[N]) {
  uint32_t total = 0;
  for (const Weighted& w : list)
    total += w.weight;
  uint64_t r = random.below(total);
  for (const Weighted& w : list) {
    if (r < w.weight) return w.text;
    r -= w.weight;
  }
  return list[0].text;
}

// ---- Words. None holds a planted token, in any case (checked for every name anyway).

const char* const kTopics[] = {
    "Budget",      "Invoice",        "Tax return",   "Meeting notes", "Contract",
    "Resume",      "Cover letter",   "Presentation", "Minutes",       "Proposal",
    "Timesheet",   "Bank statement", "Insurance",    "Lease",         "Recipe",
    "Itinerary",   "Boarding pass",  "Manual",       "Receipt",       "Payslip",
    "Thesis",      "Chapter",        "Notes",        "Plan",          "Schedule",
    "Checklist",   "Quote",          "Offer",        "Agreement",     "Application",
    "Certificate", "Letter",         "Newsletter",   "Syllabus",      "Homework",
    "Lecture",     "Summary",        "Forecast",     "Roadmap",       "Agenda",
    "Statement",   "Estimate"};
const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kPeople[] = {"Anna", "Ben",   "Carlos", "Dana", "Eva",  "Felix", "Grace",
                               "Hugo", "Ines",  "Jonas",  "Kim",  "Lena", "Marco", "Nina",
                               "Omar", "Paula", "Rosa",   "Sam",  "Tom",  "Vera",  "Yuki"};
const char* const kSurnames[] = {"Smith",    "Novak",  "Garcia", "Larsen", "Moreau", "Rossi",
                                 "Kowalski", "Nguyen", "Okafor", "Silva",  "Berg",   "Keller"};
const char* const kDocFolders[] = {
    "Work",    "Taxes",         "Invoices",  "Scans",  "School",       "Travel",    "Projects",
    "Letters", "Receipts",      "Contracts", "Bank",   "Insurance",    "Health",    "Recipes",
    "Manuals", "Meeting notes", "Archive",   "Old",    "Personal",     "Family",    "Car",
    "House",   "Applications",  "Courses",   "Books",  "Templates",    "Shared",    "Misc",
    "Drafts",  "Admin",         "Papers",    "Slides", "Certificates", "Household", "Job search"};
const Weighted kDocExtensions[] = {{"pdf", 30}, {"docx", 20}, {"xlsx", 10}, {"txt", 10},
                                   {"odt", 4},  {"ods", 3},   {"pptx", 5},  {"md", 5},
                                   {"jpg", 5},  {"png", 4},   {"csv", 3},   {"rtf", 1},
                                   {"epub", 2}, {"doc", 3},   {"xls", 2}};

const char* const kPlaces[] = {"Lisbon",    "Paris",         "Berlin", "Tokyo",  "Rome",
                               "Oslo",      "Lake District", "Alps",   "Beach",  "Grandma's",
                               "Barcelona", "New York",      "Kyoto",  "Prague", "Vienna",
                               "Iceland",   "Scotland",      "Crete",  "Sydney", "Porto",
                               "Cornwall",  "Dolomites"};
const char* const kOccasions[] = {"Birthday", "Wedding",  "Christmas", "Holiday",  "Graduation",
                                  "Hiking",   "Concert",  "Party",     "Picnic",   "Garden",
                                  "Snow",     "New Year", "Easter",    "Camping",  "Road trip",
                                  "Zoo",      "Museum",   "Baby",      "Football", "Marathon"};
const char* const kPhotoLibraries[] = {
    "Camera",    "Phone backup", "Camera Roll", "Family",        "Imports", "Scans",   "Exports",
    "Old phone", "Wallpapers",   "Screenshots", "Shared albums", "Edited",  "Best of", "Prints"};
const char* const kPhotoSubfolders[] = {"edited", "raw", "export",   "Selection", "best",
                                        "RAW",    "jpg", "to print", "originals", "panorama"};

const char* const kAdjectives[] = {"Red",    "Silent",  "Electric", "Golden", "Lonely", "Wild",
                                   "Blue",   "Crystal", "Midnight", "Velvet", "Broken", "Northern",
                                   "Neon",   "Paper",   "Hollow",   "Iron",   "Quiet",  "Burning",
                                   "Little", "Frozen",  "Summer",   "Distant"};
const char* const kNouns[] = {"Wolf",    "River",   "Garden", "Echo",    "Mountain", "Ocean",
                              "Signal",  "Mirror",  "Engine", "Harbor",  "Planet",   "Shadow",
                              "Feather", "Lantern", "Tide",   "Orchard", "Island",   "Highway",
                              "Window",  "Letter",  "Dream",  "Machine", "Forest",   "City"};

const char* const kCodeWords[] = {
    "parser", "lexer",   "util",    "config",     "main",   "server", "client",    "handler",
    "router", "model",   "view",    "controller", "index",  "cache",  "buffer",    "stream",
    "socket", "thread",  "pool",    "queue",      "hash",   "map",    "tree",      "node",
    "graph",  "token",   "string",  "file",       "path",   "io",     "log",       "error",
    "event",  "timer",   "clock",   "math",       "vector", "matrix", "image",     "codec",
    "crypto", "auth",    "user",    "session",    "db",     "query",  "schema",    "migration",
    "mock",   "fixture", "helper",  "common",     "core",   "base",   "api",       "http",
    "json",   "xml",     "yaml",    "cli",        "app",    "widget", "layout",    "render",
    "shader", "texture", "audio",   "input",      "plugin", "loader", "storage",   "backup",
    "sync",   "diff",    "merge",   "patch",      "build",  "format", "lint",      "style",
    "theme",  "locale",  "unicode", "memory",     "alloc",  "arena",  "heap",      "stack",
    "list",   "set",     "table",   "record",     "entry",  "key",    "value",     "iterator",
    "range",  "span",    "channel", "worker",     "task",   "job",    "scheduler", "metrics",
    "trace",  "profile", "color",   "font",       "glyph",  "canvas", "form",      "field",
    "button", "dialog",  "menu",    "search",     "filter", "sort",   "compress",  "archive"};
const char* const kSourceFolders[] = {
    "src",       "lib",        "include",  "internal",    "pkg",         "cmd",       "core",
    "util",      "net",        "io",       "ui",          "tests",       "test",      "docs",
    "examples",  "scripts",    "tools",    "third_party", "vendor",      "assets",    "static",
    "templates", "components", "models",   "views",       "controllers", "services",  "api",
    "config",    "migrations", "fixtures", "bench",       "cmake",       "resources", "res",
    "public",    "styles",     "images",   "fonts",       "locales"};
const char* const kCommonProjectFiles[] = {
    "README.md", "LICENSE",    ".gitignore",    ".editorconfig", "CHANGELOG.md", "CONTRIBUTING.md",
    "Makefile",  "Dockerfile", ".dockerignore", "AUTHORS",       "NOTICE",       "TODO.md"};
const char* const kCppProjectFiles[] = {"CMakeLists.txt", "conanfile.txt",     ".clang-format",
                                        ".clang-tidy",    "CMakePresets.json", "vcpkg.json"};
const char* const kPythonProjectFiles[] = {"setup.py", "pyproject.toml", "requirements.txt",
                                           "tox.ini",  "setup.cfg",      "MANIFEST.in"};
const char* const kJavaScriptProjectFiles[] = {
    "package.json",      "package-lock.json", "tsconfig.json", ".eslintrc.json",
    "webpack.config.js", "yarn.lock",         ".prettierrc"};
const char* const kJavaProjectFiles[] = {"pom.xml",         "build.gradle", "gradlew",
                                         "settings.gradle", "gradlew.bat",  "gradle.properties"};
const char* const kGoProjectFiles[] = {"go.mod", "go.sum", "main.go", ".golangci.yml"};
const char* const kRustProjectFiles[] = {"Cargo.toml", "Cargo.lock", "build.rs", "rustfmt.toml"};

const Weighted kCppExtensions[] = {{"cc", 35}, {"h", 35},  {"cpp", 10}, {"hpp", 5},
                                   {"inl", 1}, {"txt", 2}, {"md", 2},   {"py", 2}};
const Weighted kPythonExtensions[] = {{"py", 80}, {"pyi", 3}, {"json", 4}, {"txt", 3},
                                      {"md", 3},  {"cfg", 1}, {"yaml", 3}, {"pyc", 10}};
const Weighted kJavaScriptExtensions[] = {{"js", 40},  {"ts", 25}, {"tsx", 10}, {"jsx", 5},
                                          {"json", 5}, {"css", 5}, {"scss", 3}, {"map", 5},
                                          {"d.ts", 4}, {"svg", 3}, {"png", 2},  {"html", 2}};
const Weighted kGoExtensions[] = {{"go", 90}, {"md", 3}, {"yaml", 3}, {"json", 2}, {"proto", 2}};
const Weighted kRustExtensions[] = {{"rs", 90}, {"md", 3}, {"toml", 4}, {"json", 2}};

const char* const kGitFiles[] = {"HEAD",      "config",         "description",
                                 "index",     "packed-refs",    "FETCH_HEAD",
                                 "ORIG_HEAD", "COMMIT_EDITMSG", "gitk.cache"};
const char* const kGitFolders[] = {"hooks",   "refs", "logs",   "info", "heads",
                                   "remotes", "tags", "origin", "pack", "modules"};
const char* const kGitOtherFiles[] = {"pre-commit.sample",
                                      "pre-push.sample",
                                      "commit-msg.sample",
                                      "update.sample",
                                      "exclude",
                                      "main",
                                      "master",
                                      "develop",
                                      "HEAD",
                                      "pre-rebase.sample"};
const char* const kPackageFiles[] = {"package.json", "README.md",    "LICENSE",    "index.js",
                                     "index.d.ts",   "CHANGELOG.md", ".npmignore", "index.mjs",
                                     "LICENSE.md",   "tsconfig.json"};
const char* const kNodeModulesFiles[] = {".package-lock.json", ".yarn-integrity", ".modules.yaml"};
const char* const kPackagePrefixes[] = {"@types", "@babel", "@eslint", "@jest", "@webassemblyjs"};

// Folders of programs, in ~/.cache and in ~/.local and ~/.config.
const char* const kCacheApplications[] = {
    "mozilla",  "google-chrome",     "pip",       "thumbnails", "fontconfig", "yarn",
    "go-build", "mesa_shader_cache", "JetBrains", "typescript", "node-gyp",   "gstreamer-1.0",
    "tracker3", "electron",          "bazel",     "ccache",     "npm",        "cargo",
    "Code",     "evolution",         "flatpak",   "Slack"};
const char* const kDataApplications[] = {
    "JetBrains",     "gnome-shell", "Code",        "fonts",
    "applications",  "Trash",       "keyrings",    "nautilus",
    "evolution",     "flatpak",     "Steam",       "vlc",
    "gtk-3.0",       "dconf",       "pulse",       "systemd",
    "autostart",     "htop",        "git",         "nvim",
    "Slack",         "discord",     "libreoffice", "user",
    "storage",       "extensions",  "state",       "sessions",
    "backups",       "logs",        "User",        "workspaceStorage",
    "globalStorage", "History",     "snippets",    "profiles",
    "Default"};
const char* const kAppDataFiles[] = {"settings.json",  "state.json",      "recently-used.xbel",
                                     "user-dirs.dirs", "mimeapps.list",   "keybindings.json",
                                     "Preferences",    "Cookies",         "History",
                                     "Local State",    "Current Session", "Bookmarks",
                                     "prefs.js",       "places.sqlite",   "monitors.xml"};
const char* const kAppDataExtensions[] = {"conf", "db",  "sqlite", "log",  "desktop", "json",
                                          "ini",  "xml", "cfg",    "lock", "dat",     "bak"};
const char* const kHomeFiles[] = {
    ".bashrc",  ".profile", ".bash_logout", ".bash_history",   ".gitconfig",
    ".viminfo", ".lesshst", ".wget-hsts",   ".python_history", ".selected_editor"};

// Everyday words of Chinese file and folder names.
const char* const kChineseWords[] = {
    "文档", "报告",     "照片", "项目", "会议",     "合同", "资料", "新建",   "文件夹",
    "图片", "视频",     "音乐", "备份", "设置",     "工作", "计划", "总结",   "简历",
    "财务", "数据",     "下载", "桌面", "我的",     "旅行", "家庭", "生日",   "婚礼",
    "春节", "国庆",     "毕业", "论文", "作业",     "笔记", "发票", "预算",   "说明",
    "截图", "微信图片", "录音", "草稿", "最终版",   "修改", "通知", "申请表", "北京",
    "上海", "杭州",     "成都", "东京", "会议纪要", "年度", "季度", "客户",   "方案"};

// ---- Kinds of folder: what they hold and how their entries are named.

enum class Kind : uint8_t {
  kDocuments,
  kDocFolder,
  kDesktop,
  kPictures,
  kPhotoLibrary,
  kPhotoYear,
  kPhotoEvent,
  kPhotoSub,
  kMusic,
  kArtist,
  kAlbum,
  kVideos,
  kShow,
  kSeason,
  kDownloads,
  kProjects,
  kProject,
  kSource,
  kGit,
  kGitObjects,
  kGitObjectDir,
  kGitOther,
  kNodeModules,
  kPackage,
  kCache,
  kAppCache,
  kHexDir,
  kAppData,
  kHome,
};

enum class Lang : uint8_t { kCpp, kPython, kJavaScript, kJava, kGo, kRust };
constexpr uint32_t kLanguages = 6;

// How a name carries a planted token, and how a clash is told apart.
enum class Style : uint8_t {
  kWords,  // "Budget 2019 report.pdf", "Budget 2019 (2).pdf"
  kCode,   // "report_parser.cc", "parser-2.cc"
  kPlain,  // "report-3fa2c1...", "3fa2c1...-2"
};

struct Shape {
  uint32_t minFiles, maxFiles;
  uint32_t minFolders, maxFolders;  // none: every entry of the folder is a file
  uint32_t maxShare;  // the mean entries below one subfolder, at most: large trees fan out
  uint32_t chinesePercent;
  Style style;
};

// Indexed by Kind.
const Shape kShapes[] = {
    {2, 20, 4, 12, 4000, 12, Style::kWords},    // kDocuments
    {2, 40, 1, 5, 600, 12, Style::kWords},      // kDocFolder
    {3, 30, 1, 4, 2000, 12, Style::kWords},     // kDesktop
    {0, 10, 3, 6, 40000, 12, Style::kWords},    // kPictures
    {0, 5, 3, 12, 6000, 12, Style::kWords},     // kPhotoLibrary
    {0, 20, 6, 30, 500, 12, Style::kWords},     // kPhotoYear
    {10, 300, 1, 2, 200, 12, Style::kWords},    // kPhotoEvent
    {5, 200, 0, 0, 0, 12, Style::kWords},       // kPhotoSub
    {0, 5, 10, 40, 300, 15, Style::kWords},     // kMusic
    {0, 2, 1, 4, 40, 15, Style::kWords},        // kArtist
    {4, 20, 0, 0, 0, 15, Style::kWords},        // kAlbum
    {2, 40, 2, 10, 200, 12, Style::kWords},     // kVideos
    {0, 2, 1, 6, 30, 12, Style::kWords},        // kShow
    {4, 26, 0, 0, 0, 12, Style::kWords},        // kSeason
    {30, 400, 2, 10, 8000, 12, Style::kWords},  // kDownloads
    {0, 3, 5, 40, 30000, 3, Style::kCode},      // kProjects
    {3, 10, 2, 6, 8000, 2, Style::kCode},       // kProject
    {2, 30, 2, 6, 1500, 2, Style::kCode},       // kSource
    {4, 8, 2, 5, 20000, 0, Style::kPlain},      // kGit
    {0, 0, 10, 256, 120, 0, Style::kPlain},     // kGitObjects
    {1, 60, 0, 0, 0, 0, Style::kPlain},         // kGitObjectDir
    {1, 12, 0, 3, 100, 0, Style::kCode},        // kGitOther
    {0, 2, 5, 60, 400, 0, Style::kCode},        // kNodeModules
    {3, 12, 1, 4, 300, 0, Style::kCode},        // kPackage
    {0, 4, 3, 12, 50000, 0, Style::kPlain},     // kCache
    {0, 10, 1, 16, 600, 0, Style::kPlain},      // kAppCache
    {1, 300, 0, 0, 0, 0, Style::kPlain},        // kHexDir
    {1, 20, 1, 6, 600, 2, Style::kCode},        // kAppData
    {0, 0, 0, 0, 0, 0, Style::kPlain},          // kHome, laid out by FillHome
};
static_assert(std::size(kShapes) == static_cast<size_t>(Kind::kHome) + 1);

const Shape& ShapeOf(Kind kind) {
  return kShapes[static_cast<size_t>(kind)];
}

// The folders of the home, with their shares of its entries in thousandths.
struct HomeFolder {
  const char* name;
  Kind kind;
  uint32_t permille;
};
const HomeFolder kHomeFolders[] = {
    {"src", Kind::kProjects, 380},   {"Pictures", Kind::kPictures, 130},
    {".cache", Kind::kCache, 120},   {".local", Kind::kAppData, 80},
    {"Music", Kind::kMusic, 60},     {"Downloads", Kind::kDownloads, 50},
    {".config", Kind::kAppData, 30}, {"Videos", Kind::kVideos, 20},
    {"Desktop", Kind::kDesktop, 10}, {"Documents", Kind::kDocuments, 120},
};

enum class Plant : uint8_t { kNone, kRare, kCommon };

// ASCII case-insensitive: the search folds letters, so "Report" would be an answer too.
bool HoldsToken(const std::string& name, const char* token) {
  const size_t length = std::strlen(token);
  for (size_t start = 0; start + length <= name.size(); ++start) {
    size_t i = 0;
    while (i < length && (name[start + i] | 0x20) == token[i])
      ++i;
    if (i == length) return true;
  }
  return false;
}

// Where an extension starts, as the index splits names ("a.tar.gz": ".gz"); npos when there is
// none (".bashrc"). A token goes before it: the name field of a search does not look past it.
size_t ExtensionStart(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == 0 ? std::string::npos : dot;
}

void InsertBeforeExtension(std::string* name, const std::string& text) {
  const size_t at = ExtensionStart(*name);
  name->insert(at == std::string::npos ? name->size() : at, text);
}

void AppendNumber(std::string* out, uint64_t value, int width) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llu", width, static_cast<unsigned long long>(value));
  out->append(text);
}

class Generator {
 public:
  Generator(uint64_t entries, uint64_t seed, TreeCounts* counts, std::string* error)
      : random_(seed), counts_(counts), error_(error), total_(entries) {
    rareLeft_ = std::min<uint64_t>(100, entries / 100);
    commonLeft_ = entries / 10;
  }

  bool run(int rootFd) {
    *counts_ = TreeCounts();
    fillHome(rootFd, total_);
    return !failed_;
  }

 private:
  struct Child {
    Kind kind;
    Lang lang;
  };

  void fillHome(int fd, uint64_t budget);
  void fill(int fd, Kind kind, Lang lang, uint32_t depth, uint64_t budget);
  int makeFolder(int parentFd, Kind kind, Lang lang, uint32_t depth, const char* fixedName);
  bool makeEntry(int parentFd, Kind kind, Lang lang, bool folder, uint32_t depth,
                 const char* fixedName);
  Plant takePlant();
  Child childOf(Kind kind, Lang lang, uint64_t index);
  bool fail(const char* call, const std::string& name);

  void fileName(Kind kind, Lang lang, std::string* out);
  void folderName(Kind kind, Lang lang, std::string* out);
  void chineseName(Kind kind, Lang lang, bool folder, std::string* out);

  void appendYear(std::string* out) { AppendNumber(out, random_.between(2005, 2024), 4); }
  void appendDate(std::string* out, const char* separator);
  void appendTime(std::string* out, const char* separator);
  void appendHex(std::string* out, uint32_t digits);
  void appendIdentifier(std::string* out, Lang lang);
  void documentName(std::string* out);
  void photoName(std::string* out);
  void sourceName(Lang lang, std::string* out);
  void projectFileName(Lang lang, std::string* out);
  void downloadName(std::string* out);
  void eventName(std::string* out);
  void projectName(std::string* out);

  Random random_;
  TreeCounts* counts_;
  std::string* error_;
  uint64_t total_;
  uint64_t rareLeft_;
  uint64_t commonLeft_;
  bool failed_ = false;
  std::string scratch_;
};

bool Generator::fail(const char* call, const std::string& name) {
  if (!failed_) *error_ = std::string(call) + " " + name + ": " + std::strerror(errno);
  failed_ = true;
  return false;
}

// Sequential sampling: every entry still to be made is equally likely to carry each token, and
// the last entries take what is left, so the counts come out exact.
Plant Generator::takePlant() {
  const uint64_t left = total_ - counts_->entries;
  const uint64_t r = random_.below(left);
  if (r < rareLeft_) {
    --rareLeft_;
    return Plant::kRare;
  }
  if (r < rareLeft_ + commonLeft_) {
    --commonLeft_;
    return Plant::kCommon;
  }
  return Plant::kNone;
}

bool Generator::makeEntry(int parentFd, Kind kind, Lang lang, bool folder, uint32_t depth,
                          const char* fixedName) {
  const Shape& shape = ShapeOf(kind);
  const bool chosen = fixedName == nullptr && kind != Kind::kHome;
  const Plant plant = chosen ? takePlant() : Plant::kNone;
  const bool chinese = chosen && random_.percent(shape.chinesePercent);
  std::string& name = scratch_;
  for (uint32_t attempt = 0;; ++attempt) {
    name.clear();
    if (fixedName != nullptr) {
      name = fixedName;
    } else if (chinese) {
      chineseName(kind, lang, folder, &name);
    } else if (folder) {
      folderName(kind, lang, &name);
    } else {
      fileName(kind, lang, &name);
    }
    if (HoldsToken(name, kRareToken) || HoldsToken(name, kCommonToken)) continue;
    // A few tries at another name, then the first free numbered one.
    if (attempt >= 4) {
      std::string number;
      AppendNumber(&number, attempt - 2, 1);
      InsertBeforeExtension(&name,
                            shape.style == Style::kWords ? " (" + number + ")" : "-" + number);
    }
    if (plant != Plant::kNone) {
      const std::string token = plant == Plant::kRare ? kRareToken : kCommonToken;
      const bool before = random_.percent(50);
      switch (shape.style) {
        case Style::kWords:
          if (before) {
            name.insert(0, token + " ");
          } else {
            InsertBeforeExtension(&name, " " + token);
          }
          break;
        case Style::kCode:
          if (before) {
            name.insert(0, token + "_");
          } else {
            InsertBeforeExtension(&name, "_" + token);
          }
          break;
        case Style::kPlain:
          name.insert(0, token + "-");
          break;
      }
    }
    const int made = folder ? mkdirat(parentFd, name.c_str(), 0755)
                            : mknodat(parentFd, name.c_str(), S_IFREG | 0644, 0);
    if (made == 0) break;
    if (errno != EEXIST) return fail(folder ? "mkdirat" : "mknodat", name);
  }
  ++counts_->entries;
  ++(folder ? counts_->folders : counts_->files);
  if (chinese) ++counts_->chineseNames;
  if (name.find(' ') != std::string::npos) ++counts_->namesWithSpaces;
  if (plant == Plant::kRare) ++counts_->rareToken;
  if (plant == Plant::kCommon) ++counts_->commonToken;
  counts_->maxDepth = std::max(counts_->maxDepth, depth);
  return true;
}

// Makes a folder and opens it; -1 on a failure.
int Generator::makeFolder(int parentFd, Kind kind, Lang lang, uint32_t depth,
                          const char* fixedName) {
  if (!makeEntry(parentFd, kind, lang, true, depth, fixedName)) return -1;
  const int fd =
      openat(parentFd, scratch_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) fail("openat", scratch_);
  return fd;
}

void Generator::fillHome(int fd, uint64_t budget) {
  // The home's own entries come first and carry no token, so that the tokens are spread over
  // exactly the entries still to be made.
  const uint64_t dotFiles = std::min<uint64_t>(budget, 8);
  for (uint64_t i = 0; i < dotFiles && !failed_; ++i)
    makeEntry(fd, Kind::kHome, Lang::kCpp, false, 1, nullptr);
  const uint64_t folders = std::min<uint64_t>(budget - dotFiles, std::size(kHomeFolders));
  int folderFds[std::size(kHomeFolders)];
  std::fill(std::begin(folderFds), std::end(folderFds), -1);
  for (uint64_t i = 0; i < folders && !failed_; ++i)
    folderFds[i] = makeFolder(fd, kHomeFolders[i].kind, Lang::kCpp, 1, kHomeFolders[i].name);
  const uint64_t below = budget - dotFiles - folders;
  commonLeft_ = std::min(commonLeft_, below);
  rareLeft_ = std::min(rareLeft_, below - commonLeft_);
  uint64_t given = 0;
  for (uint64_t i = 0; i < folders && !failed_; ++i) {
    const HomeFolder& home = kHomeFolders[i];
    const uint64_t share =
        i + 1 == std::size(kHomeFolders) ? below - given : below * home.permille / 1000;
    given += share;
    fill(folderFds[i], home.kind, Lang::kCpp, 1, share);
  }
  for (uint64_t i = 0; i < folders; ++i) {
    if (folderFds[i] >= 0) close(folderFds[i]);
  }
}

// Makes exactly `budget` entries below the folder `fd`, at depth `depth`.
void Generator::fill(int fd, Kind kind, Lang lang, uint32_t depth, uint64_t budget) {
  const Shape& shape = ShapeOf(kind);
  uint64_t files = budget;
  uint64_t folders = 0;
  if (shape.maxFolders > 0 && budget > shape.maxFiles && depth < kMaxDepth) {
    files = random_.between(shape.minFiles, shape.maxFiles);
    const uint64_t rest = budget - files;
    // At least two, so that no chain of single folders grows deep.
    folders = std::max<uint64_t>({random_.between(shape.minFolders, shape.maxFolders), 2,
                                  (rest + shape.maxShare - 1) / shape.maxShare});
    folders = std::min(folders, rest);
  }
  for (uint64_t i = 0; i < files && !failed_; ++i)
    makeEntry(fd, kind, lang, false, depth + 1, nullptr);
  if (folders == 0) return;

  // Uneven shares, as real subtrees are.
  const uint64_t below = budget - files - folders;
  std::vector<double> weights(folders);
  double total = 0;
  for (double& w : weights) {
    const double u = random_.unit();
    w = 0.1 + u * u * 2;
    total += w;
  }
  uint64_t given = 0;
  for (uint64_t i = 0; i < folders && !failed_; ++i) {
    uint64_t share =
        i + 1 == folders ? below - given : static_cast<uint64_t>(below * (weights[i] / total));
    share = std::min(share, below - given);
    given += share;
    const Child child = childOf(kind, lang, i);
    const int childFd = makeFolder(fd, child.kind, child.lang, depth + 1, nullptr);
    if (childFd < 0) return;
    fill(childFd, child.kind, child.lang, depth + 1, share);
    close(childFd);
  }
}

Generator::Child Generator::childOf(Kind kind, Lang lang, uint64_t index) {
  switch (kind) {
    case Kind::kDocuments:
    case Kind::kDocFolder:
    case Kind::kDesktop:
      return {Kind::kDocFolder, lang};
    case Kind::kPictures:
      return {Kind::kPhotoLibrary, lang};
    case Kind::kPhotoLibrary:
      return {Kind::kPhotoYear, lang};
    case Kind::kPhotoYear:
      return {Kind::kPhotoEvent, lang};
    case Kind::kPhotoEvent:
    case Kind::kPhotoSub:
      return {Kind::kPhotoSub, lang};
    case Kind::kMusic:
      return {Kind::kArtist, lang};
    case Kind::kArtist:
    case Kind::kAlbum:
      return {Kind::kAlbum, lang};
    case Kind::kVideos:
      return {Kind::kShow, lang};
    case Kind::kShow:
    case Kind::kSeason:
      return {Kind::kSeason, lang};
    case Kind::kDownloads:
      // Unpacked archives: mostly source trees.
      if (random_.percent(60)) {
        return {Kind::kProject, static_cast<Lang>(random_.below(kLanguages))};
      }
      return {Kind::kDocFolder, lang};
    case Kind::kProjects:
      return {Kind::kProject, static_cast<Lang>(random_.below(kLanguages))};
    case Kind::kProject:
      if (index == 0 && random_.percent(80)) return {Kind::kGit, lang};
      if (index == 1 && lang == Lang::kJavaScript) return {Kind::kNodeModules, lang};
      return {Kind::kSource, lang};
    case Kind::kSource:
      return {Kind::kSource, lang};
    case Kind::kGit:
      return {index == 0 ? Kind::kGitObjects : Kind::kGitOther, lang};
    case Kind::kGitObjects:
    case Kind::kGitObjectDir:
      return {Kind::kGitObjectDir, lang};
    case Kind::kGitOther:
      return {Kind::kGitOther, lang};
    case Kind::kNodeModules:
      return {Kind::kPackage, Lang::kJavaScript};
    case Kind::kPackage:
      if (random_.percent(8)) return {Kind::kNodeModules, Lang::kJavaScript};
      return {Kind::kSource, Lang::kJavaScript};
    case Kind::kCache:
      return {Kind::kAppCache, lang};
    case Kind::kAppCache:
      return {random_.percent(60) ? Kind::kHexDir : Kind::kAppCache, lang};
    case Kind::kHexDir:
      return {Kind::kHexDir, lang};
    case Kind::kAppData:
    case Kind::kHome:
      return {random_.percent(80) ? Kind::kAppData : Kind::kHexDir, lang};
  }
  return {Kind::kDocFolder, lang};
}

// ---- Names.

void Generator::appendDate(std::string* out, const char* separator) {
  appendYear(out);
  out->append(separator);
  AppendNumber(out, random_.between(1, 12), 2);
  out->append(separator);
  AppendNumber(out, random_.between(1, 28), 2);
}

void Generator::appendTime(std::string* out, const char* separator) {
  AppendNumber(out, random_.below(24), 2);
  out->append(separator);
  AppendNumber(out, random_.below(60), 2);
  out->append(separator);
  AppendNumber(out, random_.below(60), 2);
}

void Generator::appendHex(std::string* out, uint32_t digits) {
  static const char kHex[] = "0123456789abcdef";
  for (uint32_t i = 0; i < digits; ++i)
    out->push_back(kHex[random_.below(16)]);
}

void Generator::appendIdentifier(std::string* out, Lang lang) {
  const uint32_t words = random_.between(1, 3);
  for (uint32_t i = 0; i < words; ++i) {
    std::string word = random_.pick(kCodeWords);
    if (lang == Lang::kJava) {
      word[0] = static_cast<char>(word[0] - 'a' + 'A');
    } else if (i > 0) {
      out->push_back(lang == Lang::kJavaScript && random_.percent(50) ? '-' : '_');
    }
    out->append(word);
  }
}

void Generator::documentName(std::string* out) {
  const std::string topic = random_.pick(kTopics);
  switch (random_.below(8)) {
    case 0:
      *out += topic + " ";
      appendYear(out);
      break;
    case 1:
      *out += topic + "_";
      appendDate(out, "-");
      break;
    case 2:
      *out += topic + " " + random_.pick(kMonths) + " ";
      appendYear(out);
      if (random_.percent(50)) {
        out->append(" final");
      } else {
        out->append(" v");
        AppendNumber(out, random_.between(1, 9), 1);
      }
      break;
    case 3:
      out->append("Scan ");
      appendDate(out, "-");
      out->push_back(' ');
      appendTime(out, ".");
      out->append(".pdf");
      return;
    case 4:
      for (const char c : topic)
        out->push_back(c == ' ' ? '-' : static_cast<char>(c | 0x20));
      out->push_back('-');
      AppendNumber(out, random_.between(1, 99), 1);
      break;
    case 5:
      *out += topic + " (";
      AppendNumber(out, random_.between(1, 9), 1);
      out->push_back(')');
      break;
    case 6:
      *out += std::string(random_.pick(kPeople)) + " - " + topic;
      break;
    default:
      *out += topic;
      break;
  }
  out->push_back('.');
  out->append(PickWeighted(random_, kDocExtensions));
}

void Generator::photoName(std::string* out) {
  const uint32_t shape = random_.below(100);
  if (shape < 30) {
    out->append("IMG_");
    appendDate(out, "");
    out->push_back('_');
    appendTime(out, "");
    out->append(".jpg");
  } else if (shape < 45) {
    out->append("IMG_");
    AppendNumber(out, random_.below(10000), 4);
    out->append(random_.percent(70) ? ".JPG" : ".HEIC");
  } else if (shape < 58) {
    out->append("DSC_");
    AppendNumber(out, random_.below(10000), 4);
    out->append(random_.percent(75) ? ".JPG" : ".NEF");
  } else if (shape < 68) {
    out->append("PXL_");
    appendDate(out, "");
    out->push_back('_');
    AppendNumber(out, random_.below(1000000000), 9);
    out->append(".jpg");
  } else if (shape < 76) {
    out->append("VID_");
    appendDate(out, "");
    out->push_back('_');
    appendTime(out, "");
    out->append(".mp4");
  } else if (shape < 84) {
    out->append("Screenshot ");
    appendDate(out, "-");
    out->append(" at ");
    appendTime(out, ".");
    out->append(".png");
  } else if (shape < 92) {
    out->append("WhatsApp Image ");
    appendDate(out, "-");
    out->append(" at ");
    appendTime(out, ".");
    out->append(".jpeg");
  } else if (shape < 96) {
    out->append("photo (");
    AppendNumber(out, random_.between(1, 99), 1);
    out->append(").jpg");
  } else {
    appendDate(out, "-");
    out->push_back(' ');
    appendTime(out, ".");
    out->append(".jpg");
  }
}

void Generator::sourceName(Lang lang, std::string* out) {
  switch (lang) {
    case Lang::kCpp:
      appendIdentifier(out, lang);
      if (random_.percent(15)) out->append("_test");
      *out += std::string(".") + PickWeighted(random_, kCppExtensions);
      return;
    case Lang::kPython:
      if (random_.percent(8)) {
        out->append("__init__.py");
        return;
      }
      if (random_.percent(12)) out->append("test_");
      appendIdentifier(out, lang);
      *out += std::string(".") + PickWeighted(random_, kPythonExtensions);
      return;
    case Lang::kJavaScript:
      appendIdentifier(out, lang);
      if (random_.percent(10)) out->append(random_.percent(50) ? ".test" : ".e2e");
      if (random_.percent(8)) out->append(".min");
      *out += std::string(".") + PickWeighted(random_, kJavaScriptExtensions);
      return;
    case Lang::kJava:
      appendIdentifier(out, lang);
      if (random_.percent(15)) out->append("Test");
      out->append(random_.percent(90) ? ".java" : ".class");
      return;
    case Lang::kGo:
      appendIdentifier(out, lang);
      if (random_.percent(20)) out->append("_test");
      *out += std::string(".") + PickWeighted(random_, kGoExtensions);
      return;
    case Lang::kRust:
      if (random_.percent(10)) {
        out->append(random_.percent(50) ? "mod.rs" : "lib.rs");
        return;
      }
      appendIdentifier(out, lang);
      *out += std::string(".") + PickWeighted(random_, kRustExtensions);
      return;
  }
}

void Generator::projectFileName(Lang lang, std::string* out) {
  if (random_.percent(50)) {
    out->append(random_.pick(kCommonProjectFiles));
    return;
  }
  switch (lang) {
    case Lang::kCpp:
      out->append(random_.pick(kCppProjectFiles));
      return;
    case Lang::kPython:
      out->append(random_.pick(kPythonProjectFiles));
      return;
    case Lang::kJavaScript:
      out->append(random_.pick(kJavaScriptProjectFiles));
      return;
    case Lang::kJava:
      out->append(random_.pick(kJavaProjectFiles));
      return;
    case Lang::kGo:
      out->append(random_.pick(kGoProjectFiles));
      return;
    case Lang::kRust:
      out->append(random_.pick(kRustProjectFiles));
      return;
  }
}

void Generator::downloadName(std::string* out) {
  const std::string word = random_.pick(kCodeWords);
  auto version = [&] {
    AppendNumber(out, random_.below(10), 1);
    out->push_back('.');
    AppendNumber(out, random_.below(30), 1);
    out->push_back('.');
    AppendNumber(out, random_.below(20), 1);
  };
  switch (random_.below(10)) {
    case 0:
      *out += word + "_";
      version();
      out->append("_amd64.deb");
      return;
    case 1:
      *out += "setup-" + word + "-";
      version();
      out->append(".exe");
      return;
    case 2:
      *out += word + "-";
      version();
      out->append(random_.percent(50) ? ".tar.gz" : ".zip");
      return;
    case 3:
      out->append("invoice_");
      AppendNumber(out, random_.below(1000000), 6);
      out->append(".pdf");
      return;
    case 4:
      *out += word + "_" + random_.pick(kCodeWords) + " (";
      AppendNumber(out, random_.between(1, 9), 1);
      out->append(").zip");
      return;
    case 5:
      out->append("debian-12.");
      AppendNumber(out, random_.below(10), 1);
      out->append(".0-amd64-netinst.iso");
      return;
    case 6:
      photoName(out);
      return;
    default:
      documentName(out);
      return;
  }
}

void Generator::eventName(std::string* out) {
  switch (random_.below(5)) {
    case 0:
      appendDate(out, "-");
      *out += std::string(" ") + random_.pick(kPlaces);
      return;
    case 1:
      appendYear(out);
      out->push_back('-');
      AppendNumber(out, random_.between(1, 12), 2);
      *out += std::string(" ") + random_.pick(kOccasions);
      return;
    case 2:
      *out += std::string(random_.pick(kOccasions)) + " ";
      appendYear(out);
      return;
    case 3:
      *out += std::string(random_.pick(kOccasions)) + " " + random_.pick(kPeople);
      return;
    default:
      *out += std::string(random_.pick(kPlaces)) + " trip";
      return;
  }
}

void Generator::projectName(std::string* out) {
  const std::string word = random_.pick(kCodeWords);
  switch (random_.below(6)) {
    case 0:
      *out += word + "-" + random_.pick(kCodeWords);
      return;
    case 1:
      *out += "lib" + word;
      return;
    case 2:
      *out += word + ".js";
      return;
    case 3:
      *out += "my-" + word;
      return;
    case 4:
      *out += word + "-" + random_.pick(kCodeWords) + "-master";
      return;
    default:
      *out += word + random_.pick(kCodeWords);
      return;
  }
}

void Generator::fileName(Kind kind, Lang lang, std::string* out) {
  switch (kind) {
    case Kind::kDocuments:
    case Kind::kDocFolder:
      documentName(out);
      return;
    case Kind::kDesktop:
      if (random_.percent(20)) {
        *out += std::string(random_.pick(kCodeWords)) + ".desktop";
      } else if (random_.percent(25)) {
        photoName(out);
      } else {
        documentName(out);
      }
      return;
    case Kind::kPictures:
    case Kind::kPhotoLibrary:
    case Kind::kPhotoYear:
    case Kind::kPhotoEvent:
    case Kind::kPhotoSub:
      photoName(out);
      return;
    case Kind::kMusic:
      *out += std::string(random_.pick(kAdjectives)) + " mix.m3u";
      return;
    case Kind::kArtist:
      out->append(random_.percent(50) ? "artist.jpg" : "biography.txt");
      return;
    case Kind::kAlbum:
      if (random_.percent(8)) {
        out->append(random_.percent(50) ? "cover.jpg" : "folder.jpg");
        return;
      }
      AppendNumber(out, random_.between(1, 20), 2);
      *out += std::string(" - ") + random_.pick(kAdjectives) + " " + random_.pick(kNouns);
      out->append(random_.percent(70) ? ".mp3" : random_.percent(60) ? ".flac" : ".m4a");
      return;
    case Kind::kVideos:
      if (random_.percent(40)) {
        *out += std::string(random_.pick(kAdjectives)) + " " + random_.pick(kNouns) + " (";
        AppendNumber(out, random_.between(1960, 2024), 4);
        out->append(random_.percent(60) ? ").mkv" : ").mp4");
      } else if (random_.percent(50)) {
        out->append("Screen Recording ");
        appendDate(out, "-");
        out->append(" at ");
        appendTime(out, ".");
        out->append(".mov");
      } else {
        out->append("VID_");
        appendDate(out, "");
        out->push_back('_');
        appendTime(out, "");
        out->append(".mp4");
      }
      return;
    case Kind::kShow:
      out->append(random_.percent(50) ? "poster.jpg" : "tvshow.nfo");
      return;
    case Kind::kSeason:
      out->append("S");
      AppendNumber(out, random_.between(1, 8), 2);
      out->append("E");
      AppendNumber(out, random_.between(1, 24), 2);
      *out += std::string(" - ") + random_.pick(kAdjectives) + " " + random_.pick(kNouns);
      out->append(random_.percent(80) ? ".mkv" : ".srt");
      return;
    case Kind::kDownloads:
      downloadName(out);
      return;
    case Kind::kProjects:
      out->append(random_.percent(50) ? "notes.md" : "TODO.txt");
      return;
    case Kind::kProject:
      projectFileName(lang, out);
      return;
    case Kind::kSource:
      sourceName(lang, out);
      return;
    case Kind::kGit:
      out->append(random_.pick(kGitFiles));
      return;
    case Kind::kGitObjects:
    case Kind::kGitObjectDir:
      appendHex(out, 38);
      return;
    case Kind::kGitOther:
      out->append(random_.pick(kGitOtherFiles));
      return;
    case Kind::kNodeModules:
      out->append(random_.pick(kNodeModulesFiles));
      return;
    case Kind::kPackage:
      if (random_.percent(60)) {
        out->append(random_.pick(kPackageFiles));
      } else {
        sourceName(Lang::kJavaScript, out);
      }
      return;
    case Kind::kCache:
    case Kind::kAppCache:
      if (random_.percent(30)) {
        out->append(random_.percent(50) ? "CACHEDIR.TAG" : "index");
      } else {
        out->append("data_");
        AppendNumber(out, random_.below(100), 1);
      }
      return;
    case Kind::kHexDir:
      appendHex(out, random_.percent(50) ? 32 : 40);
      if (random_.percent(30)) out->append(random_.percent(50) ? ".png" : ".cache");
      return;
    case Kind::kAppData:
      if (random_.percent(40)) {
        out->append(random_.pick(kAppDataFiles));
      } else {
        *out += std::string(random_.pick(kCodeWords)) + "." + random_.pick(kAppDataExtensions);
      }
      return;
    case Kind::kHome:
      out->append(random_.pick(kHomeFiles));
      return;
  }
}

void Generator::folderName(Kind kind, Lang lang, std::string* out) {
  switch (kind) {
    case Kind::kDocuments:
    case Kind::kDocFolder:
    case Kind::kDesktop:
      switch (random_.below(6)) {
        case 0:
          *out += std::string(random_.pick(kDocFolders)) + " ";
          appendYear(out);
          return;
        case 1:
          appendYear(out);
          return;
        case 2:
          out->append(random_.pick(kPeople));
          return;
        default:
          out->append(random_.pick(kDocFolders));
          return;
      }
    case Kind::kPictures:
    case Kind::kPhotoLibrary:
      out->append(random_.pick(kPhotoLibraries));
      return;
    case Kind::kPhotoYear:
      appendYear(out);
      return;
    case Kind::kPhotoEvent:
      eventName(out);
      return;
    case Kind::kPhotoSub:
      out->append(random_.pick(kPhotoSubfolders));
      return;
    case Kind::kMusic:
    case Kind::kArtist:
      switch (random_.below(4)) {
        case 0:
          *out +=
              std::string("The ") + random_.pick(kAdjectives) + " " + random_.pick(kNouns) + "s";
          return;
        case 1:
          *out += std::string(random_.pick(kPeople)) + " " + random_.pick(kSurnames);
          return;
        case 2:
          *out += std::string("DJ ") + random_.pick(kNouns);
          return;
        default:
          *out += std::string(random_.pick(kAdjectives)) + " " + random_.pick(kNouns);
          return;
      }
    case Kind::kAlbum:
      if (random_.percent(15)) {
        *out += std::string("Live in ") + random_.pick(kPlaces);
        return;
      }
      *out += std::string(random_.pick(kAdjectives)) + " " + random_.pick(kNouns) + " (";
      AppendNumber(out, random_.between(1965, 2024), 4);
      out->push_back(')');
      return;
    case Kind::kVideos:
    case Kind::kShow:
      *out += std::string("The ") + random_.pick(kNouns) + " " + random_.pick(kOccasions);
      return;
    case Kind::kSeason:
      out->append("Season ");
      AppendNumber(out, random_.between(1, 8), 2);
      return;
    case Kind::kDownloads:
    case Kind::kProjects:
    case Kind::kProject:
      projectName(out);
      return;
    case Kind::kSource:
      if (random_.percent(50)) {
        out->append(random_.pick(kSourceFolders));
      } else {
        appendIdentifier(out, lang == Lang::kJava ? Lang::kCpp : lang);
      }
      return;
    case Kind::kGit:
      out->append(".git");
      return;
    case Kind::kGitObjects:
      out->append("objects");
      return;
    case Kind::kGitObjectDir:
      appendHex(out, 2);
      return;
    case Kind::kGitOther:
      out->append(random_.pick(kGitFolders));
      return;
    case Kind::kNodeModules:
      out->append("node_modules");
      return;
    case Kind::kPackage:
      if (random_.percent(10)) {
        out->append(random_.pick(kPackagePrefixes));
        return;
      }
      out->append(random_.pick(kCodeWords));
      if (random_.percent(40)) *out += std::string("-") + random_.pick(kCodeWords);
      if (random_.percent(10)) out->append(".js");
      return;
    case Kind::kCache:
    case Kind::kAppCache:
      out->append(random_.pick(kCacheApplications));
      return;
    case Kind::kAppData:
    case Kind::kHome:
      out->append(random_.pick(kDataApplications));
      return;
    case Kind::kHexDir:
      appendHex(out, 2);
      return;
  }
}

void Generator::chineseName(Kind kind, Lang lang, bool folder, std::string* out) {
  if (folder && random_.percent(30)) {
    appendYear(out);
    out->append("年");
  }
  const uint32_t words = random_.between(1, folder ? 2 : 3);
  for (uint32_t i = 0; i < words; ++i)
    out->append(random_.pick(kChineseWords));
  if (folder) return;
  const uint32_t suffix = random_.below(100);
  if (suffix < 30) {
    out->push_back('_');
    appendDate(out, "");
  } else if (suffix < 45) {
    out->append("（");
    AppendNumber(out, random_.between(1, 9), 1);
    out->append("）");
  } else if (suffix < 60) {
    out->push_back(' ');
    appendYear(out);
  }
  // The extension a name of this folder would have.
  std::string usual;
  fileName(kind, lang, &usual);
  const size_t dot = ExtensionStart(usual);
  if (dot != std::string::npos) out->append(usual, dot);
}

}  // namespace

bool GenerateTree(int rootFd, uint64_t entries, uint64_t seed, TreeCounts* counts,
                  std::string* error) {
  return Generator(entries, seed, counts, error).run(rootFd);
}

}  // namespace vessiko
