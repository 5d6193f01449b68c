#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>

#include "common/text.h"
#include "scan/protected_locations.h"
#include "scan/scan_run.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {


std::string systemFile(const char* name) {
  char sys[MAX_PATH];
  GetSystemDirectoryA(sys, MAX_PATH);
  return std::string(sys) + "\\" + name;
}

// An application folder with a planted threat and definitions that cover every rule of the
// file and directory scan.
struct ScanFixture : ::testing::Test {
  App app;
  std::string P;
  std::vector<std::string> fileLines;
  void SetUp() override {
    P = makeFolder(app.path("planted"));
    makeFolder(P + "\\sub");
    makeFolder(P + "\\exsub");
    for (const char* f : {"a.dll", "b.dll", "c.txt", "h.dll", "typed.dll", "untyped.dll", "blank.dll", "x.dll"})
      app.writeText(std::string("planted\\") + f, "x");
    SetFileAttributesA((P + "\\h.dll").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CopyFileA(systemFile("kernel32.dll").c_str(), (P + "\\ms.dll").c_str(), FALSE);
    app.writeEmptyDefinitions();
    fileLines = {"a.dll=Twin|" + P + "|Adware", " b.dll =Twin|" + P + "\\\\", "c.txt=Excl|" + P,
                          "h.dll=Hidden|" + P, "ms.dll=MsFile|" + P, "typed.dll=Typed|" + P + "|Hijacker",
                          // "[drive]" is a token in lower case only.
                          "untyped.dll=Untyped|[drive]" + P.substr(3), "missing.dll=Missing|" + P, "nofolder.dll=NoFolder",
                          "x.dll=Caps|[DRIVE]" + P.substr(3), "blank.dll=|" + P};
    app.writeDefinitions("FileDefinition.dat", fileLines);
    app.writeDefinitions("DirectoryDefinition.dat",
                         {"Folder\tlabel=Dir|" + P + "\\sub", "No folder=Nothing", "Excluded dir=ExDir|" + P + "\\exsub",
                          "Gone=Gone|" + P + "\\gone"});
    app.writeText("ENoSignature.txt", P + "\\c.txt\r\n" + P + "\\exsub\\file.txt\r\n");
  }
};

}  // namespace

TEST_F(ScanFixture, FileAndDirectoryScanFillsTheResultsModel) {
  auto& m = app.main();
  m.Form_Load();
  bool checkedDuringRun = false;
  app.pump.onYield = [&](int) {
    if (checkedDuringRun || m.pageScan.cmdScanNow.enabled()) return;
    checkedDuringRun = true;
    EXPECT_FALSE(m.cmdScan.enabled());
    EXPECT_FALSE(m.cmdResults.enabled());
    EXPECT_FALSE(m.cmdLog.enabled());
    EXPECT_TRUE(m.pageScan.cmdStop.enabled());
    EXPECT_TRUE(m.pageScan.cmdPause.enabled());
    EXPECT_FALSE(m.pageScan.cmdContinue.visible());
  };
  m.pageScan.cmdScanNow_Click();
  EXPECT_TRUE(checkedDuringRun);

  EXPECT_EQ(texts(m.pageScan.lvwSpywareFound),
            (std::vector<std::string>{"Twin - Found", "EXCLUDED: " + P + "\\c.txt", "Typed - Found", "Untyped - Found",
                                      "blank.dll - Found", "Dir - Found", "EXCLUDED: " + P + "\\exsub"}));
  const auto& removal = m.pageResults.lvwResults;
  ASSERT_EQ(removal.count(), 5);
  EXPECT_EQ(removal.item(0).text, "Twin");
  EXPECT_EQ(removal.item(0).subItem(1), P + "\\a.dll");  // the first file of the threat
  EXPECT_EQ(removal.item(0).subItem(2), "Adware");
  EXPECT_EQ(removal.item(0).icon, 3);
  EXPECT_EQ(removal.item(1).subItem(2), "Hijacker");
  EXPECT_EQ(removal.item(2).subItem(2), "");  // a type belongs to its own line only
  EXPECT_EQ(removal.item(4).icon, 4);
  EXPECT_EQ(removal.item(4).subItem(1), P + "\\sub");
  EXPECT_EQ(texts(m.lvwFilesToBeDeleted), (std::vector<std::string>{P + "\\a.dll", P + "\\b.dll", P + "\\typed.dll",
                                                                    P + "\\untyped.dll", P + "\\blank.dll", P + "\\sub"}));
  EXPECT_EQ(m.lvwFilesToBeDeleted.item(1).subItem(1), "Twin");
  EXPECT_EQ(m.pageScan.lblTracesFound.caption(), "6");
  EXPECT_EQ(m.counters.threatsFound, 5);
  EXPECT_EQ(m.counters.filesInspected, 11 + 3);  // the directory line without a folder is not counted
  // The run's last status update always reaches the labels.
  EXPECT_EQ(m.pageScan.lblFilesInspected.caption(), "14");
  EXPECT_EQ(m.pageScan.lblSoftwareFound.caption(), "5 to remove");
  EXPECT_EQ(m.pageResults.lblRemovalCount.caption(), "5 to remove");
  EXPECT_EQ(m.pageScan.lblStatus.caption(), "Scanning complete.");
  EXPECT_EQ(m.pageScan.lblPercentageCompleted.caption(), "100% complete.");  // no phase caption left behind
  EXPECT_EQ(m.pageScan.pgbPhase.value(), 100);
  EXPECT_EQ(m.pageScan.pgbOverall.value(), 100);
  EXPECT_TRUE(m.pageScan.cmdScanNow.enabled());
  EXPECT_FALSE(m.pageScan.cmdStop.enabled());
  EXPECT_TRUE(m.pageScan.cmdContinue.visible());
  EXPECT_TRUE(m.tmrCheckHomePage.enabled());
  EXPECT_EQ(m.settings.read("Settings", "lblLastScan", ""), app.clock.now);
  EXPECT_EQ(m.settings.read("Settings", "lblLastFullScan", "Never"), "Never");  // a quick scan
  EXPECT_EQ(m.pageStatus.lblLastScan.caption(), app.clock.now);
  EXPECT_NE(app.readText("Scan_Log.txt").find("Twin\r\n\r\n" + P + "\\a.dll\r\n\r\n\r\n"), std::string::npos);
  EXPECT_TRUE(m.lastRunLooked());
}

