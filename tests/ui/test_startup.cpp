#include <gtest/gtest.h>

#include "tests/support/fakes.h"
#include "ui/frm_splash.h"

using namespace quillon;
using namespace quillon::test;

TEST(Startup, SplashLoadsTheMainWindowOnItsSeventyFifthTick) {
  ui::FrmSplash splash;
  int loaded = 0, ticks = 0;
  splash.onDone = [&] { loaded = ticks; };
  splash.Form_Load("Quillon");
  EXPECT_EQ(splash.lblName.caption(), "Quillon");
  while (splash.Timer2.enabled() && ticks < 100) {
    ++ticks;
    splash.Timer2.tick();
  }
  EXPECT_EQ(loaded, 75);
  EXPECT_FALSE(splash.visible());
}

TEST(Startup, FirstStartOffersHelpAndLiveUpdateOnce) {
  App app;
  app.firstStartDone(false);
  app.writeText("Help.chm", "help");
  auto& m = app.main();
  int updates = 0;
  countLiveUpdates(m, updates);
  app.dialogs.answer = [](const ShownBox& b) { return b.title == "Live Update Now?" ? kIdNo : kIdOk; };
  m.Form_Load();
  EXPECT_EQ(app.launcher.opened, std::vector<std::string>{app.path("Help.chm")});
  EXPECT_EQ(m.settings.read("Settings", "showHelp", "1"), "0");
  EXPECT_EQ(m.settings.readMachine("Settings", "showHelp", ""), "0");
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].text,
            "Thank you for using " + app.product + "!\r\n\r\nBecause this is the first time you have used " +
                app.product +
                " we recommend running Live Update now to download the most recent adware and spyware "
                "definitions.\r\n\r\nWould you like to run Live Update now?");
  EXPECT_EQ(updates, 0);
  EXPECT_EQ(m.settings.readMachine("Settings", "FirstTime", ""), "Yes");  // also after "No"

  app.resetMain();
  app.main().Form_Load();
  EXPECT_EQ(app.dialogs.shown.size(), 1u);  // never asked again
  EXPECT_EQ(app.launcher.opened.size(), 1u);

  App fresh("QuillonTestFresh");
  fresh.firstStartDone(false);
  countLiveUpdates(fresh.main(), updates);
  fresh.main().Form_Load();  // no help file: ignored; Yes runs Live Update
  EXPECT_TRUE(fresh.launcher.opened.empty());
  EXPECT_EQ(updates, 1);
}

TEST(Startup, ASecondInstanceEndsSilentlyWithoutWriting) {
  App first, second;
  first.main().Form_Load();
  first.main().settings.write("OptionAndSettings", "STATUS", "first");
  bool ended = false;
  second.main().endProcess = [&] { ended = true; };
  second.main().Form_Load();
  EXPECT_TRUE(ended);
  EXPECT_EQ(first.main().settings.read("OptionAndSettings", "STATUS", ""), "first");
  EXPECT_TRUE(second.dialogs.shown.empty());
}

TEST(Startup, TrayStartAndWindowStates) {
  App app;
  auto& m = app.main();
  m.settings.write("Settings", "Minimized", "Yes");
  m.Form_Load();
  EXPECT_TRUE(app.host.trayShown);
  EXPECT_EQ(app.host.trayTip, app.product);
  EXPECT_TRUE(m.tray.bRunningInTray);
  EXPECT_EQ(m.windowState(), controls::Form::State::Minimized);
  EXPECT_FALSE(m.visible());
  EXPECT_TRUE(m.tmrMemoryInspected.enabled());  // shields run while the window is out of the way
  EXPECT_FALSE(m.showInTaskbar());

  // A double-click on the icon brings the window back in its normal state.
  m.onTrayMouse(512);
  EXPECT_FALSE(m.visible());
  m.onTrayMouse(515);
  EXPECT_TRUE(m.visible());
  EXPECT_EQ(m.windowState(), controls::Form::State::Normal);
  EXPECT_FALSE(m.tmrMemoryInspected.enabled());
  EXPECT_FALSE(m.tmrScheduler.enabled());
  EXPECT_TRUE(m.showInTaskbar());
  EXPECT_EQ(m.settings.read("Settings", "Minimized", ""), "No");

  m.setWindowState(controls::Form::State::Maximized);
  EXPECT_TRUE(m.tmrMemoryInspected.enabled());
  m.Form_QueryUnload();
  EXPECT_FALSE(app.host.trayShown);
  EXPECT_EQ(m.settings.read("OptionAndSettings", "STATUS", ""), "STOPPED");
  EXPECT_EQ(m.settings.read("OptionAndSettings", "RESTART", ""), "False");
  m.Form_Unload();
  EXPECT_EQ(m.settings.read("Settings", "Max", ""), "1");
  EXPECT_FALSE(m.visible());
}

// Headless, destroying a form hides it and takes the tray icon only from the form that owns it.
TEST(Startup, DestroyingAFormTakesOnlyItsOwnTrayIcon) {
  App app;
  auto& m = app.main();
  m.settings.write("Settings", "Minimized", "Yes");
  m.Form_Load();
  m.frmReport.setVisible(true);
  app.host.destroy(m.frmReport);
  EXPECT_FALSE(m.frmReport.visible());
  EXPECT_TRUE(app.host.trayShown);
  app.host.destroy(m);
  EXPECT_FALSE(m.visible());
  EXPECT_FALSE(app.host.trayShown);
}

TEST(Startup, AutomaticLiveUpdateRunsOnceAfterThreeHundredIdleTicks) {
  App app;
  auto& m = app.main();
  m.Form_Load();
  EXPECT_FALSE(m.timUpdate.enabled());  // absent key: not armed, although the box shows checked
  EXPECT_EQ(m.chkAutomaticUpdate.value(), 1);
  app.resetMain();
  app.main().settings.write("OptionAndSettings", "chkAutomaticUpdate", "1");
  auto& armed = app.main();
  int updates = 0;
  countLiveUpdates(armed, updates);
  armed.Form_Load();
  ASSERT_TRUE(armed.timUpdate.enabled());
  int during = 0;  // ticks during a scan do not count
  app.writeEmptyDefinitions();
  app.writeDefinitions("FileDefinition.dat", {"absent.bin=Absent|" + app.folder});
  app.pump.onYield = [&](int) {
    ++during;
    armed.timUpdate.tick();
  };
  armed.cmdScanNow_Click();
  app.pump.onYield = nullptr;
  EXPECT_GT(during, 0);
  for (int i = 0; i < 300; ++i) armed.timUpdate.tick();
  EXPECT_EQ(updates, 0);
  armed.timUpdate.tick();
  EXPECT_EQ(updates, 1);
  EXPECT_FALSE(armed.timUpdate.enabled());
}
