// Delete on the results page: starts the removal run and shows what it is told; the running
// total and the anonymous report follow it.
#include "removal/removal_run.h"
#include "ui/frm_main.h"

namespace quillon::ui {

// The question is part of the run: a scan started under it would replace the results it asks
// about.
void FrmMain::Command4_Click() {
  if (Session::Scope run{session, Operation::Removal}) removeChecked(RemovalOptions{true, true, branding.productName}, *this);
}

void FrmMain::lblRemove_Click() {
  if (Session::Scope run{session, Operation::Removal}) removeChecked(RemovalOptions{false, false, branding.productName}, *this);
}

void FrmMain::removeChecked(const RemovalOptions& options, RemovalRunHost& removalHost) {
  if (!session.remove(options, removalHost).ran) return;
  showRemovalEnd();
}

void FrmMain::showRemovalEnd() {
  pgbDeleteSpywaresFound.setValue(pgbDeleteSpywaresFound.max());
  lblRemovePicSoftwareFound.setCaption(std::to_string(results.removalCount()));
  RefreshStatusPage();
  showRemovalProgress(false);
}

void FrmMain::showRemovalProgress(bool on) {
  for (Control* c : {static_cast<Control*>(&pgbDeleteSpywaresFound), static_cast<Control*>(&lblDeletingPercentageCompleted),
                     static_cast<Control*>(&lblDeletingCaption)})
    c->setVisible(on);
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

void FrmMain::nothingChecked() { messageBox(kNothingCheckedMessage, branding.productName, kMbOk | kMbIconInformation); }

bool FrmMain::confirm(const std::string& question, const std::string& title) {
  return messageBox(question, title, kMbYesNo) == kIdYes;
}

void FrmMain::removalStarted() {
  frmDelete.lstProblem.clear();
  showPage(frmResults);
  tmrScroll.setEnabled(false);
  showRemovalProgress(true);
}

void FrmMain::stage(const std::string& text) { lblDeletingPercentageCompleted.setCaption(text); }

void FrmMain::refused(const std::string& text) { messageBox(text, branding.productName, kMbOk | kMbIconExclamation); }

void FrmMain::deleteFailed(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) frmDelete.lstProblem.add(p);
  frmDelete.setVisible(true);
}

void FrmMain::UnattendedRemoval::deleteFailed(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) m_.frmDelete.lstProblem.add(p);
}

}  // namespace quillon::ui
