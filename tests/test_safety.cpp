// Faults found by using the program as a user and as an adversary would, and the safety rules
// that hold before anything is ever deleted.
#include <gtest/gtest.h>
#include <windows.h>

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/grammar.h"
#include "system/system_tasks.h"
#include "scan/protected_locations.h"
#include "shell/app_folder.h"
#include "tests/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {
const char* kWaiter = "quillon-sample-waiter.exe";


std::vector<std::string> missingFileLines(int n, const std::string& folder) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) lines.push_back("m" + std::to_string(i) + ".dll=T|" + folder);
  return lines;
}

std::string copyWaiter(const std::string& to) {
  CopyFileA((binFolder() + "\\" + kWaiter).c_str(), to.c_str(), FALSE);
  return to;
}
}  // namespace

// ---- closing, logoff and the single-instance lock ----------------------------------------------
TEST(ExitDuringScan, FileExitEndsTheRunPromptlyAndStillWritesTheExitSettings) {
  App app;
  app.writeEmptyDefinitions();
  app.writeDefinitions("FileDefinition.dat", missingFileLines(500, app.folder));
  auto& m = app.main();
  m.Form_Load();
  bool exited = false;
  m.onExit = [&] { exited = true; };
  int exitAt = -1;
  app.pump.onYield = [&](int n) {
    if (n == 60 && exitAt < 0) {
      exitAt = n;
      m.mnuFileExit.click();
    }
  };
  m.cmdScanNow_Click();
  ASSERT_TRUE(exited);
  EXPECT_LE(app.pump.yields, exitAt + 3);  // the run ends at its next item
  EXPECT_LT(m.counters.filesInspected, 100);
  EXPECT_EQ(m.settings.read("OptionAndSettings", "STATUS", ""), "STOPPED");
  EXPECT_EQ(m.settings.read("Settings", "Max", ""), "0");
  EXPECT_EQ(m.settings.read("Settings", "FoundCol21", ""), "1400");
  EXPECT_EQ(app.readText("Scan_Log.txt"), "");  // an abandoned run leaves no report
  EXPECT_FALSE(m.cmdStop.enabled());
}

TEST(SingleInstance, TheConsoleProgramNeitherTakesNorHonoursTheDesktopLock) {
  App app;
  app.writeEmptyDefinitions();
  app.writeText("ENoSignature.txt", "kept.dll\r\n");
  const std::string lockName = "Local\\" + app.product + ".SingleInstance";
  HANDLE desktopLock = CreateMutexA(nullptr, FALSE, lockName.c_str());  // as a running desktop copy holds it
  auto& m = app.main();
  m.consoleMode = true;
  bool ended = false;
  m.endProcess = [&] { ended = true; };
  m.Form_Load();
  EXPECT_FALSE(ended);
  EXPECT_TRUE(m.loaded());
  EXPECT_EQ(m.exclusions.text(), "kept.dll|");
  CloseHandle(desktopLock);
  // Nothing holds the lock now: the console program did not take it, so a desktop copy
  // starting during a console scan is not turned away.
  HANDLE probe = OpenMutexA(SYNCHRONIZE, FALSE, lockName.c_str());
  EXPECT_EQ(probe, nullptr);
  if (probe) CloseHandle(probe);
}

// ---- controls enabled only when what they do works --------------------------------------------
TEST(ControlStates, StopPauseResetAndLiveUpdateAreEnabledOnlyWhenTheyWork) {
  App app;
  app.writeEmptyDefinitions();
  auto& m = app.main();
  m.Form_Load();
  for (controls::Control* c : std::initializer_list<controls::Control*>{&m.cmdStop, &m.cmdPause, &m.lblStop, &m.lblPause,
                                                             &m.CmdProceed})
    EXPECT_FALSE(c->enabled()) << c->name();
  EXPECT_TRUE(m.cmdDefaultSetting.enabled());  // Reset always has something to apply
  m.cmdStop_Click();
  m.lblPause_Click();
  EXPECT_TRUE(app.dialogs.shown.empty());  // no question while there is nothing to stop
  EXPECT_FALSE(m.ScanCancelled);

  bool duringRun = false;
  app.pump.onYield = [&](int) { duringRun = duringRun || (m.cmdStop.enabled() && m.cmdPause.enabled()); };
  m.cmdScanNow_Click();
  EXPECT_TRUE(duringRun);
  EXPECT_FALSE(m.cmdStop.enabled());
  EXPECT_FALSE(m.cmdPause.enabled());
  EXPECT_TRUE(m.cmdUpdate.enabled());  // Live Update works
  m.definitionMerge = nullptr;         // a copy that could not apply an update would not offer it
  m.cmdScanNow_Click();
  EXPECT_FALSE(m.cmdUpdate.enabled());
}