TEST_F(ScanFixture, ExcludeWritesLocationAndNameAndTheNextScanHonoursIt) {
  auto& m = app.main();
  m.Form_Load();
  m.pageScan.cmdScanNow_Click();
  auto& removal = m.pageResults.lvwResults;
  removal.setChecked(0, true);  // Twin: both of its work rows follow the check
  EXPECT_TRUE(m.lvwFilesToBeDeleted.item(0).checked);
  EXPECT_TRUE(m.lvwFilesToBeDeleted.item(1).checked);
  EXPECT_FALSE(m.lvwFilesToBeDeleted.item(2).checked);

  app.dialogs.answer = [](const ShownBox& b) { return b.title == "Really Exclude?" ? kIdNo : kIdOk; };
  m.pageResults.cmdExclude.click();
  EXPECT_EQ(removal.count(), 5);
  app.dialogs.answer = nullptr;
  m.pageResults.cmdExclude.click();
  EXPECT_EQ(app.dialogs.shown.back().title, "Really Exclude?");
  EXPECT_EQ(app.dialogs.shown.back().text,
            "Are you sure you want to exclude the selected files?\r\n\r\nExcluded files will not show up as "
            "Adware/Spyware on future scans.\r\n\r\nYou can edit the list of excluded files through the Quarantine menu.");
  EXPECT_EQ(removal.count(), 4);
  EXPECT_EQ(m.lvwFilesToBeDeleted.count(), 4);
  EXPECT_NE(app.readText("ENoSignature.txt").find(P + "\\a.dll\r\nTwin\r\n"), std::string::npos);

  m.pageScan.cmdScanNow_Click();
  auto found = texts(m.pageScan.lvwSpywareFound);
  EXPECT_EQ(found[0], "EXCLUDED: " + P + "\\a.dll");
  EXPECT_EQ(found[1], "Twin - Found");  // b.dll is not on the list
  // Excluding a file excludes its folder from the directory scan as well.
  EXPECT_TRUE(m.exclusions.isFolderExcluded(P));
}

