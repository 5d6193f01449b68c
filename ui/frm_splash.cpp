#include "ui/frm_splash.h"

namespace quillon::ui {

FrmSplash::FrmSplash() : Form("") {
  width = 360, height = 140;
  lblName.layout = {20, 30, 320, 30};
  lblLoading.layout = {20, 80, 320, 24};
  Timer2.onTick = [this] { Timer2_Timer(); };
}

void FrmSplash::Form_Load(const std::string& productName) {
  lblName.setCaption(productName);
  setCaption(productName);
  Timer2.setEnabled(true);
}

void FrmSplash::Timer2_Timer() {
  const int16_t before = counter;
  counter += 2;
  if (before != 148) return;
  Timer2.setEnabled(false);
  if (onDone) onDone();
  setVisible(false);
}

}  // namespace quillon::ui
