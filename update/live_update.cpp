#include "update/live_update.h"

#include <tuple>

#include "common/text.h"
#include "update/http_fetch.h"

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
  return parseDateTime(trim(t), out);
}

std::string serviceName(const std::string& name) { return replaceAll(name, " ", "%20"); }

LiveUpdateUrls liveUpdateUrls(const std::string& serverBase, const std::string& product, const std::string& company,
                              const std::string& localDate) {
  const std::string who = "?prog=" + serviceName(product) + "&comp=" + serviceName(company);
  // The date goes as the definitions date file holds it; its blanks would end the request
  // line, so they alone are written as "%20", which the server reads back as blanks.
  return LiveUpdateUrls{serverBase + "/asp/currentDate.asp" + who,
                        serverBase + "/asp/getDefs.asp" + who + "&date=" + replaceAll(localDate, " ", "%20"),
                        serverBase + "/asp/date.asp"};
}

LiveUpdateResult fetchIncrementalUpdate(LiveUpdateEnv& env) {
  Platform& p = env.platform;
  LiveUpdateResult r;
  auto status = [&](const std::string& s) {
    if (env.status) env.status(s);
  };
  status("Connecting to the definition server, please wait.");
  p.pump.yield();
  const std::string localText = env.defs.readDate();
  DateTime local;
  parseDateTime(localText, local);  // the definitions date always reads (it has a default)
  const LiveUpdateUrls urls = liveUpdateUrls(env.serverBase, env.product, env.company, formatDateTime(local));

  DateTime server;
  if (!normaliseDateAnswer(httpGetWithProgress(p.http, p.pump, urls.currentDate, status), server)) {
    r.outcome = UpdateOutcome::Unreachable;  // no answer, or one that is not a date
    return r;
  }
  if (!laterThan(server, local)) {
    r.outcome = UpdateOutcome::Current;
    return r;
  }
  const std::string text = httpGetWithProgress(p.http, p.pump, urls.update, status);
  if (text.empty()) {
    r.outcome = UpdateOutcome::Unreachable;
    return r;
  }
  const int n = env.merge ? env.merge(text) : -1;
  if (n < 0) {
    r.outcome = UpdateOutcome::Refused;
    return r;
  }
  if (n == 0) {
    // The server said it had newer definitions, yet its update held nothing this program can
    // apply: the definitions are not the most recent, and the user is told so.
    r.outcome = UpdateOutcome::Refused;
    return r;
  }
  r.outcome = UpdateOutcome::Updated;
  r.applied = n;
  // A date page that answers with no date keeps the old definitions date: the next Live Update
  // then asks again from there, which can only repeat what is already applied.
  DateTime newDate;
  if (normaliseDateAnswer(httpGet(p.http, p.pump, urls.date), newDate)) {
    r.newDate = formatDateTime(newDate);
    env.defs.writeDate(r.newDate);
  }
  return r;
}

std::string updateNoticeText(const LiveUpdateResult& r, const std::string& product) {
  switch (r.outcome) {
    case UpdateOutcome::Updated: return "Your " + product + " definitions have been updated!";
    case UpdateOutcome::Current: return "You are using the most recent " + product + " definitions.";
    case UpdateOutcome::Unreachable:
      return "The " + product + " definition server could not be reached. Your definitions were not changed.";
    case UpdateOutcome::Refused:
      return "The update from the " + product + " definition server could not be used. Your definitions were not changed.";
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
