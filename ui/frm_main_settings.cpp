// The options of the settings page: how they are stored, loaded at start-up and applied.
#include <cstdio>

#include "common/text.h"
#include "shell/run_at_startup.h"
#include "ui/frm_main.h"

namespace quillon::ui {

namespace {
constexpr double kMaxColumnTwips = 100000;  // about 70 inches
const char* tf(bool b) { return b ? "True" : "False"; }
std::string boxValue(const CheckBox& c) { return std::to_string(c.value()); }
}  // namespace

// The options are stored before these run: the timers follow them through the one rule.
void FrmMain::setMemoryShield() { SetBackgroundTimers(true); }

void FrmMain::setHomePageShield(bool on) {
  SetBackgroundTimers(true);
  optAlwaysnotifybeforerestoring.setEnabled(on);
  optRestoredefaultwithoutnotification.setEnabled(on);
}

void FrmMain::wireSettingsHandlers() {
  // "Send anonymous data" is stored by its own handler, once the question of turning it off
  // has its answer.
  chkAutoDel.onClick = [this] { settings.write(keys::chkAutoDel, boxValue(chkAutoDel)); };
  const std::pair<CheckBox*, const SettingKey*> boxes[] = {
      {&chkMakeLog, &keys::chkMakeLog},         {&chkScanCookies, &keys::chkScanCookies},
      {&chkScanRegistry, &keys::chkScanRegistry}, {&chkSweepMemory, &keys::chkSweepMemory},
      {&chkAutomaticUpdate, &keys::chkAutomaticUpdate}};
  for (auto [box, key] : boxes) box->onClick = [this, box = box, key = key] { settings.write(*key, boxValue(*box)); };

  chkAutoProtect.onClick = [this] {
    bool on = chkAutoProtect.value() != 0;
    settings.write(keys::optMemorySheildOn, tf(on));
    settings.write(keys::optMemorySheildOff, tf(!on));
    setMemoryShield();
    // The box and the two option buttons show one setting: a button left selected against it
    // could not be clicked to switch the shield back.
    (on ? optMemorySheildOn : optMemorySheildOff).setValue(true);
  };
  chkHomePage.onClick = [this] {
    bool on = chkHomePage.value() != 0;
    settings.write(keys::optIEHomePageSheildOn, tf(on));
    settings.write(keys::optIEHomePageSheildOff, tf(!on));
    setHomePageShield(chkHomePage.value() == 1);
    (on ? optIEHomePageSheildOn : optIEHomePageSheildOff).setValue(true);
  };

  auto memoryOption = [this](bool enabledButton) {
    settings.write(keys::optMemorySheildOn, tf(optMemorySheildOn.value()));
    settings.write(keys::optMemorySheildOff, tf(optMemorySheildOff.value()));
    setMemoryShield();
    chkAutoProtect.setValue(enabledButton ? 1 : 0);
  };
  optMemorySheildOn.onClick = [memoryOption] { memoryOption(true); };
  optMemorySheildOff.onClick = [memoryOption] { memoryOption(false); };

  auto homeOption = [this](bool enabledButton) {
    settings.write(keys::optIEHomePageSheildOn, tf(optIEHomePageSheildOn.value()));
    settings.write(keys::optIEHomePageSheildOff, tf(optIEHomePageSheildOff.value()));
    setHomePageShield(enabledButton);
    chkHomePage.setValue(enabledButton ? 1 : 0);
  };
  optIEHomePageSheildOn.onClick = [homeOption] { homeOption(true); };
  optIEHomePageSheildOff.onClick = [homeOption] { homeOption(false); };

  auto actionOption = [this] {
    settings.write(keys::optAlwaysnotifybeforerestoring, tf(optAlwaysnotifybeforerestoring.value()));
    settings.write(keys::optRestoredefaultwithoutnotification, tf(optRestoredefaultwithoutnotification.value()));
  };
  optAlwaysnotifybeforerestoring.onClick = actionOption;
  optRestoredefaultwithoutnotification.onClick = actionOption;

  auto scanType = [this] {
    settings.write(keys::optScanOnlyKnownSoftwares, tf(optScanOnlyKnownSoftwares.value()));
    settings.write(keys::optScanAllSelectedHardDrive, tf(optScanAllSelectedHardDrive.value()));
    lvwHardDrives.setVisible(optScanAllSelectedHardDrive.value());
  };
  optScanOnlyKnownSoftwares.onClick = scanType;
  optScanAllSelectedHardDrive.onClick = scanType;
  lvwHardDrives.onItemCheck = [this](int) { lvwHardDrives_ItemCheck(); };

  chkRunAtStartup.onClick = [this] {
    settings.write(keys::chkRunAtStartup, boxValue(chkRunAtStartup));
    setRunAtStartup(platform.registry, settings, exePath);
  };
}

void FrmMain::LoadSettings() {
  // A stored value that is not a number (or not a boolean) leaves its control as it is.
  auto number = [this](const SettingKey& key, CheckBox& box) {
    auto v = settings.readNumber(key);
    if (v && (*v == 0 || *v == 1 || *v == 2)) box.setValue(int(*v));
  };
  auto boolean = [this](const SettingKey& key, OptionButton& opt) {
    if (auto v = settings.readBoolean(key)) opt.setValue(*v);
  };

  settings.write(keys::SHOW, "True");                                   // 1
  boolean(keys::optIEHomePageSheildOn, optIEHomePageSheildOn);          // 2
  chkHomePage.setValue(optIEHomePageSheildOn.value() ? 1 : 0);
  number(keys::chkMakeLog, chkMakeLog);                            // 3
  boolean(keys::optIEHomePageSheildOff, optIEHomePageSheildOff);       // 4
  boolean(keys::optAlwaysnotifybeforerestoring, optAlwaysnotifybeforerestoring);              // 5
  boolean(keys::optRestoredefaultwithoutnotification, optRestoredefaultwithoutnotification); // 6
  boolean(keys::optMemorySheildOn, optMemorySheildOn);                  // 7
  chkAutoProtect.setValue(optMemorySheildOn.value() ? 1 : 0);
  boolean(keys::optMemorySheildOff, optMemorySheildOff);               // 8
  number(keys::chkSweepMemory, chkSweepMemory);                    // 9
  number(keys::chkScanRegistry, chkScanRegistry);
  boolean(keys::optScanAllSelectedHardDrive, optScanAllSelectedHardDrive);  // 10
  optScanOnlyKnownSoftwares.setValue(true);
  // 11: an absent key means "run at start-up" only on the first start of the default brand.
  if (branding.productName == "Quillon" && settings.read(keys::ranOneTime) == "0") {
    number(keys::chkRunAtStartupFirstStart, chkRunAtStartup);
    settings.write(keys::ranOneTime, "1");
  } else {
    number(keys::chkRunAtStartup, chkRunAtStartup);
  }
  number(keys::chkSweepMemory, chkSweepMemory);                    // 12
  number(keys::chkScanRegistry, chkScanRegistry);
  number(keys::chkScanCookies, chkScanCookies);                    // 13
  number(keys::chkSendData, chkSendData);
  lblLastUpdate.setCaption("Signatures Last Updated On " + defs.readDate() + " PST");  // 14
  number(keys::chkAutomaticScanYesOrNo, chkAutomaticScanYesOrNo);  // 15
  SetBackgroundTimers(true);  // 16: the scheduler timer as the stored schedule and the window say
  showScheduleState();
  number(keys::chkAutomaticUpdate, chkAutomaticUpdate);            // 17
  for (int i = 0; i < lvwHardDrives.count(); ++i) {                       // 18: the fill set each default
    if (auto v = settings.readBoolean(keys::kDrives, lvwHardDrives.item(i).text, "")) lvwHardDrives.setChecked(i, *v, false);
  }
  auto& removal = lvwPicRemoveListOfSpywareFoundAndToBeRemoved;           // 19
  for (int i = 1; i <= int(removal.columns.size()); ++i) {
    // A width no screen could show is not a width: the column keeps its designed one.
    if (size_t(i) > std::size(keys::FoundCol2)) break;
    auto w = settings.readNumber(keys::FoundCol2[i - 1]);
    if (w && *w >= 0 && *w <= kMaxColumnTwips) removal.setColumnWidth(i, float(static_cast<long long>(*w)));
  }
  if (settings.read(keys::Max) == "1") setWindowState(State::Maximized);  // 20
  // Back where the user left it, while that is still on the screen (a second screen may have
  // gone since); otherwise the window stays in the middle.
  const auto area = host.workArea();
  auto x = settings.readNumber(keys::Left), y = settings.readNumber(keys::Top);
  if (x && y && *x >= area.left && *y >= area.top && *x + 100 <= area.right && *y + 50 <= area.bottom)
    moveTo(int(*x), int(*y));
}

void FrmMain::FillDriveList() {
  if (lvwHardDrives.count() > 0) return;
  for (const ListedDrive& d : session.drives()) {
    lvwHardDrives.add(std::string(1, d.letter));
    lvwHardDrives.setChecked(lvwHardDrives.count() - 1, d.checkedByDefault, false);
  }
}

void FrmMain::lvwHardDrives_ItemCheck() {
  for (const ListItem& item : lvwHardDrives.items()) settings.write(keys::kDrives, item.text, tf(item.checked));
}

}  // namespace quillon::ui
