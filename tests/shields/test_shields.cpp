// The shields between scans: the memory shield's alert and its answers, the old systems'
// question, and the home-page shield's watch over the browser's start page.
#include <gtest/gtest.h>
#include <windows.h>

#include "common/text.h"
#include "shields/home_page_shield.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {
const std::string kUpperWaiter = "QUILLON-SAMPLE-WAITER.EXE";

// The sample program in two folders; only the first is named by a definition.
struct MemoryShieldTest : ::testing::Test {
  App app;
  std::string listed, other;
  int alerts = 0;
  void SetUp() override {
    listed = folderWithSampleWaiter(app, "listed");
    other = folderWithSampleWaiter(app, "other");
    app.writeEmptyDefinitions();
    app.writeDefinitions("ExeDefinition.dat", {std::string(kSampleWaiter) + "=Sample.Waiter|" + listed});
  }
  ui::FrmMain& loaded() {
    auto& m = app.main();
    m.Form_Load();
    return m;
  }
  // Answers every alert with `button` after checking what it shows.
  void answerWith(ui::FrmMain& m, controls::Button ui::FrmSpywareFoundAlert::*button,
                  std::function<void()> before = nullptr) {
    app.host.onModal = [this, &m, button, before](controls::Form& f) {
      ASSERT_EQ(&f, &m.frmSpywareFoundAlert);
      ++alerts;
      // The tick holds every background timer off while it waits.
      EXPECT_FALSE(m.tmrMemoryInspected.enabled());
      EXPECT_FALSE(m.tmrCheckHomePage.enabled());
      if (before) before();
      (m.frmSpywareFoundAlert.*button).click();
      EXPECT_FALSE(f.visible());  // the answer takes the alert off the screen
    };
  }
};
}  // namespace

TEST_F(MemoryShieldTest, AProgramStartedLaterIsAlertedAtTheNextTickAndStopStopsThatCopy) {
  auto& m = loaded();
  answerWith(m, &ui::FrmSpywareFoundAlert::cmdYes);
  ASSERT_TRUE(m.tmrMemoryInspected.enabled());
  m.tmrMemoryInspected.tick();
  EXPECT_EQ(alerts, 0);
  EXPECT_TRUE(m.session.exeList.loaded());

  // The same file elsewhere is started first, so a stop by name would hit it.
  RunningProgram elsewhere(other + "\\" + kSampleWaiter);
  RunningProgram threat(listed + "\\" + kSampleWaiter);
  ASSERT_TRUE(threat.running());
  m.tmrMemoryInspected.tick();
  EXPECT_EQ(alerts, 1);
  EXPECT_EQ(m.frmSpywareFoundAlert.lblAlertFileName.caption(), kUpperWaiter);
  EXPECT_EQ(m.frmSpywareFoundAlert.lblAlertCompanyName.caption(), "No Company name for " + kUpperWaiter);
  EXPECT_FALSE(m.frmSpywareFoundAlert.cmdYes.enabled());  // pressed once, never twice
  EXPECT_TRUE(threat.waitForEnd(5000));
  EXPECT_TRUE(elsewhere.running());
  EXPECT_TRUE(app.dialogs.shown.empty());
  EXPECT_EQ(m.counters.threatsFound, 1);
  EXPECT_TRUE(m.tmrMemoryInspected.enabled());
  EXPECT_TRUE(m.tmrCheckHomePage.enabled());
  EXPECT_EQ(m.lvwSpywareFound.count(), 0);  // the results list stays the last scan's

  // The definitions were read once: a changed file counts only once the list is dropped (as
  // Live Update does).
  app.writeDefinitions("ExeDefinition.dat", {"other.exe=Other|C:\\elsewhere"});
  m.tmrMemoryInspected.tick();
  EXPECT_EQ(m.session.exeList.entries, 1);
  EXPECT_NE(m.session.exeList.pathList.find(kUpperWaiter), std::string::npos);
  m.session.exeList.clear();
  m.tmrMemoryInspected.tick();
  EXPECT_EQ(m.session.exeList.pathList, "|C:\\ELSEWHERE\\OTHER.EXE|");
}

