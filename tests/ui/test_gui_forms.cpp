// Forms made and destroyed through real windows: every form finds its own record, a form has
// one window however often it is created, a destroyed form comes back with the state its
// controls kept, a create/destroy loop leaves no windows, menus, GDI objects or heap behind,
// and control ids come back to the pool without ever leaving 16 bits. Needs a display (Xvfb).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/all_kinds.h"
#include "tests/support/gui.h"
#include "shields/home_page_shield.h"
#include "ui/frm_splash.h"

using namespace quillon;
using namespace quillon::controls;
using namespace quillon::test;

namespace {

struct Small : Form {
  explicit Small(const std::string& caption) : Form(caption) {
    width = 200, height = 80;
    cmd.layout = {10, 10, 80, 24};
    cmd.onClick = [this] { ++clicks; };
    chk.layout = {100, 10, 80, 24};
  }
  Button cmd{this, "cmd", "Press"};
  CheckBox chk{this, "chk", "On"};
  int clicks = 0;
};

// A form that holds nothing but timers: ids without windows, to use the pool up cheaply. The
// last one is quick, to be seen ticking.
struct Timers : Form {
  explicit Timers(int n) : Form("Timers") {
    for (int i = 0; i < n; ++i) timers.emplace_back(this, "tmr" + std::to_string(i), i == n - 1 ? 5 : 1000, false);
  }
  std::deque<Timer> timers;
};

// What the process holds. Under Wine GetGuiResources counts nothing; there the handle tables
// are probed: a handle whose upper word is zero names whatever object holds that slot.
size_t userObjects() {
  if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) return n;
  size_t n = 0;
  DWORD self = GetCurrentProcessId();
  for (ULONG_PTR h = 0x20; h < 0x10000; h += 2) {
    DWORD pid = 0;
    if (IsWindow(reinterpret_cast<HWND>(h))) {
      GetWindowThreadProcessId(reinterpret_cast<HWND>(h), &pid);
      n += pid == self;
    } else {
      n += IsMenu(reinterpret_cast<HMENU>(h)) != FALSE;
    }
  }
  return n;
}

size_t gdiObjects() {
  if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return n;
  size_t n = 0;
  for (ULONG_PTR h = 0x20; h < 0x10000; ++h) n += GetObjectType(reinterpret_cast<HGDIOBJ>(h)) != 0;
  return n;
}

size_t heapBytes() {
  HANDLE heaps[128];
  DWORD count = GetProcessHeaps(128, heaps);
  size_t total = 0;
  for (DWORD i = 0; i < count && i < 128; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY e{};
    while (HeapWalk(heaps[i], &e))
      if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += e.cbData;
    HeapUnlock(heaps[i]);
  }
  return total;
}

// The ids the system sees: of the controls' own windows and of the menu entries.
std::set<int> idsOf(win32::GuiHost& host, Form& f) {
  std::set<int> ids;
  HWND form = static_cast<HWND>(host.windowOf(f));
  for (Control* c : f.controls()) {
    HWND h = static_cast<HWND>(host.windowOf(*c));
    if (h && h != form) ids.insert(GetDlgCtrlID(h));
  }
  HMENU bar = GetMenu(form);
  for (int i = 0; bar && i < GetMenuItemCount(bar); ++i) {
    HMENU drop = GetSubMenu(bar, i);
    for (int j = 0; j < GetMenuItemCount(drop); ++j) ids.insert(int(GetMenuItemID(drop, j)));
  }
  return ids;
}

int formWindowsTitled(const std::string& caption) {
  struct Count {
    std::string caption;
    int n = 0;
  } count{caption};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM p) {
        auto* c = reinterpret_cast<Count*>(p);
        c->n += windowText(h) == c->caption;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count.n;
}

