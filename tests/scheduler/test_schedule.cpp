#include <gtest/gtest.h>
#include <windows.h>

#include "common/datetime.h"
#include "scheduler/scheduler.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

DateTime at(int y, int mo, int d, int h, int mi, int s) { return DateTime{y, mo, d, h, mi, s}; }

// A main window with one planted threat file, sent to the tray so that its scheduler ticks.
struct ScheduleFixture : ::testing::Test {
  App app;
  std::string planted;
  void SetUp() override {
    planted = app.path("planted.bin");
    app.writeText("planted.bin", "a threat");
    app.writeEmptyDefinitions();
    app.writeDefinitions("FileDefinition.dat", {"planted.bin=Planted|" + app.folder});
    setClock(at(2026, 12, 1, 7, 0, 0));
    start();
  }
  ui::FrmMain& start() {
    ui::FrmMain& m = app.main();
    m.Form_Load();
    m.cmdSendToTray_Click();
    return m;
  }
  ui::FrmMain& m() { return app.main(); }
  void setClock(const DateTime& t) {
    app.clock.time = t;
    app.clock.now = formatDateTime(t);
  }
  // One tick of the scheduler timer at `t`; true when it started a scan.
  bool tickAt(const DateTime& t) {
    setClock(t);
    m().session.lastScan.startedAt.clear();
    m().tmrScheduler.tick();
    return m().session.lastScan.startedAt == app.clock.now;
  }
  void applySchedule(int day, const std::string& date, const std::string& time) {
    if (m().tabSchedule.chkScheduledScans.value() == 0) m().tabSchedule.chkScheduledScans.click();
    m().tabSchedule.cmbDays.setListIndex(day);
    m().tabSchedule.dtpScheduleDate.change(date);
    m().tabSchedule.dtpScheduleTime.change(time);
    m().tabSchedule.cmdApplySchedule.click();
  }
  // The same, applied when the clock says `now`.
  void applyAt(const DateTime& now, int day, const std::string& date, const std::string& time) {
    setClock(now);
    applySchedule(day, date, time);
  }
  std::string stored(const char* section, const char* key) { return m().settings.read(section, key, "<absent>"); }
};

}  // namespace

TEST(ScheduleOccurrence, LatestDueMomentAcrossDaysMonthsAndYears) {
  Schedule daily{true, kDaily, "", "1/1/2026 11:59:59 PM"};
  // Before today's second, the latest occurrence is yesterday's, across a year's end.
  EXPECT_EQ(latestOccurrence(daily, at(2027, 1, 1, 23, 59, 58)), at(2026, 12, 31, 23, 59, 59));
  EXPECT_EQ(latestOccurrence(daily, at(2027, 1, 1, 23, 59, 59)), at(2027, 1, 1, 23, 59, 59));
  // A leap day is a day like any other.
  EXPECT_EQ(latestOccurrence(daily, at(2028, 3, 1, 8, 0, 0)), at(2028, 2, 29, 23, 59, 59));

  // Sunday is the list's last entry and the weekday count's first.
  const DateTime sunday = at(2026, 12, 6, 9, 0, 0);
  ASSERT_EQ(weekdayOf(sunday), 0);
  Schedule onSunday{true, kSunday, "", "9:00:00 AM"};
  EXPECT_EQ(latestOccurrence(onSunday, sunday), sunday);
  EXPECT_EQ(latestOccurrence(onSunday, at(2026, 12, 6, 8, 59, 59)), at(2026, 11, 29, 9, 0, 0));
  EXPECT_EQ(latestOccurrence(onSunday, at(2026, 12, 12, 23, 0, 0)), sunday);

  // Switched off, "Never!", no time or a time that is no time: nothing is ever due.
  for (Schedule s : {Schedule{false, kDaily, "", "9:00:00 AM"}, Schedule{true, kNever, "", "9:00:00 AM"},
                     Schedule{true, kDaily, "", ""}, Schedule{true, kDaily, "", "Null"},
                     Schedule{true, 12, "", "9:00:00 AM"}})
    EXPECT_FALSE(latestOccurrence(s, sunday).has_value()) << s.day << " " << s.time;
  // One date: due from its second on, never before.
  Schedule once{true, kDateAndTime, "12/24/2026 12:00:00 AM", "1/1/2026 6:30:00 PM"};
  EXPECT_FALSE(latestOccurrence(once, at(2026, 12, 24, 18, 29, 59)).has_value());
  EXPECT_EQ(latestOccurrence(once, at(2027, 2, 1, 0, 0, 0)), at(2026, 12, 24, 18, 30, 0));
}