TEST(Captions, OptionsReadAsDesigned) {
  App app;
  auto& m = app.main();
  EXPECT_EQ(m.chkSendData.caption(), "Send anonymous data to help identify unknown spyware");
  EXPECT_EQ(m.chkAutomaticScanYesOrNo.caption(), "Enable Scheduled Scans");
  EXPECT_EQ(m.chkScanCookies.caption(), "Scan Internet Cookies");
  EXPECT_EQ(m.optAlwaysnotifybeforerestoring.caption(), "Ask me what I would like to do");
  EXPECT_EQ(m.optRestoredefaultwithoutnotification.caption(), "Silently restore my original home page");
  EXPECT_EQ(m.lblLastScanCaption.caption(), "Your last scan was completed:");
  EXPECT_EQ(m.lblLastFullScanCaption.caption(), "Your last full system scan was completed:");
  EXPECT_EQ(m.fraScanType.caption(), "Scan Type");
  EXPECT_EQ(m.fraDriveSelection.caption(), "Drive Selection");
  EXPECT_EQ(m.lblRunOn.caption(), "Run on:");
  EXPECT_EQ(m.mnuFileMinimize.caption(), "Minimize to Tray");
}

// ---- running programs ----------------------------------------------------------------------------
TEST(MemoryScanSafety, FindsAndStopsAProgramRunningFromTheSystemFolder) {
  App app;
  char sys[MAX_PATH];
  GetSystemDirectoryA(sys, MAX_PATH);
  const std::string name = "qsyswait" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string exe = copyWaiter(std::string(sys) + "\\" + name);
  app.writeEmptyDefinitions();
  app.writeDefinitions("ExeDefinition.dat", {name + "=Sys.Waiter|[system]"});
  {
    RunningProgram prog(exe);
    ASSERT_TRUE(prog.running());
    auto& m = app.main();
    m.Form_Load();
    m.chkScanRegistry.setValue(0);
    m.cmdScanNow_Click();
    EXPECT_EQ(texts(m.lvwSpywareFound),
              std::vector<std::string>{"Detected in the memory : " + toUpper(name) + " was stopped from running."});
    EXPECT_TRUE(prog.waitForEnd(5000));
  }
  DeleteFileA(exe.c_str());
}

