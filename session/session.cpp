#include "session/session.h"

#include "definitions/folder_tokens.h"
#include "reports/report.h"
#include "scan/drive_walk.h"
#include "session/run_settings.h"
#include "shell/app_folder.h"
#include "shell/server_addresses.h"
#include "update/definition_merge.h"
#include "update/signed_update.h"

namespace quillon {

Session::Session(Platform& p, std::string exe, Branding b)
    : platform(p),
      exePath(std::move(exe)),
      appFolder(appFolderOf(exePath)),
      branding(std::move(b)),
      settings(p.registry, p.dialogs, branding.productName, branding.companyName),
      defs(p.fs, appFolder),
      exclusions(p.fs, p.pump, appFolder + "\\" + kExclusionFile),
      own(ownPrograms(p.processes, exePath, appFolder)),
      restorePoints(p.restore),
      publisherKeys(builtInPublisherKeys()),
      merge([this](const DefinitionUpdate& update, MergeStatus& status) {
        return applyDefinitionUpdate(platform.fs, platform.signatures, appFolder, update, status);
      }) {}

bool Session::load() {
  // The program acts only on its own folder: one it could not get whole, or could not use with
  // the classic file functions, ends it here before anything is read or written.
  if (std::string problem = appFolderProblem(exePath, branding.productName); !problem.empty()) {
    platform.dialogs.messageBox(problem, branding.productName, kMbOk | kMbIconError);
    return false;
  }
  prepareDefinitions(platform.fs, appFolder, defs);
  counts = defs.count();
  exclusions.load();
  return true;
}

const std::vector<ListedDrive>& Session::drives() {
  // Drives that appear later are not added: the list is made once per program run.
  if (!drivesListed_) {
    drives_ = listedDrives(platform.drives, platform.pump);
    drivesListed_ = true;
  }
  return drives_;
}

// ---- one operation at a time -------------------------------------------------------------------
Session::Scope::Scope(Session& s, Operation operation) : session_(s), held_(!s.busy() && !s.ending_) {
  if (!held_) return;
  session_.running_ = operation;
  if (session_.onOperationChanged) session_.onOperationChanged();
}

Session::Scope::~Scope() {
  if (!held_) return;
  session_.running_ = Operation::None;
  if (session_.onOperationChanged) session_.onOperationChanged();
}

void Session::end() {
  ending_ = true;
  // A Live Update waiting on the server ends now: nothing more is fetched or merged.
  platform.http.abandonAll();
}

// ---- the operations ------------------------------------------------------------------------------
ScanOutcome Session::scan(bool complete, ScanRunHost& host) {
  BusyMark busy(platform.instanceLock, branding.productName);  // other processes see the run
  reportFailed = false;
  ScanOptions options = scanOptions(settings);
  options.complete = complete;
  if (complete) options.driveRoots = storedDriveRoots(settings, drives(), platform.drives);
  ScanRun run(ScanRunEnv{platform, appFolder, branding.productName, defs, exclusions, counts, counters, results,
                         exeList, own},
              host);
  lastScan = run.run(options);
  lastScan.found = foundCounts(counters, results);
  // Nothing was looked at, or the program ended during the run: nothing is recorded.
  if (lastScan.busy || ending_) return lastScan;
  recordScan(settings, lastScan, complete);
  reportFailed = reportWanted(settings) && !writeScanReport(platform.fs, appFolder, branding, lastScan, results);
  return lastScan;
}

void Session::continueAfterScan() {
  if (results.removalCount() == 0 && sendDataWanted(settings)) sendAnonymousReport();
}

RemovalRunOutcome Session::remove(const RemovalOptions& options, RemovalRunHost& host) {
  RemovalRun run(RemovalRunEnv{platform, appFolder, results, restorePoints, own}, host);
  const RemovalRunOutcome outcome = run.run(options);
  if (!outcome.refused.empty()) lastRemoval = outcome.items;  // what stayed, and why
  if (!outcome.ran) return outcome;
  lastRemoval = outcome.items;
  addToRemovedTotal(settings, outcome.items.removed.size());
  if (sendDataWanted(settings)) sendAnonymousReport();
  return outcome;
}

void Session::excludeChecked() {
  exclusions.addAll(results.checkedExclusionEntries());
  results.removeChecked();
}

namespace {
// The merge's progress has nobody to show it to; the loop still gets its turns.
class QuietMerge : public MergeStatus {
 public:
  explicit QuietMerge(Pump& pump) : pump_(pump) {}
  void show(const std::string&) override {}
  void yield() override { pump_.yield(); }

