#include "ui/frm_report.h"

#include "reports/report.h"

namespace quillon::ui {

FrmReport::FrmReport() : Form("Log") {
  width = 560, height = 440;
  txtReport.layout = {10, 10, 540, 380};
  cmdOk.layout = {460, 400, 90, 28};
  cmdOk.onClick = [this] { setVisible(false); };
}

void FrmReport::load(FileSystem& fs, Pump& pump, const std::string& appFolder, const std::string& productName) {
  txtReport.setText(reportViewerText(fs, pump, appFolder));
  setCaption(productName + " Log");
}

}  // namespace quillon::ui
