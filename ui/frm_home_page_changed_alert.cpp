#include "ui/frm_home_page_changed_alert.h"

namespace quillon::ui {

FrmHomePageChangedAlert::FrmHomePageChangedAlert(const std::string& productName) : Form(productName) {
  width = 420, height = 250;
  style = Style::Dialog;
  topMost = true;
  lblFrmHomePageProductName.setCaption(productName);
  lblFrmHomePageProductName.layout = {14, 10, 392, 20};
  // Room for two page addresses of a few lines each.
  lblHomePageInfo.layout = {14, 36, 392, 166};
  cmdYes.layout = {226, 212, 86, 28};
  cmdNO.layout = {320, 212, 86, 28};
}

}  // namespace quillon::ui
