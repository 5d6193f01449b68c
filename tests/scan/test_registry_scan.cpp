#include <gtest/gtest.h>

#include "scan/registry_scan.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {
const std::string kBase = "Software\\QuillonTestRegistryScan";

struct RegistryScan : ::testing::Test {
  App app;
  void SetUp() override {
    Registry& r = app.registry;
    r.deleteTree(kHkeyCurrentUser, kBase);
    r.setValue(kHkeyCurrentUser, kBase + "\\Key1", "Sz", RegValue{kRegSz, std::string("x\0", 2)});
    r.setValue(kHkeyCurrentUser, kBase + "\\Key1", "Sz2", RegValue{kRegExpandSz, std::string("%x%\0", 4)});
    r.setValue(kHkeyCurrentUser, kBase + "\\Key1", "Dw", RegValue{kRegDword, std::string("\1\0\0\0", 4)});
    r.setValue(kHkeyCurrentUser, kBase + "\\Key1", "Bin", RegValue{kRegBinary, "ab"});
    r.setValue(kHkeyCurrentUser, kBase + "\\Key1", "Multi", RegValue{kRegMultiSz, std::string("a\0\0", 3)});
    r.setValue(kHkeyCurrentUser, kBase + "\\Blank", "V", RegValue{kRegSz, std::string("v\0", 2)});
    r.setValue(kHkeyCurrentUser, kBase + "\\Excl", "V", RegValue{kRegSz, std::string("v\0", 2)});
    r.setValue(kHkeyCurrentUser, kBase + "\\A=B", "", RegValue{kRegSz, std::string("v\0", 2)});
    app.writeEmptyDefinitions();
    const std::string b = "1^" + kBase;
    app.writeDefinitions("RegistryDefinition.dat",
                         {b + "\\Key1^=Reg.Threat|Adware", b + "\\Key1^Sz=Reg.Threat", b + "\\Key1^Bin=Bin.Threat",
                          b + "\\Key1^Multi=Multi.Threat", b + "\\Key1^Dw=Dword.Threat|Tracker",
                          b + "\\Key1\\^Sz2=Slash.Threat", b + "\\Blank^=", b + "\\Blank^V= ", "9" + b.substr(1) + "^=Bad.Root",
                          "HKCU^x^=Letters", b + "\\Excl^=Excl.Threat", b + "\\Excl^V=ExclV", b + "\\Missing^=Missing",
                          b + "\\A=B^=Eq.Threat", "no equals sign"});
    app.writeText("ENoSignature.txt", "hkey_current_user\\" + kBase + "\\Excl\r\n");
  }
  void TearDown() override { app.registry.deleteTree(kHkeyCurrentUser, kBase); }
};

}  // namespace

TEST_F(RegistryScan, FindsKeysAndStringOrNumberValues) {
  auto& m = app.main();
  m.Form_Load();
  m.chkSweepMemory.setValue(0);
  m.cmdScanNow_Click();
  const std::string hkcu = "HKEY_CURRENT_USER\\" + kBase;
  EXPECT_EQ(texts(m.lvwSpywareFound),
            (std::vector<std::string>{"Reg.Threat - Found", "Dword.Threat - Found", "Slash.Threat - Found",
                                      "RegKey " + kBase + "\\Blank - Found", "RegKey -2147483647 - Found",
                                      "EXCLUDED: " + hkcu + "\\Excl", "EXCLUDED: " + hkcu + "\\ExclV",
                                      "Eq.Threat - Found"}));
  EXPECT_EQ(m.lvwSpywareFound.item(3).icon, 0);  // a nameless finding has no icon
  const auto& removal = m.lvwPicRemoveListOfSpywareFoundAndToBeRemoved;
  ASSERT_EQ(removal.count(), 6);
  EXPECT_EQ(removal.item(0).subItem(1), hkcu + "\\Key1");
  EXPECT_EQ(removal.item(0).subItem(2), "Adware");
  EXPECT_EQ(removal.item(0).icon, 2);
  EXPECT_EQ(removal.item(1).subItem(1), hkcu + "\\Key1Dw");  // no separator before the value name
  EXPECT_EQ(removal.item(2).subItem(1), hkcu + "\\Key1\\Sz2");
  EXPECT_EQ(removal.item(2).subItem(2), "");
  EXPECT_EQ(removal.item(3).text, kBase + "\\Blank");
  EXPECT_EQ(removal.item(5).subItem(1), hkcu + "\\A=B");

  const auto& work = m.lvwRegistryToBeDeleted;
  ASSERT_EQ(work.count(), 7);  // every trace, duplicates included
  EXPECT_EQ(work.item(0).text, "-2147483647");
  EXPECT_EQ(work.item(0).subItem(1), kBase + "\\Key1");
  EXPECT_EQ(work.item(0).subItem(2), "");
  EXPECT_EQ(work.item(1).subItem(2), "Sz");
  EXPECT_EQ(work.item(1).subItem(3), "Reg.Threat");
  EXPECT_EQ(m.lbltracesFound.caption(), "7");
  EXPECT_EQ(m.counters.threatsFound, 6);
  EXPECT_EQ(m.counters.registryInspected, 12);  // the bad root, the letters and the line without "=" are not counted
  EXPECT_EQ(m.lblRegistryInspected.caption(), "12");

  // Excluding the key of a removal row through the results page keeps it out of the next scan.
  m.lvwPicRemoveListOfSpywareFoundAndToBeRemoved.setChecked(0, true);
  EXPECT_TRUE(m.lvwRegistryToBeDeleted.item(0).checked);
  EXPECT_TRUE(m.lvwRegistryToBeDeleted.item(1).checked);
  m.cmdExclude_Click();
  m.cmdScanNow_Click();
  EXPECT_EQ(m.lvwSpywareFound.item(0).text, "EXCLUDED: " + hkcu + "\\Key1");
}

TEST_F(RegistryScan, ProbesNeedTheFullAccessMaskAndReadableTypes) {
  EXPECT_TRUE(registryKeyExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1"));
  EXPECT_FALSE(registryKeyExists(app.registry, kHkeyCurrentUser, kBase + "\\Nope"));
  EXPECT_TRUE(registryValueExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1", "Dw"));
  EXPECT_FALSE(registryValueExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1", "Bin"));
  EXPECT_FALSE(registryValueExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1", "Multi"));
  EXPECT_FALSE(registryValueExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1", "Absent"));
}
