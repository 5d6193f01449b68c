// The console program as a user runs it, and the answers it gives where nobody is there to
// click: a question that would delete or change something is answered No unless the user
// passed --yes, every message goes to standard error, and the exit code says how it ended.
#include "tests/local_server.h"  // before <windows.h>: it brings the sockets
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "common/datetime.h"
#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/grammar.h"
#include "removal/quarantine.h"
#include "reports/data_server.h"
#include "scan/cookie_scan.h"
#include "session/session.h"
#include "shell/app_folder.h"
#include "system/settings.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {
// What a console box printed, read back from a temporary file.
struct Printed {
  std::FILE* f = std::tmpfile();
  ~Printed() { std::fclose(f); }
  std::string text() {
    std::string s;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) s.push_back(char(c));
    return s;
  }
};

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A copy of the console program in a throw-away application folder. It reads its branding
// from its own version information, so its settings are the product's.
struct CliFolder : ::testing::Test {
  App app;
  std::string cli;
  const std::string machineKey = "SOFTWARE\\Quillon Developers\\Quillon\\Settings";
  void SetUp() override {
    cli = app.path("quillon-cli.exe");
    CopyFileA((binFolder() + "\\quillon-cli.exe").c_str(), cli.c_str(), FALSE);
    app.registry.deleteTree(kHkeyCurrentUser, "Software\\Quillon");
  }
  void TearDown() override {
    app.registry.deleteTree(kHkeyCurrentUser, "Software\\Quillon");
    for (const char* value : {"DataServer", "DefinitionServer"}) app.registry.deleteValue(kHkeyLocalMachine, machineKey, value);
  }
  // Points the submission at `base` (an address without its last "/").
  void dataServer(const std::string& base) {
    app.registry.setValue(kHkeyLocalMachine, machineKey, "DataServer", RegValue{kRegSz, base + '\0'});
  }
};

struct Cli : CliFolder {
  void SetUp() override {
    CliFolder::SetUp();
    app.writeEmptyDefinitions();
  }
};

// A file and a folder, each of its own threat.
struct CliRemoval : Cli {
  std::string planted;
  void SetUp() override {
    Cli::SetUp();
    planted = makeFolder(app.path("planted"));
    makeFolder(planted + "\\dir");
    app.writeText("planted\\a.dll", "threat file");
    app.writeText("planted\\dir\\inside.txt", "threat folder");
    app.writeDefinitions("FileDefinition.dat", {"a.dll=Twin|" + planted + "|Adware"});
    app.writeDefinitions("DirectoryDefinition.dat", {"Dir=DirThreat|" + planted + "\\dir"});
  }
};

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

TEST(ConsoleDialogs, AnswersWhatChangesNothingUnlessTold) {
  using win32::ConsoleDialogs;
  struct Case {
    unsigned flags;
    int withoutYes, withYes;
  };
  for (const Case& c : {Case{kMbOk | kMbIconInformation, kIdOk, kIdOk}, Case{kMbYesNo, kIdNo, kIdYes},
                        Case{kMbYesNo | kMbIconQuestion, kIdNo, kIdYes}, Case{kMbOkCancel, kIdCancel, kIdOk},
                        Case{kMbYesNoCancel, kIdCancel, kIdYes},
                        // Retrying unattended could go on for ever; Ignore may store a choice.
                        Case{kMbAbortRetryIgnore | kMbIconExclamation, kIdAbort, kIdAbort},
                        Case{kMbRetryCancel, kIdCancel, kIdCancel}}) {
    EXPECT_EQ(ConsoleDialogs::answer(c.flags, false), c.withoutYes) << c.flags;
    EXPECT_EQ(ConsoleDialogs::answer(c.flags, true), c.withYes) << c.flags;
  }

  Printed out;
  ConsoleDialogs console(false, out.f);
  EXPECT_EQ(console.messageBox("Nothing to see.", "Quillon", kMbOk | kMbIconInformation), kIdOk);
  EXPECT_EQ(console.messageBox("Really?", "Really Delete?", kMbYesNo), kIdNo);
  console.setAssumeYes(true);
  EXPECT_EQ(console.messageBox("Really?", "Really Delete?", kMbYesNo), kIdYes);
  EXPECT_EQ(out.text(),
            "Quillon: Nothing to see.\n"
            "Really Delete?: Really?\n  (answered No; --yes answers yes)\n"
            "Really Delete?: Really?\n  (answered Yes)\n");
}

