#include "tests/local_server.h"  // before <windows.h>: it brings the sockets
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "common/text.h"
#include "definitions/cipher.h"
#include "tests/support/fakes.h"
#include "tests/test_signer.h"
#include "update/definition_merge.h"
#include "update/live_update.h"
#include "update/update_windows.h"

using namespace quillon;
using namespace quillon::test;

TEST(LiveUpdateDates, AnswersAreNormalisedAndComparedFieldByField) {
  DateTime d;
  ASSERT_TRUE(normaliseDateAnswer("  \t1/2/2026\r\n 3:04:05 PM and more text", d));
  EXPECT_EQ(formatDateTime(d), "1/2/2026 3:04:05 PM");
  ASSERT_TRUE(normaliseDateAnswer("5/6/2027 1:00:00 am<br>", d));
  EXPECT_EQ(formatDateTime(d), "5/6/2027 1:00:00 AM");
  EXPECT_FALSE(normaliseDateAnswer("<html>Not Found</html>", d));
  EXPECT_FALSE(normaliseDateAnswer("", d));
  DateTime a, b;
  parseDateTime("1/2/2026 3:04:05 PM", a);
  parseDateTime("1/2/2026 3:04:06 PM", b);
  EXPECT_TRUE(laterThan(b, a));  // one second later is later
  EXPECT_FALSE(laterThan(a, a));
  const LiveUpdateUrls u = liveUpdateUrls("http://h", "My Product", "A&B Co", "3/16/2006 12:00:00 AM");
  EXPECT_EQ(u.currentDate, "http://h/asp/currentDate.asp?prog=My%20Product&comp=A&B%20Co");
  EXPECT_EQ(u.update, "http://h/asp/getDefs.asp?prog=My%20Product&comp=A&B%20Co&date=3/16/2006%2012:00:00%20AM");
  EXPECT_EQ(u.date, "http://h/asp/date.asp");
}

namespace {
struct LiveUpdateFixture : ::testing::Test {
  App app;
  std::vector<std::string> merged;
  int notices = 0;
  std::string notice;
  ui::FrmMain& m() { return app.main(); }
  void SetUp() override {
    app.writeEmptyDefinitions();
    m().session.merge = [this](const DefinitionUpdate& update, MergeStatus&) {
      merged.push_back(update.text);
      if (update.text.find("[DEF]") == std::string::npos) return MergeOutcome{0, false, false, "unusable"};
      m().defs.writeDate(update.newDate);
      return MergeOutcome{3, true, false, ""};
    };
    m().updateNotice = [this](const std::string& text) {
      ++notices;
      notice = text;
    };
  }
};
}  // namespace

TEST_F(LiveUpdateFixture, AnUnreachableServerIsSaidAndNothingChanges) {
  m().settings.write(keys::DefinitionServer, "http://127.0.0.1:1");
  m().Form_Load();
  // Every way in runs the same Live Update.
  for (controls::Control* c : std::initializer_list<controls::Control*>{&m().cmdUpdate, &m().tabLiveUpdate.cmdLiveUpdate})
    static_cast<controls::Button*>(c)->click();
  m().menu.mnuFileLiveUpdate.click();
  EXPECT_EQ(notices, 3);
  EXPECT_TRUE(m().tabLiveUpdate.cmdLiveUpdate.enabled());  // given back after the run
  m().RunLiveUpdate();
  EXPECT_EQ(m().lastUpdate().outcome, UpdateOutcome::Unreachable);
  EXPECT_EQ(notice, "The QuillonTest definition server could not be reached. Your definitions were not changed.");
  EXPECT_TRUE(merged.empty());
  EXPECT_EQ(m().defs.readDate(), kDefaultDefinitionDate);
}

namespace {
// A definition server whose every page the test writes: a status and a body per page, or no
// answer at all for a page it leaves out. A page asked for the default date (the whole
// release) is looked up as "<page>@whole" first.
class ScriptedServer : public Http {
 public:
  struct Page {
    uint32_t status = 200;
    std::string body;
  };
  std::map<std::string, Page> pages;  // by page name: "currentDate", "getDefs", "getDefsSig", "date"
  HttpResponse get(const std::string& url, const HttpLimits&, const std::function<void(int, size_t, size_t)>& afterRead) override {
    const size_t from = url.find("/asp/") + 5;
    const std::string page = url.substr(from, url.find(".asp", from) - from);
    auto it = pages.find(page + (url.find("&date=3/16/2006%20") != std::string::npos ? "@whole" : ""));
    if (it == pages.end()) it = pages.find(page);
    HttpResponse r;
    if (it == pages.end()) return r;  // no connection
    r.failure = HttpFailure::None;
    r.status = it->second.status;
    r.body = it->second.body;
    if (afterRead) afterRead(1, r.body.size(), r.body.size());
    return r;
  }
};

std::string fileRecord(const std::string& kind, const std::string& action, const std::string& name) {
  return encodeDefinitionLine(kind) + "|" + action + "[DEF]" + encodeDefinitionLine(name) +
         (action == "ADD" ? "=" + encodeDefinitionLine("New") + "|" + encodeDefinitionLine("[windir]") : "");
}

// The SHA-256 of the five definition files once `text` is merged into `cookies` (the other
// files empty).
std::vector<std::string> digestsAfter(const std::vector<std::string>& cookies, const std::string& text) {
  App app;
  app.writeEmptyDefinitions();
  app.writeDefinitions(kCookieDefs, cookies);
  struct : MergeStatus {
    void show(const std::string&) override {}
    void yield() override {}
  } quiet;
  mergeDefinitionUpdate(app.fs, app.signatures, app.folder, text, quiet);
  std::vector<std::string> digests;
  for (const char* f : kDefinitionFiles) digests.push_back(app.signatures.sha256(app.readText(f)));
  return digests;
}
}  // namespace