TEST_F(ScanFixture, SelectAllAndExcludeEdgeCases) {
  auto& m = app.main();
  m.Form_Load();
  m.pageResults.cmdExclude_Click();
  EXPECT_EQ(app.dialogs.shown.back().text, "Sorry, there are no entries to be excluded.");
  EXPECT_EQ(app.dialogs.shown.back().title, app.product);

  m.pageScan.cmdScanNow_Click();
  size_t boxes = app.dialogs.shown.size();
  m.pageResults.cmdExclude_Click();  // nothing checked: asks, then writes and removes nothing
  EXPECT_EQ(app.dialogs.shown.size(), boxes + 1);
  EXPECT_EQ(m.pageResults.lvwResults.count(), 5);

  m.pageResults.cmdSelectAll.click();
  for (const auto& r : m.pageResults.lvwResults.items()) EXPECT_TRUE(r.checked);
  for (const auto& r : m.lvwFilesToBeDeleted.items()) EXPECT_TRUE(r.checked) << r.text;  // folder rows by location

  m.mnuViewExclusions_Click();  // the list exists: the editor is started, no message
  EXPECT_EQ(app.dialogs.shown.size(), boxes + 1);
  EXPECT_EQ(app.launcher.launched, std::vector<std::string>{"notepad " + app.path("ENoSignature.txt")});
}

TEST(Scan, ViewExclusionsWithoutAFile) {
  App app;
  app.main().menu.mnuViewExclusions.click();
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].text, "No exclusion file exists yet.");
  EXPECT_EQ(app.dialogs.shown[0].title, "No Exclusion File");
}

TEST(Scan, StopDuringTheFileScanEndsTheRunAsCancelled) {
  App app;
  app.writeEmptyDefinitions();
  std::vector<std::string> lines;
  for (int i = 0; i < 300; ++i) lines.push_back("f" + std::to_string(i) + ".dll=T|" + app.folder);
  app.writeDefinitions("FileDefinition.dat", lines);
  app.writeDefinitions("DirectoryDefinition.dat", {"Here=Here|" + app.folder});
  auto& m = app.main();
  m.Form_Load();
  bool pressed = false;
  app.pump.onYield = [&](int) {
    if (!pressed && m.counters.filesInspected == 20) {
      pressed = true;
      app.dialogs.answer = [](const ShownBox&) { return kIdNo; };
      m.pageScan.cmdStop.click();
      EXPECT_FALSE(m.pageScan.scanCancelled);
      app.dialogs.answer = nullptr;
      m.pageScan.cmdStop.click();
      EXPECT_EQ(app.dialogs.shown.back().text, "Are you sure you want to stop the scan?");
      EXPECT_TRUE(m.pageScan.scanCancelled);
    }
  };
  m.pageScan.cmdScanNow_Click();
  EXPECT_EQ(m.counters.filesInspected, 20 + 0);  // stopped; the directory scan stopped at its first line
  EXPECT_EQ(m.pageScan.lvwSpywareFound.count(), 0);
  EXPECT_EQ(m.pageScan.lblStatus.caption(), "Scanning was cancelled.");
  EXPECT_EQ(m.pageScan.lblPercentageCompleted.caption(), "0% complete.");
  EXPECT_EQ(m.pageScan.pgbPhase.value() + m.pageScan.pgbOverall.value(), 0);  // the bars agree: not complete
  EXPECT_EQ(m.settings.read("Settings", "lblLastScan", ""), app.clock.now);
  EXPECT_TRUE(m.pageScan.cmdScanNow.enabled());
}

TEST(Scan, PauseHoldsTheRunInsideItsMessage) {
  App app;
  app.writeEmptyDefinitions();
  app.writeDefinitions("FileDefinition.dat", {"a=b|c", "d=e|f", "g=h|i"});
  auto& m = app.main();
  m.Form_Load();
  int yieldsWhilePaused = -1;
  bool paused = false;
  app.pump.onYield = [&](int) {
    if (paused || m.counters.filesInspected != 1) return;
    paused = true;
    app.dialogs.answer = [&](const ShownBox& b) {
      EXPECT_EQ(b.text, app.product + " has been paused.  Click OK to resume.");
      EXPECT_FALSE(m.pageScan.cmdPause.enabled());
      EXPECT_FALSE(m.pageScan.cmdStop.enabled());
      yieldsWhilePaused = app.pump.yields;
      return kIdOk;
    };
    m.pageScan.cmdPause.click();
    EXPECT_TRUE(m.pageScan.cmdPause.enabled());
    EXPECT_TRUE(m.pageScan.cmdStop.enabled());
  };
  int before = app.pump.yields;
  m.pageScan.cmdScanNow_Click();
  EXPECT_GT(yieldsWhilePaused, before);
  EXPECT_EQ(m.counters.filesInspected, 3);
}

