#include "ui/page_results.h"

#include "definitions/definition_store.h"

namespace quillon::ui {

PageResults::PageResults(PageEnv env, FrmDelete& failures) : env_(env), failures_(failures) {
  cmdSelectAll.onClick = [this] { cmdSelectAll_Click(); };
  cmdExclude.onClick = [this] { cmdExclude_Click(); };
  cmdDelete.onClick = [this] { cmdDelete_Click(); };
  lblRemove.onClick = [this] { lblRemove_Click(); };
  cmdDelete.toolTip = "Permanently delete selected items";
  lblRemove.setVisible(false);
  // Names and paths are read whole until the user sizes the columns.
  lvwResults.fitColumns = true;
}

void PageResults::layout(int width, int height) {
  const int inner = width - 46;
  place(lblResultsCaption, &frmResults, 20, 16, 160, 20);
  place(lblRemovalCount, &frmResults, 186, 16, inner - 166, 20);  // "8 to remove, 1 program stopped"
  // The list takes what the page has left above the buttons and the removal's progress.
  place(lvwResults, &frmResults, 20, 44, inner, height - 178);
  place(lblScheduledRemoval, &frmResults, 20, height - 130, inner, 20);
  place(cmdSelectAll, &frmResults, 20, height - 104, 110, 30);
  place(cmdExclude, &frmResults, 140, height - 104, 110, 30);
  place(cmdDelete, &frmResults, 260, height - 104, 110, 30);
  place(pgbRemoval, &frmResults, 20, height - 64, inner, 16);
  place(lblRemovalProgress, &frmResults, 20, height - 44, 200, 20);
  place(lblRemovalItem, &frmResults, 220, height - 44, inner - 200, 20);
}

void PageResults::cmdSelectAll_Click() {
  if (!env_.session.busy()) env_.session.results.checkAll();  // a removal running acts on the check marks
}

void PageResults::cmdExclude_Click() {
  if (Session::Scope run{env_.session, Operation::Exclusion}) excludeChecked();
}

void PageResults::excludeChecked() {
  if (env_.session.results.nothingToExclude()) {
    say("Sorry, there are no entries to be excluded.", kMbOk | kMbIconInformation);
    return;
  }
  const std::string question =
      "Are you sure you want to exclude the selected files?\r\n\r\n"
      "Excluded files will not show up as Adware/Spyware on future scans.\r\n\r\n"
      "You can edit the list of excluded files through the Quarantine menu.";
  if (env_.frame.messageBox(question, "Really Exclude?", kMbYesNo) != kIdYes) return;
  // The whole selection goes to the file in one write and one reload.
  lblRemovalItem.setCaption("");
  env_.session.excludeChecked();
}

// The question is part of the run: a scan started under it would replace the results it asks
// about.
void PageResults::cmdDelete_Click() {
  if (Session::Scope run{env_.session, Operation::Removal})
    removeChecked(RemovalOptions{true, true, env_.session.branding.productName});
}

void PageResults::lblRemove_Click() {
  if (Session::Scope run{env_.session, Operation::Removal})
    removeChecked(RemovalOptions{false, false, env_.session.branding.productName});
}

void PageResults::removeChecked(const RemovalOptions& options) {
  if (env_.session.remove(options, *this).ran) showRemovalEnd();
}

void PageResults::showRemovalEnd() {
  pgbRemoval.setValue(pgbRemoval.max());
  // The programs the scan stopped stay said; the rows the removal took are gone from the count.
  const Session& s = env_.session;
  lblRemovalCount.setCaption(foundSummary(
      {s.results.removalCount(), s.lastScan.found.programsStopped, s.lastScan.found.programsNotStopped}));
  env_.frame.refreshStatus();
  showRemovalProgress(false);
}

void PageResults::showRemovalProgress(bool on) {
  for (Control* c : {static_cast<Control*>(&pgbRemoval), static_cast<Control*>(&lblRemovalProgress),
                     static_cast<Control*>(&lblRemovalItem)})
    c->setVisible(on);
}

// ---- RemovalRunHost
void PageResults::showProgress(const std::string& label, int value, int max) {
  lblRemovalProgress.setCaption(label);
  pgbRemoval.setMax(std::max(max, 1));
  pgbRemoval.setValue(value);
}

void PageResults::showItem(const std::string& caption) { lblRemovalItem.setCaption(caption); }

void PageResults::nothingChecked() { say(kNothingCheckedMessage, kMbOk | kMbIconInformation); }

bool PageResults::confirm(const std::string& question, const std::string& title) {
  return env_.frame.messageBox(question, title, kMbYesNo) == kIdYes;
}

void PageResults::removalStarted() {
  failures_.lstProblem.clear();
  env_.frame.showPage(frmResults);
  showRemovalProgress(true);
}

void PageResults::stage(const std::string& text) { lblRemovalProgress.setCaption(text); }

void PageResults::refused(const std::string& text) { say(text, kMbOk | kMbIconExclamation); }

void PageResults::deleteFailed(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) failures_.lstProblem.add(p);
  failures_.setVisible(true);
}

void PageResults::UnattendedRemoval::deleteFailed(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) page_.failures_.lstProblem.add(p);
}

}  // namespace quillon::ui
