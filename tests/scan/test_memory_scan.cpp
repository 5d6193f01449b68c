#include <gtest/gtest.h>
#include <windows.h>

#include "common/text.h"
#include "system/system_tasks.h"
#include "scan/found_summary.h"
#include "scan/memory_scan.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// The sample program copied into two folders; only the first is named by a definition.
struct MemoryScan : ::testing::Test {
  App app;
  std::string listed, other;
  void SetUp() override {
    listed = folderWithSampleWaiter(app, "listed");
    other = folderWithSampleWaiter(app, "other");
    app.writeEmptyDefinitions();
    app.writeDefinitions("ExeDefinition.dat", {std::string(kSampleWaiter) + "=Sample.Waiter|" + listed + "\\",
                                               "nothing here", "absent.exe=Absent|C:\\nowhere"});
  }
  Session& loaded() {
    Session& s = app.session();
    s.settings.write(keys::chkScanRegistry, "0");
    return s;
  }
};
}  // namespace

TEST_F(MemoryScan, StopsTheListedProgramAndLeavesTheSameNameElsewhere) {
  RunningProgram other1(other + "\\" + kSampleWaiter);
  RunningProgram threat(listed + "\\" + kSampleWaiter);
  ASSERT_TRUE(threat.running());
  Session& m = loaded();
  scan(m);
  ASSERT_EQ(m.results.foundRows().size(), 1u);
  EXPECT_EQ(m.results.foundRows()[0].text,
            "Detected in the memory : QUILLON-SAMPLE-WAITER.EXE was stopped from running.");
  EXPECT_EQ(m.results.foundRows()[0].icon, 3);
  EXPECT_EQ(m.results.removalCount(), 0);  // stopped, nothing to remove
  EXPECT_TRUE(threat.waitForEnd(5000));
  EXPECT_TRUE(other1.running());
  EXPECT_EQ(m.counters.threatsFound, 1);
  int running = m.counters.runningPrograms;
  EXPECT_GE(running, 2);
  EXPECT_EQ(m.counters.processesInspected, 3 + running);  // definition lines, then processes
  EXPECT_EQ(m.exeList.pathList, "|" + toUpper(listed + "\\" + kSampleWaiter) + "|" + "C:\\NOWHERE\\ABSENT.EXE|");

  // The second run reuses the list: a changed file is not read again.
  app.writeDefinitions("ExeDefinition.dat", {"changed.exe=Changed|C:\\"});
  RunningProgram again(listed + "\\" + kSampleWaiter);
  scan(m);
  EXPECT_TRUE(again.waitForEnd(5000));
  EXPECT_EQ(m.exeList.entries, 2);
  EXPECT_EQ(m.counters.processesInspected, 2 + m.counters.runningPrograms);
}

TEST_F(MemoryScan, ExcludedProgramsKeepRunning) {
  app.writeText("ENoSignature.txt", "quillon-sample-waiter.exe\r\n");
  RunningProgram threat(listed + "\\" + kSampleWaiter);
  Session& m = loaded();
  scan(m);
  ASSERT_EQ(m.results.foundRows().size(), 1u);
  EXPECT_EQ(m.results.foundRows()[0].text, "EXCLUDED: QUILLON-SAMPLE-WAITER.EXE");
  EXPECT_EQ(m.results.foundRows()[0].icon, 5);
  EXPECT_EQ(m.counters.threatsFound, 0);
  EXPECT_TRUE(threat.running());
}

TEST_F(MemoryScan, TheCompanionProcessIsNeverReported) {
  CopyFileA((binFolder() + "\\" + kSampleWaiter).c_str(), (listed + "\\ThreatWatchAide.exe").c_str(), FALSE);
  app.writeDefinitions("ExeDefinition.dat", {"threatwatchaide.exe=Aide|" + listed});
  RunningProgram aide(listed + "\\ThreatWatchAide.exe");
  scan(loaded());
  EXPECT_TRUE(app.session().results.foundRows().empty());
  EXPECT_TRUE(aide.running());
}

