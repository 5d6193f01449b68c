// The two small reports to the data server: a file name the user submits, and the names of the
// programs running when a removal ends. Only names are sent, never file contents.
#pragma once
#include <string>
#include <vector>

namespace quillon {

constexpr const char* kDataPath = "/asp/getData.asp?data=";

// The payload of a list of names: each enciphered as a definition line, joined by "|".
// `trailingSeparator` ends it with one more "|", as a single submission does.
std::string dataPayload(const std::vector<std::string>& names, bool trailingSeparator);
// The request address: the server's base address, the path and the payload, percent-encoded so
// that no enciphered byte can end or change the request ("&", "#", "%", "+", blanks, bytes
// above 127, control bytes).
std::string dataRequestUrl(const std::string& baseAddress, const std::string& payload);
std::string percentEncode(const std::string& bytes);

// The running programs worth reporting: the system's own and the browsers are left out (an
// exact, case-sensitive comparison), a program running twice is listed twice.
std::vector<std::string> reportablePrograms(const std::vector<std::string>& processNames);

// The result label's text when `name` cannot be submitted as it is, "" when it can. A "?"
// enciphers to the "|" between names, so the server would split the name in two; it is also
// what a character outside the system code page became on its way in. A byte whose enciphered
// form is CR or LF would break the line the server stores. Such a name is refused whole, never
// sent changed.
std::string submissionProblem(const std::string& name);

// What the result label says after a submission, from the server's answer.
bool dataAnswerAccepted(const std::string& answer);
std::string submitResultText(const std::string& name, bool accepted);

}  // namespace quillon
