#include "scan/cookie_scan.h"

#include <cmath>

#include "common/text.h"
#include "definitions/cipher.h"

namespace quillon {

namespace {

// The entry without its last "."-separated part and without its first "*".
std::string reduceEntry(std::string entry) {
  size_t dot = entry.rfind('.');
  if (dot != std::string::npos) entry.erase(dot);
  size_t star = entry.find('*');
  if (star != std::string::npos) entry.erase(star, 1);
  return entry;
}

// A field longer than this is not a cookie's domain field; the rest of it is skipped, so a
// file without delimiters costs no more memory than this.
constexpr size_t kMaxField = 64 * 1024;

}  // namespace

std::string cookieSiteFromFileName(const std::string& path) {
  size_t at = path.find('@');
  if (path.empty() || at == std::string::npos) return "";
  std::string site = path.substr(at + 1);
  size_t cut = site.find('(');
  if (cut == std::string::npos) cut = site.find('[');
  if (cut == std::string::npos) cut = site.rfind('.');
  if (cut != std::string::npos) site.erase(cut);
  return site;
}

std::string cookieFileDomain(FileSystem& fs, Pump& pump, const std::string& path, bool listed) {
  const std::string site = cookieSiteFromFileName(path);
  if (site.empty() || (!listed && !fileExists(fs, path))) return "False";
  auto in = fs.openRead(path);
  if (!in) return "False";
  std::string field, result = "False";
  bool quoted = false, inQuotes = false, atStart = true, done = false;
  auto endField = [&] {
    size_t from = field.find(site);
    if (from != std::string::npos) {
      size_t slash = field.find('/', from);
      if (slash != std::string::npos) {
        result = field.substr(from, slash - from);
        done = true;
      }
    }
    field.clear();
    quoted = inQuotes = false;
    atStart = true;
    pump.yield();
  };
  char buf[16 * 1024];
  for (size_t n; !done && (n = in->read(buf, sizeof buf)) > 0;) {
    for (size_t i = 0; i < n && !done; ++i) {
      const char c = buf[i];
      if (inQuotes) {
        if (c == '"') inQuotes = false;
        else if (field.size() < kMaxField) field += c;
        continue;
      }
      if (c == ',' || c == '\r' || c == '\n') {
        // A CR LF pair ends one field, not two.
        if (!(c == '\n' && atStart && !quoted && field.empty())) endField();
        continue;
      }
      if (atStart && c == '"') {
        quoted = inQuotes = true;
        atStart = false;
        continue;
      }
      if (atStart && (c == ' ' || c == '\t')) continue;  // leading blanks are not part of a field
      atStart = false;
      if (!quoted && field.size() < kMaxField) field += c;
    }
  }
  if (!done && (!field.empty() || quoted)) endField();
  return result;
}

std::string reduceCookieDomain(std::string domain) {
  size_t dot = domain.rfind('.');
  if (dot != std::string::npos) domain.erase(dot);
  if (domain.size() >= 4 && iequals(domain.substr(0, 4), "www.")) domain.erase(0, 4);
  return domain;
}

void BlockedCookieList::add(const std::string& entry) {
  byReduced_[toUpper(reduceEntry(entry))].push_back(int(entries_.size()));
  entries_.push_back(entry);
}

bool BlockedCookieList::isBlocked(const std::string& domain) const {
  if (domain.empty()) return false;  // nothing names no site
  auto it = byReduced_.find(toUpper(domain));
  if (it == byReduced_.end()) return false;
  for (int i : it->second)
    if (entries_[size_t(i)].find(domain) != std::string::npos) return true;
  return false;
}

const std::string& BlockedCookieList::first() const {
  static const std::string empty;
  return entries_.empty() ? empty : entries_.front();
}

BlockedCookieList loadBlockedCookies(const ScanEnv& env) {
  BlockedCookieList list;
  if (!env.defs.exists(kCookieDefs)) return list;
  LineReader reader = env.defs.open(kCookieDefs);
  // Each decoded line is one entry, unless it carries the separator itself.
  std::string plain;
  for (std::string line; reader.next(line); env.platform.pump.yield())
    if (decodeDefinition(line, plain))
      for (const std::string& part : split(plain, "|")) list.add(part);
  return list;
}

void scanCookies(ScanEnv& env) {
  std::string folder = env.platform.shell.specialFolder(kCookieFolderId);
  folder = folder.substr(0, folder.find('\0'));
  if (trim(folder).empty()) return;
  scanCookieFolder(env, folder);
}

void scanCookieFolder(ScanEnv& env, const std::string& folder) {
  Platform& p = env.platform;
  const BlockedCookieList blocked = loadBlockedCookies(env);
  const std::vector<std::string> files = p.fs.listFiles(folder + "\\*");
  const double n = double(files.size());
  int i = 0;
  for (const std::string& name : files) {
    ++i;
    if (env.host.scanCancelled()) break;
    showProgress(env, [&] { return name; }, roundPercent(env.counters.processesInspected / n), -1);
    const std::string path = folder + "\\" + name;
    const std::string domain = reduceCookieDomain(cookieFileDomain(p.fs, p.pump, path, true));
    const bool matched = blocked.isBlocked(domain);
    // Recomputed, not counted: it reaches the number of blocked entries at the last file.
    env.counters.processesInspected = int32_t(std::nearbyint(blocked.lastIndex() / n * i));
    showProgress(env, [&] { return blocked.first(); }, roundPercent(env.counters.processesInspected / n), -1);
    if (matched) {
      if (env.exclusions.isFileExcluded(path)) {
        env.results.addExcluded(path);
      } else {
        env.results.addCookieThreat(name, path);
        ++env.counters.threatsFound;
      }
    }
    p.pump.yield();
  }
}

}  // namespace quillon
