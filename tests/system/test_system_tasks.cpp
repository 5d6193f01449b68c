#include <gtest/gtest.h>
#include <windows.h>

#include <map>

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
  EXPECT_EQ(points.start(longText, 6), RestorePointStart::Started);
  ASSERT_EQ(system.restoreCalls.size(), 1u);
  EXPECT_EQ(system.restoreCalls[0].eventType, 100u);
  EXPECT_EQ(system.restoreCalls[0].pointType, 6u);
  EXPECT_EQ(system.restoreCalls[0].description.size(), 63u);
  EXPECT_EQ(points.sequence(), 42);
  EXPECT_EQ(points.start("again", 6), RestorePointStart::AlreadyOpen);  // a second point never starts
  EXPECT_EQ(system.restoreCalls.size(), 1u);
  EXPECT_EQ(points.sequence(), 42);
  EXPECT_TRUE(points.end());
  EXPECT_EQ(system.restoreCalls[1].eventType, 101u);
  EXPECT_EQ(system.restoreCalls[1].sequence, 42);
  EXPECT_EQ(points.sequence(), 0);
  system.restoreSucceeds = false;
  EXPECT_EQ(points.start("x", 6), RestorePointStart::Failed);
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

namespace {
// Copies of the program that end when asked, after work of their own, or never. Time passes
// only in the waits, so a bound of seconds costs nothing.
class ClosingProcesses : public FakeProcesses {
 public:
  enum Answer { NoWindow, Closes, Hangs };
  struct Copy {
    uint32_t id;
    std::string path;
    Answer answer;
    long endsAt;  // ms on this clock; -1: not by itself
  };
  std::map<uint32_t, Answer> answers;
  std::map<uint32_t, long> endsAt;
  std::vector<uint32_t> asked;
  long now = 0;
  bool listFails = false;

  void add(const Copy& c) {
    table.push_back({c.path, c.id});
    answers[c.id] = c.answer;
    if (c.endsAt >= 0) endsAt[c.id] = c.endsAt;
  }
  bool enumerateIds(std::vector<uint32_t>& ids) override { return FakeProcesses::enumerateIds(ids) && !listFails; }
  bool askToClose(uint32_t pid) override {
    asked.push_back(pid);
    if (answers[pid] == Closes && (!endsAt.count(pid) || endsAt[pid] > now + 40)) endsAt[pid] = now + 40;
    return answers[pid] != NoWindow;
  }
  bool waitForExit(uint32_t pid, uint32_t ms) override {
    const auto end = endsAt.find(pid);
    const bool ends = end != endsAt.end() && end->second <= now + long(ms);
    now = ends ? std::max(now, end->second) : now + long(ms);
    return ends;
  }
};
}  // namespace

// What the installer does before it replaces or removes the program's files: the desktop copies
// of that folder are asked to close, the console ones let finish, both waited for within the
// bound; copies of other folders, other programs and the asking process itself are left alone.
TEST(SystemTasks, TheCopiesOfAFolderAreAskedToCloseAndWaitedForWithinTheBound) {
  const std::string folder = "C:\\Apps\\Quillon\\";  // as the installer gives it
  using Copy = ClosingProcesses::Copy;
  using P = ClosingProcesses;
  const Copy closes{10, "C:\\Apps\\Quillon\\quillon.exe", P::Closes, -1},
      hangs{11, "c:\\apps\\QUILLON\\QUILLON.EXE", P::Hangs, -1},
      windowless{17, "C:\\Apps\\Quillon\\quillon.exe", P::NoWindow, -1},
      scanEnds{12, "C:\\Apps\\Quillon\\quillon-cli.exe", P::NoWindow, 2000},
      scanGoesOn{13, "C:\\Apps\\Quillon\\quillon-cli.exe", P::NoWindow, 600000},
      elsewhere{14, "C:\\Elsewhere\\quillon.exe", P::Closes, -1},
      below{15, "C:\\Apps\\Quillon\\Sub\\quillon.exe", P::Closes, -1},
      other{16, "C:\\Apps\\Quillon\\helper.exe", P::Closes, -1},
      self{4242, "C:\\Apps\\Quillon\\quillon-cli.exe", P::NoWindow, -1};
  const struct {
    const char* what;
    std::vector<Copy> copies;
    bool listFails;
    std::vector<uint32_t> asked, left;
    long minMs, maxMs;  // how long it waited
  } cases[] = {
      {"nothing of the folder runs", {elsewhere, below, other, self}, false, {}, {}, 0, 0},
      {"a desktop copy closes, a console copy ends its scan", {closes, scanEnds, elsewhere, self}, false, {10}, {},
       2000, 2100},
      {"one hangs, one has no window, a scan goes on: the bound, then all three are named",
       {closes, hangs, windowless, scanEnds, scanGoesOn, elsewhere, below, other, self}, false, {10, 11, 17},
       {11, 17, 13}, 4800, 5000},
      {"the programs cannot be listed", {closes}, true, {}, {}, 0, 0},
  };
  win32::Win32FileSystem fs;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ClosingProcesses procs;
    for (const Copy& copy : c.copies) procs.add(copy);
    procs.listFails = c.listFails;
    const CloseOutcome outcome = closeFolderPrograms(procs, fs, folder, 5000);
    EXPECT_EQ(outcome.listed, !c.listFails);
    EXPECT_EQ(outcome.ok(), !c.listFails && c.left.empty());
    EXPECT_EQ(procs.asked, c.asked);
    std::vector<uint32_t> left;
    for (const FolderProgram& p : outcome.stillRunning) left.push_back(p.id);
    if (!c.listFails) {
      EXPECT_EQ(left, c.left);
    }
    EXPECT_GE(procs.now, c.minMs);
    EXPECT_LE(procs.now, c.maxMs);
    const std::string text = closeFailureText("Quillon", folder, outcome);
    for (const FolderProgram& p : outcome.stillRunning) {
      EXPECT_EQ(p.asked, p.id == hangs.id);
      EXPECT_NE(text.find(p.path + " (process " + std::to_string(p.id) + ") " +
                          (p.asked ? "did not close" : p.desktop ? "has no window" : "is still at work")),
                std::string::npos)
          << text;
    }
    EXPECT_NE(text.find("Nothing was changed."), std::string::npos);
  }
}
