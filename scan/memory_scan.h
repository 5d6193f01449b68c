#pragma once
#include <functional>
#include <string>
#include <unordered_set>

#include "system/system_tasks.h"
#include "scan/scan_state.h"

namespace quillon {

// The executables of ExeDefinition.dat, read once per program run and kept by the main
// window. A Stop while reading empties it, so the next call reads the file again.
struct ExecutableList {
  std::string pathList;                    // "|C:\DIR\A.EXE|C:\OTHER\B.EXE|", upper case
  std::unordered_set<std::string> paths;   // the same entries, for one lookup per process
  int entries = 0;
  std::string lineList;                    // old systems: every decoded line + CR LF, upper case
                                           // (it is only ever matched without regard to case)
  int lines = 0;
  bool loaded() const { return pathList.find_first_not_of(' ') != std::string::npos; }
  bool linesLoaded() const { return lineList.find_first_not_of(' ') != std::string::npos; }
  void clear() { *this = ExecutableList(); }
};

// The full path of a module with a system-root alias before "SYSTEM32\" replaced by the real
// system folder.
std::string normalizeSystemPath(const std::string& upperPath, const std::string& systemDirectory);

// What happens to a running definition-listed program. During a scan it is listed and stopped;
// outside a scan the memory shield asks the user (that reaction is the shield's).
struct MemoryScanActions {
  std::string productName;
  std::function<bool()> scanInProgress;
  // Gets the id of the process that matched: the shield stops that one, not another copy.
  std::function<void(uint32_t pid, const std::string& name, const std::string& company)> reportOutsideScan;
  std::function<bool(const std::string& question)> askYesNo;  // old systems, outside a scan
  std::function<void(const std::string& name)> excludeName;   // old systems, "No" answer
  const OwnPrograms* own = nullptr;  // never reported, never stopped
  // The definitions are read (or were in memory already): no more of the definition files is
  // needed, however long the questions about the programs found then take.
  std::function<void()> definitionsRead;
};

// Finds running programs named by ExeDefinition.dat (matching the full path) and, during a
// scan, stops them.
void checkMemory(ScanEnv& env, ExecutableList& list, const MemoryScanActions& actions);

}  // namespace quillon