TEST(ScheduleOccurrence, ADateItsMonthDoesNotHaveNeverFallsDue) {
  const DateTime later = at(2028, 12, 1, 0, 0, 0);
  for (const char* date : {"2/31/2026", "4/31/2026", "2/29/2027"})
    EXPECT_FALSE(latestOccurrence(Schedule{true, kDateAndTime, date, "8:00"}, later)) << date;
  EXPECT_EQ(latestOccurrence(Schedule{true, kDateAndTime, "2/29/2028", "8:00"}, later), at(2028, 2, 29, 8, 0, 0));
}

TEST_F(ScheduleFixture, DailyRunsOnceInItsSecondAndOnceOnly) {
  applySchedule(kDaily, "", "12/1/2026 8:00:00 AM");
  EXPECT_EQ(stored("OptionAndSettings", "Day"), "7");
  EXPECT_EQ(stored("OptionAndSettings", "Date"), "Null");
  ASSERT_TRUE(m().tmrScheduler.enabled());
  EXPECT_FALSE(tickAt(at(2026, 12, 1, 7, 59, 59)));
  EXPECT_TRUE(tickAt(at(2026, 12, 1, 8, 0, 0)));
  // The run ended within its own second: the next ticks of that second start nothing.
  EXPECT_FALSE(tickAt(at(2026, 12, 1, 8, 0, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 1, 8, 0, 1)));
  EXPECT_FALSE(tickAt(at(2026, 12, 1, 20, 0, 0)));
  EXPECT_TRUE(tickAt(at(2026, 12, 2, 8, 0, 0)));
  EXPECT_EQ(stored("Settings", "LastScheduledScan"), "12/2/2026 8:00:00 AM");

  // A restart within that second does not run it again, nor does a program that starts later.
  app.resetMain();
  start();
  EXPECT_FALSE(tickAt(at(2026, 12, 2, 8, 0, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 2, 9, 0, 0)));
}

TEST_F(ScheduleFixture, AMissedOccurrenceRunsOnceWhenNoticed) {
  applySchedule(kDaily, "", "12/1/2026 8:00:00 AM");
  // The machine slept through 08:00:00.
  EXPECT_FALSE(tickAt(at(2026, 12, 1, 7, 59, 59)));
  EXPECT_TRUE(tickAt(at(2026, 12, 1, 8, 3, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 1, 8, 3, 1)));

  // Its second came while a scan ran: it runs once that scan has ended, and only then.
  setClock(at(2026, 12, 2, 8, 0, 0));
  int inside = 0;
  app.pump.onYield = [&](int) {
    if (inside++ == 0) m().tmrScheduler_Timer();
  };
  m().pageScan.cmdScanNow_Click();
  app.pump.onYield = nullptr;
  EXPECT_GT(inside, 0);
  EXPECT_EQ(stored("Settings", "LastScheduledScan"), "12/1/2026 8:00:00 AM");
  EXPECT_TRUE(tickAt(at(2026, 12, 2, 8, 10, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 2, 8, 10, 1)));

  // Several days missed: the latest occurrence runs, once.
  EXPECT_TRUE(tickAt(at(2026, 12, 5, 9, 0, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 5, 9, 0, 1)));

  // An occurrence already past when the schedule was applied is not run.
  applyAt(at(2026, 12, 6, 12, 0, 0), kDaily, "", "12/1/2026 11:00:00 AM");
  EXPECT_FALSE(tickAt(at(2026, 12, 6, 12, 0, 1)));
  EXPECT_TRUE(tickAt(at(2026, 12, 7, 11, 0, 0)));
}

