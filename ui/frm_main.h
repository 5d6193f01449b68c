// The main window: side bar, four pages (status, scan, results, settings with four tabs), the
// hidden work lists of a scan, the timers, and everything that outlives one operation.
#pragma once
#include <memory>
#include <string>

#include "platform/platform.h"
#include "scheduler/scheduler.h"
#include "session/session.h"
#include "shields/home_page_shield.h"
#include "shields/memory_shield.h"
#include "shell/tray.h"
#include "system/settings.h"
#include "update/live_update.h"
#include "controls/controls.h"
#include "controls/form_host.h"
#include "ui/frm_delete.h"
#include "ui/frm_home_page_changed_alert.h"
#include "ui/frm_report.h"
#include "ui/results_mirror.h"
#include "ui/frm_update_windows.h"
#include "ui/frm_spyware_found_alert.h"
#include "ui/frm_about.h"
#include "ui/frm_help.h"
#include "ui/frm_menu_popup.h"

namespace quillon::ui {

// Forms are made of the headless controls.
using namespace quillon::controls;

class FrmMain : public Form,
                private ScanRunHost,
                private RemovalRunHost,
                private SchedulerHost,
                private MemoryShieldHost,
                private HomePageHost {
 public:
  FrmMain(Platform& platform, FormHost& host, std::string exePath, Branding branding);
  ~FrmMain() override;

  // ---- life cycle
  void Form_Load();
  void Form_Resize();
  void Form_QueryUnload();
  void Form_Unload();
  void Command5_Click();  // "Send to Tray"
  void timUpdate_Timer();
  void RunLiveUpdate();
  void cmdUpdate_ShiftPress();  // lists the definition files' addresses, then the press goes on
  void ShowHelp();        // the help opener: opens Help.chm when it is there
  void TrayMouse(int message);
  // ---- tray popup and menus
  void mnuClose_Click();      // the popup's "Exit Program"
  void ShowFromTray();        // the window back in its normal state
  void mnuViewHelp_Click();
  void mnuAbout_Click();
  void cmdWebsite_Click();  // the product's web site, in the user's own browser
  // After a scheduled scan that removes what it finds: a balloon from the tray icon and a line
  // on the results page with what was found, removed and not removed.
  void announceScheduledRemoval(const RemovalOutcome& outcome, bool stopped);

  // ---- pages and side bar
  void HidePages();
  void cmdStatus_Click();
  void cmdSettings_Click();
  void cmdScan_Click();
  void cmdResults_Click();
  void cmdRemove_Click();
  void TabStrip1_Click();

  // ---- scan run
  void cmdScanNow_Click();
  void lblStart_Click();
  void cmdStop_Click();
  void lblStop_Click();
  void cmdPause_Click();
  void lblPause_Click();
  void CheckMemory();  // the memory shield's look at the running programs, between scans
  void RefreshStatusPage();
  // The one rule of the background timers (scheduler, memory shield, home-page shield): off
  // while anything runs, while a tick waits for its answer and once the window is closing; the
  // home-page shield in every window state, scheduled scans and the memory shield only while
  // the window is out of the way (minimised, maximised or in the tray). `enable` false holds
  // them all off.
  void SetBackgroundTimers(bool enable);

  // ---- one operation at a time
  // While one runs (a shield's tick, whose question may wait, included) nothing else starts: the
  // starting controls are disabled and their handlers refuse, since a handler is also reached
  // from code or a queued message.
  bool busy() const { return session.busy(); }

  // ---- shields between scans
  void tmrMemoryInspected_Timer();
  void tmrCheckHomePage_Timer();
  // True when the last run got past the definition check.
  bool lastRunLooked() const { return session.lastScan.looked || !scanned_; }
  // True once Form_Load has prepared everything a scan needs (false for a second copy or an
  // application folder the program cannot use).
  bool loaded() const { return loaded_; }
  // True when the last run was to write its report and could not.
  bool reportFailed() const { return session.reportFailed; }
  // True from the moment the window is being closed: a running scan ends at its next item.
  bool unloading() const { return unloading_; }

  // ---- results page
  void cmdSelectAll_Click();
  void cmdExclude_Click();
  void Command4_Click();   // "Delete": checks, asks, removes
  void lblRemove_Click();  // the removal itself, without the question
  void mnuViewQuarantine_Click();
  // What the last removal removed and could not remove.
  const RemovalOutcome& lastRemoval() const { return session.lastRemoval; }
  void mnuViewExclusions_Click();

  // ---- file-name submission and anonymous data
  void cmdSubmit_Click();
  void Command2_Click();
  std::string RunningProgramList();
  void chkSendData_MouseUp();

  // ---- report
  void cmdLog_Click();
  void lblViewLogFile_Click();

  // ---- settings
  void LoadSettings();
  void FillDriveList();
  void lvwHardDrives_ItemCheck();

  // ---- scheduled scans
  void LoadSchedule();
  bool SaveSchedule();  // false when the schedule could not be saved as it stands
  void CmdProceed_Click();
  void cmdDefaultSetting_Click();
  void cmbDays_Click();
  void chkAutomaticScanYesOrNo_Click();
  void tmrScheduler_Timer();

  // ---- what the window shows: the session, and what is the window's own
  Platform& platform;
  FormHost& host;
  Session session;
  // The session's state under the names the window's code uses.
  const std::string& exePath = session.exePath;
  const std::string& appFolder = session.appFolder;
  const Branding& branding = session.branding;
  Settings& settings = session.settings;
  DefinitionStore& defs = session.defs;
  ExclusionList& exclusions = session.exclusions;
  DefinitionCounts& counts = session.counts;
  ScanCounters& counters = session.counters;
  ScanResults& results = session.results;
  bool ScanCancelled = false;
  int32_t AutoUpdateCounter = 0;
  clsTray tray;
  Scheduler scheduler{SchedulerEnv{settings, platform.clock}, *this};
  FrmReport frmReport;
  FrmDelete frmDelete;
  FrmDownload frmDownload{host};
  FrmSignatureUpdated frmSignatureUpdated{host};
  Form frmHidden{"frmHidden"};
  FrmSpywareFoundAlert frmSpywareFoundAlert;
  FrmHomePageChangedAlert frmHomePageChangedAlert{branding.productName};
  MemoryShield memoryShield{MemoryShieldEnv{platform, settings, exclusions, branding.productName}, *this};
  HomePageShield homePageShield{HomePageEnv{platform.registry, settings, branding.productName}, *this};
  FrmMenuPopUp frmMenuPopUp{host};
  FrmAbout frmAbout;
  FrmHelp frmHelp;

  // ---- side bar
  Button cmdStatus{this, "cmdStatus", "Status"};
  Button cmdScan{this, "cmdScan", "Scan Now"};
  Button cmdResults{this, "cmdResults", "Results/Removal"};
  Button cmdSettings{this, "cmdSettings", "Settings"};
  Button cmdUpdate{this, "cmdUpdate", "Live Update"};
  Button cmdLog{this, "cmdLog", "View Log"};
  Button Command5{this, "Command5", "Send to Tray"};
  Button cmdWebsite{this, "cmdWebsite", "Visit "};
  Label lblHide{this, "lblHide", "X"};

  // ---- pages
  Frame frmStatus{this, "frmStatus", "Status"};
  Frame frmScan{this, "frmScan", "Scan"};
  Frame frmResults{this, "frmResults", "Results"};
  Frame frmOptions{this, "frmOptions", "Settings"};

  // status page
  Label Label22{this, "Label22"};
  Label lblVersionCaption{this, "lblVersionCaption", "Program version:"};
  Label lblVersion{this, "lblVersion"};
  Label lblDefCountCaption{this, "lblDefCountCaption", "Definitions:"};
  Label lblDefCount{this, "lblDefCount"};
  Label lblDefVersionCaption{this, "lblDefVersionCaption", "Definitions date:"};
  Label lblDefVersion{this, "lblDefVersion"};
  Label lblLastScanCaption{this, "lblLastScanCaption", "Your last scan was completed:"};
  Label lblLastScan{this, "lblLastScan"};
  Label lblLastFullScanCaption{this, "lblLastFullScanCaption", "Your last full system scan was completed:"};
  Label lblLastFullScan{this, "lblLastFullScan"};
  Label lblDefRemovedCaption{this, "lblDefRemovedCaption", "Threats removed so far:"};
  Label lblDefRemoved{this, "lblDefRemoved"};
  // submitting a suspicious file name
  Frame fraSubmit{this, "fraSubmit", "Submit a suspicious file"};
  TextBox txtFilename{this, "txtFilename", true};
  Button Command2{this, "Command2", "Browse"};
  Button cmdSubmit{this, "cmdSubmit", "Submit"};
  Label Label26{this, "Label26", "Results:"};

  // scan page
  Button cmdScanNow{this, "cmdScanNow", "Start"};
  Button cmdPause{this, "cmdPause", "Pause"};
  Button cmdStop{this, "cmdStop", "Stop"};
  Label lblStart{this, "lblStart", "Start"};
  Label lblPause{this, "lblPause", "Pause"};
  Label lblStop{this, "lblStop", "Stop"};
  Label lblMemoryCaption{this, "lblMemoryCaption", "Cookies/Processes Inspected"};
  Label lblMemoryInspected{this, "lblMemoryInspected", "0"};
  Label lblRegistryCaption{this, "lblRegistryCaption", "Registry Entries Inspected"};
  Label lblRegistryInspected{this, "lblRegistryInspected", "0"};
  Label lblFilesCaption{this, "lblFilesCaption", "Files/Folders Inspected"};
  Label lblFilesFolderInspected{this, "lblFilesFolderInspected", "0"};
  Label lblSoftwareCaption{this, "lblSoftwareCaption", "Spyware/Adware Found"};
  Label lblSoftwareFound{this, "lblSoftwareFound", "0"};
  Label lblTracesCaption{this, "lblTracesCaption", "Traces found :"};
  Label lbltracesFound{this, "lbltracesFound", "0"};
  Label lblRunningCaption{this, "lblRunningCaption", "Running programs"};
  Label lblTotalNoOfRunningItems{this, "lblTotalNoOfRunningItems", "0"};
  Shape shpCircle{this, "shpCircle"};
  Label lblPercentageCompleted{this, "lblPercentageCompleted"};
  Label lblStatus{this, "lblStatus"};
  ProgressBar pb1{this, "pb1"};
  ProgressBar pb2{this, "pb2"};
  ProgressBar pbgMain{this, "pbgMain"};
  ListView lvwSpywareFound{this, "lvwSpywareFound", {{"Found", 7800}}, true};
  Button cmdRemove{this, "cmdRemove", "Click Here to Continue"};
  Label lblViewLogFile{this, "lblViewLogFile", "Show Report"};

  // results page
  Label lblResultsCaption{this, "lblResultsCaption", "Spyware/Adware Found:"};
  Label lblRemovePicSoftwareFound{this, "lblRemovePicSoftwareFound", "0"};
  // What the last scheduled scan that removes what it finds did; empty once a scan starts.
  Label lblScheduledRemoval{this, "lblScheduledRemoval"};
  ListView lvwPicRemoveListOfSpywareFoundAndToBeRemoved{
      this, "lvwPicRemoveListOfSpywareFoundAndToBeRemoved",
      {{"Spyware/Adware Found", 1400}, {"Location", 1400}, {"Type", 1400}}, true};
  Button cmdSelectAll{this, "cmdSelectAll", "Select All"};
  Button cmdExclude{this, "cmdExclude", "Exclude"};
  Button Command4{this, "Command4", "Delete"};
  Label lblRemove{this, "lblRemove", "Remove"};
  ProgressBar pgbDeleteSpywaresFound{this, "pgbDeleteSpywaresFound"};
  Label lblDeletingPercentageCompleted{this, "lblDeletingPercentageCompleted"};
  Label lblDeletingCaption{this, "lblDeletingCaption"};

  // hidden work lists
  ListView lvwFilesToBeDeleted{this, "lvwFilesToBeDeleted", {{"Path"}, {"SpywareName"}}};
  ListView lvwRegistryToBeDeleted{this, "lvwRegistryToBeDeleted", {{"Main Key"}, {"KeyValue"}, {"Value"}, {"SpywareName"}}};
  ListView lvwCookiesToDelete{this, "lvwCookiesToDelete", {{"Cookie Name"}, {"CookieLocation"}}};
  // The results of the last run, shown by the lists above.
  ResultsMirror resultsMirror{results, {lvwSpywareFound, lvwPicRemoveListOfSpywareFoundAndToBeRemoved,
                                        lvwFilesToBeDeleted, lvwRegistryToBeDeleted, lvwCookiesToDelete,
                                        lbltracesFound}};

  // settings page
  TabStrip TabStrip1{this, "TabStrip1", {"Scan Options", "Scheduled Scans", "Proactive System Protection", "Automatic Live Update"}};
  Frame frmView0{this, "frmView0", "Scan Options"};
  Frame frmView1{this, "frmView1", "Scheduled Scans"};
  Frame frmView2{this, "frmView2", "Proactive System Protection"};
  Frame frmView3{this, "frmView3", "Automatic Live Update"};
  // scan options
  CheckBox chkSweepMemory{this, "chkSweepMemory", "Scan running programs (memory)"};
  CheckBox chkScanRegistry{this, "chkScanRegistry", "Scan the registry"};
  CheckBox chkScanCookies{this, "chkScanCookies", "Scan Internet Cookies"};
  CheckBox chkMakeLog{this, "chkMakeLog", "Save scan results to log"};
  Frame fraScanType{this, "fraScanType", "Scan Type"};
  Frame fraDriveSelection{this, "fraDriveSelection", "Drive Selection"};
  OptionButton optScanOnlyKnownSoftwares{this, "optScanOnlyKnownSoftwares", "Quick Scan", 4};
  OptionButton optScanAllSelectedHardDrive{this, "optScanAllSelectedHardDrive", "Complete System Scan", 4};
  ListView lvwHardDrives{this, "lvwHardDrives", {{"Drive", 2400}}, true};
  CheckBox chkRunAtStartup{this, "chkRunAtStartup", "Run at Startup and protect my computer automatically"};
  CheckBox chkSendData{this, "chkSendData", "Send anonymous data to help identify unknown spyware"};
  Button Command1{this, "Command1", "Scan Now"};
  // scheduled scans
  CheckBox chkAutomaticScanYesOrNo{this, "chkAutomaticScanYesOrNo", "Enable Scheduled Scans"};
  Label lblRunOn{this, "lblRunOn", "Run on:"};
  Label lblDate{this, "lblDate", "Date:"};
  Label lblTime{this, "lblTime", "Time:"};
  ComboBox cmbDays{this, "cmbDays", {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday", "Daily", "Date & Time", "Never!"}};
  DatePicker dtpScheduleDate{this, "dtpScheduleDate", false};
  DatePicker dtpScheduleTime{this, "dtpScheduleTime", true};
  CheckBox chkAutoDel{this, "chkAutoDel", "Delete spyware automatically after scheduled scan"};
  Button CmdProceed{this, "CmdProceed", "Apply"};
  Button cmdDefaultSetting{this, "cmdDefaultSetting", "Reset"};
  // proactive protection
  Label lblMemoryShield{this, "lblMemoryShield", "Memory shield: stops listed programs that start running"};
  CheckBox chkAutoProtect{this, "chkAutoProtect", "Enable"};
  OptionButton optMemorySheildOn{this, "optMemorySheildOn", "Enabled", 1};
  OptionButton optMemorySheildOff{this, "optMemorySheildOff", "Disabled", 1};
  Label lblHomePageShield{this, "lblHomePageShield", "Home-page shield: guards the browser start page"};
  CheckBox chkHomePage{this, "chkHomePage", "Enable"};
  OptionButton optIEHomePageSheildOn{this, "optIEHomePageSheildOn", "Enabled", 2};
  OptionButton optIEHomePageSheildOff{this, "optIEHomePageSheildOff", "Disabled", 2};
  OptionButton optAlwaysnotifybeforerestoring{this, "optAlwaysnotifybeforerestoring", "Ask me what I would like to do", 3};
  OptionButton optRestoredefaultwithoutnotification{this, "optRestoredefaultwithoutnotification", "Silently restore my original home page", 3};
  // automatic live update
  // Designed checked: loading an absent key shows it checked without storing anything, so
  // automatic Live Update is armed only once the user has saved the option.
  CheckBox chkAutomaticUpdate{this, "chkAutomaticUpdate", "Enable automatic Live update (recommended)", 1};
  Label lblLastUpdate{this, "lblLastUpdate"};
  Button cmdLiveUpdate{this, "cmdLiveUpdate", "Run Live Update Now"};

  // menu
  MenuItem mnuFileScanNow{this, "mnuFileScanNow", "Scan Now", "File"};
  MenuItem mnuFileScanResults{this, "mnuFileScanResults", "Scan Results", "File"};
  MenuItem mnuFileViewLog{this, "mnuFileViewLog", "View Log", "File"};
  MenuItem mnuFileSep1{this, "mnuFileSep1", "-", "File"};
  MenuItem mnuFileLiveUpdate{this, "mnuFileLiveUpdate", "Run Live Update", "File"};
  MenuItem mnuFileSep2{this, "mnuFileSep2", "-", "File"};
  MenuItem mnuFileMinimize{this, "mnuFileMinimize", "Minimize to Tray", "File"};
  MenuItem mnuFileSep3{this, "mnuFileSep3", "-", "File"};
  MenuItem mnuFileExit{this, "mnuFileExit", "Exit", "File"};
  MenuItem mnuSettingsScanOptions{this, "mnuSettingsScanOptions", "Scan Options", "Settings"};
  MenuItem mnuSettingsProtection{this, "mnuSettingsProtection", "Proactive Protection", "Settings"};
  MenuItem mnuSettingsSchedule{this, "mnuSettingsSchedule", "Schedule", "Settings"};
  MenuItem mnuSettingsUpdate{this, "mnuSettingsUpdate", "Auto Update", "Settings"};
  MenuItem mnuViewQuarantine{this, "mnuViewQuarantine", "View Quarantine", "Quarantine"};
  MenuItem mnuViewExclusions{this, "mnuViewExclusions", "View Exclusions", "Quarantine"};
  MenuItem mnuViewHelp{this, "mnuViewHelp", "View Help", "Help"};
  MenuItem mnuAbout{this, "mnuAbout", "About this software", "About"};

  // timers
  Timer tmrScheduler{this, "tmrScheduler", 10, true};
  Timer tmrCheckHomePage{this, "tmrCheckHomePage", 5000, true};
  Timer tmrMemoryInspected{this, "tmrMemoryInspected", 10000, true};
  Timer timUpdate{this, "timUpdate", 1000, false};
  Timer tmrScroll{this, "tmrScroll", 200, true};

  // Lets the GUI copy what the user changed in the windows (column widths) before they are saved.
  std::function<void()> beforeUnload;
  // Called when the main window is to be closed for good (the GUI ends its message loop).
  std::function<void()> onExit;
  // Ends the process at once (a second instance); the GUI exits, tests record it.
  std::function<void()> endProcess;
  // Shows the outcome of a Live Update; without it the update notice slides up.
  std::function<void(const std::string& text)> updateNotice;
  const LiveUpdateResult& lastUpdate() const { return session.lastUpdate; }

 private:
  // ScanRunHost: what a scan run shows on the scan page
  void definitionsMissing() override;
  void definitionsBusy(const std::string& text) override;
  void barsReset() override;
  void phaseStarted(ScanPhase phase, const std::string& caption) override;
  void phaseSkipped(ScanPhase phase) override;
  void cookiesDone(int scannerPercent, int overallPercent, const std::string& status) override;
  void registryBars(int scannerPercent, int overallPercent) override;
  void showProgress(const ScanProgress& progress) override;
  bool cancelled() const override { return ScanCancelled; }
  void showStopAndPause(bool on);

  // MemoryShieldHost, HomePageHost
  void inspectMemory() override { CheckMemory(); }
  void showAlert(const std::string& fileName, const std::string& companyText) override;
  void closeAlert() override { host.destroy(frmSpywareFoundAlert); }
  void memoryShieldTick() override;
  void askAboutChangedPage(const std::string& message) override;
  void wireShieldHandlers();
  // Shows a form as a modal dialog of the main window: the main window takes no input while it
  // is up, and the tray popup is taken down so that it never covers it.
  void showOverMain(Form& f);

  // The removal of a scheduled scan: its progress shows, but nothing asks and nothing pops up;
  // what could not be removed stays listed in "Delete Failed" for a later look.
  class UnattendedRemoval : public RemovalRunHost {
   public:
    explicit UnattendedRemoval(FrmMain& m) : m_(m) {}
    void showProgress(const std::string& label, int value, int max) override { m_.showProgress(label, value, max); }
    void showItem(const std::string& caption) override { m_.showItem(caption); }
    void deleteFailed(const std::vector<std::string>& paths) override;
    void removalStarted() override { m_.removalStarted(); }
    void stage(const std::string& text) override { m_.stage(text); }

   private:
    FrmMain& m_;
  };
  // Enables the starting controls as the run state says, and the timers as the one rule says.
  void showRunState();
  // One tick of a shield's timer, never inside a run, another tick or a box of the window.
  void backgroundTick(const std::function<void()>& tick);
  // Nothing runs, no tick or box waits and the window is not closing: a timer may start work.
  bool backgroundMayStart() const { return !busy() && openBoxes_ == 0 && !unloading_; }
  // Minimised, maximised or in the tray: where scheduled scans and the memory shield work.
  bool outOfTheWay() const { return !visible() || windowState() != State::Normal; }
  // "Exit Program" waits for a run to end; a Live Update is left to the exit path.
  bool exitWaits() const { return busy() && session.running() != Operation::LiveUpdate; }
  void runScan();  // the scan run itself
  void prepareScanPage();
  void showScanEnd();
  void removeChecked(const RemovalOptions& options, RemovalRunHost& removalHost);
  void showRemovalEnd();
  void showRemovalProgress(bool on);
  void excludeChecked();
  void submitName();

  // RemovalRunHost
  void showProgress(const std::string& label, int value, int max) override;
  void showItem(const std::string& caption) override;
  void deleteFailed(const std::vector<std::string>& paths) override;
  void nothingChecked() override;
  bool confirm(const std::string& question, const std::string& title) override;
  void removalStarted() override;
  void stage(const std::string& text) override;
  void refused(const std::string& text) override;

  // SchedulerHost
  bool schedulerMustWait() const override;
  void runScheduledScan(bool deleteFound) override;

  void layoutControls();
  void wireScheduleHandlers();
  void showScheduleState();
  void wireHandlers();
  void wireSettingsHandlers();
  void wireMenuHandlers();
  void lockRedraw(bool lock);
  void pause(Control& pauseControl);
  void askStop(const std::string& question);
  int messageBox(const std::string& text, const std::string& title, unsigned flags) {
    ++openBoxes_;
    int answer = platform.dialogs.messageBox(text, title, flags);
    --openBoxes_;
    return answer;
  }
  void showPage(Frame& page);
  bool scanInProgress() const { return session.running() == Operation::Scan; }
  void endRunForExit();
  void setMemoryShield();
  void setHomePageShield(bool on);
  bool loaded_ = false;
  bool scanned_ = false;  // a scan has run in this window
  bool unloading_ = false;
  int openBoxes_ = 0;  // the window's own message boxes and modal forms now waiting for an answer
};

// Hides everything but the words the program's own status line should never show.
std::string FilterStatusText(const std::string& text);

}  // namespace quillon::ui
