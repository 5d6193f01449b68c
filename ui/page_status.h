// The status page: the program's and the definitions' versions, the last scans, the running
// total, and the frame where the user submits a suspicious file's name.
#pragma once
#include "ui/main_page.h"

namespace quillon::ui {

class PageStatus {
 public:
  explicit PageStatus(PageEnv env);
  void layout(int width, int height);
  // Shows the counts, dates and totals as the session and the settings hold them now.
  void refresh();

  void cmdSubmit_Click();
  void cmdBrowse_Click();

 private:
  PageEnv env_;
  Form* const f_ = &env_.form;

 public:
  Frame frmStatus{f_, "frmStatus", "Status"};
  Label lblWelcome{f_, "lblWelcome"};
  Label lblVersionCaption{f_, "lblVersionCaption", "Program version:"};
  Label lblVersion{f_, "lblVersion"};
  Label lblDefCountCaption{f_, "lblDefCountCaption", "Definitions:"};
  Label lblDefCount{f_, "lblDefCount"};
  Label lblDefVersionCaption{f_, "lblDefVersionCaption", "Definitions date:"};
  Label lblDefVersion{f_, "lblDefVersion"};
  Label lblLastScanCaption{f_, "lblLastScanCaption", "Your last scan was completed:"};
  Label lblLastScan{f_, "lblLastScan"};
  Label lblLastFullScanCaption{f_, "lblLastFullScanCaption", "Your last full system scan was completed:"};
  Label lblLastFullScan{f_, "lblLastFullScan"};
  Label lblDefRemovedCaption{f_, "lblDefRemovedCaption", "Threats removed so far:"};
  Label lblDefRemoved{f_, "lblDefRemoved"};
  // submitting a suspicious file name
  Frame fraSubmit{f_, "fraSubmit", "Submit a suspicious file"};
  TextBox txtFilename{f_, "txtFilename", true};
  Button cmdBrowse{f_, "cmdBrowse", "Browse"};
  Button cmdSubmit{f_, "cmdSubmit", "Submit"};
  Label lblSubmitResult{f_, "lblSubmitResult", "Results:"};
};

}  // namespace quillon::ui
