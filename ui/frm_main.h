// The main window: the side bar, the menu, the tray icon, the timers, the forms it opens, the
// one-operation rule as the window shows it, and the pages (status, scan, results, and the
// settings page's four tabs), each a class of its own whose controls sit on this form.
#pragma once
#include "scheduler/scheduler.h"
#include "shields/home_page_shield.h"
#include "shields/memory_shield.h"
#include "shell/tray.h"
#include "update/live_update.h"
#include "controls/form_host.h"
#include "ui/frm_about.h"
#include "ui/frm_delete.h"
#include "ui/frm_help.h"
#include "ui/frm_home_page_changed_alert.h"
#include "ui/frm_menu_popup.h"
#include "ui/frm_quarantine.h"
#include "ui/frm_report.h"
#include "ui/frm_spyware_found_alert.h"
#include "ui/frm_update_windows.h"
#include "ui/main_menu.h"
#include "ui/main_page.h"
#include "ui/page_results.h"
#include "ui/page_scan.h"
#include "ui/page_status.h"
#include "ui/results_mirror.h"
#include "ui/tab_live_update.h"
#include "ui/tab_protection.h"
#include "ui/tab_scan_options.h"
#include "ui/tab_schedule.h"

namespace quillon::ui {

class FrmMain : public Form, private MainFrame, private SchedulerHost, private MemoryShieldHost, private HomePageHost {
 public:
  FrmMain(Platform& platform, FormHost& host, std::string exePath, Branding branding);
  ~FrmMain() override;

