#include "ui/frm_update_windows.h"

#include <algorithm>

namespace quillon::ui {

namespace {
constexpr int kLeftDoubleClick = 515;
}

FrmDownload::FrmDownload(FormHost& host) : Form("Live Update"), host_(host) {
  width = 380, height = 190;
  style = Style::Dialog;
  picDownload.layout = {12, 10, 44, 58};
  lblProduct.layout = {66, 26, 298, 36};
  txtStatus.layout = {16, 76, 348, 40};
  pgbDownload.layout = {16, 124, 348, 16};
  pgbDownload.setMax(1000);
  cmdCancel.layout = {274, 152, 90, 28};
  cmdCancel.onClick = [this] { Form_Unload(); };
  tmrBlink.onTick = [this] { tmrBlink_Timer(); };
  tmrPicture.onTick = [this] { picDownload.nextFrame(); };
  onTrayMouse = [this](int m) { TrayMouse(m); };
}

void FrmDownload::Form_Load() {
  tmrBlink.setEnabled(true);
  tmrPicture.setEnabled(true);
  // The captions and the picture start afresh with the window; the stage counter runs on for
  // the whole program run.
  blink.pictureDownShown = false;
  picDownload.setFrame(0);
  pgbDownload.setValue(0);
  pgbDownload.setVisible(false);
  lblProduct.setCaption("Connecting to server/downloading.....");
  host_.trayIcon(*this, FormHost::TrayOp::Delete, "");
  host_.trayIcon(*this, FormHost::TrayOp::Add, "Getting latest definitions.");
}

void FrmDownload::tmrBlink_Timer() { lblProduct.setCaption(blink.tick()); }

void FrmDownload::showProgress(size_t received, size_t expected) {
  pgbDownload.setVisible(expected > 0);
  if (expected > 0)
    pgbDownload.setValue(int(std::min<size_t>(received, expected) * size_t(pgbDownload.max()) / expected));
}

void FrmDownload::TrayMouse(int message) {
  if (message != kLeftDoubleClick) return;
  setWindowState(State::Normal);
  setVisible(true);
}

// Closing the window does not stop the transfer: the run goes on and finishes normally.
void FrmDownload::Form_Unload() {
  tmrBlink.setEnabled(false);
  tmrPicture.setEnabled(false);
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