TEST(ConsoleDialogs, AQuestionThatWouldChangeSomethingChangesNothingWithoutYes) {
  for (bool yes : {false, true}) {
    App app;
    const std::string planted = makeFolder(app.path("planted"));
    app.writeText("planted\\a.dll", "x");
    app.writeEmptyDefinitions();
    app.writeDefinitions("FileDefinition.dat", {"a.dll=Twin|" + planted + "|Adware"});
    Printed out;
    win32::ConsoleDialogs console(yes, out.f);
    PlatformParts parts = app.platform.parts();
    parts.dialogs = &console;
    Platform platform(parts);
    ui::FrmMain m(platform, app.host, app.path("quillon.exe"), Branding{app.product, "Test Company", "x", 1, 0});
    m.Form_Load();
    m.pageScan.cmdScanNow_Click();
    ASSERT_EQ(m.pageResults.lvwResults.count(), 1);
    m.pageResults.lvwResults.setChecked(0, true);
    m.pageResults.cmdExclude.click();
    EXPECT_NE(out.text().find("Really Exclude?: Are you sure you want to exclude"), std::string::npos);
    EXPECT_EQ(m.pageResults.lvwResults.count(), yes ? 0 : 1);
    EXPECT_EQ(app.readText("ENoSignature.txt").find("a.dll") != std::string::npos, yes);

    // A machine-wide write that is refused is asked about once, not retried, and the choice
    // never to be asked again is not stored.
    app.registry.failMachineWrites = true;
    app.registry.machineWriteAttempts = 0;
    Settings s(app.registry, console, app.product, "Test Company");
    EXPECT_FALSE(s.writeMachine("Settings", "FirstTime", "Yes"));
    EXPECT_EQ(app.registry.machineWriteAttempts, 1);
    EXPECT_EQ(s.read("Settings", "IgnorePermissionDeniedError", "0"), "0");
    EXPECT_NE(out.text().find("Permission Denied: "), std::string::npos);
  }
}

TEST(SingleInstance, TheConsoleProgramNeitherTakesNorHonoursTheDesktopLock) {
  App app;
  app.writeEmptyDefinitions();
  app.writeText("ENoSignature.txt", "kept.dll\r\n");
  const std::string lockName = "Local\\" + app.product + ".SingleInstance";
  HANDLE desktopLock = CreateMutexA(nullptr, FALSE, lockName.c_str());  // as a running desktop copy holds it
  Session session(app.platform, app.path("quillon-cli.exe"), Branding{app.product, "Test Company", "q.example", 1, 0});
  EXPECT_TRUE(session.load());
  EXPECT_EQ(session.exclusions.text(), "kept.dll|");
  CloseHandle(desktopLock);
  // Nothing holds the lock now: the console program did not take it, so a desktop copy
  // starting during a console scan is not turned away.
  HANDLE probe = OpenMutexA(SYNCHRONIZE, FALSE, lockName.c_str());
  EXPECT_EQ(probe, nullptr);
  if (probe) CloseHandle(probe);
}

using CliAnswers = CliFolder;

