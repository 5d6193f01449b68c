// The two shields between scans as the main window runs them: their timers, the alert windows
// and the buttons' answers.
#include "ui/frm_main.h"

namespace quillon::ui {

void FrmMain::wireShieldHandlers() {
  tmrMemoryInspected.onTick = [this] { tmrMemoryInspected_Timer(); };
  tmrCheckHomePage.onTick = [this] { tmrCheckHomePage_Timer(); };
  FrmSpywareFoundAlert& alert = frmSpywareFoundAlert;
  alert.cmdYes.onClick = [this] {
    frmSpywareFoundAlert.cmdYes.setEnabled(false);
    memoryShield.stop();
  };
  alert.cmdNO.onClick = [this] { memoryShield.allow(); };
  FrmHomePageChangedAlert& question = frmHomePageChangedAlert;
  question.cmdYes.onClick = [this] {
    homePageShield.restore();
    host.destroy(frmHomePageChangedAlert);
  };
  question.cmdNO.onClick = [this] {
    homePageShield.accept();
    host.destroy(frmHomePageChangedAlert);
  };
}

// Memory alerts come only while the window is out of the way, whichever timer brings the tick.
void FrmMain::tmrMemoryInspected_Timer() {
  if (outOfTheWay() && settings.isOn(keys::optMemoryShieldOn)) backgroundTick([this] { memoryShield.tick(); });
}
void FrmMain::memoryShieldTick() {
  if (outOfTheWay()) memoryShield.tick();
}
void FrmMain::tmrCheckHomePage_Timer() {
  backgroundTick([this] { homePageShield.tick(); });
}

// The timers stay off for the whole tick, however long its question waits, and a tick that
// comes meanwhile (a timer message queued before) does nothing: ticks never nest.
void FrmMain::backgroundTick(const std::function<void()>& tick) {
  if (!backgroundMayStart()) return;
  if (Session::Scope run{session, Operation::ShieldTick}) tick();
}

void FrmMain::showOverMain(Form& f) {
  frmMenuPopUp.Form_Unload();
  setEnabled(false);
  host.showModal(f);
  setEnabled(true);
}

void FrmMain::showAlert(const std::string& fileName, const std::string& companyText) {
  FrmSpywareFoundAlert& alert = frmSpywareFoundAlert;
  alert.lblAlertCompanyName.setCaption(companyText);
  alert.lblAlertFileName.setCaption(fileName);
  alert.cmdYes.setEnabled(true);
  // Near the notification area, where the user looks for what the resident program says.
  FormHost::Area area = host.workArea();
  alert.moveTo(area.right - alert.width - 24, area.bottom - alert.height - 48);
  showOverMain(alert);
}

void FrmMain::askAboutChangedPage(const std::string& message) {
  FrmHomePageChangedAlert& question = frmHomePageChangedAlert;
  question.lblHomePageInfo.setCaption(message);
  FormHost::Area area = host.workArea();
  question.moveTo((area.left + area.right - question.width) / 2, (area.top + area.bottom - question.height) / 2);
  showOverMain(question);
}

}  // namespace quillon::ui
