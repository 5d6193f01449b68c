#include "ui/page_status.h"

#include "common/text.h"
#include "reports/submission.h"

namespace quillon::ui {

PageStatus::PageStatus(PageEnv env) : env_(env) {
  txtFilename.onKeyPress = [this](int key) {
    if (key == 13) cmdSubmit_Click();
  };
  cmdSubmit.onClick = [this] { cmdSubmit_Click(); };
  cmdBrowse.onClick = [this] { cmdBrowse_Click(); };
}

void PageStatus::layout(int width, int) {
  const int inner = width - 46;  // the page's border and margins
  place(lblWelcome, &frmStatus, 20, 24, inner, 28);
  int y = 80;
  for (auto [cap, val] : {std::pair<Label*, Label*>{&lblVersionCaption, &lblVersion}, {&lblDefCountCaption, &lblDefCount},
                          {&lblDefVersionCaption, &lblDefVersion}, {&lblLastScanCaption, &lblLastScan},
                          {&lblLastFullScanCaption, &lblLastFullScan}, {&lblDefRemovedCaption, &lblDefRemoved}}) {
    place(*cap, &frmStatus, 20, y, 270, 22);
    place(*val, &frmStatus, 300, y, inner - 280, 22);
    y += 34;
  }
  place(fraSubmit, &frmStatus, 20, 300, inner + 10, 130);
  place(txtFilename, &fraSubmit, 14, 28, inner - 240, 24);
  place(cmdBrowse, &fraSubmit, inner - 216, 26, 90, 28);
  place(cmdSubmit, &fraSubmit, inner - 116, 26, 100, 28);
  place(lblSubmitResult, &fraSubmit, 14, 62, inner - 30, 56);
}

void PageStatus::refresh() {
  Session& s = env_.session;
  lblDefCount.setCaption(groupDigits(s.counts.total()));
  lblVersion.setCaption(std::to_string(s.branding.major) + "." + std::to_string(s.branding.minor));
  lblDefVersion.setCaption(s.defs.readDate() + " PST");
  lblDefRemoved.setCaption(s.settings.read(keys::lblDefRemoved));
  lblLastScan.setCaption(s.settings.read(keys::lblLastScan));
  lblLastFullScan.setCaption(s.settings.read(keys::lblLastFullScan));
}

void PageStatus::cmdSubmit_Click() {
  Session& s = env_.session;
  Session::Scope run{s, Operation::Submission};
  if (!run) return;
  const SubmissionOutcome out = s.submit(txtFilename.text());
  lblSubmitResult.setCaption(out.text);
  if (out.sent) txtFilename.setText("");  // a refused name stays in the box, to be put right
}

void PageStatus::cmdBrowse_Click() {
  std::string path;
  if (!env_.platform.fileDialog.chooseFile("Open", path)) return;
  size_t slash = path.rfind('\\');
  txtFilename.setText(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace quillon::ui
