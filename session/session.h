// What outlives one operation of the program, and the operations themselves: the settings, the
// definitions and their counts, the exclusion list, the counters and the results of the last
// scan, the memory scan's list, the program's own processes, the restore points and what the
// last scan, removal and Live Update came to. The desktop window and the console each hold one
// session and only present it: they start the same operations, which take the same decisions
// from the same stored settings.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "definitions/definition_store.h"
#include "definitions/exclusions.h"
#include "removal/removal_run.h"
#include "scan/drive_walk.h"
#include "reports/submission.h"
#include "scan/memory_scan.h"
#include "scan/scan_run.h"
#include "system/settings.h"
#include "system/system_tasks.h"
#include "update/update_run.h"

namespace quillon {

// What runs now; one at a time. Quarantine: a window over the quarantine is open and may change it.
enum class Operation { None, Scan, Removal, Exclusion, LiveUpdate, Submission, ShieldTick, Quarantine };

// What a scheduled scan that removes what it finds came to.
struct ScheduledOutcome {
  bool scanned = false;     // the scan ran (nothing else was running)
  bool cancelled = false;   // the scan was stopped before its end
  RemovalOutcome removal;   // what its removal removed and could not remove
};

class Session {
 public:
  Session(Platform& platform, std::string exePath, Branding branding);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // ---- start
  // Prepares the application folder as every start does: an interrupted update completed (or
  // left to the program making it), a waiting download installed, the shipped set adopted, the
  // definitions counted and the exclusion list read. False, and said through a message box,
  // when the program cannot use its folder.
  bool load();

  // ---- one operation at a time
  Operation running() const { return running_; }
  bool busy() const { return running_ != Operation::None; }
  // Holds one operation for its scope; false (and nothing held) when one runs already or the
  // program is ending.
  class Scope {
   public:
    Scope(Session& session, Operation operation);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    explicit operator bool() const { return held_; }

   private:
    Session& session_;
    bool held_;
  };
  // Told whenever an operation starts or ends, so that a face can show what may start now.
  std::function<void()> onOperationChanged;
  // The program is ending: a scan stops at its next item, a transfer is given up, and nothing
  // more is recorded or started.
  void end();
  bool ending() const { return ending_; }

  // ---- the operations; each expects the caller to hold its Scope
  // The scan "Start" runs: the phases the options switch on, and with `complete` the walk of
  // the drives whose stored choice is on. Records the last scan and writes the report as the
  // options say (`reportFailed` when it could not be written).
  ScanOutcome scan(bool complete, ScanRunHost& host);
  // "Click Here to Continue" after a scan: with nothing to remove, the anonymous report that a
  // removal would have sent goes now.
  void continueAfterScan();
  // The removal of the checked findings, then the running total and the anonymous report.
  RemovalRunOutcome remove(const RemovalOptions& options, RemovalRunHost& host);
  // The checked findings onto the exclusion list (one write), and their rows off the lists.
  void excludeChecked();
  // Live Update, the progress of the fetch and of the merge going to `fetchStatus` and
  // `status` (nowhere when not given); the definitions are counted again.
  LiveUpdateRunOutcome update(MergeStatus* status = nullptr, std::function<void(const std::string&)> fetchStatus = nullptr,
                              FetchProgress fetchProgress = nullptr);
  SubmissionOutcome submit(const std::string& name);
  void sendAnonymousReport();
  // A scheduled scan; with `deleteFound`, then the removal of everything it found, unasked.
  // The scan is the type the options page chose.
  ScheduledOutcome scheduledScan(bool deleteFound, ScanRunHost& scanHost, RemovalRunHost& removalHost);
  // The memory shield's look at the running programs between scans, with what it does about a
  // listed one; false when another program's update kept the definitions (the look waits for
  // the next turn rather than for that update).
  bool inspectMemory(MemoryScanActions actions);

  // ---- what outlives one operation
  Platform& platform;
  const std::string exePath, appFolder;
  const Branding branding;
  Settings settings;
  DefinitionStore defs;
  ExclusionList exclusions;
  DefinitionCounts counts;
  ScanCounters counters;
  ScanResults results;
  ExecutableList exeList;  // the memory scan's definitions, read once per program run
  OwnPrograms own;
  RestorePoints restorePoints;
  // The keys whose signatures on an update are the publisher's: those built in.
  std::vector<std::string> publisherKeys;
  // How an update is applied to the definition files (with its new date, both or neither).
  std::function<MergeOutcome(const DefinitionUpdate& update, MergeStatus& status)> merge;
  // The drives of the machine, listed once per program run.
  const std::vector<ListedDrive>& drives();

  ScanOutcome lastScan;
  RemovalOutcome lastRemoval;
  LiveUpdateResult lastUpdate;
  bool reportFailed = false;  // the last scan was to write its report and could not

 private:
  Operation running_ = Operation::None;
  bool ending_ = false;
  bool drivesListed_ = false;
  std::vector<ListedDrive> drives_;
};

// The scan run's host for a face that shows no progress: the definitions' problems are said
// through the platform's message boxes. The console's, and the self-test's.
class BoxScanHost : public ScanRunHost {
 public:
  explicit BoxScanHost(Session& session) : session_(session) {}
  void definitionsMissing() override;
  void definitionsBusy(const std::string& text) override;

 private:
  Session& session_;
};

// The removal run's host for such a face: its questions go to the platform's message boxes.
class BoxRemovalHost : public RemovalRunHost {
 public:
  explicit BoxRemovalHost(Session& session) : session_(session) {}
  void nothingChecked() override;
  bool confirm(const std::string& question, const std::string& title) override;
  void refused(const std::string& text) override;

 private:
  Session& session_;
};

}  // namespace quillon