TEST(Scan, MissingDefinitionsAreReportedAndDiscarded) {
  App app;
  app.writeText("FileDefinition.dat", "x\r\n");
  app.writeText("date.dat", "12/1/2026 10:00:00 AM\r\n");
  auto& m = app.main();
  m.Form_Load();
  m.pageScan.cmdScanNow_Click();
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].text, "Definition files are missing or they have been corrupted. Please run Liveupdate.");
  EXPECT_EQ(app.dialogs.shown[0].flags, unsigned(kMbOk | kMbIconInformation));
  EXPECT_FALSE(m.lastRunLooked());
  EXPECT_EQ(m.pageScan.lblStatus.caption(), "Scanning complete.");
  EXPECT_FALSE(fileExists(app.fs, app.path("FileDefinition.dat")));
  EXPECT_EQ(m.pageStatus.lblDefVersion.caption(), "3/16/2006 12:00:00 AM PST");
}

TEST(Scan, OptionsOffStillScanFilesAndDisplayRefreshesEveryHundredthItem) {
  App app;
  app.writeEmptyDefinitions();
  std::vector<std::string> lines(150, "missing.dll=T|C:\\nowhere");
  app.writeDefinitions("FileDefinition.dat", lines);
  auto& m = app.main();
  m.Form_Load();
  m.tabScanOptions.chkScanMemory.click();
  m.tabScanOptions.chkScanRegistry.click();
  m.tabScanOptions.chkScanCookies.click();
  std::vector<std::string> seen;
  int last = 0;
  app.pump.onYield = [&](int) {
    int n = m.counters.filesInspected;
    if (n != last && (n == 99 || n == 100 || n == 101)) seen.push_back(m.pageScan.lblFilesInspected.caption());
    last = n;
  };
  m.pageScan.cmdScanNow_Click();
  EXPECT_EQ(seen, (std::vector<std::string>{"0", "100", "100"}));
  EXPECT_EQ(m.pageScan.lblMemoryInspected.caption(), "Not Selected");
  EXPECT_EQ(m.pageScan.lblRegistryInspected.caption(), "Not Selected");
  EXPECT_EQ(m.pageScan.lblFilesInspected.caption(), "150");
}

TEST(Scan, StatusFilter) {
  EXPECT_EQ(ui::FilterStatusText("Button pressed"), "on pressed");
  EXPECT_EQ(ui::FilterStatusText("C:\\Plain\\Path"), "C:\\Plain\\Path");
}

// The run as its host hears it: the phases in order with their captions, a phase switched off
// said as such, the complete scan's walk last, the totals at the end; a stopped run's last
// refresh leaves the bars empty.
TEST_F(ScanFixture, TheScanRunTellsItsHostEachPhaseInOrder) {
  // Enough lines for the bars to move during the run: they are refreshed every hundredth item.
  fileLines.resize(fileLines.size() + 300, "none.dll=Nothing|C:\\nowhere");
  app.writeDefinitions("FileDefinition.dat", fileLines);
  Session& m = app.session();
  struct Recorder : ScanRunHost {
    std::vector<std::string> said;
    int stopAfter = -1;
    mutable int looks = 0;
    std::string lastText;
    std::vector<int> lastBars, overall;
    void phaseStarted(ScanPhase, const std::string& caption) override { said.push_back(caption); }
    void phaseSkipped(ScanPhase p) override { said.push_back(p == ScanPhase::Memory ? "-memory" : "-registry"); }
    void showProgress(const ScanProgress& p) override {
      lastText = p.statusText;
      lastBars = {p.scannerPercent, p.overallPercent};
      if (p.overallPercent >= 0) overall.push_back(p.overallPercent);
    }
    bool cancelled() const override { return stopAfter >= 0 && ++looks > stopAfter; }
  } host;
  ExecutableList exeList;
  const OwnPrograms own;
  ScanRun run(ScanRunEnv{app.platform, m.appFolder, "Quillon", m.defs, m.exclusions, m.counts, m.counters, m.results,
                         exeList, own},
              host);
  ScanOptions options;
  options.memory = options.registry = false;
  options.complete = true;
  options.driveRoots = {P};
  ScanOutcome out = run.run(options);
  EXPECT_EQ(host.said, (std::vector<std::string>{"Inspecting Cookies...", "-memory", "Scanning registry...", "-registry",
                                                 "Scanning known Spyware/Adware...", "Scanning the selected drives..."}));
  EXPECT_TRUE(out.looked && !out.cancelled);
  EXPECT_EQ(out.processesText, "Not Selected");
  EXPECT_EQ(out.registryText, "Not Selected");
  EXPECT_EQ(out.filesText, std::to_string(m.counters.filesInspected));
  EXPECT_GT(m.counters.filesInspected, 14);  // the walk looked at the planted folder too
  EXPECT_EQ(out.startedAt, app.clock.now);
  EXPECT_EQ(host.lastText, "Scan Complete");
  EXPECT_EQ(host.lastBars, (std::vector<int>{100, 100}));
  EXPECT_EQ(host.overall, (std::vector<int>{32, 63, 95, 100}));  // of 315 lines, at each hundredth
  EXPECT_EQ(m.results.removalCount(), 6);  // the walk finds x.dll by its name

  host.stopAfter = 0;
  out = run.run(options);
  EXPECT_TRUE(out.cancelled);
  EXPECT_EQ(host.lastBars, (std::vector<int>{0, 0}));
  EXPECT_EQ(m.results.removalCount(), 0);
}

