#include "update/live_update.h"

#include <optional>
#include <tuple>

#include "common/text.h"
#include "system/http_fetch.h"
#include "update/signed_update.h"

namespace quillon {

bool laterThan(const DateTime& a, const DateTime& b) {
  return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) >
         std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
}

bool normaliseDateAnswer(const std::string& answer, DateTime& out) {
  std::string t = removeChars(trim(answer), "\t\r\n");
  size_t pm = ifind(t, "PM");
  size_t am = ifind(t, "AM");
  if (pm != std::string::npos) t.erase(pm + 2);
  else if (am != std::string::npos) t.erase(am + 2);
  return parseDefinitionDate(t, out);
}

std::string serviceName(const std::string& name) { return replaceAll(name, " ", "%20"); }

LiveUpdateUrls liveUpdateUrls(const std::string& serverBase, const std::string& product, const std::string& company,
                              const std::string& localDate) {
  const std::string who = "?prog=" + serviceName(product) + "&comp=" + serviceName(company);
  // The date goes as the definitions date file holds it; its blanks would end the request
  // line, so they alone are written as "%20", which the server reads back as blanks.
  const std::string date = "&date=" + replaceAll(localDate, " ", "%20");
  return LiveUpdateUrls{serverBase + "/asp/currentDate.asp" + who, serverBase + "/asp/getDefs.asp" + who + date,
                        serverBase + "/asp/date.asp", serverBase + "/asp/getDefsSig.asp" + who + date};
}

namespace {
LiveUpdateResult outcome(UpdateOutcome o, std::string why = "") {
  LiveUpdateResult r;
  r.outcome = o;
  r.why = std::move(why);
  return r;
}

// The result for a request that did not give a usable answer; false when it did.
bool failed(const FetchResult& f, LiveUpdateResult& r) {
  if (!f.answered) {
    r = outcome(UpdateOutcome::Unreachable);
  } else if (!f.ok()) {
    r = outcome(UpdateOutcome::ServerRefused);
    r.httpStatus = f.status;
  } else {
    return false;
  }
  return true;
}
}  // namespace

namespace {
// One update text from the server, with what makes it usable: the date it moves to and what
// the publisher signed about the files it gives.
struct Offer {
  DefinitionUpdate update;
  bool unsignedUpdate = false;
  bool signedStatement = false;  // false: the server offered no statement for this date
};

// Fetches the update text for a program at `fromText` and the publisher's statement beside it,
// and checks both. Returns the result that ends the run, if any; otherwise `offer` holds the
// update to apply, or, when the server offered no statement for this date and unsigned updates
// are not allowed, neither `signedStatement` nor `unsignedUpdate` is set.
std::optional<LiveUpdateResult> fetchOffer(LiveUpdateEnv& env, const std::function<void(const std::string&)>& status,
                                           const std::string& fromText, const DateTime& local, const DateTime& server,
                                           Offer& offer) {
  Platform& p = env.platform;
  LiveUpdateResult r;
  const LiveUpdateUrls urls = liveUpdateUrls(env.serverBase, env.product, env.company, fromText);
  const FetchResult text = fetchWithProgress(p.http, p.pump, urls.update, status, env.progress);
  if (failed(text, r)) return r;
  if (text.body.empty()) return outcome(UpdateOutcome::Refused, "the update was empty");
  const FetchResult statement = fetchWithProgress(p.http, p.pump, urls.signature, status, env.progress);
  if (!statement.answered) return outcome(UpdateOutcome::Unreachable);

  DateTime next;
  offer.update.text = text.body;
  if (statement.ok() && !statement.body.empty()) {
    // A statement that is offered is checked even where unsigned updates are allowed: a bad
    // signature is worse than none.
    SignedStatement signedBy;
    const std::string why =
        checkSignedUpdate(p.signatures, env.publisherKeys, statement.body, text.body, fromText, signedBy);
    if (!why.empty()) return outcome(UpdateOutcome::Refused, why);
    if (!parseDefinitionDate(signedBy.to, next))
      return outcome(UpdateOutcome::Refused, "its new definitions date is not a date");
    offer.signedStatement = true;
    offer.update.digests = signedBy.fileDigests;
  } else if (env.allowUnsigned) {
    offer.unsignedUpdate = true;
    const FetchResult date = fetchWithProgress(p.http, p.pump, urls.date, nullptr);
    if (failed(date, r)) return r;
    if (!normaliseDateAnswer(date.body, next))
      return outcome(UpdateOutcome::Refused, "its new definitions date is not a date");
  } else {
    return std::nullopt;  // not signed for this date; the caller says whether that ends the run
  }
  // The new date must move forward, and not past what the server itself calls current: a
  // date far ahead would stop every later update.
  const std::string localText = formatDateTime(local);
  if (!laterThan(next, local))
    return outcome(UpdateOutcome::Refused,
                   "its new definitions date, " + formatDateTime(next) + ", is not later than " + localText);
  if (laterThan(next, server))
    return outcome(UpdateOutcome::Refused, "its new definitions date, " + formatDateTime(next) +
                                               ", is later than the server's current date, " + formatDateTime(server));
  offer.update.newDate = formatDateTime(next);
  return std::nullopt;
}
}  // namespace

