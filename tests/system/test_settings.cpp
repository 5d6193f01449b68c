#include <gtest/gtest.h>

#include "shell/run_at_startup.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {
std::string runValue(Registry& reg, const std::string& name) {
  RegValue v;
  if (reg.queryValue(kHkeyLocalMachine, kRunKey, name, kKeyRead, v) != RegStatus::Ok) return "<absent>";
  return v.data.c_str();
}
}  // namespace

TEST(Settings, StoresRoundTripAndDefaults) {
  App app;
  app.firstStartDone(false);
  Settings s(app.registry, app.dialogs, app.product, "Test Company");
  EXPECT_EQ(s.read("Settings", "lblLastScan", "Never"), "Never");
  s.write("Settings", "lblLastScan", "1/2/2026 3:04:05 PM");
  EXPECT_EQ(s.read("Settings", "lblLastScan", "Never"), "1/2/2026 3:04:05 PM");
  s.write("OptionAndSettings", "chkMakeLog", "abc");
  EXPECT_FALSE(s.readNumber("OptionAndSettings", "chkMakeLog", "1").has_value());
  EXPECT_EQ(s.readBoolean("OptionAndSettings", "absent", "1"), true);

  std::string err;
  EXPECT_EQ(s.readMachine("Settings", "FirstTime", "", &err), "");
  EXPECT_TRUE(s.writeMachine("Settings", "FirstTime", "Yes"));
  EXPECT_EQ(s.readMachine("Settings", "FirstTime", ""), "Yes");
  EXPECT_EQ(s.readMachine("", "FirstTime", "d", &err), "d");
  EXPECT_EQ(err, "Section may not be empty");
  app.registry.setValue(kHkeyLocalMachine, "SOFTWARE\\Test Company\\" + app.product + "\\Settings", "Bin",
                        RegValue{kRegBinary, "xy"});
  EXPECT_EQ(s.readMachine("Settings", "Bin", "d", &err), "d");
  EXPECT_EQ(err, "Registry data not a string");
}

TEST(Settings, PermissionDeniedAsksUntilIgnored) {
  App app;
  app.registry.machineWriteAttempts = 0;
  Settings s(app.registry, app.dialogs, app.product, "Test Company");
  app.registry.failMachineWrites = true;
  int answers = 0;
  app.dialogs.answer = [&](const ShownBox& b) {
    EXPECT_EQ(b.title, "Permission Denied");
    EXPECT_EQ(b.flags & 0xF, unsigned(kMbAbortRetryIgnore));
    return ++answers == 1 ? kIdRetry : kIdIgnore;
  };
  EXPECT_FALSE(s.writeMachine("Settings", "FirstTime", "Yes"));
  EXPECT_EQ(app.registry.machineWriteAttempts, 2);  // Retry repeated the write
  EXPECT_EQ(app.dialogs.shown.size(), 2u);
  EXPECT_EQ(s.read("Settings", "IgnorePermissionDeniedError", "0"), "1");
  EXPECT_EQ(app.dialogs.shown[0].text.rfind(app.product + " requires read/write access", 0), 0u);
  EXPECT_FALSE(s.writeMachine("Settings", "FirstTime", "Yes"));
  EXPECT_EQ(app.dialogs.shown.size(), 2u);  // no question after Ignore
}

// A stored number that is no plain decimal counts as absent.
TEST(LoadSettings, FreshProfileDefaults) {
  App app;
  auto& m = app.main();
  m.settings.write("Settings", "FoundCol21", "1e300");
  m.settings.write("Settings", "FoundCol22", "nan");
  m.settings.write("Settings", "FoundCol23", "99999999999999999999999999");
  m.Form_Load();
  EXPECT_TRUE(m.tabProtection.optHomePageShieldOn.value());
  EXPECT_TRUE(m.tabProtection.optMemoryShieldOn.value());
  EXPECT_EQ(m.tabProtection.chkHomePageShield.value(), 1);
  EXPECT_EQ(m.tabProtection.chkMemoryShield.value(), 1);
  EXPECT_TRUE(m.tabProtection.optAskBeforeRestoring.value());
  for (auto* c : {&m.tabScanOptions.chkMakeLog, &m.tabScanOptions.chkScanMemory, &m.tabScanOptions.chkScanRegistry, &m.tabScanOptions.chkScanCookies, &m.tabScanOptions.chkSendData,
                  &m.tabLiveUpdate.chkAutomaticUpdate})
    EXPECT_EQ(c->value(), 1) << c->name();
  EXPECT_EQ(m.tabSchedule.chkScheduledScans.value(), 0);
  EXPECT_FALSE(m.tmrScheduler.enabled());
  EXPECT_FALSE(m.tabSchedule.cmbDays.enabled());
  EXPECT_TRUE(m.tabScanOptions.optQuickScan.value());
  EXPECT_FALSE(m.tabScanOptions.lvwDrives.visible());
  for (const auto& c : m.pageResults.lvwResults.columns) EXPECT_FALSE(c.userSized);  // untouched: shared by content
  EXPECT_EQ(m.windowState(), controls::Form::State::Normal);
  EXPECT_EQ(m.tabScanOptions.chkRunAtStartup.value(), 0);  // not the default brand: nothing written
  EXPECT_EQ(m.settings.read("Settings", "ranOneTime", "0"), "0");
  EXPECT_TRUE(m.tmrCheckHomePage.enabled());
  EXPECT_TRUE(m.tmrMemoryInspected.enabled());
  EXPECT_EQ(m.settings.read("OptionAndSettings", "STATUS", ""), "RUNNING");
  EXPECT_EQ(m.caption(), app.product + " by Test Company");
  EXPECT_EQ(m.tabLiveUpdate.lblLastUpdate.caption(), "Signatures Last Updated On 3/16/2006 12:00:00 AM PST");
}

