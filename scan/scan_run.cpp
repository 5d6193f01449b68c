#include "scan/scan_run.h"

#include "definitions/folder_tokens.h"
#include "scan/cookie_scan.h"
#include "scan/drive_walk.h"
#include "scan/file_scan.h"
#include "scan/registry_scan.h"

namespace quillon {

namespace {
constexpr const char* kNotSelected = "Not Selected";
}

ScanOutcome ScanRun::run(const ScanOptions& options) {
  StoreLockResult taken = StoreLockResult::Failed;
  const std::unique_ptr<StoreLockHold> hold = env_.defs.lock(false, kStoreLockWaitMs, &env_.platform.pump, taken);
  // A lock file that cannot be made at all stands in a folder nobody can update either.
  if (taken == StoreLockResult::Busy) {
    ScanOutcome busy;
    busy.busy = true;
    host_.definitionsBusy(storeBusyText(env_.productName, "the definitions"));
    return busy;
  }
  env_.counters = ScanCounters{};
  env_.results.clear();
  memorySkipped_ = registrySkipped_ = false;
  ScanOutcome outcome;
  outcome.startedAt = env_.platform.clock.nowText();
  runPhases(options, outcome);
  outcome.finishedAt = env_.platform.clock.nowText();
  outcome.cancelled = host_.cancelled();
  outcome.memorySkipped = memorySkipped_;
  outcome.registrySkipped = registrySkipped_;
  const ScanCounters& c = env_.counters;
  outcome.processesText = memorySkipped_ ? kNotSelected : std::to_string(c.processesInspected);
  outcome.registryText = registrySkipped_ ? kNotSelected : std::to_string(c.registryInspected);
  outcome.filesText = std::to_string(c.filesInspected);
  return outcome;
}

void ScanRun::phase(ScanPhase phase, const std::string& caption, const std::string& prefix) {
  host_.phaseStarted(phase, caption);
  prefix_ = prefix;
}

void ScanRun::runPhases(const ScanOptions& options, ScanOutcome& outcome) {
  outcome.looked = env_.defs.check();
  if (!outcome.looked) {
    host_.definitionsMissing();
    return;
  }
  host_.barsReset();
  // The shell is asked for the special folders once per run.
  FolderTokens tokens(env_.platform.shell);
  ProtectedLocations protectedLocations(env_.platform, env_.appFolder, &env_.platform.pump);
  ScanEnv env{env_.platform, env_.defs, env_.exclusions, tokens, env_.counts, env_.counters,
              env_.results, *this, protectedLocations};
  const DefinitionCounts& counts = env_.counts;

  if (options.cookies) {
    phase(ScanPhase::Cookies, "Inspecting Cookies...", "Detecting Cookies: ");
    scanCookies(env);
    host_.cookiesDone(100, percentOf(counts.cookie, counts.total()), "Finished Inpecting Cookies");
  }

  if (options.memory) {
    phase(ScanPhase::Memory, "Inspecting memory...", "Inspecting Memory: ");
    MemoryScanActions actions;
    actions.productName = env_.productName;
    actions.scanInProgress = [] { return true; };
    actions.own = &env_.own;
    checkMemory(env, env_.exeList, actions);
  } else {
    memorySkipped_ = true;
    host_.phaseSkipped(ScanPhase::Memory);
  }

  phase(ScanPhase::Registry, "Scanning registry...", "Scanning Registry: ");
  host_.registryBars(0, percentOf(counts.cookie, counts.total()));
  if (options.registry) {
    scanRegistry(env);
  } else {
    registrySkipped_ = true;
    host_.phaseSkipped(ScanPhase::Registry);
  }

  phase(ScanPhase::KnownSpyware, "Scanning known Spyware/Adware...", "Scanning Known Spyware/Adware: ");
  scanFiles(env);
  scanDirectories(env);
  if (options.complete) {
    phase(ScanPhase::Drives, "Scanning the selected drives...", "Scanning Drives: ");
    walkDrives(env, options.driveRoots);
  }

  // The last refresh always reaches the screen, so the counters and the report show the
  // totals of the run rather than those of its last hundredth item. A stopped run did not
  // get to the end: its bars say so.
  env_.counters.statusRefreshTick = 99;
  const int bars = host_.cancelled() ? 0 : 100;
  updateScanStatus("Scan Complete", bars, bars);
}

void ScanRun::updateScanStatus(const std::string& text, int scannerPercent, int overallPercent) {
  if (++env_.counters.statusRefreshTick < 100) return;
  host_.showProgress(ScanProgress{env_.counters, memorySkipped_, registrySkipped_, text, scannerPercent, overallPercent});
  env_.counters.statusRefreshTick = 0;
}

}  // namespace quillon
