// The machine's running programs and what the system keeps about them: listing and stopping
// programs, the management service's view, restore points, a component's registration entry
// and the marks that tell one copy of this program about another.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

// ---- Operating system and running processes ---------------------------------------------
struct OsVersion {
  uint32_t platformId = 2;  // 1: the 9x family, 2: the NT family
  uint32_t major = 0, minor = 0;
};
constexpr uint32_t kPlatform9x = 1, kPlatformNt = 2;

struct ProcessEntry {
  std::string name;
  uint32_t id = 0;
};

// The other programs running on the machine: listing them, looking at them, stopping them.
class RunningProcesses {
 public:
  virtual ~RunningProcesses() = default;
  virtual OsVersion osVersion() = 0;
  virtual std::string systemDirectory() = 0;
  // Ids from the process-status interface; false when the enumeration fails.
  virtual bool enumerateIds(std::vector<uint32_t>& ids) = 0;
  // Base name of the process's first module; "" when it cannot be opened or read.
  virtual std::string baseName(uint32_t pid) = 0;
  // Full path of the executable (first of up to 50 modules); false when it cannot be read.
  virtual bool executablePath(uint32_t pid, std::string& path) = 0;
  // Tool-help snapshot: each process's executable file text and id.
  virtual std::vector<ProcessEntry> snapshot() = 0;
  // When the process started, in 100 ns units since 1601 (UTC). Ids are reused: an id with
  // another start time is another program. False when the process cannot be looked at.
  virtual bool startTime(uint32_t pid, uint64_t& time) = 0;
  // Ends a process with the debug privilege held for just this call (on NT); false when the
  // privilege cannot be had or the process cannot be ended.
  virtual bool terminateById(uint32_t pid, uint32_t exitCode) = 0;
  // Waits up to `ms` for the process to end; true when it has ended or no such process
  // exists, false when it still runs or cannot be looked at (access refused).
  virtual bool waitForExit(uint32_t pid, uint32_t ms) = 0;
  // Asks one of the program's own copies to end as when its user closes it: the request goes
  // to each of its windows, and it answers by its usual exit path. False when it has no window
  // to ask (nothing was asked); whether it ends is for waitForExit to tell.
  virtual bool askToClose(uint32_t pid) { return false; }
  virtual uint32_t currentProcessId() = 0;
};


// The system's management service: what it reports about the running programs.
class Management {
 public:
  virtual ~Management() = default;
  // The name of every running process, in the service's order; false when the service cannot
  // be reached or refuses the query.
  virtual bool processNames(std::vector<std::string>& names) = 0;
};

// ---- System Restore, component libraries, single instance ----------------------------------
struct RestorePointRequest {
  uint32_t eventType = 0, pointType = 0;
  int64_t sequence = 0;
  std::string description;  // cut to 63 characters by the caller
};

class SystemRestore {
 public:
  virtual ~SystemRestore() = default;
  // Calls the system restore client; false when it is missing or the call fails.
  virtual bool setRestorePoint(const RestorePointRequest& request, int64_t& sequenceOut) = 0;
};

class LibraryExports {
 public:
  virtual ~LibraryExports() = default;
  // Loads the library, calls its export (no arguments) if it has one, frees it; false when
  // the library does not load or lacks the export.
  virtual bool callExport(const std::string& libraryPath, const std::string& exportName) = 0;
};

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // True when another instance of the program already runs (the first call claims the name).
  virtual bool anotherInstanceRunning(const std::string& name) = 0;
  // A scan or removal marks the program busy for other processes while it runs; marks nest
  // within a process. Without an implementation of its own, nothing is marked.
  virtual void markBusy(const std::string& name, bool busy) {}
  // True when another process holds the busy mark of `name`.
  virtual bool busyElsewhere(const std::string& name) { return false; }
};

// Holds the busy mark for one run.
class BusyMark {
 public:
  BusyMark(InstanceLock& lock, std::string name) : lock_(lock), name_(std::move(name)) { lock_.markBusy(name_, true); }
  ~BusyMark() { lock_.markBusy(name_, false); }
  BusyMark(const BusyMark&) = delete;
  BusyMark& operator=(const BusyMark&) = delete;

 private:
  InstanceLock& lock_;
  std::string name_;
};

}  // namespace quillon