TEST_F(CliAnswers, InformationGoesToStandardErrorAndOnlyKnownOptionsAreTaken) {
  // No definition files: the scan says so on standard error and cannot look.
  for (const char* args : {"scan", "--yes scan", "scan --yes", "scan --complete"}) {
    ProgramRun r = runProgram(cli, args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.err;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_NE(r.err.find("Quillon: Definition files are missing or they have been corrupted. Please run Liveupdate."),
              std::string::npos)
        << args << "\n" << r.err;
    EXPECT_EQ(r.err.find("(answered"), std::string::npos) << r.err;  // an information box is no question
  }
  // A misspelt option is never taken for permission, nor ignored.
  // Only scan and the quarantine commands speak JSON.
  for (const char* args : {"--Yes scan", "-y scan", "--yes", "--yes encode", "scan extra", "update --complete",
                           "--complete", "quarantine", "quarantine list x", "--json submit x"}) {
    ProgramRun r = runProgram(cli, args);
    EXPECT_EQ(r.exitCode, 64) << args;
    EXPECT_NE(r.err.find("usage:"), std::string::npos) << args;
  }
  for (const char* args : {"quarantine restore abc", "quarantine restore 0"})  // no item number
    EXPECT_EQ(runProgram(cli, args).exitCode, 64) << args;
}

TEST_F(Cli, ScansFullyBesideARunningDesktopCopyAndCountsAStoppedProgram) {
  HANDLE desktopLock = CreateMutexA(nullptr, FALSE, "Local\\Quillon.SingleInstance");
  const std::string bad = makeFolder(app.path("bad"));
  RunningProgram waiter(copySampleWaiter(bad + "\\" + kSampleWaiter));
  app.writeDefinitions("ExeDefinition.dat", {std::string(kSampleWaiter) + "=Sample|" + bad});
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

TEST_F(Cli, EncodeRefusesALineThatWouldNotComeBackWholeAndWritesNothing) {
  ProgramRun r = runProgram(cli, "encode", "good line\r\nbad \xCF line\r\nlast\r\n");
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("line 2, byte 5 (0xCF)"), std::string::npos) << r.err;
  r = runProgram(cli, "encode", "a \xCC b\n");  // LF after enciphering, too
  EXPECT_EQ(r.exitCode, 3);
  // 0xFF would come back as NUL: "C:\a\<0xFF> b" would name "C:\a".
  r = runProgram(cli, "encode", "fine\r\nC:\\a\\\xFF b\r\n");
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("line 2, byte 6 (0xFF) would come back as NUL"), std::string::npos) << r.err;
  r = runProgram(cli, "encode", "fine\r\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, encodeDefinitionLine("fine") + "\r\n");
}

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

TEST_F(CliRemoval, RemoveNeedsYesAndEverythingComesBackThroughTheQuarantine) {
  ProgramRun no = runProgram(cli, "scan --remove");
  EXPECT_EQ(no.exitCode, 3) << no.err;
  EXPECT_NE(no.err.find("Really Delete?"), std::string::npos) << no.err;
  EXPECT_TRUE(exists(planted + "\\a.dll"));
  EXPECT_TRUE(exists(planted + "\\dir\\inside.txt"));

  ProgramRun yes = runProgram(cli, "--yes scan --remove");
  yes.out = replaceAll(yes.out, "\r\n", "\n");
  EXPECT_EQ(yes.exitCode, 1) << yes.err;
  EXPECT_NE(yes.out.find("removed\t" + planted + "\\a.dll\n"), std::string::npos) << yes.out;
  EXPECT_NE(yes.out.find("removed\t" + planted + "\\dir\n"), std::string::npos) << yes.out;
  EXPECT_FALSE(exists(planted + "\\a.dll"));
  EXPECT_FALSE(exists(planted + "\\dir"));
  EXPECT_EQ(runProgram(cli, "scan").exitCode, 0);  // nothing left to find

  ProgramRun list = runProgram(cli, "quarantine list");
  list.out = replaceAll(list.out, "\r\n", "\n");
  ASSERT_EQ(list.exitCode, 0) << list.err;
  std::vector<std::string> lines = split(list.out, "\n");
  ASSERT_EQ(lines.size(), 3u) << list.out;  // two items and the empty rest after the last line end
  std::vector<std::string> fileLine = split(lines[0], "\t"), folderLine = split(lines[1], "\t");
  ASSERT_EQ(fileLine.size(), 5u);
  EXPECT_EQ(fileLine[2], "file");
  EXPECT_EQ(fileLine[3], planted + "\\a.dll");
  EXPECT_EQ(folderLine[2], "folder");

  EXPECT_EQ(runProgram(cli, "quarantine restore " + fileLine[0]).exitCode, 0);
  EXPECT_EQ(app.readText("planted\\a.dll"), "threat file");
  // What is back is no longer held: the list names the folder alone.
  list = runProgram(cli, "quarantine list");
  lines = split(replaceAll(list.out, "\r\n", "\n"), "\n");
  ASSERT_EQ(lines.size(), 2u) << list.out;
  EXPECT_EQ(split(lines[0], "\t")[2], "folder");
  EXPECT_EQ(runProgram(cli, "quarantine restore " + fileLine[0]).exitCode, 3);
  EXPECT_EQ(runProgram(cli, "quarantine restore " + folderLine[0]).exitCode, 0);
  EXPECT_EQ(app.readText("planted\\dir\\inside.txt"), "threat folder");
  EXPECT_EQ(runProgram(cli, "quarantine restore 999").exitCode, 3);
}

// A folder that stays (a file in it is held open) is said, and the run exits 3, though the
// file beside it went.
TEST_F(CliRemoval, WhatStaysIsSaidAndTheRunExitsThree) {
  HANDLE held = CreateFileA((planted + "\\dir\\inside.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ProgramRun r = runProgram(cli, "--yes scan --remove");
  CloseHandle(held);
  r.out = replaceAll(r.out, "\r\n", "\n");
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_NE(r.out.find("removed\t" + planted + "\\a.dll\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("not removed\t" + planted + "\\dir\tcould not be copied into the quarantine\n"), std::string::npos)
      << r.out;
  EXPECT_TRUE(exists(planted + "\\dir\\inside.txt"));
  ProgramRun list = runProgram(cli, "quarantine list");
  EXPECT_EQ(split(replaceAll(list.out, "\r\n", "\n"), "\n").size(), 2u) << list.out;  // the file alone
}

// Two removals started together over one set of threats (two scripts, or a scheduled run beside
// the window): one waits for the other, so every item goes into the quarantine once, under an
// id and a copy of its own, and comes back from there byte for byte. A few rounds here;
// tools/removal-race-check.sh runs many.
TEST_F(Cli, TwoRemovalsAtOnceKeepEveryItemOnceUnderAnIdOfItsOwn) {
  const std::string P = makeFolder(app.path("race")), key = "Software\\QuillonRaceTest";
  std::vector<std::string> files, dirs, registry;
  std::map<std::string, std::string> content;  // every planted file, by path
  for (int i = 0; i < 24; ++i) {
    content[P + "\\f" + std::to_string(i) + ".txt"] = "file " + std::to_string(i);
    files.push_back("f" + std::to_string(i) + ".txt=Race" + std::to_string(i % 4) + "|" + P);
  }
  for (int i = 0; i < 4; ++i) {
    const std::string d = P + "\\d" + std::to_string(i);
    makeFolder(d);
    content[d + "\\in.txt"] = "inside " + std::to_string(i);
    dirs.push_back("D" + std::to_string(i) + "=RaceDir|" + d);
    app.registry.setValue(kHkeyCurrentUser, key + "\\Values", "v" + std::to_string(i), RegValue{kRegSz, "value" + std::string(1, '\0')});
    app.registry.setValue(kHkeyCurrentUser, key + "\\K" + std::to_string(i), "x", RegValue{kRegSz, std::string("k\0", 2)});
    registry.push_back("1^" + key + "\\Values^v" + std::to_string(i) + "=RaceValue");
    registry.push_back("1^" + key + "\\K" + std::to_string(i) + "^=RaceKey");
  }
  for (const auto& [path, bytes] : content) app.fs.write(path, bytes, false);
  app.writeDefinitions("FileDefinition.dat", files);
  app.writeDefinitions("DirectoryDefinition.dat", dirs);
  app.writeDefinitions("RegistryDefinition.dat", registry);
  // No scan report: two written at the same instant collide (one run then says so, exit 5, and
  // removes nothing), which is not what this asks.
  app.registry.setValue(kHkeyCurrentUser, "Software\\Quillon\\OptionAndSettings", "chkMakeLog",
                        RegValue{kRegSz, std::string("0\0", 2)});
  const size_t items = 24 + 4 + 8;
  std::set<int64_t> seen;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ProgramRun runs[2];
    std::thread other([&] { runs[1] = runProgram(cli, "--yes scan --remove"); });
    runs[0] = runProgram(cli, "--yes scan --remove");
    other.join();
    std::multiset<std::string> removed;
    for (const ProgramRun& r : runs) {
      EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.exitCode << r.out << r.err;
      for (const std::string& line : split(replaceAll(r.out, "\r\n", "\n"), "\n"))
        if (line.rfind("removed\t", 0) == 0) removed.insert(line);
    }
    EXPECT_EQ(removed.size(), items);
    EXPECT_EQ(std::set<std::string>(removed.begin(), removed.end()).size(), removed.size());  // each item once
    // Every id and stored name is one item's alone; this round's items each come back.
    Quarantine q(app.platform, app.folder);
    ASSERT_EQ(q.lock(nullptr, 0), StoreLockResult::Taken);
    std::set<int64_t> ids;
    std::set<std::string> stored;
    size_t fresh = 0;
    for (const QuarantineEntry& e : q.entries()) {
      EXPECT_TRUE(ids.insert(e.id).second) << "id " << e.id << " twice";
      EXPECT_TRUE(stored.insert(toLower(e.stored)).second) << e.stored << " twice";
      if (seen.insert(e.id).second) {
        ++fresh;
        EXPECT_EQ(q.restore(e.id), "") << e.original;
      }
    }
    EXPECT_EQ(fresh, items);
    for (const auto& [path, bytes] : content) {
      std::string now;
      EXPECT_TRUE(app.fs.readAll(path, now) && now == bytes) << path;
    }
    RegValue v;
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(app.registry.queryValue(kHkeyCurrentUser, key + "\\Values", "v" + std::to_string(i), kKeyRead, v), RegStatus::Ok);
      EXPECT_EQ(app.registry.queryValue(kHkeyCurrentUser, key + "\\K" + std::to_string(i), "x", kKeyRead, v), RegStatus::Ok);
    }
  }
  // While another program keeps the quarantine past the wait, a removal and a restore say so
  // and change nothing.
  Quarantine holder(app.platform, app.folder);
  ASSERT_EQ(holder.lock(nullptr, 0), StoreLockResult::Taken);
  const std::string index = app.readText("quarantine\\QuarantineIndex.txt");
  ProgramRun refused[2];
  std::thread restore([&] { refused[1] = runProgram(cli, "quarantine restore 1"); });
  refused[0] = runProgram(cli, "--yes scan --remove");
  restore.join();
  for (const ProgramRun& r : refused) {
    EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("Another Quillon is busy with the quarantine. Nothing was changed"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("removed"), std::string::npos) << r.out;
  }
  EXPECT_EQ(app.readText("quarantine\\QuarantineIndex.txt"), index);
  for (const auto& [path, bytes] : content) EXPECT_TRUE(exists(path)) << path;
  app.registry.deleteTree(kHkeyCurrentUser, key);
}

// A place is taken back only when it is a full path whose every folder, looked at without
// following links, is a folder and no link: a parent (or a folder further up) swapped for a link
// to elsewhere, and places that are relative, drive-relative, rooted, unfinished or a device,
// are refused, and nothing is written anywhere. An ordinary place still takes its item back.
TEST_F(Cli, RestoreNeverWritesThroughALinkNorToARelativePlace) {
  const std::string outside = makeFolder(app.path("outside")), P = makeFolder(app.path("orig"));
  makeFolder(outside + "\\deep");
  makeFolder(P + "\\plain");
  if (!makeLink(P + "\\linked", "..\\outside", true) || !makeLink(P + "\\high", "..\\outside", true))
    GTEST_SKIP() << "no links can be made here";
  // The current folder holds every folder a relative place would name.
  const std::string cwd = makeFolder(app.path("cwd\\inner"));
  makeFolder(cwd + "\\sub");
  makeFolder(app.path("cwd\\x"));
  makeFolder(app.path("quarantine\\2-dir"));
  app.writeText("quarantine\\2-dir\\in.txt", "folder bytes");
  const std::vector<std::pair<std::string, std::string>> places{
      {"file", P + "\\linked\\f.txt"}, {"folder", P + "\\linked\\dir"}, {"file", P + "\\high\\deep\\g.txt"},
      {"file", "sub\\rel.txt"},        {"file", "..\\x\\up.txt"},       {"file", "C:x.txt"},
      {"file", "\\rooted.txt"},        {"file", P + "\\plain\\"},       {"file", "\\\\.\\" + P + "\\plain\\dev.txt"},
      {"file", P + "\\plain\\..\\plain\\dots.txt"}, {"file", P + "\\plain\\ok.txt"}};
  std::string index;
  for (size_t i = 0; i < places.size(); ++i) {
    const std::string id = std::to_string(i + 1), stored = places[i].first == "folder" ? "2-dir" : id + "-f.txt";
    if (places[i].first == "file") app.writeText("quarantine\\" + stored, "file bytes");
    index += id + "\td\t" + places[i].first + "\t" + places[i].second + "\t" + stored + "\t10\r\n";
  }
  app.writeText("quarantine\\QuarantineIndex.txt", index);
  char before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);
  SetCurrentDirectoryA(cwd.c_str());
  std::vector<ProgramRun> runs;
  for (size_t i = 0; i < places.size(); ++i) runs.push_back(runProgram(cli, "quarantine restore " + std::to_string(i + 1)));
  SetCurrentDirectoryA(before);
  for (size_t i = 0; i + 1 < places.size(); ++i) {
    EXPECT_EQ(runs[i].exitCode, 3) << places[i].second << "\n" << runs[i].err;
    EXPECT_NE(runs[i].err.find("nothing was restored"), std::string::npos) << runs[i].err;
  }
  EXPECT_EQ(runs.back().exitCode, 0) << runs.back().err;
  EXPECT_EQ(app.readText("orig\\plain\\ok.txt"), "file bytes");
  // Nothing landed where a link or the current folder leads, nor at the drive's root.
  EXPECT_EQ(app.fs.listFolder(outside).size(), 1u);
  EXPECT_TRUE(app.fs.listFolder(outside + "\\deep").empty());
  EXPECT_TRUE(app.fs.listFolder(cwd + "\\sub").empty());
  EXPECT_TRUE(app.fs.listFolder(app.path("cwd\\x")).empty());
  EXPECT_EQ(app.fs.listFolder(cwd).size(), 1u);
  EXPECT_EQ(app.fs.listFolder(P + "\\plain").size(), 1u);
  EXPECT_FALSE(exists("C:\\rooted.txt"));
  DeleteFileA("C:\\rooted.txt");
}

// A file another program has open, even one that lets others delete it, stays whole: "not
// removed" with its reason, no copy in the quarantine, counted once, and still there when that
// program lets go (never marked to vanish then). So does an executable, a tracking cookie, and
// a folder holding such a file.
TEST_F(CliRemoval, AFileHeldOpenElsewhereIsNotRemovedAndLeavesNoCopy) {
  const std::string cookies = app.shell.specialFolder(kCookieFolderId);
  ASSERT_FALSE(cookies.empty());
  makeFolder(cookies);
  const std::string cookie = cookies + "\\held@quillon-heldcookie[1].txt";
  app.fs.write(cookie, "held\r\n1\r\nads.quillon-heldcookie.example/\r\n", false);
  app.writeText("planted\\b.exe", "not a real program");
  app.writeText("planted\\c.txt", "free");
  app.writeDefinitions("FileDefinition.dat", {"a.dll=Twin|" + planted + "|Adware", "b.exe=Exe|" + planted + "|Adware",
                                              "c.txt=Free|" + planted + "|Adware"});
  app.writeDefinitions("BlockedCookies.dat", {"*quillon-heldcookie.example"});
  const std::string inside = planted + "\\dir\\inside.txt";
  std::vector<HANDLE> holders;
  for (const std::string& path : {planted + "\\a.dll", planted + "\\b.exe", cookie, inside})
    holders.push_back(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  ProgramRun r = runProgram(cli, "--yes scan --remove");
  for (HANDLE h : holders) CloseHandle(h);
  const std::string out = replaceAll(r.out, "\r\n", "\n");
  EXPECT_EQ(r.exitCode, 3) << r.err;
  for (const std::string& held : {planted + "\\a.dll", planted + "\\b.exe", cookie, planted + "\\dir"}) {
    const std::string line = "not removed\t" + held + "\t" +
                             (held == planted + "\\dir" ? "could not be deleted whole" : "held by another program");
    EXPECT_NE(out.find(line), std::string::npos) << out;
    EXPECT_EQ(out.find(line), out.rfind(line)) << out;  // said once
    EXPECT_EQ(out.find("removed\t" + held + "\n"), std::string::npos) << out;
  }
  for (const std::string& path : {planted + "\\a.dll", planted + "\\b.exe", cookie, inside})
    EXPECT_TRUE(exists(path)) << path;  // not left to vanish
  EXPECT_EQ(app.readText("planted\\dir\\inside.txt"), "threat folder");
  EXPECT_EQ(out.find("removed\t" + planted + "\\c.txt\n"), out.rfind("removed\t" + planted + "\\c.txt\n")) << out;
  EXPECT_NE(out.find("removed\t" + planted + "\\c.txt\n"), std::string::npos) << out;
  ProgramRun list = runProgram(cli, "quarantine list");
  EXPECT_EQ(split(replaceAll(list.out, "\r\n", "\n"), "\n").size(), 2u) << list.out;  // the free file alone
  RegValue total;
  ASSERT_EQ(app.registry.queryValue(kHkeyCurrentUser, "Software\\Quillon\\Settings", "lblDefRemoved", kKeyRead, total),
            RegStatus::Ok);
  EXPECT_EQ(total.data.c_str(), std::string("1"));  // items removed, not attempts
  DeleteFileA(cookie.c_str());
}

// A removal killed at any moment loses nothing: each planted file is in place or has a listed
// copy that restores it byte-exact, and the next removal clears what was left half copied.
TEST_F(CliRemoval, ARemovalKilledAnywhereLosesNothing) {
  const int n = 1000;
  std::vector<std::string> defs;
  makeFolder(planted + "\\many");
  for (int i = 0; i < n; ++i) {
    app.writeText("planted\\many\\f" + std::to_string(i) + ".txt", "content " + std::to_string(i));
    defs.push_back("f" + std::to_string(i) + ".txt=Many|" + planted + "\\many");
  }
  app.writeDefinitions("FileDefinition.dat", defs);
  std::mt19937 pick(20261208);
  for (int round = 0; round < 4; ++round) {
    // Killed once the index has grown by a random number of lines (or when it ends by itself).
    const size_t grown = app.readText("quarantine\\QuarantineIndex.txt").size() + 1 + pick() % 40000;
    RunningProgram run(cli, "--yes scan --remove");
    for (int waited = 0; waited < 120000 && run.running(); waited += 2) {
      if (app.readText("quarantine\\QuarantineIndex.txt").size() >= grown) break;
      Sleep(2);
    }
  }  // each run ends here, killed if it still runs
  // What a killed run left half copied, a file or a folder, goes at the next removal.
  app.writeText("quarantine\\999999-left.txt.part", "half");
  makeFolder(app.path("quarantine\\999998-dir.part\\inner"));
  EXPECT_EQ(runProgram(cli, "--yes scan --remove").exitCode, 1);
  for (const FolderEntry& f : app.fs.listFolder(app.path("quarantine")))
    EXPECT_EQ(f.name.find(".part"), std::string::npos) << f.name;
  Quarantine q(app.platform, app.folder);
  ASSERT_EQ(q.lock(nullptr, 0), StoreLockResult::Taken);
  const std::vector<QuarantineEntry> entries = q.entries();
  int kept = 0;
  for (int i = 0; i < n; ++i) {
    const std::string path = planted + "\\many\\f" + std::to_string(i) + ".txt", content = "content " + std::to_string(i);
    if (exists(path)) {
      EXPECT_EQ(app.readText("planted\\many\\f" + std::to_string(i) + ".txt"), content);
      continue;
    }
    auto e = std::find_if(entries.begin(), entries.end(), [&](const QuarantineEntry& x) { return x.original == path; });
    ASSERT_NE(e, entries.end()) << path << " is gone and not in the quarantine";
    EXPECT_EQ(q.restore(e->id), "");
    EXPECT_EQ(app.readText("planted\\many\\f" + std::to_string(i) + ".txt"), content);
    ++kept;
  }
  EXPECT_GT(kept, 0);  // the kills came inside removals
}

// Scripts read `--json` output: every finding and quarantined item is one object on one line,
// whatever quotes, backslashes, control characters or accented letters its names hold.
TEST_F(Cli, JsonLinesCarryAwkwardNamesWhole) {
  const std::string planted = makeFolder(app.path("json"));
  const bool westernCodePage = GetACP() == 1252;
  struct Row {
    std::string file, threat, jsonThreat, jsonFile;
  } rows[] = {
      {"quote.dll", "Say \"hi\"", "Say \\\"hi\\\"", "quote.dll"},
      {"slash.dll", "back\\slash", "back\\\\slash", "slash.dll"},
      {"control.dll", "bell\x07tab\tdel\x7f", "bell\\u0007tab\\tdel\\u007f", "control.dll"},
      {westernCodePage ? "caf\xE9.dll" : "cafe.dll", "Caf\xE9", "Caf\xC3\xA9", westernCodePage ? "caf\xC3\xA9.dll" : "cafe.dll"},
  };
  std::vector<std::string> defs;
  for (const Row& r : rows) {
    app.writeText("json\\" + r.file, "x");
    defs.push_back(r.file + "=" + r.threat + "|" + planted + "|Adware");
  }
  app.writeDefinitions("FileDefinition.dat", defs);
  const std::string jsonFolder = replaceAll(planted, "\\", "\\\\");

  ProgramRun scan = runProgram(cli, "scan --json");
  EXPECT_EQ(scan.exitCode, 1) << scan.err;
  std::vector<std::string> lines = split(replaceAll(scan.out, "\r\n", "\n"), "\n");
  ASSERT_EQ(lines.size(), std::size(rows) + 1) << scan.out;
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].file);
    EXPECT_EQ(lines[i], "{\"kind\":\"file\",\"threat\":\"" + rows[i].jsonThreat + "\",\"location\":\"" + jsonFolder +
                            "\\\\" + rows[i].jsonFile + "\",\"type\":\"Adware\"}");
  }
  ProgramRun removal = runProgram(cli, "--yes --json scan --remove");
  EXPECT_EQ(removal.exitCode, 1) << removal.err;
  EXPECT_NE(removal.out.find("{\"removed\":true,\"item\":\"" + jsonFolder + "\\\\" + rows[3].jsonFile + "\"}"),
            std::string::npos) << removal.out;
  ProgramRun list = runProgram(cli, "quarantine list --json");
  EXPECT_EQ(list.exitCode, 0) << list.err;
  lines = split(replaceAll(list.out, "\r\n", "\n"), "\n");
  ASSERT_EQ(lines.size(), std::size(rows) + 1) << list.out;
  EXPECT_EQ(lines[0].compare(0, 7, "{\"id\":1"), 0) << lines[0];
  EXPECT_NE(list.out.find("\"kind\":\"file\",\"original\":\"" + jsonFolder + "\\\\" + rows[3].jsonFile + "\""),
            std::string::npos) << list.out;
}

