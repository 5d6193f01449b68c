#include "system/system_tasks.h"

#include <algorithm>

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
  for (const std::string& p : {exePath, appFolder + "\\" + kDesktopProgram, appFolder + "\\" + kConsoleProgram}) {
    own.upperPaths.insert(toUpper(p));
    own.upperNames.insert(toUpper(fileNameFromPath(p)));
  }
  return own;
}

namespace {
// The desktop and console programs whose executable lies in `appFolder`, judged by the one
// spelling of both folders (the installer's may end in "\" or hold short names).
bool programsOfFolder(RunningProcesses& processes, FileSystem& fs, const std::string& appFolder,
                      std::vector<FolderProgram>& out) {
  const std::string folder = toUpper(fs.canonicalPath(appFolder));
  std::vector<uint32_t> ids;
  if (folder.empty() || !processes.enumerateIds(ids)) return false;
  const uint32_t self = processes.currentProcessId();
  for (uint32_t id : ids) {
    std::string path;
    if (id == self || !processes.executablePath(id, path)) continue;
    const std::string name = fileNameFromPath(path);
    const bool desktop = iequals(name, kDesktopProgram);
    if ((desktop || iequals(name, kConsoleProgram)) && path.size() > name.size() &&
        toUpper(fs.canonicalPath(path.substr(0, path.size() - name.size() - 1))) == folder)
      out.push_back({id, path, desktop});
  }
  return true;
}
}  // namespace

CloseOutcome closeFolderPrograms(RunningProcesses& processes, FileSystem& fs, const std::string& appFolder,
                                 uint32_t waitMs) {
  CloseOutcome out;
  std::vector<FolderProgram>& left = out.stillRunning;
  out.listed = programsOfFolder(processes, fs, appFolder, left);
  for (FolderProgram& p : left)
    if (p.desktop) p.asked = processes.askToClose(p.id);
  // Waited for in steps on the first one still running; a step cut short by its end is counted
  // whole, so the wait never passes the bound however many end.
  for (uint32_t waited = 0;;) {
    left.erase(std::remove_if(left.begin(), left.end(), [&](const FolderProgram& p) { return processes.waitForExit(p.id, 0); }),
               left.end());
    if (left.empty() || waited >= waitMs) return out;
    const uint32_t step = std::min<uint32_t>(100, waitMs - waited);
    processes.waitForExit(left.front().id, step);
    waited += step;
  }
}

std::string closeFailureText(const std::string& productName, const std::string& appFolder, const CloseOutcome& outcome) {
  const std::string end = "\r\nNothing was changed.";
  if (!outcome.listed)
    return (appFolder.empty() ? "The installation folder is not known"
                              : "The running programs could not be listed") +
           std::string(", so it is not known whether ") + productName + " runs from " +
           (appFolder.empty() ? "it" : appFolder) + ", whose files are to be replaced or removed." + end;
  std::string text = productName + " is still running from " + appFolder + ", whose files are to be replaced or removed:";
  for (const FolderProgram& p : outcome.stillRunning)
    text += "\r\n  " + p.path + " (process " + std::to_string(p.id) + ") " +
            (p.asked     ? "did not close when asked."
             : p.desktop ? "has no window to be asked through, and did not end."
                         : "is still at work; it is never interrupted.");
  return text + "\r\nClose " + productName + " or let its work finish, then run the installation again." + end;
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

RestorePointStart RestorePoints::start(const std::string& description, uint32_t pointType) {
  if (sequence_ != 0) return RestorePointStart::AlreadyOpen;
  RestorePointRequest r{100, pointType, 0, description.substr(0, 63)};
  int64_t seq = 0;
  if (!restore_.setRestorePoint(r, seq)) return RestorePointStart::Failed;
  sequence_ = seq;
  return RestorePointStart::Started;
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
