// One scan run from start to end, all of it over one definition set (it holds the set's lock,
// shared, so that no update of another program lands half-way): the definition check, the
// phases in their fixed order with
// their captions, status prefixes and percentages, the complete scan's walk of the drives, the
// counters and the status shown every hundredth item. The desktop window and the console both
// start this run and show what its host is told; neither keeps a copy of the sequence.
#pragma once
#include <string>
#include <vector>

#include "scan/found_summary.h"
#include "scan/memory_scan.h"
#include "scan/scan_state.h"

namespace quillon {

// What the user is told when the definition files are missing or damaged.
constexpr const char* kDefinitionsMissingMessage =
    "Definition files are missing or they have been corrupted. Please run Liveupdate.";

// The phases, in the order they run.
enum class ScanPhase { Cookies, Memory, Registry, KnownSpyware, Drives };

struct ScanOptions {
  bool cookies = true, memory = true, registry = true;
  // A complete system scan: the quick scan, then a walk of `driveRoots`.
  bool complete = false;
  std::vector<std::string> driveRoots;
};

// What the counters, the status line and the bars show at a refresh.
struct ScanProgress {
  const ScanCounters& counters;
  bool memorySkipped, registrySkipped;  // those counters then say "Not Selected"
  std::string statusText;               // the phase and the item, as the scanner said it
  int scannerPercent, overallPercent;   // -1: that bar stays as it is
};

// What a run tells whoever shows it and asks of them. Doing nothing is a sound answer to each.
class ScanRunHost {
 public:
  virtual ~ScanRunHost() = default;
  // The definition files are missing or damaged: the run looks at nothing.
  virtual void definitionsMissing() {}
  // Another program kept the definition set past the wait (`text` says so): the run looks at
  // nothing and changes nothing.
  virtual void definitionsBusy(const std::string& text) {}
  // The bars start afresh at the first phase.
  virtual void barsReset() {}
  // A phase begins; `caption` is what the percentage label says during it.
  virtual void phaseStarted(ScanPhase, const std::string& caption) {}
  // The memory or registry phase is switched off: its counter says "Not Selected".
  virtual void phaseSkipped(ScanPhase) {}
  // The cookie phase has ended: the bars and the status line as it leaves them.
  virtual void cookiesDone(int scannerPercent, int overallPercent, const std::string& status) {}
  // Before the registry phase, whether it runs or not.
  virtual void registryBars(int scannerPercent, int overallPercent) {}
  // Every hundredth item of the run, and once at its end with the totals.
  virtual void showProgress(const ScanProgress&) {}
  // Polled before each item: true once the user has stopped the run.
  virtual bool cancelled() const { return false; }
};

struct ScanRunEnv {
  Platform& platform;
  std::string appFolder, productName;
  DefinitionStore& defs;
  const ExclusionList& exclusions;
  const DefinitionCounts& counts;
  ScanCounters& counters;          // set to zero at the start; the run's totals at its end
  ScanResults& results;            // emptied at the start
  ExecutableList& exeList;         // the memory phase's definitions, kept between runs
  const OwnPrograms& own;          // never reported, never stopped
};

struct ScanOutcome {
  bool looked = false;      // the definitions were there: the run looked
  bool busy = false;        // another program kept the definitions: the run did not look
  bool cancelled = false;   // stopped by the user before its end
  bool memorySkipped = false, registrySkipped = false;
  std::string startedAt, finishedAt;  // the clock's text just before and after the phases
  // The counters as shown: a number, or "Not Selected" for a phase that was switched off.
  std::string processesText, registryText, filesText;
  FoundCounts found;  // what the run found, as its end left it
};

class ScanRun : private ScanHost {
 public:
  ScanRun(ScanRunEnv env, ScanRunHost& host) : env_(std::move(env)), host_(host) {}
  ScanOutcome run(const ScanOptions& options);

 private:
  // ScanHost, for the scanners: progress through the hundredth-item refresh, the run's prefix.
  void updateScanStatus(const std::string& text, int scannerPercent, int overallPercent) override;
  bool statusDue() const override { return env_.counters.statusRefreshTick + 1 >= 100; }
  bool scanCancelled() const override { return host_.cancelled(); }
  const std::string& statusPrefix() const override { return prefix_; }

  void phase(ScanPhase phase, const std::string& caption, const std::string& prefix);
  void runPhases(const ScanOptions& options, ScanOutcome& outcome);

  ScanRunEnv env_;
  ScanRunHost& host_;
  std::string prefix_;
  bool memorySkipped_ = false, registrySkipped_ = false;
};

}  // namespace quillon
