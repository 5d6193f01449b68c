#include <gtest/gtest.h>
#include <windows.h>

#include "scan/cookie_scan.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// A cookie folder of its own, a session and a scan environment around both.
struct CookieFixture : ::testing::Test {
  App app;
  std::string folder;
  bool cancelled = false;
  void SetUp() override {
    folder = makeFolder(app.path("cookies"));
    app.writeEmptyDefinitions();
  }
  void cookie(const std::string& name, const std::string& body) { app.writeText("cookies\\" + name, body); }
  Session& session = app.session();
  void scan() {
    session.exclusions.load();
    ScannerEnv s(app.platform, session);
    s.host.cancelled = cancelled;
    scanCookieFolder(s.env, folder);
  }
};

}  // namespace

TEST(Cookies, SiteAndDomainFromTheFile) {
  App app;
  EXPECT_EQ(cookieSiteFromFileName("C:\\c\\user@site[1].txt"), "site");
  EXPECT_EQ(cookieSiteFromFileName("user@ads.site(2).txt"), "ads.site");
  EXPECT_EQ(cookieSiteFromFileName("user@site.txt"), "site");
  EXPECT_EQ(cookieSiteFromFileName("nosite.txt"), "");
  auto domain = [&](const std::string& name, const std::string& body) {
    app.writeText(name, body);
    return cookieFileDomain(app.fs, app.pump, app.path(name));
  };
  EXPECT_EQ(domain("u@site[1].txt", "id\n12345\nads.site.tld/\n1536\n"), "site.tld");
  EXPECT_EQ(domain("u@site[2].txt", "a,\"x, ads.site.tld/path\",b\r\n"), "site.tld");  // a quoted field keeps its comma
  EXPECT_EQ(domain("u@site[3].txt", "site.tld without a slash\r\nother/\r\n"), "False");
  EXPECT_EQ(domain("u@Site[4].txt", "ads.site.tld/\r\n"), "False");  // the site is found with its case
  EXPECT_EQ(domain("nosite.txt", "ads.site.tld/\r\n"), "False");
  EXPECT_EQ(cookieFileDomain(app.fs, app.pump, app.path("u@gone[1].txt")), "False");
  // A file with no delimiter at all costs a bounded field, not the whole file in memory.
  EXPECT_EQ(domain("u@big[1].txt", std::string(3 << 20, 'x') + "\r\nbig.tld/\r\n"), "big.tld");
  EXPECT_EQ(reduceCookieDomain("www.site.tld"), "site");
  EXPECT_EQ(reduceCookieDomain("site"), "site");
}

TEST(Cookies, BlockedListMatchesLikeTheSubstringRuleButByLookup) {
  BlockedCookieList list;
  for (const char* e : {"site.tld", "*star.tld", "Mixed.tld", "", "a.b.c"}) list.add(e);
  EXPECT_TRUE(list.isBlocked("site"));
  EXPECT_TRUE(list.isBlocked("SITE") == false);  // the entry must contain the domain as written
  EXPECT_TRUE(list.isBlocked("star"));
  EXPECT_FALSE(list.isBlocked("mixed"));  // letter case counts in the substring step
  EXPECT_TRUE(list.isBlocked("Mixed"));
  EXPECT_TRUE(list.isBlocked("a.b"));
  EXPECT_FALSE(list.isBlocked("False"));
  EXPECT_EQ(list.lastIndex(), 5);
  EXPECT_EQ(list.first(), "site.tld");
}

TEST_F(CookieFixture, FoundExcludedAndUnmatchedCookies) {
  app.writeDefinitions("BlockedCookies.dat", {"site.tld", "*star.tld", "Other.tld", "kept.tld"});
  cookie("user@site[1].txt", "id\nads.site.tld/\n");
  cookie("user@star[1].txt", "id\nstar.tld/\n");
  cookie("user@other[1].txt", "id\nwww.other.tld/\n");  // "other" is not in "Other.tld" as written
  cookie("user@www.site[1].txt", "id\nwww.site.tld/\n");
  cookie("user@kept[1].txt", "id\nkept.tld/\n");
  cookie("notacookie.txt", "site.tld/\n");
  app.writeText("ENoSignature.txt", folder + "\\user@kept[1].txt\r\n");
  scan();
  ScanResults& r = session.results;
  std::vector<std::string> found = foundTexts(r);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"Cookie Found: user@site[1].txt", "Cookie Found: user@star[1].txt",
                                             "Cookie Found: user@www.site[1].txt",
                                             "EXCLUDED: " + folder + "\\user@kept[1].txt"}));
  EXPECT_EQ(session.counters.threatsFound, 3);
  EXPECT_EQ(r.cookieWorkCount(), 3);
  ASSERT_EQ(r.removalCount(), 3);
  RemovalRow row = r.removalRow(0);
  EXPECT_EQ(row.threat.rfind("Cookie: user@", 0), 0u);
  EXPECT_EQ(row.type, "Tracking Cookie");
  EXPECT_EQ(row.icon, kIconCookie);
  // Checking a cookie row marks exactly its file for removal.
  r.setChecked(0, true);
  ASSERT_EQ(r.checkedCookies().size(), 1u);
  EXPECT_EQ(r.checkedCookies()[0].path, row.location);
  EXPECT_EQ(session.counters.processesInspected, 4);  // reaches the number of blocked entries
}

TEST_F(CookieFixture, WithoutTheBlockedListEveryFileIsStillCountedAndNothingMatches) {
  DeleteFileA(app.path("BlockedCookies.dat").c_str());
  cookie("user@site[1].txt", "ads.site.tld/\n");
  int seen = 0;
  app.pump.onYield = [&](int) { ++seen; };
  scan();
  EXPECT_TRUE(session.results.foundRows().empty());
  EXPECT_GT(seen, 0);
  // A cancelled run looks at no file, not even one the blocked list names.
  app.writeDefinitions("BlockedCookies.dat", {"site.tld"});
  cancelled = true;
  scan();
  EXPECT_TRUE(session.results.foundRows().empty());
  cancelled = false;
  scan();
  EXPECT_EQ(session.results.foundRows().size(), 1u);
}
