#include "cli/full_screen_view.h"

#include <curses.h>
#include <langinfo.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/display_width.h"
#include "cli/face.h"
#include "cli/index_access.h"
#include "cli/local_searcher.h"
#include "cli/service_client.h"
#include "cli/service_listener.h"
#include "cli/view_messages.h"
#include "mirror/file_name_bytes.h"
#include "platform/utf.h"

namespace vessiko {

namespace {

constexpr int kKeyCtrlC = 3;
constexpr int kKeyCtrlU = 21;
constexpr int kKeyEscape = 27;
constexpr int kIdleMilliseconds = 250;

struct Column {
  const char* title;
  int width;  // display columns; 0: shares what the fixed columns leave
  bool right;
};

// The window's column headings, with widths that fit their longest cells.
constexpr std::array<Column, 8> kColumns = {{{"文件名", 0, false},
                                             {"扩展名", 8, false},
                                             {"所在目录", 0, false},
                                             {"文件大小", 10, true},
                                             {"创建时间", 23, false},
                                             {"最近修改时间", 23, false},
                                             {"最近访问时间", 23, false},
                                             {"属性", 17, false}}};

const std::string& CellOf(const RowCells& cells, size_t column) {
  switch (column) {
    case 0:
      return cells.name;
    case 1:
      return cells.extension;
    case 2:
      return cells.folder;
    case 3:
      return cells.size;
    case 4:
      return cells.creation;
    case 5:
      return cells.lastChange;
    case 6:
      return cells.lastAccess;
    default:
      return cells.attributes;
  }
}

class View {
 public:
  View(ViewMessages& messages, int terminal) : messages_(messages), terminal_(terminal) {}

  // True when the user chose an entry; its path is in *chosen. False also when the searcher
  // failed (the owner of the index went away).
  bool run(Searcher& searcher, std::string* chosen);
  bool modal(std::string_view caption, std::string_view text, bool question);

 private:
  void draw();
  void drawTopLine();
  void drawRows(int top, int height);
  void drawStatusLine();
  void putText(int y, int x, std::string_view text, int width, bool right = false);
  void layout(int screenWidth);
  void handleKey(int kind, wint_t key, bool* quit, std::string* chosen);
  void edited();
  void eraseLast();
  void toggle(bool SearchToggles::*option, bool SearchToggles::*other, bool refusable);
  bool choose(std::string* chosen);