// Every way a definition server can hand over something its publisher did not sign for this
// program, and dates that make no sense: each leaves the five definition files and the date
// byte for byte as they were, and the notice says why.
TEST(LiveUpdateRefusals, EveryHostileAnswerChangesNothingAndSaysWhy) {
  TestSigner publisher, stranger;
  const std::string local = "1/1/2029 12:00:00 AM", next = "1/1/2030 12:00:00 AM";
  const std::string rec = fileRecord("FILE", "ADD", "new.dll");
  const std::string text = rec + "[BR]" + encodeDefinitionLine("COOK") + "|DEL[DEF]" + encodeDefinitionLine("old.example");
  // The whole release gives from nothing what the update gives the set at `local`.
  const std::string whole = rec + "[BR]" + encodeDefinitionLine("COOK") + "|ADD[DEF]" + encodeDefinitionLine("kept.example");
  const std::vector<std::string> after = digestsAfter({"old.example", "kept.example"}, text);
  ASSERT_EQ(digestsAfter({}, whole), after);
  std::vector<std::string> wrong = after;
  wrong[3] = std::string(32, 'w');
  const std::string good = publisher.statement(local, next, text, after);
  const std::string otherSignature = TestSigner::statementBody(local, next, text, after) + "signature: " +
                                     TestSigner::hex(publisher.sign(TestSigner::statementBody(local, next, rec, after))) + "\r\n";
  using Pages = std::map<std::string, ScriptedServer::Page>;
  auto server = [&](const std::string& current, const std::string& update, const std::string& statement) {
    return Pages{{"currentDate", {200, current}}, {"getDefs", {200, update}}, {"getDefsSig", {200, statement}},
                 {"date", {200, next}}};
  };
  auto with = [](Pages p, const std::string& page, ScriptedServer::Page answer) {
    p[page] = answer;
    return p;
  };
  struct Case {
    const char* what;
    Pages pages;
    const char* why;
    bool allowUnsigned = false, appliedFirst = false;
    UpdateOutcome outcome = UpdateOutcome::Refused;
  };
  const Pages genuine = server(next, text, good);
  const Pages wholeRelease = with(with(genuine, "getDefs@whole", {200, whole}), "getDefsSig@whole",
                                  {200, publisher.statement(kDefaultDefinitionDate, next, whole, after)});
  const Case cases[] = {
      {"unsigned", with(genuine, "getDefsSig", {404, "no"}), "not signed by the definitions' publisher"},
      {"a valid signature over other bytes", server(next, text, otherSignature), "not signed with a key of the definitions' publisher"},
      {"another from-date", server(next, text, publisher.statement("6/1/2028 12:00:00 AM", next, text, after)),
       "signed for definitions dated 6/1/2028 12:00:00 AM, not 1/1/2029 12:00:00 AM"},
      {"an unknown key", server(next, text, stranger.statement(local, next, text, after)), "not signed with a key"},
      {"an altered text", server(next, text + "[BR]" + rec, good), "not the one the publisher signed"},
      {"a cut text", server(next, text.substr(0, text.size() - 3), good), "not the one the publisher signed"},
      {"a garbled statement", server(next, text, good.substr(0, good.size() - 3)), "its signature could not be read"},
      {"a statement of the earlier form", server(next, text, replaceAll(good, "update 2", "update 1")), "its signature could not be read"},
      {"the same update twice", server("2/1/2030 12:00:00 AM", text, good), "signed for definitions dated 1/1/2029", false, true},
      {"an impossible new date", server("3/1/2030 12:00:00 AM", text, publisher.statement(local, "2/30/2030 1:00:00 AM", text, after)),
       "its new definitions date is not a date"},
      {"a time alone", server(next, text, publisher.statement(local, "1:00:00 AM", text, after)), "not a date"},
      {"beyond the server's date", server(next, text, publisher.statement(local, "12/31/9999 11:59:59 PM", text, after)),
       "is later than the server's current date, 1/1/2030 12:00:00 AM"},
      {"not later than now", server(next, text, publisher.statement(local, "6/1/2028 12:00:00 AM", text, after)), "is not later than"},
      {"an impossible current date", server("2/30/2030 1:00:00 AM", text, good), "its current date is not a date"},
      {"a current time alone", server("1:00:00 AM", text, good), "its current date is not a date"},
      // The files the update would give are not the signed ones, and the whole release, signed
      // the same, gives them neither.
      {"other files than signed", with(with(wholeRelease, "getDefsSig", {200, publisher.statement(local, next, text, wrong)}),
                                       "getDefsSig@whole", {200, publisher.statement(kDefaultDefinitionDate, next, whole, wrong)}),
       "BlockedCookies.dat would not be the one its publisher signed"},
      {"no whole release signed to repair it", with(with(genuine, "getDefsSig", {200, publisher.statement(local, next, text, wrong)}),
                                                     "getDefsSig@whole", {404, ""}),
       "not signed by the definitions' publisher"},
      {"an error status", with(genuine, "currentDate", {500, next}), "refused the request (HTTP 500)", false, false,
       UpdateOutcome::ServerRefused},
      {"an error for the text", with(genuine, "getDefs", {503, text}), "refused the request (HTTP 503)", false, false,
       UpdateOutcome::ServerRefused},
      {"no answer", [&] {
         Pages p = genuine;
         p.erase("getDefsSig");
         return p;
       }(),
       "could not be reached", false, false, UpdateOutcome::Unreachable},
      {"unsigned allowed, but a bad signature", server(next, text, stranger.statement(local, next, text, after)), "not signed with a key", true},
      {"unsigned allowed, an impossible date",
       with(with(genuine, "getDefsSig", {404, ""}), "date", {200, "2/30/2029 1:00:00 AM"}), "its new definitions date is not a date", true},
      {"unsigned allowed, a date far ahead", with(with(genuine, "getDefsSig", {404, ""}), "date", {200, "12/31/9999 11:59:59 PM"}),
       "is later than the server's current date", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    App app;
    app.writeEmptyDefinitions();
    app.writeDefinitions(kCookieDefs, {"old.example", "kept.example"});
    app.writeText(kDateFile, local + "\r\n");
    ScriptedServer scripted;
    PlatformParts parts = app.ownParts();
    parts.http = &scripted;
    Platform platform(parts);
    ui::FrmMain m(platform, app.host, app.path("quillon.exe"), Branding{app.product, "Test Company", "x", 1, 0});
    m.session.publisherKeys = {publisher.publicKey()};
    m.settings.write(keys::DefinitionServer, "http://definitions.test");
    m.settings.write(keys::AllowUnsignedDefinitions, c.allowUnsigned ? "Yes" : "No");
    std::string notice;
    m.updateNotice = [&notice](const std::string& t) { notice = t; };
    m.Form_Load();
    if (c.appliedFirst) {
      scripted.pages = genuine;
      m.RunLiveUpdate();
      ASSERT_EQ(m.lastUpdate().outcome, UpdateOutcome::Updated) << notice;
      ASSERT_EQ(app.readText(kDateFile), next + "\r\n");
    }
    std::map<std::string, std::string> before;
    for (const char* f : {kFileDefs, kExeDefs, kRegistryDefs, kCookieDefs, kDirectoryDefs, kDateFile}) before[f] = app.readText(f);
    scripted.pages = c.pages;
    m.RunLiveUpdate();
    EXPECT_EQ(m.lastUpdate().outcome, c.outcome);
    for (const auto& [f, bytes] : before) EXPECT_EQ(app.readText(f), bytes) << f;
    EXPECT_NE(notice.find(c.why), std::string::npos) << notice;
    EXPECT_NE(notice.find("Your definitions were not changed."), std::string::npos) << notice;
    for (const char* f : {kFileDefs, kCookieDefs, kDateFile, kUpdateJournal})
      EXPECT_EQ(app.fs.attributes(stagedPath(app.folder, f)), kNoSuchPath) << f;
  }

  // The same server, genuine: the update lands with its signed date, and the files are the
  // signed ones. Allowed unsigned, it lands too, and the notice says it was not signed. A set
  // that drifted from its release (a line the release never had), or one without its date,
  // takes the whole release, which replaces the files: the same files, byte for byte, and no
  // definition twice.
  struct Landing {
    const char* what;
    Pages pages;
    std::vector<std::string> cookies;
    bool dated, signedUpdate;
  } const landings[] = {
      {"signed", wholeRelease, {"old.example", "kept.example"}, true, true},
      {"unsigned", with(genuine, "getDefsSig", {404, ""}), {"old.example", "kept.example"}, true, false},
      {"drifted", wholeRelease, {"old.example", "kept.example", "drift.example"}, true, true},
      {"without its date", wholeRelease, {"kept.example"}, false, true},
      {"without its date, holding more", wholeRelease, {"kept.example", "kept.example", "other.example"}, false, true},
  };
  for (const Landing& l : landings) {
    SCOPED_TRACE(l.what);
    App app;
    app.writeEmptyDefinitions();
    app.writeDefinitions(kFileDefs, l.dated ? std::vector<std::string>{} : std::vector<std::string>{"new.dll=New|[windir]"});
    app.writeDefinitions(kCookieDefs, l.cookies);
    if (l.dated) app.writeText(kDateFile, local + "\r\n");
    ScriptedServer scripted;
    scripted.pages = l.pages;
    PlatformParts parts = app.ownParts();
    parts.http = &scripted;
    Platform platform(parts);
    ui::FrmMain m(platform, app.host, app.path("quillon.exe"), Branding{app.product, "Test Company", "x", 1, 0});
    m.session.publisherKeys = {stranger.publicKey(), publisher.publicKey()};  // a key rotated in
    m.settings.write(keys::DefinitionServer, "http://definitions.test");
    m.settings.write(keys::AllowUnsignedDefinitions, l.signedUpdate ? "No" : "Yes");
    std::string notice;
    m.updateNotice = [&notice](const std::string& t) { notice = t; };
    m.Form_Load();
    m.RunLiveUpdate();
    EXPECT_EQ(m.lastUpdate().outcome, UpdateOutcome::Updated) << notice;
    EXPECT_EQ(notice, std::string("Your QuillonTest definitions have been updated!") +
                          (l.signedUpdate ? "" : " They were not signed by their publisher."));
    EXPECT_EQ(app.readText(kDateFile), next + "\r\n");
    for (size_t i = 0; i < after.size(); ++i)
      EXPECT_EQ(app.signatures.sha256(app.readText(kDefinitionFiles[i])), after[i]) << kDefinitionFiles[i];
    EXPECT_EQ(m.counts.total(), 2);
    EXPECT_EQ(app.fs.attributes(app.path(kUpdateJournal)), kNoSuchPath);
  }
}

// The whole way: the real merge applies the server's release, and the next scan uses it.
TEST(LiveUpdateEndToEnd, TheNextScanFindsWhatTheNewDefinitionsName) {
  const char* server = std::getenv("QUILLON_TEST_SERVER");
  if (!server) GTEST_SKIP() << "no reference server";
  App app;
  app.writeEmptyDefinitions();
  ui::FrmMain& m = app.main();
  m.settings.write(keys::DefinitionServer, server);
  std::string notice;
  m.updateNotice = [&notice](const std::string& text) { notice = text; };
  m.Form_Load();
  EXPECT_EQ(m.counts.total(), 0);
  m.RunLiveUpdate();
  EXPECT_EQ(notice, "Your QuillonTest definitions have been updated!");
  EXPECT_GT(m.counts.total(), 10);
  EXPECT_EQ(m.pageStatus.lblDefCount.caption(), groupDigits(m.counts.total()));
  EXPECT_EQ(m.pageStatus.lblDefVersion.caption(), "1/1/2030 12:00:00 AM PST");
  EXPECT_EQ(m.settings.read(keys::RESTART), "True");
  // Now as new as the server: nothing is fetched, the definitions are current.
  m.RunLiveUpdate();
  EXPECT_EQ(notice, "You are using the most recent QuillonTest definitions.");
  // The date lost: the whole release replaces the files, which come out the same, byte for
  // byte; nothing is added a second time.
  std::map<std::string, std::string> updated;
  for (const char* f : kDefinitionFiles) updated[f] = app.readText(f);
  const int count = m.counts.total();
  app.fs.deleteFile(app.path(kDateFile));
  // The download's status box counts the bytes as they come, after the first piece.
  std::vector<size_t> received;
  const LiveUpdateRunOutcome again = m.session.update(nullptr, [&received](const std::string& text) {
    if (text.rfind("Downloaded ", 0) != 0) return;
    const size_t n = std::strtoul(text.c_str() + 11, nullptr, 10);
    EXPECT_EQ(text, "Downloaded " + std::to_string(n) + " bytes.");
    received.push_back(n);
  });
  EXPECT_EQ(again.notice, "Your QuillonTest definitions have been updated!");
  // The release's pieces of 256 bytes, counted from the second on.
  const auto second = std::find(received.begin(), received.end(), size_t(512));
  ASSERT_TRUE(second != received.end() && second + 1 != received.end()) << ::testing::PrintToString(received);
  EXPECT_EQ(second[1], 768u);
  EXPECT_EQ(m.counts.total(), count);
  for (const auto& [f, bytes] : updated) EXPECT_EQ(app.readText(f), bytes) << f;
  // The sample release names HKEY_CURRENT_USER\Software\QuillonSample; plant it and scan.
  app.registry.setValue(0x80000001u, "Software\\QuillonSample", "HomePageHook", RegValue{kRegSz, std::string("x\0", 2)});
  m.pageScan.cmdScanNow_Click();
  app.registry.deleteTree(0x80000001u, "Software\\QuillonSample");
  bool found = false;
  for (int i = 0; i < m.results.removalCount(); ++i) found = found || m.results.removalRow(i).threat == "Quillon.Sample.Toolbar";
  EXPECT_TRUE(found);
}

// Two programs at once against the reference server: two updates started together, and a scan
// started during an update. Each update leaves the set wholly old or wholly new (never a cut
// file, never a definition twice), and the scan sees one whole set, never a mix of two. A scan
// and an update kept waiting past the bound say so and change nothing.
TEST(LiveUpdateBetweenPrograms, TwoUpdatesAndAScanDuringAnUpdateEachSeeOneWholeSet) {
  const char* server = std::getenv("QUILLON_TEST_SERVER");
  if (!server) GTEST_SKIP() << "no reference server";
  App app;
  const std::string cli = app.path("quillon-cli.exe");
  CopyFileA((binFolder() + "\\quillon-cli.exe").c_str(), cli.c_str(), FALSE);
  const std::string machineKey = "SOFTWARE\\Quillon Developers\\Quillon\\Settings";
  app.registry.setValue(kHkeyLocalMachine, machineKey, "DefinitionServer", RegValue{kRegSz, std::string(server) + '\0'});
  // The old set names things of its own and has no date: the update brings the whole release,
  // whose sample definitions name the key, the value and the shortcut planted here as well.
  const std::string planted = makeFolder(app.path("planted")), desktop = app.shell.specialFolder(0x10);
  app.writeText("planted\\old.dll", "x");
  app.fs.write(desktop + "\\Win Free Prizes.url", "x", false);
  const RegValue x{kRegSz, std::string("x\0", 2)};
  app.registry.setValue(kHkeyCurrentUser, "Software\\QuillonOldSet", "v", x);
  app.registry.setValue(kHkeyCurrentUser, "Software\\QuillonSample", "Binary", x);
  const char* const others[] = {kDateFile, kUpdateJournal};
  auto oldSet = [&] {
    for (const char* f : others) app.fs.deleteFile(app.path(f));
    app.writeEmptyDefinitions();
    app.writeDefinitions(kFileDefs, {"old.dll=Old.File|" + planted});
    app.writeDefinitions(kRegistryDefs, {"1^Software\\QuillonOldSet^=Old.Key"});
  };
  auto held = [&] {
    std::map<std::string, std::string> files;
    for (const char* f : kDefinitionFiles) files[f] = app.readText(f);
    files[kDateFile] = app.readText(kDateFile);
    for (const char* f : {kFileDefs, kDateFile, kUpdateJournal})
      if (app.fs.attributes(stagedPath(app.folder, f)) != kNoSuchPath) files["staged"] += f;
    if (app.fs.attributes(app.path(kUpdateJournal)) != kNoSuchPath) files["journal"] = "left";
    return files;
  };
  // Which set a scan saw: the old one's threats, or the new one's, never some of each.
  const std::set<std::string> oldThreats{"Old.File", "Old.Key"},
      newThreats{"Quillon.Sample.Toolbar", "Quillon.Sample.Binary", "Quillon.Sample.Shortcut"};
  auto sawOneSet = [&](const ProgramRun& scan) {
    std::set<std::string> seen;
    for (const std::string& line : split(replaceAll(scan.out, "\r\n", "\n"), "\n"))
      if (line.find('\t') != std::string::npos) seen.insert(line.substr(0, line.find('\t')));
    const bool anyOld = seen.count("Old.File") || seen.count("Old.Key");
    if (anyOld) return seen == oldThreats;
    return std::includes(seen.begin(), seen.end(), newThreats.begin(), newThreats.end());
  };
  oldSet();
  ProgramRun first = runProgram(cli, "update");
  ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
  const std::map<std::string, std::string> newSet = held();
  ProgramRun scan = runProgram(cli, "scan");
  EXPECT_TRUE(sawOneSet(scan) && scan.out.find("Quillon.Sample.Binary") != std::string::npos) << scan.out;

  std::mt19937 pick(20261208);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    oldSet();
    ProgramRun other;
    std::thread together([&] { other = runProgram(cli, "update"); });
    ProgramRun mine = runProgram(cli, "update");
    together.join();
    EXPECT_EQ(mine.exitCode, 0) << mine.out << mine.err;
    EXPECT_EQ(other.exitCode, 0) << other.out << other.err;
    EXPECT_EQ(held(), newSet);

    oldSet();
    std::thread updating([&] { other = runProgram(cli, "update"); });
    Sleep(DWORD(pick() % 1500));
    scan = runProgram(cli, "scan");
    updating.join();
    EXPECT_EQ(other.exitCode, 0) << other.out << other.err;
    EXPECT_EQ(scan.exitCode, 1) << scan.err;
    EXPECT_TRUE(sawOneSet(scan)) << scan.out;
    EXPECT_EQ(held(), newSet);
  }
  // Kept past the wait by another program (here the test): both say so and change nothing.
  oldSet();
  const std::map<std::string, std::string> oldFiles = held();
  {
    DefinitionStore defs(app.fs, app.folder);
    StoreLockResult taken = StoreLockResult::Failed;
    const auto hold = defs.lock(true, 0, nullptr, taken);
    ProgramRun other;
    std::thread updating([&] { other = runProgram(cli, "update"); });
    scan = runProgram(cli, "scan");
    updating.join();
    for (const ProgramRun* r : {&other, &scan}) {
      EXPECT_EQ(r->exitCode, 2) << r->out << r->err;
      EXPECT_EQ(r->out, "");
      EXPECT_NE(r->err.find("Another Quillon is busy with the definitions. Nothing was changed"), std::string::npos) << r->err;
    }
  }
  EXPECT_EQ(held(), oldFiles);
  app.fs.deleteFile(desktop + "\\Win Free Prizes.url");
  for (const char* key : {"Software\\QuillonOldSet", "Software\\QuillonSample", "Software\\Quillon"})
    app.registry.deleteTree(kHkeyCurrentUser, key);
  app.registry.deleteValue(kHkeyLocalMachine, machineKey, "DefinitionServer");
}