// A clock that ran ahead and was put right: the run it recorded lies in the future, and must
// not hold back every occurrence until the clock catches up with it.
TEST_F(ScheduleFixture, ARunRecordedByAClockThatRanAheadHoldsNothingBack) {
  applySchedule(kDaily, "", "12/1/2026 8:00:00 AM");
  EXPECT_TRUE(tickAt(at(2030, 6, 1, 8, 0, 0)));
  EXPECT_TRUE(tickAt(at(2026, 12, 2, 8, 0, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 2, 8, 0, 1)));

  // Recorded so by an earlier session.
  m().settings.write("Settings", "LastScheduledScan", "1/1/2031 8:00:00 AM");
  app.resetMain();
  start();
  EXPECT_TRUE(tickAt(at(2026, 12, 3, 8, 0, 0)));

  // The clock set an hour back, as when summer time ends: the occurrence that ran does not
  // run again when its second comes round a second time.
  EXPECT_TRUE(tickAt(at(2026, 12, 4, 8, 30, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 4, 7, 30, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 4, 8, 0, 0)));
}

TEST_F(ScheduleFixture, AWeekdayRunsOnItsWeekdayOnly) {
  ASSERT_EQ(weekdayOf(at(2026, 12, 1, 0, 0, 0)), 2);  // a Tuesday
  applySchedule(1, "", "12/1/2026 8:00:00 AM");
  EXPECT_EQ(m().tabSchedule.cmbDays.items[1], "Tuesday");
  // The weekday is compared as a number, so the system's language for day names plays no part.
  EXPECT_FALSE(tickAt(at(2026, 11, 30, 8, 0, 0)));
  EXPECT_TRUE(tickAt(at(2026, 12, 1, 8, 0, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 2, 8, 0, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 7, 23, 59, 59)));
  EXPECT_TRUE(tickAt(at(2026, 12, 8, 8, 0, 0)));
}

TEST_F(ScheduleFixture, DateAndTimeInThePastAndNeverNeverRun) {
  // Without a date, or without a time, nothing is saved.
  m().tabSchedule.chkScheduledScans.click();
  m().tabSchedule.cmbDays.setListIndex(kDateAndTime);
  m().tabSchedule.dtpScheduleTime.change("12/1/2026 9:00:00 AM");
  m().tabSchedule.cmdApplySchedule.click();
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].text, "Please select the date that you want to scan.");
  EXPECT_EQ(stored("OptionAndSettings", "Day"), "<absent>");
  EXPECT_TRUE(m().tabSchedule.cmdApplySchedule.enabled());
  // What the user entered stays, to be completed and applied again.
  EXPECT_EQ(m().tabSchedule.cmbDays.listIndex(), kDateAndTime);
  EXPECT_EQ(m().tabSchedule.dtpScheduleTime.value(), "12/1/2026 9:00:00 AM");

  // Yesterday's date, and today's date with a time already past.
  applySchedule(kDateAndTime, "11/30/2026 12:00:00 AM", "12/1/2026 9:00:00 AM");
  EXPECT_EQ(stored("OptionAndSettings", "Date"), "11/30/2026 12:00:00 AM");
  EXPECT_FALSE(tickAt(at(2026, 12, 1, 9, 0, 0)));
  applyAt(at(2026, 12, 1, 7, 0, 0), kDateAndTime, "12/1/2026 12:00:00 AM", "12/1/2026 6:00:00 AM");
  EXPECT_FALSE(tickAt(at(2026, 12, 1, 9, 0, 0)));
  EXPECT_FALSE(tickAt(at(2026, 12, 2, 6, 0, 0)));
  // Later today: it runs then, and never again.
  applyAt(at(2026, 12, 1, 7, 0, 0), kDateAndTime, "12/1/2026 12:00:00 AM", "12/1/2026 10:00:00 AM");
  EXPECT_TRUE(tickAt(at(2026, 12, 1, 10, 0, 0)));
  EXPECT_FALSE(tickAt(at(2027, 12, 1, 10, 0, 0)));

  // "Never!" empties and disables both pickers and stores position 9.
  applySchedule(kNever, "", "");
  EXPECT_EQ(stored("OptionAndSettings", "Day"), "9");
  EXPECT_EQ(m().tabSchedule.chkScheduledScans.value(), 1);
  EXPECT_FALSE(m().tabSchedule.dtpScheduleDate.enabled());
  EXPECT_FALSE(m().tabSchedule.dtpScheduleTime.enabled());
  for (int d = 1; d <= 8; ++d) EXPECT_FALSE(tickAt(at(2026, 12, d + 1, 10, 0, 0)));

  // A daily schedule needs its time.
  app.dialogs.shown.clear();
  m().tabSchedule.cmbDays.setListIndex(kDaily);
  m().tabSchedule.cmdApplySchedule.click();
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].text, "Please select the time that you want to scan.");
  EXPECT_EQ(stored("OptionAndSettings", "Day"), "9");
}

