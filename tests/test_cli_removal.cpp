// The console program's removal, quarantine and submission, run as a user runs them.
#include "tests/local_server.h"  // before <windows.h>: it brings the sockets
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "common/text.h"
#include "definitions/cipher.h"
#include "reports/data_server.h"
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

// Scripts read `--json` output: every finding and quarantined item is one object on one line,
// whatever quotes, backslashes, control characters or accented letters its names hold.
TEST_F(CliFolder, JsonLinesCarryAwkwardNamesWhole) {
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
  app.writeEmptyDefinitions();
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
  EXPECT_EQ(runProgram(cli, "--json submit x").exitCode, 64);  // only scan and quarantine list speak JSON
}

// A name the submission cannot carry is refused whole, on the label and with exit code 4, and
// nothing of it reaches the server: a "?" would become the separator between names, a character
// outside the code page would arrive as "?" or as a look-alike, and a byte enciphering to a line
// break would split the server's line. A plain name still goes, as it was typed.
TEST_F(CliRemoval, SubmitRefusesANameTheFormatCannotCarry) {
  LocalServer server([](SOCKET s, LocalServer&) {
    LocalServer::sendAll(s, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nAdded");
  });
  const std::string key = "SOFTWARE\\Quillon Developers\\Quillon\\Settings";
  std::string base = server.url();
  base.pop_back();
  app.registry.setValue(kHkeyLocalMachine, key, "DataServer", RegValue{kRegSz, base + '\0'});
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
  app.registry.deleteValue(kHkeyLocalMachine, key, "DataServer");
}