// The results model: one row per threat, the traces count kept as a number, check marks that
// reach exactly the work rows of their threat, and the checked rows removal will walk.
TEST(ScanResultsModel, RowsChecksAndTheCheckedWalk) {
  App app;
  ui::FrmMain& m = app.main();
  ScanResults& r = m.results;
  r.addFileWork("C:\\A\\a.exe", "Alpha");
  r.addFileWork("C:\\A\\b.dll", "Alpha");
  EXPECT_TRUE(r.addThreat("Alpha", kIconFile, "C:\\A\\a.exe", "Adware"));
  EXPECT_FALSE(r.addThreat("ALPHA", kIconFile, "C:\\A\\b.dll", "Adware"));  // one row per threat, any case
  r.addFileWork("C:\\B", "Beta");
  EXPECT_TRUE(r.addThreat("Beta", kIconFolder, "C:\\B", ""));
  r.addRegistryWork("-2147483647", "Software\\Gamma", "Run", "Gamma");
  EXPECT_TRUE(r.addThreat("Gamma", kIconRegistry, "HKEY_CURRENT_USER\\Software\\GammaRun", ""));
  r.addCookieWork("C:\\Cookies\\user@gamma.txt");  // a cookie is no trace
  r.addExcluded("C:\\kept.exe");
  EXPECT_EQ(r.traces(), 4);
  EXPECT_EQ(m.pageScan.lblTracesFound.caption(), "4");
  EXPECT_EQ(m.pageScan.lvwSpywareFound.item(3).text, "EXCLUDED: C:\\kept.exe");
  ASSERT_EQ(r.removalCount(), 3);
  EXPECT_EQ(r.removalRow(0).type, "Adware");

  r.setChecked(0, true);  // Alpha: both of its files
  r.setChecked(2, true);  // Gamma: its registry value
  ASSERT_EQ(r.checkedFiles().size(), 2u);
  EXPECT_EQ(r.checkedFiles()[1].path, "C:\\A\\b.dll");
  ASSERT_EQ(r.checkedRegistryItems().size(), 1u);
  EXPECT_EQ(r.checkedRegistryItems()[0].value, "Run");
  EXPECT_TRUE(r.checkedCookies().empty());
  r.setChecked(0, false);
  EXPECT_TRUE(r.checkedFiles().empty());

  r.checkAll();
  EXPECT_EQ(r.checkedFiles().size(), 3u);  // the folder row reaches its row by location
  EXPECT_EQ(r.checkedExclusionEntries().size(), 6u);
  r.removeChecked();
  EXPECT_EQ(r.removalCount(), 0);
  EXPECT_TRUE(r.checkedFiles().empty());
  r.clear();
  EXPECT_EQ(m.pageScan.lblTracesFound.caption(), "0");
  EXPECT_TRUE(r.nothingToExclude());

  // A threat first found in the registry takes its files along when it is checked, and the
  // other way round: one row per threat must not leave traces of another kind behind.
  r.addRegistryWork("-2147483647", "Software\\Delta", "", "Delta");
  EXPECT_TRUE(r.addThreat("Delta", kIconRegistry, "HKEY_CURRENT_USER\\Software\\Delta", ""));
  r.addFileWork("C:\\D\\delta.dll", "Delta");
  r.addRegistryWork("-2147483647", "Software\\Eps", "Run", "Eps");
  r.addFileWork("C:\\E\\eps.exe", "Eps");
  EXPECT_TRUE(r.addThreat("Eps", kIconFile, "C:\\E\\eps.exe", ""));
  r.setChecked(0, true);
  EXPECT_EQ(r.checkedFiles().size(), 1u);
  EXPECT_EQ(r.checkedRegistryItems().size(), 1u);
  r.setChecked(1, true);
  EXPECT_EQ(r.checkedFiles().size(), 2u);
  EXPECT_EQ(r.checkedRegistryItems().size(), 2u);
  r.setChecked(0, false);
  EXPECT_EQ(r.checkedFiles().size(), 1u);
  EXPECT_EQ(r.checkedRegistryItems()[0].key, "Software\\Eps");

  // Rows outside the lists read as empty, unchecked rows and change nothing: a walk that
  // outlived a change of the lists reads no further.
  for (int row : {-1, 5, 1 << 30}) {
    EXPECT_FALSE(r.fileWork(row).checked || r.registryWork(row).checked || r.cookieWork(row).checked) << row;
    EXPECT_EQ(r.fileWork(row).path + r.registryWork(row).key + r.removalRow(row).threat, "") << row;
    r.keepFailedFile(row);
    r.setChecked(row, false);
  }
  EXPECT_EQ(r.checkedFiles().size(), 1u);
  EXPECT_TRUE(m.pageResults.lvwResults.item(1).checked);
}

