// The menu bar, the About window and the help window.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

// Each item of the menu bar does what its name says.
TEST(Menus, EveryItemReachesItsHandler) {
  App app;
  auto& m = app.main();
  m.Form_Load();
  EXPECT_FALSE(m.menu.mnuFileScanResults.visible());  // no results before a scan

  m.menu.mnuFileScanNow.click();
  EXPECT_TRUE(m.pageScan.frmScan.visible());
  bool reportShown = false;
  app.host.onModal = [&](controls::Form& f) { reportShown = &f == &m.frmReport; };
  m.menu.mnuFileViewLog.click();
  EXPECT_TRUE(reportShown);
  int updates = 0;
  countLiveUpdates(m, updates);
  m.menu.mnuFileLiveUpdate.click();
  EXPECT_EQ(updates, 1);
  const std::pair<controls::MenuItem*, const char*> tabs[] = {{&m.menu.mnuSettingsScanOptions, "Scan Options"},
                                                              {&m.menu.mnuSettingsProtection, "Proactive System Protection"},
                                                              {&m.menu.mnuSettingsSchedule, "Scheduled Scans"},
                                                              {&m.menu.mnuSettingsUpdate, "Automatic Live Update"}};
  for (auto [item, tab] : tabs) {
    m.cmdStatus_Click();
    item->click();
    EXPECT_TRUE(m.frmOptions.visible());
    EXPECT_EQ(m.tabSettings.tabs[size_t(m.tabSettings.selected() - 1)], tab);
  }
  m.menu.mnuViewQuarantine.click();  // the folder is made when there is none yet
  ASSERT_EQ(app.launcher.launched.size(), 1u);
  EXPECT_EQ(app.launcher.launched[0], "explorer " + app.path("quarantine"));
  EXPECT_NE(app.fs.attributes(app.path("quarantine")), kNoSuchPath);
  app.writeText("ENoSignature.txt", "x\r\n");
  m.menu.mnuViewExclusions.click();
  ASSERT_EQ(app.launcher.launched.size(), 2u);
  EXPECT_EQ(app.launcher.launched[1], "notepad " + app.path("ENoSignature.txt"));

  // Without a help file the program's own help window explains the pages.
  m.menu.mnuViewHelp.click();
  EXPECT_TRUE(m.frmHelp.visible());
  EXPECT_EQ(m.frmHelp.caption(), app.product + " Help");
  EXPECT_TRUE(app.launcher.opened.empty());
  app.writeText("Help.chm", "help");
  m.menu.mnuViewHelp.click();
  EXPECT_EQ(app.launcher.opened, std::vector<std::string>{app.path("Help.chm")});

  m.menu.mnuAbout.click();
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

  m.menu.mnuFileMinimize.click();
  EXPECT_FALSE(m.visible());
  EXPECT_TRUE(app.host.trayShown);
  bool exited = false;
  m.onExit = [&] { exited = true; };
  m.menu.mnuFileExit.click();
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
