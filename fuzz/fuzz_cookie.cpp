// The cookie scan's pieces over bytes from outside: the site in a cookie file's name, the domain
// read from its content, the reduced domain, and the indexed blocked list.
// Input: parts separated by NUL: the cookie file's name, its content, the blocked entries
// (split at "|" and line breaks, as the definition lines are), and a domain to look up. The
// first byte of the content part is the largest read size.
// The domain read from a file must not depend on the read sizes and must be text of the file
// that starts with the site and is followed by "/"; the indexed list must answer as the plain
// rule (blocked_rule.h) does, for the input's domain, the file's reduced domain and each entry's
// own reduced form.
#include <algorithm>
#include <string>
#include <vector>

#include "blocked_rule.h"
#include "common/text.h"
#include "fuzz_check.h"
#include "memory_platform.h"
#include "scan/cookie_scan.h"

using namespace quillon;

namespace {

std::string fileDomain(const std::string& name, const std::string& content, size_t maxRead) {
  fuzz::MemoryFileSystem fs;
  fuzz::QuietSystem quiet;
  fs.maxRead = maxRead;
  const std::string path = "C:\\Cookies\\" + name;
  fs.addFile(path, content);
  return cookieFileDomain(fs, quiet, path);
}

void checkSame(const BlockedCookieList& list, const std::vector<std::string>& entries, const std::string& domain) {
  FUZZ_CHECK(list.isBlocked(domain) == fuzz::blockedByRule(entries, domain));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = split(fuzz::bytes(data, size), std::string(1, '\0'));
  parts.resize(std::max<size_t>(parts.size(), 4));
  const std::string& name = parts[0];
  const size_t maxRead = parts[1].empty() ? SIZE_MAX : size_t(static_cast<unsigned char>(parts[1][0])) + 1;
  const std::string content = parts[1].empty() ? "" : parts[1].substr(1);

  // The site: what follows the first "@", up to "(", else "[", else the last ".".
  const std::string site = cookieSiteFromFileName(name);
  const size_t at = name.find('@');
  if (at == std::string::npos) {
    FUZZ_CHECK(site.empty());
  } else {
    const std::string rest = name.substr(at + 1);
    FUZZ_CHECK(rest.compare(0, site.size(), site) == 0);
    FUZZ_CHECK(site.find('(') == std::string::npos);
    if (site.size() < rest.size()) FUZZ_CHECK(std::string("([.").find(rest[site.size()]) != std::string::npos);
  }

  // The domain inside the file, read whole and in short pieces.
  const std::string domain = fileDomain(name, content, SIZE_MAX);
  FUZZ_CHECK(fileDomain(name, content, maxRead) == domain);
  if (domain != "False") {
    // A file name holds no "/"; a site with one ends the domain inside itself.
    FUZZ_CHECK(!site.empty() && (site.find('/') != std::string::npos || domain.compare(0, site.size(), site) == 0));
    FUZZ_CHECK(content.find(domain + "/") != std::string::npos);
    FUZZ_CHECK(domain.find('/') == std::string::npos);
  }

  // The reduced domain: the last "."-part and then one leading "www." gone.
  const std::string reduced = reduceCookieDomain(domain);
  std::string expect = domain.substr(0, domain.rfind('.'));
  if (expect.size() >= 4 && iequals(expect.substr(0, 4), "www.")) expect.erase(0, 4);
  FUZZ_CHECK(reduced == expect);

  std::vector<std::string> entries;
  BlockedCookieList list;
  for (const std::string& line : split(replaceAll(parts[2], "\r\n", "\n"), "\n"))
    for (const std::string& entry : split(line, "|")) {
      entries.push_back(entry);
      list.add(entry);
    }
  FUZZ_CHECK(list.lastIndex() == int(entries.size()));
  FUZZ_CHECK(list.first() == (entries.empty() ? std::string() : entries.front()));
  checkSame(list, entries, parts[3]);
  checkSame(list, entries, toUpper(parts[3]));
  checkSame(list, entries, reduced);
  for (size_t i = 0; i < entries.size() && i < 16; ++i) {
    std::string own = entries[i].substr(0, entries[i].rfind('.'));
    checkSame(list, entries, own);
    if (own.find('*') != std::string::npos) own.erase(own.find('*'), 1);
    checkSame(list, entries, own);
    checkSame(list, entries, toUpper(own));
  }
  return 0;
}
