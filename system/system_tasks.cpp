#include "system/system_tasks.h"

#include "common/text.h"

namespace quillon {

bool OwnPrograms::isOwn(uint32_t id, const std::string& path) const {
  return id == pid || upperPaths.count(toUpper(trim(path))) > 0;
}

bool OwnPrograms::isOwnName(uint32_t id, const std::string& name) const {
  return id == pid || upperNames.count(toUpper(trim(fileNameFromPath(name)))) > 0;
}

OwnPrograms ownPrograms(RunningProcesses& processes, const std::string& exePath, const std::string& appFolder) {
  OwnPrograms own;
  own.pid = processes.currentProcessId();
  for (const std::string& p : {exePath, appFolder + "\\quillon.exe", appFolder + "\\quillon-cli.exe"}) {
    own.upperPaths.insert(toUpper(p));
    own.upperNames.insert(toUpper(fileNameFromPath(p)));
  }
  return own;
}

std::vector<ProcessEntry> listProcesses(RunningProcesses& processes, bool fromSnapshot) {
  std::vector<ProcessEntry> out;
  if (fromSnapshot) {
    for (ProcessEntry& e : processes.snapshot()) {
      e.name = e.name.substr(0, e.name.find('\0'));
      out.push_back(std::move(e));
    }
    return out;
  }
  std::vector<uint32_t> ids;
  if (!processes.enumerateIds(ids)) return out;
  for (uint32_t id : ids) {
    std::string name = id == 0 ? "System Idle Process" : id == 2 ? "System" : processes.baseName(id);
    name = name.substr(0, name.find('\0'));
    if (!name.empty()) out.push_back({name, id});
  }
  return out;
}

namespace {
// Names are compared on their first 15 characters when long, else on the part before the
// first dot: what old systems reported of a process name.
std::string reduced(const std::string& name) {
  if (name.size() >= 16) return name.substr(0, 15);
  size_t dot = name.find('.');
  return dot == std::string::npos ? name : toUpper(name.substr(0, dot));
}
}  // namespace

bool killProcessByName(RunningProcesses& processes, Pump& pump, const std::string& exeName, const OwnPrograms* own) {
  std::string shortForm = ireplaceAll(exeName, ".exe", "");
  if (shortForm.size() >= 7) shortForm = shortForm.substr(0, 6);
  shortForm = toUpper(shortForm) + "~1";
  std::string target = exeName;
  const ProcessEntry* match = nullptr;
  std::vector<ProcessEntry> list = listProcesses(processes);
  for (const ProcessEntry& p : list) {
    if (p.id == processes.currentProcessId() || (own && own->isOwnName(p.id, p.name))) continue;
    std::string name = reduced(fileNameFromPath(p.name));
    target = reduced(target);
    if (toUpper(name) == toUpper(trim(target)) || iequals(name, trim(shortForm))) {
      match = &p;
      break;
    }
    pump.yield();
  }
  return !match || stopProcess(processes, match->id);
}

bool stopProcess(RunningProcesses& processes, uint32_t pid) {
  if (pid == processes.currentProcessId()) return false;
  for (int attempt = 0; attempt < 11; ++attempt) {
    if (processes.terminateById(pid, 0)) return true;
    if (processes.waitForExit(pid, 1)) return true;
  }
  return false;
}

bool isSystemRestoreAvailable(const OsVersion& v) {
  if (v.platformId == kPlatform9x) return v.minor == 90;
  if (v.platformId == kPlatformNt) return v.major > 5 || (v.major == 5 && v.minor == 1);
  return false;
}

bool RestorePoints::start(const std::string& description, uint32_t pointType) {
  if (sequence_ != 0) throw RestorePointOpen();
  RestorePointRequest r{100, pointType, 0, description.substr(0, 63)};
  int64_t seq = 0;
  if (!restore_.setRestorePoint(r, seq)) return false;
  sequence_ = seq;
  return true;
}

bool RestorePoints::end() {
  RestorePointRequest r{101, 0, sequence_, ""};
  int64_t seq = 0;
  bool ok = restore_.setRestorePoint(r, seq);
  sequence_ = 0;
  return ok;
}

bool callRegistrationEntry(LibraryExports& libraries, const std::string& libraryPath, bool registering) {
  libraries.callExport(libraryPath, registering ? "DllRegisterServer" : "DllUnregisterServer");
  return true;
}

}  // namespace quillon
