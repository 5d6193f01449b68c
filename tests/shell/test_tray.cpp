// The tray icon's mouse actions, the sliding popup and its timers, and the menu bar.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;
using State = controls::Form::State;

namespace {
// Ticks a timer until it stops itself; returns the ticks it took.
int runOut(controls::Timer& t, int limit = 10000) {
  int n = 0;
  while (t.enabled() && n < limit) {
    t.tick();
    ++n;
  }
  return n;
}

// A main window started and sent to the tray.
struct Tray : ::testing::Test {
  App app;
  ui::FrmMain* m = nullptr;
  ui::FrmMenuPopUp* popup = nullptr;
  void SetUp() override {
    m = &app.main();
    m->Form_Load();
    m->Command5_Click();
    popup = &m->frmMenuPopUp;
  }
  // Up and standing still, waiting for the mouse.
  void openAndArrive() {
    m->onTrayMouse(513);
    runOut(popup->tmrMenuPopup);
  }
};
}  // namespace

TEST_F(Tray, PressesOpenThePopupDoubleClicksBringTheWindowBackAndTheRestIsIgnored) {
  for (int press : {513, 516}) {
    m->onTrayMouse(press);
    EXPECT_TRUE(popup->loaded()) << press;
    EXPECT_TRUE(popup->visible()) << press;
    EXPECT_FALSE(m->visible());
    popup->Form_Unload();
  }
  for (int other : {0, 512, 514, 517, 519, 520}) {
    m->onTrayMouse(other);
    EXPECT_FALSE(popup->loaded()) << other;
    EXPECT_FALSE(m->visible()) << other;
  }
  for (int dbl : {515, 518}) {
    m->onTrayMouse(513);  // the press that starts every double-click
    m->onTrayMouse(dbl);
    EXPECT_TRUE(m->visible()) << dbl;
    EXPECT_EQ(m->windowState(), State::Normal);
    EXPECT_FALSE(popup->loaded());
    EXPECT_FALSE(popup->visible());
    for (auto* t : {&popup->tmrMenuPopup, &popup->TmrEnablePopDown, &popup->tmrPopDown}) EXPECT_FALSE(t->enabled());
    m->Command5_Click();
  }
}

TEST_F(Tray, PopupSlidesUpWaitsWhileTheMouseMovesAndSlidesAway) {
  app.host.screen = {0, 0, 1280, 994};
  m->onTrayMouse(516);
  ui::FrmMenuPopUp& p = *popup;
  EXPECT_EQ(p.style, controls::Form::Style::Popup);
  EXPECT_EQ(p.lblName.caption(), app.product);
  // At the right edge, just below the free area; the frame is a pixel wide.
  const int outer = p.height + 2;
  EXPECT_EQ(p.left + p.width + 2, 1280);
  EXPECT_EQ(p.top, 994);
  EXPECT_TRUE(p.tmrMenuPopup.enabled());
  EXPECT_FALSE(p.TmrEnablePopDown.enabled());

  // 80 twips a tick, never past its place, one more tick to notice it arrived.
  int ticks = 0, last = p.top;
  while (p.tmrMenuPopup.enabled() && ticks < 1000) {
    p.tmrMenuPopup.tick();
    ++ticks;
    EXPECT_LE(p.top, last);
    last = p.top;
  }
  const int travel = outer * 15;
  EXPECT_EQ(ticks, (travel + 79) / 80 + 1);
  EXPECT_EQ(p.top, 994 - outer);
  EXPECT_TRUE(p.TmrEnablePopDown.enabled());

  // Six idle seconds send it away; a mouse movement starts the count again.
  for (int i = 0; i < 5; ++i) p.TmrEnablePopDown.tick();
  p.onMouseMove();
  for (int i = 0; i < 5; ++i) p.TmrEnablePopDown.tick();
  EXPECT_TRUE(p.TmrEnablePopDown.enabled());
  EXPECT_FALSE(p.tmrPopDown.enabled());
  p.TmrEnablePopDown.tick();
  EXPECT_FALSE(p.TmrEnablePopDown.enabled());
  EXPECT_TRUE(p.tmrPopDown.enabled());
  EXPECT_EQ(p.motion.idleSeconds, 0);

  // 100 twips a tick down, gone once past the bottom of the free area.
  ticks = runOut(p.tmrPopDown);
  EXPECT_EQ(ticks, travel / 100 + 1);
  EXPECT_FALSE(p.loaded());
  EXPECT_FALSE(p.visible());
  EXPECT_TRUE(app.host.trayShown);  // the icon stays
}

