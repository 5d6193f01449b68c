#include "ui/frm_update_windows.h"

namespace quillon::ui {

namespace {
constexpr int kLeftDoubleClick = 515;
}

FrmDownload::FrmDownload(FormHost& host) : Form("Live Update"), host_(host) {
  width = 380, height = 170;
  style = Style::Dialog;
  picUp.layout = {16, 18, 24, 24};
  picDown.layout = {16, 46, 24, 24};
  lblProduct.layout = {56, 24, 300, 40};
  txtStatus.layout = {16, 84, 348, 40};
  cmdCancel.layout = {274, 132, 90, 28};
  cmdCancel.onClick = [this] { Form_Unload(); };
  tmrBlink.onTick = [this] { tmrBlink_Timer(); };
  onTrayMouse = [this](int m) { TrayMouse(m); };
}

void FrmDownload::Form_Load() {
  tmrBlink.setEnabled(true);
  // The pictures start afresh with the window, so the first tick always shows the other one;
  // the stage counter runs on for the whole program run.
  blink.pictureDownShown = false;
  picDown.setVisible(false);
  picUp.setVisible(true);
  lblProduct.setCaption("Connecting to server/downloading.....");
  host_.trayIcon(*this, FormHost::TrayOp::Delete, "");
  host_.trayIcon(*this, FormHost::TrayOp::Add, "Getting latest definitions.");
}

void FrmDownload::tmrBlink_Timer() {
  const std::string caption = blink.tick();
  picDown.setVisible(blink.pictureDownShown);
  picUp.setVisible(!blink.pictureDownShown);
  lblProduct.setCaption(caption);
}

void FrmDownload::TrayMouse(int message) {
  if (message != kLeftDoubleClick) return;
  setWindowState(State::Normal);
  setVisible(true);
}

// Closing the window does not stop the transfer: the run goes on and finishes normally.
void FrmDownload::Form_Unload() {
  tmrBlink.setEnabled(false);
  host_.trayIcon(*this, FormHost::TrayOp::Delete, "");
  host_.destroy(*this);
}

FrmSignatureUpdated::FrmSignatureUpdated(FormHost& host) : Form("Definition Update"), host_(host) {
  width = 260, height = 130;
  style = Style::Popup;
  lblTitle.layout = {10, 8, 240, 18};
  lblUpdateInfo.layout = {10, 30, 240, 56};
  cmdOk.layout = {170, 94, 80, 26};
  cmdOk.onClick = [this] { cmdOk_Click(); };
  tmrPopupSignatureUpdate.onTick = [this] { tmrPopupSignatureUpdate_Timer(); };
  tmrEnablePopDownTimer.onTick = [this] { tmrEnablePopDownTimer_Timer(); };
  tmrPopDown.onTick = [this] { tmrPopDown_Timer(); };
}

void FrmSignatureUpdated::Form_Load(const std::string& product) {
  tmrEnablePopDownTimer.setEnabled(false);
  tmrPopDown.setEnabled(false);
  lblUpdateInfo.setCaption("All " + product +
                           " signatures have been updated automatically.  You are now protected from new malicious "
                           "applications.");
  const FormHost::Area work = host_.workArea(), screen = host_.screenArea();
  slide_.start(work.right, work.bottom, screen.bottom, width, height);
  place();
  tmrPopupSignatureUpdate.setEnabled(true);
}

void FrmSignatureUpdated::place() { moveTo(slide_.leftPx(), slide_.topPx()); }

void FrmSignatureUpdated::tmrPopupSignatureUpdate_Timer() {
  if (!visible()) setVisible(true);
  if (slide_.up()) {
    place();
    return;
  }
  tmrPopupSignatureUpdate.setEnabled(false);
  tmrEnablePopDownTimer.setEnabled(true);
}

void FrmSignatureUpdated::tmrEnablePopDownTimer_Timer() {
  tmrEnablePopDownTimer.setEnabled(false);
  tmrPopDown.setEnabled(true);
}

void FrmSignatureUpdated::tmrPopDown_Timer() {
  if (!visible()) setVisible(true);
  const bool still = slide_.down();
  place();
  if (still) return;
  tmrPopDown.setEnabled(false);
  cmdOk_Click();
}

void FrmSignatureUpdated::cmdOk_Click() {
  if (onOk) onOk();
  Form_Unload();
}

void FrmSignatureUpdated::Form_Unload() {
  for (Timer* t : {&tmrPopupSignatureUpdate, &tmrEnablePopDownTimer, &tmrPopDown}) t->setEnabled(false);
  host_.destroy(*this);
}

}  // namespace quillon::ui
