// The user's places and the system's own are never findings, whatever the definitions say and
// however they spell them, and the removal refuses them even when asked directly.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <algorithm>
#include <functional>

#include "common/text.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string knownFolder(REFKNOWNFOLDERID id) {
  PWSTR wide = nullptr;
  std::string path;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &wide))) path = win32::ansiOf(wide);
  CoTaskMemFree(wide);
  return path;
}

std::string windowsFolder() {
  char buf[MAX_PATH] = {0};
  GetWindowsDirectoryA(buf, MAX_PATH);
  return buf;
}

// Every way of writing one full path that names the same place: as given, in other letter
// case, with "/", through ".." and ".", with trailing dots, by its short (8.3) names, and
// under Wine by the host's path of its drive.
std::vector<std::string> spellings(const std::string& p) {
  const size_t cut = p.rfind('\\');
  std::vector<std::string> s = {p, toUpper(p), toLower(p), replaceAll(p, "\\", "/"),
                                p.substr(0, cut) + "\\nowhere\\..\\.\\" + p.substr(cut + 1), p + ".", p + "\\. ."};
  char shortName[MAX_PATH] = {0};
  if (GetShortPathNameA(p.c_str(), shortName, MAX_PATH) && shortName != p) s.push_back(shortName);
  char prefix[MAX_PATH] = {0};
  if (GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH) && prefix[0] == '/' && toUpper(p.substr(0, 2)) == "C:")
    s.push_back("Z:" + replaceAll(std::string(prefix), "/", "\\") + "\\drive_c" + p.substr(2));
  return s;
}

// The current user's hive under HKEY_USERS: the same keys as HKEY_CURRENT_USER.
std::string userHive() {
  char sid[256];
  for (DWORD i = 0, n = sizeof sid; RegEnumKeyExA(HKEY_USERS, i, sid, &n, nullptr, nullptr, nullptr, nullptr) == 0;
       ++i, n = sizeof sid) {
    const std::string name = sid;
    if (name.rfind("S-1-5-21-", 0) == 0 && name.find('_') == std::string::npos) return name;
  }
  return "none";
}

struct RegItem {
  uint32_t root;
  std::string key, value;  // a whole key when the value is empty
};

bool regExists(const RegItem& r) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(reinterpret_cast<HKEY>(uintptr_t(LONG(r.root))), r.key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
    return false;
  const bool there = r.value.empty() || RegQueryValueExA(k, r.value.c_str(), nullptr, nullptr, nullptr, nullptr) == 0;
  RegCloseKey(k);
  return there;
}

std::string regLine(const RegItem& r, const std::string& threat) {
  return std::to_string(r.root & 0xF) + "^" + r.key + "^" + r.value + "=" + threat;
}

// A copy of the console program in a throw-away application folder, and a few threats that
// do live in the system's places: an adware library in the system folder, a folder of its own
// in Program Files, its Run value and its service. These must still be found and removed.
struct ProtectedPlaces : ::testing::Test {
  App app;
  std::string cli, windows, system, programFiles;
  std::vector<std::string> controls;
  const std::string service = "SYSTEM\\CurrentControlSet\\Services\\QuillonTestAdware";
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

  void SetUp() override {
    cli = app.path("quillon-cli.exe");
    CopyFileA((binFolder() + "\\quillon-cli.exe").c_str(), cli.c_str(), FALSE);
    app.registry.deleteTree(kHkeyCurrentUser, "Software\\Quillon");
    app.writeEmptyDefinitions();
    windows = windowsFolder();
    char buf[MAX_PATH] = {0};
    GetSystemDirectoryA(buf, MAX_PATH);
    system = buf;
    programFiles = knownFolder(FOLDERID_ProgramFiles);
    // An image of no maker: a program, and not the system's.
    app.writeText("adware.exe", "MZ adware");
    controls = {system + "\\quillon-test-adware.dll", programFiles + "\\Quillon Test Adware"};
    CopyFileA(app.path("adware.exe").c_str(), controls[0].c_str(), FALSE);
    makeFolder(controls[1]);
    CopyFileA(app.path("adware.exe").c_str(), (controls[1] + "\\toolbar.dll").c_str(), FALSE);
    app.registry.setValue(kHkeyCurrentUser, run, "QuillonTestAdware", RegValue{kRegSz, app.path("adware.exe") + '\0'});
    app.registry.setValue(kHkeyLocalMachine, service, "ImagePath", RegValue{kRegExpandSz, app.path("adware.exe") + '\0'});
  }
  void TearDown() override {
    DeleteFileA(controls[0].c_str());
    app.fs.deleteFolderTree(controls[1]);
    app.registry.deleteValue(kHkeyCurrentUser, run, "QuillonTestAdware");
    app.registry.deleteTree(kHkeyLocalMachine, service);
    app.registry.deleteTree(kHkeyCurrentUser, "Software\\Quillon");
  }
};

}  // namespace

