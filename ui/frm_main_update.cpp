// Live Update from the main window: the run, what it changes on the status page, and its notice.
#include "shell/server_addresses.h"
#include "ui/frm_main.h"
#include "update/definition_merge.h"
#include "update/live_update.h"

namespace quillon::ui {

namespace {
// The merge's progress goes where the fetch's goes.
class StatusLine : public MergeStatus {
 public:
  StatusLine(TextBox& line, Pump& pump) : line_(line), pump_(pump) {}
  void show(const std::string& text) override { line_.setText(text); }
  void yield() override { pump_.yield(); }

 private:
  TextBox& line_;
  Pump& pump_;
};
}  // namespace

int FrmMain::MergeDefinitionUpdate(const std::string& text) {
  if (unloading_) return -1;  // the user exited while the text came: the definitions stay
  // A text the merge cannot use changes nothing; it is told apart from one with nothing new.
  std::vector<MergeRecord> records;
  if (!parseDefinitionUpdate(text, records)) return -1;
  StatusLine status(frmDownload.txtStatus, platform.pump);
  return int(mergeDefinitionUpdate(platform.fs, appFolder, text, status));
}

void FrmMain::cmdUpdate_ShiftPress() {
  messageBox(definitionFileListing(branding.webSite, definitionServer(settings)), branding.productName, kMbOk);
}

void FrmMain::RunLiveUpdate() {
  if (!definitionMerge) return;  // no merge, no update: the button is disabled then
  // The menu and the page's button stay clickable while a run or a scan turns the message loop:
  // a second run inside them would rewrite the definitions under the scan, or end as the first
  // one's end.
  if (!cmdLiveUpdate.enabled() || !cmdScanNow.enabled()) return;
  SetBackgroundTimers(false);
  cmdLiveUpdate.setEnabled(false);  // one Live Update at a time
  liveUpdateRunning_ = true;
  host.open(frmDownload, this);
  frmDownload.Form_Load();
  LiveUpdateEnv env{platform, defs, definitionServer(settings), branding.productName, branding.companyName,
                    definitionMerge, [this](const std::string& s) { frmDownload.txtStatus.setText(s); }};
  lastUpdate_ = fetchIncrementalUpdate(env);
  if (lastUpdate_.outcome == UpdateOutcome::Updated) {
    if (!lastUpdate_.newDate.empty()) lblDefVersion.setCaption(lastUpdate_.newDate + " PST");
    // A program the user closed during the run stays published as stopped.
    if (!unloading_) {
      settings.write(keys::SHOW, "True");
      settings.write(keys::RESTART, "True");
    }
    host.trayIcon(frmDownload, FormHost::TrayOp::Delete, "");
    // The next scan reads the new definitions, the running-program list included.
    ExePathList.clear();
    counts = defs.count();
    DefinitionCount = counts.total();
    RefreshStatusPage();
    cmdScan.setEnabled(true);
  }
  const std::string notice = updateNoticeText(lastUpdate_, branding.productName);
  if (unloading_) {
    // Closed during the run: nobody is left to read the notice.
  } else if (updateNotice) {
    updateNotice(notice);
  } else {
    host.open(frmSignatureUpdated, nullptr);
    frmSignatureUpdated.Form_Load(branding.productName);
    frmSignatureUpdated.lblUpdateInfo.setCaption(notice);
  }
  frmDownload.Form_Unload();
  liveUpdateRunning_ = false;
  cmdLiveUpdate.setEnabled(true);
  SetBackgroundTimers(true);
}

}  // namespace quillon::ui