// The download window's caption cycles with a period of 15 ticks whatever the picture shows.
TEST(LiveUpdateWindows, DownloadCaptionsFollowTheStageCounter) {
  DownloadBlink b;
  std::vector<std::string> first;
  for (int i = 0; i < 15; ++i) first.push_back(b.tick());
  // The pictures alternate on an odd period, so the second round shows the other text on 1, 7, 9.
  std::vector<std::string> second;
  for (int i = 0; i < 15; ++i) second.push_back(b.tick());
  EXPECT_EQ(second[0], first[0]);
  EXPECT_EQ(second[1], "Checking for Definitions.....");
  EXPECT_NE(first[1], second[1]);
  EXPECT_EQ(second[8], first[8]);

  // Each run's window starts on the first frame of its picture with no bar, whatever the last
  // run ended on; the stage counter goes on where it was.
  controls::HeadlessHost host;
  ui::FrmDownload window{host};
  for (int ticks : {1, 2}) {
    window.Form_Load();
    for (int i = 0; i < ticks; ++i) window.tmrBlink.tick(), window.tmrPicture.tick();
    window.showProgress(10, 20);
    window.Form_Unload();
  }
  window.Form_Load();
  EXPECT_EQ(window.picDownload.frame(), 0);
  EXPECT_FALSE(window.pgbDownload.visible());
  window.tmrBlink.tick();
  EXPECT_EQ(window.lblProduct.caption(), "Sending and receiving data, please wait.");
  EXPECT_EQ(window.blink.stage, 4);
}

