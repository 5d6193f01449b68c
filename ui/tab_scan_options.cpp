#include "ui/tab_scan_options.h"

#include "shell/run_at_startup.h"

namespace quillon::ui {

TabScanOptions::TabScanOptions(PageEnv env) : env_(env) {
  Settings& settings = env_.session.settings;
  // "Send anonymous data" is stored by its own handler, once the question of turning it off
  // has its answer.
  storeOnClick(settings, chkMakeLog, keys::chkMakeLog);
  storeOnClick(settings, chkScanCookies, keys::chkScanCookies);
  storeOnClick(settings, chkScanRegistry, keys::chkScanRegistry);
  storeOnClick(settings, chkScanMemory, keys::chkScanMemory);
  auto scanType = [this] {
    Settings& settings = env_.session.settings;
    settings.write(keys::optQuickScan, trueFalse(optQuickScan.value()));
    settings.write(keys::optCompleteScan, trueFalse(optCompleteScan.value()));
    showDrives();
  };
  optQuickScan.onClick = scanType;
  optCompleteScan.onClick = scanType;
  lvwDrives.onItemCheck = [this](int) { lvwDrives_ItemCheck(); };
  showDrives();
  chkRunAtStartup.onClick = [this] {
    Session& s = env_.session;
    s.settings.write(keys::chkRunAtStartup, boxValue(chkRunAtStartup));
    setRunAtStartup(env_.platform.registry, s.settings, s.exePath);
  };
  chkSendData.onMouseUp = [this] { chkSendData_MouseUp(); };
}

// The drives are a choice of the complete scan only; a quick scan looks where spyware settles.
void TabScanOptions::showDrives() {
  fraDrives.setVisible(optCompleteScan.value());
  lvwDrives.setVisible(optCompleteScan.value());
}

void TabScanOptions::layout(int width, int) {
  int y = 16;
  for (CheckBox* c : {&chkScanMemory, &chkScanRegistry, &chkScanCookies, &chkMakeLog}) {
    place(*c, &frmScanOptions, 16, y, 400, 22);
    y += 28;
  }
  place(fraScanType, &frmScanOptions, 10, 124, 210, 84);
  place(optQuickScan, &fraScanType, 10, 24, 190, 22);
  place(optCompleteScan, &fraScanType, 10, 50, 190, 22);
  place(fraDrives, &frmScanOptions, 230, 124, width - 246, 136);
  place(lvwDrives, &fraDrives, 10, 22, width - 266, 104);
  place(chkRunAtStartup, &frmScanOptions, 16, 270, width - 36, 22);
  place(chkSendData, &frmScanOptions, 16, 298, width - 36, 22);
  place(cmdOpenScanPage, &frmScanOptions, 16, 340, 120, 30);
}

void TabScanOptions::load() {
  Session& s = env_.session;
  Settings& settings = s.settings;
  loadBox(settings, keys::chkMakeLog, chkMakeLog);
  loadBox(settings, keys::chkScanMemory, chkScanMemory);
  loadBox(settings, keys::chkScanRegistry, chkScanRegistry);
  loadOption(settings, keys::optCompleteScan, optCompleteScan);
  optQuickScan.setValue(true);
  // An absent key means "run at start-up" only on the first start of the default brand.
  if (s.branding.productName == "Quillon" && settings.read(keys::ranOneTime) == "0") {
    loadBox(settings, keys::chkRunAtStartupFirstStart, chkRunAtStartup);
    settings.write(keys::ranOneTime, "1");
  } else {
    loadBox(settings, keys::chkRunAtStartup, chkRunAtStartup);
  }
  loadBox(settings, keys::chkScanMemory, chkScanMemory);
  loadBox(settings, keys::chkScanRegistry, chkScanRegistry);
  loadBox(settings, keys::chkScanCookies, chkScanCookies);
  loadBox(settings, keys::chkSendData, chkSendData);
}

void TabScanOptions::fillDrives() {
  if (lvwDrives.count() > 0) return;
  for (const ListedDrive& d : env_.session.drives()) {
    lvwDrives.add(std::string(1, d.letter));
    lvwDrives.setChecked(lvwDrives.count() - 1, d.checkedByDefault, false);
  }
}

void TabScanOptions::loadDrives() {
  for (int i = 0; i < lvwDrives.count(); ++i) {  // the fill set each default
    if (auto v = env_.session.settings.readBoolean(keys::kDrives, lvwDrives.item(i).text, ""))
      lvwDrives.setChecked(i, *v, false);
  }
}

void TabScanOptions::lvwDrives_ItemCheck() {
  for (const ListItem& item : lvwDrives.items())
    env_.session.settings.write(keys::kDrives, item.text, trueFalse(item.checked));
}

void TabScanOptions::chkSendData_MouseUp() {
  Settings& settings = env_.session.settings;
  if (chkSendData.value() == 0) {
    const std::string question =
        "By sending anonymous data you can help us identify new spyware more quickly.\r\n\r\n"
        "No personal information is collected, the only information sent is executable names that are currently "
        "loaded into memory.\r\n\r\nDo you really want to turn off anonymous data collection?";
    if (env_.frame.messageBox(question, "Really turn off anonymous data collection?", kMbYesNo) != kIdYes) {
      chkSendData.setValue(1);
      settings.write(keys::chkSendData, "1");
      return;
    }
  }
  settings.write(keys::chkSendData, std::to_string(chkSendData.value()));
}

}  // namespace quillon::ui