TEST_F(MemoryScan, StopWhileReadingEmptiesTheListSoTheNextRunReadsAgain) {
  std::vector<std::string> lines(200, std::string(kSampleWaiter) + "=Sample.Waiter|" + listed);
  app.writeDefinitions("ExeDefinition.dat", lines);
  Session& m = loaded();
  struct : ScanRunHost {
    const ScanCounters* counters = nullptr;
    bool cancelled() const override { return counters->processesInspected >= 10; }
  } stopped;
  stopped.counters = &m.counters;
  EXPECT_TRUE(m.scan(false, stopped).cancelled);
  EXPECT_FALSE(m.exeList.loaded());
  scan(m);
  EXPECT_EQ(m.exeList.entries, 200);
}

TEST(MemoryScanPaths, SystemRootAliasesMeetTheRealSystemFolder) {
  // Upper case throughout, as the definitions it is matched against.
  EXPECT_EQ(normalizeSystemPath("\\SYSTEMROOT\\SYSTEM32\\SMSS.EXE", "C:\\WINDOWS\\system32"),
            "C:\\WINDOWS\\SYSTEM32\\SMSS.EXE");
  EXPECT_EQ(normalizeSystemPath("C:\\APP\\A.EXE", "C:\\WINDOWS\\system32"), "C:\\APP\\A.EXE");
}

// The old-system variant, through a process table that reports the 9x family.
TEST(MemoryScan9x, MatchesNamesAtLineEndsAndAsksOutsideAScan) {
  App app;
  FakeProcesses procs;
  procs.table = {{"C:\\WINDOWS\\EXPLORER.EXE", 10}, {"C:\\PROGRA~1\\BAD\\BAD.EXE", 20}, {"C:\\X\\KEEP.EXE", 30}};
  PlatformParts parts = app.platform.parts();
  parts.processes = &procs;
  Platform platform(parts);
  app.writeEmptyDefinitions();
  app.writeDefinitions("ExeDefinition.dat", {"Bad=C:\\Progra~1\\Bad\\bad.exe", "keep.exe=Keep|C:\\X"});
  ui::FrmMain m(platform, app.host, app.path("quillon.exe"), Branding{app.product, "Test Company", "x", 1, 0});
  m.Form_Load();
  m.tabScanOptions.chkScanRegistry.setValue(0);
  m.pageScan.cmdScanNow_Click();
  ASSERT_EQ(m.pageScan.lvwSpywareFound.count(), 1);  // KEEP.EXE is not at the end of its line
  EXPECT_EQ(m.pageScan.lvwSpywareFound.item(0).text, "Detected in the memory : BAD.EXE and was stopped being from ruuning.");
  EXPECT_EQ(procs.terminated, std::vector<uint32_t>{20});
  EXPECT_EQ(m.pageScan.lblRunningPrograms.caption(), "3");

  // Outside a scan (the shield's timer) the user is asked; No excludes the program.
  app.dialogs.answer = [](const ShownBox&) { return kIdNo; };
  m.CheckMemory();
  EXPECT_EQ(app.dialogs.shown.back().title, app.product + "  - Alert");
  EXPECT_EQ(app.dialogs.shown.back().text, app.product +
                                               " has found  [BAD.EXE] using you system memory.Click YES to stop "
                                               "[BAD.EXE] from using your system memory. Otherwise click No.");
  EXPECT_EQ(app.readText("ENoSignature.txt"), "BAD.EXE\r\n");
  EXPECT_EQ(m.pageScan.lblRunningPrograms.caption(), "6");  // counted on, not reset
}

TEST(MemoryScanSafety, FindsAndStopsAProgramRunningFromTheSystemFolder) {
  App app;
  char sys[MAX_PATH];
  GetSystemDirectoryA(sys, MAX_PATH);
  const std::string name = "qsyswait" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string exe = copySampleWaiter(std::string(sys) + "\\" + name);
  app.writeEmptyDefinitions();
  app.writeDefinitions("ExeDefinition.dat", {name + "=Sys.Waiter|[system]"});
  {
    RunningProgram prog(exe);
    ASSERT_TRUE(prog.running());
    app.session().settings.write(keys::chkScanRegistry, "0");
    scan(app.session());
    EXPECT_EQ(foundTexts(app.session().results),
              std::vector<std::string>{"Detected in the memory : " + toUpper(name) + " was stopped from running."});
    EXPECT_TRUE(prog.waitForEnd(5000));
  }
  DeleteFileA(exe.c_str());
}

