#include "ui/frm_main.h"

#include <cstdio>

#include "common/text.h"
#include "reports/report.h"
#include "shell/app_folder.h"
#include "shell/run_at_startup.h"

namespace quillon::ui {

FrmMain::FrmMain(Platform& p, FormHost& h, std::string exe, Branding b)
    : Form(b.productName),
      platform(p),
      host(h),
      exePath(std::move(exe)),
      appFolder(appFolderOf(exePath)),
      branding(std::move(b)),
      settings(p.registry, p.dialogs, branding.productName, branding.companyName),
      defs(p.fs, appFolder),
      exclusions(p.fs, p.pump, appFolder + "\\" + kExclusionFile),
      restorePoints(p.restore),
      tray(h),
      frmDelete(p.clipboard),
      own_(ownPrograms(p.processes, exePath, appFolder)) {
  layoutControls();
  wireHandlers();
  wireSettingsHandlers();
}

FrmMain::~FrmMain() = default;

// ---- presentation ------------------------------------------------------------------------
void FrmMain::layoutControls() {
  width = 800, height = 560;
  auto at = [](Control& c, Control* in, int x, int y, int w, int h) {
    c.container = in;
    c.layout = {x, y, w, h};
  };
  int y = 16;
  for (Button* b : {&cmdStatus, &cmdScan, &cmdResults, &cmdSettings, &cmdUpdate, &cmdLog, &Command5, &cmdWebsite}) {
    at(*b, nullptr, 10, y, 150, 34);
    y += 44;
  }
  for (Frame* f : {&frmStatus, &frmScan, &frmResults, &frmOptions}) at(*f, nullptr, 172, 8, 616, 540);

  at(Label22, &frmStatus, 20, 24, 560, 28);
  y = 80;
  for (auto [cap, val] : {std::pair<Label*, Label*>{&lblVersionCaption, &lblVersion}, {&lblDefCountCaption, &lblDefCount},
                          {&lblDefVersionCaption, &lblDefVersion}, {&lblLastScanCaption, &lblLastScan},
                          {&lblLastFullScanCaption, &lblLastFullScan}, {&lblDefRemovedCaption, &lblDefRemoved}}) {
    at(*cap, &frmStatus, 20, y, 270, 22);
    at(*val, &frmStatus, 300, y, 290, 22);
    y += 34;
  }

  at(cmdScanNow, &frmScan, 20, 20, 100, 30);
  at(cmdPause, &frmScan, 130, 20, 100, 30);
  at(cmdStop, &frmScan, 240, 20, 100, 30);
  for (Label* l : {&lblStart, &lblPause, &lblStop}) l->setVisible(false);  // the unskinned page uses buttons
  y = 66;
  for (auto [cap, val] : {std::pair<Label*, Label*>{&lblMemoryCaption, &lblMemoryInspected}, {&lblRegistryCaption, &lblRegistryInspected},
                          {&lblFilesCaption, &lblFilesFolderInspected}, {&lblSoftwareCaption, &lblSoftwareFound},
                          {&lblTracesCaption, &lbltracesFound}, {&lblRunningCaption, &lblTotalNoOfRunningItems}}) {
    at(*cap, &frmScan, 40, y, 220, 20);
    at(*val, &frmScan, 270, y, 120, 20);
    y += 24;
  }
  at(shpCircle, &frmScan, 22, 90, 12, 12);
  at(lblPercentageCompleted, &frmScan, 20, 214, 570, 20);
  at(pb1, &frmScan, 20, 238, 570, 16);
  at(pb2, &frmScan, 20, 260, 570, 16);
  at(pbgMain, &frmScan, 20, 282, 570, 10);
  pbgMain.setVisible(false);
  at(lblStatus, &frmScan, 20, 296, 570, 36);
  at(lvwSpywareFound, &frmScan, 20, 336, 570, 150);
  at(cmdRemove, &frmScan, 20, 494, 200, 32);
  at(lblViewLogFile, &frmScan, 240, 502, 120, 20);

  at(lblResultsCaption, &frmResults, 20, 16, 160, 20);
  at(lblRemovePicSoftwareFound, &frmResults, 186, 16, 100, 20);
  at(lvwPicRemoveListOfSpywareFoundAndToBeRemoved, &frmResults, 20, 44, 570, 380);
  at(cmdSelectAll, &frmResults, 20, 436, 110, 30);
  at(cmdExclude, &frmResults, 140, 436, 110, 30);
  at(Command4, &frmResults, 260, 436, 110, 30);
  Command4.toolTip = "Permanently delete selected items";
  lblRemove.setVisible(false);
  at(pgbDeleteSpywaresFound, &frmResults, 20, 476, 570, 16);
  at(lblDeletingPercentageCompleted, &frmResults, 20, 496, 200, 20);
  at(lblDeletingCaption, &frmResults, 220, 496, 370, 20);

  for (ListView* l : {&lvwFilesToBeDeleted, &lvwRegistryToBeDeleted, &lvwCookiesToDelete}) l->setVisible(false);
  lblHide.setVisible(false);  // the unskinned window closes through its title bar

  at(TabStrip1, &frmOptions, 10, 24, 596, 506);
  Frame* tabs[] = {&frmView0, &frmView1, &frmView2, &frmView3};
  for (Frame* f : tabs) at(*f, &frmOptions, 20, 58, 576, 462);
  y = 16;
  for (CheckBox* c : {&chkSweepMemory, &chkScanRegistry, &chkScanCookies, &chkMakeLog}) {
    at(*c, &frmView0, 16, y, 400, 22);
    y += 28;
  }
  at(fraScanType, &frmView0, 10, 124, 210, 84);
  at(optScanOnlyKnownSoftwares, &fraScanType, 10, 24, 190, 22);
  at(optScanAllSelectedHardDrive, &fraScanType, 10, 50, 190, 22);
  at(fraDriveSelection, &frmView0, 230, 124, 330, 136);
  at(lvwHardDrives, &fraDriveSelection, 10, 22, 310, 104);
  lvwHardDrives.setVisible(false);
  at(chkRunAtStartup, &frmView0, 16, 270, 540, 22);
  at(chkSendData, &frmView0, 16, 298, 540, 22);
  at(Command1, &frmView0, 16, 340, 120, 30);

  at(chkAutomaticScanYesOrNo, &frmView1, 16, 16, 300, 22);
  at(lblRunOn, &frmView1, 16, 48, 160, 18);
  at(lblDate, &frmView1, 190, 48, 140, 18);
  at(lblTime, &frmView1, 340, 48, 120, 18);
  at(cmbDays, &frmView1, 16, 68, 160, 200);
  at(dtpScheduleDate, &frmView1, 190, 68, 140, 24);
  at(dtpScheduleTime, &frmView1, 340, 68, 120, 24);
  at(chkAutoDel, &frmView1, 16, 108, 500, 22);
  at(CmdProceed, &frmView1, 16, 148, 100, 30);
  at(cmdDefaultSetting, &frmView1, 126, 148, 100, 30);

  at(lblMemoryShield, &frmView2, 16, 16, 540, 20);
  at(chkAutoProtect, &frmView2, 16, 40, 100, 22);
  at(optMemorySheildOn, &frmView2, 130, 40, 100, 22);
  at(optMemorySheildOff, &frmView2, 240, 40, 100, 22);
  at(lblHomePageShield, &frmView2, 16, 90, 540, 20);
  at(chkHomePage, &frmView2, 16, 114, 100, 22);
  at(optIEHomePageSheildOn, &frmView2, 130, 114, 100, 22);
  at(optIEHomePageSheildOff, &frmView2, 240, 114, 100, 22);
  at(optAlwaysnotifybeforerestoring, &frmView2, 40, 146, 400, 22);
  at(optRestoredefaultwithoutnotification, &frmView2, 40, 172, 400, 22);

  at(chkAutomaticUpdate, &frmView3, 16, 16, 500, 22);
  at(lblLastUpdate, &frmView3, 16, 50, 540, 22);
}

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
  mnuViewExclusions.onClick = [this] { mnuViewExclusions_Click(); };
  mnuFileExit.onClick = [this] { Form_QueryUnload(); Form_Unload(); };
  lblHide.onClick = [this] { Form_Unload(); };
  Command5.onClick = [this] { Command5_Click(); };
  mnuFileMinimize.onClick = [this] { Command5_Click(); };
  timUpdate.onTick = [this] { timUpdate_Timer(); };
  onResize = [this] { Form_Resize(); };
  onTrayMouse = [this](int message) { TrayMouse(message); };
  lvwPicRemoveListOfSpywareFoundAndToBeRemoved.onItemCheck = [this](int row) { SyncRemovalCheck(row); };
  TabStrip1.onClick = [this] { TabStrip1_Click(); };
  MenuItem* tabItems[] = {&mnuSettingsScanOptions, &mnuSettingsProtection, &mnuSettingsSchedule, &mnuSettingsUpdate};
  const int tabOf[] = {1, 3, 2, 4};
  for (int i = 0; i < 4; ++i)
    tabItems[i]->onClick = [this, tab = tabOf[i]] {
      cmdSettings_Click();
      TabStrip1.select(tab);
    };
  frmReport.cmdOk.onClick = [this] { frmReport.setVisible(false); };