TEST(MemoryScanSafety, NeverStopsItselfOrTheProgramsOfItsOwnFolder) {
  App app;
  RunningProgram console(copyWaiter(app.path("quillon-cli.exe")));
  RunningProgram desktop(copyWaiter(app.path("quillon.exe")));
  ASSERT_TRUE(console.running() && desktop.running());
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  app.writeEmptyDefinitions();
  app.writeDefinitions("ExeDefinition.dat", {"quillon-cli.exe=Own|" + app.folder, "quillon.exe=Own|" + app.folder,
                                             fileNameFromPath(self) + "=Self|" + binFolder()});
  auto& m = app.main();
  m.Form_Load();
  m.chkScanRegistry.setValue(0);
  m.cmdScanNow_Click();
  EXPECT_EQ(m.lvwSpywareFound.count(), 0);
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

TEST(MemoryScanSafety, AProgramThatCannotBeStoppedIsSaidSo) {
  App app;
  FakeProcesses procs;
  procs.version = {kPlatformNt, 6, 1};
  procs.table = {{"C:\\BAD\\BAD.EXE", 20}};
  procs.failTerminate = true;
  PlatformParts parts = app.platform.parts();
  parts.processes = &procs;
  Platform platform(parts);
  app.writeEmptyDefinitions();
  app.writeDefinitions("ExeDefinition.dat", {"bad.exe=Bad|C:\\Bad"});
  ui::FrmMain m(platform, app.host, app.path("quillon.exe"), Branding{app.product, "Test Company", "x", 1, 0});
  m.Form_Load();
  m.chkScanRegistry.setValue(0);
  m.cmdScanNow_Click();
  EXPECT_EQ(texts(m.lvwSpywareFound), std::vector<std::string>{"Detected in the memory : BAD.EXE could not be stopped."});
  EXPECT_FALSE(stopProcess(procs, 20));

  // The real system: a process that is gone has ended; one that runs has not.
  win32::Win32RunningProcesses real;
  RunningProgram prog(copyWaiter(app.path("w.exe")));
  EXPECT_FALSE(real.waitForExit(prog.id(), 1));
  EXPECT_TRUE(stopProcess(real, prog.id()));
  EXPECT_TRUE(real.waitForExit(0x7FFFFFF0u, 1));
}

// ---- the console program, end to end ------------------------------------------------------------
namespace {
struct Cli : CliFolder {
  void SetUp() override {
    CliFolder::SetUp();
    app.writeEmptyDefinitions();
  }
};
}  // namespace

TEST_F(Cli, ScansFullyBesideARunningDesktopCopyAndCountsAStoppedProgram) {
  HANDLE desktopLock = CreateMutexA(nullptr, FALSE, "Local\\Quillon.SingleInstance");
  const std::string bad = makeFolder(app.path("bad"));
  RunningProgram waiter(copyWaiter(bad + "\\" + kWaiter));
  app.writeDefinitions("ExeDefinition.dat", {std::string(kWaiter) + "=Sample|" + bad});
  app.writeText("ENoSignature.txt", "kept.dll\r\n");
  ProgramRun r = runProgram(cli, "scan");
  CloseHandle(desktopLock);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.out.find("Detected in the memory : QUILLON-SAMPLE-WAITER.EXE was stopped from running."),
            std::string::npos);
  EXPECT_TRUE(waiter.waitForEnd(5000));
  const std::string report = app.readText("Scan_Log.txt");
  EXPECT_NE(report.find("[Files Currently Excluded]\r\n\r\nkept.dll"), std::string::npos);
  EXPECT_EQ(report.find("Cookies and Processes inspected: 0\r\n"), std::string::npos);
}

