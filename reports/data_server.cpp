#include "reports/data_server.h"

#include "common/text.h"
#include "definitions/cipher.h"

namespace quillon {

std::string dataPayload(const std::vector<std::string>& names, bool trailingSeparator) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) out += '|';
    out += encodeDefinitionLine(names[i]);
  }
  if (trailingSeparator) out += '|';
  return out;
}

std::string percentEncode(const std::string& bytes) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.' || c == '~' || c == '|';
    if (plain) {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string dataRequestUrl(const std::string& baseAddress, const std::string& payload) {
  std::string base = baseAddress;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + kDataPath + percentEncode(payload);
}

std::vector<std::string> reportablePrograms(const std::vector<std::string>& processNames) {
  static const char* const kLeftOut[] = {"System",       "System Idle Process", "winlogon.exe", "services.exe",
                                         "svchost.exe",  "explorer.exe",        "firefox.exe",  "iexplore.exe"};
  std::vector<std::string> out;
  for (const std::string& name : processNames) {
    bool skip = false;
    for (const char* s : kLeftOut) skip = skip || name == s;
    if (!skip) out.push_back(name);
  }
  return out;
}

std::string submissionProblem(const std::string& name) {
  const size_t question = name.find('?'), unencodable = unencodableByte(name);
  if (question == std::string::npos && unencodable == std::string::npos) return "";
  const std::string what = question != std::string::npos
                               ? "\"?\" (or a character outside this system's code page)"
                               : "\"" + name.substr(unencodable, 1) + "\"";
  return "Results: " + name + " cannot be submitted: it holds " + what +
         ", which a submission cannot carry.  Nothing was sent.";
}

bool dataAnswerAccepted(const std::string& answer) {
  return ifind(answer, "Skipped") != std::string::npos || ifind(answer, "Added") != std::string::npos;
}

std::string submitResultText(const std::string& name, bool accepted) {
  if (accepted) return "Results: " + name + " submitted.  Thank you!";
  return "Results: There was a problem submitting " + name +
         ".  Please make sure you are connected to the internet, or try again later.";
}

}  // namespace quillon
