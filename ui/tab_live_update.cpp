#include "ui/tab_live_update.h"

namespace quillon::ui {

TabLiveUpdate::TabLiveUpdate(PageEnv env) : env_(env) {
  storeOnClick(env_.session.settings, chkAutomaticUpdate, keys::chkAutomaticUpdate);
  cmdLiveUpdate.onClick = [this] { env_.frame.runLiveUpdate(); };
}

void TabLiveUpdate::layout(int width, int) {
  place(chkAutomaticUpdate, &frmLiveUpdate, 16, 16, width - 76, 22);
  place(lblLastUpdate, &frmLiveUpdate, 16, 50, width - 36, 22);
  place(cmdLiveUpdate, &frmLiveUpdate, 16, 84, 180, 30);
}

void TabLiveUpdate::showLastUpdate() {
  lblLastUpdate.setCaption("Signatures Last Updated On " + env_.session.defs.readDate() + " PST");
}

void TabLiveUpdate::load() { loadBox(env_.session.settings, keys::chkAutomaticUpdate, chkAutomaticUpdate); }

}  // namespace quillon::ui