TEST_F(Cli, AReportThatCannotBeWrittenIsSaidAndAHiddenOneIsReplaced) {
  app.writeText("Scan_Log.txt", "an old report\r\n");
  SetFileAttributesA(app.path("Scan_Log.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  ProgramRun r = runProgram(cli, "scan");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  r = runProgram(cli, "scan");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::string report = app.readText("Scan_Log.txt");
  EXPECT_EQ(report.find("an old report"), std::string::npos);
  EXPECT_EQ(report.find("End Of Report."), report.rfind("End Of Report."));  // one report, not two

  DeleteFileA(app.path("Scan_Log.txt").c_str());
  makeFolder(app.path("Scan_Log.txt"));
  r = runProgram(cli, "scan");
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_NE(r.err.find("The scan report could not be written to " + app.folder + "\\Scan_Log.txt."),
            std::string::npos);
}

TEST_F(Cli, EncodeRefusesALineThatWouldBeSplitAndWritesNothing) {
  ProgramRun r = runProgram(cli, "encode", "good line\r\nbad \xCF line\r\nlast\r\n");
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("line 2, byte 5 (0xCF)"), std::string::npos) << r.err;
  r = runProgram(cli, "encode", "a \xCC b\n");  // LF after enciphering, too
  EXPECT_EQ(r.exitCode, 3);
  r = runProgram(cli, "encode", "fine\r\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, encodeDefinitionLine("fine") + "\r\n");

  EXPECT_EQ(unencodableByte("plain text"), std::string::npos);
  EXPECT_EQ(unencodableByte("ab\xCF"), 2u);
  for (int b = 0; b < 256; ++b) {
    std::string one(1, char(b));
    const std::string enc = encodeDefinitionLine(one);
    EXPECT_EQ(unencodableByte(one) != std::string::npos, enc == "\r" || enc == "\n") << b;
  }
}

namespace {
std::wstring widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::wstring longPath(const std::wstring& p) { return L"\\\\?\\" + p; }

void writeWide(const std::wstring& path, const std::string& text) {
  HANDLE h = CreateFileW(longPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD put = 0;
  WriteFile(h, text.data(), DWORD(text.size()), &put, nullptr);
  CloseHandle(h);
}

std::string readWide(const std::wstring& path) {
  HANDLE h = CreateFileW(longPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  char buf[256];
  DWORD got = 0;
  ReadFile(h, buf, sizeof buf, &got, nullptr);
  CloseHandle(h);
  return std::string(buf, got);
}

// Runs a copy of the console program from a folder of exactly `folderLength` characters whose
// every folder on the way down holds data files of the names the program uses. Returns the
// exit code, or -1 when the system cannot start a program from there.
int runFromDeepFolder(const std::string& base, const std::string& cli, size_t folderLength, bool& decoysIntact) {
  std::wstring folder = widen(base);
  std::vector<std::wstring> chain;
  for (wchar_t c = L'a'; folder.size() < folderLength; ++c) {
    size_t room = folderLength - folder.size() - 1;
    folder += L"\\" + std::wstring(std::min<size_t>(room ? room : 1, 40), c);
    CreateDirectoryW(longPath(folder).c_str(), nullptr);
    chain.push_back(folder);
  }
  const wchar_t* names[] = {L"Scan_Log.txt", L"date.dat", L"FileDefinition.dat", L"ENoSignature.txt"};
  for (const std::wstring& f : chain)
    for (const wchar_t* n : names) writeWide(f + L"\\" + n, "decoy\r\n");
  const std::wstring exe = chain.back() + L"\\quillon-cli.exe";
  CopyFileW(longPath(widen(cli)).c_str(), longPath(exe).c_str(), FALSE);

  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + exe + L"\" scan";
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return -1;
  CloseHandle(pi.hThread);
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  decoysIntact = true;
  for (const std::wstring& f : chain)
    for (const wchar_t* n : names) {
      const std::string now = readWide(f + L"\\" + n);
      EXPECT_EQ(now, "decoy\r\n") << f.size() << " " << std::string(n, n + wcslen(n));
      decoysIntact = decoysIntact && now == "decoy\r\n";
    }
  return int(code);
}
}  // namespace

TEST_F(Cli, RefusesAnApplicationFolderTooLongToUseAndTouchesNothing) {
  // Short enough to start from, too long to leave room for the data file names.
  bool intact = false;
  EXPECT_EQ(runFromDeepFolder(app.folder, cli, kMaxPath - 30, intact), 2);
  EXPECT_TRUE(intact);
  // Longer than the classic limit: where the system can start it at all, it stops the same way.
  int code = runFromDeepFolder(app.folder, cli, kMaxPath + 40, intact);
  if (code != -1) {
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(intact);
  }

  EXPECT_NE(appFolderProblem("C:\\" + std::string(300, 'x') + "\\q.exe", "Q").find("too long"), std::string::npos);
  EXPECT_NE(appFolderProblem("quillon.exe", "Q"), "");
  EXPECT_EQ(appFolderProblem("C:\\Program Files\\Q\\q.exe", "Q"), "");
}

TEST(Report, AReportThatCannotBeWrittenIsSaidOnTheStatusLine) {
  App app;
  app.writeEmptyDefinitions();
  makeFolder(app.path("Scan_Log.txt"));
  auto& m = app.main();
  m.Form_Load();
  m.cmdScanNow_Click();
  EXPECT_TRUE(m.reportFailed());
  EXPECT_EQ(m.lblStatus.caption(),
            "Scanning complete. The scan report could not be written to " + app.path("Scan_Log.txt") + ".");
}

// ---- numbers from outside ------------------------------------------------------------------------
TEST(Numbers, RegistryRootsAreOneDigitAndStoredNumbersArePlainDecimals) {
  uint32_t h = 0;
  std::string name;
  for (const char* bad : {"0x1", "1.0", "1e0", " +1 ", " 1", "01", "1e308", "nan", "inf", "-0", "6", ""})
    EXPECT_FALSE(registryRoot(bad, h, name)) << bad;
  EXPECT_TRUE(registryRoot("1", h, name));
  EXPECT_EQ(name, "HKEY_CURRENT_USER");

  double d = 0;
  for (const char* bad : {"1e300", "nan", "inf", "0x10", "1e0", "--1", ".", "1.2.3"}) EXPECT_FALSE(parseNumber(bad, d)) << bad;
  EXPECT_FALSE(parseNumber(std::string(400, '9'), d));  // out of range
  EXPECT_TRUE(parseNumber(" -12.5 ", d) && d == -12.5);

  App app;
  auto& s = app.main().settings;
  s.write("Settings", "FoundCol21", "1e300");
  s.write("Settings", "FoundCol22", "nan");
  s.write("Settings", "FoundCol23", "99999999999999999999999999");
  auto& m = app.main();
  m.Form_Load();
  for (const auto& c : m.lvwPicRemoveListOfSpywareFoundAndToBeRemoved.columns) EXPECT_EQ(c.widthTwips, 1400);
}

// ---- nothing that would wreck the machine is ever a finding --------------------------------------
TEST(ProtectedLocations, SystemFoldersRootsAndHivesAreNeverFindings) {
  App app;
  char profile[MAX_PATH] = {0};
  GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
  const std::string profiles = std::string(profile).substr(0, std::string(profile).rfind('\\'));
  const std::string planted = makeFolder(app.path("planted"));
  app.writeEmptyDefinitions();
  app.writeDefinitions("DirectoryDefinition.dat",
                       {"Win=Windows|[windir]", "Sys=System|[system]", "Sys2=System|c:\\WINDOWS\\system32\\\\",
                        "Root=Root|C:\\", "Drive=Root|[drive]", "Prog=Program Files|[progfil]", "Data=AppData|[appdata]",
                        "Prof=Profile|" + std::string(profile), "Profs=Profiles|" + profiles,
                        "Mine=Own folder|" + app.folder, "Real=Real.Folder|" + planted});
  app.writeDefinitions("RegistryDefinition.dat",
                       {"1^Software=Two.Fields", "1^^=Empty.Key", "1^\\\\^=Slashes", "1^ ^=Blank", "1^Software^=Top",
                        "2^SOFTWARE\\Microsoft\\^=Ms", "2^SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run^=Run",
                        "2^SYSTEM^=Sys"});
  auto& m = app.main();
  m.Form_Load();
  m.chkSweepMemory.setValue(0);
  m.cmdScanNow_Click();
  EXPECT_EQ(texts(m.lvwSpywareFound), std::vector<std::string>{"Real.Folder - Found"});
  EXPECT_EQ(m.counters.registryInspected, 4);  // the lines naming no key at all are skipped

  win32::Win32RunningProcesses processes;
  ProtectedLocations locations(app.fs, app.shell, processes, app.folder);
  EXPECT_TRUE(locations.isProtectedFolder("\\\\server\\share\\"));
  EXPECT_TRUE(locations.isProtectedFolder("D:"));
  EXPECT_FALSE(locations.isProtectedFolder(planted));
  EXPECT_FALSE(locations.isProtectedFolder("C:\\windows\\system32\\QuillonSample"));
  EXPECT_FALSE(ProtectedLocations::isProtectedRegistryKey(kHkeyCurrentUser, "Software\\QuillonSample"));
}

TEST(ProtectedLocations, TheProgramsOwnFilesAreNeverFindings) {
  App app;
  app.writeEmptyDefinitions();
  for (const char* f : {"quillon.exe", "Scan_Log.txt", "ENoSignature.txt", "other.dll"}) app.writeText(f, "x");
  makeFolder(app.path("sub"));
  app.writeText("sub\\quillon.exe", "x");
  app.writeDefinitions("FileDefinition.dat",
                       {"quillon.exe=Own|" + app.folder, "FileDefinition.dat=Definitions|" + app.folder + "\\\\",
                        "SCAN_LOG.TXT=Report|" + app.folder, "ENoSignature.txt=Exclusions|" + app.folder,
                        "other.dll=Other.Threat|" + app.folder, "quillon.exe=Copy.Below|" + app.path("sub")});
  auto& m = app.main();
  m.Form_Load();
  m.chkSweepMemory.setValue(0);
  m.cmdScanNow_Click();
  EXPECT_EQ(texts(m.lvwSpywareFound), (std::vector<std::string>{"Other.Threat - Found", "Copy.Below - Found"}));

  ProtectedLocations locations(app.fs, app.shell, app.processes, app.folder);
  EXPECT_TRUE(locations.isProgramFile(app.folder + "\\\\QUILLON-CLI.EXE. "));
  EXPECT_TRUE(locations.isProgramFile(app.path("date.dat")));
  EXPECT_FALSE(locations.isProgramFile(app.path("other.dll")));
  EXPECT_FALSE(locations.isProgramFile(app.path("sub\\quillon.exe")));
  EXPECT_FALSE(locations.isProgramFile("quillon.exe"));
}
