#include "app/console_session.h"

#include "definitions/shipped_definitions.h"
#include "reports/report.h"
#include "reports/submission.h"
#include "scan/drive_walk.h"
#include "shell/app_folder.h"
#include "shell/run_settings.h"
#include "shell/server_addresses.h"
#include "update/signed_update.h"

namespace quillon {

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

ConsoleSession::ConsoleSession(Platform& p, std::string exe, Branding b)
    : platform(p),
      exePath(std::move(exe)),
      appFolder(appFolderOf(exePath)),
      branding(std::move(b)),
      settings(p.registry, p.dialogs, branding.productName, branding.companyName),
      defs(p.fs, appFolder),
      exclusions(p.fs, p.pump, appFolder + "\\" + kExclusionFile),
      own_(ownPrograms(p.processes, exePath, appFolder)),
      restorePoints_(p.restore) {}

bool ConsoleSession::load() {
  if (std::string problem = appFolderProblem(exePath, branding.productName); !problem.empty()) {
    platform.dialogs.messageBox(problem, branding.productName, kMbOk | kMbIconError);
    return false;
  }
  prepareDefinitions(platform.fs, appFolder, defs);
  counts = defs.count();
  exclusions.load();
  return true;
}

ScanOutcome ConsoleSession::scan(bool complete) {
  BusyMark busy(platform.instanceLock, branding.productName);  // other processes see the run
  ScanOptions options = scanOptions(settings);
  options.complete = complete;
  if (complete) options.driveRoots = storedDriveRoots(settings, listedDrives(platform.drives, platform.pump), platform.drives);
  ScanRun run(ScanRunEnv{platform, appFolder, branding.productName, defs, exclusions, counts, counters, results,
                         exeList_, own_},
              *this);
  const ScanOutcome outcome = run.run(options);
  if (outcome.busy) return outcome;  // nothing was looked at: nothing is recorded
  recordScan(settings, outcome, complete);
  reportFailed = reportWanted(settings) && !writeScanReport(platform.fs, appFolder, branding, outcome, results);
  return outcome;
}

RemovalRunOutcome ConsoleSession::removeAll() {
  results.checkAll();
  RemovalRun run(RemovalRunEnv{platform, appFolder, results, restorePoints_, own_}, *this);
  const RemovalRunOutcome outcome = run.run(RemovalOptions{true, true, branding.productName});
  if (!outcome.ran) return outcome;
  addToRemovedTotal(settings, outcome.items.removed.size());
  if (sendDataWanted(settings)) sendAnonymousReport(platform, dataServer(settings));
  return outcome;
}

LiveUpdateRunOutcome ConsoleSession::update(std::vector<std::string> publisherKeys) {
  auto merge = [this](const DefinitionUpdate& update) {
    QuietMerge status(platform.pump);
    return applyDefinitionUpdate(platform.fs, platform.signatures, appFolder, update, status);
  };
  LiveUpdateRunEnv env{platform, defs, counts, exeList_, merge, nullptr};
  return runLiveUpdate(env, liveUpdateOptions(settings, branding, std::move(publisherKeys)));
}

void ConsoleSession::definitionsMissing() {
  platform.dialogs.messageBox(kDefinitionsMissingMessage, branding.productName, kMbOk | kMbIconInformation);
}

void ConsoleSession::definitionsBusy(const std::string& text) {
  platform.dialogs.messageBox(text, branding.productName, kMbOk | kMbIconInformation);
}

void ConsoleSession::nothingChecked() {
  platform.dialogs.messageBox("No entries are selected.  You must check the box next to at least one item in the list.",
                              branding.productName, kMbOk | kMbIconInformation);
}

void ConsoleSession::refused(const std::string& text) {
  platform.dialogs.messageBox(text, branding.productName, kMbOk | kMbIconExclamation);
}

bool ConsoleSession::confirm(const std::string& question, const std::string& title) {
  return platform.dialogs.messageBox(question, title, kMbYesNo) == kIdYes;
}

}  // namespace quillon
