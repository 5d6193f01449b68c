// The scan page: Start, Pause and Stop, the counters, the bars, what the run found, and the way
// on to the results. It shows what a scan run tells its host.
#pragma once
#include "scan/scan_run.h"
#include "ui/main_page.h"

namespace quillon::ui {

class PageScan : public ScanRunHost {
 public:
  // What the scan page shows on other pages: the definitions' date (missing files) and the
  // count of what can be removed; and the page "Click Here to Continue" leads to.
  struct Links {
    Label& definitionsDate;
    Label& removalCount;
    Frame& resultsPage;
  };
  PageScan(PageEnv env, Links links);
  void layout(int width, int height);

  void cmdScanNow_Click() { env_.frame.startScan(); }
  void lblStart_Click();
  void cmdStop_Click() { askStop("Are you sure you want to stop the scan?"); }
  void lblStop_Click() { askStop("Are you sure?"); }
  void cmdPause_Click() { pause(cmdPause); }
  void lblPause_Click() { pause(lblPause); }
  void cmdContinue_Click();

  // Counters at zero, Stop and Pause on: a run begins.
  void prepare();
  // What the page says once the run has ended (neither kept from starting nor closed under it).
  void showEnd(const ScanOutcome& scan, bool reportFailed);
  void showStopAndPause(bool on);
  void showFound(const FoundCounts& found);
  // Set by Stop (and by the window closing): the run ends at its next item.
  bool scanCancelled = false;

  // ScanRunHost
  void definitionsMissing() override;
  void definitionsBusy(const std::string& text) override;
  void barsReset() override;
  void phaseStarted(ScanPhase phase, const std::string& caption) override;
  void phaseSkipped(ScanPhase phase) override;
  void cookiesDone(int scannerPercent, int overallPercent, const std::string& status) override;
  void registryBars(int scannerPercent, int overallPercent) override;
  void showProgress(const ScanProgress& progress) override;
  bool cancelled() const override { return scanCancelled; }

 private:
  void pause(Control& pauseControl);
  void askStop(const std::string& question);
  bool scanning() const { return env_.session.running() == Operation::Scan; }
  PageEnv env_;
  Links links_;
  Form* const f_ = &env_.form;

 public:
  Frame frmScan{f_, "frmScan", "Scan"};
  Button cmdScanNow{f_, "cmdScanNow", "Start"};
  Button cmdPause{f_, "cmdPause", "Pause"};
  Button cmdStop{f_, "cmdStop", "Stop"};
  // The skinned page's labels for the same three; the unskinned page shows the buttons.
  Label lblStart{f_, "lblStart", "Start"};
  Label lblPause{f_, "lblPause", "Pause"};
  Label lblStop{f_, "lblStop", "Stop"};
  Label lblMemoryCaption{f_, "lblMemoryCaption", "Cookies/Processes Inspected"};
  Label lblMemoryInspected{f_, "lblMemoryInspected", "0"};
  Label lblRegistryCaption{f_, "lblRegistryCaption", "Registry Entries Inspected"};
  Label lblRegistryInspected{f_, "lblRegistryInspected", "0"};
  Label lblFilesCaption{f_, "lblFilesCaption", "Files/Folders Inspected"};
  Label lblFilesInspected{f_, "lblFilesInspected", "0"};
  Label lblSoftwareCaption{f_, "lblSoftwareCaption", "Spyware/Adware Found"};
  Label lblSoftwareFound{f_, "lblSoftwareFound", "0"};
  Label lblTracesCaption{f_, "lblTracesCaption", "Traces found :"};
  Label lblTracesFound{f_, "lblTracesFound", "0"};
  Label lblRunningCaption{f_, "lblRunningCaption", "Running programs"};
  Label lblRunningPrograms{f_, "lblRunningPrograms", "0"};
  Shape shpPhase{f_, "shpPhase"};  // points at the counter of the phase that runs
  Label lblPercentageCompleted{f_, "lblPercentageCompleted"};
  Label lblStatus{f_, "lblStatus"};
  ProgressBar pgbPhase{f_, "pgbPhase"};
  ProgressBar pgbOverall{f_, "pgbOverall"};
  ProgressBar pgbMain{f_, "pgbMain"};
  ListView lvwSpywareFound{f_, "lvwSpywareFound", {{"Found", 7800}}, true};
  Button cmdContinue{f_, "cmdContinue", "Click Here to Continue"};
  Label lblViewLogFile{f_, "lblViewLogFile", "Show Report"};
};

// Hides everything but the words the program's own status line should never show.
std::string FilterStatusText(const std::string& text);

}  // namespace quillon::ui