// A name the submission cannot carry is refused whole, on the label and with exit code 4, and
// nothing of it reaches the server: a "?" would become the separator between names, a character
// outside the code page would arrive as "?" or as a look-alike, and a byte enciphering to a line
// break would split the server's line. A plain name still goes, as it was typed, and the
// reference server (when one runs) takes it as well.
TEST_F(CliFolder, SubmitPrintsTheResultLabelAndRefusesANameTheFormatCannotCarry) {
  LocalServer server([](SOCKET s, LocalServer&) {
    LocalServer::sendAll(s, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nAdded");
  });
  std::string base = server.url();
  base.pop_back();
  dataServer(base);
  struct Case {
    const wchar_t* name;
    std::string shown;  // as the label names it; empty: accepted
  } const cases[] = {
      {L"plain-name.exe", ""},
      {L"what?.exe", "what?.exe"},
      {L"caf\u0101.exe", "caf?.exe"},          // not in the code page; its look-alike is "a"
      {L"\u03a9mega.exe", "?mega.exe"},       // Greek capital omega
      {L"\u00cccon.exe", "\xcc" "con.exe"},   // enciphers to LF
  };
  for (const Case& c : cases) {
    const int before = server.connections();
    ProgramRun r = runProgram(cli, std::wstring(L"submit \"") + c.name + L"\"");
    const std::string out = replaceAll(r.out, "\r\n", "\n");
    if (c.shown.empty()) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_EQ(out, "Results: plain-name.exe submitted.  Thank you!\n");
      EXPECT_NE(server.lastRequest().find(percentEncode(encodeDefinitionLine("plain-name.exe") + "|") + " "),
                std::string::npos) << server.lastRequest();
    } else {
      EXPECT_EQ(r.exitCode, 4) << out;
      EXPECT_EQ(out.rfind("Results: " + c.shown + " cannot be submitted: it holds ", 0), 0u) << out;
      EXPECT_EQ(server.connections(), before) << out;
    }
  }
  if (const char* reference = std::getenv("QUILLON_TEST_SERVER")) {
    dataServer(reference);
    ProgramRun r = runProgram(cli, "submit cli-submitted.exe");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(replaceAll(r.out, "\r\n", "\n"), "Results: cli-submitted.exe submitted.  Thank you!\n");
  }
}

