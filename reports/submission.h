// The two runs that talk to the data server: a file name the user submits, and the anonymous
// report of the running programs. Each returns what happened; nobody reads it back from a label.
#pragma once
#include <string>

#include "platform/platform.h"

namespace quillon {

struct SubmissionOutcome {
  bool sent = false;      // the name went to the server (a name it cannot carry is never sent)
  bool accepted = false;  // the server took it
  std::string text;       // what the result label says
};

SubmissionOutcome submitFileName(Http& http, Pump& pump, const std::string& serverBase, const std::string& name);

// The payload naming the running programs worth reporting; "" when there is none.
std::string runningProgramPayload(Management& management);
// Sends it; false when there was nothing to send or the server did not answer.
bool sendAnonymousReport(Platform& platform, const std::string& serverBase);

}  // namespace quillon
