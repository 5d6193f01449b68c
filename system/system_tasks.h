// What the removal and the memory scan need from the operating system beyond files: the list
// of running programs, stopping one by name, System Restore points and a component's
// registration entry.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"

namespace quillon {

// The file names of the desktop and the console program in the application folder.
inline constexpr char kDesktopProgram[] = "quillon.exe";
inline constexpr char kConsoleProgram[] = "quillon-cli.exe";

// The program's own processes: this one, and the desktop and console programs of its
// application folder. Nothing ever stops them, whatever a definition names: a scan that stops
// itself ends without results or report, and stopping the other front-end loses its work.
struct OwnPrograms {
  uint32_t pid = 0;
  std::unordered_set<std::string> upperPaths;  // full paths, upper case
  std::unordered_set<std::string> upperNames;  // their file names, for name-only process lists
  bool isOwn(uint32_t id, const std::string& path) const;
  bool isOwnName(uint32_t id, const std::string& name) const;
};
OwnPrograms ownPrograms(RunningProcesses& processes, const std::string& exePath, const std::string& appFolder);

// A copy of the program running from an application folder.
struct FolderProgram {
  uint32_t id = 0;
  std::string path;
  bool desktop = false;  // the desktop program, which can be asked to close; the console one cannot
  bool asked = false;    // the request reached one of its windows
};

struct CloseOutcome {
  bool listed = true;                     // false: the running programs could not be listed
  std::vector<FolderProgram> stillRunning;  // when the wait ended
  bool ok() const { return listed && stillRunning.empty(); }
};

// Before the program's files are replaced or removed, its copies running from that folder must
// be gone: a running executable can be neither, and the installation would end with it left
// behind. Every desktop program of `appFolder` is asked to close, and ends by its usual exit
// path as when its window is closed. The console programs are never interrupted: a scan or a
// removal they run is let finish. Both are waited for, about `waitMs` at most. The calling
// process is never one of them.
CloseOutcome closeFolderPrograms(RunningProcesses& processes, FileSystem& fs, const std::string& appFolder,
                                 uint32_t waitMs);
// What the installer tells the user when that failed: which copies still run, and what to do.
std::string closeFailureText(const std::string& productName, const std::string& appFolder, const CloseOutcome& outcome);

// Running processes as (name, id). `fromSnapshot` takes the names from a tool-help snapshot
// (the mode kept for old systems); otherwise from the process-status interface.
std::vector<ProcessEntry> listProcesses(RunningProcesses& processes, bool fromSnapshot = false);

// Stops the first running process whose name matches the executable file name (also through
// its 8.3 short form, and by the first 15 characters of long names). True when nothing
// matched or it was stopped; false when it kept running through 11 attempts. The program's
// own processes never match.
bool killProcessByName(RunningProcesses& processes, Pump& pump, const std::string& exeName,
                       const OwnPrograms* own = nullptr);
// Up to 11 attempts to end one process; true once it has ended. The calling process itself is
// never ended (false).
bool stopProcess(RunningProcesses& processes, uint32_t pid);

// Restore points: the version test, and one open point at a time.
bool isSystemRestoreAvailable(const OsVersion& v);

enum class RestorePointStart {
  Started,
  AlreadyOpen,  // a point is open already: what follows goes inside it, and its opener ends it
  Failed,       // the system made none; there is nothing to end
};

class RestorePoints {
 public:
  explicit RestorePoints(SystemRestore& restore) : restore_(restore) {}
  RestorePointStart start(const std::string& description, uint32_t pointType);
  bool end();
  int64_t sequence() const { return sequence_; }

 private:
  SystemRestore& restore_;
  int64_t sequence_ = 0;
};

// Calls the library's DllRegisterServer or DllUnregisterServer if it has one. Always true.
bool callRegistrationEntry(LibraryExports& libraries, const std::string& libraryPath, bool registering);

}  // namespace quillon
