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
  switch (message) {
    case 513:  // left button down
    case 516:  // right button down
      // "Exit Program" waits while a scan runs: the side bar's Results and Settings are
      // disabled exactly then.
      frmMenuPopUp.Form_Load(branding.productName, cmdResults.enabled() || cmdSettings.enabled(), visible());
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
  settings.write(keys::RESTART, "False");
  settings.write(keys::STATUS, "STOPPED");
  tray.RemoveIcon(*this);
  Form_Unload();
}

// A help file beside the program is the help; without one the program's own help window is.
void FrmMain::mnuViewHelp_Click() {
  if (fileExists(platform.fs, appFolder + "\\Help.chm")) {
    ShowHelp();
    return;
  }
  frmHelp.Form_Load(branding.productName);
  host.open(frmHelp, this);
}

void FrmMain::mnuAbout_Click() {
  frmAbout.Form_Load(branding);
  host.open(frmAbout, this);
}

}  // namespace quillon::ui
