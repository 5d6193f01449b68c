// The "Scheduled Scans" tab and the scheduler timer; what is due and when lives in the scheduler.
#include "ui/frm_main.h"

namespace quillon::ui {

void FrmMain::wireScheduleHandlers() {
  cmbDays.onClick = [this] { cmbDays_Click(); };
  chkAutomaticScanYesOrNo.onClick = [this] { chkAutomaticScanYesOrNo_Click(); };
  dtpScheduleDate.onChange = [this] { CmdProceed.setEnabled(true); };
  dtpScheduleTime.onChange = [this] { CmdProceed.setEnabled(true); };
  CmdProceed.onClick = [this] { CmdProceed_Click(); };
  cmdDefaultSetting.onClick = [this] { cmdDefaultSetting_Click(); };
  tmrScheduler.onTick = [this] { tmrScheduler_Timer(); };
}

// Which controls the user can change follows from the box and the chosen day.
void FrmMain::showScheduleState() {
  const bool on = chkAutomaticScanYesOrNo.value() != 0;
  const int day = cmbDays.listIndex();
  cmbDays.setEnabled(on);
  dtpScheduleDate.setEnabled(on && day == kDateAndTime);
  dtpScheduleTime.setEnabled(on && day != kNever);
}

void FrmMain::cmbDays_Click() {
  const int day = cmbDays.listIndex();
  if (day == kNever) dtpScheduleTime.setValue("");
  if (day != kDateAndTime) dtpScheduleDate.setValue("");
  showScheduleState();
  CmdProceed.setEnabled(true);
}

void FrmMain::chkAutomaticScanYesOrNo_Click() {
  // The timer follows the stored schedule, so a box checked without "Apply" starts nothing.
  const int day = cmbDays.listIndex();
  if (chkAutomaticScanYesOrNo.value() != 0 && day >= kMonday && day <= kDaily) dtpScheduleDate.setValue("");
  showScheduleState();
  CmdProceed.setEnabled(true);
}

void FrmMain::LoadSchedule() {
  auto autoDel = settings.readNumber(keys::chkAutoDel);
  chkAutoDel.setValue(autoDel && *autoDel == 1 ? 1 : 0);
  scheduler.load();
  bool saved = false;
  const Schedule s = scheduler.stored(&saved);
  if (!saved) {
    cmbDays.setListIndex(kDaily);
  } else {
    // An empty picker still shows a sensible value once the user ticks it; stored text that is
    // no date or time shows as an empty picker.
    auto shown = [](const std::string& v) {
      DateTime t;
      return parseDateTime(v, t) ? v : std::string();
    };
    const std::string now = formatDateTime(platform.clock.localTime());
    dtpScheduleDate.setValue(now);
    dtpScheduleDate.setValue(shown(s.date));
    dtpScheduleTime.setValue(now);
    dtpScheduleTime.setValue(shown(s.time));
    cmbDays.setListIndex(s.day);
  }
  chkAutomaticScanYesOrNo.setValue(s.enabled ? 1 : 0);
  showScheduleState();
  CmdProceed.setEnabled(false);
}

bool FrmMain::SaveSchedule() {
  Schedule s{chkAutomaticScanYesOrNo.value() != 0, cmbDays.listIndex(), dtpScheduleDate.value(),
             dtpScheduleTime.value()};
  switch (scheduler.apply(s)) {
    case ApplyResult::NeedDate:
      messageBox("Please select the date that you want to scan.", branding.productName, kMbOk | kMbIconInformation);
      return false;
    case ApplyResult::NeedTime:
      messageBox("Please select the time that you want to scan.", branding.productName, kMbOk | kMbIconInformation);
      return false;
    case ApplyResult::Saved:
      break;
  }
  SetBackgroundTimers(true);  // the scheduler timer follows the stored schedule and the one rule
  return true;
}

void FrmMain::CmdProceed_Click() {
  if (!SaveSchedule()) return;
  CmdProceed.setEnabled(false);
  LoadSchedule();
}

void FrmMain::cmdDefaultSetting_Click() {
  cmbDays.setListIndex(kDaily);
  chkAutomaticScanYesOrNo.setValue(0);
  CmdProceed_Click();
}

void FrmMain::tmrScheduler_Timer() {
  // A tick that was queued before the window came back, or before a run began, does nothing.
  if (!outOfTheWay() || !backgroundMayStart()) return;
  scheduler.tick();
}

// A box waiting for an answer keeps dispatching timer ticks; a scan started under it could
// replace the results the box is about.
bool FrmMain::schedulerMustWait() const { return !backgroundMayStart(); }

void FrmMain::runScheduledScan(bool deleteFound) {
  if (busy()) return;
  cmdScan_Click();
  prepareScanPage();
  UnattendedRemoval removal(*this);
  const ScheduledOutcome out = session.scheduledScan(deleteFound, *this, removal);
  showScanEnd();
  if (!deleteFound || !out.scanned || unloading_) return;
  if (!out.cancelled) {
    cmdResults_Click();
    showRemovalEnd();
  }
  announceScheduledRemoval(out.removal, out.cancelled);
}

}  // namespace quillon::ui