TEST(MemoryScanSafety, NeverStopsItselfOrTheProgramsOfItsOwnFolder) {
  App app;
  RunningProgram console(copySampleWaiter(app.path("quillon-cli.exe")));
  RunningProgram desktop(copySampleWaiter(app.path("quillon.exe")));
  ASSERT_TRUE(console.running() && desktop.running());
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  app.writeEmptyDefinitions();
  app.writeDefinitions("ExeDefinition.dat", {"quillon-cli.exe=Own|" + app.folder, "quillon.exe=Own|" + app.folder,
                                             fileNameFromPath(self) + "=Self|" + binFolder()});
  Session& m = app.session();
  m.settings.write(keys::chkScanRegistry, "0");
  scan(m);
  EXPECT_TRUE(m.results.foundRows().empty());
  EXPECT_EQ(m.counters.threatsFound, 0);
  EXPECT_TRUE(console.running());
  EXPECT_TRUE(desktop.running());
  EXPECT_NE(app.readText("Scan_Log.txt").find("End Of Report."), std::string::npos);

  // A stop by name passes over them too, and nothing ever stops the calling process.
  win32::Win32RunningProcesses processes;
  OwnPrograms own = ownPrograms(processes, app.path("quillon.exe"), app.folder);
  EXPECT_TRUE(killProcessByName(processes, app.pump, "quillon-cli.exe", &own));
  EXPECT_TRUE(console.running());
  EXPECT_FALSE(stopProcess(processes, GetCurrentProcessId()));
}

// A listed program whose file names the system's maker as its company is neither reported nor
// stopped; any other is, and one that will not stop is said so.
TEST(MemoryScanSafety, AProgramThatCannotBeStoppedIsSaidSoAndTheSystemMakersAreLeftAlone) {
  App app;
  char sys[MAX_PATH];
  GetSystemDirectoryA(sys, MAX_PATH);
  const std::string maker = app.path("maker.exe");
  ASSERT_TRUE(CopyFileA((std::string(sys) + "\\kernel32.dll").c_str(), maker.c_str(), FALSE));
  FakeProcesses procs;
  procs.version = {kPlatformNt, 6, 1};
  procs.table = {{"C:\\BAD\\BAD.EXE", 20}, {maker, 30}};
  procs.failTerminate = true;
  PlatformParts parts = app.platform.parts();
  parts.processes = &procs;
  Platform platform(parts);
  app.writeEmptyDefinitions();
  app.writeDefinitions("ExeDefinition.dat", {"bad.exe=Bad|C:\\Bad", "maker.exe=Maker|" + app.folder});
  Session m(platform, app.path("quillon.exe"), app.branding());
  m.load();
  m.settings.write(keys::chkScanRegistry, "0");
  scan(m);
  EXPECT_EQ(foundTexts(m.results), std::vector<std::string>{"Detected in the memory : BAD.EXE could not be stopped."});
  EXPECT_EQ(foundSummary(m.lastScan.found), "0 to remove, 1 program could not be stopped");
  EXPECT_EQ(std::count(procs.terminated.begin(), procs.terminated.end(), 30u), 0);
  EXPECT_FALSE(stopProcess(procs, 20));

  // The real system: a process that is gone has ended; one that runs has not.
  win32::Win32RunningProcesses real;
  RunningProgram prog(copySampleWaiter(app.path("w.exe")));
  EXPECT_FALSE(real.waitForExit(prog.id(), 1));
  EXPECT_TRUE(stopProcess(real, prog.id()));
  EXPECT_TRUE(real.waitForExit(0x7FFFFFF0u, 1));
}
