// The console program's removal, quarantine and submission, run as a user runs them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "common/text.h"
#include "removal/quarantine.h"
#include "tests/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct CliRemoval : CliFolder {
  std::string planted;
  void SetUp() override {
    CliFolder::SetUp();
    planted = makeFolder(app.path("planted"));
    makeFolder(planted + "\\dir");
    app.writeText("planted\\a.dll", "threat file");
    app.writeText("planted\\dir\\inside.txt", "threat folder");
    app.writeEmptyDefinitions();
    app.writeDefinitions("FileDefinition.dat", {"a.dll=Twin|" + planted + "|Adware"});
    app.writeDefinitions("DirectoryDefinition.dat", {"Dir=DirThreat|" + planted + "\\dir"});
  }
};

}  // namespace

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
  ProgramRun again = runProgram(cli, "quarantine restore " + fileLine[0]);
  EXPECT_EQ(again.exitCode, 3);  // never over what is there now
  EXPECT_NE(again.err.find("exists again"), std::string::npos) << again.err;
  EXPECT_EQ(runProgram(cli, "quarantine restore " + folderLine[0]).exitCode, 0);
  EXPECT_EQ(app.readText("planted\\dir\\inside.txt"), "threat folder");
  EXPECT_EQ(runProgram(cli, "quarantine restore 999").exitCode, 3);
  for (const char* bad : {"quarantine restore abc", "quarantine restore 0", "quarantine", "quarantine list x"})
    EXPECT_EQ(runProgram(cli, bad).exitCode, 64) << bad;
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
  EXPECT_NE(r.out.find("not removed\t" + planted + "\\dir\n"), std::string::npos) << r.out;
  EXPECT_TRUE(exists(planted + "\\dir\\inside.txt"));
  ProgramRun list = runProgram(cli, "quarantine list");
  EXPECT_EQ(split(replaceAll(list.out, "\r\n", "\n"), "\n").size(), 2u) << list.out;  // the file alone
}

// A removal killed at any moment loses nothing: each planted file is in place or has a listed
// copy that restores it byte-exact.
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
  Quarantine q(app.fs, app.registry, app.clock, app.folder);
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

TEST_F(CliRemoval, SubmitPrintsTheResultLabel) {
  const char* server = std::getenv("QUILLON_TEST_SERVER");
  if (!server) GTEST_SKIP() << "no reference server";
  const std::string key = "SOFTWARE\\Quillon Developers\\Quillon\\Settings";
  app.registry.setValue(kHkeyLocalMachine, key, "DataServer", RegValue{kRegSz, std::string(server) + '\0'});
  ProgramRun r = runProgram(cli, "submit cli-submitted.exe");
  app.registry.deleteValue(kHkeyLocalMachine, key, "DataServer");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(replaceAll(r.out, "\r\n", "\n"), "Results: cli-submitted.exe submitted.  Thank you!\n");
}
