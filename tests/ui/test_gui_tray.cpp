// The tray popup, the menu bar and the list icons in real windows. Needs a display (Xvfb).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>

#include "tests/support/gui.h"

using namespace quillon;
using namespace quillon::test;

namespace {
// A main window whose forms that come and go (popup, Help, About) get real windows too.
struct GuiTray : GuiFixture {
  void SetUp() override { showMain(); }
  RECT rectOf(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r;
  }
  void clickLabel(controls::Control& c) {
    HWND h = hw(c);
    SendMessageA(GetParent(h), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), STN_CLICKED), reinterpret_cast<LPARAM>(h));
  }
};
}  // namespace

TEST_F(GuiTray, ThePopupSlidesUpAboveTheTaskbarWithoutTakingTheFocusAndSlidesAway) {
  SendMessageA(hw(m->cmdSendToTray), BM_CLICK, 0, 0);
  ASSERT_FALSE(IsWindowVisible(main));
  SendMessageA(main, WM_APP + 1, 1, WM_LBUTTONDOWN);
  ui::FrmMenuPopUp& p = m->frmMenuPopUp;
  HWND popup = hw(p);
  ASSERT_NE(popup, nullptr);
  EXPECT_TRUE(IsWindowVisible(popup));
  const LONG_PTR ex = GetWindowLongPtrA(popup, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);
  EXPECT_TRUE(ex & WS_EX_NOACTIVATE);
  EXPECT_NE(GetWindowLongPtrA(popup, GWL_STYLE) & WS_CAPTION, WS_CAPTION);  // a border, no caption
  EXPECT_NE(GetForegroundWindow(), popup);
  // No taskbar button: owned by a window that is never shown, and no application window. The
  // update notice is made the same way.
  host.open(m->frmSignatureUpdated, nullptr);
  for (HWND h : {popup, hw(m->frmSignatureUpdated)}) {
    HWND owner = GetWindow(h, GW_OWNER);
    EXPECT_NE(owner, nullptr);
    EXPECT_FALSE(IsWindowVisible(owner));
    EXPECT_NE(owner, main);
    EXPECT_FALSE(GetWindowLongPtrA(h, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  }
  host.destroy(m->frmSignatureUpdated);

  const auto area = host.workArea();
  const RECT start = rectOf(popup);
  EXPECT_EQ(start.right, area.right);
  EXPECT_EQ(start.top, area.bottom);
  // The timers run by themselves: up it goes, and it stands on the bottom of the free area.
  ASSERT_TRUE(pumpUntil([&] { return p.TmrEnablePopDown.enabled(); }, 5000));
  const RECT up = rectOf(popup);
  EXPECT_EQ(up.bottom, area.bottom);
  EXPECT_EQ(up.right, area.right);
  EXPECT_EQ(text(hw(p.lblName)), app.product);

  // A mouse move over any of its controls counts as one over the popup.
  p.motion.idleSeconds = 4;
  SendMessageA(hw(p.mnuClose), WM_SETCURSOR, WPARAM(hw(p.mnuClose)), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(p.motion.idleSeconds, 0);

  clickLabel(p.lblMenuClose);
  EXPECT_TRUE(p.tmrPopDown.enabled());
  ASSERT_TRUE(pumpUntil([&] { return !p.loaded(); }, 5000));
  EXPECT_EQ(hw(p), nullptr);
  EXPECT_FALSE(IsWindow(popup));
  EXPECT_TRUE(m->tray.bRunningInTray);

  // "Show Program" from a fresh popup brings the window back.
  SendMessageA(main, WM_APP + 1, 1, WM_RBUTTONDOWN);
  ASSERT_NE(hw(p), nullptr);
  clickLabel(p.mnuShowProgram);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(IsIconic(main));
  ASSERT_TRUE(pumpUntil([&] { return !p.loaded(); }, 5000));
}

// What the icon sends for a double-click (press, release, double-click, release) brings the
// window back and leaves no popup; a single click still opens it.
TEST_F(GuiTray, ADoubleClickOnTheIconShowsTheWindowAndNoPopup) {
  for (int button : {WM_LBUTTONDOWN, WM_RBUTTONDOWN}) {
    SendMessageA(hw(m->cmdSendToTray), BM_CLICK, 0, 0);
    ASSERT_FALSE(IsWindowVisible(main));
    SendMessageA(main, WM_APP + 1, 1, button);
    EXPECT_TRUE(m->frmMenuPopUp.loaded()) << button;
    m->frmMenuPopUp.Form_Unload();
    for (int message : {button, button + 1, button + 2, button + 1}) SendMessageA(main, WM_APP + 1, 1, message);
    EXPECT_TRUE(IsWindowVisible(main)) << button;
    EXPECT_FALSE(IsIconic(main)) << button;
    EXPECT_FALSE(m->frmMenuPopUp.loaded()) << button;
    HWND popup = hw(m->frmMenuPopUp);
    EXPECT_TRUE(popup == nullptr || !IsWindowVisible(popup)) << button;
  }
}

TEST_F(GuiTray, TheMenuBarHoldsEveryItemInPlaceAndItsChoicesReachTheirHandlers) {
  HMENU bar = GetMenu(main);
  ASSERT_NE(bar, nullptr);
  std::vector<std::string> menus;
  char buf[128];
  for (int i = 0; i < GetMenuItemCount(bar); ++i) {
    GetMenuStringA(bar, UINT(i), buf, sizeof buf, MF_BYPOSITION);
    menus.push_back(buf);
  }
  EXPECT_EQ(menus, (std::vector<std::string>{"File", "Settings", "Quarantine", "Help", "About"}));
  // The hidden "Scan Results" is not on screen; the separators are.
  HMENU file = GetSubMenu(bar, 0);
  std::vector<std::string> items;
  for (int i = 0; i < GetMenuItemCount(file); ++i) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(file, UINT(i), TRUE, &info);
    if (info.fType & MFT_SEPARATOR) {
      items.push_back("-");
      continue;
    }
    GetMenuStringA(file, UINT(i), buf, sizeof buf, MF_BYPOSITION);
    items.push_back(buf);
  }
  EXPECT_EQ(items, (std::vector<std::string>{"Scan Now", "View Log", "-", "Run Live Update", "-", "Minimize to Tray",
                                             "-", "Exit"}));

  auto choose = [&](int menu, int pos) {
    SendMessageA(main, WM_COMMAND, MAKEWPARAM(GetMenuItemID(GetSubMenu(bar, menu), pos), 0), 0);
  };
  choose(1, 2);  // Settings > Schedule
  EXPECT_TRUE(IsWindowVisible(hw(m->frmOptions)));
  EXPECT_TRUE(IsWindowVisible(hw(m->tabSchedule.frmSchedule)));
  EXPECT_EQ(TabCtrl_GetCurSel(hw(m->tabSettings)), 1);

  choose(3, 0);  // Help > View Help
  HWND help = hw(m->frmHelp);
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(IsWindowVisible(help));
  EXPECT_EQ(GetWindow(help, GW_OWNER), main);
  EXPECT_EQ(text(hw(m->frmHelp.txtHelp)).rfind("The Status page", 0), 0u);
  TabCtrl_SetCurFocus(hw(m->frmHelp.tabTopics), 6);  // the user picks the last tab
  EXPECT_EQ(m->frmHelp.tabTopics.selected(), 7);
  EXPECT_EQ(text(hw(m->frmHelp.txtHelp)).rfind("\"Send to Tray\"", 0), 0u);

  choose(4, 0);  // About > About this software
  HWND about = hw(m->frmAbout);
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(IsWindowVisible(about));
  EXPECT_EQ(text(about), "About " + app.product);
  EXPECT_EQ(text(hw(m->frmAbout.lblCompany)), "Copyright (C) Test Company");
  if (std::getenv("QUILLON_SCREENSHOT_DIR")) pumpUntil([] { return false; }, 3000);
  SendMessageA(hw(m->frmAbout.cmdOk), BM_CLICK, 0, 0);
  EXPECT_EQ(hw(m->frmAbout), nullptr);
  SendMessageA(help, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(help));
}

// Each kind of results row has a picture of its own, drawn on a see-through background.
TEST_F(GuiTray, EachKindOfRowHasItsOwnIcon) {
  HIMAGELIST icons = ListView_GetImageList(hw(m->pageResults.lvwResults), LVSIL_SMALL);
  ASSERT_EQ(ImageList_GetImageCount(icons), 6);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
  HGDIOBJ old = SelectObject(dc, bmp);
  std::set<std::vector<COLORREF>> seen;
  for (int i = 0; i < 6; ++i) {
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(icons, i, dc, 0, 0, ILD_TRANSPARENT);
    std::vector<COLORREF> px;
    int background = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        px.push_back(GetPixel(dc, x, y));
        background += px.back() == RGB(255, 255, 255);
      }
    if (i == 0) EXPECT_EQ(background, 256);  // rows of no kind show nothing
    else EXPECT_LT(background, 200) << i;
    EXPECT_EQ(std::count(px.begin(), px.end(), RGB(255, 0, 255)), 0) << i;  // no magenta shows through
    EXPECT_TRUE(seen.insert(px).second) << i;
  }
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}
