// One operation at a time, and the background timers' rule: what every way of starting
// something does while a scan, a removal or a Live Update runs, and how the shields' questions
// hold the main window.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>

#include "common/datetime.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// Two planted files of one threat, a listed program running, a start page that differs from
// the remembered one, a daily schedule that is due and the window in the tray: every starter
// and every background timer has something to start.
struct Runs : ::testing::Test {
  App app;
  std::unique_ptr<RunningProgram> waiter;
  int notices = 0, modals = 0, nested = 0;
  bool inModal = false;
  std::function<void(controls::Form&)> whileUp;
  ui::FrmMain* m = nullptr;

  void SetUp() override {
    const std::string listed = folderWithSampleWaiter(app, "listed");
    app.writeText("a.bin", "a");
    app.writeText("b.bin", "b");
    app.writeEmptyDefinitions();
    app.writeDefinitions("FileDefinition.dat", {"a.bin=Planted|" + app.folder, "b.bin=Planted|" + app.folder});
    app.writeDefinitions("ExeDefinition.dat", {"quillon-sample-waiter.exe=Sample.Waiter|" + listed});
    waiter = std::make_unique<RunningProgram>(listed + "\\quillon-sample-waiter.exe");
    app.host.onModal = [this](controls::Form& f) {
      if (inModal) return void(++nested);
      inModal = true;
      ++modals;
      if (whileUp) whileUp(f);
      inModal = false;
    };
    m = &app.main();
    countLiveUpdates(*m, notices);
    m->settings.write(keys::Homepage, "http://remembered.example/");
    setClock({2026, 12, 1, 7, 0, 0});
    m->Form_Load();
    m->chkSweepMemory.setValue(0);  // the scan itself leaves the program alone
    m->chkAutomaticScanYesOrNo.click();
    m->cmbDays.setListIndex(kDaily);
    m->dtpScheduleTime.change("12/1/2026 8:00:00 AM");
    m->CmdProceed.click();
    m->Command5_Click();
    setClock({2026, 12, 1, 8, 0, 0});
  }
  void setClock(const DateTime& t) {
    app.clock.time = t;
    app.clock.now = formatDateTime(t);
  }
  bool timersOff() const {
    return !m->tmrScheduler.enabled() && !m->tmrMemoryInspected.enabled() && !m->tmrCheckHomePage.enabled();
  }
  bool timersOn() const {
    return m->tmrScheduler.enabled() && m->tmrMemoryInspected.enabled() && m->tmrCheckHomePage.enabled();
  }
};

struct Press {
  const char* name;
  std::function<void(ui::FrmMain&)> press;
  bool duringLiveUpdate = true;  // "Exit Program" during a Live Update is the exit path's
};

}  // namespace

