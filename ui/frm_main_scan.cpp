// A scan as the main window runs it: the side bar held while it runs, the pages it shows on,
// and the background timers' one rule.
#include "ui/frm_main.h"

namespace quillon::ui {

void FrmMain::startScan() {
  if (Session::Scope run{session, Operation::Scan}) {
    prepareScan();
    session.scan(tabScanOptions.optCompleteScan.value(), pageScan);
    showScanEnd();
  }
}

void FrmMain::prepareScan() {
  pageResults.lblScheduledRemoval.setCaption("");  // it spoke of the last results
  frmDelete.setVisible(false);
  frmDelete.lstProblem.clear();
  for (Button* b : {&cmdResults, &cmdSettings, &cmdScan, &cmdStatus}) b->setEnabled(false);
  pageScan.prepare();
}

void FrmMain::showScanEnd() {
  const ScanOutcome& scan = session.lastScan;
  // Another program kept the definitions: nothing was looked at, so nothing is recorded. Or the
  // window was closed during the run: the program is ending, nothing more is shown.
  if (!scan.busy) scanned_ = true;
  if (scan.busy || unloading_) {
    if (scan.busy)
      for (Button* b : {&cmdScan, &cmdStatus, &cmdResults, &cmdSettings}) b->setEnabled(true);
    pageScan.showStopAndPause(false);
    return;
  }
  pageScan.showEnd(scan, session.reportFailed);
  for (Button* b : {&cmdScan, &cmdStatus, &cmdResults, &cmdSettings}) b->setEnabled(true);
  pageStatus.refresh();
}

void FrmMain::CheckMemory() {
  MemoryScanActions actions;
  actions.productName = branding.productName;
  actions.reportOutsideScan = [this](uint32_t pid, const std::string& name, const std::string& company) {
    memoryShield.report(pid, name, company);
  };
  actions.askYesNo = [this](const std::string& question) {
    return messageBox(question, branding.productName + "  - Alert", kMbYesNo) == kIdYes;
  };
  actions.excludeName = [this](const std::string& name) { exclusions.add(name); };
  if (session.inspectMemory(std::move(actions)))
    pageScan.lblRunningPrograms.setCaption(std::to_string(counters.runningPrograms));
}

void FrmMain::SetBackgroundTimers(bool enable) {
  // A run that ends after the window was closed turns nothing back on in a program that is going.
  const bool on = enable && !busy() && !unloading_;
  const bool away = outOfTheWay();
  auto scheduled = settings.readNumber(keys::chkScheduledScans);
  tmrScheduler.setEnabled(on && away && scheduled && *scheduled != 0);
  tmrMemoryInspected.setEnabled(on && away && settings.isOn(keys::optMemoryShieldOn));
  tmrCheckHomePage.setEnabled(on && settings.isOn(keys::optHomePageShieldOn));
}

void FrmMain::tmrScheduler_Timer() {
  // A tick that was queued before the window came back, or before a run began, does nothing.
  if (!outOfTheWay() || !backgroundMayStart()) return;
  scheduler.tick();
}

// A box waiting for an answer keeps dispatching timer ticks (schedulerMustWait): a scan started
// under it could replace the results the box is about.
void FrmMain::runScheduledScan(bool deleteFound) {
  if (busy()) return;
  cmdScan_Click();
  prepareScan();
  PageResults::UnattendedRemoval removal(pageResults);
  const ScheduledOutcome out = session.scheduledScan(deleteFound, pageScan, removal);
  showScanEnd();
  if (!deleteFound || !out.scanned || unloading_) return;
  if (!out.cancelled) {
    cmdResults_Click();
    pageResults.showRemovalEnd();
  }
  announceScheduledRemoval(out.removal, out.cancelled);
}

}  // namespace quillon::ui