TEST_F(ScheduleFixture, AutoDeleteRemovesWithoutQuestionsAndTheNextRunByHandAsks) {
  m().tabSchedule.chkAutoRemove.click();
  EXPECT_EQ(stored("Settings", "chkAutoDel"), "1");
  applySchedule(kDaily, "", "12/1/2026 8:00:00 AM");
  app.dialogs.shown.clear();
  EXPECT_TRUE(tickAt(at(2026, 12, 1, 8, 0, 0)));
  EXPECT_TRUE(app.dialogs.shown.empty());
  EXPECT_FALSE(exists(planted));
  EXPECT_EQ(m().lastRemoval().removed.size(), 1u);
  // Afterwards the tray icon's balloon and the results page say what was found and removed.
  ASSERT_EQ(app.host.balloons.size(), 1u);
  EXPECT_EQ(app.host.balloons[0], (std::pair<std::string, std::string>{app.product + " scheduled scan",
                                                                       "1 to remove: 1 removed, 0 not removed."}));
  EXPECT_EQ(m().pageResults.lblScheduledRemoval.caption(), "Last scheduled scan (" + app.clock.now + "): 1 to remove: 1 removed, 0 not removed.");

  app.writeText("planted.bin", "back again");
  // The next occurrence comes while the question is open: it waits for the answer.
  bool ranUnderTheQuestion = false;
  app.dialogs.answer = [&](const ShownBox&) {
    ranUnderTheQuestion = tickAt(at(2026, 12, 2, 8, 0, 0));
    return kIdNo;
  };
  m().pageScan.cmdScanNow_Click();
  ASSERT_EQ(m().results.removalCount(), 1);
  EXPECT_TRUE(app.dialogs.shown.empty());  // a run by hand leaves the choice to the user
  EXPECT_EQ(m().pageResults.lblScheduledRemoval.caption(), "");  // it spoke of results that are gone
  m().pageResults.cmdSelectAll_Click();
  m().pageResults.cmdDelete_Click();
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].title, "Really Delete?");
  EXPECT_TRUE(exists(planted));
  EXPECT_FALSE(ranUnderTheQuestion);

  // Now it runs; unchecked, a scheduled run finds and keeps, and has nothing to announce.
  m().tabSchedule.chkAutoRemove.click();
  EXPECT_TRUE(tickAt(at(2026, 12, 2, 8, 0, 0)));
  EXPECT_TRUE(exists(planted));
  EXPECT_EQ(m().results.removalCount(), 1);
  EXPECT_EQ(app.host.balloons.size(), 1u);

  // What could not be removed (a file held open) is said, and stays listed.
  m().tabSchedule.chkAutoRemove.click();
  HANDLE held = CreateFileA(planted.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(tickAt(at(2026, 12, 3, 8, 0, 0)));
  CloseHandle(held);
  ASSERT_EQ(app.host.balloons.size(), 2u);
  EXPECT_EQ(app.host.balloons[1].second, "1 to remove: 0 removed, 1 not removed. What could not be removed is still "
                                         "listed on the results page.");
  EXPECT_EQ(m().results.removalCount(), 1);
}

