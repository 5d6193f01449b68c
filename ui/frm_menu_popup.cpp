#include "ui/frm_menu_popup.h"

namespace quillon::ui {

FrmMenuPopUp::FrmMenuPopUp(FormHost& host) : Form("frmMenuPopUp"), host_(host) {
  style = Style::Popup;
  setShowInTaskbar(false);
  width = 170, height = 116;
  lblName.layout = {10, 8, 150, 20};
  mnuShowProgram.layout = {22, 36, 136, 20};
  mnuClose.layout = {22, 60, 136, 20};
  lblMenuClose.layout = {22, 84, 136, 20};
  tmrMenuPopup.onTick = [this] { tmrMenuPopup_Timer(); };
  TmrEnablePopDown.onTick = [this] { TmrEnablePopDown_Timer(); };
  tmrPopDown.onTick = [this] { tmrPopDown_Timer(); };
  mnuShowProgram.onClick = [this] { mnuShowProgram_Click(); };
  mnuClose.onClick = [this] { mnuClose_Click(); };
  lblMenuClose.onClick = [this] { lblMenuClose_Click(); };
  onMouseMove = [this] { Form_MouseMove(); };
}

void FrmMenuPopUp::Form_Load(const std::string& productName, bool canExit, bool mainOnScreen) {
  lblName.setCaption(productName);
  mnuClose.setEnabled(canExit);
  mnuShowProgram.setEnabled(!mainOnScreen);
  motion.mouseMoved();
  if (loaded_) {
    // A click while the popup is up keeps it; one while it slides away brings it back.
    if (tmrPopDown.enabled()) {
      tmrPopDown.setEnabled(false);
      tmrMenuPopup.setEnabled(true);
    }
    return;
  }
  tmrPopDown.setEnabled(false);
  TmrEnablePopDown.setEnabled(false);
  // The frame adds a pixel on each side.
  const FormHost::Area area = host_.workArea();
  left = area.right - width - 2;
  motion.start(area.bottom, height + 2);
  place();
  loaded_ = true;
  host_.open(*this, nullptr);
  tmrMenuPopup.setEnabled(true);
}

void FrmMenuPopUp::Form_Unload() {
  for (Timer* t : {&tmrMenuPopup, &TmrEnablePopDown, &tmrPopDown}) t->setEnabled(false);
  motion.mouseMoved();
  if (!loaded_) return;
  loaded_ = false;
  host_.destroy(*this);
  setVisible(false);
}

void FrmMenuPopUp::tmrMenuPopup_Timer() {
  setVisible(true);
  if (motion.stepUp()) return place();
  tmrMenuPopup.setEnabled(false);
  TmrEnablePopDown.setEnabled(true);
}

void FrmMenuPopUp::TmrEnablePopDown_Timer() {
  if (!motion.idleSecond()) return;
  TmrEnablePopDown.setEnabled(false);
  tmrPopDown.setEnabled(true);
}

void FrmMenuPopUp::tmrPopDown_Timer() {
  if (motion.stepDown()) return place();
  Form_Unload();
}

void FrmMenuPopUp::lblMenuClose_Click() {
  TmrEnablePopDown.setEnabled(false);
  tmrMenuPopup.setEnabled(false);
  tmrPopDown.setEnabled(true);
}

void FrmMenuPopUp::mnuShowProgram_Click() {
  if (onShowProgram) onShowProgram();
  lblMenuClose_Click();
}

void FrmMenuPopUp::mnuClose_Click() {
  if (onExitProgram) onExitProgram();
  Form_Unload();
}

}  // namespace quillon::ui
