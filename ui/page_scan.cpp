#include "ui/page_scan.h"

#include <algorithm>

#include "common/text.h"
#include "definitions/definition_store.h"

namespace quillon::ui {

PageScan::PageScan(PageEnv env, Links links) : env_(env), links_(links) {
  cmdScanNow.onClick = [this] { cmdScanNow_Click(); };
  lblStart.onClick = [this] { lblStart_Click(); };
  cmdStop.onClick = [this] { cmdStop_Click(); };
  lblStop.onClick = [this] { lblStop_Click(); };
  cmdPause.onClick = [this] { cmdPause_Click(); };
  lblPause.onClick = [this] { lblPause_Click(); };
  cmdContinue.onClick = [this] { cmdContinue_Click(); };
  // Stop and Pause only while a scan runs.
  showStopAndPause(false);
  for (Label* l : {&lblStart, &lblPause, &lblStop}) l->setVisible(false);
  pgbMain.setVisible(false);
  // The way on to the results is there only once a scan has left some.
  cmdContinue.setVisible(false);
}

void PageScan::layout(int width, int height) {
  const int inner = width - 46;
  place(cmdScanNow, &frmScan, 20, 20, 100, 30);
  place(cmdPause, &frmScan, 130, 20, 100, 30);
  place(cmdStop, &frmScan, 240, 20, 100, 30);
  int y = 66;
  for (auto [cap, val] : {std::pair<Label*, Label*>{&lblMemoryCaption, &lblMemoryInspected}, {&lblRegistryCaption, &lblRegistryInspected},
                          {&lblFilesCaption, &lblFilesInspected}, {&lblSoftwareCaption, &lblSoftwareFound},
                          {&lblTracesCaption, &lblTracesFound}, {&lblRunningCaption, &lblRunningPrograms}}) {
    place(*cap, &frmScan, 40, y, 220, 20);
    place(*val, &frmScan, 270, y, std::max(120, inner - 250), 20);  // "8 to remove, 1 program stopped"
    y += 24;
  }
  if (shpPhase.layout.w == 0) place(shpPhase, &frmScan, 22, 90, 12, 12);  // it moves with the run
  place(lblPercentageCompleted, &frmScan, 20, 214, inner, 20);
  place(pgbPhase, &frmScan, 20, 238, inner, 16);
  place(pgbOverall, &frmScan, 20, 260, inner, 16);
  place(pgbMain, &frmScan, 20, 282, inner, 10);
  place(lblStatus, &frmScan, 20, 296, inner, 36);
  // The list takes what the page has left above the buttons.
  place(lvwSpywareFound, &frmScan, 20, 336, inner, height - 390);
  place(cmdContinue, &frmScan, 20, height - 46, 200, 32);
  place(lblViewLogFile, &frmScan, 240, height - 38, 120, 20);
}

void PageScan::lblStart_Click() {
  if (env_.session.busy()) return;
  env_.frame.showPage(frmScan);
  cmdScanNow_Click();
}

// "Click Here to Continue" after a scan: a scan that left nothing to remove ends here, so the
// anonymous report that a removal would send goes now.
void PageScan::cmdContinue_Click() {
  env_.frame.showPage(links_.resultsPage);
  env_.session.continueAfterScan();
}

void PageScan::prepare() {
  cmdContinue.setVisible(false);
  showStopAndPause(true);
  env_.frame.lockRedraw(true);
  for (Label* l : {&lblRegistryInspected, &lblFilesInspected, &lblMemoryInspected, &lblSoftwareFound,
                   &links_.removalCount, &lblPercentageCompleted, &lblStatus, &lblRunningPrograms})
    l->setCaption("0");
  env_.frame.lockRedraw(false);
  scanCancelled = false;
}

void PageScan::showEnd(const ScanOutcome& scan, bool reportFailed) {
  showFound(scan.found);
  cmdContinue.setVisible(true);
  cmdContinue.setEnabled(true);
  // What the scan page says agrees with what happened: a stopped run is not complete.
  if (scan.cancelled) {
    lblStatus.setCaption("Scanning was cancelled.");
    lblPercentageCompleted.setCaption("0% complete.");
    for (ProgressBar* b : {&pgbMain, &pgbPhase, &pgbOverall}) b->setValue(0);
  } else {
    lblStatus.setCaption("Scanning complete.");
    if (scan.looked) lblPercentageCompleted.setCaption("100% complete.");
    pgbPhase.setValue(100);
    pgbOverall.setValue(100);
  }
  if (reportFailed)
    lblStatus.setCaption(lblStatus.caption() + " The scan report could not be written to " + env_.session.appFolder +
                         "\\" + kReportFile + ".");
  showStopAndPause(false);
}

// The scan page and the results page say it in the same words.
void PageScan::showFound(const FoundCounts& found) {
  const std::string text = foundSummary(found);
  lblSoftwareFound.setCaption(text);
  links_.removalCount.setCaption(text);
}

void PageScan::showStopAndPause(bool on) {
  for (Control* c : {static_cast<Control*>(&cmdStop), static_cast<Control*>(&cmdPause),
                     static_cast<Control*>(&lblStop), static_cast<Control*>(&lblPause)})
    c->setEnabled(on);
}

void PageScan::pause(Control& pauseControl) {
  if (!scanning()) return;  // nothing to pause
  pauseControl.setEnabled(false);
  cmdStop.setEnabled(false);
  const std::string& name = env_.session.branding.productName;
  env_.frame.messageBox(name + " has been paused.  Click OK to resume.", name, kMbOk | kMbIconInformation);
  pauseControl.setEnabled(true);
  cmdStop.setEnabled(true);
}

void PageScan::askStop(const std::string& question) {
  if (!scanning()) return;  // nothing to stop
  if (env_.frame.messageBox(question, env_.session.branding.productName, kMbYesNo | kMbIconQuestion) == kIdYes)
    scanCancelled = true;
}

// ---- ScanRunHost: what the run tells the scan page
void PageScan::definitionsMissing() {
  links_.definitionsDate.setCaption("Files Missing, Run Live Update");
  env_.frame.messageBox(kDefinitionsMissingMessage, env_.session.branding.productName, kMbOk | kMbIconInformation);
}

void PageScan::definitionsBusy(const std::string& text) {
  env_.frame.messageBox(text, env_.session.branding.productName, kMbOk | kMbIconInformation);
}

void PageScan::barsReset() {
  pgbMain.setVisible(false);
  for (ProgressBar* b : {&pgbMain, &pgbPhase, &pgbOverall}) {
    b->setMax(100);
    b->setValue(0);
  }
}

void PageScan::phaseStarted(ScanPhase phase, const std::string& caption) {
  lblPercentageCompleted.setCaption(caption);
  if (phase == ScanPhase::Registry) shpPhase.moveTo(lblRegistryCaption.layout.x - 18, lblRegistryCaption.layout.y + 4);
  if (phase == ScanPhase::KnownSpyware) {
    pgbMain.setMax(100);
    pgbMain.setValue(0);
    shpPhase.moveTo(lblFilesCaption.layout.x - 18, lblFilesCaption.layout.y + 4);
  }
}

void PageScan::phaseSkipped(ScanPhase phase) {
  (phase == ScanPhase::Memory ? lblMemoryInspected : lblRegistryInspected).setCaption("Not Selected");
}

void PageScan::cookiesDone(int scannerPercent, int overallPercent, const std::string& status) {
  registryBars(scannerPercent, overallPercent);
  lblStatus.setCaption(status);
}

void PageScan::registryBars(int scannerPercent, int overallPercent) {
  pgbPhase.setValue(scannerPercent);
  pgbOverall.setValue(overallPercent);
}

void PageScan::showProgress(const ScanProgress& p) {
  env_.frame.lockRedraw(true);
  const ScanCounters& c = p.counters;
  if (!p.memorySkipped) lblMemoryInspected.setCaption(std::to_string(c.processesInspected));
  if (!p.registrySkipped) lblRegistryInspected.setCaption(std::to_string(c.registryInspected));
  lblFilesInspected.setCaption(std::to_string(c.filesInspected));
  showFound(foundCounts(c, env_.session.results));
  lblRunningPrograms.setCaption(std::to_string(c.runningPrograms));
  lblStatus.setCaption(FilterStatusText(p.statusText));
  if (p.scannerPercent >= 0) pgbPhase.setValue(p.scannerPercent);
  if (p.overallPercent >= 0) pgbOverall.setValue(p.overallPercent);
  env_.frame.lockRedraw(false);
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
