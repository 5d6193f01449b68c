// Live Update from the main window: the run, what it changes on the status page, and its notice.
#include "shell/server_addresses.h"
#include "ui/frm_main.h"
#include "update/live_update.h"

namespace quillon::ui {

void FrmMain::RunLiveUpdate() {
  if (!definitionMerge) return;  // no merge, no update: the button is disabled then
  SetBackgroundTimers(false);
  LiveUpdateEnv env{platform, defs, definitionServer(settings), branding.productName, branding.companyName,
                    definitionMerge, [this](const std::string& s) { lblDeletingCaption.setCaption(s); }};
  lastUpdate_ = fetchIncrementalUpdate(env);
  if (lastUpdate_.outcome == UpdateOutcome::Updated) {
    if (!lastUpdate_.newDate.empty()) lblDefVersion.setCaption(lastUpdate_.newDate + " PST");
    settings.write(keys::SHOW, "True");
    settings.write(keys::RESTART, "True");
    // The next scan reads the new definitions, the running-program list included.
    ExePathList.clear();
    counts = defs.count();
    DefinitionCount = counts.total();
    RefreshStatusPage();
    cmdScan.setEnabled(true);
  }
  lblDeletingCaption.setCaption("");
  const std::string notice = updateNoticeText(lastUpdate_, branding.productName);
  if (updateNotice) updateNotice(notice);
  else messageBox(notice, branding.productName, kMbOk | kMbIconInformation);
  SetBackgroundTimers(true);
}

}  // namespace quillon::ui
