// The scan run as the user sees it: button states, counters, bars, Pause and Stop.
#include "common/text.h"
#include "definitions/folder_tokens.h"
#include "reports/report.h"
#include "scan/cookie_scan.h"
#include "scan/drive_walk.h"
#include "scan/file_scan.h"
#include "scan/registry_scan.h"
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
  for (Control* c : {static_cast<Control*>(&cmdStop), static_cast<Control*>(&cmdPause),
                     static_cast<Control*>(&lblStop), static_cast<Control*>(&lblPause)})
    c->setEnabled(true);

  lockRedraw(true);
  for (Label* l : {&lblRegistryInspected, &lblFilesFolderInspected, &lblMemoryInspected, &lblSoftwareFound,
                   &lblRemovePicSoftwareFound, &lblPercentageCompleted, &lblStatus,
                   &lblTotalNoOfRunningItems})
    l->setCaption("0");
  counters = ScanCounters{};
  results.clear();
  lockRedraw(false);

  ScanCancelled = false;
  reportFailed_ = false;
  ScanStartedAt = platform.clock.nowText();
  RunScanners();
  ScanFinishedAt = platform.clock.nowText();
  auto idleControls = [this] {
    for (Control* c : {static_cast<Control*>(&cmdStop), static_cast<Control*>(&cmdPause),
                       static_cast<Control*>(&lblStop), static_cast<Control*>(&lblPause)})
      c->setEnabled(false);
  };
  if (unloading_) {
    // The window was closed during the run: the program is ending, nothing more is recorded.
    idleControls();
    return false;
  }

  settings.write(keys::lblLastScan, ScanFinishedAt);
  if (optScanAllSelectedHardDrive.value()) settings.write(keys::lblLastFullScan, ScanFinishedAt);
  if (chkMakeLog.value() == 1) reportFailed_ = !MakeReport();

  cmdRemove.setVisible(true);
  cmdRemove.setEnabled(true);
  cmdResults.setEnabled(true);
  cmdSettings.setEnabled(true);
  if (ScanCancelled) {
    lblStatus.setCaption("Scanning was cancelled.");
    lblPercentageCompleted.setCaption("0% complete.");
    pbgMain.setValue(0);
  } else {
    lblStatus.setCaption("Scanning complete.");
    pb1.setValue(100);
    pb2.setValue(100);
  }
  if (reportFailed_)
    lblStatus.setCaption(lblStatus.caption() + " The scan report could not be written to " + appFolder + "\\" +
                         kReportFile + ".");
  for (Button* b : {&cmdScan, &cmdStatus}) b->setEnabled(true);
  idleControls();
  RefreshStatusPage();
  return !ScanCancelled;
}

void FrmMain::lblStart_Click() {
  if (busy()) return;
  cmdScan_Click();
  cmdScanNow_Click();
}

void FrmMain::RunScanners() {
  lastRunLooked_ = defs.check();
  if (!lastRunLooked_) {
    lblDefVersion.setCaption("Files Missing, Run Live Update");
    messageBox("Definition files are missing or they have been corrupted. Please run Liveupdate.",
               branding.productName, kMbOk | kMbIconInformation);
    return;
  }
  pbgMain.setVisible(false);
  for (ProgressBar* b : {&pbgMain, &pb1, &pb2}) {
    b->setMax(100);
    b->setValue(0);
  }
  // The shell is asked for the special folders once per run.
  FolderTokens tokens(platform.shell);
  ProtectedLocations protectedLocations(platform.fs, platform.shell, platform.processes, appFolder);
  ScanEnv env = scanEnv(tokens, protectedLocations);

  auto cookiesOn = settings.readNumber(keys::chkScanCookies);
  if (cookiesOn && *cookiesOn == 1) {
    lblPercentageCompleted.setCaption("Inspecting Cookies...");
    StatusPrefix = "Detecting Cookies: ";
    scanCookies(env);
    pb1.setValue(100);
    pb2.setValue(percentOf(counts.cookie, DefinitionCount));
    lblStatus.setCaption("Finished Inpecting Cookies");
  }

  if (settings.isOn(keys::chkSweepMemory)) {
    lblPercentageCompleted.setCaption("Inspecting memory...");
    StatusPrefix = "Inspecting Memory: ";
    scanMemory(env);
  } else {
    lblMemoryInspected.setCaption("Not Selected");
  }

  lblPercentageCompleted.setCaption("Scanning registry...");
  StatusPrefix = "Scanning Registry: ";
  pb1.setValue(0);
  pb2.setValue(percentOf(counts.cookie, DefinitionCount));
  if (settings.isOn(keys::chkScanRegistry)) {
    shpCircle.moveTo(lblRegistryCaption.layout.x - 18, lblRegistryCaption.layout.y + 4);
    scanRegistry(env);
  } else {
    lblRegistryInspected.setCaption("Not Selected");
  }

  pbgMain.setMax(100);
  pbgMain.setValue(0);
  lblPercentageCompleted.setCaption("Scanning known Spyware/Adware...");
  StatusPrefix = "Scanning Known Spyware/Adware: ";
  shpCircle.moveTo(lblFilesCaption.layout.x - 18, lblFilesCaption.layout.y + 4);
  scanFiles(env);
  scanDirectories(env);
  if (optScanAllSelectedHardDrive.value()) {
    lblPercentageCompleted.setCaption("Scanning the selected drives...");
    StatusPrefix = "Scanning Drives: ";
    walkDrives(env, checkedDriveRoots(lvwHardDrives, platform.drives));
  }

  // The last call always reaches the screen, so the counters and the report show the totals
  // of the run rather than those of its last hundredth item.
  counters.statusRefreshTick = 99;
  UpdateScanStatus("Scan Complete", 100, 100);
}

void FrmMain::scanMemory(ScanEnv& env) {
  MemoryScanActions actions;
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
  checkMemory(env, ExePathList, lblTotalNoOfRunningItems, actions);
}

void FrmMain::CheckMemory() {
  FolderTokens tokens(platform.shell);
  ProtectedLocations protectedLocations(platform.fs, platform.shell, platform.processes, appFolder);
  ScanEnv env = scanEnv(tokens, protectedLocations);
  scanMemory(env);
}

ScanEnv FrmMain::scanEnv(const FolderTokens& tokens, const ProtectedLocations& protectedLocations) {
  return ScanEnv{platform, defs, exclusions, tokens, counts, counters, results, *this, protectedLocations};
}

void FrmMain::UpdateScanStatus(const std::string& text, int scannerPercent, int overallPercent) {
  if (++counters.statusRefreshTick < 100) return;
  lockRedraw(true);
  // A phase that was switched off keeps saying so.
  auto show = [](Label& l, int32_t n) {
    if (l.caption() != "Not Selected") l.setCaption(std::to_string(n));
  };
  show(lblMemoryInspected, counters.processesInspected);
  show(lblRegistryInspected, counters.registryInspected);
  lblFilesFolderInspected.setCaption(std::to_string(counters.filesInspected));
  lblSoftwareFound.setCaption(std::to_string(counters.threatsFound));
  lblStatus.setCaption(FilterStatusText(text));
  lblRemovePicSoftwareFound.setCaption(std::to_string(counters.threatsFound));
  if (scannerPercent >= 0) pb1.setValue(scannerPercent);
  if (overallPercent >= 0) pb2.setValue(overallPercent);
  lockRedraw(false);
  counters.statusRefreshTick = 0;
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
