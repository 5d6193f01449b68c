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

void FrmMain::tmrMemoryInspected_Timer() { memoryShield.tick(); }
void FrmMain::tmrCheckHomePage_Timer() { homePageShield.tick(); }

void FrmMain::showAlert(const std::string& fileName, const std::string& companyText) {
  FrmSpywareFoundAlert& alert = frmSpywareFoundAlert;
  alert.lblAlertCompanyName.setCaption(companyText);
  alert.lblAlertFileName.setCaption(fileName);
  alert.cmdYes.setEnabled(true);
  // Near the notification area, where the user looks for what the resident program says.
  FormHost::Area area = host.workArea();
  alert.moveTo(area.right - alert.width - 24, area.bottom - alert.height - 48);
  // Not modal: the main window stays usable while the tick waits here for the answer.
  host.showModal(alert);
}

void FrmMain::askAboutChangedPage(const std::string& message) {
  FrmHomePageChangedAlert& question = frmHomePageChangedAlert;
  question.lblHomePageInfo.setCaption(message);
  FormHost::Area area = host.workArea();
  question.moveTo((area.left + area.right - question.width) / 2, (area.top + area.bottom - question.height) / 2);
  host.showModal(question);
}

}  // namespace quillon::ui
