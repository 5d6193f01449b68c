#include "scan/memory_scan.h"

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/grammar.h"
#include "system/system_tasks.h"
#include "scan/company_name.h"

namespace quillon {

std::string normalizeSystemPath(const std::string& upperPath, const std::string& systemDirectory) {
  const std::string marker = "SYSTEM32\\";
  size_t pos = toUpper(upperPath).rfind(marker);
  if (pos == std::string::npos) return upperPath;
  // Upper case like the rest: the definitions are matched exactly against upper-case paths.
  return toUpper(systemDirectory) + "\\" + upperPath.substr(pos + marker.size());
}

namespace {


// `name` gives the definition's executable name; it is asked only when the status is shown.
template <class NameOf>
void readingStatus(ScanEnv& env, bool inScan, NameOf name) {
  if (!inScan) return;
  ++env.counters.processesInspected;
  double n = env.counters.processesInspected;
  const DefinitionCounts& c = env.counts;
  showProgress(env, name, percentOf(n, c.exe), percentOf(n + c.cookie, c.total()));
}

void walkingStatus(ScanEnv& env, const std::string& name) {
  double n = env.counters.processesInspected;
  const DefinitionCounts& c = env.counts;
  showProgress(env, [&] { return name; }, percentOf(n, c.exe), percentOf(n + c.exe, c.total()));
}

// During a scan: listed, then stopped whatever the outcome; outside it the shield decides.
// The process stopped is the one whose path matched: stopping the first process of the same
// name could end a legitimate copy running from another folder and leave the threat running.
void reportRunningThreat(ScanEnv& env, uint32_t pid, const std::string& name, const std::string& company,
                         const MemoryScanActions& actions) {
  if (actions.scanInProgress()) {
    // Said as it happened: a program that could not be stopped is still running.
    if (stopProcess(env.platform.processes, pid)) {
      env.results.addNote("Detected in the memory : " + name + " was stopped from running.", kIconFile);
    } else {
      env.results.addNote("Detected in the memory : " + name + " could not be stopped.", kIconFile);
      ++env.counters.programsNotStopped;
    }
  } else if (actions.reportOutsideScan) {
    actions.reportOutsideScan(pid, name, company);
  }
}

// The running processes with the full path of each executable. Each process is opened once:
// its name (the process list the user sees counted) is the last part of that path.
struct RunningProcess {
  uint32_t id;
  std::string path;  // empty for the two system entries that have no executable
};

// Each path is its own question to the system (about a millisecond under Wine): the message
// loop gets its turn between them, so Stop and Pause never wait for the whole list.
std::vector<RunningProcess> runningProcesses(RunningProcesses& processes, Pump& pump) {
  std::vector<RunningProcess> out;
  std::vector<uint32_t> ids;
  if (!processes.enumerateIds(ids)) return out;
  for (uint32_t id : ids) {
    std::string path;
    if (id == 0 || id == 2) out.push_back({id, ""});
    else if (processes.executablePath(id, path) && !path.empty()) out.push_back({id, path});
    pump.yield();
  }
  return out;
}

void checkMemoryNt(ScanEnv& env, ExecutableList& list, const MemoryScanActions& actions) {
  Platform& p = env.platform;
  const bool inScan = actions.scanInProgress();
  std::vector<RunningProcess> processes = runningProcesses(p.processes, p.pump);
  std::string lastName;
  if (!list.loaded()) {
    LineReader reader = env.defs.open(kExeDefs);
    if (reader.isOpen()) {
      list.clear();
      std::string plain;
      for (std::string line; reader.next(line);) {
        if (env.host.scanCancelled()) {
          list.clear();
          break;
        }
        ExeDefinition d;
        if (decodeDefinition(line, plain)) d = parseExeLine(plain);
        if (d.valid) {
          lastName = d.name;
          std::string entry = toUpper(collapseBackslashes(env.tokens.expand(d.folder) + "\\" + d.name));
          if (list.pathList.empty()) list.pathList = "|";
          list.pathList += entry + "|";
          list.paths.insert(entry);
          ++list.entries;
        }
        readingStatus(env, inScan, [&] { return lastName; });
        p.pump.yield();
      }
    }
  } else {
    env.counters.processesInspected += list.entries;
  }
  if (actions.definitionsRead) actions.definitionsRead();
  env.counters.runningPrograms = int32_t(processes.size());
  const std::string systemDir = p.processes.systemDirectory();
  for (const RunningProcess& proc : processes) {
    ++env.counters.processesInspected;
    if (inScan) walkingStatus(env, lastName);
    if (env.host.scanCancelled()) break;
    if (!proc.path.empty() && !(actions.own && actions.own->isOwn(proc.id, proc.path))) {
      std::string path = normalizeSystemPath(toUpper(trim(proc.path)), systemDir);
      std::string exe = fileNameFromPath(path);
      if (list.paths.count(path)) {
        std::string company = readCompanyName(p.fs, path);
        if (!isSystemPublisher(company)) {
          if (env.exclusions.isFileExcluded(exe)) {
            // The results list is the last scan's: a shield tick every few seconds would
            // otherwise add a row for the same allowed program each time.
            if (inScan) env.results.addExcluded(exe);
          } else if (!iequals(trim(exe), "ThreatWatchAide.exe")) {
            reportRunningThreat(env, proc.id, exe, company, actions);
            ++env.counters.threatsFound;
          }
        }
      }
    }
    p.pump.yield();
  }
}

void checkMemory9x(ScanEnv& env, ExecutableList& list, const MemoryScanActions& actions) {
  Platform& p = env.platform;
  const bool inScan = actions.scanInProgress();
  if (!env.defs.exists(kExeDefs)) return;
  if (!list.linesLoaded()) {
    LineReader reader = env.defs.open(kExeDefs);
    list.lineList.clear();
    list.lines = 0;
    for (std::string line; reader.next(line);) {
      if (env.host.scanCancelled()) {
        list.lineList.clear();
        list.lines = 0;
        break;
      }
      std::string decoded;
      if (!decodeDefinition(line, decoded)) continue;
      list.lineList += toUpper(decoded) + "\r\n";
      ++list.lines;
      readingStatus(env, inScan, [&] { return parseExeLine(decoded).name; });
      p.pump.yield();
    }
  } else {
    env.counters.processesInspected += list.lines;
  }
  if (actions.definitionsRead) actions.definitionsRead();
  const std::string& upperList = list.lineList;
  for (const ProcessEntry& proc : p.processes.snapshot()) {
    ++env.counters.runningPrograms;
    ++env.counters.processesInspected;
    if (inScan) walkingStatus(env, "");
    if (env.host.scanCancelled()) break;
    // The platform already cuts the snapshot's fixed-size name at its terminator.
    std::string name = toUpper(trim(fileNameFromPath(proc.name)));
    const bool own = actions.own && actions.own->isOwnName(proc.id, name);
    size_t at = name.empty() || own ? std::string::npos : upperList.find(name);
    if (at != std::string::npos) {
      size_t end = upperList.find("\r\n", at);
      std::string rest = toUpper(trim(upperList.substr(at, end == std::string::npos ? std::string::npos : end - at)));
      if (rest == name) {
        std::string company = readCompanyName(p.fs, proc.name);
        if (!isSystemPublisher(company)) {
          if (env.exclusions.isFileExcluded(name)) {
            if (inScan) env.results.addExcluded(name);
          } else if (inScan) {
            if (p.processes.terminateById(proc.id, 0)) {
              env.results.addNote("Detected in the memory : " + name + " and was stopped being from ruuning.", kIconFile);
            } else {
              env.results.addNote("Detected in the memory : " + name + " could not be stopped.", kIconFile);
              ++env.counters.programsNotStopped;
            }
            ++env.counters.threatsFound;
          } else if (actions.askYesNo) {
            bool stop = actions.askYesNo(actions.productName + " has found  [" + name +
                                         "] using you system memory.Click YES to stop [" + name +
                                         "] from using your system memory. Otherwise click No.");
            if (stop) {
              p.processes.terminateById(proc.id, 0);
              ++env.counters.threatsFound;
            } else if (actions.excludeName) {
              actions.excludeName(trim(name));
            }
          }
        }
      }
    }
    p.pump.yield();
  }
}

}  // namespace

void checkMemory(ScanEnv& env, ExecutableList& list, const MemoryScanActions& actions) {
  OsVersion v = env.platform.processes.osVersion();
  if (v.platformId == kPlatform9x) checkMemory9x(env, list, actions);
  else if (v.platformId == kPlatformNt) checkMemoryNt(env, list, actions);
}

}  // namespace quillon
