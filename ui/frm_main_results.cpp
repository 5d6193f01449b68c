// The results page (Select All, Exclude, Delete), the exclusion list and the scan report.
#include "common/text.h"
#include "reports/report.h"
#include "ui/frm_main.h"

namespace quillon::ui {

void FrmMain::cmdSelectAll_Click() {
  if (!busy()) results.checkAll();  // a removal running acts on the check marks
}

void FrmMain::cmdExclude_Click() {
  if (Session::Scope run{session, Operation::Exclusion}) excludeChecked();
}

void FrmMain::excludeChecked() {
  if (results.nothingToExclude()) {
    messageBox("Sorry, there are no entries to be excluded.", branding.productName, kMbOk | kMbIconInformation);
    return;
  }
  const std::string question =
      "Are you sure you want to exclude the selected files?\r\n\r\n"
      "Excluded files will not show up as Adware/Spyware on future scans.\r\n\r\n"
      "You can edit the list of excluded files through the Quarantine menu.";
  if (messageBox(question, "Really Exclude?", kMbYesNo) != kIdYes) return;
  // The whole selection goes to the file in one write and one reload.
  lblDeletingCaption.setCaption("");
  session.excludeChecked();
}

void FrmMain::mnuViewExclusions_Click() {
  const std::string path = appFolder + "\\" + kExclusionFile;
  if (!fileExists(platform.fs, path)) {
    messageBox("No exclusion file exists yet.", "No Exclusion File", kMbOk);
    return;
  }
  platform.launcher.launch("notepad " + path);
}

// ---- report -----------------------------------------------------------------------------------
void FrmMain::lblViewLogFile_Click() {
  if (busy()) return;  // the report of a run is written at its end
  lblViewLogFile.setEnabled(false);
  frmReport.load(platform.fs, platform.pump, appFolder, branding.productName);
  ++openBoxes_;  // timers still tick under the viewer; nothing starts there
  host.showModal(frmReport);
  --openBoxes_;
  lblViewLogFile.setEnabled(true);
}

void FrmMain::cmdLog_Click() { lblViewLogFile_Click(); }

}  // namespace quillon::ui