  void Form_Load();
  void Form_Resize();
  void Form_QueryUnload();
  void Form_Unload();
  void cmdSendToTray_Click();
  void timUpdate_Timer();
  void RunLiveUpdate();
  void cmdUpdate_ShiftPress();  // lists the definition files' addresses, then the press goes on
  void ShowHelp();              // the help opener: opens Help.chm when it is there
  void TrayMouse(int message);
  void LoadSettings();
  // ---- tray popup and menus (the popup's "Exit Program"; the window back in its normal state)
  void mnuClose_Click();
  void ShowFromTray();
  void mnuViewHelp_Click();
  void mnuAbout_Click();
  void mnuViewQuarantine_Click();
  void mnuViewExclusions_Click();
  // The quarantine window, over the main window; nothing else starts while it is open.
  void mnuManageQuarantine_Click();
  void cmdWebsite_Click();  // the product's web site, in the user's own browser
  void cmdLog_Click();      // the scan report, in its viewer
  // After a scheduled scan that removes: what it did, in a tray balloon and on the results page.
  void announceScheduledRemoval(const RemovalOutcome& outcome, bool stopped);
  // ---- side bar
  void HidePages();
  void cmdStatus_Click() { showPage(pageStatus.frmStatus); }
  void cmdSettings_Click() { showPage(frmOptions); }
  void cmdScan_Click() { showPage(pageScan.frmScan); }
  void cmdResults_Click() { showPage(pageResults.frmResults); }
  void tabSettings_Click();
  // ---- background work between operations
  void CheckMemory();  // the memory shield's look at the running programs, between scans
  // The one rule of the background timers: all off while anything runs, a tick or a box waits,
  // or the window closes; the home-page shield in every window state, scheduled scans and the
  // memory shield only while the window is out of the way. `enable` false holds them all off.
  void SetBackgroundTimers(bool enable);
  void tmrMemoryInspected_Timer();
  void tmrCheckHomePage_Timer();
  void tmrScheduler_Timer();
  // ---- one operation at a time: while one runs (a shield's tick included) the starting controls
  // are disabled and their handlers refuse, since a handler is also reached from code.
  bool busy() const { return session.busy(); }
  // True when the last run got past the definition check.
  bool lastRunLooked() const { return session.lastScan.looked || !scanned_; }
  // Form_Load prepared what a scan needs (false for a second copy or an unusable folder).
  bool loaded() const { return loaded_; }
  bool reportFailed() const { return session.reportFailed; }  // the last run's report could not be written
  // From the moment the window is being closed: a running scan ends at its next item.
  bool unloading() const { return unloading_; }
  const RemovalOutcome& lastRemoval() const { return session.lastRemoval; }
  const LiveUpdateResult& lastUpdate() const { return session.lastUpdate; }
  // ---- the session the window shows (its state under the names the window's code uses)
  Platform& platform;
  FormHost& host;
  Session session;
  const std::string& appFolder = session.appFolder;
  const Branding& branding = session.branding;
  Settings& settings = session.settings;
  DefinitionStore& defs = session.defs;
  DefinitionCounts& counts = session.counts;
  ExclusionList& exclusions = session.exclusions;
  ScanCounters& counters = session.counters;
  ScanResults& results = session.results;
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
  FrmQuarantine frmQuarantine{platform, appFolder, branding.productName};
  // ---- side bar
  Button cmdStatus{this, "cmdStatus", "Status"};
  Button cmdScan{this, "cmdScan", "Scan Now"};
  Button cmdResults{this, "cmdResults", "Results/Removal"};
  Button cmdSettings{this, "cmdSettings", "Settings"};
  Button cmdUpdate{this, "cmdUpdate", "Live Update"};
  Button cmdLog{this, "cmdLog", "View Log"};
  Button cmdSendToTray{this, "cmdSendToTray", "Send to Tray"};
  Button cmdWebsite{this, "cmdWebsite", "Visit "};
  Label lblHide{this, "lblHide", "X"};  // the skinned window's own close box
  // ---- pages; the settings page is a tab strip over four tabs
  PageEnv pageEnv{*this, platform, session, *this};
  PageStatus pageStatus{pageEnv};
  PageResults pageResults{pageEnv, frmDelete};
  PageScan pageScan{pageEnv, {pageStatus.lblDefVersion, pageResults.lblRemovalCount, pageResults.frmResults}};
  Frame frmOptions{this, "frmOptions", "Settings"};
  TabStrip tabSettings{this, "tabSettings", {"Scan Options", "Scheduled Scans", "Proactive System Protection", "Automatic Live Update"}};
  TabScanOptions tabScanOptions{pageEnv};
  TabSchedule tabSchedule{pageEnv, scheduler};
  TabProtection tabProtection{pageEnv};
  TabLiveUpdate tabLiveUpdate{pageEnv};
  // ---- hidden work lists of a scan, and the results of the last run shown by the lists
  ListView lvwFilesToBeDeleted{this, "lvwFilesToBeDeleted", {{"Path"}, {"SpywareName"}}};
  ListView lvwRegistryToBeDeleted{this, "lvwRegistryToBeDeleted", {{"Main Key"}, {"KeyValue"}, {"Value"}, {"SpywareName"}}};
  ListView lvwCookiesToDelete{this, "lvwCookiesToDelete", {{"Cookie Name"}, {"CookieLocation"}}};
  ResultsMirror resultsMirror{results, {pageScan.lvwSpywareFound, pageResults.lvwResults, lvwFilesToBeDeleted,
                                        lvwRegistryToBeDeleted, lvwCookiesToDelete, pageScan.lblTracesFound}};
  MainMenu menu{this};
  // ---- timers
  Timer tmrScheduler{this, "tmrScheduler", 10, true};
  Timer tmrCheckHomePage{this, "tmrCheckHomePage", 5000, true};
  Timer tmrMemoryInspected{this, "tmrMemoryInspected", 10000, true};
  Timer timUpdate{this, "timUpdate", 1000, false};
  std::function<void()> beforeUnload;  // the GUI copies back what the user changed (column widths)
  std::function<void()> onExit;        // the window closes for good: the GUI ends its message loop
  std::function<void()> endProcess;    // ends the process at once (a second instance); tests record it
  // Shows the outcome of a Live Update; without it the update notice slides up.
  std::function<void(const std::string& text)> updateNotice;
 private:
  // MainFrame: what the pages ask of the window around them
  int messageBox(const std::string& text, const std::string& title, unsigned flags) override;
  void showPage(Frame& page) override;
  void refreshStatus() override { pageStatus.refresh(); }
  void followOptions() override { SetBackgroundTimers(true); }
  void startScan() override;
  void runLiveUpdate() override { RunLiveUpdate(); }
  void lockRedraw(bool lock) override;
  // MemoryShieldHost, HomePageHost, SchedulerHost
  void inspectMemory() override { CheckMemory(); }
  void showAlert(const std::string& fileName, const std::string& companyText) override;
  void closeAlert() override { host.destroy(frmSpywareFoundAlert); }
  void memoryShieldTick() override;
  void askAboutChangedPage(const std::string& message) override;
  bool schedulerMustWait() const override { return !backgroundMayStart(); }
  void runScheduledScan(bool deleteFound) override;
  // A form as a modal dialog of the main window, with the tray popup taken down under it.
  void showOverMain(Form& f);
  void layoutControls();
  void wireHandlers();
  void wireMenuHandlers();
  void wireShieldHandlers();
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
  void prepareScan();
  void showScanEnd();
  void endRunForExit();
  bool loaded_ = false;
  bool scanned_ = false;  // a scan has run in this window
  bool unloading_ = false;
  int openBoxes_ = 0;  // the window's own message boxes and modal forms now waiting for an answer
};

}  // namespace quillon::ui
