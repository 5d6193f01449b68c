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
  wireSettingsHandlers();
  wireScheduleHandlers();
  wireShieldHandlers();
  wireMenuHandlers();
}

FrmMain::~FrmMain() = default;

void FrmMain::wireHandlers() {
  cmdStatus.onClick = [this] { cmdStatus_Click(); };
  cmdSettings.onClick = [this] { cmdSettings_Click(); };
  cmdScan.onClick = [this] { cmdScan_Click(); };
  Command1.onClick = [this] { cmdScan_Click(); };
  mnuFileScanNow.onClick = [this] { cmdScan_Click(); };
  cmdResults.onClick = [this] { cmdResults_Click(); };
  cmdRemove.onClick = [this] { cmdRemove_Click(); };
  cmdScanNow.onClick = [this] { cmdScanNow_Click(); };
  lblStart.onClick = [this] { lblStart_Click(); };
  cmdStop.onClick = [this] { cmdStop_Click(); };
  lblStop.onClick = [this] { lblStop_Click(); };
  cmdPause.onClick = [this] { cmdPause_Click(); };
  lblPause.onClick = [this] { lblPause_Click(); };
  cmdLog.onClick = [this] { cmdLog_Click(); };
  mnuFileViewLog.onClick = [this] { cmdLog_Click(); };
  lblViewLogFile.onClick = [this] { lblViewLogFile_Click(); };
  cmdSelectAll.onClick = [this] { cmdSelectAll_Click(); };
  cmdExclude.onClick = [this] { cmdExclude_Click(); };
  Command4.onClick = [this] { Command4_Click(); };
  lblRemove.onClick = [this] { lblRemove_Click(); };
  cmdSubmit.onClick = [this] { cmdSubmit_Click(); };
  cmdUpdate.onClick = [this] { RunLiveUpdate(); };
  cmdUpdate.onShiftPress = [this] { cmdUpdate_ShiftPress(); };
  frmSignatureUpdated.onOk = [this] {
    settings.write(keys::SHOW, "false");
    host.trayIcon(frmDownload, FormHost::TrayOp::Delete, "");
  };
  cmdLiveUpdate.onClick = [this] { RunLiveUpdate(); };
  mnuFileLiveUpdate.onClick = [this] { RunLiveUpdate(); };
  Command2.onClick = [this] { Command2_Click(); };
  txtFilename.onKeyPress = [this](int key) {
    if (key == 13) cmdSubmit_Click();
  };
  chkSendData.onMouseUp = [this] { chkSendData_MouseUp(); };
  mnuViewQuarantine.onClick = [this] { mnuViewQuarantine_Click(); };
  mnuViewExclusions.onClick = [this] { mnuViewExclusions_Click(); };
  mnuFileExit.onClick = [this] { Form_QueryUnload(); Form_Unload(); };
  // The skinned window's own close box: the same exit path as every other.
  lblHide.onClick = [this] { Form_QueryUnload(); Form_Unload(); };
  Command5.onClick = [this] { Command5_Click(); };
  mnuFileMinimize.onClick = [this] { Command5_Click(); };
  timUpdate.onTick = [this] { timUpdate_Timer(); };
  onResize = [this] { Form_Resize(); };
  onTrayMouse = [this](int message) { TrayMouse(message); };
  // Names and paths are read whole until the user sizes the columns.
  lvwPicRemoveListOfSpywareFoundAndToBeRemoved.fitColumns = true;
  TabStrip1.onClick = [this] { TabStrip1_Click(); };
  MenuItem* tabItems[] = {&mnuSettingsScanOptions, &mnuSettingsProtection, &mnuSettingsSchedule, &mnuSettingsUpdate};
  const int tabOf[] = {1, 3, 2, 4};
  for (int i = 0; i < 4; ++i)
    tabItems[i]->onClick = [this, tab = tabOf[i]] {
      cmdSettings_Click();
      TabStrip1.select(tab);
    };
  frmReport.cmdOk.onClick = [this] { frmReport.setVisible(false); };

  // A control is enabled only when what it does works. The schedule's Apply once there is a
  // change to apply; Stop and Pause only while a scan runs.
  for (Control* c : {static_cast<Control*>(&CmdProceed),
                     static_cast<Control*>(&cmdStop), static_cast<Control*>(&cmdPause),
                     static_cast<Control*>(&lblStop), static_cast<Control*>(&lblPause)})
    c->setEnabled(false);
}

