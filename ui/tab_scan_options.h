// The "Scan Options" tab of the settings page: what a scan looks at, quick or complete, on which
// drives, the start-up entry and the anonymous data.
#pragma once
#include "ui/main_page.h"

namespace quillon::ui {

class TabScanOptions {
 public:
  explicit TabScanOptions(PageEnv env);
  void layout(int width, int height);
  // The stored options into the controls (their handlers store them back unchanged).
  void load();
  // The drive list, once: the machine's drives, each checked as stored or by default.
  void fillDrives();
  void loadDrives();
  void showDrives();

  void lvwDrives_ItemCheck();
  void chkSendData_MouseUp();

 private:
  PageEnv env_;
  Form* const f_ = &env_.form;

 public:
  Frame frmScanOptions{f_, "frmScanOptions", "Scan Options"};
  CheckBox chkScanMemory{f_, "chkScanMemory", "Scan running programs (memory)"};
  CheckBox chkScanRegistry{f_, "chkScanRegistry", "Scan the registry"};
  CheckBox chkScanCookies{f_, "chkScanCookies", "Scan Internet Cookies"};
  CheckBox chkMakeLog{f_, "chkMakeLog", "Save scan results to log"};
  Frame fraScanType{f_, "fraScanType", "Scan Type"};
  Frame fraDrives{f_, "fraDrives", "Drive Selection"};
  OptionButton optQuickScan{f_, "optQuickScan", "Quick Scan", 4};
  OptionButton optCompleteScan{f_, "optCompleteScan", "Complete System Scan", 4};
  ListView lvwDrives{f_, "lvwDrives", {{"Drive", 2400}}, true};
  CheckBox chkRunAtStartup{f_, "chkRunAtStartup", "Run at Startup and protect my computer automatically"};
  CheckBox chkSendData{f_, "chkSendData", "Send anonymous data to help identify unknown spyware"};
  Button cmdOpenScanPage{f_, "cmdOpenScanPage", "Scan Now"};
};

}  // namespace quillon::ui