  // A control is enabled only when what it does works. Removal, Live Update, the quarantine
  // viewer, the schedule's Apply (and its Reset, which applies) and the web page come with
  // their own subsystems; Stop and Pause only while a scan runs.
  for (Control* c : {static_cast<Control*>(&Command4), static_cast<Control*>(&cmdUpdate),
                     static_cast<Control*>(&mnuViewQuarantine), static_cast<Control*>(&CmdProceed),
                     static_cast<Control*>(&cmdDefaultSetting), static_cast<Control*>(&cmdWebsite),
                     static_cast<Control*>(&cmdStop), static_cast<Control*>(&cmdPause),
                     static_cast<Control*>(&lblStop), static_cast<Control*>(&lblPause)})
    c->setEnabled(false);
}

void FrmMain::lockRedraw(bool lock) {
  if (visible()) host.lockRedraw(*this, lock);
}

ResultLists FrmMain::resultLists() {
  return ResultLists{lvwSpywareFound, lvwPicRemoveListOfSpywareFoundAndToBeRemoved, lvwFilesToBeDeleted,
                     lvwRegistryToBeDeleted, lvwCookiesToDelete, lbltracesFound};
}

// ---- life cycle ------------------------------------------------------------------------------
void FrmMain::Form_Load() {
  AutoUpdateCounter = 0;
  loaded_ = false;
  // The program acts only on its own folder: one it could not get whole, or could not use with
  // the classic file functions, ends it here before anything is read or written.
  if (std::string problem = appFolderProblem(exePath, branding.productName); !problem.empty()) {
    messageBox(problem, branding.productName, kMbOk | kMbIconError);
    if (endProcess) endProcess();
    return;
  }
  // A second copy ends silently, before it writes anything. The console program is not the
  // resident one: it neither takes the lock nor is turned away by it.
  auto secondInstance = [this] {
    return !consoleMode && platform.instanceLock.anotherInstanceRunning(branding.productName);
  };
  if (secondInstance()) {
    if (endProcess) endProcess();
    return;
  }
  defs.installDownloaded();
  counts = defs.count();
  DefinitionCount = counts.total();
  RefreshStatusPage();
  exclusions.load();

  HidePages();
  frmStatus.setCaption(branding.productName + " Status");
  frmStatus.setVisible(true);
  if (secondInstance()) {
    if (endProcess) endProcess();
    return;
  }
  if (!consoleMode) {
    settings.write(keys::STATUS, "RUNNING");
    settings.write(keys::RESTART, "False");
  }
  frmHidden.setVisible(false);
  setCaption(branding.productName + " by " + branding.companyName);
  cmdWebsite.setCaption("Visit " + branding.webSite);
  shpCircle.setVisible(false);
  setShowInTaskbar(false);

  SetBackgroundTimers(false);
  LoadSettings();
  SetBackgroundTimers(true);
  frmDelete.setVisible(false);
  Label22.setCaption("Welcome to " + branding.productName);
  TabStrip1_Click();
  loaded_ = true;
  if (consoleMode) return;  // the rest concerns the resident program only

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

void FrmMain::RunLiveUpdate() {
  if (liveUpdate) liveUpdate();
}

void FrmMain::timUpdate_Timer() {
  if (AutoUpdateCounter >= 300 && cmdScanNow.enabled()) {
    RunLiveUpdate();
    AutoUpdateCounter = 0;
    timUpdate.setEnabled(false);
  } else if (cmdScanNow.enabled()) {
    ++AutoUpdateCounter;
  }
}

void FrmMain::Form_Resize() {
  if (windowState() == State::Normal) {
    // Scheduled scans and the memory shield run only while the window is out of the way.
    tmrScheduler.setEnabled(false);
    tmrMemoryInspected.setEnabled(false);
    setShowInTaskbar(true);
    if (visible()) settings.write(keys::Minimized, "No");
  } else {
    SetBackgroundTimers(true);
    setShowInTaskbar(false);
  }
}

void FrmMain::Command5_Click() {
  setWindowState(State::Minimized);
  setVisible(false);
  tray.ShowIcon(*this);
  tray.ChangeToolTip(*this, branding.productName);
  settings.write(keys::Minimized, "Yes");
}

void FrmMain::TrayMouse(int message) {
  switch (message) {
    // Until the tray's own menu exists, a press on the icon brings the window back, as that
    // menu's "Show Program" does.
    case 513:
    case 516:
    case 515:
    case 518:
      setWindowState(State::Normal);
      setVisible(true);
      break;
    default:
      break;
  }
}

void FrmMain::endRunForExit() {
  unloading_ = true;
  if (scanInProgress()) ScanCancelled = true;
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
  setWindowState(State::Minimized);
  setVisible(false);
  for (Form* f : {static_cast<Form*>(&frmReport), static_cast<Form*>(&frmHidden), static_cast<Form*>(&frmDelete)})
    f->setVisible(false);
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

void FrmMain::cmdResults_Click() {
  showPage(frmResults);
  // The anonymous report of an empty result goes out with the data-server subsystem.
}

void FrmMain::cmdRemove_Click() { cmdResults_Click(); }

void FrmMain::TabStrip1_Click() {
  Frame* tabs[] = {&frmView0, &frmView1, &frmView2, &frmView3};
  for (int i = 0; i < 4; ++i) tabs[i]->setVisible(TabStrip1.selected() == i + 1);
}

// ---- results page ---------------------------------------------------------------------------
void FrmMain::cmdSelectAll_Click() {
  auto& list = lvwPicRemoveListOfSpywareFoundAndToBeRemoved;
  for (int i = 0; i < list.count(); ++i)
    if (!list.item(i).checked) list.setChecked(i, true);  // runs SyncRemovalCheck
}

void FrmMain::SyncRemovalCheck(int row) {
  const ListItem& r = lvwPicRemoveListOfSpywareFoundAndToBeRemoved.item(row);
  const bool checked = r.checked;
  // The work lists look their cells up, so a check mark costs the same however long they are.
  auto mark = [checked](ListView& list, const std::vector<int>& rows) {
    for (int i : rows) list.setChecked(i, checked);
  };
  switch (r.icon) {
    case kIconCookie: mark(lvwCookiesToDelete, lvwCookiesToDelete.rowsWith(r.subItem(1), {0})); break;
    case kIconRegistry: mark(lvwRegistryToBeDeleted, lvwRegistryToBeDeleted.rowsWith(r.text, {1, 3})); break;
    case kIconFile: mark(lvwFilesToBeDeleted, lvwFilesToBeDeleted.rowsWith(r.text, {1})); break;
    case kIconFolder: mark(lvwFilesToBeDeleted, lvwFilesToBeDeleted.rowsWith(r.subItem(1), {0})); break;
    default: break;
  }
}

void FrmMain::cmdExclude_Click() {
  auto& removal = lvwPicRemoveListOfSpywareFoundAndToBeRemoved;
  if (removal.count() == 0 && lvwRegistryToBeDeleted.count() == 0 && lvwSpywareFound.count() == 0) {
    messageBox("Sorry, there are no entries to be excluded.", branding.productName, kMbOk | kMbIconInformation);
    return;
  }
  const std::string question =
      "Are you sure you want to exclude the selected files?\r\n\r\n"
      "Excluded files will not show up as Adware/Spyware on future scans.\r\n\r\n"
      "You can edit the list of excluded files through the Quarantine menu.";
  if (messageBox(question, "Really Exclude?", kMbYesNo) != kIdYes) return;
  // The whole selection goes to the file in one write and one reload.
  std::vector<std::string> entries;
  for (const ListItem& r : removal.items()) {
    if (!r.checked) continue;
    entries.push_back(r.subItem(1));
    entries.push_back(replaceAll(r.text, "Cookie: ", ""));
  }
  exclusions.addAll(entries);
  lvwFilesToBeDeleted.removeChecked();
  lvwRegistryToBeDeleted.removeChecked();
  lvwSpywareFound.removeChecked();
  lvwCookiesToDelete.removeChecked();
  lblDeletingCaption.setCaption("");
  removal.removeChecked();
}

void FrmMain::Command4_Click() {
  // Removal arrives with the quarantine subsystem; an unattended run reaches here harmlessly.
}

void FrmMain::mnuViewExclusions_Click() {
  const std::string path = appFolder + "\\" + kExclusionFile;
  if (!fileExists(platform.fs, path)) {
    messageBox("No exclusion file exists yet.", "No Exclusion File", kMbOk);
    return;
  }
  platform.launcher.launch("notepad " + path);
}

// ---- report -----------------------------------------------------------------------------------
bool FrmMain::MakeReport() {
  return makeReport(platform.fs, appFolder,
             ReportInputs{branding.productName, branding.major, branding.minor, ScanStartedAt, ScanFinishedAt,
                          lblMemoryInspected.caption(), lblRegistryInspected.caption(),
                          lblFilesFolderInspected.caption(), lvwPicRemoveListOfSpywareFoundAndToBeRemoved});
}

void FrmMain::lblViewLogFile_Click() {
  lblViewLogFile.setEnabled(false);
  frmReport.load(platform.fs, platform.pump, appFolder, branding.productName);
  host.showModal(frmReport);
  lblViewLogFile.setEnabled(true);
}

void FrmMain::cmdLog_Click() { lblViewLogFile_Click(); }

}  // namespace quillon::ui
