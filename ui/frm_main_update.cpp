// Live Update from the main window: the run, what it changes on the status page, and its notice.
#include "shell/server_addresses.h"
#include "ui/frm_main.h"

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

void FrmMain::cmdUpdate_ShiftPress() {
  if (busy()) return;
  messageBox(definitionFileListing(branding.webSite, definitionServer(settings)), branding.productName, kMbOk);
}

void FrmMain::RunLiveUpdate() {
  // A second run inside another would rewrite the definitions under a scan, or end as the first
  // one's end.
  Session::Scope run{session, Operation::LiveUpdate};
  if (!run) return;
  host.open(frmDownload, this);
  frmDownload.Form_Load();
  StatusLine status(frmDownload.txtStatus, platform.pump);
  const LiveUpdateRunOutcome update =
      session.update(&status, [this](const std::string& s) { frmDownload.txtStatus.setText(s); },
                     [this](size_t received, size_t expected) { frmDownload.showProgress(received, expected); });
  const LiveUpdateResult& result = update.result;
  if (result.outcome == UpdateOutcome::Updated) {
    if (!result.newDate.empty()) pageStatus.lblDefVersion.setCaption(result.newDate + " PST");
    // A program the user closed during the run stays published as stopped.
    if (!unloading_) {
      settings.write(keys::SHOW, "True");
      settings.write(keys::RESTART, "True");
    }
    host.trayIcon(frmDownload, FormHost::TrayOp::Delete, "");
    pageStatus.refresh();
    cmdScan.setEnabled(true);
  }
  const std::string& notice = update.notice;
  if (unloading_) {
    // Closed during the run: nobody is left to read the notice.
  } else if (result.outcome == UpdateOutcome::Busy) {
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