TEST_F(MemoryShieldTest, AllowAddsOneLineAndLaterTicksAreQuiet) {
  RunningProgram threat(listed + "\\" + kSampleWaiter);
  auto& m = loaded();
  answerWith(m, &ui::FrmSpywareFoundAlert::cmdNO);
  m.tmrMemoryInspected.tick();
  EXPECT_EQ(alerts, 1);
  EXPECT_EQ(app.readText("ENoSignature.txt"), kUpperWaiter + "\r\n");
  EXPECT_TRUE(m.exclusions.isFileExcluded(kSampleWaiter));
  m.tmrMemoryInspected.tick();
  m.tmrMemoryInspected.tick();
  EXPECT_EQ(alerts, 1);
  EXPECT_EQ(app.readText("ENoSignature.txt"), kUpperWaiter + "\r\n");
  EXPECT_EQ(m.lvwSpywareFound.count(), 0);  // no "EXCLUDED" row per tick
  EXPECT_TRUE(threat.running());
}

TEST_F(MemoryShieldTest, StopForAProgramThatEndedMeanwhileSaysNothingAndAClosedAlertAsksAgain) {
  auto threat = std::make_unique<RunningProgram>(listed + "\\" + kSampleWaiter);
  auto& m = loaded();
  answerWith(m, &ui::FrmSpywareFoundAlert::cmdYes, [&] { threat.reset(); });
  m.tmrMemoryInspected.tick();
  EXPECT_EQ(alerts, 1);
  EXPECT_TRUE(app.dialogs.shown.empty());

  // Closed without an answer: nothing is decided, the next tick asks again.
  RunningProgram again(listed + "\\" + kSampleWaiter);
  int shown = 0;
  app.host.onModal = [&](controls::Form& f) { ++shown, f.setVisible(false); };
  m.tmrMemoryInspected.tick();
  m.tmrMemoryInspected.tick();
  EXPECT_EQ(shown, 2);
  EXPECT_TRUE(again.running());
  EXPECT_FALSE(m.memoryShield.alertAnswered());
  EXPECT_TRUE(app.readText("ENoSignature.txt").empty());
}

TEST_F(MemoryShieldTest, SwitchedOffTheTickDoesNothingAndTheOptionsDriveTheTimer) {
  RunningProgram threat(listed + "\\" + kSampleWaiter);
  auto& m = loaded();
  answerWith(m, &ui::FrmSpywareFoundAlert::cmdYes);
  m.chkAutoProtect.setValue(0);
  EXPECT_EQ(m.settings.read(keys::optMemorySheildOn), "False");
  EXPECT_EQ(m.settings.read(keys::optMemorySheildOff), "True");
  EXPECT_FALSE(m.tmrMemoryInspected.enabled());
  m.tmrCheckHomePage.setEnabled(false);
  m.tmrMemoryInspected_Timer();
  EXPECT_EQ(alerts, 0);
  EXPECT_FALSE(m.session.exeList.loaded());
  EXPECT_FALSE(m.tmrCheckHomePage.enabled());  // the timers were not touched
  EXPECT_TRUE(threat.running());

  m.optMemorySheildOn.click();
  EXPECT_EQ(m.settings.read(keys::optMemorySheildOn), "True");
  EXPECT_TRUE(m.tmrMemoryInspected.enabled());
  m.tmrMemoryInspected.tick();
  EXPECT_EQ(alerts, 1);
  m.optMemorySheildOff.click();
  EXPECT_EQ(m.settings.read(keys::optMemorySheildOff), "True");
  EXPECT_FALSE(m.tmrMemoryInspected.enabled());
}

// A process table the test writes, on an NT-family system. A process "started" later under
// a reused id shows a later start time.
struct ReusedIds : FakeProcesses {
  uint64_t later = 0;
  bool startUnknown = false;  // as for a program that ended between the look and the alert
  bool startTime(uint32_t pid, uint64_t& time) override {
    bool known = FakeProcesses::startTime(pid, time);
    time += later;
    return known && !startUnknown;
  }
};

struct MemoryShieldFake : ::testing::Test {
  App app;
  ReusedIds procs;
  std::unique_ptr<Platform> platform;
  std::unique_ptr<ui::FrmMain> m;
  void SetUp() override {
    procs.version = OsVersion{kPlatformNt, 5, 1};
    PlatformParts parts = app.platform.parts();
    parts.processes = &procs;
    platform = std::make_unique<Platform>(parts);
    app.writeEmptyDefinitions();
  }
  ui::FrmMain& load() {
    m = std::make_unique<ui::FrmMain>(*platform, app.host, app.path("quillon.exe"),
                                      Branding{app.product, "Test Company", "x", 1, 0});
    m->Form_Load();
    return *m;
  }
};