 private:
  Pump& pump_;
};
}  // namespace

LiveUpdateRunOutcome Session::update(MergeStatus* shown, std::function<void(const std::string&)> fetchStatus,
                                     FetchProgress fetchProgress) {
  QuietMerge quiet(platform.pump);
  MergeStatus& status = shown ? *shown : quiet;
  auto apply = [this, &status](const DefinitionUpdate& update) {
    if (ending_) {  // the user exited while the text came: the definitions stay
      MergeOutcome nothing;
      nothing.problem = "the program is closing";
      return nothing;
    }
    return merge(update, status);
  };
  LiveUpdateRunEnv env{platform, defs, counts, exeList, apply, std::move(fetchStatus), std::move(fetchProgress)};
  const LiveUpdateRunOutcome outcome = runLiveUpdate(env, liveUpdateOptions(settings, branding, publisherKeys));
  lastUpdate = outcome.result;
  return outcome;
}

SubmissionOutcome Session::submit(const std::string& name) {
  return submitFileName(platform.http, platform.pump, dataServer(settings), name);
}

void Session::sendAnonymousReport() { quillon::sendAnonymousReport(platform, dataServer(settings)); }

ScheduledOutcome Session::scheduledScan(bool deleteFound, ScanRunHost& scanHost, RemovalRunHost& removalHost) {
  ScheduledOutcome out;
  {
    Scope scope(*this, Operation::Scan);
    if (!scope) return out;
    out.scanned = true;
    out.cancelled = scan(completeScanChosen(settings), scanHost).cancelled;
  }
  if (!deleteFound || out.cancelled || ending_) return out;
  // What "Click Here to Continue", "Select All" and "Delete" do, without the question: the
  // removal is a run of its own, started once the scan has ended.
  continueAfterScan();
  Scope scope(*this, Operation::Removal);
  if (!scope) return out;
  results.checkAll();
  lastRemoval = {};
  remove(RemovalOptions{true, false, branding.productName}, removalHost);
  out.removal = lastRemoval;
  return out;
}

bool Session::inspectMemory(MemoryScanActions actions) {
  // The definitions are let go once they are read: the shield's alerts wait for the user.
  StoreLockResult taken = StoreLockResult::Failed;
  std::unique_ptr<StoreLockHold> hold = defs.lock(false, 0, nullptr, taken);
  if (taken == StoreLockResult::Busy) return false;
  actions.definitionsRead = [&hold] { hold.reset(); };
  actions.scanInProgress = [] { return false; };
  actions.own = &own;
  // Between scans nothing shows progress, and nothing stops the look but its own end.
  class Quiet : public ScanHost {
   public:
    void updateScanStatus(const std::string&, int, int) override {}
    bool statusDue() const override { return false; }
    bool scanCancelled() const override { return false; }
    const std::string& statusPrefix() const override { return prefix_; }

   private:
    const std::string prefix_;
  } quiet;
  FolderTokens tokens(platform.shell);
  ProtectedLocations protectedLocations(platform, appFolder);
  ScanEnv env{platform, defs, exclusions, tokens, counts, counters, results, quiet, protectedLocations};
  checkMemory(env, exeList, actions);
  return true;
}

// ---- hosts of a face without progress ---------------------------------------------------------
void BoxScanHost::definitionsMissing() {
  session_.platform.dialogs.messageBox(kDefinitionsMissingMessage, session_.branding.productName,
                                       kMbOk | kMbIconInformation);
}

void BoxScanHost::definitionsBusy(const std::string& text) {
  session_.platform.dialogs.messageBox(text, session_.branding.productName, kMbOk | kMbIconInformation);
}

void BoxRemovalHost::nothingChecked() {
  session_.platform.dialogs.messageBox(kNothingCheckedMessage, session_.branding.productName,
                                       kMbOk | kMbIconInformation);
}

void BoxRemovalHost::refused(const std::string& text) {
  session_.platform.dialogs.messageBox(text, session_.branding.productName, kMbOk | kMbIconExclamation);
}

bool BoxRemovalHost::confirm(const std::string& question, const std::string& title) {
  return session_.platform.dialogs.messageBox(question, title, kMbYesNo) == kIdYes;
}

}  // namespace quillon
