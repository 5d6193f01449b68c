// Doubles over the real system for what a test must control (a failing registry write, the
// programs it would start, a process table) and a fixture that gives each test or benchmark its
// own application folder and settings. Everything else is the real system under Wine.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "definitions/folder_tokens.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "scan/protected_locations.h"
#include "tests/support/hosts.h"
#include "ui/frm_main.h"

namespace quillon::test {

// The real registry, except that machine-wide writes can be made to fail, and so can deleting
// anything in the keys named in `undeletable` (a key held by the system); the keys named in
// `readOnly` open for reading only, as the system's own do for a user without rights over them.
class FlakyRegistry : public win32::Win32Registry {
 public:
  bool failMachineWrites = false;
  int machineWriteAttempts = 0;
  std::vector<std::string> undeletable, readOnly;
  bool keyExists(uint32_t root, const std::string& path, uint32_t access) override;
  RegStatus queryValue(uint32_t root, const std::string& path, const std::string& name, uint32_t access,
                       RegValue& out) override;
  bool setValue(uint32_t root, const std::string& path, const std::string& name, const RegValue& v) override;
  bool deleteValue(uint32_t root, const std::string& path, const std::string& name) override;
  bool deleteTree(uint32_t root, const std::string& path) override;
};

// Programs and documents are recorded instead of started.
class RecordingLauncher : public Launcher {
 public:
  std::vector<std::string> launched, opened;
  bool launch(const std::string& commandLine) override {
    launched.push_back(commandLine);
    return true;
  }
  bool openDocument(const std::string& path) override {
    opened.push_back(path);
    return true;
  }
};

// The open-file dialog without a window: answers with `chosen`, or cancels when it is empty.
class FakeFileDialog : public FileDialog {
 public:
  std::string chosen;
  std::vector<std::string> titles;  // of every dialog shown
  bool chooseFile(const std::string& title, std::string& path) override {
    titles.push_back(title);
    if (chosen.empty()) return false;
    path = chosen;
    return true;
  }
};

// A process table the test writes: for the old-system variant and for name matching rules.
class FakeProcesses : public RunningProcesses {
 public:
  OsVersion version{kPlatform9x, 4, 90};
  std::vector<ProcessEntry> table;  // names as the system would report them
  std::vector<uint32_t> terminated;  // every program asked to stop, stopped or not
  OsVersion osVersion() override { return version; }
  std::string systemDirectory() override { return "C:\\WINDOWS\\SYSTEM"; }
  bool enumerateIds(std::vector<uint32_t>& ids) override;
  std::string baseName(uint32_t pid) override;
  bool executablePath(uint32_t pid, std::string& path) override;
  std::vector<ProcessEntry> snapshot() override { return table; }
  bool startTime(uint32_t pid, uint64_t& time) override;
  bool terminateById(uint32_t pid, uint32_t) override;
  bool waitForExit(uint32_t, uint32_t) override { return false; }
  uint32_t ownId = 4242;
  uint32_t currentProcessId() override { return ownId; }
  bool failTerminate = false;
};

// Starts a program and keeps its handle, ending it when the test ends.
class RunningProgram {
 public:
  explicit RunningProgram(const std::string& exePath, const std::string& arguments = "");
  ~RunningProgram();
  uint32_t id() const { return id_; }
  bool running() const;
  bool waitForEnd(int ms) const;
  int exitCode() const;  // -1 while it runs

