#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>

#include "common/text.h"
#include "definitions/folder_tokens.h"
#include "scan/drive_walk.h"
#include "scan/file_scan.h"
#include "session/run_settings.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

// The wide form that reaches past the path length limit; test paths are plain ASCII.
std::wstring longPath(const std::string& path) { return L"\\\\?\\" + std::wstring(path.begin(), path.end()); }

// The paths of the file rows removal acts on, in order.
std::vector<std::string> filePaths(const ScanResults& results) {
  std::vector<std::string> out;
  for (const FileItem& f : results.fileRows()) out.push_back(f.path);
  return out;
}

// The machine's drives as a test lays them out; every readiness question is recorded.
class FakeDrives : public Drives {
 public:
  std::vector<Drive> drives;
  std::map<char, bool> readyDrives;
  std::string asked;
  std::vector<Drive> list() override { return drives; }
  bool ready(char letter) override {
    asked += letter;
    return readyDrives[letter];
  }
};

// The real file system, except that folders of the given names are listed as links, as a
// junction or symbolic link to somewhere else would be.
class LinkingFileSystem : public win32::Win32FileSystem {
 public:
  std::vector<std::string> linkNames;
  std::vector<FolderEntry> listFolder(const std::string& folder) override {
    std::vector<FolderEntry> entries = win32::Win32FileSystem::listFolder(folder);
    for (FolderEntry& e : entries)
      for (const std::string& n : linkNames)
        if (iequals(e.name, n)) e.attributes |= kAttrLink;
    return entries;
  }
  // Through listFolder, so the links above are seen.
  std::unique_ptr<FolderStream> streamFolder(const std::string& folder) override {
    return FileSystem::streamFolder(folder);
  }
};

// A tree with threat files planted where no definition looks, and the cases the walk must
// leave alone: a covered path, a folder a directory definition names, an excluded file, a
// hidden file, a file of the system's publisher and a link.
struct DriveWalkFixture : ::testing::Test {
  App app;
  LinkingFileSystem fs;
  PlatformParts parts = app.ownParts();
  std::unique_ptr<Platform> platform;
  RecordingScanHost host;
  std::string T;

  void SetUp() override {
    T = makeFolder(app.path("tree"));
    for (const char* f : {"deep", "deep\\er", "covered", "dirdef", "excl", "hid", "ms", "loop", "twin"})
      makeFolder(T + "\\" + f);
    for (const char* f : {"deep\\er\\EVIL.exe", "covered\\evil.exe", "dirdef\\evil.exe", "excl\\evil.exe",
                          "hid\\evil.exe", "loop\\evil.exe", "twin\\evil.exe", "deep\\harmless.txt", "deep\\other.dll"})
      app.writeText(std::string("tree\\") + f, "x");
    SetFileAttributesA((T + "\\hid\\evil.exe").c_str(), FILE_ATTRIBUTE_HIDDEN);
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    CopyFileA((std::string(sys) + "\\kernel32.dll").c_str(), (T + "\\ms\\kernel32.dll").c_str(), FALSE);
    app.writeEmptyDefinitions();
    app.writeDefinitions("FileDefinition.dat", {"evil.exe=Evil|" + T + "\\covered|Adware",
                                                "evil.exe=Second line of the same name|C:\\nowhere",
                                                "other.dll=|C:\\nowhere", "kernel32.dll=Kernel|C:\\nowhere",
                                                "FileDefinition.dat=Own|C:\\nowhere", "*.txt=Wild|C:\\nowhere"});
    app.writeDefinitions("DirectoryDefinition.dat", {"Dir=DirThreat|" + T + "\\dirdef", "Root=Win|[drive]"});
    app.writeText("ENoSignature.txt", T + "\\excl\\evil.exe\r\n");
    host.prefix = "Scanning Drives: ";
    fs.linkNames = {"loop"};
    parts.fs = &fs;
    platform = std::make_unique<Platform>(parts);
    app.session();  // loaded with the definitions above
  }

