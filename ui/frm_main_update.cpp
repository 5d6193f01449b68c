// Live Update from the main window: the run, what it changes on the status page, and its notice.
#include "shell/run_settings.h"
#include "shell/server_addresses.h"
#include "ui/frm_main.h"
#include "update/definition_merge.h"
#include "update/update_run.h"

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

MergeOutcome FrmMain::MergeDefinitionUpdate(const DefinitionUpdate& update) {
  if (unloading_) {  // the user exited while the text came: the definitions stay
    MergeOutcome nothing;
    nothing.problem = "the program is closing";
    return nothing;
  }
  StatusLine status(frmDownload.txtStatus, platform.pump);
  return applyDefinitionUpdate(platform.fs, platform.signatures, appFolder, update, status);
}

void FrmMain::cmdUpdate_ShiftPress() {
  if (busy()) return;
  messageBox(definitionFileListing(branding.webSite, definitionServer(settings)), branding.productName, kMbOk);
}

void FrmMain::RunLiveUpdate() {
  if (!definitionMerge) return;  // no merge, no update: the button is disabled then
  // A second run inside another would rewrite the definitions under a scan, or end as the first
  // one's end.
  RunScope run{*this, Run::LiveUpdate};
  if (!run) return;
  host.open(frmDownload, this);
  frmDownload.Form_Load();
  LiveUpdateRunEnv env{platform, defs, counts, ExePathList, definitionMerge,
                       [this](const std::string& s) { frmDownload.txtStatus.setText(s); }};
  const LiveUpdateRunOutcome update = runLiveUpdate(env, liveUpdateOptions(settings, branding, publisherKeys));
  lastUpdate_ = update.result;
  if (lastUpdate_.outcome == UpdateOutcome::Updated) {
    if (!lastUpdate_.newDate.empty()) lblDefVersion.setCaption(lastUpdate_.newDate + " PST");
    // A program the user closed during the run stays published as stopped.
    if (!unloading_) {
      settings.write(keys::SHOW, "True");
      settings.write(keys::RESTART, "True");
    }
    host.trayIcon(frmDownload, FormHost::TrayOp::Delete, "");
    DefinitionCount = counts.total();
    RefreshStatusPage();
    cmdScan.setEnabled(true);
  }
  const std::string& notice = update.notice;
  if (unloading_) {
    // Closed during the run: nobody is left to read the notice.
  } else if (lastUpdate_.outcome == UpdateOutcome::Busy) {
    messageBox(notice, branding.productName, kMbOk | kMbIconInformation);
  } else if (updateNotice) {
    updateNotice(notice);
  } else {
    host.open(frmSignatureUpdated, nullptr);
    frmSignatureUpdated.Form_Load(branding.productName);
    frmSignatureUpdated.lblUpdateInfo.setCaption(notice);
  }
  frmDownload.Form_Unload();
}

}  // namespace quillon::ui
