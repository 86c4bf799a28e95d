#include "tests/win/main_window_fixture.h"

#include <commctrl.h>

#include <thread>

#include "platform/ntfs_layout.h"
#include "platform/utf.h"
#include "platform/win32/wide_path.h"
#include "ui/resource_ids.h"

namespace vessiko::testing {

namespace {

constexpr uint32_t kHidden = ntfs::kAttributeHidden;
constexpr uint32_t kSystem = ntfs::kAttributeSystem;

FileTimes ProbeTimes() {
  FileTimes t;
  t.creation = CalendarToFileTime(kProbeCreation);
  t.modification = CalendarToFileTime(kProbeModification);
  t.recordChange = CalendarToFileTime(kProbeRecordChange);
  t.lastAccess = CalendarToFileTime(kProbeLastAccess);
  return t;
}

struct Probes {
  uint64_t folder;
  uint64_t plainFile;
};

// The probes: entries whose every shown value is known.
Probes AddProbes(SimMachine& machine, DemoFolders& folders) {
  SimTreeBuilder c(machine.volume('C'), 'C', folders);
  const uint64_t probes = c.folder(c.root(), u"测试");
  c.file(probes, u"sizeprobe_a.bin", 1023);
  c.file(probes, u"sizeprobe_b.bin", 1024);
  c.file(probes, u"sizeprobe_c.bin", 1048576);
  c.file(probes, u"sizeprobe_d.bin", 1073741824);
  c.file(probes, u"qzx.txt", 10);
  const uint64_t plainFile = c.file(probes, u"qzxnoext", 10);
  c.file(probes, u"timeprobe.dat", 5, 0, ProbeTimes());
  c.file(probes, u"CaseProbe.txt", 1);
  c.file(probes, u"caseprobe.log", 1);
  c.file(probes, u"attrprobe_n.txt", 1);
  c.file(probes, u"attrprobe_h.txt", 1, kHidden);
  c.file(probes, u"attrprobe_s.txt", 1, kSystem);
  c.file(probes, u"attrprobe_hs.txt", 1, kHidden | kSystem);
  c.folder(probes, u"attrprobe_dir", kHidden);
  c.file(probes, u"linkprobe.lnk", 900);
  uint64_t deep = probes;
  for (int level = 0; level < 5; ++level)
    deep = c.folder(deep, u"深" + std::u16string(59, static_cast<char16_t>(u'a' + level)));
  c.file(deep, u"deepprobe.txt", 3);
  const uint64_t range = c.folder(probes, u"范围");
  const uint64_t inside = c.folder(range, u"内");
  c.file(inside, u"scopeprobe1.txt", 1);
  c.file(c.folder(inside, u"子"), u"scopeprobe4.txt", 1);
  c.file(c.folder(range, u"外"), u"scopeprobe2.txt", 1);
  SimTreeBuilder d(machine.volume('D'), 'D', folders);
  d.file(d.root(), u"scopeprobe3.txt", 1);
  return {probes, plainFile};
}

}  // namespace

void MainWindowTest::SetUp() {
  FillDemoMachine(machine, folders);
  const Probes probes = AddProbes(machine, folders);
  probeFolder = probes.folder;
  plainFileProbe = probes.plainFile;
  main = std::make_unique<MainDialog>(ProgramParts{machine, files, clock, folders, tasks, messages,
                                                   shell, urls,
                                                   DatabasePaths::inFolder("C:\\db", '\\')});
  dialog = main->create(GetModuleHandleW(nullptr));
  ASSERT_NE(dialog, nullptr);
  firstStatus = status();
  main->engine().waitUntilReady();
  ASSERT_TRUE(pumpUntil([this] { return status() == "0 个结果!"; }));
}

void MainWindowTest::TearDown() {
  if (IsWindow(dialog)) SendMessageW(dialog, WM_CLOSE, 0, 0);
  pump();
  main.reset();
}

void MainWindowTest::pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;  // the window's end, which the test awaits itself
    if (IsWindow(dialog) && IsDialogMessageW(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

bool MainWindowTest::pumpUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  for (;;) {
    pump();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool MainWindowTest::shown(HWND window) {
  return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

void MainWindowTest::type(int edit, std::string_view text) {
  HWND window = item(edit);
  const int end = GetWindowTextLengthW(window);
  SendMessageW(window, EM_SETSEL, end, end);
  for (char16_t unit : Utf8ToUtf16(text))
    SendMessageW(window, WM_CHAR, unit, 0);
  pump();
}

void MainWindowTest::setText(int edit, std::string_view text) {
  SetWindowTextW(item(edit), Widen(text).c_str());
  pump();
}

void MainWindowTest::search(std::string_view name, std::string_view extension) {
  setText(IDC_EXTENSION_EDIT, extension);
  setText(IDC_NAME_EDIT, name);
}

std::string MainWindowTest::utf8(std::wstring_view text) {
  return Narrow(text);
}

std::string MainWindowTest::status() {
  wchar_t text[256] = {};
  GetWindowTextW(item(IDC_STATUS_BAR), text, 256);
  return utf8(text);
}

int MainWindowTest::rows() {
  return static_cast<int>(SendMessageW(item(IDC_RESULT_LIST), LVM_GETITEMCOUNT, 0, 0));
}

std::string MainWindowTest::cell(int row, int column, int capacity) {
  std::wstring buffer(static_cast<size_t>(capacity), L'\0');
  LVITEMW request = {};
  request.iSubItem = column;
  request.pszText = buffer.data();
  request.cchTextMax = capacity;
  SendMessageW(item(IDC_RESULT_LIST), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&request));
  return utf8(request.pszText);
}

int MainWindowTest::image(int row) {
  LVITEMW request = {};
  request.mask = LVIF_IMAGE;
  request.iItem = row;
  SendMessageW(item(IDC_RESULT_LIST), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&request));
  return request.iImage;
}

std::vector<std::string> MainWindowTest::names() {
  std::vector<std::string> out;
  for (int row = 0; row < rows(); ++row) {
    const std::string extension = cell(row, 1);
    out.push_back(cell(row, 0) + (extension.empty() ? "" : "." + extension));
  }
  return out;
}

void MainWindowTest::command(int id, int code) {
  HWND control = code == 0 ? nullptr : item(id);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
  pump();
}

LRESULT MainWindowTest::notify(int control, UINT code, int row, int subItem) {
  NMITEMACTIVATE activate = {};
  activate.hdr.hwndFrom = item(control);
  activate.hdr.idFrom = static_cast<UINT_PTR>(control);
  activate.hdr.code = code;
  activate.iItem = row;
  activate.iSubItem = subItem;
  SendMessageW(dialog, WM_NOTIFY, static_cast<WPARAM>(control),
               reinterpret_cast<LPARAM>(&activate));
  const LRESULT result = GetWindowLongPtrW(dialog, DWLP_MSGRESULT);
  pump();
  return result;
}

std::wstring MainWindowTest::boxCaption() {
  std::wstring caption;
  EnumThreadWindows(
      GetWindowThreadProcessId(dialog, nullptr),
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (std::wstring_view(className) != L"#32770" || GetWindow(window, GW_OWNER) == nullptr)
          return TRUE;
        wchar_t text[64] = {};
        GetWindowTextW(window, text, 64);
        *reinterpret_cast<std::wstring*>(found) = text;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&caption));
  return caption;
}

std::string MainWindowTest::barCaption(UINT position) {
  wchar_t text[64] = {};
  GetMenuStringW(GetMenu(dialog), position, text, 64, MF_BYPOSITION);
  return utf8(text);
}

bool MainWindowTest::searchOptionChecked(UINT position) {
  return (GetMenuState(GetSubMenu(GetMenu(dialog), 1), position, MF_BYPOSITION) & MF_CHECKED) != 0;
}

RECT MainWindowTest::rectOf(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

RECT MainWindowTest::rectOf(int id) {
  return rectOf(item(id));
}

int MainWindowTest::clientWidth() {
  RECT client;
  GetClientRect(dialog, &client);
  return client.right;
}

void MainWindowTest::resize(int width, int height) {
  SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
  pump();
}

}  // namespace vessiko::testing