namespace {
struct NoticeFixture : ::testing::Test {
  controls::HeadlessHost host;
  ui::FrmSignatureUpdated notice{host};
  int oks = 0;
  void SetUp() override { notice.onOk = [this] { ++oks; }; }
  // Ticks whichever of the notice's timers runs; returns the ticks until none runs.
  int runToEnd(int limit = 100000) {
    int ticks = 0;
    for (; ticks < limit; ++ticks) {
      if (notice.tmrPopupSignatureUpdate.enabled()) notice.tmrPopupSignatureUpdate.tick();
      else if (notice.tmrEnablePopDownTimer.enabled()) notice.tmrEnablePopDownTimer.tick();
      else if (notice.tmrPopDown.enabled()) notice.tmrPopDown.tick();
      else break;
    }
    return ticks;
  }
};
}  // namespace

TEST_F(NoticeFixture, SlidesUpAboveTheTaskbarRestsAndSlidesAwayBelowTheScreen) {
  notice.Form_Load("QuillonTest");
  EXPECT_EQ(notice.lblUpdateInfo.caption(),
            "All QuillonTest signatures have been updated automatically.  You are now protected from new malicious "
            "applications.");
  // It starts at the taskbar's upper edge, right-aligned.
  EXPECT_EQ(notice.top, 738);
  EXPECT_EQ(notice.left, 1024 - notice.width);
  int highest = notice.top;
  while (notice.tmrPopupSignatureUpdate.enabled()) {
    notice.tmrPopupSignatureUpdate.tick();
    highest = std::min(highest, notice.top);
  }
  EXPECT_TRUE(notice.visible());
  // At rest its bottom is just above the taskbar, never over it.
  EXPECT_LE(notice.top + notice.height, 738);
  EXPECT_GE(notice.top + notice.height, 738 - 10);
  EXPECT_EQ(notice.top, highest);
  EXPECT_TRUE(notice.tmrEnablePopDownTimer.enabled());
  EXPECT_EQ(oks, 0);
  runToEnd();
  // Gone only once wholly below the screen, then closed as by OK.
  EXPECT_GE(notice.top, 768);
  EXPECT_EQ(oks, 1);
  EXPECT_FALSE(notice.visible());
}

