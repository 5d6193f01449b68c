// File-name submission and the anonymous data sent after a removal.
#include "common/text.h"
#include "reports/submission.h"
#include "shell/server_addresses.h"
#include "ui/frm_main.h"

namespace quillon::ui {

namespace {
constexpr const char* LB = "\r\n";
}

void FrmMain::cmdSubmit_Click() {
  if (Session::Scope run{session, Operation::Submission}) submitName();
}

void FrmMain::submitName() {
  const SubmissionOutcome out = session.submit(txtFilename.text());
  Label26.setCaption(out.text);
  if (out.sent) txtFilename.setText("");  // a refused name stays in the box, to be put right
}

void FrmMain::Command2_Click() {
  std::string path;
  if (!platform.fileDialog.chooseFile("Open", path)) return;
  size_t slash = path.rfind('\\');
  txtFilename.setText(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string FrmMain::RunningProgramList() { return runningProgramPayload(platform.management); }

void FrmMain::chkSendData_MouseUp() {
  if (chkSendData.value() == 0) {
    const std::string question = std::string("By sending anonymous data you can help us identify new spyware more quickly.") +
                                 LB + LB +
                                 "No personal information is collected, the only information sent is executable names "
                                 "that are currently loaded into memory." +
                                 LB + LB + "Do you really want to turn off anonymous data collection?";
    if (messageBox(question, "Really turn off anonymous data collection?", kMbYesNo) != kIdYes) {
      chkSendData.setValue(1);
      settings.write(keys::chkSendData, "1");
      return;
    }
  }
  settings.write(keys::chkSendData, std::to_string(chkSendData.value()));
}

}  // namespace quillon::ui
