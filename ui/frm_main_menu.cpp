// The tray icon's mouse actions, its sliding popup, and the Help and About menus.
#include "ui/frm_main.h"


namespace quillon::ui {

void FrmMain::wireMenuHandlers() {
  mnuFileScanResults.setVisible(false);
  mnuViewHelp.onClick = [this] { mnuViewHelp_Click(); };
  mnuAbout.onClick = [this] { mnuAbout_Click(); };
  frmMenuPopUp.onShowProgram = [this] { ShowFromTray(); };
  frmMenuPopUp.onExitProgram = [this] { mnuClose_Click(); };
  frmAbout.cmdOk.onClick = [this] { host.destroy(frmAbout); };
  frmHelp.cmdOk.onClick = [this] { host.destroy(frmHelp); };
}

void FrmMain::TrayMouse(int message) {
  if (tickOpen_) return;  // the popup never covers a shield's alert
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

void FrmMain::mnuAbout_Click() {
  frmAbout.Form_Load(branding);
  centre(frmAbout, host.workArea());
  host.open(frmAbout, this);
}

}  // namespace quillon::ui