  Searcher* searcher_ = nullptr;  // set while the view runs
  ViewMessages& messages_;
  int terminal_;
  std::u16string fields_[2];
  int field_ = 0;
  uint32_t selected_ = 0;
  uint32_t top_ = 0;
  uint32_t count_ = 0;
  int firstColumn_ = 0;
  std::array<int, 8> widths_{};
  RowCells cells_;
  std::string line_;
};

void View::layout(int screenWidth) {
  int fixed = 0;
  for (const Column& c : kColumns)
    fixed += c.width + 1;
  const int shared = std::max(40, screenWidth - fixed);
  for (size_t i = 0; i < kColumns.size(); ++i)
    widths_[i] = kColumns[i].width;
  widths_[0] = shared * 2 / 5;
  widths_[2] = shared - widths_[0];
}

void View::putText(int y, int x, std::string_view text, int width, bool right) {
  if (width <= 0) return;
  line_.clear();
  const int used = AppendFitting(text, width, &line_);
  const int pad = width - used;
  if (right) {
    mvaddstr(y, x, std::string(static_cast<size_t>(pad), ' ').c_str());
    mvaddstr(y, x + pad, line_.c_str());
  } else {
    line_.append(static_cast<size_t>(pad), ' ');
    mvaddstr(y, x, line_.c_str());
  }
}

void View::drawTopLine() {
  const int width = COLS;
  const int nameWidth = std::max(10, width * 2 / 3 - 1);
  std::string text[2];
  for (int i = 0; i < 2; ++i)
    AppendDisplayText(fields_[i], &text[i]);
  // A long text shows its end, where typing happens.
  const auto tail = [](const std::string& s, int w) {
    w = std::max(w, 0);
    size_t start = 0;
    while (start < s.size() && DisplayWidth(std::string_view(s).substr(start)) > w) {
      ++start;
      while (start < s.size() && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
        ++start;
    }
    return s.substr(start);
  };
  const std::string name = tail(text[0], nameWidth - 1);
  const std::string extension = tail(text[1], width - nameWidth - 4);
  attron(A_UNDERLINE);
  putText(0, 0, name, nameWidth);
  attroff(A_UNDERLINE);
  putText(0, nameWidth, " . ", 3);
  attron(A_UNDERLINE);
  putText(0, nameWidth + 3, extension, width - nameWidth - 3);
  attroff(A_UNDERLINE);
  const int cursor = field_ == 0 ? DisplayWidth(name) : nameWidth + 3 + DisplayWidth(extension);
  move(0, std::min(cursor, width - 1));
}

void View::drawRows(int top, int height) {
  int x = 0;
  attron(A_BOLD);
  for (size_t c = static_cast<size_t>(firstColumn_); c < kColumns.size() && x < COLS; ++c) {
    putText(top, x, kColumns[c].title, std::min(widths_[c], COLS - x), kColumns[c].right);
    x += widths_[c] + 1;
  }
  attroff(A_BOLD);
  count_ = searcher_->count();
  if (count_ == 0) {
    selected_ = top_ = 0;
  } else {
    selected_ = std::min(selected_, count_ - 1);
    const auto visible = static_cast<uint32_t>(std::max(1, height - 1));
    if (selected_ < top_) top_ = selected_;
    if (selected_ >= top_ + visible) top_ = selected_ - visible + 1;
  }
  for (int y = 1; y < height; ++y) {
    const uint32_t row = top_ + static_cast<uint32_t>(y - 1);
    move(top + y, 0);
    clrtoeol();
    if (row >= count_ || !searcher_->describe(row, kAllFileValues, &cells_)) continue;
    if (row == selected_) attron(A_REVERSE);
    x = 0;
    for (size_t c = static_cast<size_t>(firstColumn_); c < kColumns.size() && x < COLS; ++c) {
      putText(top + y, x, CellOf(cells_, c), std::min(widths_[c], COLS - x), kColumns[c].right);
      x += widths_[c];
      if (x < COLS) putText(top + y, x, " ", 1);
      ++x;
    }
    if (row == selected_) attroff(A_REVERSE);
  }
}

void View::drawStatusLine() {
  const SearchToggles toggles = searcher_->toggles();
  std::string options;
  options += toggles.caseSensitive ? "[x]" : "[ ]";
  options += "区分大小写 ";
  options += toggles.folders ? "[x]" : "[ ]";
  options += "文件夹 ";
  options += toggles.files ? "[x]" : "[ ]";
  options += "文件";
  const int optionsWidth = DisplayWidth(options);
  attron(A_REVERSE);
  putText(LINES - 1, 0, messages_.status(), std::max(0, COLS - optionsWidth - 1));
  putText(LINES - 1, std::max(0, COLS - optionsWidth - 1), " " + options, optionsWidth + 1);
  attroff(A_REVERSE);
}

void View::draw() {
  layout(COLS);
  drawRows(1, LINES - 2);
  drawStatusLine();
  drawTopLine();
  refresh();
}

bool View::modal(std::string_view caption, std::string_view text, bool question) {
  // A box in the middle of the screen, its lines cut to the screen; redrawn until answered.
  std::vector<std::string> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view part = rest.substr(0, end);
    if (!part.empty() && part.back() == '\r') part.remove_suffix(1);
    lines.emplace_back(part);
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  lines.emplace_back("");
  lines.emplace_back(question ? "(Y) 是    (N) 否" : "(Enter) 确定");
  int inner = DisplayWidth(caption);
  for (const std::string& l : lines)
    inner = std::max(inner, DisplayWidth(l));
  inner = std::min(inner, COLS - 4);
  const int height = static_cast<int>(lines.size()) + 2;
  const int left = std::max(0, (COLS - inner - 4) / 2);
  const int top = std::max(0, (LINES - height) / 2);
  for (;;) {
    attron(A_REVERSE);
    putText(top, left, " " + std::string(caption), inner + 4);
    attroff(A_REVERSE);
    for (size_t i = 0; i < lines.size(); ++i) {
      putText(top + 1 + static_cast<int>(i), left, "  " + lines[i], inner + 4);
    }
    putText(top + height - 1, left, "", inner + 4);
    curs_set(0);
    refresh();
    wint_t key = 0;
    timeout(-1);
    const int kind = wget_wch(stdscr, &key);
    timeout(0);
    curs_set(1);
    if (kind == ERR) continue;
    if (kind == KEY_CODE_YES && key == KEY_RESIZE) {
      clear();
      // Start-up asks before the engine exists: then there is no view behind the box.
      if (searcher_ != nullptr) draw();
      continue;
    }
    if (question && (key == 'y' || key == 'Y' || key == 'n' || key == 'N' || key == kKeyEscape)) {
      clear();
      return key == 'y' || key == 'Y';
    }
    if (!question && (key == '\n' || key == '\r' || key == ' ' || key == kKeyEscape ||
                      (kind == KEY_CODE_YES && key == KEY_ENTER))) {
      clear();
      return true;
    }
  }
}

void View::edited() {
  selected_ = top_ = 0;
  searcher_->search(QueryTexts{fields_[0], fields_[1]});
}

void View::eraseLast() {
  std::u16string& field = fields_[field_];
  if (field.empty()) return;
  field.pop_back();
  if (!field.empty() && field.back() >= 0xD800 && field.back() <= 0xDBFF) field.pop_back();
  edited();
}

void View::toggle(bool SearchToggles::*option, bool SearchToggles::*other, bool refusable) {
  SearchToggles toggles = searcher_->toggles();
  if (refusable && toggles.*option && !(toggles.*other)) {
    modal("友情提醒！", "文件和文件夹至少指定一个！", false);
    return;
  }
  toggles.*option = !(toggles.*option);
  searcher_->setToggles(toggles);
}

bool View::choose(std::string* chosen) {
  // The row count drawn last can lag behind a search typed since.
  return searcher_->path(selected_, chosen);
}

void View::handleKey(int kind, wint_t key, bool* quit, std::string* chosen) {
  constexpr auto kCase = &SearchToggles::caseSensitive;
  constexpr auto kFolders = &SearchToggles::folders;
  constexpr auto kFiles = &SearchToggles::files;
  const auto page = static_cast<uint32_t>(std::max(1, LINES - 4));
  if (kind == KEY_CODE_YES) {
    switch (key) {
      case KEY_UP:
        if (selected_ > 0) --selected_;
        return;
      case KEY_DOWN:
        if (selected_ + 1 < count_) ++selected_;
        return;
      case KEY_PPAGE:
        selected_ = selected_ > page ? selected_ - page : 0;
        return;
      case KEY_NPAGE:
        selected_ = count_ == 0 ? 0 : std::min(count_ - 1, selected_ + page);
        return;
      case KEY_HOME:
        selected_ = 0;
        return;
      case KEY_END:
        selected_ = count_ == 0 ? 0 : count_ - 1;
        return;
      case KEY_LEFT:
        firstColumn_ = std::max(0, firstColumn_ - 1);
        return;
      case KEY_RIGHT:
        firstColumn_ = std::min(static_cast<int>(kColumns.size()) - 1, firstColumn_ + 1);
        return;
      case KEY_BACKSPACE:
        eraseLast();
        return;
      case KEY_ENTER:
        *quit = choose(chosen);
        return;
      case KEY_RESIZE:
        clear();
        return;
      default:
        if (key == KEY_F(2)) toggle(kCase, kCase, false);
        if (key == KEY_F(3)) toggle(kFolders, kFiles, true);
        if (key == KEY_F(4)) toggle(kFiles, kFolders, true);
        return;
    }
  }
  // Key codes overlap characters (KEY_BACKSPACE is U+0107), so only the key switch above sees them.
  std::u16string& field = fields_[field_];
  switch (key) {
    case 127:
    case 8:
      eraseLast();
      return;
    case kKeyCtrlU:
      field.clear();
      edited();
      return;
    case '\t':
      field_ = 1 - field_;
      return;
    case '\n':
    case '\r':
      *quit = choose(chosen);
      return;
    case kKeyCtrlC:
      *quit = true;
      return;
    case kKeyEscape: {
      // Alt-letter arrives as Escape and the letter; Escape alone ends the view.
      wint_t next = 0;
      const int nextKind = wget_wch(stdscr, &next);
      if (nextKind == ERR) {
        *quit = true;
      } else if (next == 'c' || next == 'C') {
        toggle(kCase, kCase, false);
      } else if (next == 'd' || next == 'D') {
        toggle(kFolders, kFiles, true);
      } else if (next == 'f' || next == 'F') {
        toggle(kFiles, kFolders, true);
      }
      return;
    }
    default:
      if (key < 0x20 || key == 0x7F || key > 0x10FFFF) return;
      if (key >= 0x10000) {
        field.push_back(static_cast<char16_t>(0xD800 + ((key - 0x10000) >> 10)));
        field.push_back(static_cast<char16_t>(0xDC00 + ((key - 0x10000) & 0x3FF)));
      } else {
        field.push_back(static_cast<char16_t>(key));
      }
      edited();
  }
}

bool View::run(Searcher& searcher, std::string* chosen) {
  searcher_ = &searcher;
  // The fields' query, for an owner that is ready already (its own start-up searches it when
  // it becomes ready).
  searcher.search(QueryTexts{fields_[0], fields_[1]});
  bool quit = false;
  while (!quit && !searcher.failed()) {
    messages_.serveWaitingBox();
    searcher.refresh();
    // Drawing asks only for the rows on screen, so it is cheap enough to do on every wake-up:
    // a key, a change of the results or the status, or the idle tick.
    draw();
    pollfd fds[2] = {{terminal_, POLLIN, 0}, {messages_.wakeDescriptor(), POLLIN, 0}};
    poll(fds, 2, kIdleMilliseconds);
    messages_.drainWakes();
    wint_t key = 0;
    int kind;
    while (!quit && (kind = wget_wch(stdscr, &key)) != ERR)
      handleKey(kind, key, &quit, chosen);
  }
  searcher_ = nullptr;
  return !chosen->empty();
}

}  // namespace

int RunFullScreen(const CommandLine& line) {
  ViewMessages messages;
  if (!AcceptOptions(line, messages)) return 1;
  // Names are shown as UTF-8, and CJK text is measured by its width, whatever the locale.
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  // Before the terminal is taken: a status line that waits for the owner shows on it.
  IndexAccess access;
  std::unique_ptr<ServiceClient> client;
  int status = 0;
  if (!ReachOwner(line, messages, &access, &client, &status)) return status;
  FILE* tty = std::fopen("/dev/tty", "r+");
  if (tty == nullptr) {
    std::fprintf(stderr, "vessiko: no terminal to draw on\n");
    return 2;
  }
  SCREEN* screen = newterm(nullptr, tty, tty);
  if (screen == nullptr) {
    std::fclose(tty);
    std::fprintf(stderr, "vessiko: this terminal cannot be drawn on\n");
    return 2;
  }
  set_term(screen);
  raw();
  noecho();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  timeout(0);
  View view(messages, fileno(tty));
  messages.attach([&view](std::string_view caption, std::string_view text, bool question) {
    return view.modal(caption, text, question);
  });
  Face face(line, messages, messages);
  std::string chosen;
  if (client) {
    // A screenful and then some: scrolling asks again only past it.
    client->setRunLength(static_cast<uint32_t>(std::max(LINES, 1)) * 4);
    view.run(*client, &chosen);
    if (client->failed()) status = 1;
  } else {
    // The walk of a large tree takes a moment: the status line shows it started.
    messages.showStatus("Reading the folders...");
    erase();
    refresh();
    bool usage = false;
    if (face.open(&usage)) {
      face.start();
      // While it owns the index, the view answers the other processes on the folder too.
      ServiceListener listener(face, line, messages, geteuid());
      listener.start();
      LocalSearcher local(face);
      view.run(local, &chosen);
      listener.stop();
    } else {
      status = usage ? 2 : 1;
    }
  }
  messages.detach();
  endwin();
  delscreen(screen);
  std::fclose(tty);
  if (!chosen.empty()) {
    std::fwrite(chosen.data(), 1, chosen.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  face.close();
  return status;
}

}  // namespace vessiko
