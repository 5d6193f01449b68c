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
  Session& session = app.session();
  session.settings.write(keys::chkSweepMemory, "0");
  scan(session);
  const std::string hkcu = "HKEY_CURRENT_USER\\" + kBase;
  const ScanResults& r = session.results;
  EXPECT_EQ(foundTexts(r), (std::vector<std::string>{"Reg.Threat - Found", "Dword.Threat - Found", "Slash.Threat - Found",
                                                     "RegKey " + kBase + "\\Blank - Found", "RegKey -2147483647 - Found",
                                                     "EXCLUDED: " + hkcu + "\\Excl", "EXCLUDED: " + hkcu + "\\ExclV",
                                                     "Eq.Threat - Found"}));
  EXPECT_EQ(r.foundRows()[3].icon, 0);  // a nameless finding has no icon
  ASSERT_EQ(r.removalCount(), 6);
  EXPECT_EQ(r.removalRow(0).location, hkcu + "\\Key1");
  EXPECT_EQ(r.removalRow(0).type, "Adware");
  EXPECT_EQ(r.removalRow(0).icon, 2);
  EXPECT_EQ(r.removalRow(1).location, hkcu + "\\Key1Dw");  // no separator before the value name
  EXPECT_EQ(r.removalRow(2).location, hkcu + "\\Key1\\Sz2");
  EXPECT_EQ(r.removalRow(2).type, "");
  EXPECT_EQ(r.removalRow(3).threat, kBase + "\\Blank");
  EXPECT_EQ(r.removalRow(5).location, hkcu + "\\A=B");

  ASSERT_EQ(r.registryWorkCount(), 7);  // every trace, duplicates included
  EXPECT_EQ(r.registryWork(0).root, "-2147483647");
  EXPECT_EQ(r.registryWork(0).key, kBase + "\\Key1");
  EXPECT_EQ(r.registryWork(0).value, "");
  EXPECT_EQ(r.registryWork(1).value, "Sz");
  EXPECT_EQ(r.registryWork(1).threat, "Reg.Threat");
  EXPECT_EQ(r.traces(), 7);
  EXPECT_EQ(session.counters.threatsFound, 6);
  EXPECT_EQ(session.counters.registryInspected, 12);  // the bad root, the letters and the line without "=" are not counted

  // Excluding the key of a removal row keeps it out of the next scan.
  session.results.setChecked(0, true);
  EXPECT_TRUE(r.registryWork(0).checked);
  EXPECT_TRUE(r.registryWork(1).checked);
  session.excludeChecked();
  scan(session);
  EXPECT_EQ(r.foundRows()[0].text, "EXCLUDED: " + hkcu + "\\Key1");
}

// A key the user may only read is no finding: its removal could not go through.
TEST_F(RegistryScan, ProbesNeedTheFullAccessMaskAndReadableTypes) {
  app.registry.readOnly = {kBase + "\\Blank"};
  EXPECT_FALSE(registryKeyExists(app.registry, kHkeyCurrentUser, kBase + "\\Blank"));
  EXPECT_FALSE(registryValueExists(app.registry, kHkeyCurrentUser, kBase + "\\Blank", "V"));
  EXPECT_TRUE(app.registry.keyExists(kHkeyCurrentUser, kBase + "\\Blank", kKeyRead));
  EXPECT_TRUE(registryKeyExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1"));
  EXPECT_FALSE(registryKeyExists(app.registry, kHkeyCurrentUser, kBase + "\\Nope"));
  EXPECT_TRUE(registryValueExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1", "Dw"));
  EXPECT_FALSE(registryValueExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1", "Bin"));
  EXPECT_FALSE(registryValueExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1", "Multi"));
  EXPECT_FALSE(registryValueExists(app.registry, kHkeyCurrentUser, kBase + "\\Key1", "Absent"));
}
