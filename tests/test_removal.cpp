#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "common/text.h"
#include "removal/quarantine.h"
#include "removal/reg_file.h"
#include "tests/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr uint32_t kHkcu = 0x80000001u;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string regString(const std::string& key, const std::string& name) {
  char buf[256] = {0};
  DWORD size = sizeof buf;
  if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.empty() ? nullptr : name.c_str(), RRF_RT_REG_SZ, nullptr, buf,
                   &size) != ERROR_SUCCESS)
    return "<absent>";
  return buf;
}

// A planted threat of every kind the removal handles: two files of one name in two folders, a
// component, a folder with a hidden file, a registry value and a whole key, and a cookie.
struct RemovalFixture : ::testing::Test {
  App app;
  std::string P, key;
  void SetUp() override {
    P = makeFolder(app.path("planted"));
    makeFolder(P + "\\one");
    makeFolder(P + "\\two");
    makeFolder(P + "\\dir\\deep");
    app.writeText("planted\\one\\twin.txt", "first twin");
    app.writeText("planted\\two\\twin.txt", "second twin, longer");
    app.writeText("planted\\comp.dll", "not a real library");
    app.writeText("planted\\dir\\deep\\inner.txt", "inside");
    app.writeText("planted\\dir\\hidden.txt", "hidden inside");
    SetFileAttributesA((P + "\\dir\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    key = "Software\\" + app.product + "Threat";
    app.registry.setValue(kHkcu, key, "Hook", RegValue{kRegSz, std::string("evil\0", 5)});
    app.registry.setValue(kHkcu, key + "\\Sub", "", RegValue{kRegSz, std::string("default\0", 8)});
    app.registry.setValue(kHkcu, key + "\\Sub", "Bin", RegValue{kRegBinary, std::string("\x01\x00\xff", 3)});
    app.registry.setValue(kHkcu, key + "Value", "Run", RegValue{kRegSz, std::string("run me\0", 7)});
    app.writeEmptyDefinitions();
    app.writeDefinitions("FileDefinition.dat", {"twin.txt=Twin|" + P + "\\one", "twin.txt=Twin|" + P + "\\two",
                                                "comp.dll=Comp|" + P});
    app.writeDefinitions("DirectoryDefinition.dat", {"Dir=DirThreat|" + P + "\\dir"});
    app.writeDefinitions("RegistryDefinition.dat",
                         {"1^" + key + "^=KeyThreat", "1^" + key + "Value^Run=ValueThreat"});
  }
  void TearDown() override {
    app.registry.deleteTree(kHkcu, key);
    app.registry.deleteTree(kHkcu, key + "Value");
  }
  ui::FrmMain& scanned() {
    ui::FrmMain& m = app.main();
    m.Form_Load();
    m.cmdScanNow_Click();
    return m;
  }
};

}  // namespace

TEST_F(RemovalFixture, DeleteKeepsEveryItemInTheQuarantineAndRestoresEachKind) {
  ui::FrmMain& m = scanned();
  ASSERT_EQ(m.results.removalCount(), 5);
  m.cmdSelectAll_Click();
  app.dialogs.shown.clear();
  m.Command4_Click();
  ASSERT_GE(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].title, "Really Delete?");
  EXPECT_NE(app.dialogs.shown[0].text.find(app.folder + "\\quarantine"), std::string::npos);

  for (const char* gone : {"\\one\\twin.txt", "\\two\\twin.txt", "\\comp.dll", "\\dir"})
    EXPECT_FALSE(exists(P + gone)) << gone;
  EXPECT_EQ(regString(key, "Hook"), "<absent>");
  EXPECT_FALSE(app.registry.keyExists(kHkcu, key, kKeyRead));
  EXPECT_EQ(regString(key + "Value", "Run"), "<absent>");
  EXPECT_EQ(m.results.removalCount(), 0);
  EXPECT_EQ(m.lastRemoval().removed.size(), 6u);  // two twins, the component, the folder, a key, a value
  EXPECT_TRUE(m.lastRemoval().failed.empty());
  EXPECT_EQ(m.settings.read("Settings", "lblDefRemoved", ""), "6");  // what was removed, not what was found