TEST_F(Runs, NothingStartsInsideARunAndItsTimersWaitForItsEnd) {
  // Handlers are called directly, as code or a message queued before the run would reach them.
  const std::vector<Press> presses = {
      {"Delete", [](ui::FrmMain& w) { w.Command4_Click(); }},
      {"Remove", [](ui::FrmMain& w) { w.lblRemove_Click(); }},
      {"Exclude", [](ui::FrmMain& w) { w.cmdExclude_Click(); }},
      {"Select All", [](ui::FrmMain& w) { w.cmdSelectAll_Click(); }},
      {"Start", [](ui::FrmMain& w) { w.cmdScanNow_Click(); }},
      {"Start label", [](ui::FrmMain& w) { w.lblStart_Click(); }},
      {"Live Update", [](ui::FrmMain& w) { w.cmdUpdate.onClick(); }},
      {"Live Update with Shift", [](ui::FrmMain& w) { w.cmdUpdate_ShiftPress(); }},
      {"Run Live Update Now", [](ui::FrmMain& w) { w.cmdLiveUpdate.onClick(); }},
      {"File > Scan Now", [](ui::FrmMain& w) { w.mnuFileScanNow.onClick(); }},
      {"File > View Log", [](ui::FrmMain& w) { w.mnuFileViewLog.onClick(); }},
      {"File > Run Live Update", [](ui::FrmMain& w) { w.mnuFileLiveUpdate.onClick(); }},
      {"tray press", [](ui::FrmMain& w) { w.onTrayMouse(513); }},
      {"Show Program", [](ui::FrmMain& w) { w.frmMenuPopUp.mnuMaxmimaize_Click(); }},
      {"home-page tick, window open", [](ui::FrmMain& w) { w.tmrCheckHomePage_Timer(); }},
      {"File > Minimize to Tray", [](ui::FrmMain& w) { w.mnuFileMinimize.onClick(); }},
      {"Exit Program", [](ui::FrmMain& w) { w.frmMenuPopUp.mnuClose_Click(); }, false},
      {"schedule tick", [](ui::FrmMain& w) { w.tmrScheduler_Timer(); }},
      {"memory tick", [](ui::FrmMain& w) { w.tmrMemoryInspected_Timer(); }},
      {"home-page tick", [](ui::FrmMain& w) { w.tmrCheckHomePage_Timer(); }},
      {"automatic Live Update", [](ui::FrmMain& w) {
         w.AutoUpdateCounter = 300;
         w.timUpdate_Timer();
       }},
  };
  struct Step {
    const char* name;
    Operation kind;
    std::function<void(ui::FrmMain&)> run;
  };
  const Step ops[] = {{"scan", Operation::Scan, [](ui::FrmMain& w) { w.cmdScanNow_Click(); }},
                    {"removal", Operation::Removal, [](ui::FrmMain& w) {
                       w.cmdSelectAll_Click();
                       w.Command4_Click();
                     }},
                    {"Live Update", Operation::LiveUpdate, [](ui::FrmMain& w) { w.RunLiveUpdate(); }}};
  std::vector<std::string> progress;
  for (const Step& op : ops) {
    bool pressed = false;
    app.pump.onYield = [&](int) {
      const std::string shown = m->lblDeletingPercentageCompleted.caption();
      if (shown.rfind("Removing", 0) == 0 && (progress.empty() || progress.back() != shown)) progress.push_back(shown);
      if (pressed) return;
      pressed = true;
      ASSERT_EQ(m->session.running(), op.kind) << op.name;
      for (const Press& p : presses) {
        if (op.kind == Operation::LiveUpdate && !p.duringLiveUpdate) continue;
        const int yields = app.pump.yields, was = notices, asked = modals;
        const size_t boxes = app.dialogs.shown.size();
        p.press(*m);
        // Whatever starts a run turns the message loop, asks or shows something.
        EXPECT_EQ(app.pump.yields, yields) << op.name << ": " << p.name;
        EXPECT_EQ(app.dialogs.shown.size(), boxes) << op.name << ": " << p.name;
        EXPECT_EQ(notices, was) << op.name << ": " << p.name;
        EXPECT_EQ(modals, asked) << op.name << ": " << p.name;
        EXPECT_EQ(m->session.running(), op.kind) << op.name << ": " << p.name;
        EXPECT_TRUE(timersOff()) << op.name << ": " << p.name;
      }
      for (controls::Control* c : {static_cast<controls::Control*>(&m->cmdScanNow), static_cast<controls::Control*>(&m->Command4),
                                   static_cast<controls::Control*>(&m->cmdExclude), static_cast<controls::Control*>(&m->cmdUpdate),
                                   static_cast<controls::Control*>(&m->mnuFileLiveUpdate)})
        EXPECT_FALSE(c->enabled()) << op.name << ": " << c->name();
      EXPECT_FALSE(m->frmMenuPopUp.mnuClose.enabled() && op.kind != Operation::LiveUpdate) << op.name;
    };
    op.run(*m);
    EXPECT_TRUE(pressed) << op.name;
    if (op.kind == Operation::Scan) EXPECT_EQ(texts(m->lvwSpywareFound), std::vector<std::string>{"Planted - Found"});
    EXPECT_EQ(m->session.running(), Operation::None);
    EXPECT_TRUE(timersOn()) << op.name << ": the window is in the tray again once the run has ended";
    EXPECT_TRUE(waiter->running()) << op.name;
    EXPECT_FALSE(m->unloading());
    EXPECT_TRUE(m->cmdScanNow.enabled() && m->Command4.enabled() && m->cmdUpdate.enabled());
  }
  // The runs' own results: one threat of two files found, both removed and nothing failed,
  // one Live Update notice, and neither the schedule nor a shield ever ran.
  EXPECT_EQ(m->lastRemoval().removed.size(), 2u);
  EXPECT_TRUE(m->lastRemoval().failed.empty());
  EXPECT_EQ(m->frmDelete.lstProblem.count(), 0);
  EXPECT_EQ(GetFileAttributesA(app.path("a.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(modals, 0);
  EXPECT_EQ(m->settings.read(keys::LastScheduledScan), "");
  // The removal's bar counts both passes: it never says 100% before the last item is done.
  ASSERT_EQ(progress.size(), 4u);
  for (size_t i = 0; i < progress.size(); ++i)
    EXPECT_EQ(progress[i], "Removing : " + std::to_string(25 * i) + "% Completed.");
}

TEST_F(Runs, TheShieldsQuestionsHoldTheMainWindowAndTicksNeverNest) {
  // Open in its normal state: scheduled scans and memory alerts wait, and a home-page tick
  // leaves them waiting.
  m->ShowFromTray();
  EXPECT_FALSE(m->tmrScheduler.enabled() || m->tmrMemoryInspected.enabled());
  whileUp = [this](controls::Form& f) {
    EXPECT_FALSE(m->enabled()) << f.caption();
    EXPECT_FALSE(m->frmMenuPopUp.loaded()) << f.caption();
    EXPECT_TRUE(timersOff()) << f.caption();
    const int yields = app.pump.yields;
    m->AutoUpdateCounter = 300;
    m->onTrayMouse(513);
    EXPECT_FALSE(m->frmMenuPopUp.loaded()) << "the popup never covers " << f.caption();
    for (auto tick : {&ui::FrmMain::tmrCheckHomePage_Timer, &ui::FrmMain::tmrMemoryInspected_Timer,
                      &ui::FrmMain::tmrScheduler_Timer, &ui::FrmMain::cmdScanNow_Click, &ui::FrmMain::timUpdate_Timer})
      (m->*tick)();
    EXPECT_EQ(app.pump.yields, yields) << f.caption();
  };
  m->onTrayMouse(513);
  ASSERT_TRUE(m->frmMenuPopUp.loaded());
  m->tmrCheckHomePage_Timer();
  EXPECT_EQ(modals, 1);
  EXPECT_TRUE(m->enabled());
  EXPECT_FALSE(m->tmrScheduler.enabled() || m->tmrMemoryInspected.enabled());
  EXPECT_TRUE(m->tmrCheckHomePage.enabled());

  // In the tray the memory alert comes; closed without an answer it decides nothing.
  m->Command5_Click();
  m->onTrayMouse(513);
  m->tmrMemoryInspected_Timer();
  EXPECT_EQ(modals, 2);
  EXPECT_EQ(nested, 0);
  EXPECT_TRUE(m->enabled());
  EXPECT_TRUE(waiter->running());
  EXPECT_TRUE(timersOn());
  EXPECT_EQ(m->settings.read(keys::LastScheduledScan), "");
}