TEST_F(ProtectedPlaces, AreNeverFoundNorRemovedUnderAnySpellingWhileThreatsThereStillAre) {
  // The user's known folders, newer and older, and the system's own places.
  std::vector<std::string> folders;
  for (REFKNOWNFOLDERID id : {FOLDERID_Downloads, FOLDERID_SavedGames, FOLDERID_Contacts, FOLDERID_Links,
                              FOLDERID_SavedSearches, FOLDERID_LocalAppDataLow, FOLDERID_Desktop, FOLDERID_Documents,
                              FOLDERID_Music, FOLDERID_Favorites, FOLDERID_RoamingAppData, FOLDERID_Profile,
                              FOLDERID_Public, FOLDERID_ProgramData})
    folders.push_back(knownFolder(id));
  folders.push_back(tempRoot());
  for (const char* f : {"\\inf", "\\winsxs", "\\temp", ""}) folders.push_back(windows + f);
  for (const char* f : {"\\drivers", "\\drivers\\etc"}) folders.push_back(system + f);
  folders.push_back(programFiles + "\\Internet Explorer");
  folders.push_back("C:\\");
  const std::string profile = knownFolder(FOLDERID_Profile);
  folders.push_back(profile.substr(0, profile.rfind('\\')));  // where the profiles are
  folders.push_back(app.folder);  // the program's own
  const std::string downloaded = folders[0] + "\\kept.txt";
  ASSERT_TRUE(app.fs.write(downloaded, "the user's", false));
  // The system's files: settings, the hosts table, a driver's data, its own program. A file
  // that is no program anywhere in the Windows folder is data nothing runs.
  ASSERT_TRUE(app.fs.write(windows + "\\quillon-test-adware.ini", "data", false));
  std::vector<std::string> files = {windows + "\\win.ini", windows + "\\system.ini", system + "\\drivers\\etc\\hosts",
                                    system + "\\kernel32.dll", windows + "\\quillon-test-adware.ini"};
  // The system maker's driver outside the Windows folder: the removal holds it shared with
  // nobody, and reads its maker through that hold.
  files.push_back(app.path("maker.sys"));
  ASSERT_TRUE(CopyFileA((system + "\\kernel32.dll").c_str(), files.back().c_str(), FALSE));
  WIN32_FIND_DATAA fd;
  HANDLE inf = FindFirstFileA((windows + "\\inf\\*.inf").c_str(), &fd);
  if (inf != INVALID_HANDLE_VALUE) {
    files.push_back(windows + "\\inf\\" + fd.cFileName);
    FindClose(inf);
  }
  // The keys and values that start Windows or open programs, through every root and alias.
  const std::vector<RegItem> keys = {
      {kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Tcpip", ""},
      {kHkeyLocalMachine, "SYSTEM\\ControlSet001\\Services\\Tcpip", ""},
      {kHkeyLocalMachine, "system\\currentcontrolset\\control\\session manager", ""},
      {kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", "GlobalFlag"},
      {kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Services", ""},
      {kHkeyLocalMachine, "SYSTEM", ""}, {kHkeyCurrentUser, "Software", ""}, {kHkeyLocalMachine, "SOFTWARE\\Microsoft", ""},
      {kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", ""},
      {kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell"},
      {kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", ""},
      {kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot"},
      {kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Cryptography", "MachineGuid"},
      {kHkeyLocalMachine, "SOFTWARE\\Wow6432Node\\Microsoft\\Cryptography", "MachineGuid"},
      {kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir"},
      {kHkeyClassesRoot, "exefile\\shell\\open\\command", ""},
      {kHkeyClassesRoot, "exefile\\shell\\open", ""},
      {kHkeyLocalMachine, "Software\\Classes\\exefile\\shell\\open\\command", ""},
      {kHkeyClassesRoot, ".exe", ""},
      {kHkeyCurrentUser, "Environment", "TEMP"},
      {kHkeyCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop"},
      {kHkeyLocalMachine, "SOFTWARE\\Wow6432Node\\Microsoft\\Cryptography", ""},
      {kHkeyUsers, userHive() + "\\Environment", "TEMP"},
      {kHkeyUsers, userHive() + "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", ""}};

  std::vector<std::string> fileLines, folderLines, registryLines;
  for (const std::string& folder : folders) {
    ASSERT_TRUE(exists(folder)) << folder;
    for (const std::string& s : spellings(folder)) folderLines.push_back("F=Protected." + s + "|" + s);
  }
  for (const std::string& file : files) {
    ASSERT_TRUE(exists(file)) << file;
    const size_t cut = file.rfind('\\');
    for (const std::string& s : spellings(file.substr(0, cut))) {
      fileLines.push_back(file.substr(cut + 1) + "=Protected." + s + "|" + s);
      fileLines.push_back(toUpper(file.substr(cut + 1)) + "=Protected.upper|" + s);
    }
  }
  std::vector<RegItem> present;
  for (const RegItem& k : keys)
    if (regExists(k)) {
      present.push_back(k);
      registryLines.push_back(regLine(k, "Protected." + k.key + "." + k.value));
      registryLines.push_back(regLine({k.root, k.key + "\\", k.value}, "Protected.slash." + k.key));
    }
  for (const char* must : {"Tcpip", "session manager", "Winlogon", "Cryptography", "exefile\\shell\\open\\command"})
    EXPECT_TRUE(std::any_of(present.begin(), present.end(), [&](const RegItem& k) { return k.key.find(must) != std::string::npos; }))
        << must;
  // As a release would name them, through the folder tokens.
  for (const char* folder : {"[system]drivers", "[windir]inf", "[windir]\\winsxs\\", "[progfil]Internet Explorer",
                             "[drive]", "[appdata]", "[user]"})
    folderLines.push_back(std::string("F=Protected.") + folder + "|" + folder);
  for (const char* file : {"win.ini=Protected.token|[windir]", "hosts=Protected.token|[system]drivers\\etc",
                           "kernel32.dll=Protected.token|[system]"})
    fileLines.push_back(file);
  fileLines.push_back("quillon-test-adware.dll=Control.Library|[system]");
  folderLines.push_back("T=Control.Folder|[progfil]Quillon Test Adware");
  registryLines.push_back("1^" + run + "^QuillonTestAdware=Control.Run");
  registryLines.push_back("2^" + service + "^=Control.Service");
  app.writeDefinitions("FileDefinition.dat", fileLines);
  app.writeDefinitions("DirectoryDefinition.dat", folderLines);
  app.writeDefinitions("RegistryDefinition.dat", registryLines);

  ProgramRun r = runProgram(cli, "--yes scan --remove");
  r.out = replaceAll(r.out, "\r\n", "\n");
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(r.out.find("Protected"), std::string::npos) << r.out;
  std::vector<std::string> removed;
  for (const std::string& line : split(r.out, "\n"))
    if (line.rfind("removed\t", 0) == 0) removed.push_back(line.substr(8));
  std::vector<std::string> threats = {controls[0], controls[1], "HKEY_CURRENT_USER\\" + run + "\\QuillonTestAdware",
                                      "HKEY_LOCAL_MACHINE\\" + service};
  std::sort(removed.begin(), removed.end());
  std::sort(threats.begin(), threats.end());
  EXPECT_EQ(removed, threats) << r.out;

  // The removal refuses them too when its rows name them directly, in every spelling.
  Session& session = app.session();
  int n = 0;
  for (const auto* paths : {&folders, &files})
    for (const std::string& place : *paths)
      for (const std::string& s : spellings(place)) {
        const std::string threat = "Forced" + std::to_string(++n);
        session.results.addFileWork(s, threat);
        session.results.addThreat(threat, paths == &folders ? kIconFolder : kIconFile, s, "");
      }
  for (const RegItem& k : present) {
    const std::string threat = "Forced" + std::to_string(++n);
    session.results.addRegistryWork(std::to_string(int32_t(k.root)), k.key, k.value, threat);
    session.results.addThreat(threat, kIconRegistry, k.key, "");
  }
  removeAll(session, false);
  EXPECT_TRUE(session.lastRemoval.removed.empty()) << ::testing::PrintToString(session.lastRemoval.removed);

  for (const auto* paths : {&folders, &files})
    for (const std::string& place : *paths) EXPECT_TRUE(exists(place)) << place;
  for (const RegItem& k : present) EXPECT_TRUE(regExists(k)) << k.key << " " << k.value;
  std::string kept;
  EXPECT_TRUE(app.fs.readAll(downloaded, kept) && kept == "the user's");
  DeleteFileA(downloaded.c_str());
  DeleteFileA((windows + "\\quillon-test-adware.ini").c_str());
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
  Session& session = app.session();
  session.settings.write(keys::chkScanMemory, "0");
  scan(session);
  EXPECT_EQ(foundTexts(session.results), (std::vector<std::string>{"Other.Threat - Found", "Copy.Below - Found"}));

  ProtectedLocations locations(app.platform, app.folder);
  EXPECT_TRUE(locations.isProgramFile(app.folder + "\\\\QUILLON-CLI.EXE. "));
  EXPECT_TRUE(locations.isProgramFile(app.path("date.dat")));
  EXPECT_FALSE(locations.isProgramFile(app.path("other.dll")));
  EXPECT_FALSE(locations.isProgramFile(app.path("sub\\quillon.exe")));
  EXPECT_FALSE(locations.isProgramFile("quillon.exe"));
  EXPECT_TRUE(locations.isProtectedFolder("\\\\server\\share\\"));  // never a network share or a bare drive
  EXPECT_TRUE(locations.isProtectedFolder("D:"));
}
