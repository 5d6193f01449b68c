#include "ui/frm_main.h"

#include <cstdio>

#include "common/text.h"
#include "reports/report.h"
#include "shell/app_folder.h"
#include "shell/run_at_startup.h"
#include "update/definition_merge.h"
#include "update/signed_update.h"

namespace quillon::ui {

FrmMain::FrmMain(Platform& p, FormHost& h, std::string exe, Branding b)
    : Form(b.productName),
      platform(p),
      host(h),
      session(p, std::move(exe), std::move(b)),
      tray(h),
      frmDelete(p.clipboard) {
  session.onOperationChanged = [this] { showRunState(); };
  layoutControls();
  wireHandlers();
  wireShieldHandlers();
  wireMenuHandlers();
}

FrmMain::~FrmMain() = default;

void FrmMain::wireHandlers() {
  cmdStatus.onClick = [this] { cmdStatus_Click(); };
  cmdSettings.onClick = [this] { cmdSettings_Click(); };
  cmdScan.onClick = [this] { cmdScan_Click(); };
  tabScanOptions.cmdOpenScanPage.onClick = [this] { cmdScan_Click(); };
  cmdResults.onClick = [this] { cmdResults_Click(); };
  cmdLog.onClick = [this] { cmdLog_Click(); };
  pageScan.lblViewLogFile.onClick = [this] { cmdLog_Click(); };
  cmdUpdate.onClick = [this] { RunLiveUpdate(); };
  cmdUpdate.onShiftPress = [this] { cmdUpdate_ShiftPress(); };
  frmSignatureUpdated.onOk = [this] {
    settings.write(keys::SHOW, "false");
    host.trayIcon(frmDownload, FormHost::TrayOp::Delete, "");
  };
  // The skinned window's own close box: the same exit path as every other.
  lblHide.onClick = [this] { Form_QueryUnload(); Form_Unload(); };
  cmdSendToTray.onClick = [this] { cmdSendToTray_Click(); };
  timUpdate.onTick = [this] { timUpdate_Timer(); };
  tmrScheduler.onTick = [this] { tmrScheduler_Timer(); };
  onResize = [this] { Form_Resize(); };
  onTrayMouse = [this](int message) { TrayMouse(message); };
  tabSettings.onClick = [this] { tabSettings_Click(); };
  frmReport.cmdOk.onClick = [this] { frmReport.setVisible(false); };
}

void FrmMain::lockRedraw(bool lock) {
  if (visible()) host.lockRedraw(*this, lock);
}

int FrmMain::messageBox(const std::string& text, const std::string& title, unsigned flags) {
  ++openBoxes_;
  int answer = platform.dialogs.messageBox(text, title, flags);
  --openBoxes_;
  return answer;
}


// ---- life cycle ------------------------------------------------------------------------------
void FrmMain::Form_Load() {
  AutoUpdateCounter = 0;
  loaded_ = false;
  // A second copy ends silently, before it writes anything.
  auto secondInstance = [this] { return platform.instanceLock.anotherInstanceRunning(branding.productName); };
  if (secondInstance() || !session.load()) {
    if (endProcess) endProcess();
    return;
  }
  pageStatus.refresh();

  HidePages();
  pageStatus.frmStatus.setCaption(branding.productName + " Status");
  pageStatus.frmStatus.setVisible(true);
  if (secondInstance()) {
    if (endProcess) endProcess();
    return;
  }
  settings.write(keys::STATUS, "RUNNING");
  settings.write(keys::RESTART, "False");
  frmHidden.setVisible(false);
  setCaption(branding.productName + " by " + branding.companyName);
  cmdWebsite.setCaption("Visit " + branding.webSite);
  pageScan.shpPhase.setVisible(false);
  setShowInTaskbar(false);

  tabSchedule.load();
  SetBackgroundTimers(false);
  tabScanOptions.fillDrives();
  LoadSettings();
  SetBackgroundTimers(true);
  frmDelete.setVisible(false);
  pageStatus.lblWelcome.setCaption("Welcome to " + branding.productName);
  tabSettings_Click();
  loaded_ = true;

  if (settings.read(keys::showHelp) == "1") {
    ShowHelp();
    platform.pump.yield();
    settings.write(keys::showHelp, "0");
  }
  auto automatic = settings.readNumber(keys::chkAutomaticUpdateArmed);
  if (automatic && *automatic == 1) timUpdate.setEnabled(true);
  if (settings.read(keys::Minimized) == "Yes") cmdSendToTray_Click();

  if (!settings.read(keys::FirstTime).empty()) return;
  settings.write(keys::FirstTime, "Yes");
  const std::string& name = branding.productName;
  const std::string question = "Thank you for using " + name + "!\r\n\r\nBecause this is the first time you have used " +
                               name +
                               " we recommend running Live Update now to download the most recent adware and "
                               "spyware definitions.\r\n\r\nWould you like to run Live Update now?";
  if (messageBox(question, "Live Update Now?", kMbYesNo) == kIdYes) RunLiveUpdate();
}

void FrmMain::ShowHelp() {
  const std::string help = appFolder + "\\Help.chm";
  if (!fileExists(platform.fs, help)) return;
  platform.launcher.openDocument(help);
  settings.write(keys::machineShowHelp, "0");
}


void FrmMain::timUpdate_Timer() {
  if (!backgroundMayStart()) return;  // the count waits while anything else goes on
  if (AutoUpdateCounter < 300) {
    ++AutoUpdateCounter;
    return;
  }
  RunLiveUpdate();
  AutoUpdateCounter = 0;
  timUpdate.setEnabled(false);
}

void FrmMain::Form_Resize() {
  // The window's state decides which background timers run; a run keeps them all off.
  SetBackgroundTimers(true);
  // Minimised, it is in the tray, which stands for it: no taskbar button. Maximised, it keeps
  // its button and its caption buttons, and the pages take the whole window.
  const State state = windowState();
  setShowInTaskbar(state != State::Minimized);
  if (state != State::Minimized) layoutControls();
  if (state == State::Normal && visible()) settings.write(keys::Minimized, "No");
}

// ---- one operation at a time ------------------------------------------------------------------
void FrmMain::showRunState() {
  const bool idle = !busy();
  for (Control* c : std::initializer_list<Control*>{
           &pageScan.cmdScanNow, &pageScan.lblStart, &pageResults.cmdDelete, &pageResults.lblRemove,
           &pageResults.cmdExclude, &pageResults.cmdSelectAll, &pageResults.lvwResults, &tabLiveUpdate.cmdLiveUpdate,
           &menu.mnuFileLiveUpdate, &pageStatus.cmdSubmit, &cmdLog, &menu.mnuFileViewLog, &pageScan.lblViewLogFile, &cmdUpdate,
           &menu.mnuManageQuarantine})
    c->setEnabled(idle);
  frmMenuPopUp.mnuClose.setEnabled(!exitWaits());
  SetBackgroundTimers(true);  // all off while anything runs
}

void FrmMain::cmdSendToTray_Click() {
  setWindowState(State::Minimized);
  setVisible(false);
  frmMenuPopUp.mnuShowProgram.setEnabled(true);
  tray.ShowIcon(*this);
  tray.ChangeToolTip(*this, branding.productName);
  settings.write(keys::Minimized, "Yes");
}

void FrmMain::endRunForExit() {
  unloading_ = true;
  if (session.running() == Operation::Scan) pageScan.scanCancelled = true;
  session.end();
}

void FrmMain::Form_QueryUnload() {
  endRunForExit();
  settings.write(keys::RESTART, "False");
  settings.write(keys::STATUS, "STOPPED");
  tray.RemoveIcon(*this);
}

void FrmMain::Form_Unload() {
  endRunForExit();
  if (beforeUnload) beforeUnload();
  auto& cols = pageResults.lvwResults.columns;
  for (size_t i = 0; i < cols.size() && i < std::size(keys::FoundCol2); ++i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", double(cols[i].widthTwips));
    settings.write(keys::FoundCol2[i], buf);
  }
  settings.write(keys::Max, windowState() == State::Maximized ? "1" : "0");
  if (left >= 0 && top >= 0) {
    settings.write(keys::Left, std::to_string(left));
    settings.write(keys::Top, std::to_string(top));
  }
  setWindowState(State::Minimized);
  setVisible(false);
  for (Form* f : {static_cast<Form*>(&frmReport), static_cast<Form*>(&frmHidden), static_cast<Form*>(&frmDelete),
                  static_cast<Form*>(&frmSpywareFoundAlert), static_cast<Form*>(&frmHomePageChangedAlert)})
    f->setVisible(false);
  frmMenuPopUp.Form_Unload();
  for (Form* f : {static_cast<Form*>(&frmAbout), static_cast<Form*>(&frmHelp)}) host.destroy(*f);
  if (onExit) onExit();
}

// ---- pages --------------------------------------------------------------------------------
void FrmMain::HidePages() {
  for (Control* c : std::initializer_list<Control*>{&frmOptions, &pageScan.frmScan, &pageResults.frmResults,
                                                    &pageStatus.frmStatus})
    c->setVisible(false);
  pageResults.showRemovalProgress(false);
}

void FrmMain::showPage(Frame& page) {
  HidePages();
  page.setVisible(true);
}

void FrmMain::tabSettings_Click() {
  Frame* tabs[] = {&tabScanOptions.frmScanOptions, &tabSchedule.frmSchedule, &tabProtection.frmProtection,
                   &tabLiveUpdate.frmLiveUpdate};
  for (int i = 0; i < 4; ++i) tabs[i]->setVisible(tabSettings.selected() == i + 1);
}

}  // namespace quillon::ui