struct GuiForms : ::testing::Test {
  win32::GuiHost host{GetModuleHandleA(nullptr)};
  HWND hw(Control& c) { return static_cast<HWND>(host.windowOf(c)); }
  HWND hw(Form& f) { return static_cast<HWND>(host.windowOf(f)); }
  HWND create(Form& f, HWND owner = nullptr) { return static_cast<HWND>(host.create(f, owner, nullptr)); }
};

}  // namespace

TEST_F(GuiForms, EveryWindowFindsItsOwnFormAmongMany) {
  std::vector<std::unique_ptr<Small>> forms;
  for (int i = 0; i < 300; ++i) {
    forms.push_back(std::make_unique<Small>("Small " + std::to_string(i)));
    ASSERT_NE(create(*forms.back()), nullptr);
  }
  for (auto& f : forms) {
    HWND h = hw(*f);
    EXPECT_EQ(host.formOf(h), f.get());
    EXPECT_EQ(GetDlgItem(h, GetDlgCtrlID(hw(f->cmd))), hw(f->cmd));
  }
  // A press reaches the form whose button it was, and no other.
  SendMessageA(hw(forms[17]->cmd), BM_CLICK, 0, 0);
  SendMessageA(hw(forms[299]->cmd), BM_CLICK, 0, 0);
  SendMessageA(hw(forms[299]->chk), BM_CLICK, 0, 0);
  int pressed = 0;
  for (auto& f : forms) pressed += f->clicks;
  EXPECT_EQ(pressed, 2);
  EXPECT_EQ(forms[17]->clicks, 1);
  EXPECT_EQ(forms[299]->clicks, 1);
  EXPECT_EQ(forms[299]->chk.value(), 1);
  EXPECT_EQ(forms[298]->chk.value(), 0);
  // A command carrying another form's control id does nothing here.
  SendMessageA(hw(*forms[0]), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hw(forms[1]->cmd)), BN_CLICKED), 0);
  EXPECT_EQ(forms[1]->clicks, 0);
  // Windows that are not forms have none.
  EXPECT_EQ(host.formOf(hw(forms[0]->cmd)), nullptr);
  EXPECT_EQ(host.formOf(GetDesktopWindow()), nullptr);
  EXPECT_EQ(host.formOf(nullptr), nullptr);
}

TEST_F(GuiForms, CreatingAFormTwiceKeepsOneWindowAndBringsItForward) {
  Small a("Form A"), b("Form B");
  HWND ha = create(a);
  a.setVisible(true);
  HWND hb = create(b);
  b.setVisible(true);
  SetForegroundWindow(hb);
  EXPECT_EQ(create(a), ha);
  EXPECT_EQ(formWindowsTitled("Form A"), 1);
  EXPECT_EQ(GetForegroundWindow(), ha);
  // Still one set of controls, still bound.
  int children = 0;
  EnumChildWindows(ha, [](HWND, LPARAM p) { return ++*reinterpret_cast<int*>(p), TRUE; }, LPARAM(&children));
  EXPECT_EQ(children, 2);
  SendMessageA(hw(a.cmd), BM_CLICK, 0, 0);
  EXPECT_EQ(a.clicks, 1);
  // A hidden form is only returned, not shown.
  b.setVisible(false);
  EXPECT_EQ(create(b), hb);
  EXPECT_FALSE(IsWindowVisible(hb));
}