TEST_F(NoticeFixture, OkDuringTheSlideClosesAtOnce) {
  notice.Form_Load("QuillonTest");
  for (int i = 0; i < 5; ++i) notice.tmrPopupSignatureUpdate.tick();
  notice.cmdOk.click();
  EXPECT_EQ(oks, 1);
  EXPECT_FALSE(notice.visible());
  EXPECT_EQ(runToEnd(), 0);  // no timer goes on after it closed
}

// A taller screen than the old fixed slide end: the notice still leaves the screen wholly.
TEST_F(NoticeFixture, OnATallScreenTheNoticeLeavesTheScreenBeforeClosing) {
  host.screen = {0, 0, 1920, 1160};
  host.display = {0, 0, 1920, 1200};
  notice.Form_Load("QuillonTest");
  runToEnd();
  EXPECT_GE(notice.top, 1200);
  EXPECT_EQ(oks, 1);
}

TEST_F(LiveUpdateFixture, TheWindowsOfARunComeAndGo) {
  m().settings.write(keys::DefinitionServer, "http://127.0.0.1:1");
  m().Form_Load();
  std::vector<std::string> seen;
  bool trayDuringRun = false;
  app.pump.onYield = [&](int) {
    seen.push_back(m().frmDownload.txtStatus.text());
    trayDuringRun = trayDuringRun || (app.host.hasTray(m().frmDownload) && app.host.trayTip == "Getting latest definitions.");
  };
  m().updateNotice = nullptr;  // the desktop's notice, not the console's
  m().RunLiveUpdate();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), "Connecting to the definition server, please wait.");
  EXPECT_TRUE(trayDuringRun);
  // The download window and its icon are gone; the notice is up with the outcome.
  EXPECT_FALSE(m().frmDownload.visible());
  EXPECT_FALSE(app.host.hasTray(m().frmDownload));
  EXPECT_FALSE(m().frmDownload.tmrBlink.enabled());
  EXPECT_TRUE(m().frmSignatureUpdated.visible());
  EXPECT_EQ(m().frmSignatureUpdated.lblUpdateInfo.caption(),
            "The QuillonTest definition server could not be reached. Your definitions were not changed.");
  m().frmSignatureUpdated.cmdOk.click();
  EXPECT_FALSE(m().frmSignatureUpdated.visible());
  EXPECT_EQ(m().settings.read(keys::SHOW), "false");
}