  // Each copy under a name of its own: the second twin is kept too, and the folder whole.
  Quarantine q(app.fs, app.registry, app.clock, app.folder);
  std::vector<QuarantineEntry> entries = q.entries();
  ASSERT_EQ(entries.size(), 6u);
  int twins = 0;
  for (const QuarantineEntry& e : entries) twins += fileNameFromPath(e.original) == "twin.txt";
  EXPECT_EQ(twins, 2);
  EXPECT_EQ(app.readText("quarantine\\" + entries[0].stored), "first twin");
  EXPECT_EQ(app.readText("quarantine\\" + entries[1].stored), "second twin, longer");

  // The log in its exact form: files when deleted, a value, and a whole key as its number.
  const std::string log = app.readText("quarantine\\QuarantineLog.txt");
  const std::string t = app.clock.now;
  EXPECT_NE(log.find(t + " - File: twin.txt\r\n - Location: " + P + "\\one\\twin.txt\r\n\r\n\r\n"), std::string::npos);
  EXPECT_NE(log.find(t + " - Key: HKEY_CURRENT_USER\\" + key + "Value\r\nValue: Run\r\n\r\n\r\n"), std::string::npos);
  EXPECT_NE(log.find(t + " - Key: -2147483647\\" + key + "\r\nValue: All Values\r\n\r\n\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Location: " + P + "\\dir\r\n"), std::string::npos);  // a folder is never logged

  // Restore: every kind goes back, and nothing that is there again is overwritten.
  for (const QuarantineEntry& e : entries) EXPECT_EQ(q.restore(e.id), "") << e.original;
  EXPECT_EQ(app.readText("planted\\two\\twin.txt"), "second twin, longer");
  EXPECT_EQ(app.readText("planted\\dir\\deep\\inner.txt"), "inside");
  EXPECT_TRUE(exists(P + "\\dir\\hidden.txt"));
  EXPECT_EQ(regString(key, "Hook"), "evil");
  EXPECT_EQ(regString(key + "\\Sub", ""), "default");
  RegValue bin;
  ASSERT_EQ(app.registry.queryValue(kHkcu, key + "\\Sub", "Bin", kKeyRead, bin), RegStatus::Ok);
  EXPECT_EQ(bin.data, std::string("\x01\x00\xff", 3));
  EXPECT_EQ(regString(key + "Value", "Run"), "run me");
  for (const QuarantineEntry& e : entries) EXPECT_NE(q.restore(e.id), "") << e.original;
  EXPECT_NE(q.restore(999), "");
  // An index edited to send a copy to a device restores nothing.
  app.writeText("quarantine\\QuarantineIndex.txt", app.readText("quarantine\\QuarantineIndex.txt") +
                                                         "77\tnow\tfile\tC:\\Temp\\COM1.txt\t" + entries[0].stored + "\t10\r\n");
  EXPECT_NE(q.restore(77).find("names a device"), std::string::npos);
}

TEST_F(RemovalFixture, ALockedFileStaysListedAndIsReportedOnce) {
  ui::FrmMain& m = scanned();
  HANDLE lock = CreateFileA((P + "\\one\\twin.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  m.cmdSelectAll_Click();
  m.Command4_Click();
  CloseHandle(lock);
  EXPECT_TRUE(exists(P + "\\one\\twin.txt"));  // its copy could not be made, so it was not deleted
  EXPECT_FALSE(exists(P + "\\two\\twin.txt"));
  ASSERT_EQ(m.frmDelete.lstProblem.count(), 1);
  EXPECT_EQ(m.frmDelete.lstProblem.item(0).text, P + "\\one\\twin.txt");
  EXPECT_TRUE(m.frmDelete.visible());
  ASSERT_EQ(m.results.removalCount(), 1);  // its threat stays, unchecked
  EXPECT_EQ(m.results.removalRow(0).threat, "Twin");
  EXPECT_FALSE(m.results.removalRow(0).checked);
  EXPECT_EQ(m.lastRemoval().failed, std::vector<std::string>{P + "\\one\\twin.txt"});
}

TEST_F(RemovalFixture, ARemovalIsBracketedByARestorePointAndViewQuarantineOpensTheFolder) {
  ui::FrmMain& m = scanned();
  m.cmdSelectAll_Click();
  app.restore.restoreCalls.clear();
  m.Command4_Click();
  ASSERT_EQ(app.restore.restoreCalls.size(), 2u);  // begin and end, around both passes
  EXPECT_EQ(app.restore.restoreCalls[0].eventType, 100u);
  EXPECT_EQ(app.restore.restoreCalls[0].pointType, 6u);
  EXPECT_EQ(app.restore.restoreCalls[0].description, app.product + " Restore Point " + app.clock.now);
  EXPECT_EQ(app.restore.restoreCalls[1].eventType, 101u);
  RemoveDirectoryA((app.folder + "\\quarantine").c_str());  // (not empty: stays)
  app.launcher.launched.clear();
  m.mnuViewQuarantine.click();
  ASSERT_EQ(app.launcher.launched.size(), 1u);
  EXPECT_EQ(app.launcher.launched[0], "explorer " + app.folder + "\\quarantine");
  EXPECT_TRUE(exists(app.folder + "\\quarantine"));
}

TEST_F(RemovalFixture, NothingCheckedAsksForAChoiceAndUnattendedRunsAskNothing) {
  ui::FrmMain& m = scanned();
  app.dialogs.shown.clear();
  m.Command4_Click();
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].text,
            "No entries are selected.  You must check the box next to at least one item in the list.");
  EXPECT_TRUE(exists(P + "\\comp.dll"));
  app.dialogs.answer = [](const ShownBox&) { return kIdNo; };
  m.cmdSelectAll_Click();
  m.Command4_Click();
  EXPECT_TRUE(exists(P + "\\comp.dll"));  // No keeps everything
  m.AutoDeleteAfterScan = true;
  app.dialogs.shown.clear();
  m.Command4_Click();
  EXPECT_TRUE(app.dialogs.shown.empty());
  EXPECT_FALSE(exists(P + "\\comp.dll"));
}

