// The controls bound to real windows: what the model says reaches the window, and what the
// user does to a window reaches the model and its handlers. Needs a display (Xvfb).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <tuple>

#include "platform/win32/gui_host.h"
#include "system/http_fetch.h"
#include "tests/support/gui.h"
#include "tests/local_server.h"

using namespace quillon;
using namespace quillon::test;

namespace {
struct Gui : GuiFixture {
  void SetUp() override {
    show(app.main());
    host.create(m->frmReport, main, nullptr);
  }
  void pump() { win32::Win32Pump(0).yield(); }
};
}  // namespace

TEST_F(Gui, ButtonsAndCheckBoxesDriveTheModel) {
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(IsWindowVisible(main));
  char caption[256];
  GetWindowTextA(main, caption, sizeof caption);
  EXPECT_EQ(std::string(caption), app.product + " by Test Company");
  EXPECT_TRUE(IsWindowVisible(hw(m->pageStatus.frmStatus)));

  SendMessageA(hw(m->cmdSettings), BM_CLICK, 0, 0);
  EXPECT_TRUE(m->frmOptions.visible());
  EXPECT_TRUE(IsWindowVisible(hw(m->frmOptions)));
  EXPECT_FALSE(IsWindowVisible(hw(m->pageStatus.frmStatus)));

  EXPECT_EQ(SendMessageA(hw(m->tabScanOptions.chkMakeLog), BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(hw(m->tabScanOptions.chkMakeLog), BM_CLICK, 0, 0);
  EXPECT_EQ(m->tabScanOptions.chkMakeLog.value(), 0);
  EXPECT_EQ(SendMessageA(hw(m->tabScanOptions.chkMakeLog), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(m->settings.read("OptionAndSettings", "chkMakeLog", ""), "0");

  SendMessageA(hw(m->tabScanOptions.optCompleteScan), BM_CLICK, 0, 0);
  EXPECT_TRUE(m->tabScanOptions.optCompleteScan.value());
  EXPECT_EQ(SendMessageA(hw(m->tabScanOptions.optQuickScan), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  m->pageScan.lblStatus.setCaption("Scanning complete.");
  EXPECT_EQ(text(m->pageScan.lblStatus), "Scanning complete.");
  m->cmdUpdate.setEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(hw(m->cmdUpdate)));
}

TEST_F(Gui, ScanThroughTheWindowsAndStopFromAButtonMessage) {
  app.writeEmptyDefinitions();
  app.writeText("found.dll", "x");
  std::vector<std::string> lines{"found.dll=Found.Threat|" + app.folder + "|Adware"};
  for (int i = 0; i < 50; ++i) lines.push_back("m" + std::to_string(i) + ".dll=T|" + app.folder);
  app.writeDefinitions("FileDefinition.dat", lines);
  bool posted = false;
  app.pump.onYield = [&](int) {
    if (!posted && m->counters.filesInspected == 10) {
      posted = true;
      PostMessageA(hw(m->pageScan.cmdStop), BM_CLICK, 0, 0);
    }
    pump();
  };
  SendMessageA(hw(m->cmdScan), BM_CLICK, 0, 0);
  SendMessageA(hw(m->pageScan.cmdScanNow), BM_CLICK, 0, 0);
  EXPECT_TRUE(m->pageScan.scanCancelled);
  EXPECT_EQ(app.dialogs.shown.back().text, "Are you sure you want to stop the scan?");
  EXPECT_EQ(text(m->pageScan.lblStatus), "Scanning was cancelled.");
  EXPECT_TRUE(IsWindowEnabled(hw(m->pageScan.cmdScanNow)));
  EXPECT_FALSE(IsWindowEnabled(hw(m->pageScan.cmdStop)));

  app.pump.onYield = nullptr;
  m->pageScan.cmdScanNow_Click();
  HWND list = hw(m->pageResults.lvwResults);
  ASSERT_EQ(ListView_GetItemCount(list), 1);
  char cell[256];
  ListView_GetItemText(list, 0, 1, cell, sizeof cell);
  EXPECT_EQ(std::string(cell), app.path("found.dll"));
  // Checking the row's box in the window checks the model row and its work rows.
  ListView_SetCheckState(list, 0, TRUE);
  EXPECT_TRUE(m->pageResults.lvwResults.item(0).checked);
  EXPECT_TRUE(m->lvwFilesToBeDeleted.item(0).checked);

  // Untouched columns share the list's width by what they hold: every cell reads whole and
  // nothing runs past the list's edge.
  RECT client;
  GetClientRect(list, &client);
  int total = 0;
  for (int col = 0; col < 3; ++col) {
    ListView_GetItemText(list, 0, col, cell, sizeof cell);
    EXPECT_GE(ListView_GetColumnWidth(list, col), ListView_GetStringWidth(list, cell) + (col ? 12 : 40)) << col;
    total += ListView_GetColumnWidth(list, col);
  }
  EXPECT_LE(total, client.right);
  EXPECT_GT(total, client.right * 9 / 10);

  // Column widths the user dragged are kept as rows come, and are what the unload saves; the
  // others keep what they showed.
  ListView_SetColumnWidth(list, 1, 300);
  m->results.addThreat(std::string(200, 'n'), 0, std::string(300, 'p'), "File");
  EXPECT_EQ(ListView_GetColumnWidth(list, 1), 300);
  m->beforeUnload = [&] { host.readBack(*m); };
  m->Form_Unload();
  EXPECT_EQ(m->settings.read("Settings", "FoundCol22", ""), "4500");
  EXPECT_FALSE(m->settings.read("Settings", "FoundCol23", "").empty());
}

// Every list reads whole: a location too long for its column is cut in the middle and keeps its
// file name, the tip over it gives the whole text, the last column reaches the list's edge (no
// blank header after it), and a width set through the header survives a refill and a resize.
TEST_F(Gui, ListsCutLongLocationsInTheMiddleTipThemWholeAndKeepTheUsersWidths) {
  const std::string path = "C:\\Documents and Settings\\Someone\\Application Data\\Vendor\\Deep\\Folder\\bar.dll";
  auto& lv = m->pageResults.lvwResults;
  m->cmdResults_Click();
  HWND list = hw(lv);
  ListView_SetColumnWidth(list, 1, 140);  // as a drag of the divider would
  auto widthsFill = [&](HWND h) {
    RECT client;
    GetClientRect(h, &client);
    int total = 0;
    for (int col = 0; col < Header_GetItemCount(ListView_GetHeader(h)); ++col) total += ListView_GetColumnWidth(h, col);
    return client.right == 0 || total == client.right;
  };
  auto tipOver = [&](int col) {
    RECT cell;
    ListView_GetSubItemRect(list, 0, col, LVIR_BOUNDS, &cell);
    SendMessageA(list, WM_MOUSEMOVE, 0, MAKELPARAM(cell.left + (col ? 4 : cell.right / 2), cell.top + 3));
    char buf[512] = {0};
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V2_SIZE;
    ti.hwnd = list;
    ti.uId = 1;
    ti.lpszText = buf;
    SendMessageA(static_cast<HWND>(GetPropA(list, "QuillonTip")), TTM_GETTEXTA, sizeof buf, reinterpret_cast<LPARAM>(&ti));
    return std::string(buf);
  };
  for (int round = 0; round < 2; ++round) {  // then refilled, in a wider window
    if (round == 1) {
      m->results.clear();
      RECT r;
      GetWindowRect(main, &r);
      SetWindowPos(main, nullptr, 0, 0, r.right - r.left + 200, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    }
    m->results.addThreat("Found.Threat", 3, path, "File");
    SCOPED_TRACE(round);
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), 140);
    ASSERT_EQ(ListView_GetItemCount(list), 1);
    char cell[512];
    ListView_GetItemText(list, 0, 1, cell, sizeof cell);
    const std::string shown = cell;
    EXPECT_EQ(shown.substr(0, 3), "C:\\");
    EXPECT_NE(shown.find("..."), std::string::npos);
    EXPECT_EQ(shown.substr(std::max<size_t>(shown.size(), 8) - 8), "\\bar.dll");
    EXPECT_LE(ListView_GetStringWidth(list, cell) + 16, 140);
    EXPECT_EQ(tipOver(1), path);
    EXPECT_EQ(tipOver(2), "");  // read whole: no tip
    EXPECT_EQ(lv.item(0).subItem(1), path);
    for (controls::ListView* l : {&lv, &m->pageScan.lvwSpywareFound, &m->tabScanOptions.lvwDrives})
      EXPECT_TRUE(widthsFill(hw(*l))) << l->name();
  }
}

// The download window while a download of a known size comes: its bar moves on to the end, the
// status text stays as the fetch words it, and its picture moves.
TEST_F(Gui, TheDownloadWindowShowsTheBarAndAMovingPicture) {
  LocalServer server([](SOCKET c, LocalServer& s) {
    LocalServer::sendAll(c, "HTTP/1.1 200 OK\r\nContent-Length: 16384\r\n\r\n");
    for (int i = 0; i < 8 && !s.stopping(70); ++i) LocalServer::sendAll(c, std::string(2048, 'x'));
  });
  ui::FrmDownload& w = m->frmDownload;
  host.create(w, main, nullptr);
  w.Form_Load();
  w.setVisible(true);
  HWND bar = hw(w.pgbDownload), picture = hw(w.picDownload);
  EXPECT_FALSE(IsWindowVisible(bar));  // nothing known yet
  auto snapshot = [&] {
    HDC screen = GetDC(picture);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 44, 58);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageA(picture, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    SelectObject(dc, old);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, 44, 58, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> pixels(44 * 58);
    GetDIBits(dc, bitmap, 0, 58, pixels.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(picture, screen);
    return pixels;
  };
  std::vector<int> positions;
  std::vector<std::vector<DWORD>> pictures;
  app.pump.onYield = [&](int) { pump(); };
  const FetchResult got = fetchWithProgress(
      app.platform.http, app.platform.pump, server.url("/update.txt"),
      [&](const std::string& s) { w.txtStatus.setText(s); },
      [&](size_t received, size_t expected) {
        w.showProgress(received, expected);
        positions.push_back(int(SendMessageA(bar, PBM_GETPOS, 0, 0)));
        EXPECT_TRUE(IsWindowVisible(bar));
        EXPECT_EQ(text(w.txtStatus), "Downloaded " + std::to_string(received) + " bytes.");
        if (pictures.empty() || pictures.back() != snapshot()) pictures.push_back(snapshot());
      });
  app.pump.onYield = nullptr;
  ASSERT_TRUE(got.ok());
  ASSERT_GE(positions.size(), 4u);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_LT(positions.front(), 1000);
  EXPECT_EQ(positions.back(), 1000);
  EXPECT_GE(pictures.size(), 3u);  // frames that differ, one after another
  w.Form_Unload();
}

// The scan page as the run leaves it: the way on to the results only after a scan, the drive
// choice only for a complete scan, and one wording of what was found on both pages.
TEST_F(Gui, TheScanPageShowsWhatTheRunLeftInTheWordsOfTheResultsPage) {
  app.writeEmptyDefinitions();
  app.writeText("found.dll", "x");
  app.writeDefinitions("FileDefinition.dat", {"found.dll=Found.Threat|" + app.folder + "|Adware"});
  const std::string bad = folderWithSampleWaiter(app, "bad");
  RunningProgram waiter(bad + "\\" + kSampleWaiter);
  app.writeDefinitions("ExeDefinition.dat", {std::string(kSampleWaiter) + "=Sample|" + bad});
  // Its own style: the settings tab and the scan page are not always the page on show.
  auto shown = [&](controls::Control& c) { return (GetWindowLongA(hw(c), GWL_STYLE) & WS_VISIBLE) != 0; };
  bool continueDuringRun = false;
  app.pump.onYield = [&](int) { continueDuringRun = continueDuringRun || shown(m->pageScan.cmdContinue); };
  auto scan = [&] { SendMessageA(hw(m->pageScan.cmdScanNow), BM_CLICK, 0, 0); };
  struct Step {
    const char* state;
    std::function<void()> act;
    bool continueShown, drivesShown;
    const char* found;
  };
  const Step steps[] = {
      {"before any scan", [&] { SendMessageA(hw(m->cmdScan), BM_CLICK, 0, 0); }, false, false, "0"},
      {"after a quick scan", scan, true, false, "1 to remove, 1 program stopped"},
      {"complete scan chosen", [&] { SendMessageA(hw(m->tabScanOptions.optCompleteScan), BM_CLICK, 0, 0); }, true, true,
       "1 to remove, 1 program stopped"},
      {"quick scan chosen again", [&] { SendMessageA(hw(m->tabScanOptions.optQuickScan), BM_CLICK, 0, 0); }, true,
       false, "1 to remove, 1 program stopped"},
      {"after the next scan, the program gone", scan, true, false, "1 to remove"},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(shown(m->pageScan.cmdContinue), s.continueShown) << s.state;
    EXPECT_EQ(shown(m->tabScanOptions.fraDrives), s.drivesShown) << s.state;
    EXPECT_EQ(shown(m->tabScanOptions.lvwDrives), s.drivesShown) << s.state;
    EXPECT_EQ(text(m->pageScan.lblSoftwareFound), s.found) << s.state;
    EXPECT_EQ(text(m->pageResults.lblRemovalCount), s.found) << s.state;
  }
  EXPECT_FALSE(continueDuringRun);
  EXPECT_FALSE(waiter.running());
}

// Windows open in the middle of the free screen area, and the main window where the user left
// it while that is still on the screen.
TEST_F(Gui, WindowsOpenCentredAndTheMainWindowWhereTheUserLeftIt) {
  host.create(m->frmDelete, main, nullptr);
  const auto a = host.workArea();
  for (controls::Form* f : {static_cast<controls::Form*>(m), static_cast<controls::Form*>(&m->frmReport),
                            static_cast<controls::Form*>(&m->frmDelete)}) {
    RECT r;
    GetWindowRect(static_cast<HWND>(host.windowOf(*f)), &r);
    EXPECT_LE(std::abs(int(r.left + r.right) - (a.left + a.right)), 1) << f->caption();
    EXPECT_LE(std::abs(int(r.top + r.bottom) - (a.top + a.bottom)), 1) << f->caption();
  }

  SetWindowPos(main, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  m->beforeUnload = [&] { host.readBack(*m); };
  m->Form_Unload();
  EXPECT_EQ(m->settings.read("Settings", "Left", ""), "40");
  EXPECT_EQ(m->settings.read("Settings", "Top", ""), "30");
  for (auto [left, top, kept] : {std::tuple{"40", "30", true}, {"5000", "30", false}, {"-900", "30", false},
                                 {"40", "x", false}}) {
    m->left = m->top = -1;
    m->settings.write("Settings", "Left", left);
    m->settings.write("Settings", "Top", top);
    m->LoadSettings();
    EXPECT_EQ(m->left, kept ? 40 : -1) << left << "," << top;
  }
  m->setWindowState(controls::Form::State::Normal);
  m->moveTo(40, 30);
  m->setVisible(true);
  RECT r;
  GetWindowRect(main, &r);
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.top, 30);
}

// Maximised, the window keeps its caption buttons and taskbar button, and the pages take the
// whole window: the lists grow, and no control leaves its page. Restored, it is as designed.
TEST_F(Gui, TheMaximisedWindowKeepsItsFrameAndThePagesGrowWithIt) {
  auto rectOf = [&](controls::Control& c) {
    RECT r;
    GetWindowRect(hw(c), &r);
    return r;
  };
  controls::ListView* lists[] = {&m->pageScan.lvwSpywareFound, &m->pageResults.lvwResults, &m->tabScanOptions.lvwDrives};
  std::vector<RECT> designed;
  for (auto* l : lists) designed.push_back(rectOf(*l));
  pumpFor(300);  // the window as first shown settles before the user reaches its buttons
  for (int show : {SC_MAXIMIZE, SC_RESTORE}) {
    SendMessageA(main, WM_SYSCOMMAND, show, 0);  // the caption's buttons
    pumpFor(300);
    const bool maximised = show == SC_MAXIMIZE;
    EXPECT_EQ(m->windowState(), maximised ? controls::Form::State::Maximized : controls::Form::State::Normal);
    const LONG_PTR style = GetWindowLongPtrA(main, GWL_STYLE), ex = GetWindowLongPtrA(main, GWL_EXSTYLE);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_SYSMENU), WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_SYSMENU);
    EXPECT_FALSE(ex & WS_EX_TOOLWINDOW);
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, maximised ? m->width : 800);
    EXPECT_EQ(client.bottom, maximised ? m->height : 560);
    for (size_t i = 0; i < std::size(lists); ++i) {
      const RECT r = rectOf(*lists[i]);
      const LONG grewW = (r.right - r.left) - (designed[i].right - designed[i].left);
      const LONG grewH = (r.bottom - r.top) - (designed[i].bottom - designed[i].top);
      EXPECT_EQ(grewW, maximised ? m->width - 800 : 0) << lists[i]->name();
      if (i < 2) EXPECT_EQ(grewH, maximised ? m->height - 560 : 0) << lists[i]->name();
    }
    RECT window = client;
    MapWindowPoints(main, nullptr, reinterpret_cast<POINT*>(&window), 2);
    for (controls::Control* c : m->controls()) {
      if (hw(*c) == main) continue;  // timers and menu items have no window of their own
      const RECT in = c->container ? rectOf(*c->container) : window, r = rectOf(*c);
      EXPECT_TRUE(r.left >= in.left && r.top >= in.top && r.right <= in.right && r.bottom <= in.bottom)
          << c->name() << (maximised ? " maximised" : " restored");
    }
  }
}

TEST_F(Gui, SendToTrayAndBackThroughTheIconsMessages) {
  SendMessageA(hw(m->cmdSendToTray), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(m->tray.bRunningInTray);
  EXPECT_EQ(m->settings.read("Settings", "Minimized", ""), "Yes");
  // The icon's mouse messages arrive at the window; a move over the icon does nothing.
  SendMessageA(main, WM_APP + 1, 1, 512);
  EXPECT_FALSE(IsWindowVisible(main));
  SendMessageA(main, WM_APP + 1, 1, 515);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(IsIconic(main));
  EXPECT_EQ(m->settings.read("Settings", "Minimized", ""), "No");
  m->Form_QueryUnload();
  EXPECT_FALSE(m->tray.bRunningInTray);
}

namespace {
// A main window bound to real windows whose close runs the program's exit path, as the
// desktop program wires it.
struct GuiExit : GuiFixture {
  bool exited = false;
  void SetUp() override {
    app.writeEmptyDefinitions();
    app.main().onExit = [this] { exited = true; };
    show(app.main(), [this] {
      m->Form_QueryUnload();
      m->Form_Unload();
    });
  }
  std::string setting(const char* section, const char* key) { return m->settings.read(section, key, ""); }
};
}  // namespace

TEST_F(GuiExit, ClosingTheWindowDuringAScanEndsTheRun) {
  std::vector<std::string> lines;
  for (int i = 0; i < 400; ++i) lines.push_back("m" + std::to_string(i) + ".dll=T|" + app.folder);
  app.writeDefinitions("FileDefinition.dat", lines);
  app.pump.onYield = [&](int n) {
    if (n == 30) PostMessageA(main, WM_CLOSE, 0, 0);
    win32::Win32Pump(0).yield();
  };
  m->pageScan.cmdScanNow_Click();
  EXPECT_TRUE(exited);
  EXPECT_LT(m->counters.filesInspected, 100);
  EXPECT_EQ(setting("OptionAndSettings", "STATUS"), "STOPPED");
}

TEST_F(GuiExit, LogoffAndShutdownRunTheExitPath) {
  EXPECT_EQ(setting("OptionAndSettings", "STATUS"), "RUNNING");
  EXPECT_EQ(SendMessageA(main, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_FALSE(exited);  // only asked: the session may still go on
  SendMessageA(main, WM_ENDSESSION, FALSE, 0);
  EXPECT_FALSE(exited);
  SendMessageA(main, WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(exited);
  EXPECT_EQ(setting("OptionAndSettings", "STATUS"), "STOPPED");
  EXPECT_EQ(setting("OptionAndSettings", "RESTART"), "False");
  EXPECT_EQ(setting("Settings", "Max"), "0");
  EXPECT_EQ(setting("Settings", "FoundCol21"), "1400");
}

// Delete through the windows: the question, the removal, and the "Delete Failed" window with the
// one file that was held open. Then the submission box takes typing and Enter.
TEST_F(Gui, DeleteShowsWhatCouldNotBeRemovedAndTheSubmitBoxTakesEnter) {
  host.create(m->frmDelete, main, nullptr);
  app.writeEmptyDefinitions();
  const std::string planted = makeFolder(app.path("planted"));
  app.writeText("planted\\held.dll", "x");
  app.writeText("planted\\free.dll", "y");
  app.writeDefinitions("FileDefinition.dat",
                       {"held.dll=Held.Threat|" + planted + "|Adware", "free.dll=Free.Threat|" + planted + "|Adware"});
  m->pageScan.cmdScanNow_Click();
  SendMessageA(hw(m->cmdResults), BM_CLICK, 0, 0);
  SendMessageA(hw(m->pageResults.cmdSelectAll), BM_CLICK, 0, 0);
  HANDLE held = CreateFileA((planted + "\\held.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  app.dialogs.shown.clear();
  SendMessageA(hw(m->pageResults.cmdDelete), BM_CLICK, 0, 0);
  CloseHandle(held);
  ASSERT_FALSE(app.dialogs.shown.empty());
  EXPECT_EQ(app.dialogs.shown[0].title, "Really Delete?");
  EXPECT_EQ(GetFileAttributesA((planted + "\\free.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  HWND failed = static_cast<HWND>(host.windowOf(m->frmDelete));
  ASSERT_NE(failed, nullptr);
  EXPECT_TRUE(IsWindowVisible(failed));
  HWND problems = hw(m->frmDelete.lstProblem);
  ASSERT_EQ(ListView_GetItemCount(problems), 1);
  char cell[512];
  ListView_GetItemText(problems, 0, 0, cell, sizeof cell);
  EXPECT_EQ(std::string(cell), planted + "\\held.dll");
  HWND removal = hw(m->pageResults.lvwResults);
  EXPECT_EQ(ListView_GetItemCount(removal), 1);  // the threat that is still there stays listed
  for (int i = 0; i < 5; ++i) pump();
  // Someone taking pictures of the windows gets time to, with the windows painted.
  auto linger = [&] {
    if (!std::getenv("QUILLON_SCREENSHOT_DIR")) return;
    for (int i = 0; i < 40; ++i, Sleep(50)) pump();
  };
  linger();
  SendMessageA(hw(m->frmDelete.cmdOk), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowVisible(failed));

  // Typing into the submission box reaches the model; Enter submits (to a server that is not there).
  m->settings.write(keys::DataServer, "http://127.0.0.1:1");
  SendMessageA(hw(m->cmdStatus), BM_CLICK, 0, 0);
  HWND box = hw(m->pageStatus.txtFilename);
  for (char c : std::string("bad.exe")) SendMessageA(box, WM_CHAR, WPARAM(c), 0);
  EXPECT_EQ(m->pageStatus.txtFilename.text(), "bad.exe");
  SendMessageA(box, WM_CHAR, VK_RETURN, 0);
  m->settings.write(keys::DataServer, "");
  char label[512];
  GetWindowTextA(hw(m->pageStatus.lblSubmitResult), label, sizeof label);
  EXPECT_EQ(std::string(label).rfind("Results: There was a problem submitting bad.exe.", 0), 0u) << label;
  GetWindowTextA(box, label, sizeof label);
  EXPECT_EQ(std::string(label), "");
  linger();
}

// The quarantine window over three items a removal stored: the checked ones restored (one
// whose place is taken again is refused, and what is there stays), then one deleted for good
// after the question; the list and the total follow, and nothing else starts while it is open.
TEST_F(Gui, TheQuarantineWindowRestoresAndDeletesTheCheckedItems) {
  app.writeEmptyDefinitions();
  const std::string planted = makeFolder(app.path("planted"));
  const std::pair<const char*, size_t> files[] = {{"a.dll", 100}, {"b.dll", 20}, {"c.dll", 3}};
  std::vector<std::string> lines;
  for (auto [name, size] : files) {
    app.writeText(std::string("planted\\") + name, std::string(size, name[0]));
    lines.push_back(std::string(name) + "=Threat." + name + "|" + planted + "|Adware");
  }
  app.writeDefinitions("FileDefinition.dat", lines);
  m->pageScan.cmdScanNow_Click();
  m->pageResults.cmdSelectAll_Click();
  m->pageResults.cmdDelete_Click();
  ASSERT_EQ(GetFileAttributesA((planted + "\\a.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  app.writeText("planted\\b.dll", "back again");  // b's place is taken again

  host.create(m->frmQuarantine, main, nullptr);
  bool ran = false;
  ui::FrmQuarantine& q = m->frmQuarantine;
  auto check = [&] {
    HWND list = hw(q.lvwItems);
    EXPECT_EQ(m->session.running(), Operation::Quarantine);
    EXPECT_FALSE(IsWindowEnabled(hw(m->pageScan.cmdScanNow)));
    auto rowOf = [&](const char* name) {
      char cell[512];
      for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        ListView_GetItemText(list, i, 2, cell, sizeof cell);
        if (planted + "\\" + name == cell) return i;
      }
      return -1;
    };
    ASSERT_EQ(ListView_GetItemCount(list), 3);
    EXPECT_EQ(text(q.lblTotal), "3 items, 123 bytes in all");
    ListView_SetCheckState(list, rowOf("a.dll"), TRUE);
    ListView_SetCheckState(list, rowOf("b.dll"), TRUE);
    SendMessageA(hw(q.cmdRestore), BM_CLICK, 0, 0);
    EXPECT_EQ(app.dialogs.shown.back().text,
              "Restored " + planted + "\\a.dll.\r\n" + planted + "\\b.dll exists again; it was not replaced.");
    EXPECT_EQ(app.readText("planted\\a.dll"), std::string(100, 'a'));
    EXPECT_EQ(app.readText("planted\\b.dll"), "back again");
    // The list is read afresh, unchecked; what is back is no longer held.
    ASSERT_EQ(ListView_GetItemCount(list), 2);
    EXPECT_EQ(rowOf("a.dll"), -1);
    EXPECT_FALSE(ListView_GetCheckState(list, rowOf("b.dll")));

    const size_t boxes = app.dialogs.shown.size();
    ListView_SetCheckState(list, rowOf("c.dll"), TRUE);
    SendMessageA(hw(q.cmdDelete), BM_CLICK, 0, 0);  // the question is answered Yes
    ASSERT_EQ(app.dialogs.shown.size(), boxes + 2);
    EXPECT_EQ(app.dialogs.shown[boxes].flags & 0xF, unsigned(kMbYesNo));
    EXPECT_EQ(app.dialogs.shown.back().text, "Deleted " + planted + "\\c.dll.");
    EXPECT_EQ(app.readText("quarantine\\QuarantineIndex.txt").find("c.dll"), std::string::npos);
    for (const FolderEntry& f : app.fs.listFolder(app.path("quarantine")))
      EXPECT_EQ(f.name.find("c.dll"), std::string::npos) << f.name;
    ASSERT_EQ(ListView_GetItemCount(list), 1);
    EXPECT_EQ(rowOf("c.dll"), -1);
    EXPECT_EQ(text(q.lblTotal), "1 item, 20 bytes in all");
    if (std::getenv("QUILLON_SCREENSHOT_DIR"))  // time for a picture of the window
      for (int i = 0; i < 40; ++i, Sleep(50)) pump();
  };
  app.host.onModal = [&](controls::Form& f) {
    ran = &f == &q;
    check();
    SendMessageA(hw(q.cmdClose), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowVisible(hw(q)));
  };
  HMENU quarantine = GetSubMenu(GetMenu(main), 2);
  SendMessageA(main, WM_COMMAND, MAKEWPARAM(GetMenuItemID(quarantine, 2), 0), 0);
  app.host.onModal = nullptr;
  EXPECT_TRUE(ran);
  EXPECT_EQ(m->session.running(), Operation::None);
  EXPECT_TRUE(IsWindowEnabled(hw(m->pageScan.cmdScanNow)));
}

namespace {
// The first visible top-level window of process `pid` whose caption holds `part`.
HWND windowOf(uint32_t pid, const std::string& part, int waitMs) {
  struct Look {
    uint32_t pid;
    std::string part;
    HWND found = nullptr;
  } look{pid, part};
  for (ULONGLONG until = GetTickCount64() + waitMs; !look.found && GetTickCount64() < until; Sleep(50))
    EnumWindows(
        [](HWND h, LPARAM lp) {
          Look& l = *reinterpret_cast<Look*>(lp);
          DWORD owner = 0;
          GetWindowThreadProcessId(h, &owner);
          char caption[256] = {0};
          GetWindowTextA(h, caption, sizeof caption);
          if (owner != l.pid || std::string(caption).find(l.part) == std::string::npos) return TRUE;
          l.found = h;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&look));
  return look.found;
}
}  // namespace

// The desktop program itself, exited while its first Live Update waits on a server that answers
// only after 30 seconds: the process is gone within 2 seconds, on its own, and the next start
// takes the single-instance lock and runs.
TEST(DesktopProgram, ExitDuringALiveUpdateEndsTheProcessAndTheNextStartRuns) {
  LocalServer slow([](SOCKET c, LocalServer& s) {
    if (!s.stopping(30000)) LocalServer::sendAll(c, "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n1/1/2030 12:00:00 AM");
  });
  App app;
  app.writeEmptyDefinitions();
  const std::string exe = app.path("quillon.exe");
  ASSERT_TRUE(CopyFileA((binFolder() + "\\quillon.exe").c_str(), exe.c_str(), FALSE));
  const std::string machine = "SOFTWARE\\Quillon Developers\\Quillon\\Settings";
  std::string base = slow.url();
  base.pop_back();
  app.registry.deleteTree(kHkeyCurrentUser, "Software\\Quillon");
  app.registry.deleteValue(kHkeyLocalMachine, machine, "FirstTime");  // a first start: it offers a Live Update
  app.registry.setValue(kHkeyLocalMachine, machine, "DefinitionServer", RegValue{kRegSz, base + '\0'});
  const std::string before = app.readText(kFileDefs);
  {
    RunningProgram first(exe);
    HWND offer = windowOf(first.id(), "Live Update Now?", 30000);
    ASSERT_NE(offer, nullptr);
    PostMessageA(offer, WM_COMMAND, IDYES, 0);
    for (int i = 0; i < 200 && slow.connections() == 0; ++i) Sleep(50);
    ASSERT_EQ(slow.connections(), 1);
    HWND main = windowOf(first.id(), " by ", 5000);
    ASSERT_NE(main, nullptr);
    const ULONGLONG start = GetTickCount64();
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.waitForEnd(2000));
    EXPECT_LT(GetTickCount64() - start, 2000u);
    EXPECT_EQ(first.exitCode(), 0);
  }
  {
    RunningProgram second(exe);
    HWND main = windowOf(second.id(), " by ", 30000);
    EXPECT_NE(main, nullptr);  // not turned away by a lock the first one kept
    if (main) PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(second.waitForEnd(5000));
  }
  EXPECT_EQ(slow.connections(), 1);  // nothing was fetched after Exit, nor by the second start
  EXPECT_EQ(app.readText(kFileDefs), before);
  app.registry.deleteValue(kHkeyLocalMachine, machine, "DefinitionServer");
  app.registry.deleteValue(kHkeyLocalMachine, machine, "FirstTime");
  app.registry.deleteTree(kHkeyCurrentUser, "Software\\Quillon");
}
