#include "ui/tab_schedule.h"

namespace quillon::ui {

TabSchedule::TabSchedule(PageEnv env, Scheduler& scheduler) : env_(env), scheduler_(scheduler) {
  cmbDays.onClick = [this] { cmbDays_Click(); };
  chkScheduledScans.onClick = [this] { chkScheduledScans_Click(); };
  dtpScheduleDate.onChange = [this] { cmdApplySchedule.setEnabled(true); };
  dtpScheduleTime.onChange = [this] { cmdApplySchedule.setEnabled(true); };
  cmdApplySchedule.onClick = [this] { cmdApplySchedule_Click(); };
  cmdResetSchedule.onClick = [this] { cmdResetSchedule_Click(); };
  storeOnClick(env_.session.settings, chkAutoRemove, keys::chkAutoRemove);
  cmdApplySchedule.setEnabled(false);  // until there is a change to apply
}

void TabSchedule::layout(int width, int) {
  place(chkScheduledScans, &frmSchedule, 16, 16, 300, 22);
  place(lblRunOn, &frmSchedule, 16, 48, 160, 18);
  place(lblDate, &frmSchedule, 190, 48, 140, 18);
  place(lblTime, &frmSchedule, 340, 48, 120, 18);
  place(cmbDays, &frmSchedule, 16, 68, 160, 200);
  place(dtpScheduleDate, &frmSchedule, 190, 68, 140, 24);
  place(dtpScheduleTime, &frmSchedule, 340, 68, 120, 24);
  place(chkAutoRemove, &frmSchedule, 16, 108, width - 76, 22);
  place(cmdApplySchedule, &frmSchedule, 16, 148, 100, 30);
  place(cmdResetSchedule, &frmSchedule, 126, 148, 100, 30);
}

void TabSchedule::showState() {
  const bool on = chkScheduledScans.value() != 0;
  const int day = cmbDays.listIndex();
  cmbDays.setEnabled(on);
  dtpScheduleDate.setEnabled(on && day == kDateAndTime);
  dtpScheduleTime.setEnabled(on && day != kNever);
}

void TabSchedule::cmbDays_Click() {
  const int day = cmbDays.listIndex();
  if (day == kNever) dtpScheduleTime.setValue("");
  if (day != kDateAndTime) dtpScheduleDate.setValue("");
  showState();
  cmdApplySchedule.setEnabled(true);
}

void TabSchedule::chkScheduledScans_Click() {
  // The timer follows the stored schedule, so a box checked without "Apply" starts nothing.
  const int day = cmbDays.listIndex();
  if (chkScheduledScans.value() != 0 && day >= kMonday && day <= kDaily) dtpScheduleDate.setValue("");
  showState();
  cmdApplySchedule.setEnabled(true);
}

void TabSchedule::load() {
  auto autoRemove = env_.session.settings.readNumber(keys::chkAutoRemove);
  chkAutoRemove.setValue(autoRemove && *autoRemove == 1 ? 1 : 0);
  scheduler_.load();
  bool saved = false;
  const Schedule s = scheduler_.stored(&saved);
  if (!saved) {
    cmbDays.setListIndex(kDaily);
  } else {
    // An empty picker still shows a sensible value once the user ticks it; stored text that is
    // no date or time shows as an empty picker.
    auto shown = [](const std::string& v) {
      DateTime t;
      return parseDateTime(v, t) ? v : std::string();
    };
    const std::string now = formatDateTime(env_.platform.clock.localTime());
    dtpScheduleDate.setValue(now);
    dtpScheduleDate.setValue(shown(s.date));
    dtpScheduleTime.setValue(now);
    dtpScheduleTime.setValue(shown(s.time));
    cmbDays.setListIndex(s.day);
  }
  chkScheduledScans.setValue(s.enabled ? 1 : 0);
  showState();
  cmdApplySchedule.setEnabled(false);
}

bool TabSchedule::save() {
  Schedule s{chkScheduledScans.value() != 0, cmbDays.listIndex(), dtpScheduleDate.value(), dtpScheduleTime.value()};
  const std::string& name = env_.session.branding.productName;
  switch (scheduler_.apply(s)) {
    case ApplyResult::NeedDate:
      env_.frame.messageBox("Please select the date that you want to scan.", name, kMbOk | kMbIconInformation);
      return false;
    case ApplyResult::NeedTime:
      env_.frame.messageBox("Please select the time that you want to scan.", name, kMbOk | kMbIconInformation);
      return false;
    case ApplyResult::Saved:
      break;
  }
  env_.frame.followOptions();  // the scheduler timer follows the stored schedule and the one rule
  return true;
}

void TabSchedule::cmdApplySchedule_Click() {
  if (!save()) return;
  cmdApplySchedule.setEnabled(false);
  load();
}

void TabSchedule::cmdResetSchedule_Click() {
  cmbDays.setListIndex(kDaily);
  chkScheduledScans.setValue(0);
  cmdApplySchedule_Click();
}

}  // namespace quillon::ui