// Delete and purge take items out of the quarantine for good: the copy and its index line, under
// the lock; an id or a number of days that is not one is said plainly, and changes nothing.
TEST_F(CliFolder, DeleteAndPurgeTakeOnlyWhatTheyNameAndRefuseWhatIsNoNumber) {
  SYSTEMTIME st;
  GetLocalTime(&st);
  const std::string today = formatDateTime(DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond});
  makeFolder(app.path("quarantine\\3-old folder"));
  for (const char* copy : {"1-old.txt", "2-new.txt", "3-old folder\\in.txt", "4-unindexed.txt", "5-middle.txt"})
    app.writeText(std::string("quarantine\\") + copy, "copy");
  app.writeText("quarantine\\QuarantineIndex.txt",
                "1\t1/1/2001 12:00:00 AM\tfile\tC:\\old.txt\t1-old.txt\t4\r\n"
                "2\t" + today + "\tfile\tC:\\new.txt\t2-new.txt\t4\r\n"
                "3\t1/2/2001 12:00:00 AM\tfolder\tC:\\old folder\t3-old folder\t4\r\n"
                "5\t" + today + "\tfile\tC:\\middle.txt\t5-middle.txt\t4\r\n");
  struct Case {
    const char* args;
    int exitCode;
    std::set<std::string> left;  // the stored copies after it
    const char* said;            // on standard output (JSON) or error
  };
  const std::set<std::string> all{"1-old.txt", "2-new.txt", "3-old folder", "4-unindexed.txt", "5-middle.txt"};
  const Case cases[] = {
      {"quarantine delete x", 64, all, "\"x\" is not the id of a quarantined item"},
      {"quarantine delete 0", 64, all, "is not the id"},
      {"quarantine delete 9", 3, all, "No quarantined item has the id 9."},
      {"quarantine purge", 64, all, "usage:"},
      {"quarantine purge --older-than -1", 64, all, "\"-1\" is not a number of days"},
      {"quarantine purge --older-than 1.5", 64, all, "is not a number of days"},
      {"quarantine purge --older-than 99999", 0, all, "No quarantined item was stored more than 99999 day(s) ago."},
      {"quarantine delete 5", 0, {"1-old.txt", "2-new.txt", "3-old folder", "4-unindexed.txt"}, "Deleted item 5."},
      {"quarantine delete 5 --json", 3, {"1-old.txt", "2-new.txt", "3-old folder", "4-unindexed.txt"},
       "{\"id\":5,\"deleted\":false,\"original\":\"\",\"reason\":\"No quarantined item has the id 5.\"}"},
      {"quarantine purge --older-than 30 --json", 0, {"2-new.txt", "4-unindexed.txt"},
       "{\"id\":3,\"deleted\":true,\"original\":\"C:\\\\old folder\"}"},
      {"quarantine delete 4", 0, {"2-new.txt"}, "Deleted item 4."},  // no index line: the copy alone
  };
  for (const Case& c : cases) {
    ProgramRun r = runProgram(cli, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.said), std::string::npos) << c.args << "\n" << r.out << r.err;
    std::set<std::string> left;
    for (const FolderEntry& f : app.fs.listFolder(app.path("quarantine")))
      if (std::isdigit(static_cast<unsigned char>(f.name[0]))) left.insert(f.name);
    EXPECT_EQ(left, c.left) << c.args;
  }
  // The index keeps the line of what is left, and the highest id given, so no later item takes
  // the id of one deleted.
  ProgramRun list = runProgram(cli, "quarantine list");
  EXPECT_EQ(replaceAll(list.out, "\r\n", "\n"), "2\t" + today + "\tfile\tC:\\new.txt\t2-new.txt\n");
  EXPECT_NE(app.readText("quarantine\\QuarantineIndex.txt").find("last id\t5\r\n"), std::string::npos);
}

