// The "Scheduled Scans" tab of the settings page: the schedule as the user edits it, applied
// (stored) with Apply. What is due and when lives in the scheduler.
#pragma once
#include "scheduler/scheduler.h"
#include "ui/main_page.h"

namespace quillon::ui {

class TabSchedule {
 public:
  TabSchedule(PageEnv env, Scheduler& scheduler);
  void layout(int width, int height);

  // The stored schedule into the controls; nothing left to apply.
  void load();
  // False when the schedule could not be saved as it stands.
  bool save();
  // Which controls the user can change follows from the box and the chosen day.
  void showState();

  void cmdApplySchedule_Click();
  void cmdResetSchedule_Click();
  void cmbDays_Click();
  void chkScheduledScans_Click();

 private:
  PageEnv env_;
  Scheduler& scheduler_;
  Form* const f_ = &env_.form;

 public:
  Frame frmSchedule{f_, "frmSchedule", "Scheduled Scans"};
  CheckBox chkScheduledScans{f_, "chkScheduledScans", "Enable Scheduled Scans"};
  Label lblRunOn{f_, "lblRunOn", "Run on:"};
  Label lblDate{f_, "lblDate", "Date:"};
  Label lblTime{f_, "lblTime", "Time:"};
  ComboBox cmbDays{f_, "cmbDays", {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday", "Daily", "Date & Time", "Never!"}};
  DatePicker dtpScheduleDate{f_, "dtpScheduleDate", false};
  DatePicker dtpScheduleTime{f_, "dtpScheduleTime", true};
  CheckBox chkAutoRemove{f_, "chkAutoRemove", "Delete spyware automatically after scheduled scan"};
  Button cmdApplySchedule{f_, "cmdApplySchedule", "Apply"};
  Button cmdResetSchedule{f_, "cmdResetSchedule", "Reset"};
};

}  // namespace quillon::ui