TEST_F(MemoryShieldFake, StopEndsTheMatchedIdAndSaysSoWhenItCannot) {
  procs.table = {{"C:\\GOOD\\TOOL.EXE", 10}, {"C:\\BAD\\TOOL.EXE", 20}, {app.path("quillon.exe"), 30}};
  app.writeDefinitions("ExeDefinition.dat", {"tool.exe=Tool|C:\\BAD", "quillon.exe=Self|" + app.folder});
  auto& f = load();
  int alerts = 0;
  app.host.onModal = [&](controls::Form&) {
    ++alerts;
    f.frmSpywareFoundAlert.cmdYes.click();
  };
  f.tmrMemoryInspected.tick();
  EXPECT_EQ(alerts, 1);  // the program's own executable is never put to the user
  EXPECT_EQ(procs.terminated, std::vector<uint32_t>{20});
  EXPECT_TRUE(app.dialogs.shown.empty());

  procs.failTerminate = true;
  f.tmrMemoryInspected.tick();
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].text,
            "TOOL.EXE could not be stopped.  You should try again after saving your work and closing any open "
            "applications.");
  EXPECT_EQ(app.dialogs.shown[0].title, app.product);

  // The id now belongs to another program (started later): STOP leaves it alone.
  procs.failTerminate = false;
  procs.terminated.clear();
  app.host.onModal = [&](controls::Form&) {
    procs.table[1] = {"C:\\GOOD\\EDITOR.EXE", 20};
    procs.later = 1000;
    f.frmSpywareFoundAlert.cmdYes.click();
  };
  f.tmrMemoryInspected.tick();
  EXPECT_TRUE(procs.terminated.empty());
  EXPECT_EQ(app.dialogs.shown.size(), 1u);
}

// The listed program ended right after the look, before its start could be read; while the
// alert waits its id goes to another program. STOP must not end that one.
TEST_F(MemoryShieldFake, StopWithoutAKnownStartEndsOnlyAProgramOfTheReportedName) {
  procs.table = {{"C:\\BAD\\TOOL.EXE", 20}};
  app.writeDefinitions("ExeDefinition.dat", {"tool.exe=Tool|C:\\BAD"});
  auto& f = load();
  procs.startUnknown = true;
  app.host.onModal = [&](controls::Form&) {
    procs.table[0] = {"C:\\GOOD\\EDITOR.EXE", 20};
    f.frmSpywareFoundAlert.cmdYes.click();
  };
  f.tmrMemoryInspected.tick();
  EXPECT_TRUE(procs.terminated.empty());
  EXPECT_TRUE(app.dialogs.shown.empty());

  // The id still runs the reported file: STOP ends it.
  procs.table[0] = {"C:\\BAD\\tool.exe", 20};
  app.host.onModal = [&](controls::Form&) { f.frmSpywareFoundAlert.cmdYes.click(); };
  f.tmrMemoryInspected.tick();
  EXPECT_EQ(procs.terminated, std::vector<uint32_t>{20});
}

TEST_F(MemoryShieldFake, OldSystemsAskWithAMessageBox) {
  procs.version = OsVersion{kPlatform9x, 4, 90};
  procs.table = {{"C:\\WINDOWS\\EXPLORER.EXE", 10}, {"C:\\BAD\\BAD.EXE", 20}};
  app.writeDefinitions("ExeDefinition.dat", {"Bad=C:\\Bad\\bad.exe"});
  auto& f = load();
  app.host.onModal = [](controls::Form&) { FAIL() << "old systems have no alert window"; };
  app.dialogs.answer = [](const ShownBox&) { return kIdYes; };
  f.tmrMemoryInspected.tick();
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].title, app.product + "  - Alert");
  EXPECT_EQ(procs.terminated, std::vector<uint32_t>{20});
  EXPECT_EQ(f.counters.threatsFound, 1);
  app.dialogs.answer = [](const ShownBox&) { return kIdNo; };
  f.tmrMemoryInspected.tick();
  EXPECT_EQ(app.readText("ENoSignature.txt"), "BAD.EXE\r\n");
  f.tmrMemoryInspected.tick();
  EXPECT_EQ(app.dialogs.shown.size(), 2u);  // allowed from then on
}

