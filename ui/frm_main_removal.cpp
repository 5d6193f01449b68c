// Delete on the results page: the question, the two removal passes between a restore point,
// the running total and what could not be removed.
#include "common/datetime.h"
#include "common/text.h"
#include "reports/report.h"
#include "ui/frm_main.h"

namespace quillon::ui {

namespace {
constexpr const char* LB = "\r\n";
}

// The question is part of the run: a scan started under it would replace the results it asks
// about.
void FrmMain::Command4_Click() {
  if (RunScope run{*this, Run::Removal}) askAndRemove();
}

void FrmMain::lblRemove_Click() {
  if (RunScope run{*this, Run::Removal}) removeChecked();
}

void FrmMain::askAndRemove() {
  bool any = false;
  for (int i = 0; i < results.removalCount() && !any; ++i) any = results.removalRow(i).checked;
  if (!any) {
    if (!AutoDeleteAfterScan)
      messageBox("No entries are selected.  You must check the box next to at least one item in the list.",
                 branding.productName, kMbOk | kMbIconInformation);
    return;
  }
  std::string question = std::string("Are you sure you want to delete the selected files?") + LB + LB +
                         "Deleted files will be backed up in the following folder in case you need to recover them:" +
                         LB + LB + appFolder + "\\" + kQuarantineFolder;
  if (isSystemRestoreAvailable(platform.processes.osVersion()))
    question += std::string(LB) + LB +
                "In addition, a System Restore Point will be created using Windows System Restore, accessible "
                "through:" + LB + LB + "Start > Programs > Accessories > System Tools > System Restore";
  if (!AutoDeleteAfterScan && messageBox(question, "Really Delete?", kMbYesNo) != kIdYes) return;
  for (Control* c : {static_cast<Control*>(&pgbDeleteSpywaresFound), static_cast<Control*>(&lblDeletingPercentageCompleted),
                     static_cast<Control*>(&lblDeletingCaption)})
    c->setVisible(true);
  frmDelete.lstProblem.clear();
  removeChecked();
}

void FrmMain::removeChecked() {
  BusyMark busy(platform.instanceLock, branding.productName);  // other processes see the run
  Quarantine quarantine(platform.fs, platform.registry, platform.clock, appFolder);
  quarantine.ensureFolder();
  showPage(frmResults);
  tmrScroll.setEnabled(false);
  for (Control* c : {static_cast<Control*>(&pgbDeleteSpywaresFound), static_cast<Control*>(&lblDeletingPercentageCompleted),
                     static_cast<Control*>(&lblDeletingCaption)})
    c->setVisible(true);
  lblDeletingPercentageCompleted.setCaption("Gathering information...");
  // Gives the window time to show the page before the passes begin.
  for (int i = 0; i < 20001; ++i) platform.pump.yield();
  lblDeletingPercentageCompleted.setCaption("");

  ProtectedLocations protectedLocations(platform.fs, platform.shell, platform.processes, appFolder);
  Removal removal(RemovalEnv{platform, results, quarantine, protectedLocations, own_, *this});
  RemovalOutcome outcome;
  if (isSystemRestoreAvailable(platform.processes.osVersion())) {
    lblDeletingPercentageCompleted.setCaption("Creating Restore Point...");
    platform.pump.yield();
    try {
      restorePoints.start(branding.productName + " Restore Point " + platform.clock.nowText(), 6);
    } catch (const RestorePointOpen&) {
      // A point is already open: this removal goes inside it.
    }
    outcome = removal.run();
    restorePoints.end();
  } else {
    outcome = removal.run();
  }
  lastRemoval_ = outcome;

  results.removeRemovedRows();
  lblDeletingCaption.setCaption("");
  pgbDeleteSpywaresFound.setValue(pgbDeleteSpywaresFound.max());
  lblDeletingPercentageCompleted.setCaption("100% complete");

  // The running total counts what was really removed.
  double total = 0;
  parseNumber(settings.read(keys::lblDefRemoved), total);
  settings.write(keys::lblDefRemoved, std::to_string(static_cast<long long>(total) + long(outcome.removed.size())));
  if (chkSendData.value() == 1 && sendAnonymousData) sendAnonymousData();
  RefreshStatusPage();
  for (Control* c : {static_cast<Control*>(&pgbDeleteSpywaresFound), static_cast<Control*>(&lblDeletingPercentageCompleted),
                     static_cast<Control*>(&lblDeletingCaption)})
    c->setVisible(false);
}

void FrmMain::mnuViewQuarantine_Click() {
  Quarantine quarantine(platform.fs, platform.registry, platform.clock, appFolder);
  quarantine.ensureFolder();
  platform.launcher.launch("explorer " + quarantine.folder());
}

// ---- RemovalHost
void FrmMain::showProgress(const std::string& label, int value, int max) {
  lblDeletingPercentageCompleted.setCaption(label);
  pgbDeleteSpywaresFound.setMax(std::max(max, 1));
  pgbDeleteSpywaresFound.setValue(value);
}

void FrmMain::showItem(const std::string& caption) { lblDeletingCaption.setCaption(caption); }

void FrmMain::deleteFailed(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) frmDelete.lstProblem.add(p);
  if (AutoDeleteAfterScan) return;  // an unattended run shows no window; the failures stay listed
  frmDelete.setVisible(true);
}

}  // namespace quillon::ui