TEST_F(Tray, CloseThisMenuSendsItAwayAndAClickBringsItBack) {
  m->onTrayMouse(513);
  for (int i = 0; i < 5; ++i) popup->tmrMenuPopup.tick();
  popup->lblMenuClose.click();
  EXPECT_FALSE(popup->tmrMenuPopup.enabled());
  EXPECT_TRUE(popup->tmrPopDown.enabled());
  for (int i = 0; i < 3; ++i) popup->tmrPopDown.tick();
  const int top = popup->top;

  // A click on the icon while it slides away turns it round from where it is.
  m->onTrayMouse(513);
  EXPECT_TRUE(popup->tmrMenuPopup.enabled());
  EXPECT_FALSE(popup->tmrPopDown.enabled());
  EXPECT_EQ(popup->top, top);
  runOut(popup->tmrMenuPopup);
  EXPECT_EQ(popup->motion.topTwips(), popup->motion.finalTopTwips());

  // A click while it stands keeps it and restarts the idle count.
  popup->TmrEnablePopDown.tick();
  m->onTrayMouse(513);
  EXPECT_EQ(popup->motion.idleSeconds, 0);
  EXPECT_TRUE(popup->TmrEnablePopDown.enabled());

  popup->lblMenuClose.click();
  runOut(popup->tmrPopDown);
  EXPECT_FALSE(popup->loaded());
}

TEST_F(Tray, ShowProgramAndExitProgramFollowTheWindowAndTheScan) {
  openAndArrive();
  EXPECT_TRUE(popup->mnuMaxmimaize.enabled());
  EXPECT_TRUE(popup->mnuClose.enabled());
  popup->mnuMaxmimaize.click();
  EXPECT_TRUE(m->visible());
  EXPECT_EQ(m->windowState(), State::Normal);
  EXPECT_TRUE(popup->tmrPopDown.enabled());  // the popup slides away
  runOut(popup->tmrPopDown);

  // Offered only while the window is not on screen: a start in the tray leaves it minimised
  // but visible.
  m->onTrayMouse(513);
  EXPECT_FALSE(popup->mnuMaxmimaize.enabled());
  popup->Form_Unload();
  m->Command5_Click();
  m->setVisible(true);
  m->onTrayMouse(513);
  EXPECT_TRUE(popup->mnuMaxmimaize.enabled());
  popup->Form_Unload();

  // "Exit Program" waits while a scan runs.
  app.writeEmptyDefinitions();
  std::vector<std::string> lines;
  for (int i = 0; i < 20; ++i) lines.push_back("m" + std::to_string(i) + ".dll=T|" + app.folder);
  app.writeDefinitions("FileDefinition.dat", lines);
  bool looked = false, exitDuringScan = true;
  app.pump.onYield = [&](int) {
    if (looked) return;
    looked = true;
    m->onTrayMouse(516);
    exitDuringScan = popup->mnuClose.enabled();
    popup->mnuClose.click();  // a disabled item does nothing
  };
  m->cmdScanNow_Click();
  EXPECT_TRUE(looked);
  EXPECT_FALSE(exitDuringScan);
  EXPECT_EQ(m->settings.read("OptionAndSettings", "STATUS", ""), "RUNNING");
  popup->Form_Unload();
  app.pump.onYield = nullptr;
  m->onTrayMouse(516);
  EXPECT_TRUE(popup->mnuClose.enabled());
}

TEST_F(Tray, ExitProgramWritesTheStatusRemovesTheIconAndEndsTheProgram) {
  bool exited = false;
  m->onExit = [&] { exited = true; };
  m->settings.write("OptionAndSettings", "RESTART", "True");
  openAndArrive();
  ASSERT_TRUE(app.host.trayShown);
  popup->mnuClose.click();
  EXPECT_TRUE(exited);
  EXPECT_EQ(m->settings.read("OptionAndSettings", "STATUS", ""), "STOPPED");
  EXPECT_EQ(m->settings.read("OptionAndSettings", "RESTART", ""), "False");
  EXPECT_FALSE(app.host.trayShown);
  EXPECT_FALSE(m->tray.bRunningInTray);
  EXPECT_FALSE(popup->loaded());
  EXPECT_FALSE(popup->visible());
}