// ---- home-page shield ------------------------------------------------------------------------

namespace {
// The user's real start page is put back whatever a test does to it.
struct HomePageTest : ::testing::Test {
  App app;
  std::string savedPage;
  bool hadPage = false;
  int questions = 0;
  std::string asked;
  void SetUp() override {
    hadPage = readRegistryValue(app.registry, kHkeyCurrentUser, kStartPageKey, kStartPageValue, savedPage);
  }
  void TearDown() override {
    if (hadPage) setPage(savedPage);
    else app.registry.deleteValue(kHkeyCurrentUser, kStartPageKey, kStartPageValue);
  }
  void setPage(const std::string& page) {
    app.registry.setValue(kHkeyCurrentUser, kStartPageKey, kStartPageValue, RegValue{kRegSz, page + '\0'});
  }
  std::string page() {
    std::string p = "(none)";
    readRegistryValue(app.registry, kHkeyCurrentUser, kStartPageKey, kStartPageValue, p);
    return p;
  }
  ui::FrmMain& loaded(controls::Button ui::FrmHomePageChangedAlert::*answer = nullptr) {
    auto& m = app.main();
    m.Form_Load();
    app.host.onModal = [this, &m, answer](controls::Form& f) {
      ASSERT_EQ(&f, &m.frmHomePageChangedAlert);
      ++questions;
      asked = m.frmHomePageChangedAlert.lblHomePageInfo.caption();
      EXPECT_EQ(m.frmHomePageChangedAlert.lblFrmHomePageProductName.caption(), app.product);
      EXPECT_FALSE(m.tmrCheckHomePage.enabled());
      if (answer) (m.frmHomePageChangedAlert.*answer).click();
    };
    return m;
  }
};
}  // namespace

TEST_F(HomePageTest, FirstTickAdoptsThePageThenAChangeIsAskedAbout) {
  setPage("http://home.example/");
  auto& m = loaded(&ui::FrmHomePageChangedAlert::cmdYes);
  m.tmrCheckHomePage.tick();
  EXPECT_EQ(questions, 0);
  EXPECT_EQ(m.settings.read(keys::Homepage), "http://home.example/");

  setPage("http://hijack.example/");
  m.tmrCheckHomePage.tick();
  ASSERT_EQ(questions, 1);
  EXPECT_EQ(asked, app.product +
                       " has detected that your Homepage has been changed.\r\n\r\nClick YES to keep your homepage "
                       "as:\r\nhttp://home.example/\r\n\r\nClick No to change your homepage to:\r\n"
                       "http://hijack.example/");
  EXPECT_EQ(page(), "http://home.example/");  // Yes: the remembered page is back
  RegValue raw;
  app.registry.queryValue(kHkeyCurrentUser, kStartPageKey, kStartPageValue, kKeyRead, raw);
  EXPECT_EQ(raw.type, kRegSz);
  EXPECT_TRUE(m.tmrCheckHomePage.enabled());
  m.tmrCheckHomePage.tick();
  EXPECT_EQ(questions, 1);

  // No: the new page becomes the remembered one; a change of letter case alone is a change.
  app.host.onModal = [&](controls::Form&) {
    ++questions;
    m.frmHomePageChangedAlert.cmdNO.click();
  };
  setPage("http://HOME.example/");
  m.tmrCheckHomePage.tick();
  EXPECT_EQ(questions, 2);
  EXPECT_EQ(m.settings.read(keys::Homepage), "http://HOME.example/");
  EXPECT_EQ(page(), "http://HOME.example/");
  m.tmrCheckHomePage.tick();
  EXPECT_EQ(questions, 2);
}