// The index and the copies are files a user (or another program) can edit: a registry copy
// that reaches beyond the key its entry names is not restored at all, and a stored name that
// the system would read as the quarantine folder itself is no entry.
TEST_F(RemovalFixture, RestoreWritesOnlyTheEntrysOwnKeyAndStoredNamesStayInside) {
  makeFolder(app.path("quarantine"));
  const std::string hk = "HKEY_CURRENT_USER\\", value = key + "Gone", whole = key + "Gone2", plain = key + "Gone3";
  app.writeText("quarantine\\QuarantineIndex.txt",
                "1\td\tregistry\t" + hk + value + " : Run\t1-registry.reg\t1\r\n"
                "2\td\tregistry\t" + hk + whole + "\t2-registry.reg\t1\r\n"
                "3\td\tregistry\t" + hk + plain + " : @\t3-registry.reg\t1\r\n"
                "4\td\tfile\tC:\\x.txt\t...\t1\r\n"
                "5\td\tfile\tC:\\y.txt\t. .\t1\r\n"
                "6\td\tfile\tC:\\z.txt\tz...\t1\r\n");
  app.writeText("quarantine\\1-registry.reg", "REGEDIT4\r\n\r\n[" + hk + value + "]\r\n\"Run\"=\"x\"\r\n\r\n[" + hk +
                                                   key + "Other]\r\n\"Evil\"=\"y\"\r\n");
  app.writeText("quarantine\\2-registry.reg", "REGEDIT4\r\n\r\n[" + hk + whole + "]\r\n\r\n[" + hk + whole +
                                                   "Sibling]\r\n\"Evil\"=\"y\"\r\n");
  app.writeText("quarantine\\3-registry.reg", "REGEDIT4\r\n\r\n[" + hk + plain + "]\r\n@=\"d\"\r\n");
  Quarantine q(app.fs, app.registry, app.clock, app.folder);
  std::vector<int> ids;
  for (const QuarantineEntry& e : q.entries()) ids.push_back(e.id);
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 6}));

  EXPECT_NE(q.restore(1), "");
  EXPECT_NE(q.restore(2), "");
  for (const std::string& k : {value, key + "Other", whole, whole + "Sibling"})
    EXPECT_FALSE(app.registry.keyExists(kHkcu, k, kKeyRead)) << k;
  EXPECT_EQ(q.restore(3), "");
  EXPECT_EQ(regString(plain, ""), "d");
  for (const std::string& k : {value, key + "Other", whole, whole + "Sibling", plain}) app.registry.deleteTree(kHkcu, k);
}

