#include <gtest/gtest.h>
#include <windows.h>

#include "system/system_tasks.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

TEST(SystemTasks, RestorePointAvailabilityByVersion) {
  EXPECT_TRUE(isSystemRestoreAvailable({kPlatform9x, 4, 90}));   // Me
  EXPECT_FALSE(isSystemRestoreAvailable({kPlatform9x, 4, 10}));  // 98
  EXPECT_FALSE(isSystemRestoreAvailable({kPlatformNt, 5, 0}));   // 2000
  EXPECT_TRUE(isSystemRestoreAvailable({kPlatformNt, 5, 1}));    // XP
  EXPECT_FALSE(isSystemRestoreAvailable({kPlatformNt, 5, 2}));   // Server 2003
  EXPECT_TRUE(isSystemRestoreAvailable({kPlatformNt, 6, 1}));
  EXPECT_FALSE(isSystemRestoreAvailable({kPlatformNt, 4, 0}));
}

TEST(SystemTasks, OneRestorePointAtATime) {
  RecordingRestore system;
  RestorePoints points(system);
  std::string longText(80, 'd');
  EXPECT_TRUE(points.start(longText, 6));
  ASSERT_EQ(system.restoreCalls.size(), 1u);
  EXPECT_EQ(system.restoreCalls[0].eventType, 100u);
  EXPECT_EQ(system.restoreCalls[0].pointType, 6u);
  EXPECT_EQ(system.restoreCalls[0].description.size(), 63u);
  EXPECT_EQ(points.sequence(), 42);
  try {
    points.start("again", 6);
    ADD_FAILURE() << "a second point must not start";
  } catch (const RestorePointOpen& e) {
    EXPECT_STREQ(e.what(), "You must End the previous restore point first.");
  }
  EXPECT_EQ(system.restoreCalls.size(), 1u);
  EXPECT_EQ(points.sequence(), 42);
  EXPECT_TRUE(points.end());
  EXPECT_EQ(system.restoreCalls[1].eventType, 101u);
  EXPECT_EQ(system.restoreCalls[1].sequence, 42);
  EXPECT_EQ(points.sequence(), 0);
  system.restoreSucceeds = false;
  EXPECT_FALSE(points.start("x", 6));
  EXPECT_EQ(points.sequence(), 0);
  // Under Wine there is no restore client: the real call says so instead of failing loudly.
  win32::Win32SystemRestore real;
  int64_t seq = 0;
  RestorePointRequest r{100, 6, 0, "test"};
  EXPECT_FALSE(real.setRestorePoint(r, seq) && seq == 0);
}

TEST(SystemTasks, RegistrationEntriesOfARealLibrary) {
  win32::Win32Registry reg;
  win32::Win32LibraryExports system;
  reg.deleteTree(kHkeyCurrentUser, "Software\\QuillonTestComponent");
  const std::string dll = binFolder() + "\\quillon_test_component.dll";
  EXPECT_TRUE(callRegistrationEntry(system, dll, false));
  RegValue v;
  EXPECT_EQ(reg.queryValue(kHkeyCurrentUser, "Software\\QuillonTestComponent", "Unregistered", kKeyRead, v), RegStatus::Ok);
  EXPECT_EQ(reg.queryValue(kHkeyCurrentUser, "Software\\QuillonTestComponent", "Registered", kKeyRead, v),
            RegStatus::NoValue);
  EXPECT_TRUE(callRegistrationEntry(system, dll, true));
  EXPECT_EQ(reg.queryValue(kHkeyCurrentUser, "Software\\QuillonTestComponent", "Registered", kKeyRead, v), RegStatus::Ok);
  EXPECT_TRUE(callRegistrationEntry(system, "C:\\no\\such.dll", false));  // nothing to call, no error
  reg.deleteTree(kHkeyCurrentUser, "Software\\QuillonTestComponent");
}

TEST(SystemTasks, ListAndStopRealProcesses) {
  win32::Win32RunningProcesses procs;
  FakePump pump;
  auto list = listProcesses(procs);
  bool self = false;
  for (const auto& p : list) self |= p.id == GetCurrentProcessId() && p.name == "quillon_tests.exe";
  EXPECT_TRUE(self);
  bool inSnapshot = false;
  for (const auto& p : listProcesses(procs, true)) inSnapshot |= p.id == GetCurrentProcessId();
  EXPECT_TRUE(inSnapshot);

  RunningProgram waiter(binFolder() + "\\quillon-sample-waiter.exe");
  ASSERT_TRUE(waiter.running());
  EXPECT_TRUE(killProcessByName(procs, pump, "no-such-program.exe"));
  EXPECT_TRUE(waiter.running());
  // A name of 16 or more characters is recognised by its first 15.
  EXPECT_TRUE(killProcessByName(procs, pump, "quillon-sample-waiter.exe"));
  EXPECT_TRUE(waiter.waitForEnd(5000));
}

TEST(SystemTasks, NameRulesOfStoppingByName) {
  FakeProcesses procs;
  FakePump pump;
  procs.table = {{"System Idle", 0}, {"EXPLORER.EXE", 8}, {"TOOLBA~1.EXE", 12}, {"bad.exe", 16}, {"bad.exe", 20}};
  EXPECT_TRUE(killProcessByName(procs, pump, "toolbarhelper.exe"));  // through its short name
  EXPECT_EQ(procs.terminated, std::vector<uint32_t>{12});
  procs.terminated.clear();
  EXPECT_TRUE(killProcessByName(procs, pump, "BAD.EXE"));  // only the first of two
  EXPECT_EQ(procs.terminated, std::vector<uint32_t>{16});
}

TEST(SystemTasks, DeleteFailedCopiesItsListToTheClipboard) {
  win32::Win32Clipboard clipboard;
  ui::FrmDelete frm(clipboard);
  EXPECT_EQ(frm.caption(), "Delete Failed");
  frm.lstProblem.add("C:\\a.dll");
  frm.lstProblem.add("C:\\b.exe");
  frm.cmdCopyList.click();
  EXPECT_EQ(clipboard.text(), "C:\\a.dll\r\nC:\\b.exe\r\n");
  frm.lstProblem.clear();
  frm.cmdCopyList.click();
  EXPECT_EQ(clipboard.text(), "");
  frm.setVisible(true);
  frm.cmdOk.click();
  EXPECT_FALSE(frm.visible());
}