namespace {
std::string shortName(const std::string& path) {
  wchar_t buf[MAX_PATH] = {0};
  const std::wstring wide(path.begin(), path.end());
  const DWORD n = GetShortPathNameW(wide.c_str(), buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buf, buf + n) : path;
}

// Every way of spelling one existing folder that the system reads as that folder.
std::vector<std::string> spellingsOf(const std::string& folder) {
  const std::string last = fileNameFromPath(folder);
  std::string mixed = folder;
  for (size_t i = 0; i < mixed.size(); i += 2) mixed[i] = char(std::tolower(mixed[i]));
  return {shortName(folder), replaceAll(folder, "\\", "/"), folder + "\\.", folder + "\\..\\" + last, mixed + ".",
          toUpper(folder) + " ."};
}
}  // namespace

// A protected place or one of the program's own files is judged by what the path names: no
// spelling (short names, "/", ".", "..", case, trailing dots) turns it into a finding, a
// relative path is never one, and the removal refuses the same spellings again.
TEST(ScanIdentity, NoSpellingOfAProtectedPlaceOrOwnFileIsAFindingOrRemoved) {
  App app;
  auto special = [&](int csidl) { return app.shell.specialFolder(csidl); };
  const std::string profile = special(0x28), windows = special(0x24);
  const std::vector<std::string> guarded = {special(0x05), special(0x26), windows, special(0x25), app.folder,
                                            profile.substr(0, profile.rfind('\\'))};
  const std::string planted = makeFolder(app.path("planted"));
  for (const char* f : {"quillon.exe", "quillon-cli.exe", "date.dat"}) app.writeText(f, "own");
  app.writeEmptyDefinitions();
  std::vector<std::string> dirs = {"Rel=Spelt|..\\..\\windows", "Rel2=Spelt|windows",
                                   "Up=Spelt|" + windows + "\\system32\\..\\..\\users", "Real=Real.Folder|" + planted};
  std::vector<std::string> spelt;  // each spelling, for the removal below
  for (const std::string& g : guarded)
    for (const std::string& s : spellingsOf(g)) {
      dirs.push_back("S=Spelt|" + s);
      spelt.push_back(s);
    }
  std::vector<std::string> files = {"quillon.exe=Own|quillon.exe", "quillon.exe=Own|.", "quillon.exe.=Own|" + app.folder};
  for (const std::string& s : spellingsOf(app.folder))
    for (const char* f : {"quillon.exe", "QUILLON-CLI.EXE", "FileDefinition.dat", "date.dat"}) {
      files.push_back(std::string(f) + "=Own|" + s);
      spelt.push_back(s + "\\" + f);
    }
  app.writeDefinitions("DirectoryDefinition.dat", dirs);
  app.writeDefinitions("FileDefinition.dat", files);
  Session& session = app.session();
  session.settings.write(keys::chkScanMemory, "0");
  session.settings.write(keys::chkScanRegistry, "0");
  scan(session);
  ASSERT_EQ(foundTexts(session.results), std::vector<std::string>{"Real.Folder - Found"});
  ASSERT_EQ(session.results.fileWorkCount(), 1);
  EXPECT_EQ(session.results.fileWork(0).path, planted);

  // Rows that name them anyway (as a tampered list would) are refused by the removal itself.
  for (const std::string& s : spelt) session.results.addFileWork(s, "Real.Folder");
  removeAll(session);
  EXPECT_EQ(session.lastRemoval.removed, std::vector<std::string>{planted});
  for (const std::string& g : guarded) EXPECT_TRUE(app.fs.folderExists(g)) << g;
  for (const char* f : {"quillon.exe", "quillon-cli.exe", "FileDefinition.dat", "date.dat"})
    EXPECT_TRUE(fileExists(app.fs, app.path(f))) << f;
  // Nor does a copy of a folder ever go into that folder, however either is spelt.
  for (const std::string& s : spellingsOf(app.folder))
    EXPECT_FALSE(app.fs.copyFolderTree(s, app.folder + "\\quarantine\\copy")) << s;
}

