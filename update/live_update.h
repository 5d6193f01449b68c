// Live Update: asks the definition server for the date of its newest definitions and, when that
// is later than the local definitions date, fetches one update text covering everything since
// and the publisher's signed statement beside it, checks them, and hands the text, its new date
// and the files the publisher signed to the definition merge, which puts them in place together
// or not at all. A set whose update would not give the signed files (it had drifted from its
// release), or that has no date, takes the whole release instead, which replaces the five files.
#pragma once
#include <functional>
#include <string>

#include "common/datetime.h"
#include "definitions/definition_store.h"
#include "platform/platform.h"
#include "system/http_fetch.h"
#include "update/definition_merge.h"

namespace quillon {

// "Later than": a plain comparison of the fields, most significant first.
bool laterThan(const DateTime& a, const DateTime& b);
// A date answer as the server sends it: blanks around it, tabs and line breaks anywhere, and
// anything after its AM/PM marker are not part of it. Only a real calendar date with a time
// of day is a date.
bool normaliseDateAnswer(const std::string& answer, DateTime& out);
// The product and company names as the service's queries carry them: blanks as "%20", nothing
// else encoded.
std::string serviceName(const std::string& name);

struct LiveUpdateUrls {
  std::string currentDate, update, date;
  std::string signature;  // the publisher's statement for the update text; older programs never ask
};
LiveUpdateUrls liveUpdateUrls(const std::string& serverBase, const std::string& product, const std::string& company,
                              const std::string& localDate);

// What a Live Update came to.
enum class UpdateOutcome {
  Updated,        // definitions changed; `applied` says how many records
  Current,        // the server has nothing newer
  Unreachable,    // no answer from the server: nothing was changed
  ServerRefused,  // the server answered with an error status: nothing was changed
  Refused,        // an answer could not be used (`why` says which): nothing was changed
  Unfinished,     // the new definitions were recorded but not all put in place: the next start does it
  Busy,           // another program kept the definitions past the wait: nothing was asked or changed
};

struct LiveUpdateEnv {
  Platform& platform;
  DefinitionStore& defs;
  std::string serverBase, product, company;
  // Applies an update to the definition files and stores the new definitions date with it,
  // both or neither.
  std::function<MergeOutcome(const DefinitionUpdate& update)> merge;
  // The download window's status box.
  std::function<void(const std::string&)> status;
  // The keys whose signatures are the publisher's.
  std::vector<std::string> publisherKeys;
  // An administrator's choice for a server that signs nothing: its updates are taken, and said
  // to be unsigned.
  bool allowUnsigned = false;
  // The download window's progress bar; may be empty.
  FetchProgress progress;
};

struct LiveUpdateResult {
  UpdateOutcome outcome = UpdateOutcome::Unreachable;
  int applied = 0;
  std::string newDate;  // the definitions date stored, when there is a new one
  std::string why;      // what could not be used, for Refused and Unfinished
  uint32_t httpStatus = 0;  // the error status, for ServerRefused
  bool unsignedUpdate = false;  // taken without the publisher's signature, as allowed
};

LiveUpdateResult fetchIncrementalUpdate(LiveUpdateEnv& env);
// The addresses of the definition files on the product's web site, one per line, each line
// ending in a line break. `webSite` is the branding's site; a copy that carries the build's
// placeholder site (an ".example" domain, or none) lists `fallbackBase` instead.
std::string definitionFileListing(const std::string& webSite, const std::string& fallbackBase);

// The text of the update notice for an outcome.
std::string updateNoticeText(const LiveUpdateResult& r, const std::string& product);

}  // namespace quillon
