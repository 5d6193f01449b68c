// The options of the settings page: how they are stored, loaded at start-up and applied.
#include <cstdio>

#include "common/text.h"
#include "shell/run_at_startup.h"
#include "ui/frm_main.h"

namespace quillon::ui {

namespace {
const char* kOpt = "OptionAndSettings";
const char* kSet = "Settings";
constexpr double kMaxColumnTwips = 100000;  // about 70 inches
const char* tf(bool b) { return b ? "True" : "False"; }
std::string boxValue(const CheckBox& c) { return std::to_string(c.value()); }
}  // namespace

void FrmMain::setMemoryShield(bool on) { tmrMemoryInspected.setEnabled(on); }

void FrmMain::setHomePageShield(bool on) {
  tmrCheckHomePage.setEnabled(on);
  optAlwaysnotifybeforerestoring.setEnabled(on);
  optRestoredefaultwithoutnotification.setEnabled(on);
}

void FrmMain::wireSettingsHandlers() {
  chkAutoDel.onClick = [this] { settings.write(kSet, "chkAutoDel", boxValue(chkAutoDel)); };
  for (CheckBox* c : {&chkMakeLog, &chkScanCookies, &chkScanRegistry, &chkSweepMemory, &chkAutomaticUpdate, &chkSendData})
    c->onClick = [this, c] { settings.write(kOpt, c->name(), boxValue(*c)); };

  chkAutoProtect.onClick = [this] {
    bool on = chkAutoProtect.value() != 0;
    settings.write(kOpt, "optMemorySheildOn", tf(on));
    settings.write(kOpt, "optMemorySheildOff", tf(!on));
    setMemoryShield(chkAutoProtect.value() == 1);
  };
  chkHomePage.onClick = [this] {
    bool on = chkHomePage.value() != 0;
    settings.write(kOpt, "optIEHomePageSheildOn", tf(on));
    settings.write(kOpt, "optIEHomePageSheildOff", tf(!on));
    setHomePageShield(chkHomePage.value() == 1);
  };

  auto memoryOption = [this](bool enabledButton) {
    settings.write(kOpt, "optMemorySheildOn", tf(optMemorySheildOn.value()));
    settings.write(kOpt, "optMemorySheildOff", tf(optMemorySheildOff.value()));
    setMemoryShield(enabledButton);
  };
  optMemorySheildOn.onClick = [memoryOption] { memoryOption(true); };
  optMemorySheildOff.onClick = [memoryOption] { memoryOption(false); };

  auto homeOption = [this](bool enabledButton) {
    settings.write(kOpt, "optIEHomePageSheildOn", tf(optIEHomePageSheildOn.value()));
    settings.write(kOpt, "optIEHomePageSheildOff", tf(optIEHomePageSheildOff.value()));
    setHomePageShield(enabledButton);
  };
  optIEHomePageSheildOn.onClick = [homeOption] { homeOption(true); };
  optIEHomePageSheildOff.onClick = [homeOption] { homeOption(false); };

  auto actionOption = [this] {
    settings.write(kOpt, "optAlwaysnotifybeforerestoring", tf(optAlwaysnotifybeforerestoring.value()));
    settings.write(kOpt, "optRestoredefaultwithoutnotification", tf(optRestoredefaultwithoutnotification.value()));
  };
  optAlwaysnotifybeforerestoring.onClick = actionOption;
  optRestoredefaultwithoutnotification.onClick = actionOption;

  auto scanType = [this] {
    settings.write(kOpt, "optScanOnlyKnownSoftwares", tf(optScanOnlyKnownSoftwares.value()));
    settings.write(kOpt, "optScanAllSelectedHardDrive", tf(optScanAllSelectedHardDrive.value()));
    lvwHardDrives.setVisible(optScanAllSelectedHardDrive.value());
  };
  optScanOnlyKnownSoftwares.onClick = scanType;
  optScanAllSelectedHardDrive.onClick = scanType;

  chkRunAtStartup.onClick = [this] {
    settings.write(kOpt, "chkRunAtStartup", boxValue(chkRunAtStartup));
    setRunAtStartup(platform.registry, settings, exePath);
  };

  cmdDefaultSetting.onClick = [this] {
    cmbDays.setListIndex(7);
    chkAutomaticScanYesOrNo.setValue(0);
    if (CmdProceed.onClick) CmdProceed.onClick();
  };
}

void FrmMain::LoadSettings() {
  // A stored value that is not a number (or not a boolean) leaves its control as it is.
  auto number = [this](const char* section, const std::string& key, const char* def, CheckBox& box) {
    auto v = settings.readNumber(section, key, def);
    if (v && (*v == 0 || *v == 1 || *v == 2)) box.setValue(int(*v));
  };
  auto boolean = [this](const std::string& key, const char* def, OptionButton& opt) {
    if (auto v = settings.readBoolean(kOpt, key, def)) opt.setValue(*v);
  };

  settings.write(kOpt, "SHOW", "True");                                   // 1
  boolean("optIEHomePageSheildOn", "True", optIEHomePageSheildOn);          // 2
  chkHomePage.setValue(optIEHomePageSheildOn.value() ? 1 : 0);
  number(kOpt, "chkMakeLog", "1", chkMakeLog);                            // 3
  boolean("optIEHomePageSheildOff", "False", optIEHomePageSheildOff);       // 4
  boolean("optAlwaysnotifybeforerestoring", "True", optAlwaysnotifybeforerestoring);              // 5
  boolean("optRestoredefaultwithoutnotification", "False", optRestoredefaultwithoutnotification); // 6
  boolean("optMemorySheildOn", "True", optMemorySheildOn);                  // 7
  chkAutoProtect.setValue(optMemorySheildOn.value() ? 1 : 0);
  boolean("optMemorySheildOff", "False", optMemorySheildOff);               // 8
  number(kOpt, "chkSweepMemory", "1", chkSweepMemory);                    // 9
  number(kOpt, "chkScanRegistry", "1", chkScanRegistry);
  boolean("optScanAllSelectedHardDrive", "True", optScanAllSelectedHardDrive);  // 10
  optScanOnlyKnownSoftwares.setValue(true);
  // 11: an absent key means "run at start-up" only on the first start of the default brand.
  if (consoleMode) {
    // leave the entry to the desktop program
  } else if (branding.productName == "Quillon" && settings.read(kSet, "ranOneTime", "0") == "0") {
    number(kOpt, "chkRunAtStartup", "1", chkRunAtStartup);
    settings.write(kSet, "ranOneTime", "1");
  } else {
    number(kOpt, "chkRunAtStartup", "0", chkRunAtStartup);
  }
  number(kOpt, "chkSweepMemory", "1", chkSweepMemory);                    // 12
  number(kOpt, "chkScanRegistry", "1", chkScanRegistry);
  number(kOpt, "chkScanCookies", "1", chkScanCookies);                    // 13
  number(kOpt, "chkSendData", "1", chkSendData);
  lblLastUpdate.setCaption("Signatures Last Updated On " + defs.readDate() + " PST");  // 14
  number(kOpt, "chkAutomaticScanYesOrNo", "0", chkAutomaticScanYesOrNo);  // 15
  auto scheduled = settings.readNumber(kOpt, "chkAutomaticScanYesOrNo", "0");  // 16
  bool on = scheduled && *scheduled != 0;
  for (Control* c : {static_cast<Control*>(&dtpScheduleDate), static_cast<Control*>(&dtpScheduleTime),
                     static_cast<Control*>(&cmbDays), static_cast<Control*>(&tmrScheduler)})
    c->setEnabled(on);
  number(kOpt, "chkAutomaticUpdate", "1", chkAutomaticUpdate);            // 17
  for (int i = 0; i < lvwHardDrives.count(); ++i) {                       // 18
    if (auto v = settings.readBoolean("Drives", lvwHardDrives.item(i).text, "True")) lvwHardDrives.setChecked(i, *v);
  }
  auto& removal = lvwPicRemoveListOfSpywareFoundAndToBeRemoved;           // 19
  for (int i = 1; i <= int(removal.columns.size()); ++i) {
    // A width no screen could show is not a width: the column keeps its designed one.
    auto w = settings.readNumber(kSet, "FoundCol2" + std::to_string(i), "1400");
    if (w && *w >= 0 && *w <= kMaxColumnTwips) removal.setColumnWidth(i, float(static_cast<long long>(*w)));
  }
  if (settings.read(kSet, "Max", "0") == "1") setWindowState(State::Maximized);  // 20
}

}  // namespace quillon::ui
