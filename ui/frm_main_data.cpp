// File-name submission and the anonymous data sent after a removal.
#include "common/text.h"
#include "reports/data_server.h"
#include "shell/server_addresses.h"
#include "ui/frm_main.h"
#include "system/http_fetch.h"

namespace quillon::ui {

namespace {
constexpr const char* LB = "\r\n";
}

void FrmMain::cmdSubmit_Click() {
  if (RunScope run{*this, Run::Submission}) submitName();
}

void FrmMain::submitName() {
  const std::string name = txtFilename.text();
  if (std::string problem = submissionProblem(name); !problem.empty()) {
    Label26.setCaption(problem);  // the name stays in the box, to be put right
    return;
  }
  const std::string url = dataRequestUrl(dataServer(settings), dataPayload({name}, true));
  const std::string answer = httpGet(platform.http, platform.pump, url);
  Label26.setCaption(submitResultText(name, dataAnswerAccepted(answer)));
  txtFilename.setText("");
}

void FrmMain::Command2_Click() {
  std::string path;
  if (!platform.fileDialog.chooseFile("Open", path)) return;
  size_t slash = path.rfind('\\');
  txtFilename.setText(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string FrmMain::RunningProgramList() {
  std::vector<std::string> names;
  if (!platform.management.processNames(names)) return "";
  const std::vector<std::string> reported = reportablePrograms(names);
  return reported.empty() ? "" : dataPayload(reported, false);
}

void FrmMain::SendAnonymousData() {
  const std::string list = RunningProgramList();
  if (!list.empty()) httpGet(platform.http, platform.pump, dataRequestUrl(dataServer(settings), list));
}

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