 private:
  void* handle_ = nullptr;
  uint32_t id_ = 0;
};

// The row texts of a list, in order.
std::vector<std::string> texts(const controls::ListView& list);
// The texts of the found rows, in order.
std::vector<std::string> foundTexts(const ScanResults& results);
// A scan as "Start" runs it, with a host whose answers change nothing.
ScanOutcome scan(Session& session, bool complete = false);
// A removal's host that asks through the platform's boxes, as the console's does, and keeps
// what the run said was still there.
class ToldRemovalHost : public BoxRemovalHost {
 public:
  using BoxRemovalHost::BoxRemovalHost;
  std::vector<std::string> stayed;
  void deleteFailed(const std::vector<std::string>& paths) override { stayed.insert(stayed.end(), paths.begin(), paths.end()); }
};
// Every removal row checked, then removed as "Delete" removes them (asked through the boxes)
// or, without `ask`, as the removal that asks nothing; `host` (a box host when not given) hears it.
RemovalRunOutcome removeAll(Session& session, bool ask = true, RemovalRunHost* host = nullptr);

// Where the test programs are: the folder of the running test executable.
std::string binFolder();
// The waiting sample program: a harmless stand-in for a running threat.
inline const char* const kSampleWaiter = "quillon-sample-waiter.exe";
// Copies it to the path `to` (any name); returns `to`.
std::string copySampleWaiter(const std::string& to);
// Makes the folder `name` in the application folder with a copy of it in it; returns the
// folder's path.
class App;
std::string folderWithSampleWaiter(const App& app, const std::string& name);

// Runs a program to its end with `input` on its standard input and its output and errors
// captured; returns its exit code, or -1 when it could not be started or did not end within
// `timeoutMs` (it is then ended).
// Makes a symbolic link at `link` to the relative `target`. Where the system cannot, and the
// test runs under Wine, a Unix link is made in its place: the system then reads it as the
// thing it points to, with no mark of a link. False when neither can be made.
bool makeLink(const std::string& link, const std::string& target, bool folder);

struct ProgramRun {
  int exitCode = -1;
  std::string out, err;
};
ProgramRun runProgram(const std::string& exePath, const std::string& arguments, const std::string& input = "",
                      int timeoutMs = 120000);
// The same with arguments that may hold any character.
ProgramRun runProgram(const std::string& exePath, const std::wstring& arguments, const std::string& input = "",
                      int timeoutMs = 120000);

// Restore points are recorded; the call answers as the test says.
class RecordingRestore : public SystemRestore {
 public:
  std::vector<RestorePointRequest> restoreCalls;
  bool restoreSucceeds = true;
  bool setRestorePoint(const RestorePointRequest& r, int64_t& seq) override {
    restoreCalls.push_back(r);
    seq = 42;
    return restoreSucceeds;
  }
};

// A throw-away application folder, its own product name in the settings store, and over the
// real platform with fake dialogs, pump and clock either a session as the console holds it
// (scan, removal and update tests) or a main window made headless (window tests). Each is made
// on first use; a test uses one of the two.
class App {
 public:
  explicit App(const std::string& productName = "QuillonTest");
  ~App();
  App(const App&) = delete;

  std::string path(const std::string& name) const { return folder + "\\" + name; }
  // Writes plain definition lines enciphered, as a definition file.
  void writeDefinitions(const std::string& file, const std::vector<std::string>& plainLines);
  // Writes all five definition files, empty but for those given later.
  void writeEmptyDefinitions();
  void writeText(const std::string& file, const std::string& text);
  std::string readText(const std::string& file) const;
  ui::FrmMain& main();
  Session& session();  // loaded as a start loads it
  // Marks the machine and user as having started the program before (or not).
  void firstStartDone(bool done);
  void resetMain() { main_.reset(); }
  Branding branding(const std::string& site = "quillon.example") const { return {product, "Test Company", site, 1, 0}; }
  // The parts above, to build a platform with one of them replaced.
  PlatformParts ownParts();

  std::string folder, product;
  FlakyRegistry registry;
  win32::Win32FileSystem fs;
  win32::Win32Shell shell;
  RecordingLauncher launcher;
  win32::Win32ThisProgram thisProgram;
  win32::Win32RunningProcesses processes;
  RecordingRestore restore;
  win32::Win32LibraryExports libraries;
  win32::Win32Clipboard clipboard;
  win32::Win32InstanceLock instanceLock;
  win32::Win32Drives drives;
  win32::Win32Http http;
  win32::Win32Signatures signatures;
  win32::Win32Management management;
  FakeDialogs dialogs;
  FakeFileDialog fileDialog;
  FakePump pump;
  FakeClock clock;
  Platform platform{ownParts()};
  controls::HeadlessHost host;

 private:
  std::unique_ptr<ui::FrmMain> main_;
  std::unique_ptr<Session> session_;
};

// A session of `app`, loaded, over its platform with another file system in it (a disk that
// fills, links that carry a mark, a store another program keeps busy).
struct SessionOverFiles {
  SessionOverFiles(App& app, FileSystem& fs);
  Platform platform;
  Session session;
};

// A session's model as one scanner sees it, with a quiet host: for calling a scanner or the
// one-row-per-threat rule directly.
struct ScannerEnv {
  ScannerEnv(Platform& platform, Session& s)
      : tokens(platform.shell), guarded(platform, s.appFolder),
        env{platform, s.defs, s.exclusions, tokens, s.counts, s.counters, s.results, host, guarded} {}
  ScannerEnv(const ScannerEnv&) = delete;
  FolderTokens tokens;
  ProtectedLocations guarded;
  QuietScanHost host;
  ScanEnv env;
};

// Counts the Live Updates a main window runs, against a server address nobody answers, so that
// nothing is fetched or changed.
void countLiveUpdates(ui::FrmMain& m, int& count);

// Makes a folder (and parents) with the real file system; returns its path.
std::string makeFolder(const std::string& path);
std::string tempRoot();

}  // namespace quillon::test