// The console and the window hold the same session: a Live Update, a scan with its removal and a
// scan after it leave the same report and quarantine index, byte for byte, whether quillon-cli
// runs them or a Session held in this process (as the window holds it) does. Only the times
// differ: the console reads the real clock and this process a fixed one, so they are masked.
TEST_F(Cli, TheConsoleAndTheSessionLeaveTheSameReportAndQuarantine) {
  const char* server = std::getenv("QUILLON_TEST_SERVER");
  if (!server) GTEST_SKIP() << "no reference server";
  const Branding branding = win32::brandingOf(cli);
  Settings settings(app.registry, app.dialogs, branding.productName, branding.companyName);
  settings.write(keys::DefinitionServer, server);
  settings.write(keys::DataServer, server);
  settings.write(keys::chkScanMemory, "0");  // the running programs differ between the two
  const std::string sample = app.shell.specialFolder(0x1A) + "\\QuillonSample";
  auto plant = [&] {  // what the sample release names
    makeFolder(sample);
    for (const char* f : {"sampletoolbar.dll", "sampletoolbar-settings.ini"}) app.fs.write(sample + "\\" + f, f, false);
    app.registry.setValue(kHkeyCurrentUser, "Software\\QuillonSample", "HomePageHook", RegValue{kRegSz, std::string("x\0", 2)});
  };
  auto masked = [](const std::string& text) {
    return std::regex_replace(text, std::regex("\\d+/\\d+/\\d{4} \\d+:\\d\\d:\\d\\d [AP]M"), "<time>");
  };
  const std::string report = kReportFile, index = std::string(kQuarantineFolder) + "\\" + kQuarantineIndex;

  ASSERT_EQ(runProgram(cli, "update").exitCode, 0);
  plant();
  EXPECT_EQ(runProgram(cli, "--yes scan --remove").exitCode, 1);
  EXPECT_EQ(runProgram(cli, "scan").exitCode, 0);

  App window;
  window.writeEmptyDefinitions();
  Session session(window.platform, window.path("quillon.exe"), branding);
  ASSERT_TRUE(session.load());
  ASSERT_TRUE(session.update().ok());
  plant();
  BoxRemovalHost removalHost(session);
  scan(session);
  session.continueAfterScan();
  session.results.checkAll();
  EXPECT_TRUE(session.remove(RemovalOptions{true, true, branding.productName}, removalHost).ran);
  scan(session);

  EXPECT_NE(window.readText(report).find("sampletoolbar.dll"), std::string::npos) << window.readText(report);
  EXPECT_EQ(masked(app.readText(report)), masked(window.readText(report)));
  EXPECT_EQ(masked(app.readText(index)), masked(window.readText(index)));
  app.fs.deleteFolderTree(sample);
  app.registry.deleteTree(kHkeyCurrentUser, "Software\\QuillonSample");
}
