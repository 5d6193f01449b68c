// The main window's menu bar: its items, in the order they show, each named for its menu.
#pragma once
#include "controls/controls.h"

namespace quillon::ui {

struct MainMenu {
  explicit MainMenu(controls::Form* f) : f(f) {}
  controls::Form* const f;
  controls::MenuItem mnuFileScanNow{f, "mnuFileScanNow", "Scan Now", "File"};
  controls::MenuItem mnuFileScanResults{f, "mnuFileScanResults", "Scan Results", "File"};
  controls::MenuItem mnuFileViewLog{f, "mnuFileViewLog", "View Log", "File"};
  controls::MenuItem mnuFileSep1{f, "mnuFileSep1", "-", "File"};
  controls::MenuItem mnuFileLiveUpdate{f, "mnuFileLiveUpdate", "Run Live Update", "File"};
  controls::MenuItem mnuFileSep2{f, "mnuFileSep2", "-", "File"};
  controls::MenuItem mnuFileMinimize{f, "mnuFileMinimize", "Minimize to Tray", "File"};
  controls::MenuItem mnuFileSep3{f, "mnuFileSep3", "-", "File"};
  controls::MenuItem mnuFileExit{f, "mnuFileExit", "Exit", "File"};
  controls::MenuItem mnuSettingsScanOptions{f, "mnuSettingsScanOptions", "Scan Options", "Settings"};
  controls::MenuItem mnuSettingsProtection{f, "mnuSettingsProtection", "Proactive Protection", "Settings"};
  controls::MenuItem mnuSettingsSchedule{f, "mnuSettingsSchedule", "Schedule", "Settings"};
  controls::MenuItem mnuSettingsUpdate{f, "mnuSettingsUpdate", "Auto Update", "Settings"};
  controls::MenuItem mnuViewQuarantine{f, "mnuViewQuarantine", "View Quarantine", "Quarantine"};
  controls::MenuItem mnuViewExclusions{f, "mnuViewExclusions", "View Exclusions", "Quarantine"};
  controls::MenuItem mnuManageQuarantine{f, "mnuManageQuarantine", "Manage Quarantine...", "Quarantine"};
  controls::MenuItem mnuViewHelp{f, "mnuViewHelp", "View Help", "Help"};
  controls::MenuItem mnuAbout{f, "mnuAbout", "About this software", "About"};

};

}  // namespace quillon::ui
