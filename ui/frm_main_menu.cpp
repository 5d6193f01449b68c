// The tray icon's mouse actions, its sliding popup, and the Help and About menus.
#include "ui/frm_main.h"

#include <cctype>

#include "removal/quarantine.h"

namespace quillon::ui {

void FrmMain::wireMenuHandlers() {
  menu.mnuFileScanResults.setVisible(false);
  menu.mnuFileScanNow.onClick = [this] { cmdScan_Click(); };
  menu.mnuFileViewLog.onClick = [this] { cmdLog_Click(); };
  menu.mnuFileLiveUpdate.onClick = [this] { RunLiveUpdate(); };
  menu.mnuFileMinimize.onClick = [this] { cmdSendToTray_Click(); };
  menu.mnuFileExit.onClick = [this] { Form_QueryUnload(); Form_Unload(); };
  menu.mnuViewQuarantine.onClick = [this] { mnuViewQuarantine_Click(); };
  menu.mnuViewExclusions.onClick = [this] { mnuViewExclusions_Click(); };
  menu.mnuManageQuarantine.onClick = [this] { mnuManageQuarantine_Click(); };
  MenuItem* tabItems[] = {&menu.mnuSettingsScanOptions, &menu.mnuSettingsProtection, &menu.mnuSettingsSchedule,
                          &menu.mnuSettingsUpdate};
  const int tabOf[] = {1, 3, 2, 4};
  for (int i = 0; i < 4; ++i)
    tabItems[i]->onClick = [this, tab = tabOf[i]] {
      cmdSettings_Click();
      tabSettings.select(tab);
    };
  menu.mnuViewHelp.onClick = [this] { mnuViewHelp_Click(); };
  menu.mnuAbout.onClick = [this] { mnuAbout_Click(); };
  frmMenuPopUp.onShowProgram = [this] { ShowFromTray(); };
  frmMenuPopUp.onExitProgram = [this] { mnuClose_Click(); };
  frmAbout.cmdOk.onClick = [this] { host.destroy(frmAbout); };
  frmHelp.cmdOk.onClick = [this] { host.destroy(frmHelp); };
  cmdWebsite.onClick = [this] { cmdWebsite_Click(); };
}

void FrmMain::TrayMouse(int message) {
  if (session.running() == Operation::ShieldTick) return;  // the popup never covers a shield's alert
  switch (message) {
    case 513:  // left button down
    case 516:  // right button down
      // A minimised window is not on screen, though it is visible: "Show Program" is offered
      // for it too (a start in the tray leaves the window so).
      frmMenuPopUp.Form_Load(branding.productName, !exitWaits(), visible() && windowState() != State::Minimized);
      break;
    case 515:  // left double-click
    case 518:  // right double-click
      ShowFromTray();
      frmMenuPopUp.Form_Unload();
      break;
    default:
      break;
  }
}

void FrmMain::announceScheduledRemoval(const RemovalOutcome& outcome, bool stopped) {
  const std::string summary = scheduledRemovalSummary(session.lastScan.found, results.removalCount(), stopped);
  pageResults.lblScheduledRemoval.setCaption("Last scheduled scan (" + platform.clock.nowText() + "): " + summary);
  tray.Balloon(*this, branding.productName + " scheduled scan",
               summary + (outcome.failed.empty() ? "" : " What could not be removed is still listed on the results page."));
}

void FrmMain::ShowFromTray() {
  setWindowState(State::Normal);
  setVisible(true);
}

void FrmMain::mnuClose_Click() {
  if (exitWaits()) return;  // "Exit Program" waits for the run to end
  settings.write(keys::RESTART, "False");
  settings.write(keys::STATUS, "STOPPED");
  tray.RemoveIcon(*this);
  Form_Unload();
}

// A help file beside the program is the help; without one the program's own help window is.
namespace {
// Help and About open in the middle of the free screen area.
void centre(Form& f, const FormHost::Area& a) {
  f.moveTo(a.left + (a.right - a.left - f.width) / 2, a.top + (a.bottom - a.top - f.height) / 2);
}
}  // namespace

void FrmMain::mnuViewHelp_Click() {
  if (fileExists(platform.fs, appFolder + "\\Help.chm")) {
    ShowHelp();
    return;
  }
  frmHelp.Form_Load(branding.productName);
  centre(frmHelp, host.workArea());
  host.open(frmHelp, this);
}

namespace {
// The branding's web site is a bare domain. Anything else (a path, a command, a scheme of its
// own) is never handed to the shell, which would open or run whatever it names.
std::string webSiteAddress(const std::string& site) {
  if (site.empty() || site.size() > 253 || site.front() == '.' || site.front() == '-' ||
      site.find('.') == std::string::npos)
    return "";
  for (char c : site)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return "";
  return "http://www." + site + "/";
}
}  // namespace

void FrmMain::cmdWebsite_Click() {
  const std::string address = webSiteAddress(branding.webSite);
  if (!address.empty() && platform.launcher.openDocument(address)) return;
  messageBox("The web site " + (address.empty() ? branding.webSite : address) + " could not be opened.",
             branding.productName, kMbOk | kMbIconExclamation);
}

void FrmMain::mnuAbout_Click() {
  frmAbout.Form_Load(branding);
  centre(frmAbout, host.workArea());
  host.open(frmAbout, this);
}

void FrmMain::mnuViewQuarantine_Click() {
  Quarantine quarantine(platform.fs, platform.registry, platform.clock, appFolder);
  quarantine.ensureFolder();
  platform.launcher.launch("explorer " + quarantine.folder());
}

void FrmMain::mnuViewExclusions_Click() {
  const std::string path = appFolder + "\\" + kExclusionFile;
  if (!fileExists(platform.fs, path)) {
    messageBox("No exclusion file exists yet.", "No Exclusion File", kMbOk);
    return;
  }
  platform.launcher.launch("notepad " + path);
}

void FrmMain::mnuManageQuarantine_Click() {
  // Its restores and deletions take the quarantine's lock; holding the one operation keeps a
  // scan, a removal or a shield's tick from starting under the window.
  if (Session::Scope run{session, Operation::Quarantine}) {
    frmQuarantine.Form_Load();
    centre(frmQuarantine, host.workArea());
    showOverMain(frmQuarantine);
  }
}

void FrmMain::cmdLog_Click() {
  if (busy()) return;  // the report of a run is written at its end
  pageScan.lblViewLogFile.setEnabled(false);
  frmReport.load(platform.fs, platform.pump, appFolder, branding.productName);
  ++openBoxes_;  // timers still tick under the viewer; nothing starts there
  host.showModal(frmReport);
  --openBoxes_;
  pageScan.lblViewLogFile.setEnabled(true);
}

}  // namespace quillon::ui