// The menu bar as the user sees it: item positions count separators, and each item does what
// its name says.
TEST(Menus, EveryItemStandsInItsPlaceAndReachesItsHandler) {
  App app;
  auto& m = app.main();
  m.Form_Load();
  std::map<std::string, std::vector<std::string>> bar;
  std::vector<std::string> order;
  for (controls::Control* c : m.controls()) {
    if (c->kind() != controls::Kind::MenuItem) continue;
    auto* item = static_cast<controls::MenuItem*>(c);
    if (!bar.count(item->menu)) order.push_back(item->menu);
    bar[item->menu].push_back(item->visible() ? item->caption() : "(" + item->caption() + ")");
  }
  EXPECT_EQ(order, (std::vector<std::string>{"File", "Settings", "Quarantine", "Help", "About"}));
  EXPECT_EQ(bar["File"], (std::vector<std::string>{"Scan Now", "(Scan Results)", "View Log", "-", "Run Live Update", "-",
                                                   "Minimize to Tray", "-", "Exit"}));
  EXPECT_EQ(bar["Settings"], (std::vector<std::string>{"Scan Options", "Proactive Protection", "Schedule", "Auto Update"}));
  EXPECT_EQ(bar["Quarantine"], (std::vector<std::string>{"View Quarantine", "View Exclusions"}));
  EXPECT_EQ(bar["Help"], std::vector<std::string>{"View Help"});
  EXPECT_EQ(bar["About"], std::vector<std::string>{"About this software"});

  m.mnuFileScanNow.click();
  EXPECT_TRUE(m.frmScan.visible());
  bool reportShown = false;
  app.host.onModal = [&](controls::Form& f) { reportShown = &f == &m.frmReport; };
  m.mnuFileViewLog.click();
  EXPECT_TRUE(reportShown);
  int updates = 0;
  countLiveUpdates(m, updates);
  m.mnuFileLiveUpdate.click();
  EXPECT_EQ(updates, 1);
  const std::pair<controls::MenuItem*, const char*> tabs[] = {{&m.mnuSettingsScanOptions, "Scan Options"},
                                                              {&m.mnuSettingsProtection, "Proactive System Protection"},
                                                              {&m.mnuSettingsSchedule, "Scheduled Scans"},
                                                              {&m.mnuSettingsUpdate, "Automatic Live Update"}};
  for (auto [item, tab] : tabs) {
    m.cmdStatus_Click();
    item->click();
    EXPECT_TRUE(m.frmOptions.visible());
    EXPECT_EQ(m.TabStrip1.tabs[size_t(m.TabStrip1.selected() - 1)], tab);
  }
  m.mnuViewQuarantine.click();
  ASSERT_EQ(app.launcher.launched.size(), 1u);
  EXPECT_EQ(app.launcher.launched[0].rfind("explorer ", 0), 0u);
  app.writeText("ENoSignature.txt", "x\r\n");
  m.mnuViewExclusions.click();
  ASSERT_EQ(app.launcher.launched.size(), 2u);
  EXPECT_EQ(app.launcher.launched[1], "notepad " + app.path("ENoSignature.txt"));

  // Without a help file the program's own help window explains the pages.
  m.mnuViewHelp.click();
  EXPECT_TRUE(m.frmHelp.visible());
  EXPECT_EQ(m.frmHelp.caption(), app.product + " Help");
  EXPECT_TRUE(app.launcher.opened.empty());
  app.writeText("Help.chm", "help");
  m.mnuViewHelp.click();
  EXPECT_EQ(app.launcher.opened, std::vector<std::string>{app.path("Help.chm")});

  m.mnuAbout.click();
  EXPECT_TRUE(m.frmAbout.visible());
  EXPECT_EQ(m.frmAbout.lblProduct.caption(), app.product);
  m.frmAbout.cmdOk.click();
  EXPECT_FALSE(m.frmAbout.visible());

  // The web-site button opens the site in the user's browser; a site that is no bare domain
  // is never handed to the shell, and the failure is said.
  m.cmdWebsite.click();
  EXPECT_EQ(app.launcher.opened.back(), "http://www.quillon.example/");
  for (const char* site : {"", "cmd.exe /c del", "C:\\evil.exe", "file://x.example", "..\\x.example"}) {
    ui::FrmMain other(app.platform, app.host, app.path("quillon.exe"), Branding{app.product, "Test Company", site, 1, 0});
    app.dialogs.shown.clear();
    other.cmdWebsite.click();
    EXPECT_EQ(app.launcher.opened.size(), 2u) << site;
    ASSERT_EQ(app.dialogs.shown.size(), 1u) << site;
    EXPECT_NE(app.dialogs.shown[0].text.find("could not be opened"), std::string::npos);
  }

  m.mnuFileMinimize.click();
  EXPECT_FALSE(m.visible());
  EXPECT_TRUE(app.host.trayShown);
  bool exited = false;
  m.onExit = [&] { exited = true; };
  m.mnuFileExit.click();
  EXPECT_TRUE(exited);
  EXPECT_FALSE(app.host.trayShown);
  EXPECT_EQ(m.settings.read("OptionAndSettings", "STATUS", ""), "STOPPED");
  EXPECT_FALSE(m.frmHelp.visible());

  // The skinned window's "X" takes the same exit path.
  m.settings.write("OptionAndSettings", "STATUS", "RUNNING");
  m.tray.ShowIcon(m);
  exited = false;
  m.lblHide.setVisible(true);
  m.lblHide.click();
  EXPECT_TRUE(exited);
  EXPECT_FALSE(app.host.trayShown);
  EXPECT_EQ(m.settings.read("OptionAndSettings", "STATUS", ""), "STOPPED");
}

