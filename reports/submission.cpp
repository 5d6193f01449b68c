#include "reports/submission.h"

#include "reports/data_server.h"
#include "system/http_fetch.h"

namespace quillon {

SubmissionOutcome submitFileName(Http& http, Pump& pump, const std::string& serverBase, const std::string& name) {
  SubmissionOutcome out;
  if (std::string problem = submissionProblem(name); !problem.empty()) {
    out.text = problem;
    return out;
  }
  const FetchResult answer = fetchWithProgress(http, pump, dataRequestUrl(serverBase, dataPayload({name}, true)));
  out.sent = true;
  out.accepted = answer.ok() && dataAnswerAccepted(answer.body);
  out.text = submitResultText(name, out.accepted);
  return out;
}

std::string runningProgramPayload(Management& management) {
  std::vector<std::string> names;
  if (!management.processNames(names)) return "";
  const std::vector<std::string> reported = reportablePrograms(names);
  return reported.empty() ? "" : dataPayload(reported, false);
}

bool sendAnonymousReport(Platform& platform, const std::string& serverBase) {
  const std::string list = runningProgramPayload(platform.management);
  if (list.empty()) return false;
  const FetchResult answer = fetchWithProgress(platform.http, platform.pump, dataRequestUrl(serverBase, list));
  return answer.ok() && !answer.body.empty();
}

}  // namespace quillon