TEST_F(GuiForms, ADestroyedFormComesBackWithTheStateItsControlsKept) {
  AllKinds f;
  HWND first = create(f);
  ASSERT_NE(first, nullptr);
  f.setVisible(true);
  HWND oldList = hw(f.lvw);
  host.trayIcon(f, FormHost::TrayOp::Add, "All kinds");
  f.setCaption("Changed caption");
  f.chk.setValue(1);
  f.opt2.setValue(true);
  f.lvw.add("first");
  f.lvw.add("second", 2);
  f.lvw.setSubItem(1, 1, "C:\\x");
  f.lvw.setChecked(1, true);
  f.prg.setValue(40);
  f.cmb.setListIndex(2);
  f.tabs.select(2);
  f.dtp.setValue("3/16/2006 12:00:00 AM");
  f.txt.setText("Some text");
  f.mnuHide.setEnabled(false);
  f.cmdOk.setEnabled(false);
  f.shp.moveTo(300, 220);
  pumpFor(60);
  EXPECT_GT(f.ticks, 0);

  host.destroy(f);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(IsWindow(oldList));
  EXPECT_EQ(hw(f), nullptr);
  EXPECT_EQ(hw(f.lvw), nullptr);
  EXPECT_FALSE(f.visible());
  for (Control* c : f.controls()) EXPECT_EQ(c->observer(), nullptr) << c->name();
  // The icon went with the window: there is none left to delete.
  NOTIFYICONDATAA nid{};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = first;
  nid.uID = 1;
  EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &nid));
  // Headless, the controls still work and keep what they are told; the timer is stopped.
  int ticks = f.ticks;
  pumpFor(60);
  EXPECT_EQ(f.ticks, ticks);
  f.lbl.setCaption("Changed while headless");
  f.lvw.add("third");
  host.destroy(f);  // a second destroy finds nothing to do

  HWND again = create(f);
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(IsWindowVisible(again));
  f.setVisible(true);
  EXPECT_TRUE(IsWindowVisible(again));
  EXPECT_EQ(windowText(again), "Changed caption");
  EXPECT_EQ(windowText(hw(f.lbl)), "Changed while headless");
  EXPECT_EQ(windowText(hw(f.txt)), "Some text");
  EXPECT_EQ(SendMessageA(hw(f.chk), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageA(hw(f.opt1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageA(hw(f.opt2), BM_GETCHECK, 0, 0), BST_CHECKED);
  HWND list = hw(f.lvw);
  ASSERT_EQ(ListView_GetItemCount(list), 3);
  char cell[64];
  ListView_GetItemText(list, 1, 1, cell, sizeof cell);
  EXPECT_STREQ(cell, "C:\\x");
  EXPECT_TRUE(ListView_GetCheckState(list, 1));
  EXPECT_FALSE(ListView_GetCheckState(list, 0));
  EXPECT_EQ(SendMessageA(hw(f.prg), PBM_GETPOS, 0, 0), 40);
  EXPECT_EQ(SendMessageA(hw(f.cmb), CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageA(hw(f.tabs), TCM_GETCURSEL, 0, 0), 1);
  SYSTEMTIME st{};
  EXPECT_EQ(SendMessageA(hw(f.dtp), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_VALID);
  EXPECT_EQ(st.wYear, 2006);
  EXPECT_EQ(st.wDay, 16);
  EXPECT_FALSE(IsWindowEnabled(hw(f.cmdOk)));
  const UINT hideId = GetMenuItemID(GetSubMenu(GetMenu(again), 0), 0);
  EXPECT_TRUE(GetMenuState(GetMenu(again), hideId, MF_BYCOMMAND) & MF_GRAYED);
  RECT r;
  GetWindowRect(hw(f.shp), &r);
  MapWindowPoints(nullptr, again, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 300);
  // The window answers the user again, and the timer runs again.
  SendMessageA(hw(f.chk), BM_CLICK, 0, 0);
  EXPECT_EQ(f.chk.value(), 0);
  EXPECT_EQ(f.checkClicks, 2);  // once from code, once from the window
  ListView_SetCheckState(list, 0, TRUE);
  EXPECT_TRUE(f.lvw.item(0).checked);
  f.mnuHide.setEnabled(true);
  SendMessageA(again, WM_COMMAND, MAKEWPARAM(hideId, 0), 0);
  EXPECT_EQ(f.menuClicks, 1);
  ticks = f.ticks;
  pumpFor(60);
  EXPECT_GT(f.ticks, ticks);
  // Every list shares the host's icons: destroying one list leaves them to the others.
  AllKinds other;
  create(other);
  host.destroy(f);
  HIMAGELIST icons = ListView_GetImageList(hw(other.lvw), LVSIL_SMALL);
  EXPECT_EQ(ImageList_GetImageCount(icons), 6);
}

// What the picker tells its parent when the user changes it: a date, or no date when the user
// clears its check box.
TEST_F(GuiForms, AUsersDateChangeReachesThePickerAndItsHandler) {
  AllKinds f;
  create(f);
  HWND picker = hw(f.dtp);
  f.dtp.setValue("3/16/2006 12:00:00 AM");
  EXPECT_EQ(f.dateChanges, 0);  // a value set by code runs no handler
  NMDATETIMECHANGE nm{};
  nm.nmhdr.hwndFrom = picker;
  nm.nmhdr.idFrom = UINT_PTR(GetDlgCtrlID(picker));
  nm.nmhdr.code = DTN_DATETIMECHANGE;
  nm.dwFlags = GDT_VALID;
  nm.st = SYSTEMTIME{2026, 12, 4, 24, 18, 30, 15, 0};
  auto userChange = [&] { SendMessageA(GetParent(picker), WM_NOTIFY, nm.nmhdr.idFrom, reinterpret_cast<LPARAM>(&nm)); };
  userChange();
  EXPECT_EQ(f.dtp.value(), "12/24/2026 6:30:15 PM");
  EXPECT_EQ(f.dateChanges, 1);
  nm.dwFlags = GDT_NONE;
  userChange();
  EXPECT_EQ(f.dtp.value(), "");
  EXPECT_EQ(f.dateChanges, 2);
  SYSTEMTIME st{};
  EXPECT_EQ(SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_NONE);
  // Text that is no date shows as no date, and a date set by code shows in the window.
  f.dtp.setValue("12/25/2026 12:00:00 AM");
  EXPECT_EQ(SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_VALID);
  EXPECT_EQ(st.wDay, 25);
  f.dtp.setValue("soon");
  EXPECT_EQ(SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_NONE);
  EXPECT_EQ(f.dateChanges, 2);
  host.destroy(f);
}

TEST_F(GuiForms, FormsGoWithTheirOwnerAndMayDestroyThemselves) {
  Small owner("Owner"), owned("Owned");
  HWND ho = create(owner);
  create(owned, ho);
  host.destroy(owner);
  EXPECT_EQ(hw(owned), nullptr);
  EXPECT_EQ(owned.cmd.observer(), nullptr);

  // Destroyed from outside, the record goes with the window.
  HWND h = create(owned);
  DestroyWindow(h);
  EXPECT_EQ(hw(owned), nullptr);
  owned.cmd.setCaption("headless");  // reaches no window
  ASSERT_NE(create(owned), nullptr);
  EXPECT_EQ(windowText(hw(owned.cmd)), "headless");

  // A button that destroys its own form, as an alert's OK does, and a close that does.
  owned.cmd.onClick = [&] { host.destroy(owned); };
  SendMessageA(hw(owned.cmd), BM_CLICK, 0, 0);
  EXPECT_EQ(hw(owned), nullptr);
  h = static_cast<HWND>(host.create(owned, nullptr, [&] { host.destroy(owned); }));
  SendMessageA(h, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(h));

  // A modal form destroyed by its own handler ends its modal loop.
  ho = create(owner);
  owner.setVisible(true);
  create(owned, ho);
  PostMessageA(hw(owned.cmd), BM_CLICK, 0, 0);
  host.showModal(owned);
  EXPECT_EQ(hw(owned), nullptr);
  EXPECT_FALSE(owned.visible());
  EXPECT_TRUE(IsWindowEnabled(ho));
}

// A leak of one object a round shows as a hundred of them, and one of a hundred bytes as ten
// thousand. The loop runs the form hidden: under Wine without a window manager, taking a shown
// window or a tray icon off the screen waits two seconds for the X server, so only the first
// round shows them. bench_gui_forms times the loop.
TEST_F(GuiForms, CreateDestroyLoopLeavesNothingBehind) {
  AllKinds f;
  int failed = 0;
  auto round = [&](bool shown) {
    failed += create(f) == nullptr;
    if (shown) {
      f.setVisible(true);
      host.trayIcon(f, FormHost::TrayOp::Add, "tip");
    }
    f.prg.setValue(f.prg.value() == 10 ? 20 : 10);
    f.lvw.setChecked(0, !f.lvw.item(0).checked);
    host.destroy(f);
  };
  f.lvw.add("row");
  for (int i = 0; i < 20; ++i) round(i == 0);
  pumpFor(50);
  const size_t user0 = userObjects(), gdi0 = gdiObjects(), heap0 = heapBytes();
  for (int i = 0; i < 100; ++i) round(i == 0);
  pumpFor(50);
  EXPECT_EQ(failed, 0);
  EXPECT_LE(userObjects(), user0 + 4);
  EXPECT_LE(gdiObjects(), gdi0 + 4);
  EXPECT_LT(heapBytes(), heap0 + 8 * 1024);
}

TEST_F(GuiForms, ControlIdsComeFromAPoolThatNeverLeaves16Bits) {
  // A destroyed form's ids go to the next form made, and the same form gets the same ids back
  // however often it comes and goes.
  AllKinds f;
  create(f);
  const std::set<int> first = idsOf(host, f);
  EXPECT_EQ(first.size(), f.controls().size() - 1);  // all but the timer's, which names no window
  host.destroy(f);
  Small s("Keys");
  HWND hs = create(s);
  for (int id : idsOf(host, s)) EXPECT_TRUE(first.count(id)) << id;
  host.destroy(s);
  for (int i = 0; i < 50; ++i) {
    create(f);
    host.destroy(f);
  }
  create(f);
  EXPECT_EQ(idsOf(host, f), first);
  EXPECT_GE(*first.begin(), win32::GuiHost::kFirstId);
  host.destroy(f);

  // Two forms that together need more ids than 16 bits hold: the second stays headless until
  // the first gives its ids back.
  const int ids = win32::GuiHost::kLastId - win32::GuiHost::kFirstId + 1;
  Timers big(ids * 2 / 3), more(ids / 2);
  ASSERT_NE(create(big), nullptr);
  EXPECT_EQ(create(more), nullptr);
  EXPECT_EQ(hw(more), nullptr);
  EXPECT_EQ(more.timers[0].observer(), nullptr);
  EXPECT_EQ(formWindowsTitled("Timers"), 1);
  host.destroy(big);
  ASSERT_NE(create(more), nullptr);
  // Its last timer runs under an id that WM_TIMER carries.
  int ticks = 0;
  Timer& last = more.timers.back();
  last.onTick = [&] { ++ticks; };
  last.setEnabled(true);
  pumpFor(60);
  EXPECT_GT(ticks, 0);
  host.destroy(more);

  // Enter and Escape in a form make the dialog manager send IDOK and IDCANCEL: no control
  // has those ids, so neither presses anything.
  hs = create(s);
  s.setVisible(true);
  SetFocus(hw(s.chk));
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    MSG msg{hw(s.chk), WM_KEYDOWN, key, 0, 0, {}};
    IsDialogMessageA(hs, &msg);
  }
  EXPECT_EQ(s.clicks, 0);
  EXPECT_EQ(s.chk.value(), 0);
}

namespace {

// The pixels a control's text needs beside the parts the control draws itself, measured in
// the control's own font: a label wraps at its width, the others keep to one line.
SIZE textNeed(HWND h, Kind kind, const std::string& text) {
  HDC dc = GetDC(h);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(h, WM_GETFONT, 0, 0)));
  RECT client;
  GetClientRect(h, &client);
  RECT r{0, 0, kind == Kind::Label ? client.right : 0x7fff, 0};
  DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX | (kind == Kind::Label ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, old);
  ReleaseDC(h, dc);
  const int check = GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE) * 2;
  const int beside = kind == Kind::Button ? 4 * GetSystemMetrics(SM_CXEDGE)
                     : kind == Kind::CheckBox || kind == Kind::Option ? check
                     : kind == Kind::Frame ? 14 : 0;
  return SIZE{r.right + beside, r.bottom};
}

// The window's client area with its menu bar as the screen shows it, as a bitmap file: what
// the screenshots are made from (the frame is the test display's, not the program's).
void capture(HWND h, const std::string& path) {
  RECT r;
  GetClientRect(h, &r);
  MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&r), 2);
  MENUBARINFO bar{sizeof bar};
  if (GetMenu(h) && GetMenuBarInfo(h, OBJID_MENU, 0, &bar)) r.top = bar.rcBar.top;
  const int w = r.right - r.left, hgt = r.bottom - r.top;
  HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, hgt);
  HGDIOBJ old = SelectObject(dc, bmp);
  BitBlt(dc, 0, 0, w, hgt, screen, r.left, r.top, SRCCOPY);
  SelectObject(dc, old);
  BITMAPINFOHEADER info{sizeof info, w, hgt, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<char> pixels(size_t((w * 3 + 3) & ~3) * size_t(hgt));
  GetDIBits(screen, bmp, 0, UINT(hgt), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  BITMAPFILEHEADER file{0x4d42, DWORD(sizeof file + sizeof info + pixels.size()), 0, 0, sizeof file + sizeof info};
  if (FILE* f = fopen(path.c_str(), "wb")) {
    fwrite(&file, sizeof file, 1, f);
    fwrite(&info, sizeof info, 1, f);
    fwrite(pixels.data(), pixels.size(), 1, f);
    fclose(f);
  }
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

}  // namespace

// At the system's DPI (tools/gui-dpi.sh runs this at 96, 120 and 144 DPI, which it names in
// QUILLON_TEST_DPI), every form, page and settings tab keeps each control inside its page or
// window, and no caption is cut. With QUILLON_SCREENSHOTS naming a folder, each view is
// captured there as <view>-<dpi>.bmp.
struct GuiDpi : GuiFixture {};

TEST_F(GuiDpi, EveryWindowHoldsItsControlsAndTheirWholeCaptionsAtTheSystemDpi) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (const char* want = getenv("QUILLON_TEST_DPI")) ASSERT_EQ(dpi, atoi(want));
  const char* shots = getenv("QUILLON_SCREENSHOTS");
  showMain();  // its forms open through the same host
  ui::FrmMain& f = *m;
  ui::FrmSplash splash;
  auto open = [&](Form& form, const std::function<void()>& load) {
    load();
    host.create(form, nullptr, nullptr);
    form.setVisible(true);
  };
  const std::vector<std::pair<std::string, std::function<void()>>> views{
      {"main-status", [&] { f.cmdStatus_Click(); }},
      {"main-scan", [&] { f.cmdScan_Click(); }},
      {"main-results",
       [&] {
         f.cmdResults_Click();
         f.results.addThreat("Sample.Toolbar", 3, "C:\\Program Files\\Sample Toolbar Company\\Toolbar\\Components\\sampletoolbar.dll", "File");
         f.results.addThreat("Sample.Toolbar", 2, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Sample Toolbar Company\\Toolbar\\Settings", "Registry");
       }},
      {"main-settings-scan", [&] { f.cmdSettings_Click(), f.tabSettings.select(1); }},
      {"main-settings-schedule", [&] { f.tabSettings.select(2); }},
      {"main-settings-protection", [&] { f.tabSettings.select(3); }},
      {"main-settings-update", [&] { f.tabSettings.select(4); }},
      {"about", [&] { open(f.frmAbout, [&] { f.frmAbout.Form_Load(f.branding); }); }},
      {"help", [&] { open(f.frmHelp, [&] { f.frmHelp.Form_Load(f.branding.productName); }); }},
      {"quarantine", [&] { open(f.frmQuarantine, [&] { f.frmQuarantine.Form_Load(); }); }},
      {"report", [&] { open(f.frmReport, [&] { f.frmReport.load(f.platform.fs, f.platform.pump, f.appFolder, f.branding.productName); }); }},
      {"delete", [&] { open(f.frmDelete, [] {}); }},
      {"alert", [&] { open(f.frmSpywareFoundAlert, [] {}); }},
      {"home-page", [&] {
         open(f.frmHomePageChangedAlert, [&] {
           f.frmHomePageChangedAlert.lblHomePageInfo.setCaption(HomePageShield::changedMessage(
               f.branding.productName, "http://www.example.com/", "http://search.example.net/start.html"));
         });
       }},
      {"download",
       [&] {
         open(f.frmDownload, [&] { f.frmDownload.Form_Load(); });
         f.frmDownload.showProgress(6144, 16384);
         f.frmDownload.txtStatus.setText("Downloaded 6144 bytes.");
       }},
      {"updated", [&] { open(f.frmSignatureUpdated, [&] { f.frmSignatureUpdated.Form_Load(f.branding.productName); }); }},
      {"tray-menu", [&] { open(f.frmMenuPopUp, [&] { f.frmMenuPopUp.Form_Load(f.branding.productName, true, true); }); }},
      {"splash", [&] { open(splash, [&] { splash.Form_Load(f.branding.productName); }); }},
  };
  for (const auto& [view, show] : views) {
    show();
    Form* form = nullptr;
    for (Form* each : std::vector<Form*>{&f, &f.frmAbout, &f.frmHelp, &f.frmQuarantine, &f.frmReport, &f.frmDelete,
                                         &f.frmSpywareFoundAlert, &f.frmHomePageChangedAlert, &f.frmDownload,
                                         &f.frmSignatureUpdated, &f.frmMenuPopUp, &splash})
      if (each->visible() && (!form || form == &f)) form = each;
    ASSERT_NE(form, nullptr) << view;
    HWND window = hw(*form);
    if (form != &f) {
      // A still picture where the screen shows it: the notices' slides stopped.
      for (Control* c : form->controls())
        if (c->kind() == Kind::Timer) c->setEnabled(false);
      form->moveTo(40, 40);
    }
    pumpFor(150);
    RECT area;
    GetClientRect(window, &area);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&area), 2);
    for (Control* c : form->controls()) {
      HWND h = hw(*c);
      if (!h || h == window || !IsWindowVisible(h)) continue;
      RECT in = area, r, client;
      if (c->container) GetWindowRect(hw(*c->container), &in);
      GetWindowRect(h, &r);
      EXPECT_TRUE(r.left >= in.left && r.top >= in.top && r.right <= in.right && r.bottom <= in.bottom)
          << view << ": " << c->name() << " at " << dpi << " DPI";
      const Kind k = c->kind();
      if (k != Kind::Label && k != Kind::Button && k != Kind::CheckBox && k != Kind::Option && k != Kind::Frame) continue;
      GetClientRect(h, &client);
      const SIZE need = textNeed(h, k, windowText(h));
      EXPECT_TRUE(need.cx <= client.right && need.cy <= client.bottom)
          << view << ": " << c->name() << " \"" << windowText(h) << "\" needs " << need.cx << "x" << need.cy << ", has "
          << client.right << "x" << client.bottom << " at " << dpi << " DPI";
    }
    if (shots && *shots) capture(window, std::string(shots) + "\\" + view + "-" + std::to_string(dpi) + ".bmp");
    if (form != &f) host.destroy(*form);
  }
}