  // The scan run's pieces with this test's file system and host, or with another platform.
  template <class Body>
  void withEnv(Body body, Platform* on = nullptr) {
    Platform& p = on ? *on : *platform;
    Session& s = app.session();
    FolderTokens tokens(p.shell);
    ProtectedLocations protectedLocations(p, app.folder);
    ScanEnv env{p, s.defs, s.exclusions, tokens, s.counts, s.counters, s.results, host, protectedLocations};
    body(env);
  }
};

}  // namespace

TEST_F(DriveWalkFixture, FindsPlantedThreatsOnceAndLeavesCoveredExcludedHiddenLinkedAndSystemFilesAlone) {
  Session& s = app.session();
  withEnv([&](ScanEnv& env) {
    scanFiles(env);
    scanDirectories(env);
    walkDrives(env, {T + "\\"}, DriveWalkOptions{0});
  });
  // The file scan found the covered file, the directory scan its folder; the walk adds the
  // planted files, under the first line's threat (or the file name for a blank one).
  EXPECT_EQ(filePaths(s.results),
            (std::vector<std::string>{T + "\\covered\\evil.exe", T + "\\dirdef", T + "\\deep\\er\\EVIL.exe",
                                      T + "\\deep\\other.dll", T + "\\twin\\evil.exe"}));
  EXPECT_EQ(s.results.fileRows()[2].threat, "Evil");
  EXPECT_EQ(foundTexts(s.results), (std::vector<std::string>{"Evil - Found", "DirThreat - Found",
                                                             "other.dll - Found", "EXCLUDED: " + T + "\\excl\\evil.exe"}));
  EXPECT_EQ(s.results.removalCount(), 3);
  EXPECT_EQ(s.results.removalRow(0).location, T + "\\covered\\evil.exe");
  EXPECT_EQ(s.results.removalRow(2).location, T + "\\deep\\other.dll");
  EXPECT_EQ(s.results.removalRow(2).icon, kIconFile);
  EXPECT_EQ(s.results.traces(), 5);
  EXPECT_EQ(s.counters.threatsFound, 3);
  // Every file and folder the walk met counts, the folder behind the link and the one the
  // directory definition names included, but not what lies inside them.
  const int32_t definitionLines = 6 + 2;
  const int32_t folders = 8 + 1, files = 8;  // not what lies in "loop" and "dirdef"
  EXPECT_EQ(s.counters.filesInspected - definitionLines, folders + files);
  EXPECT_EQ(host.lastShown.rfind("Scanning Drives: \r\n" + T, 0), 0u) << host.lastShown;
}

