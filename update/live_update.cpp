#include "update/live_update.h"

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
  DateTime local;
  if (!parseDefinitionDate(env.defs.readDate(), local)) parseDefinitionDate(kDefaultDefinitionDate, local);
  const std::string localText = formatDateTime(local);
  const LiveUpdateUrls urls = liveUpdateUrls(env.serverBase, env.product, env.company, localText);

  const FetchResult current = fetchWithProgress(p.http, p.pump, urls.currentDate, status);
  if (failed(current, r)) return r;
  DateTime server;
  if (!normaliseDateAnswer(current.body, server)) return outcome(UpdateOutcome::Refused, "its current date is not a date");
  if (!laterThan(server, local)) return outcome(UpdateOutcome::Current);

  const FetchResult text = fetchWithProgress(p.http, p.pump, urls.update, status);
  if (failed(text, r)) return r;
  if (text.body.empty()) return outcome(UpdateOutcome::Refused, "the update was empty");
  const FetchResult statement = fetchWithProgress(p.http, p.pump, urls.signature, status);
  if (!statement.answered) return outcome(UpdateOutcome::Unreachable);

  DateTime next;
  bool unsignedUpdate = false;
  if (statement.ok() && !statement.body.empty()) {
    // A statement that is offered is checked even where unsigned updates are allowed: a bad
    // signature is worse than none.
    SignedStatement signedBy;
    const std::string why =
        checkSignedUpdate(p.signatures, env.publisherKeys, statement.body, text.body, localText, signedBy);
    if (!why.empty()) return outcome(UpdateOutcome::Refused, why);
    if (!parseDefinitionDate(signedBy.to, next))
      return outcome(UpdateOutcome::Refused, "its new definitions date is not a date");
  } else if (env.allowUnsigned) {
    unsignedUpdate = true;
    const FetchResult date = fetchWithProgress(p.http, p.pump, urls.date, nullptr);
    if (failed(date, r)) return r;
    if (!normaliseDateAnswer(date.body, next))
      return outcome(UpdateOutcome::Refused, "its new definitions date is not a date");
  } else {
    return outcome(UpdateOutcome::Refused, "it is not signed by the definitions' publisher");
  }
  // The new date must move forward, and not past what the server itself calls current: a
  // date far ahead would stop every later update.
  if (!laterThan(next, local))
    return outcome(UpdateOutcome::Refused,
                   "its new definitions date, " + formatDateTime(next) + ", is not later than " + localText);
  if (laterThan(next, server))
    return outcome(UpdateOutcome::Refused, "its new definitions date, " + formatDateTime(next) +
                                               ", is later than the server's current date, " + formatDateTime(server));
  if (!env.merge) return outcome(UpdateOutcome::Refused, "this copy cannot apply updates");
  const MergeOutcome merged = env.merge(text.body, formatDateTime(next));
  if (merged.pending) return outcome(UpdateOutcome::Unfinished, merged.problem);
  if (!merged.landed) return outcome(UpdateOutcome::Refused, merged.problem);
  r = outcome(UpdateOutcome::Updated);
  r.applied = int(merged.count);
  r.newDate = formatDateTime(next);
  r.unsignedUpdate = unsignedUpdate;
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
