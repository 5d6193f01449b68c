// The tray icon's mouse actions, its sliding popup, and the Help and About menus.
#include "ui/frm_main.h"

#include <cctype>

namespace quillon::ui {

void FrmMain::wireMenuHandlers() {
  mnuFileScanResults.setVisible(false);
  mnuViewHelp.onClick = [this] { mnuViewHelp_Click(); };
  mnuAbout.onClick = [this] { mnuAbout_Click(); };
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
  const std::string summary = scheduledRemovalSummary(outcome.removed.size(), outcome.failed.size(), stopped);
  lblScheduledRemoval.setCaption("Last scheduled scan (" + platform.clock.nowText() + "): " + summary);
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

}  // namespace quillon::ui