TEST(RegFile, RoundTripAndDamagedFiles) {
  std::vector<RegFileKey> keys{
      {kHkcu, "Software\\A \"quoted\" key",
       {{"", RegValue{kRegSz, std::string("def\0", 4)}},
        {"na\"me\\x", RegValue{kRegSz, std::string("va\\l\"ue\0", 8)}},
        {"dw", RegValue{kRegDword, std::string("\x78\x56\x34\x12", 4)}},
        {"multi", RegValue{kRegMultiSz, std::string("a\0b\0\0", 5)}},
        {"lines", RegValue{kRegSz, std::string("two\r\nlines\0", 11)}},
        {"empty", RegValue{kRegBinary, ""}},
        {"qword", RegValue{11, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)}},
        {"no end", RegValue{kRegSz, "abc"}}}},
      {0x80000002u, "SOFTWARE\\B", {}}};
  const std::string text = formatRegFile(keys);
  EXPECT_NE(text.find("\"dw\"=dword:12345678\r\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"def\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"qword\"=hex(b):01,02,"), std::string::npos);  // the type in hexadecimal
  std::vector<RegFileKey> back;
  std::string error;
  ASSERT_TRUE(parseRegFile(text, back, error)) << error;
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].path, keys[0].path);
  ASSERT_EQ(back[0].values.size(), keys[0].values.size());
  for (size_t i = 0; i < keys[0].values.size(); ++i) {
    EXPECT_EQ(back[0].values[i].first, keys[0].values[i].first);
    EXPECT_EQ(back[0].values[i].second.type, keys[0].values[i].second.type) << i;
    EXPECT_EQ(back[0].values[i].second.data, keys[0].values[i].second.data) << i;
  }
  for (const char* bad : {"", "REGEDIT5\r\n", "REGEDIT4\r\n\"v\"=\"x\"\r\n", "REGEDIT4\r\n[HKEY_NOWHERE\\x]\r\n",
                          "REGEDIT4\r\n[HKEY_CURRENT_USER\\x\r\n", "REGEDIT4\r\n[HKEY_CURRENT_USER\\]\r\n",
                          "REGEDIT4\r\n[HKEY_CURRENT_USER\\x]\r\n\"v\"=hex:zz\r\n",
                          "REGEDIT4\r\n[HKEY_CURRENT_USER\\x]\r\n\"v\"=dword:1\r\n",
                          "REGEDIT4\r\n[HKEY_CURRENT_USER\\x]\r\n\"v\"=hex(ffffffffff):00\r\n"})
    EXPECT_FALSE(parseRegFile(bad, back, error)) << bad;
}

// A definition that names a link, or a folder holding one, never reaches what the link points to.
TEST(RemovalLinks, NothingBehindALinkIsCopiedOrDeleted) {
  App app;
  const std::string outside = makeFolder(app.path("outside"));
  app.writeText("outside\\precious.txt", "keep me");
  const std::string P = makeFolder(app.path("planted"));
  makeFolder(P + "\\holder");
  // Relative targets: some systems cannot follow an absolute one.
  if (!CreateSymbolicLinkA((P + "\\link").c_str(), "..\\outside", SYMBOLIC_LINK_FLAG_DIRECTORY) ||
      !CreateSymbolicLinkA((P + "\\holder\\inner").c_str(), "..\\..\\outside", SYMBOLIC_LINK_FLAG_DIRECTORY))
    GTEST_SKIP() << "this system makes no directory links";
  // Some systems make the link but cannot open a folder through it.
  if (!(GetFileAttributesA((P + "\\link\\precious.txt").c_str()) != INVALID_FILE_ATTRIBUTES))
    GTEST_SKIP() << "this system's directory links lead nowhere";
  app.writeText("planted\\holder\\own.txt", "threat");
  app.writeEmptyDefinitions();
  app.writeDefinitions("DirectoryDefinition.dat", {"Link=Linked|" + P + "\\link", "Holder=Holder|" + P + "\\holder"});
  ui::FrmMain& m = app.main();
  m.Form_Load();
  m.cmdScanNow_Click();
  m.cmdSelectAll_Click();
  m.Command4_Click();
  EXPECT_EQ(app.readText("outside\\precious.txt"), "keep me");
  EXPECT_TRUE(exists(P + "\\link"));      // the link itself stays, reported
  EXPECT_FALSE(exists(P + "\\holder"));   // the folder went, its inner link as a link
  const std::vector<std::string>& failed = m.lastRemoval().failed;
  EXPECT_NE(std::find(failed.begin(), failed.end(), P + "\\link"), failed.end());
  for (const QuarantineEntry& e : Quarantine(app.fs, app.registry, app.clock, app.folder).entries())
    EXPECT_EQ(e.original, P + "\\holder");  // nothing of the outside was copied
}

