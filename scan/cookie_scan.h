// The first phase of a scan: the browser's per-site cookie files against BlockedCookies.dat.
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

#include "scan/scan_state.h"

namespace quillon {

constexpr int kCookieFolderId = 33;  // the shell's folder of the user's cookies

// The site a cookie file is named after: "user@SITE[1].txt" gives "SITE"; "" without "@".
std::string cookieSiteFromFileName(const std::string& path);
// The domain written inside the cookie file from where the site's name starts up to the first
// "/" ("ads.SITE.TLD/" gives "SITE.TLD"), or "False" when no field holds both. The file is
// read in pieces, so its size does not matter. `listed`: the caller found the file in a plain
// listing a moment ago, so it need not be looked for again.
std::string cookieFileDomain(FileSystem& fs, Pump& pump, const std::string& path, bool listed = false);
// "SITE.TLD" -> "SITE", "www.SITE.TLD" -> "SITE": the form a cookie's domain is matched in.
std::string reduceCookieDomain(std::string domain);

// The blocked sites, indexed so that a match is one lookup however long the list is.
class BlockedCookieList {
 public:
  void add(const std::string& entry);
  // True when an entry contains `domain` (letter case counts) and, without its last
  // "."-separated part and its first "*", equals `domain` (letter case does not count).
  bool isBlocked(const std::string& domain) const;
  // The number of entries as counted for the progress: the list as split at "|", whose last
  // element is the empty one after the final separator.
  int lastIndex() const { return int(entries_.size()); }
  const std::string& first() const;

 private:
  std::vector<std::string> entries_;
  std::unordered_map<std::string, std::vector<int>> byReduced_;  // upper-cased reduced entry -> entries
};

BlockedCookieList loadBlockedCookies(const ScanEnv& env);

// Scans the cookie folder: found cookies get their three rows and count as threats; an
// excluded one gets its "EXCLUDED: " row only.
void scanCookies(ScanEnv& env);
void scanCookieFolder(ScanEnv& env, const std::string& folder);

}  // namespace quillon