TEST_F(HomePageTest, SilentRestoreAndAMissingValueCountsAsBlank) {
  setPage("http://home.example/");
  auto& m = loaded();
  m.optRestoredefaultwithoutnotification.click();
  EXPECT_EQ(m.settings.read(keys::optRestoredefaultwithoutnotification), "True");
  EXPECT_EQ(m.settings.read(keys::optAlwaysnotifybeforerestoring), "False");
  m.tmrCheckHomePage.tick();
  setPage("http://hijack.example/");
  m.tmrCheckHomePage.tick();
  EXPECT_EQ(questions, 0);
  EXPECT_EQ(page(), "http://home.example/");

  app.registry.deleteValue(kHkeyCurrentUser, kStartPageKey, kStartPageValue);
  m.tmrCheckHomePage.tick();
  EXPECT_EQ(m.homePageShield.CurrentHomePage, "about:blank");
  EXPECT_EQ(page(), "http://home.example/");

  // A page longer than 1,024 bytes is adopted whole, and a restore writes back all of it.
  const std::string longPage = "http://home.example/?q=" + std::string(2000, 'q');
  m.settings.write(keys::Homepage, "");
  setPage(longPage);
  m.tmrCheckHomePage.tick();
  setPage("http://hijack.example/");
  m.tmrCheckHomePage.tick();
  EXPECT_EQ(page(), longPage);
}

TEST_F(HomePageTest, SwitchedOffTheTickStopsItsTimerAndChangesNothing) {
  setPage("http://home.example/");
  auto& m = loaded(&ui::FrmHomePageChangedAlert::cmdYes);
  m.tmrCheckHomePage.tick();
  m.chkHomePage.setValue(0);
  EXPECT_EQ(m.settings.read(keys::optIEHomePageSheildOn), "False");
  EXPECT_FALSE(m.tmrCheckHomePage.enabled());
  EXPECT_FALSE(m.optAlwaysnotifybeforerestoring.enabled());
  EXPECT_FALSE(m.optRestoredefaultwithoutnotification.enabled());
  setPage("http://hijack.example/");
  m.tmrCheckHomePage_Timer();
  EXPECT_EQ(questions, 0);
  EXPECT_FALSE(m.tmrCheckHomePage.enabled());
  EXPECT_EQ(page(), "http://hijack.example/");
  m.optIEHomePageSheildOn.click();
  EXPECT_TRUE(m.tmrCheckHomePage.enabled());
  EXPECT_TRUE(m.optRestoredefaultwithoutnotification.enabled());
  m.tmrCheckHomePage.tick();
  EXPECT_EQ(questions, 1);
}

TEST_F(HomePageTest, EveryThirdTickAlsoRunsTheMemoryShield) {
  setPage("http://home.example/");
  auto& m = loaded();
  m.tmrMemoryInspected.setEnabled(false);  // as in the normal window state
  app.writeEmptyDefinitions();
  app.writeDefinitions("ExeDefinition.dat", {"absent.exe=Absent|C:\\nowhere"});
  for (int i = 1; i <= 7; ++i) {
    m.session.exeList.clear();
    m.tmrCheckHomePage.tick();
    EXPECT_EQ(m.session.exeList.loaded(), i % 3 == 0) << "tick " << i;
  }
  EXPECT_EQ(m.homePageShield.HomePageTickCount, 1);
}

TEST(HomePageRegistry, ValuesReadAsTextCutAtTheirEnd) {
  App app;
  win32::Win32Registry& reg = app.registry;
  const std::string key = "Software\\" + app.product + "\\Values";
  reg.setValue(kHkeyCurrentUser, key, "s", RegValue{kRegSz, std::string("page\0junk", 9)});
  reg.setValue(kHkeyCurrentUser, key, "n", RegValue{kRegDword, std::string("\x10\x27\0\0", 4)});
  reg.setValue(kHkeyCurrentUser, key, "b", RegValue{kRegBinary, "ab"});
  reg.setValue(kHkeyCurrentUser, key, "long", RegValue{kRegSz, std::string(3000, 'x')});
  std::string t = "unchanged";
  EXPECT_TRUE(readRegistryValue(reg, kHkeyCurrentUser, key, "s", t));
  EXPECT_EQ(t, "page");
  EXPECT_TRUE(readRegistryValue(reg, kHkeyCurrentUser, key, "n", t));
  EXPECT_EQ(t, "10000");
  EXPECT_TRUE(readRegistryValue(reg, kHkeyCurrentUser, key, "long", t));
  EXPECT_EQ(t, std::string(3000, 'x'));
  t = "unchanged";
  EXPECT_FALSE(readRegistryValue(reg, kHkeyCurrentUser, key, "b", t));
  EXPECT_FALSE(readRegistryValue(reg, kHkeyCurrentUser, key, "absent", t));
  EXPECT_FALSE(readRegistryValue(reg, kHkeyCurrentUser, key + "\\none", "s", t));
  EXPECT_EQ(t, "unchanged");
}