namespace {
// Makes a symbolic link at `link` to the relative `target`. Where the system cannot, and the
// test runs under Wine, a Unix link is made in its place: the system then reads it as the
// thing it points to, with no mark of a link. False when neither can be made.
bool makeLink(const std::string& link, const std::string& target, bool folder) {
  const std::wstring wl(link.begin(), link.end()), wt(target.begin(), target.end());
  if (CreateSymbolicLinkW(wl.c_str(), wt.c_str(), folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) &&
      GetFileAttributesW(wl.c_str()) != INVALID_FILE_ATTRIBUTES)
    return true;
  using UnixName = char*(__cdecl*)(const wchar_t*);
  auto unixName = reinterpret_cast<UnixName>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
  if (!unixName) return false;
  char* where = unixName(wl.c_str());
  if (!where) return false;
  std::wstring cmd = L"ln -s " + std::wstring(wt.begin(), wt.end()) + L" ";
  for (const char* c = where; *c; ++c) cmd += wchar_t(*c);
  HeapFree(GetProcessHeap(), 0, where);
  for (wchar_t& c : cmd)
    if (c == L'\\') c = L'/';
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(L"Z:\\bin\\ln", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // A Unix program's handle does not tell when it has ended: the link is waited for instead.
  for (int i = 0; i < 250; ++i, Sleep(20))
    if (GetFileAttributesW(wl.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  return false;
}
}  // namespace

// Links a definition names, links inside a folder it names, and a file reached through a linked
// folder: whatever the removal does, what they point to keeps its bytes through the scan, the
// removal and the restore of everything the quarantine kept. A link that cannot be removed
// without reaching its target stays, and is reported.
TEST(RemovalLinks, WhatALinkPointsToKeepsItsBytesThroughScanRemovalAndRestore) {
  App app;
  makeFolder(app.path("outside\\odir"));
  app.writeText("outside\\target.txt", "precious bytes");
  app.writeText("outside\\odir\\in.txt", "inner bytes");
  const std::string P = makeFolder(app.path("planted"));
  makeFolder(P + "\\holder");
  app.writeText("planted\\holder\\own.txt", "threat");
  if (!makeLink(P + "\\flink.txt", "..\\outside\\target.txt", false) ||
      !makeLink(P + "\\dlink", "..\\outside\\odir", true) ||
      !makeLink(P + "\\holder\\ilink.txt", "..\\..\\outside\\target.txt", false) ||
      !makeLink(P + "\\holder\\idir", "..\\..\\outside\\odir", true))
    GTEST_SKIP() << "no links can be made here";
  auto intact = [&](const char* when) {
    EXPECT_EQ(app.readText("outside\\target.txt"), "precious bytes") << when;
    EXPECT_EQ(app.readText("outside\\odir\\in.txt"), "inner bytes") << when;
  };
  app.writeEmptyDefinitions();
  app.writeDefinitions("FileDefinition.dat", {"flink.txt=FileLink|" + P, "in.txt=Through|" + P + "\\dlink"});
  app.writeDefinitions("DirectoryDefinition.dat", {"DirLink=DirLink|" + P + "\\dlink", "Holder=Holder|" + P + "\\holder"});
  ui::FrmMain& m = app.main();
  m.Form_Load();
  m.cmdScanNow_Click();
  intact("after the scan");
  m.cmdSelectAll_Click();
  m.Command4_Click();
  intact("after the removal");
  const std::vector<std::string>& failed = m.lastRemoval().failed;
  for (const std::string& link : {P + "\\flink.txt", P + "\\dlink"}) {
    EXPECT_TRUE(exists(link)) << link;
    EXPECT_NE(std::find(failed.begin(), failed.end(), link), failed.end()) << link;
  }
  // The folder goes only as a whole, its links removed as links; otherwise it stays, reported.
  if (exists(P + "\\holder")) EXPECT_NE(std::find(failed.begin(), failed.end(), P + "\\holder"), failed.end());
  else EXPECT_EQ(m.lastRemoval().removed, std::vector<std::string>{P + "\\holder"});
  Quarantine q(app.fs, app.registry, app.clock, app.folder);
  for (const QuarantineEntry& e : q.entries()) {
    EXPECT_EQ(e.original, P + "\\holder");  // nothing reached through a link was kept
    q.restore(e.id);
  }
  intact("after the restore");
}
