// What the installed program does for its installer: adopting the shipped definition set at
// start, and its own step of an uninstall.
#include <gtest/gtest.h>

#include "definitions/shipped_definitions.h"
#include "removal/quarantine.h"
#include "removal/uninstall.h"
#include "shell/run_at_startup.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {
const char* kSet[] = {"RegistryDefinition.dat", "FileDefinition.dat", "DirectoryDefinition.dat", "ExeDefinition.dat",
                      "BlockedCookies.dat"};
}  // namespace

TEST(ShippedDefinitions, AdoptedWhenTheLiveSetIsIncompleteOrOlderNeverOverANewerOne) {
  struct Case {
    const char* what;
    const char* shippedDate;  // nullptr: nothing shipped
    const char* liveDate;     // nullptr: no live set at all
    bool liveMissingOne;
    Adoption expected;
  } cases[] = {
      {"first start after an install", "1/1/2030 12:00:00 AM", nullptr, false, Adoption::Adopted},
      {"an upgrade brings newer definitions", "1/1/2030 12:00:00 AM", "1/1/2029 12:00:00 AM", false, Adoption::Adopted},
      {"Live Update brought newer ones", "1/1/2030 12:00:00 AM", "2/1/2030 12:00:00 AM", false, Adoption::LiveIsCurrent},
      {"the same date", "1/1/2030 12:00:00 AM", "1/1/2030 12:00:00 AM", false, Adoption::LiveIsCurrent},
      {"a live file is missing", "1/1/2030 12:00:00 AM", "2/1/2030 12:00:00 AM", true, Adoption::Adopted},
      {"a live date that does not read", "1/1/2030 12:00:00 AM", "garbage", false, Adoption::Adopted},
      {"no installer: nothing shipped", nullptr, "1/1/2000 12:00:00 AM", false, Adoption::NothingShipped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    App app;
    if (c.shippedDate) {
      makeFolder(app.path("Shipped"));
      for (const char* f : kSet) app.writeText(std::string("Shipped\\") + f, std::string("shipped ") + f);
      app.writeText("Shipped\\date.dat", std::string(c.shippedDate) + "\r\n");
    }
    if (c.liveDate) {
      for (const char* f : kSet) app.writeText(f, std::string("live ") + f);
      app.writeText("date.dat", std::string(c.liveDate) + "\r\n");
      if (c.liveMissingOne) app.fs.deleteFile(app.path(kSet[2]));
    }
    EXPECT_EQ(adoptShippedDefinitions(app.fs, app.folder), c.expected);
    const bool adopted = c.expected == Adoption::Adopted;
    for (const char* f : kSet) EXPECT_EQ(app.readText(f), std::string(adopted ? "shipped " : "live ") + f) << f;
    if (adopted) {
      EXPECT_EQ(app.readText("date.dat"), std::string(c.shippedDate) + "\r\n");
    }
    EXPECT_TRUE(app.fs.listFiles(app.path("*.new")).empty());  // no scratch file is left
  }
}

TEST(Uninstall, TakesTheStartUpEntryAndAsksAboutTheQuarantineOnlyWithAUserInterface) {
  struct Case {
    const char* what;
    int uiLevel;
    int answer;
    bool asked, quarantineGone;
  } cases[] = {
      {"silent", 2, kIdYes, false, false},
      {"basic interface, No", 3, kIdNo, true, false},
      {"full interface, Yes", 5, kIdYes, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    App app;
    const std::string exe = app.path("quillon.exe");
    const std::string value = runValueName(exe);
    ASSERT_TRUE(app.registry.setValue(kHkeyLocalMachine, kRunKey, value, RegValue{kRegSz, "\"" + exe + "\"" + '\0'}));
    makeFolder(app.path("quarantine"));
    app.writeText("quarantine\\QuarantineIndex.txt", "");
    app.dialogs.answer = [&](const ShownBox&) { return c.answer; };
    const UninstallOutcome out = uninstallProgram(app.platform, exe, "Quillon", c.uiLevel);
    EXPECT_TRUE(out.runEntryGone);
    RegValue v;
    EXPECT_NE(app.registry.queryValue(kHkeyLocalMachine, kRunKey, value, kKeyRead, v), RegStatus::Ok);
    EXPECT_EQ(out.asked, c.asked);
    EXPECT_EQ(app.dialogs.shown.size(), c.asked ? 1u : 0u);
    EXPECT_EQ(out.quarantineRemoved, c.quarantineGone);
    EXPECT_EQ(app.fs.folderExists(app.path("quarantine")), !c.quarantineGone);
  }
}
