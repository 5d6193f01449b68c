// Live Update: asks the definition server for the date of its newest definitions and, when that
// is later than the local definitions date, fetches one update text covering everything since
// and hands it to the definition merge.
#pragma once
#include <functional>
#include <string>

#include "common/datetime.h"
#include "definitions/definition_store.h"
#include "platform/platform.h"

namespace quillon {

// "Later than": a plain comparison of the fields, most significant first.
bool laterThan(const DateTime& a, const DateTime& b);
// A date answer as the server sends it: blanks around it, tabs and line breaks anywhere, and
// anything after its AM/PM marker are not part of it.
bool normaliseDateAnswer(const std::string& answer, DateTime& out);
// The product and company names as the service's queries carry them: blanks as "%20", nothing
// else encoded.
std::string serviceName(const std::string& name);

struct LiveUpdateUrls {
  std::string currentDate, update, date;
};
LiveUpdateUrls liveUpdateUrls(const std::string& serverBase, const std::string& product, const std::string& company,
                              const std::string& localDate);

// What a Live Update came to.
enum class UpdateOutcome {
  Updated,      // definitions changed; `applied` says how many records
  Current,      // the server has nothing newer
  Unreachable,  // no usable answer from the server: nothing was changed
  Refused,      // the update text could not be applied whole: nothing was changed
};

struct LiveUpdateEnv {
  Platform& platform;
  DefinitionStore& defs;
  std::string serverBase, product, company;
  // Applies an update text to the definition files; the records applied, 0 for none, or -1
  // when the text is not usable (nothing changed then).
  std::function<int(const std::string& text)> merge;
  // The download window's status box.
  std::function<void(const std::string&)> status;
};

struct LiveUpdateResult {
  UpdateOutcome outcome = UpdateOutcome::Unreachable;
  int applied = 0;
  std::string newDate;  // the definitions date stored, when there is a new one
};

LiveUpdateResult fetchIncrementalUpdate(LiveUpdateEnv& env);
// The addresses of the definition files on the product's web site, one per line, each line
// ending in a line break. `webSite` is the branding's site; a copy that carries the build's
// placeholder site (an ".example" domain, or none) lists `fallbackBase` instead.
std::string definitionFileListing(const std::string& webSite, const std::string& fallbackBase);

// The text of the update notice for an outcome.
std::string updateNoticeText(const LiveUpdateResult& r, const std::string& product);

}  // namespace quillon