void FrmMain::lockRedraw(bool lock) {
  if (visible()) host.lockRedraw(*this, lock);
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
  RefreshStatusPage();

  HidePages();
  frmStatus.setCaption(branding.productName + " Status");
  frmStatus.setVisible(true);
  if (secondInstance()) {
    if (endProcess) endProcess();
    return;
  }
  settings.write(keys::STATUS, "RUNNING");
  settings.write(keys::RESTART, "False");
  frmHidden.setVisible(false);
  setCaption(branding.productName + " by " + branding.companyName);
  cmdWebsite.setCaption("Visit " + branding.webSite);
  shpCircle.setVisible(false);
  setShowInTaskbar(false);

  LoadSchedule();
  SetBackgroundTimers(false);
  FillDriveList();
  LoadSettings();
  SetBackgroundTimers(true);
  frmDelete.setVisible(false);
  Label22.setCaption("Welcome to " + branding.productName);
  TabStrip1_Click();
  loaded_ = true;

  if (settings.read(keys::showHelp) == "1") {
    ShowHelp();
    platform.pump.yield();
    settings.write(keys::showHelp, "0");
  }
  auto automatic = settings.readNumber(keys::chkAutomaticUpdateArmed);
  if (automatic && *automatic == 1) timUpdate.setEnabled(true);
  if (settings.read(keys::Minimized) == "Yes") Command5_Click();

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
  const bool open = windowState() == State::Normal;
  setShowInTaskbar(open);
  if (open && visible()) settings.write(keys::Minimized, "No");
}

// ---- one operation at a time ------------------------------------------------------------------
void FrmMain::showRunState() {
  const bool idle = !busy();
  for (Control* c : {static_cast<Control*>(&cmdScanNow), static_cast<Control*>(&lblStart),
                     static_cast<Control*>(&Command4), static_cast<Control*>(&lblRemove),
                     static_cast<Control*>(&cmdExclude), static_cast<Control*>(&cmdSelectAll),
                     static_cast<Control*>(&lvwPicRemoveListOfSpywareFoundAndToBeRemoved),
                     static_cast<Control*>(&cmdLiveUpdate), static_cast<Control*>(&mnuFileLiveUpdate),
                     static_cast<Control*>(&cmdSubmit), static_cast<Control*>(&cmdLog),
                     static_cast<Control*>(&mnuFileViewLog), static_cast<Control*>(&lblViewLogFile),
                     static_cast<Control*>(&cmdUpdate)})
    c->setEnabled(idle);
  frmMenuPopUp.mnuClose.setEnabled(!exitWaits());
  SetBackgroundTimers(true);  // all off while anything runs
}

void FrmMain::Command5_Click() {
  setWindowState(State::Minimized);
  setVisible(false);
  frmMenuPopUp.mnuMaxmimaize.setEnabled(true);
  tray.ShowIcon(*this);
  tray.ChangeToolTip(*this, branding.productName);
  settings.write(keys::Minimized, "Yes");
}

void FrmMain::endRunForExit() {
  unloading_ = true;
  if (scanInProgress()) ScanCancelled = true;
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
  auto& cols = lvwPicRemoveListOfSpywareFoundAndToBeRemoved.columns;
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
  for (Control* c : {static_cast<Control*>(&frmOptions), static_cast<Control*>(&frmScan),
                     static_cast<Control*>(&frmResults), static_cast<Control*>(&frmStatus),
                     static_cast<Control*>(&pgbDeleteSpywaresFound),
                     static_cast<Control*>(&lblDeletingPercentageCompleted),
                     static_cast<Control*>(&lblDeletingCaption)})
    c->setVisible(false);
}

void FrmMain::showPage(Frame& page) {
  HidePages();
  page.setVisible(true);
}

void FrmMain::cmdStatus_Click() { showPage(frmStatus); }
void FrmMain::cmdSettings_Click() { showPage(frmOptions); }
void FrmMain::cmdScan_Click() { showPage(frmScan); }

void FrmMain::cmdResults_Click() { showPage(frmResults); }

// "Click Here to Continue" after a scan: a scan that left nothing to remove ends here, so the
// anonymous report that a removal would send goes now.
void FrmMain::cmdRemove_Click() {
  cmdResults_Click();
  session.continueAfterScan();
}

void FrmMain::TabStrip1_Click() {
  Frame* tabs[] = {&frmView0, &frmView1, &frmView2, &frmView3};
  for (int i = 0; i < 4; ++i) tabs[i]->setVisible(TabStrip1.selected() == i + 1);
}

}  // namespace quillon::ui
