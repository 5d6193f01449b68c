// Every settings key the program stores, in one table: its section, its name, the default a
// reader falls back to and how the value is read. Each entry is named after the control whose
// value it holds; the stored name in quotes is what users' stores already hold and never changes,
// even where the control has since been renamed. A key read with two different defaults has one entry per default, named for the
// reader that uses it, so the difference is deliberate and visible here.
#pragma once

namespace quillon {

struct SettingKey {
  enum class Kind { Text, Number, Boolean };
  const char* section;
  const char* name;
  const char* def;
  Kind kind;
  bool machineWide = false;
};

namespace keys {

// The sections of the per-user store (the machine-wide store has only "Settings").
constexpr const char* kOptions = "OptionAndSettings";
constexpr const char* kSettings = "Settings";
constexpr const char* kDrives = "Drives";

using K = SettingKey::Kind;

// ---- status published while the desktop program runs
constexpr SettingKey STATUS{kOptions, "STATUS", "", K::Text};
constexpr SettingKey RESTART{kOptions, "RESTART", "", K::Text};
constexpr SettingKey SHOW{kOptions, "SHOW", "", K::Text};

// ---- scan options (check boxes "1"/"0")
constexpr SettingKey chkMakeLog{kOptions, "chkMakeLog", "1", K::Number};
constexpr SettingKey chkScanMemory{kOptions, "chkSweepMemory", "1", K::Number};
constexpr SettingKey chkScanRegistry{kOptions, "chkScanRegistry", "1", K::Number};
constexpr SettingKey chkScanCookies{kOptions, "chkScanCookies", "1", K::Number};
constexpr SettingKey chkSendData{kOptions, "chkSendData", "1", K::Number};
// Off unless stored; on the first start of the default brand an absent key means on.
constexpr SettingKey chkRunAtStartup{kOptions, "chkRunAtStartup", "0", K::Number};
constexpr SettingKey chkRunAtStartupFirstStart{kOptions, "chkRunAtStartup", "1", K::Number};
constexpr SettingKey chkScheduledScans{kOptions, "chkAutomaticScanYesOrNo", "0", K::Number};
// The box is designed checked, so an absent key shows it checked; but the automatic update is
// armed at start-up only once the user has stored the option.
constexpr SettingKey chkAutomaticUpdate{kOptions, "chkAutomaticUpdate", "1", K::Number};
constexpr SettingKey chkAutomaticUpdateArmed{kOptions, "chkAutomaticUpdate", "0", K::Number};

// ---- option buttons ("True"/"False")
constexpr SettingKey optHomePageShieldOn{kOptions, "optIEHomePageSheildOn", "True", K::Boolean};
constexpr SettingKey optHomePageShieldOff{kOptions, "optIEHomePageSheildOff", "False", K::Boolean};
constexpr SettingKey optAskBeforeRestoring{kOptions, "optAlwaysnotifybeforerestoring", "True", K::Boolean};
constexpr SettingKey optRestoreSilently{kOptions, "optRestoredefaultwithoutnotification", "False",
                                                          K::Boolean};
constexpr SettingKey optMemoryShieldOn{kOptions, "optMemorySheildOn", "True", K::Boolean};
constexpr SettingKey optMemoryShieldOff{kOptions, "optMemorySheildOff", "False", K::Boolean};
constexpr SettingKey optCompleteScan{kOptions, "optScanAllSelectedHardDrive", "True", K::Boolean};
constexpr SettingKey optQuickScan{kOptions, "optScanOnlyKnownSoftwares", "False", K::Boolean};
// The start page the home-page shield keeps; empty until its first tick adopts the current one.
constexpr SettingKey Homepage{kOptions, "Homepage", "", K::Text};

// ---- scheduled scans
// The position in the "Run on:" list; absent ("None") until a schedule is first applied.
constexpr SettingKey Day{kOptions, "Day", "None", K::Text};
// The pickers' values, or "Null" for a picker that holds none.
constexpr SettingKey Time{kOptions, "Time", "Null", K::Text};
constexpr SettingKey Date{kOptions, "Date", "Null", K::Text};
// The occurrence the scheduler ran last, so that no occurrence runs twice.
constexpr SettingKey LastScheduledScan{kSettings, "LastScheduledScan", "", K::Text};

// ---- program state
constexpr SettingKey chkAutoRemove{kSettings, "chkAutoDel", "0", K::Number};
constexpr SettingKey lblLastScan{kSettings, "lblLastScan", "Never", K::Text};
constexpr SettingKey lblLastFullScan{kSettings, "lblLastFullScan", "Never", K::Text};
constexpr SettingKey lblDefRemoved{kSettings, "lblDefRemoved", "0", K::Number};
constexpr SettingKey showHelp{kSettings, "showHelp", "1", K::Text};
constexpr SettingKey Minimized{kSettings, "Minimized", "No", K::Text};
constexpr SettingKey Max{kSettings, "Max", "0", K::Text};
// Where the user left the main window, in pixels; absent until the program first ended.
constexpr SettingKey Left{kSettings, "Left", "", K::Number};
constexpr SettingKey Top{kSettings, "Top", "", K::Number};
constexpr SettingKey ranOneTime{kSettings, "ranOneTime", "0", K::Text};
constexpr SettingKey IgnorePermissionDeniedError{kSettings, "IgnorePermissionDeniedError", "0", K::Text};
// Widths of the results list's columns, in twips.
constexpr SettingKey FoundCol2[] = {{kSettings, "FoundCol21", "1400", K::Number},
                                    {kSettings, "FoundCol22", "1400", K::Number},
                                    {kSettings, "FoundCol23", "1400", K::Number}};
// One key per drive of the drive list, named after the drive. Without one, the machine's own
// fixed disks are checked and every other drive (removable, network, a substituted drive, the
// host's file system under Wine) is not.
constexpr const char* kOwnDriveDefault = "True";
constexpr const char* kOtherDriveDefault = "False";

// ---- machine-wide store
constexpr SettingKey FirstTime{kSettings, "FirstTime", "", K::Text, true};
constexpr SettingKey machineShowHelp{kSettings, "showHelp", "", K::Text, true};
// Base addresses ("http://127.0.0.1:8080") that point this machine at another definition or data
// server than the build's own; empty means the build's.
constexpr SettingKey DefinitionServer{kSettings, "DefinitionServer", "", K::Text, true};
constexpr SettingKey DataServer{kSettings, "DataServer", "", K::Text, true};
// "Yes" lets Live Update take definitions its publisher did not sign, from a server that signs
// nothing; an administrator's choice for one machine.
constexpr SettingKey AllowUnsignedDefinitions{kSettings, "AllowUnsignedDefinitions", "No", K::Text, true};

}  // namespace keys
}  // namespace quillon
