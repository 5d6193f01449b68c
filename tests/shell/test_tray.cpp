// The tray icon's mouse actions, the sliding popup and its timers.
#include <gtest/gtest.h>
#include <windows.h>

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