// The message loop turns during a run and during a scan: a click on any way into Live Update
// then starts no second run, which would give the button back while the first still runs.
// "Exit Program" while a run waits on the server: the run ends, but shows no notice and turns
// no shield or scheduler timer back on in a program that is going.
// Shift held on "Live Update": the addresses of the definition files first, then the update.
TEST_F(LiveUpdateFixture, AShiftPressListsTheDefinitionFilesThenUpdates) {
  m().settings.write(keys::DefinitionServer, "http://127.0.0.1:1");
  m().Form_Load();
  m().cmdUpdate.shiftClick();
  ASSERT_FALSE(app.dialogs.shown.empty());
  const std::string listing = app.dialogs.shown.front().text;
  EXPECT_EQ(listing.substr(0, 47), "http://127.0.0.1:1/definitions/version/R.HTM\r\nh");
  EXPECT_NE(listing.find("http://127.0.0.1:1/definitions/data/ExeDefinition.dat\r\n"), std::string::npos);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(definitionFileListing("spyware-cleaner.test", "x").substr(0, 48),
            "spyware-cleaner.test/definitions/version/R.HTM\r\n");
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 8);
}

// A definition server that answers badly at one of Live Update's steps: the definition files
// and the definitions date stay byte-identical, and the user is told nothing was changed.
TEST(LiveUpdateBadAnswers, LeaveEveryDefinitionFileAndTheDateAsTheyWere) {
  const std::string newer = ok200("1/1/2030 12:00:00 AM");
  struct Case {
    const char* what;
    std::string currentDate, update;  // whole answers; empty: hang up at once
    bool silent;
    UpdateOutcome outcome;
  };
  const std::string fifty = "HTTP/1.1 200 OK\r\nContent-Length: 52428800\r\nConnection: close\r\n\r\n";
  const std::string noise(5000, '\x9C');
  const Case cases[] = {
      {"empty update", newer, ok200(""), false, UpdateOutcome::Refused},
      {"truncated update", newer, ok200("[BR]" + encodeDefinitionLine("FILE") + "|AD"), false, UpdateOutcome::Refused},
      {"nothing it can apply", newer, ok200("[BR][BR]"), false, UpdateOutcome::Refused},
      {"announced 50 MB", newer, fifty + std::string(100000, 'x'), false, UpdateOutcome::Unreachable},
      {"binary noise", newer, ok200(noise), false, UpdateOutcome::Refused},
      {"noise without HTTP", newer, noise, false, UpdateOutcome::Unreachable},
      {"error page", newer, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 21\r\n\r\n<html>Error 500</html>",
       false, UpdateOutcome::ServerRefused},
      {"date page not a date", ok200("tomorrow, probably"), "", false, UpdateOutcome::Refused},
      {"date page error", "HTTP/1.1 500 Oops\r\nContent-Length: 20\r\n\r\n1/1/2030 12:00:00 AM", "", false,
       UpdateOutcome::ServerRefused},
      {"silent server", "", "", true, UpdateOutcome::Unreachable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LocalServer server([&c](SOCKET s, LocalServer& srv) {
      if (c.silent) {
        srv.stopping(60000);
        return;
      }
      const std::string request = srv.lastRequest();
      const std::string& a = request.find("/asp/getDefs.asp") != std::string::npos ? c.update : c.currentDate;
      LocalServer::sendAll(s, a);
    });
    App app;
    app.writeEmptyDefinitions();
    app.writeDefinitions(kFileDefs, {"old.dll=Old|[windir]"});
    ui::FrmMain& m = app.main();
    m.settings.write(keys::DefinitionServer, server.url());
    std::string notice;
    m.updateNotice = [&notice](const std::string& text) { notice = text; };
    m.Form_Load();
    std::map<std::string, std::string> before;
    for (const char* f : {kFileDefs, kExeDefs, kRegistryDefs, kCookieDefs, kDirectoryDefs, kDateFile})
      before[f] = app.readText(f);
    const ULONGLONG start = GetTickCount64();
    m.RunLiveUpdate();
    EXPECT_LT(GetTickCount64() - start, 45000u);  // within the system's time-outs
    EXPECT_EQ(m.lastUpdate().outcome, c.outcome);
    for (const auto& [f, bytes] : before) EXPECT_EQ(app.readText(f), bytes) << f;
    EXPECT_NE(notice.find("not changed"), std::string::npos) << notice;
    EXPECT_TRUE(m.tabLiveUpdate.cmdLiveUpdate.enabled());
  }
}

// The user exits while an update that would apply is on its way, before it is asked for or once
// it has come: nothing more is fetched, nothing is merged, no notice or timer comes back, and
// the program is published as stopped, not as waiting for a restart.
TEST(LiveUpdateBadAnswers, ExitDuringTheRunFetchesAndMergesNothingMore) {
  const std::string update =
      "[BR]" + encodeDefinitionLine("FILE") + "|ADD[DEF]" + encodeDefinitionLine("late.dll") + "=" +
      encodeDefinitionLine("Late") + "|" + encodeDefinitionLine("[windir]");
  for (const bool textArrived : {false, true}) {
    SCOPED_TRACE(textArrived ? "update text arrived" : "at the first yield");
    std::atomic<bool> textServed{false};
    LocalServer server([&](SOCKET s, LocalServer& srv) {
      const std::string request = srv.lastRequest();
      if (request.find("/asp/getDefsSig.asp") != std::string::npos)
        return LocalServer::sendAll(s, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      const bool defs = request.find("/asp/getDefs.asp") != std::string::npos;
      if (defs) textServed = true;
      LocalServer::sendAll(s, ok200(defs ? update : "1/1/2030 12:00:00 AM"));
    });
    App app;
    app.writeEmptyDefinitions();
    const std::string before = app.readText(kFileDefs), date = app.readText(kDateFile);
    ui::FrmMain& m = app.main();
    m.settings.write(keys::DefinitionServer, server.url());
    m.settings.write(keys::AllowUnsignedDefinitions, "Yes");  // this server signs nothing
    m.Form_Load();
    int requestsAtExit = -1;
    app.pump.onYield = [&](int) {
      if (requestsAtExit < 0 && (!textArrived || textServed))
        requestsAtExit = server.connections(), m.mnuClose_Click();
    };
    m.RunLiveUpdate();
    ASSERT_GE(requestsAtExit, 0);
    EXPECT_EQ(server.connections(), requestsAtExit);
    EXPECT_NE(m.lastUpdate().outcome, UpdateOutcome::Updated);
    EXPECT_EQ(app.readText(kFileDefs), before);
    EXPECT_EQ(app.readText(kDateFile), date);
    EXPECT_EQ(m.settings.read(keys::RESTART), "False");
    EXPECT_EQ(m.settings.read(keys::STATUS), "STOPPED");
    EXPECT_FALSE(m.frmSignatureUpdated.visible() || m.frmDownload.visible() || m.tmrCheckHomePage.enabled());
  }
}