TEST(ExitDuringScan, FileExitEndsTheRunPromptlyAndStillWritesTheExitSettings) {
  App app;
  app.writeEmptyDefinitions();
  app.writeDefinitions("FileDefinition.dat", std::vector<std::string>(500, "m.dll=T|" + app.folder));
  auto& m = app.main();
  m.Form_Load();
  bool exited = false;
  m.onExit = [&] { exited = true; };
  int exitAt = -1;
  app.pump.onYield = [&](int n) {
    if (n == 60 && exitAt < 0) {
      exitAt = n;
      m.menu.mnuFileExit.click();
    }
  };
  m.pageScan.cmdScanNow_Click();
  ASSERT_TRUE(exited);
  EXPECT_LE(app.pump.yields, exitAt + 3);  // the run ends at its next item
  EXPECT_LT(m.counters.filesInspected, 100);
  EXPECT_EQ(m.settings.read("OptionAndSettings", "STATUS", ""), "STOPPED");
  EXPECT_EQ(m.settings.read("Settings", "Max", ""), "0");
  EXPECT_EQ(m.settings.read("Settings", "FoundCol21", ""), "1400");
  EXPECT_EQ(app.readText("Scan_Log.txt"), "");  // an abandoned run leaves no report
  EXPECT_FALSE(m.pageScan.cmdStop.enabled());
}

TEST(ControlStates, StopPauseResetAndLiveUpdateAreEnabledOnlyWhenTheyWork) {
  App app;
  app.writeEmptyDefinitions();
  auto& m = app.main();
  m.Form_Load();
  for (controls::Control* c : std::initializer_list<controls::Control*>{&m.pageScan.cmdStop, &m.pageScan.cmdPause, &m.pageScan.lblStop, &m.pageScan.lblPause,
                                                             &m.tabSchedule.cmdApplySchedule})
    EXPECT_FALSE(c->enabled()) << c->name();
  EXPECT_TRUE(m.tabSchedule.cmdResetSchedule.enabled());  // Reset always has something to apply
  m.pageScan.cmdStop_Click();
  m.pageScan.lblPause_Click();
  EXPECT_TRUE(app.dialogs.shown.empty());  // no question while there is nothing to stop
  EXPECT_FALSE(m.pageScan.scanCancelled);

  bool duringRun = false;
  app.pump.onYield = [&](int) { duringRun = duringRun || (m.pageScan.cmdStop.enabled() && m.pageScan.cmdPause.enabled()); };
  m.pageScan.cmdScanNow_Click();
  EXPECT_TRUE(duringRun);
  EXPECT_FALSE(m.pageScan.cmdStop.enabled());
  EXPECT_FALSE(m.pageScan.cmdPause.enabled());
  EXPECT_TRUE(m.cmdUpdate.enabled());  // Live Update works
}

