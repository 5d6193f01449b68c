// The scan run as the user sees it: button states, counters, bars, Pause and Stop.
#include "common/text.h"
#include "definitions/folder_tokens.h"
#include "reports/report.h"
#include "scan/drive_walk.h"
#include "shell/run_settings.h"
#include "ui/frm_main.h"

namespace quillon::ui {

void FrmMain::cmdScanNow_Click() {
  bool removeAll = false;
  if (RunScope run{*this, Run::Scan}) removeAll = runScan() && AutoDeleteAfterScan;
  if (!removeAll) return;
  // The unattended removal is a run of its own, started once the scan has ended.
  cmdRemove_Click();
  cmdSelectAll_Click();
  Command4_Click();
}

bool FrmMain::runScan() {
  BusyMark busy(platform.instanceLock, branding.productName);  // other processes see the run
  tmrScroll.setEnabled(false);
  frmDelete.setVisible(false);
  frmDelete.lstProblem.clear();
  cmdRemove.setVisible(false);
  cmdResults.setEnabled(false);
  cmdSettings.setEnabled(false);
  for (Button* b : {&cmdScan, &cmdStatus}) b->setEnabled(false);
  showStopAndPause(true);
  lockRedraw(true);
  for (Label* l : {&lblRegistryInspected, &lblFilesFolderInspected, &lblMemoryInspected, &lblSoftwareFound,
                   &lblRemovePicSoftwareFound, &lblPercentageCompleted, &lblStatus, &lblTotalNoOfRunningItems})
    l->setCaption("0");
  lockRedraw(false);
  ScanCancelled = false;
  reportFailed_ = false;

  ScanOptions options = scanOptions(settings);
  options.complete = optScanAllSelectedHardDrive.value();
  if (options.complete) options.driveRoots = checkedDriveRoots(lvwHardDrives, platform.drives);
  ScanRun scan(ScanRunEnv{platform, appFolder, branding.productName, defs, exclusions, counts, counters, results,
                          ExePathList, own_},
               *this);
  lastScan_ = scan.run(options);
  if (lastScan_.busy) {
    // Another program kept the definitions: nothing was looked at, so nothing is recorded.
    for (Button* b : {&cmdScan, &cmdStatus, &cmdResults, &cmdSettings}) b->setEnabled(true);
    showStopAndPause(false);
    return false;
  }
  ScanStartedAt = lastScan_.startedAt;
  lastRunLooked_ = lastScan_.looked;
  if (unloading_) {
    // The window was closed during the run: the program is ending, nothing more is recorded.
    showStopAndPause(false);
    return false;
  }
  recordScan(settings, lastScan_, options.complete);
  if (chkMakeLog.value() == 1) reportFailed_ = !writeScanReport(platform.fs, appFolder, branding, lastScan_, results);

  cmdRemove.setVisible(true);
  cmdRemove.setEnabled(true);
  cmdResults.setEnabled(true);
  cmdSettings.setEnabled(true);
  // What the scan page says agrees with what happened: a stopped run is not complete.
  if (lastScan_.cancelled) {
    lblStatus.setCaption("Scanning was cancelled.");
    lblPercentageCompleted.setCaption("0% complete.");
    for (ProgressBar* b : {&pbgMain, &pb1, &pb2}) b->setValue(0);
  } else {
    lblStatus.setCaption("Scanning complete.");
    if (lastScan_.looked) lblPercentageCompleted.setCaption("100% complete.");
    pb1.setValue(100);
    pb2.setValue(100);
  }
  if (reportFailed_)
    lblStatus.setCaption(lblStatus.caption() + " The scan report could not be written to " + appFolder + "\\" +
                         kReportFile + ".");
  for (Button* b : {&cmdScan, &cmdStatus}) b->setEnabled(true);
  showStopAndPause(false);
  RefreshStatusPage();
  return !lastScan_.cancelled;
}

void FrmMain::showStopAndPause(bool on) {
  for (Control* c : {static_cast<Control*>(&cmdStop), static_cast<Control*>(&cmdPause),
                     static_cast<Control*>(&lblStop), static_cast<Control*>(&lblPause)})
    c->setEnabled(on);
}

void FrmMain::lblStart_Click() {
  if (busy()) return;
  cmdScan_Click();
  cmdScanNow_Click();
}

// ---- ScanRunHost: what the run tells the scan page
void FrmMain::definitionsMissing() {
  lblDefVersion.setCaption("Files Missing, Run Live Update");
  messageBox(kDefinitionsMissingMessage, branding.productName, kMbOk | kMbIconInformation);
}

void FrmMain::definitionsBusy(const std::string& text) {
  messageBox(text, branding.productName, kMbOk | kMbIconInformation);
}

void FrmMain::barsReset() {
  pbgMain.setVisible(false);
  for (ProgressBar* b : {&pbgMain, &pb1, &pb2}) {
    b->setMax(100);
    b->setValue(0);
  }
}

void FrmMain::phaseStarted(ScanPhase phase, const std::string& caption) {
  lblPercentageCompleted.setCaption(caption);
  if (phase == ScanPhase::Registry) shpCircle.moveTo(lblRegistryCaption.layout.x - 18, lblRegistryCaption.layout.y + 4);
  if (phase == ScanPhase::KnownSpyware) {
    pbgMain.setMax(100);
    pbgMain.setValue(0);
    shpCircle.moveTo(lblFilesCaption.layout.x - 18, lblFilesCaption.layout.y + 4);
  }
}

void FrmMain::phaseSkipped(ScanPhase phase) {
  (phase == ScanPhase::Memory ? lblMemoryInspected : lblRegistryInspected).setCaption("Not Selected");
}

void FrmMain::cookiesDone(int scannerPercent, int overallPercent, const std::string& status) {
  pb1.setValue(scannerPercent);
  pb2.setValue(overallPercent);
  lblStatus.setCaption(status);
}

void FrmMain::registryBars(int scannerPercent, int overallPercent) {
  pb1.setValue(scannerPercent);
  pb2.setValue(overallPercent);
}

void FrmMain::showProgress(const ScanProgress& p) {
  lockRedraw(true);
  const ScanCounters& c = p.counters;
  if (!p.memorySkipped) lblMemoryInspected.setCaption(std::to_string(c.processesInspected));
  if (!p.registrySkipped) lblRegistryInspected.setCaption(std::to_string(c.registryInspected));
  lblFilesFolderInspected.setCaption(std::to_string(c.filesInspected));
  lblSoftwareFound.setCaption(std::to_string(c.threatsFound));
  lblTotalNoOfRunningItems.setCaption(std::to_string(c.runningPrograms));
  lblStatus.setCaption(FilterStatusText(p.statusText));
  // The results page counts its own rows: a program the scan stopped has none there.
  lblRemovePicSoftwareFound.setCaption(std::to_string(results.removalCount()));
  if (p.scannerPercent >= 0) pb1.setValue(p.scannerPercent);
  if (p.overallPercent >= 0) pb2.setValue(p.overallPercent);
  lockRedraw(false);
}

void FrmMain::scanMemory(ScanEnv& env, std::function<void()> definitionsRead) {
  MemoryScanActions actions;
  actions.definitionsRead = std::move(definitionsRead);
  actions.productName = branding.productName;
  actions.scanInProgress = [this] { return scanInProgress(); };
  actions.reportOutsideScan = [this](uint32_t pid, const std::string& name, const std::string& company) {
    memoryShield.report(pid, name, company);
  };
  actions.askYesNo = [this](const std::string& question) {
    return messageBox(question, branding.productName + "  - Alert", kMbYesNo) == kIdYes;
  };
  actions.excludeName = [this](const std::string& name) { exclusions.add(name); };
  actions.own = &own_;
  checkMemory(env, ExePathList, actions);
  lblTotalNoOfRunningItems.setCaption(std::to_string(env.counters.runningPrograms));
}

void FrmMain::CheckMemory() {
  // Between scans the shield skips a turn rather than wait for an update of another program,
  // and lets the definitions go once it has read them: its alerts wait for the user.
  StoreLockResult taken = StoreLockResult::Failed;
  std::unique_ptr<StoreLockHold> hold = defs.lock(false, 0, nullptr, taken);
  if (taken == StoreLockResult::Busy) return;
  FolderTokens tokens(platform.shell);
  ProtectedLocations protectedLocations(platform, appFolder);
  ScanEnv env = scanEnv(tokens, protectedLocations);
  scanMemory(env, [&hold] { hold.reset(); });
}

ScanEnv FrmMain::scanEnv(const FolderTokens& tokens, const ProtectedLocations& protectedLocations) {
  return ScanEnv{platform, defs, exclusions, tokens, counts, counters, results, *this, protectedLocations};
}

void FrmMain::pause(Control& pauseControl) {
  if (!scanInProgress()) return;  // nothing to pause
  pauseControl.setEnabled(false);
  cmdStop.setEnabled(false);
  messageBox(branding.productName + " has been paused.  Click OK to resume.", branding.productName,
             kMbOk | kMbIconInformation);
  pauseControl.setEnabled(true);
  cmdStop.setEnabled(true);
}

void FrmMain::cmdPause_Click() { pause(cmdPause); }
void FrmMain::lblPause_Click() { pause(lblPause); }

void FrmMain::askStop(const std::string& question) {
  if (!scanInProgress()) return;  // nothing to stop
  if (messageBox(question, branding.productName, kMbYesNo | kMbIconQuestion) == kIdYes) ScanCancelled = true;
}

void FrmMain::cmdStop_Click() { askStop("Are you sure you want to stop the scan?"); }
void FrmMain::lblStop_Click() { askStop("Are you sure?"); }

void FrmMain::RefreshStatusPage() {
  lblDefCount.setCaption(groupDigits(DefinitionCount));
  lblVersion.setCaption(std::to_string(branding.major) + "." + std::to_string(branding.minor));
  lblDefVersion.setCaption(defs.readDate() + " PST");
  lblDefRemoved.setCaption(settings.read(keys::lblDefRemoved));
  lblLastScan.setCaption(settings.read(keys::lblLastScan));
  lblLastFullScan.setCaption(settings.read(keys::lblLastFullScan));
}

void FrmMain::SetBackgroundTimers(bool enable) {
  // A run that ends after the window was closed turns nothing back on in a program that is going.
  const bool on = enable && !busy() && !unloading_;
  const bool away = outOfTheWay();
  auto scheduled = settings.readNumber(keys::chkAutomaticScanYesOrNo);
  tmrScheduler.setEnabled(on && away && scheduled && *scheduled != 0);
  tmrMemoryInspected.setEnabled(on && away && settings.isOn(keys::optMemorySheildOn));
  tmrCheckHomePage.setEnabled(on && settings.isOn(keys::optIEHomePageSheildOn));
}

std::string FilterStatusText(const std::string& text) {
  // Words that must never appear in the status line, whatever a definition file carries.
  // Applied in this order, anywhere in the text (also inside longer words); "fuck" is listed
  // twice on purpose, so a second pass catches what the first removal joined together.
  static const char* const kWords[] = {
      "fuck",     "shit",      "piss",      "cunt",     "cock",     "dick",     "pussy",
      "bitch",    "bastard",   "butt",      "whore",    "slut",     "wank",     "twat",
      "bollock",  "bugger",    "arsehole",  "asshole",  "motherf",  "jerkoff",  "blowjob",
      "handjob",  "rimjob",    "dildo",     "vibrator", "porn",     "xxx",      "nude",
      "naked",    "horny",     "orgasm",    "ejaculat", "erection", "penis",    "vagina",
      "fuck",     "testicle",  "scrotum",   "boob",     "nipple",   "fellatio", "cunnilingus"};
  std::string out = text;
  for (const char* w : kWords) out = ireplaceAll(std::move(out), w, "");
  return out;
}

}  // namespace quillon::ui
