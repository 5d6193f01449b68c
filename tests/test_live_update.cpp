#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "common/text.h"
#include "tests/fakes.h"
#include "update/live_update.h"

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
    m().definitionMerge = [this](const std::string& text) {
      merged.push_back(text);
      return text.find("[DEF]") != std::string::npos ? 3 : -1;
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
  for (controls::Control* c : std::initializer_list<controls::Control*>{&m().cmdUpdate, &m().cmdLiveUpdate})
    static_cast<controls::Button*>(c)->click();
  m().mnuFileLiveUpdate.click();
  EXPECT_EQ(notices, 3);
  EXPECT_TRUE(m().cmdLiveUpdate.enabled());  // given back after the run
  m().RunLiveUpdate();
  EXPECT_EQ(m().lastUpdate().outcome, UpdateOutcome::Unreachable);
  EXPECT_EQ(notice, "The QuillonTest definition server could not be reached. Your definitions were not changed.");
  EXPECT_TRUE(merged.empty());
  EXPECT_EQ(m().defs.readDate(), kDefaultDefinitionDate);
}

TEST_F(LiveUpdateFixture, ANewerReleaseIsFetchedMergedAndItsDateKept) {
  const char* server = std::getenv("QUILLON_TEST_SERVER");
  if (!server) GTEST_SKIP() << "no reference server";
  m().settings.write(keys::DefinitionServer, server);
  m().Form_Load();
  m().RunLiveUpdate();
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_NE(merged[0].find("[DEF]"), std::string::npos);
  EXPECT_EQ(m().lastUpdate().outcome, UpdateOutcome::Updated);
  EXPECT_EQ(notice, "Your QuillonTest definitions have been updated!");
  EXPECT_EQ(m().defs.readDate(), "1/1/2030 12:00:00 AM");
  EXPECT_EQ(m().lblDefVersion.caption(), "1/1/2030 12:00:00 AM PST");
  EXPECT_EQ(m().settings.read(keys::RESTART), "True");
  EXPECT_EQ(m().settings.read(keys::SHOW), "True");

  // Now as new as the server: nothing is fetched, the definitions are current.
  m().RunLiveUpdate();
  EXPECT_EQ(merged.size(), 1u);
  EXPECT_EQ(m().lastUpdate().outcome, UpdateOutcome::Current);
  EXPECT_EQ(notice, "You are using the most recent QuillonTest definitions.");

  // An update the merge cannot use changes nothing and is said.
  m().defs.writeDate(kDefaultDefinitionDate);
  m().definitionMerge = [](const std::string&) { return -1; };
  m().RunLiveUpdate();
  EXPECT_EQ(m().lastUpdate().outcome, UpdateOutcome::Refused);
  EXPECT_EQ(m().defs.readDate(), kDefaultDefinitionDate);
  EXPECT_EQ(notices, 3);
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
  EXPECT_EQ(m.DefinitionCount, 0);
  m.RunLiveUpdate();
  EXPECT_EQ(notice, "Your QuillonTest definitions have been updated!");
  EXPECT_GT(m.DefinitionCount, 10);
  EXPECT_EQ(m.lblDefCount.caption(), groupDigits(m.DefinitionCount));
  // The sample release names HKEY_CURRENT_USER\Software\QuillonSample; plant it and scan.
  app.registry.setValue(0x80000001u, "Software\\QuillonSample", "HomePageHook", RegValue{kRegSz, std::string("x\0", 2)});
  m.cmdScanNow_Click();
  app.registry.deleteTree(0x80000001u, "Software\\QuillonSample");
  bool found = false;
  for (int i = 0; i < m.results.removalCount(); ++i) found = found || m.results.removalRow(i).threat == "Quillon.Sample.Toolbar";
  EXPECT_TRUE(found);
}