TEST_F(DriveWalkFixture, ProgramFilesAndFoundFilesAreRemovableRows) {
  Session& s = app.session();
  // The application folder holds FileDefinition.dat, named by a definition: never a finding.
  withEnv([&](ScanEnv& env) { walkDrives(env, {app.folder}, DriveWalkOptions{0}); });
  for (const std::string& row : filePaths(s.results)) EXPECT_EQ(row.find("FileDefinition.dat"), std::string::npos);
  ASSERT_EQ(s.results.removalCount(), 2);
  // Removal works on the walk's rows as on any file row.
  removeAll(s, false);
  EXPECT_EQ(s.results.removalCount(), 0);
  EXPECT_EQ(GetFileAttributesA((T + "\\deep\\er\\EVIL.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA((T + "\\deep\\other.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(app.path("FileDefinition.dat").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The system reads a path's names without their trailing dots ("excl.\\x" is "excl\\x"): a
// folder named so, next to its twin without the dot, would have the twin's files walked and
// reported under a path that no exclusion or definition names, and removed through it.
TEST_F(DriveWalkFixture, ANameEndingInADotOrSpaceIsNotTakenForItsTwin) {
  Session& s = app.session();
  for (const char* twin : {"excl.", "covered.", "deep ", "twin. ."})
    ASSERT_TRUE(CreateDirectoryA(("\\\\?\\" + T + "\\" + twin).c_str(), nullptr)) << twin;
  withEnv([&](ScanEnv& env) { walkDrives(env, {T}, DriveWalkOptions{0}); });
  const std::vector<std::string> rows = filePaths(s.results);
  for (const std::string& row : rows) {
    EXPECT_EQ(row.find(".\\"), std::string::npos) << row;
    EXPECT_EQ(row.find(" \\"), std::string::npos) << row;
  }
  EXPECT_EQ(rows.size(), 3u);  // deep\er\EVIL.exe, deep\other.dll and twin\evil.exe, once each
  removeAll(s, false);
  EXPECT_NE(GetFileAttributesA((T + "\\excl\\evil.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA((T + "\\covered\\evil.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Folders with the names of devices hold files like any other folder: the walk reports them
// and removal takes exactly them, without waiting on a device.
TEST_F(DriveWalkFixture, FoldersNamedLikeDevicesAreWalkedAndTheirFindsRemoved) {
  Session& s = app.session();
  const std::string root = makeFolder(T + "\\devices");
  std::vector<std::string> planted;
  for (const char* device : {"CON", "AUX", "NUL", "COM1", "LPT1"}) {
    const std::string folder = root + "\\" + device;
    ASSERT_TRUE(CreateDirectoryA(("\\\\?\\" + folder).c_str(), nullptr)) << device;
    const std::string file = folder + "\\evil.exe";
    HANDLE h = CreateFileA(("\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << device;
    CloseHandle(h);
    planted.push_back(file);
  }
  withEnv([&](ScanEnv& env) { walkDrives(env, {root}, DriveWalkOptions{0}); });
  std::vector<std::string> rows = filePaths(s.results), sorted = planted;
  std::sort(rows.begin(), rows.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(rows, sorted);
  removeAll(s, false);
  for (const std::string& f : planted) EXPECT_EQ(GetFileAttributesA(("\\\\?\\" + f).c_str()), INVALID_FILE_ATTRIBUTES) << f;
  EXPECT_TRUE(s.lastRemoval.failed.empty()) << ::testing::PrintToString(s.lastRemoval.failed);
}

// Past the length a path may have, a file can still be listed but not examined, quarantined or
// deleted through its path, nor even seen by removal's check: reported, it vanished from the
// results as if removed while it stayed. The walk ends there and reports nothing.
TEST_F(DriveWalkFixture, AFindBeyondThePathLengthLimitIsNotReported) {
  Session& s = app.session();
  std::string folder = makeFolder(T + "\\long");
  while (folder.size() < MAX_PATH - 8) {
    folder += "\\" + std::string(std::min<size_t>(40, MAX_PATH - 7 - folder.size()), 'd');
    ASSERT_TRUE(CreateDirectoryW(longPath(folder).c_str(), nullptr)) << folder.size();
  }
  // Deeper still, with a find at the bottom that no listing can reach.
  std::string deeper = folder;
  for (int i = 0; i < 3; ++i) {
    deeper += "\\" + std::string(40, 'e');
    ASSERT_TRUE(CreateDirectoryW(longPath(deeper).c_str(), nullptr));
  }
  const std::string reached = folder + "\\other.dll", beyond = deeper + "\\other.dll";
  for (const std::string& f : {reached, beyond}) {
    HANDLE h = CreateFileW(longPath(f).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
  ASSERT_GT(reached.size(), size_t(MAX_PATH));
  withEnv([&](ScanEnv& env) { walkDrives(env, {T + "\\long"}, DriveWalkOptions{0}); });
  EXPECT_EQ(filePaths(s.results), std::vector<std::string>{});
}

// A read-only threat the walk found is removed like any other.
TEST_F(DriveWalkFixture, AReadOnlyFindIsRemoved) {
  Session& s = app.session();
  const std::string ro = T + "\\deep\\er\\EVIL.exe";
  ASSERT_TRUE(SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_READONLY));
  withEnv([&](ScanEnv& env) { walkDrives(env, {T + "\\deep"}, DriveWalkOptions{0}); });
  ASSERT_EQ(filePaths(s.results).size(), 2u);
  removeAll(s, false);
  EXPECT_EQ(GetFileAttributesA(ro.c_str()), INVALID_FILE_ATTRIBUTES);
  const RemovalOutcome& out = s.lastRemoval;
  EXPECT_EQ(std::count(out.removed.begin(), out.removed.end(), ro), 1);
  EXPECT_TRUE(out.failed.empty()) << ::testing::PrintToString(out.failed);
}

// A real symbolic link to the walk's own ancestor, seen through the system's own listing: the
// walk ends, and reports nothing behind it.
TEST_F(DriveWalkFixture, ARealLinkToAnAncestorIsNotEntered) {
  if (!CreateSymbolicLinkA((T + "\\deep\\up").c_str(), T.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "no symbolic links here";
  ASSERT_NE(GetFileAttributesA((T + "\\deep\\up").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  Session& s = app.session();
  withEnv([&](ScanEnv& env) { walkDrives(env, {T}, DriveWalkOptions{0}); }, &app.platform);
  const std::vector<std::string> rows = filePaths(s.results);
  for (const std::string& row : rows) EXPECT_EQ(row.find("\\up\\"), std::string::npos) << row;
  // "loop" is no link to the system: its file is found like any other.
  EXPECT_EQ(rows.size(), 4u) << ::testing::PrintToString(rows);
  RemoveDirectoryA((T + "\\deep\\up").c_str());
}

TEST_F(DriveWalkFixture, StopEndsTheWalkAtTheNextEntryAndEachRootIsWalkedOnce) {
  Session& s = app.session();
  const int32_t before = s.counters.filesInspected;
  const int yieldsBefore = app.pump.yields;
  app.pump.onYield = [&](int n) {
    if (n == yieldsBefore + 3) host.cancelled = true;
  };
  withEnv([&](ScanEnv& env) { walkDrives(env, {T, T + "\\deep"}, DriveWalkOptions{0}); });
  // A yield after every entry and before every folder is opened: the third stops it before a
  // fourth entry is looked at.
  EXPECT_LE(s.counters.filesInspected - before, 3);
  EXPECT_EQ(app.pump.yields - yieldsBefore, 3);

  host.cancelled = false;
  app.pump.onYield = nullptr;
  const int32_t stoppedAt = s.counters.filesInspected;
  withEnv([&](ScanEnv& env) { walkDrives(env, {}, DriveWalkOptions{0}); });
  EXPECT_EQ(s.counters.filesInspected, stoppedAt) << "no root, no walk";
}

TEST(DriveList, ListsDrivesByTypeAndReadinessAndChecksOnlyTheMachinesOwnDisksUnlessStored) {
  App app;
  FakeDrives drives;
  // Z: maps the host's file system under Wine (or is a second name for a folder): listed, not
  // checked; F: is a network drive the user checked once.
  drives.drives = {{'A', DriveType::Removable}, {'C', DriveType::Fixed},   {'D', DriveType::Fixed},
                   {'E', DriveType::CdRom},     {'F', DriveType::Network}, {'G', DriveType::RamDisk},
                   {'H', DriveType::Unknown},   {'Z', DriveType::Fixed, true}};
  drives.readyDrives = {{'C', true}, {'Z', true}};
  PlatformParts parts = app.ownParts();
  parts.drives = &drives;
  Platform platform(parts);
  app.writeEmptyDefinitions();
  Settings settings(app.registry, app.dialogs, app.product, "Test Company");
  settings.write("Drives", "E", "False");
  settings.write("Drives", "F", "True");
  // The console takes the same defaults from the same list.
  const std::vector<ListedDrive> listed = listedDrives(drives, app.pump);
  EXPECT_EQ(storedDriveRoots(settings, listed, drives), (std::vector<std::string>{"C:\\"}));  // F holds no volume
  ui::FrmMain m(platform, app.host, app.path("quillon.exe"), Branding{app.product, "Test Company", "x", 1, 0});
  drives.asked.clear();
  m.Form_Load();

  // A fixed disk that is not ready is left out; an empty removable or CD drive is listed.
  EXPECT_EQ(texts(m.tabScanOptions.lvwDrives), (std::vector<std::string>{"A", "C", "E", "F", "Z"}));
  EXPECT_EQ(drives.asked, "CDZ");  // only fixed disks are asked while filling
  std::vector<bool> checks;
  for (const controls::ListItem& item : m.tabScanOptions.lvwDrives.items()) checks.push_back(item.checked);
  EXPECT_EQ(checks, (std::vector<bool>{false, true, false, true, false}));
  EXPECT_EQ(settings.read("Drives", "A", "absent"), "absent") << "loading stores nothing";

  m.tabScanOptions.lvwDrives.setChecked(1, false);  // the user unchecks C
  for (const char* d : {"A", "C", "E", "Z"}) EXPECT_EQ(settings.read("Drives", d, ""), "False") << d;
  EXPECT_EQ(settings.read("Drives", "F", ""), "True");
  settings.write("Drives", "Z", "True");  // a stored choice is honoured
  EXPECT_EQ(storedDriveRoots(settings, listed, drives), (std::vector<std::string>{"Z:\\"}));

  // The scan type: the list shows only for the complete scan, and both keys are stored each
  // time. A complete run walks the stored choice (which the list writes at every change): of
  // its drives, none holds a volume here; it records both times. A quick run walks nothing and
  // records the last-scan time only.
  auto stored = [&](const char* key) {
    return settings.read("OptionAndSettings", key, "") + " " + settings.read("Settings", key, "");
  };
  auto run = [&](controls::OptionButton& type, const std::string& when) {
    type.setValue(true);
    drives.asked.clear();
    app.clock.now = when;
    m.pageScan.cmdScanNow_Click();
    return std::vector<std::string>{m.tabScanOptions.lvwDrives.visible() ? "shown" : "hidden", drives.asked,
                                    stored("optScanAllSelectedHardDrive"), stored("optScanOnlyKnownSoftwares"),
                                    stored("lblLastScan"), stored("lblLastFullScan")};
  };
  EXPECT_EQ(run(m.tabScanOptions.optCompleteScan, "3/4/2026 5:06:07 PM"),
            (std::vector<std::string>{"shown", "FZ", "True ", "False ", " 3/4/2026 5:06:07 PM", " 3/4/2026 5:06:07 PM"}));
  EXPECT_EQ(run(m.tabScanOptions.optQuickScan, "3/5/2026 1:00:00 AM"),
            (std::vector<std::string>{"hidden", "", "False ", "True ", " 3/5/2026 1:00:00 AM", " 3/4/2026 5:06:07 PM"}));

  // What the system says: under Wine the host's root drive Z: maps folders the machine has, and
  // so does a substituted drive; C: is the machine's own.
  ASSERT_TRUE(DefineDosDeviceA(0, "Q:", "C:\\windows"));
  std::string mapped, own;
  for (const Drive& d : win32::Win32Drives().list()) (d.mapped ? mapped : own) += d.letter;
  DefineDosDeviceA(DDD_REMOVE_DEFINITION, "Q:", nullptr);
  EXPECT_NE(own.find('C'), std::string::npos) << own;
  EXPECT_NE(mapped.find('Q'), std::string::npos) << mapped;
  char prefix[MAX_PATH] = {0};
  if (GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH)) EXPECT_NE(mapped.find('Z'), std::string::npos) << mapped;
}

TEST(DriveList, StoredRootsAreTheCheckedDrivesThatHoldAVolume) {
  App app;
  Settings& settings = app.session().settings;
  settings.write(keys::kDrives, "D", "False");
  FakeDrives drives;
  drives.readyDrives = {{'C', true}, {'E', false}};
  EXPECT_EQ(storedDriveRoots(settings, {{'C', true}, {'D', true}, {'E', true}}, drives), (std::vector<std::string>{"C:\\"}));
  EXPECT_EQ(drives.asked, "CE");  // an unchecked drive is never asked
}