// The About window's texts come from the version information the build puts in the program.
TEST(About, ShowsTheBrandingOfTheProgramsVersionInformation) {
  const Branding b = win32::brandingOf(binFolder() + "\\quillon.exe");
  ASSERT_FALSE(b.productName.empty());
  ui::FrmAbout about;
  about.Form_Load(b);
  EXPECT_EQ(about.caption(), "About Quillon");
  EXPECT_EQ(about.lblProduct.caption(), "Quillon");
  EXPECT_EQ(about.lblVersion.caption(), "Version 1.0");
  EXPECT_EQ(about.lblCompany.caption(), "Copyright (C) Quillon Developers");
  EXPECT_EQ(about.lblWebsite.caption(), "www.quillon.example");

  // The program's icon is resource 1, which its windows and tray icon load.
  HMODULE exe = LoadLibraryExA((binFolder() + "\\quillon.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
  HICON small = static_cast<HICON>(LoadImageA(exe, MAKEINTRESOURCEA(1), IMAGE_ICON, 16, 16, 0));
  EXPECT_NE(small, nullptr);
  if (small) DestroyIcon(small);
  FreeLibrary(exe);
}

// Every page of the main window has its help topic, with the line ends a text box shows.
TEST(Help, EveryPageHasATopicAndTheTabsShowThem) {
  ui::FrmHelp help;
  help.Form_Load("Quillon", "Results");
  EXPECT_EQ(help.tabTopics.tabs, (std::vector<std::string>{"Status", "Scan", "Results", "Settings", "Live Update",
                                                           "Quarantine", "Tray"}));
  EXPECT_EQ(help.txtHelp.text().rfind("The Results/Removal page", 0), 0u);
  for (int tab = 1; tab <= int(help.tabTopics.tabs.size()); ++tab) {
    help.tabTopics.select(tab);
    const std::string& text = help.txtHelp.text();
    EXPECT_GT(text.size(), 200u) << tab;
    for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << tab;
  }
  const ui::HelpTopics t = ui::helpTopics("ignored\r\n== A ==\r\none\r\ntwo\n== B ==\n");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0], (std::pair<std::string, std::string>{"A", "one\r\ntwo"}));
  EXPECT_EQ(t[1].second, "");
}