LiveUpdateResult fetchIncrementalUpdate(LiveUpdateEnv& env) {
  Platform& p = env.platform;
  LiveUpdateResult r;
  auto status = [&](const std::string& s) {
    if (env.status) env.status(s);
  };
  status("Connecting to the definition server, please wait.");
  p.pump.yield();
  // A stored date that is no real date (written by an older program) reads as the default:
  // the server then sends everything, and never refuses the request for its date.
  DateTime local, none;
  parseDefinitionDate(kDefaultDefinitionDate, none);
  if (!parseDefinitionDate(env.defs.readDate(), local)) local = none;
  const std::string localText = formatDateTime(local);
  const LiveUpdateUrls urls = liveUpdateUrls(env.serverBase, env.product, env.company, localText);

  const FetchResult current = fetchWithProgress(p.http, p.pump, urls.currentDate, status, env.progress);
  if (failed(current, r)) return r;
  DateTime server;
  if (!normaliseDateAnswer(current.body, server)) return outcome(UpdateOutcome::Refused, "its current date is not a date");
  if (!laterThan(server, local)) return outcome(UpdateOutcome::Current);
  if (!env.merge) return outcome(UpdateOutcome::Refused, "this copy cannot apply updates");

  // Without a date of its own (never updated, or its date lost) the set is of no known release:
  // what comes for the default date is the whole release, and it replaces the files instead of
  // being merged into whatever they hold.
  const bool whole = local == none;
  Offer offer;
  if (std::optional<LiveUpdateResult> end = fetchOffer(env, status, localText, local, server, offer)) return *end;
  MergeOutcome merged;
  bool repair = !offer.signedStatement && !offer.unsignedUpdate;  // nobody signed an update from this date
  if (!repair) {
    offer.update.wholeRelease = whole;
    merged = env.merge(offer.update);
    // The files would not be the ones the publisher signed: a set that had drifted from its
    // release (an old install, a fault) is repaired by the whole release instead.
    repair = merged.differs && !whole;
  }
  if (repair && whole) return outcome(UpdateOutcome::Refused, "it is not signed by the definitions' publisher");
  if (repair) {
    status("Fetching the whole definition set, please wait.");
    offer = Offer();
    if (std::optional<LiveUpdateResult> end = fetchOffer(env, status, formatDateTime(none), local, server, offer))
      return *end;
    if (!offer.signedStatement && !offer.unsignedUpdate)
      return outcome(UpdateOutcome::Refused, "it is not signed by the definitions' publisher");
    offer.update.wholeRelease = true;
    merged = env.merge(offer.update);
  }
  if (merged.pending) return outcome(UpdateOutcome::Unfinished, merged.problem);
  if (!merged.landed) return outcome(UpdateOutcome::Refused, merged.problem);
  r = outcome(UpdateOutcome::Updated);
  r.applied = int(merged.count);
  r.newDate = offer.update.newDate;
  r.unsignedUpdate = offer.unsignedUpdate;
  return r;
}

std::string updateNoticeText(const LiveUpdateResult& r, const std::string& product) {
  const std::string unchanged = " Your definitions were not changed.";
  switch (r.outcome) {
    case UpdateOutcome::Updated:
      return "Your " + product + " definitions have been updated!" +
             (r.unsignedUpdate ? " They were not signed by their publisher." : "");
    case UpdateOutcome::Current: return "You are using the most recent " + product + " definitions.";
    case UpdateOutcome::Unreachable: return "The " + product + " definition server could not be reached." + unchanged;
    case UpdateOutcome::ServerRefused:
      return "The " + product + " definition server refused the request (HTTP " + std::to_string(r.httpStatus) +
             ")." + unchanged;
    case UpdateOutcome::Refused:
      return "The update from the " + product + " definition server could not be used: " + r.why + "." + unchanged;
    case UpdateOutcome::Unfinished:
      return "The new " + product + " definitions could not all be put in place yet: " + r.why + ".";
    case UpdateOutcome::Busy:
      return r.why.empty() ? storeBusyText(product, "the definitions")
                           : "The " + product + " definitions could not be locked: " + r.why + "." + unchanged;
  }
  return "";
}

std::string definitionFileListing(const std::string& webSite, const std::string& fallbackBase) {
  static const char* const kPaths[] = {
      "/definitions/version/R.HTM",           "/definitions/version/F.HTM",
      "/definitions/version/E.HTM",           "/definitions/version/C.HTM",
      "/definitions/data/BlockedCookies.dat", "/definitions/data/RegistryDefinition.dat",
      "/definitions/data/FileDefinition.dat", "/definitions/data/ExeDefinition.dat"};
  const std::string site = trim(webSite);
  const bool placeholder = site.empty() || (site.size() >= 8 && toLower(site.substr(site.size() - 8)) == ".example");
  const std::string base = placeholder ? fallbackBase : webSite;
  std::string out;
  for (const char* path : kPaths) out += base + path + "\r\n";
  return out;
}

}  // namespace quillon