TEST_F(ScheduleFixture, ApplyWithTheBoxUncheckedStopsTheSchedule) {
  applySchedule(kDaily, "", "12/1/2026 8:00:00 AM");
  m().tabSchedule.chkScheduledScans.click();
  EXPECT_FALSE(m().tabSchedule.cmbDays.enabled());
  m().tabSchedule.cmdApplySchedule.click();
  EXPECT_EQ(stored("OptionAndSettings", "chkAutomaticScanYesOrNo"), "0");
  EXPECT_EQ(stored("OptionAndSettings", "Day"), "7");  // kept for the next time it is switched on
  EXPECT_EQ(m().tabSchedule.chkScheduledScans.value(), 0);    // the reload keeps it unchecked
  EXPECT_FALSE(m().tmrScheduler.enabled());
  // Even a tick that came anyway, and a window state change that re-arms the timers, run nothing.
  setClock(at(2026, 12, 1, 8, 0, 0));
  m().tmrScheduler_Timer();
  EXPECT_EQ(m().session.lastScan.startedAt, "");
  m().setWindowState(controls::Form::State::Maximized);
  EXPECT_FALSE(m().tmrScheduler.enabled());

  // Checking the box again without "Apply" starts nothing either.
  m().tabSchedule.chkScheduledScans.click();
  EXPECT_TRUE(m().tabSchedule.cmdApplySchedule.enabled());
  m().tmrScheduler_Timer();
  EXPECT_EQ(m().session.lastScan.startedAt, "");

  // "Reset" is the same: Daily, switched off.
  m().tabSchedule.cmdApplySchedule.click();
  EXPECT_TRUE(m().tmrScheduler.enabled());
  m().tabSchedule.cmdResetSchedule.click();
  EXPECT_EQ(stored("OptionAndSettings", "chkAutomaticScanYesOrNo"), "0");
  EXPECT_EQ(m().tabSchedule.cmbDays.listIndex(), kDaily);
  EXPECT_FALSE(m().tmrScheduler.enabled());
}

TEST_F(ScheduleFixture, TheTabRoundTripsThroughTheSettings) {
  // A fresh profile: Daily, switched off, nothing to apply.
  EXPECT_EQ(m().tabSchedule.cmbDays.listIndex(), kDaily);
  EXPECT_EQ(m().tabSchedule.chkScheduledScans.value(), 0);
  EXPECT_FALSE(m().tabSchedule.cmdApplySchedule.enabled());
  EXPECT_TRUE(m().tabSchedule.cmdResetSchedule.enabled());

  m().tabSchedule.chkAutoRemove.click();
  applySchedule(kDateAndTime, "12/24/2026 12:00:00 AM", "12/1/2026 6:30:15 PM");
  EXPECT_FALSE(m().tabSchedule.cmdApplySchedule.enabled());
  EXPECT_EQ(stored("OptionAndSettings", "chkAutomaticScanYesOrNo"), "1");
  EXPECT_EQ(stored("OptionAndSettings", "Day"), "8");
  EXPECT_EQ(stored("OptionAndSettings", "Time"), "12/1/2026 6:30:15 PM");

  app.resetMain();
  start();
  EXPECT_EQ(m().tabSchedule.chkScheduledScans.value(), 1);
  EXPECT_EQ(m().tabSchedule.cmbDays.listIndex(), kDateAndTime);
  EXPECT_EQ(m().tabSchedule.dtpScheduleDate.value(), "12/24/2026 12:00:00 AM");
  EXPECT_EQ(m().tabSchedule.dtpScheduleTime.value(), "12/1/2026 6:30:15 PM");
  EXPECT_EQ(m().tabSchedule.chkAutoRemove.value(), 1);
  EXPECT_TRUE(m().tabSchedule.dtpScheduleDate.enabled());
  EXPECT_TRUE(m().tabSchedule.dtpScheduleTime.enabled());
  EXPECT_FALSE(m().tabSchedule.cmdApplySchedule.enabled());
  EXPECT_TRUE(m().tmrScheduler.enabled());
  EXPECT_TRUE(tickAt(at(2026, 12, 24, 18, 30, 15)));

  // Choosing a weekday empties the date, which is then stored as none.
  m().tabSchedule.cmbDays.setListIndex(3);
  m().tabSchedule.cmdApplySchedule.click();
  EXPECT_EQ(stored("OptionAndSettings", "Date"), "Null");

  // Stored text that is not a day or a time loads and never fires.
  m().settings.write("OptionAndSettings", "Day", "seven");
  m().settings.write("OptionAndSettings", "Time", "soon");
  app.resetMain();
  start();
  EXPECT_EQ(m().tabSchedule.cmbDays.listIndex(), kNever);
  for (int d = 25; d <= 31; ++d) EXPECT_FALSE(tickAt(at(2026, 12, d, 7, 0, 0)));
}
