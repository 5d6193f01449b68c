// Where every control of the main window sits.
#include "ui/frm_main.h"

namespace quillon::ui {

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

  at(fraSubmit, &frmStatus, 20, 300, 570, 130);
  at(txtFilename, &fraSubmit, 14, 28, 330, 24);
  at(Command2, &fraSubmit, 354, 26, 90, 28);
  at(cmdSubmit, &fraSubmit, 454, 26, 100, 28);
  at(Label26, &fraSubmit, 14, 62, 540, 56);

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
  at(lvwPicRemoveListOfSpywareFoundAndToBeRemoved, &frmResults, 20, 44, 570, 362);
  at(lblScheduledRemoval, &frmResults, 20, 410, 570, 20);
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
  at(cmdLiveUpdate, &frmView3, 16, 84, 180, 30);
}

}  // namespace quillon::ui