TEST(LoadSettings, StoredValuesComeBackAndScanTypeResetsToQuick) {
  App app;
  auto& s = app.main().settings;
  s.write("OptionAndSettings", "optScanAllSelectedHardDrive", "True");
  s.write("OptionAndSettings", "chkScanCookies", "0");
  s.write("OptionAndSettings", "optMemorySheildOn", "False");
  s.write("OptionAndSettings", "optMemorySheildOff", "True");
  s.write("OptionAndSettings", "chkMakeLog", "letters");
  s.write("Settings", "FoundCol22", "2500");
  s.write("Settings", "Max", "1");
  auto& m = app.main();
  m.Form_Load();
  EXPECT_TRUE(m.tabScanOptions.optQuickScan.value());
  EXPECT_EQ(s.read("OptionAndSettings", "optScanAllSelectedHardDrive", ""), "False");
  EXPECT_EQ(m.tabScanOptions.chkScanCookies.value(), 0);
  EXPECT_EQ(m.tabProtection.chkMemoryShield.value(), 0);
  EXPECT_TRUE(m.tabProtection.optMemoryShieldOff.value());
  EXPECT_FALSE(m.tmrMemoryInspected.enabled());
  EXPECT_EQ(m.tabScanOptions.chkMakeLog.value(), 0);  // unconvertible: the control stays as it was
  EXPECT_EQ(m.pageResults.lvwResults.columns[1].widthTwips, 2500);
  // The user's width is kept; the other columns still share the rest.
  EXPECT_TRUE(m.pageResults.lvwResults.columns[1].userSized && !m.pageResults.lvwResults.columns[2].userSized);
  EXPECT_EQ(m.windowState(), controls::Form::State::Maximized);

  // Handlers write back what the user changes, and the next start sees it.
  m.tabScanOptions.chkScanMemory.click();
  m.tabProtection.optHomePageShieldOff.click();
  EXPECT_FALSE(m.tabProtection.optAskBeforeRestoring.enabled());
  EXPECT_FALSE(m.tmrCheckHomePage.enabled());
  m.Form_QueryUnload();
  m.Form_Unload();
  EXPECT_EQ(s.read("OptionAndSettings", "STATUS", ""), "STOPPED");
  app.resetMain();
  auto& again = app.main();
  again.Form_Load();
  EXPECT_EQ(again.tabScanOptions.chkScanMemory.value(), 0);
  EXPECT_TRUE(again.tabProtection.optHomePageShieldOff.value());
  EXPECT_EQ(again.tabProtection.chkHomePageShield.value(), 0);
}

TEST(LoadSettings, DefaultBrandRegistersRunAtStartupOnceWithAQuotedPath) {
  App app("Quillon");
  // The tests must not disturb a real installation's entry.
  std::string before = runValue(app.registry, "quillon");
  auto& m = app.main();
  m.Form_Load();
  EXPECT_EQ(m.tabScanOptions.chkRunAtStartup.value(), 1);
  EXPECT_EQ(m.settings.read("Settings", "ranOneTime", "0"), "1");
  EXPECT_EQ(runValue(app.registry, "quillon"), "\"" + app.path("quillon.exe") + "\"");
  app.resetMain();
  app.main().Form_Load();
  EXPECT_EQ(app.main().tabScanOptions.chkRunAtStartup.value(), 1);  // the stored "1" keeps it
  app.main().tabScanOptions.chkRunAtStartup.click();
  EXPECT_EQ(runValue(app.registry, "quillon"), "<absent>");
  if (before != "<absent>")
    app.registry.setValue(kHkeyLocalMachine, kRunKey, "quillon", RegValue{kRegSz, before + '\0'});
}
