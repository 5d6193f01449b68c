#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <utility>

#include "common/text.h"
#include "removal/kept_copy.h"
#include "removal/quarantine.h"
#include "removal/reg_file.h"
#include "scan/cookie_scan.h"
#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr uint32_t kHkcu = 0x80000001u;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The read-only, hidden, system and archive bits of a path.
uint32_t keptBits(const std::string& path) { return GetFileAttributesA(path.c_str()) & kKeptAttributes; }

// What a stored copy turns back into.
std::string originalBytes(const App& app, const QuarantineEntry& e) {
  std::string bytes = app.readText("quarantine\\" + e.stored);
  if (e.kept) keepTransform(bytes.data(), bytes.size(), 0);
  return bytes;
}

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
  Session& scanned() {
    scan(app.session());
    return app.session();
  }
};

}  // namespace

TEST_F(RemovalFixture, DeleteIsBracketedByARestorePointKeepsEveryItemInTheQuarantineAndRestoresEachKind) {
  Session& s = scanned();
  // What is inside a removed folder comes back with its bits: a hidden file, a read-only one in
  // a hidden folder.
  SetFileAttributesA((P + "\\dir\\deep\\inner.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((P + "\\dir\\deep").c_str(), FILE_ATTRIBUTE_HIDDEN);
  std::vector<std::pair<std::string, uint32_t>> bits;
  for (const char* inside : {"", "\\hidden.txt", "\\deep", "\\deep\\inner.txt"})
    bits.emplace_back(P + "\\dir" + inside, keptBits(P + "\\dir" + inside));
  ASSERT_EQ(s.results.removalCount(), 5);
  app.dialogs.shown.clear();
  app.restore.restoreCalls.clear();
  removeAll(s);
  ASSERT_GE(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].title, "Really Delete?");
  EXPECT_NE(app.dialogs.shown[0].text.find(app.folder + "\\quarantine"), std::string::npos);
  ASSERT_EQ(app.restore.restoreCalls.size(), 2u);  // begin and end, around both passes
  EXPECT_EQ(app.restore.restoreCalls[0].eventType, 100u);
  EXPECT_EQ(app.restore.restoreCalls[0].pointType, 6u);
  EXPECT_EQ(app.restore.restoreCalls[0].description, app.product + " Restore Point " + app.clock.now);
  EXPECT_EQ(app.restore.restoreCalls[1].eventType, 101u);

  for (const char* gone : {"\\one\\twin.txt", "\\two\\twin.txt", "\\comp.dll", "\\dir"})
    EXPECT_FALSE(exists(P + gone)) << gone;
  EXPECT_EQ(regString(key, "Hook"), "<absent>");
  EXPECT_FALSE(app.registry.keyExists(kHkcu, key, kKeyRead));
  EXPECT_EQ(regString(key + "Value", "Run"), "<absent>");
  EXPECT_EQ(s.results.removalCount(), 0);
  EXPECT_EQ(s.lastRemoval.removed.size(), 6u);  // two twins, the component, the folder, a key, a value
  EXPECT_TRUE(s.lastRemoval.failed.empty());
  EXPECT_EQ(s.settings.read("Settings", "lblDefRemoved", ""), "6");  // what was removed, not what was found

  // Each copy under a name of its own: the second twin is kept too, and the folder whole.
  Quarantine q(app.platform, app.folder);
  ASSERT_EQ(q.lock(nullptr, 0), StoreLockResult::Taken);
  std::vector<QuarantineEntry> entries = q.entries();
  ASSERT_EQ(entries.size(), 6u);
  int twins = 0;
  for (const QuarantineEntry& e : entries) twins += fileNameFromPath(e.original) == "twin.txt";
  EXPECT_EQ(twins, 2);
  EXPECT_EQ(originalBytes(app, entries[0]), "first twin");
  EXPECT_EQ(originalBytes(app, entries[1]), "second twin, longer");

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
  for (const auto& [path, was] : bits) EXPECT_EQ(keptBits(path), was) << path;
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

// One file stays locked throughout; another is let go after the first pass, so the second pass
// removes it, as it does without a line in the log (a file is logged once, by the first pass).
TEST_F(RemovalFixture, ALockedFileStaysListedAndIsReportedOnce) {
  Session& s = scanned();
  HANDLE lock = CreateFileA((P + "\\one\\twin.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE firstPassOnly = CreateFileA((P + "\\comp.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  app.pump.onYield = [&](int) {
    // The first pass reaches the registry after every file.
    if (firstPassOnly && regString(key + "Value", "Run") == "<absent>") CloseHandle(std::exchange(firstPassOnly, nullptr));
  };
  ToldRemovalHost told(s);
  removeAll(s, true, &told);
  CloseHandle(lock);
  EXPECT_EQ(firstPassOnly, nullptr);
  EXPECT_TRUE(exists(P + "\\one\\twin.txt"));  // its copy could not be made, so it was not deleted
  EXPECT_FALSE(exists(P + "\\two\\twin.txt"));
  EXPECT_FALSE(exists(P + "\\comp.dll"));
  // Four lines for each item the first pass removed: a file and two keys.
  EXPECT_EQ(split(app.readText("quarantine\\QuarantineLog.txt"), "\r\n").size(), 3 * 4 + 1u);
  EXPECT_EQ(told.stayed, std::vector<std::string>{P + "\\one\\twin.txt"});  // said once
  ASSERT_EQ(s.results.removalCount(), 1);  // its threat stays, unchecked
  EXPECT_EQ(s.results.removalRow(0).threat, "Twin");
  EXPECT_FALSE(s.results.removalRow(0).checked);
  EXPECT_EQ(s.lastRemoval.failed, told.stayed);
}

TEST_F(RemovalFixture, NothingCheckedAsksForAChoiceAndUnattendedRunsAskNothing) {
  Session& s = scanned();
  app.dialogs.shown.clear();
  BoxRemovalHost boxes(s);
  s.remove(RemovalOptions{true, true, app.product}, boxes);
  ASSERT_EQ(app.dialogs.shown.size(), 1u);
  EXPECT_EQ(app.dialogs.shown[0].text,
            "No entries are selected.  You must check the box next to at least one item in the list.");
  EXPECT_TRUE(exists(P + "\\comp.dll"));
  app.dialogs.answer = [](const ShownBox&) { return kIdNo; };
  removeAll(s);
  EXPECT_TRUE(exists(P + "\\comp.dll"));  // No keeps everything
  app.dialogs.shown.clear();
  removeAll(s, false);  // the removal itself, unasked
  EXPECT_TRUE(app.dialogs.shown.empty());
  EXPECT_FALSE(exists(P + "\\comp.dll"));
}

namespace {
// Another program holds the quarantine past the wait, as the lock would say after it.
class BusyQuarantine : public win32::Win32FileSystem {
 public:
  std::unique_ptr<StoreLockHold> lockStore(const std::string& path, bool exclusive, uint32_t waitMs, Pump* pump,
                                           StoreLockResult& result) override {
    if (fileNameFromPath(path) != kQuarantineLock)  // the definitions are free
      return Win32FileSystem::lockStore(path, exclusive, waitMs, pump, result);
    result = StoreLockResult::Busy;
    return nullptr;
  }
};
}  // namespace

// A removal that another program keeps from the quarantine changes nothing: no restore point,
// nothing deleted, every row kept. The window says so in a box; an unattended run shows none,
// and says what stayed, and why, to its summary.
TEST_F(RemovalFixture, ARemovalThatMustGiveWayChangesNothingAndSaysSo) {
  BusyQuarantine busy;
  SessionOverFiles over(app, busy);
  Session& s = over.session;
  for (bool unattended : {false, true}) {
    SCOPED_TRACE(unattended);
    scan(s);
    app.dialogs.shown.clear();
    app.restore.restoreCalls.clear();
    RemovalRunHost nobody;  // an unattended run: nobody asked, nothing shown
    removeAll(s, !unattended, unattended ? &nobody : nullptr);
    const std::string said = "Another " + app.product + " is busy with the quarantine. Nothing was changed; try again "
                             "when it has finished.";
    EXPECT_EQ(app.dialogs.shown.size(), unattended ? 0u : 2u);  // the question, then why nothing happened
    if (!unattended && app.dialogs.shown.size() == 2) EXPECT_EQ(app.dialogs.shown[1].text, said);
    EXPECT_TRUE(app.restore.restoreCalls.empty());
    for (const char* there : {"\\one\\twin.txt", "\\two\\twin.txt", "\\comp.dll", "\\dir\\deep\\inner.txt"})
      EXPECT_TRUE(exists(P + there)) << there;
    EXPECT_TRUE(app.registry.keyExists(kHkcu, key, kKeyRead));
    EXPECT_EQ(s.results.removalCount(), 5);
    EXPECT_EQ(s.lastRemoval.failed.size(), 6u);
    EXPECT_EQ(s.lastRemoval.reasons, std::vector<std::string>(6, "another " + app.product + " was busy with the quarantine"));
    EXPECT_TRUE(s.lastRemoval.removed.empty());
  }
  EXPECT_EQ(app.fs.attributes(app.path("quarantine\\QuarantineIndex.txt")), kNoSuchPath);
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
  Quarantine q(app.platform, app.folder);
  ASSERT_EQ(q.lock(nullptr, 0), StoreLockResult::Taken);
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
        {"no end", RegValue{kRegSz, "abc"}},
        {"a name\r\nover lines=\"x\"", RegValue{kRegSz, std::string("a\0b\0\0\0", 6)}},
        {"\xC3\x84rger \xE2\x98\x83 \xED\xA0\x80", RegValue{kRegSz, std::string("\xC4\x00\x00\x00", 4)}},
        {"odd", RegValue{kRegSz, std::string("A\0B", 3)}}}},
      {0x80000002u, "SOFTWARE\\B \xE2\x98\x83", {}}};
  for (RegFileForm form : {RegFileForm::CodePage, RegFileForm::Unicode}) {
    const std::string text = formatRegFile(keys, form);
    const std::string shown = form == RegFileForm::Unicode ? utf8FromUtf16le(text.substr(2)) : text;
    EXPECT_EQ(form == RegFileForm::Unicode, text.rfind("\xFF\xFE", 0) == 0);
    EXPECT_NE(shown.find("\"dw\"=dword:12345678\r\n"), std::string::npos);
    EXPECT_NE(shown.find("\"qword\"=hex(b):01,02,"), std::string::npos);  // the type in hexadecimal
    EXPECT_NE(shown.find(form == RegFileForm::Unicode ? "\"a name\\r\\nover lines=\\\"x\\\"\"=\"ab\"\r\n" : "@=\"def\"\r\n"),
              std::string::npos);
    std::vector<RegFileKey> back;
    std::string error;
    RegFileForm read = RegFileForm::Unicode;
    ASSERT_TRUE(parseRegFile(text, back, error, &read)) << error;
    EXPECT_EQ(read, form);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].path, keys[0].path);
    EXPECT_EQ(back[1].path, keys[1].path);
    ASSERT_EQ(back[0].values.size(), keys[0].values.size());
    for (size_t i = 0; i < keys[0].values.size(); ++i) {
      EXPECT_EQ(back[0].values[i].first, keys[0].values[i].first);
      EXPECT_EQ(back[0].values[i].second.type, keys[0].values[i].second.type) << i;
      EXPECT_EQ(back[0].values[i].second.data, keys[0].values[i].second.data) << i;
    }
  }
  std::vector<RegFileKey> back;
  std::string error;
  for (const char* bad : {"", "REGEDIT5\r\n", "REGEDIT4\r\n\"v\"=\"x\"\r\n", "REGEDIT4\r\n[HKEY_NOWHERE\\x]\r\n",
                          "REGEDIT4\r\n[HKEY_CURRENT_USER\\x\r\n", "REGEDIT4\r\n[HKEY_CURRENT_USER\\]\r\n",
                          "REGEDIT4\r\n[HKEY_CURRENT_USER\\x]\r\n\"v\"=hex:zz\r\n",
                          "REGEDIT4\r\n[HKEY_CURRENT_USER\\x]\r\n\"v\"=dword:1\r\n",
                          "REGEDIT4\r\n[HKEY_CURRENT_USER\\x]\r\n\"v\"=hex(ffffffffff):00\r\n",
                          "\xFF\xFER\0E\0G\0E\0D\0I\0T\0" "4\0"})
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
  Session& s = app.session();
  scan(s);
  removeAll(s);
  EXPECT_EQ(app.readText("outside\\precious.txt"), "keep me");
  EXPECT_TRUE(exists(P + "\\link"));      // the link itself stays, reported
  EXPECT_FALSE(exists(P + "\\holder"));   // the folder went, its inner link as a link
  const std::vector<std::string>& failed = s.lastRemoval.failed;
  EXPECT_NE(std::find(failed.begin(), failed.end(), P + "\\link"), failed.end());
  for (const QuarantineEntry& e : Quarantine(app.fs, app.registry, app.clock, app.folder).entries())
    EXPECT_EQ(e.original, P + "\\holder");  // nothing of the outside was copied
}

namespace {

// A disk that fills: writes and copies go through until `room` bytes are used, and the one
// that passes it stores only what fits and fails, as a full disk does.
class FillingDisk : public win32::Win32FileSystem {
 public:
  uint64_t room = UINT64_MAX;
  bool write(const std::string& path, const std::string& data, bool append) override {
    if (data.size() <= room) {
      room -= data.size();
      return Win32FileSystem::write(path, data, append);
    }
    Win32FileSystem::write(path, data.substr(0, size_t(room)), append);
    room = 0;
    return false;
  }
  bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override {
    std::string data;
    if (!readAll(from, data) || (failIfExists && attributes(to) != kNoSuchPath)) return false;
    return write(to, data, false);
  }
  // Appends held open fill the same disk: each goes through write().
  std::unique_ptr<AppendFile> openAppend(const std::string& path) override { return FileSystem::openAppend(path); }
};

}  // namespace

// Between removals of files of one name the index is lost, edited, torn, or the disk fills at
// any byte, or another run writes beside this one: every removed file is still in place or has
// a listed copy that restores byte-exact, and no two entries share an id or a copy.
TEST(QuarantineDamage, NoRemovedFileIsLostWhateverHappensToTheIndex) {
  struct Case {
    std::string what;
    std::function<void(App&)> damage;
    uint64_t room;
  };
  const auto index = [](App& a) { return a.path("quarantine\\QuarantineIndex.txt"); };
  std::vector<Case> cases = {
      {"index deleted", [&](App& a) { DeleteFileA(index(a).c_str()); }, UINT64_MAX},
      {"index emptied", [&](App& a) { a.writeText("quarantine\\QuarantineIndex.txt", ""); }, UINT64_MAX},
      {"an id at the top of the old range",
       [&](App& a) {
         a.writeText("quarantine\\QuarantineIndex.txt", a.readText("quarantine\\QuarantineIndex.txt") +
                                                            "2000000000\td\tfile\tC:\\gone.txt\t2000000000-gone.txt\t1\r\n");
       },
       UINT64_MAX},
      {"a torn last line",
       [&](App& a) { a.writeText("quarantine\\QuarantineIndex.txt", a.readText("quarantine\\QuarantineIndex.txt") + "9\td\tfi"); },
       UINT64_MAX},
      {"another run writes beside it", nullptr, UINT64_MAX},
  };
  for (uint64_t room = 0; room < 360; room += 17) cases.push_back({"a disk full after " + std::to_string(room), nullptr, room});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    App app;
    const std::string P = makeFolder(app.path("planted"));
    app.writeEmptyDefinitions();
    app.writeDefinitions("FileDefinition.dat", {"twin.txt=Twin|" + P, "other.txt=Other|" + P});
    FillingDisk disk;
    SessionOverFiles over(app, disk);
    std::vector<std::string> planted;  // every content a removal took
    bool besideDone = false;
    for (int round = 0; round < 3; ++round) {
      if (!exists(P + "\\twin.txt")) {
        planted.push_back("twin number " + std::to_string(round) + std::string(size_t(round) * 7, '!'));
        app.writeText("planted\\twin.txt", planted.back());
      }
      if (round == 1 && c.damage) c.damage(app);
      disk.room = round == 1 ? c.room : UINT64_MAX;
      const bool beside = round == 1 && c.what == "another run writes beside it";
      app.pump.onYield = [&](int) {
        if (!beside || besideDone || exists(P + "\\twin.txt")) return;
        besideDone = true;  // the removal is between two items: another run must wait for it
        Quarantine other(app.platform, app.folder);
        EXPECT_EQ(other.lock(nullptr, 0), StoreLockResult::Busy);
      };
      scan(over.session);
      removeAll(over.session, false);
      app.pump.onYield = nullptr;
      if (beside) {  // and keeps a file once this one has finished, under the ids read then
        app.writeText("beside.txt", "beside");
        Quarantine other(app.platform, app.folder);
        ASSERT_EQ(other.lock(nullptr, 0), StoreLockResult::Taken);
        auto held = app.fs.holdFile(app.path("beside.txt"));
        ASSERT_NE(held, nullptr);
        EXPECT_NE(other.storeFile(*held, app.path("beside.txt"), QuarantineKind::File), 0);
        other.logFile(app.path("beside.txt"), "beside.txt");
      }
    }
    disk.room = UINT64_MAX;

    Quarantine q(app.platform, app.folder);
    ASSERT_EQ(q.lock(nullptr, 0), StoreLockResult::Taken);
    const std::vector<QuarantineEntry> entries = q.entries();
    std::vector<int64_t> ids;
    std::vector<std::string> stored;
    for (const QuarantineEntry& e : entries) {
      EXPECT_EQ(std::count(ids.begin(), ids.end(), e.id), 0) << e.id;
      EXPECT_EQ(std::count(stored.begin(), stored.end(), e.stored), 0) << e.stored;
      ids.push_back(e.id);
      stored.push_back(e.stored);
    }
    const std::string inPlace = exists(P + "\\twin.txt") ? app.readText("planted\\twin.txt") : "";
    DeleteFileA((P + "\\twin.txt").c_str());
    for (const std::string& content : planted) {
      if (content == inPlace) continue;
      auto e = std::find_if(entries.begin(), entries.end(), [&](const QuarantineEntry& x) {
        return x.original == P + "\\twin.txt" && originalBytes(app, x) == content;
      });
      ASSERT_NE(e, entries.end()) << content << " is neither in place nor in the quarantine";
      EXPECT_EQ(q.restore(e->id), "");
      EXPECT_EQ(app.readText("planted\\twin.txt"), content);
      DeleteFileA((P + "\\twin.txt").c_str());
    }
    if (besideDone) EXPECT_NE(app.readText("quarantine\\QuarantineLog.txt").find("beside.txt"), std::string::npos);
  }
}

// Whatever stays where it was (a locked file or cookie, a folder holding one, a registry key
// or value the system keeps) is said, keeps its row, and leaves no copy or index line behind.
TEST_F(RemovalFixture, EveryKindThatStaysIsSaidAndLeavesNothingInTheQuarantine) {
  makeFolder(P + "\\cookies");
  app.writeText("planted\\cookies\\user@site[1].txt", "id\nsite.tld/\n");
  app.writeDefinitions("BlockedCookies.dat", {"site.tld"});
  app.registry.undeletable = {key, key + "Value"};
  // A file others may read but not delete: its copy is made, its deletion fails.
  HANDLE readable = CreateFileA((P + "\\one\\twin.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE inFolder = CreateFileA((P + "\\dir\\deep\\inner.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  Session& s = scanned();
  ScannerEnv scanner(app.platform, s);
  scanCookieFolder(scanner.env, P + "\\cookies");
  HANDLE lockedCookie = CreateFileA((P + "\\cookies\\user@site[1].txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  for (int run = 0; run < 2; ++run) {
    ToldRemovalHost told(s);
    removeAll(s, true, &told);
    std::vector<std::string> failed = s.lastRemoval.failed;
    std::sort(failed.begin(), failed.end());
    std::vector<std::string> expected{P + "\\one\\twin.txt", P + "\\dir", P + "\\cookies\\user@site[1].txt",
                                      "HKEY_CURRENT_USER\\" + key, "HKEY_CURRENT_USER\\" + key + "Value\\Run"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(failed, expected) << run;
    std::sort(told.stayed.begin(), told.stayed.end());
    EXPECT_EQ(told.stayed, expected) << run;
    EXPECT_EQ(s.results.removalCount(), 5) << run;  // all but the component's
    // Only what went is kept: the second twin and the component.
    Quarantine q(app.platform, app.folder);
    std::vector<std::string> kept;
    for (const QuarantineEntry& e : q.entries()) kept.push_back(e.original);
    EXPECT_EQ(kept, (std::vector<std::string>{P + "\\two\\twin.txt", P + "\\comp.dll"})) << run;
    int files = 0;
    for (const FolderEntry& f : app.fs.listFolder(app.path("quarantine"))) files += f.name.find('-') != std::string::npos;
    EXPECT_EQ(files, 2) << run;
  }
  for (HANDLE h : {readable, lockedCookie, inFolder}) CloseHandle(h);
  app.registry.undeletable.clear();
}

namespace {

std::string systemExport(App& app, const std::string& key, const std::string& file) {
  char sys[MAX_PATH];
  GetSystemDirectoryA(sys, MAX_PATH);
  DeleteFileA(app.path(file).c_str());
  const ProgramRun r = runProgram(std::string(sys) + "\\reg.exe", "export \"HKCU\\" + key + "\" \"" + app.path(file) + "\" /y");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return app.readText(file);
}

}  // namespace

// A key whose subkeys, value names and data hold what no code page holds, line breaks, "=" and
// quotes, and values of every type (odd lengths included) goes into the quarantine and comes
// back exactly: the system's own export is the same before the removal and after the restore.
TEST(RegistryQuarantine, EveryNameAndValueComesBackExactly) {
  App app;
  const std::string key = "Software\\" + app.product + "Wide", single = key + "Value";
  const std::wstring wkey = L"Software\\" + std::wstring(app.product.begin(), app.product.end()) + L"Wide";
  struct V {
    const wchar_t* name;
    DWORD type;
    std::string data;
  };
  const std::string snow("\x03\x26", 2), name("\x0D\x54\x4D\x52", 4);  // U+2603, U+540D U+524D
  const std::vector<V> values{
      {L"", REG_SZ, std::string("d\0\xE9\0", 4) + snow + std::string(2, '\0')},
      {L"\u540d\u524d", REG_SZ, name + std::string(2, '\0')},
      {L"line\r\nbreak", REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
      {L"eq=\"q\" \\ end", REG_EXPAND_SZ, std::string("%\0T\0%\0", 6) + snow + std::string(2, '\0')},
      {L"multi \u2603", REG_MULTI_SZ, std::string("a\0\0\0", 4) + snow + std::string(4, '\0')},
      {L"bin", REG_BINARY, std::string("\x00\x01\xFF", 3)},
      {L"qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {L"odd", REG_SZ, std::string("A\0B", 3)},
      {L"none", REG_NONE, ""}};
  for (const std::wstring& k : {wkey, wkey + L"\\Sub \u2603 \u540d", wkey + L"\\Sub \u2603 \u540d\\empty \u00e9"}) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, k.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), 0);
    if (k.find(L"empty") == std::wstring::npos)
      for (const V& v : values)
        RegSetValueExW(h, v.name, 0, v.type, reinterpret_cast<const BYTE*>(v.data.data()), DWORD(v.data.size()));
    RegCloseKey(h);
  }
  app.registry.setValueExact(kHkcu, single, "plain", RegValue{kRegExpandSz, snow + std::string(2, '\0')});
  const std::string before = systemExport(app, key, "before.reg"), beforeValue = systemExport(app, single, "b2.reg");
  ASSERT_NE(before.find(std::string("\x03\x26", 2)), std::string::npos);  // the system wrote it as it is

  app.writeEmptyDefinitions();
  app.writeDefinitions("RegistryDefinition.dat", {"1^" + key + "^=WideThreat", "1^" + single + "^plain=ValueThreat"});
  Session& s = app.session();
  scan(s);
  ASSERT_EQ(s.results.removalCount(), 2);
  removeAll(s);
  EXPECT_TRUE(s.lastRemoval.failed.empty());
  EXPECT_FALSE(app.registry.keyExists(kHkcu, key, kKeyRead));
  RegValue gone;
  EXPECT_NE(app.registry.queryValue(kHkcu, single, "plain", kKeyRead, gone), RegStatus::Ok);

  Quarantine q(app.platform, app.folder);
  ASSERT_EQ(q.lock(nullptr, 0), StoreLockResult::Taken);
  ASSERT_EQ(q.entries().size(), 2u);
  for (const QuarantineEntry& e : q.entries()) EXPECT_EQ(q.restore(e.id), "") << e.original;
  EXPECT_EQ(systemExport(app, key, "after.reg"), before);
  EXPECT_EQ(systemExport(app, single, "a2.reg"), beforeValue);
  app.registry.deleteTree(kHkcu, key);
  app.registry.deleteTree(kHkcu, single);
}


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
  Session& s = app.session();
  scan(s);
  intact("after the scan");
  removeAll(s);
  intact("after the removal");
  const std::vector<std::string>& failed = s.lastRemoval.failed;
  for (const std::string& link : {P + "\\flink.txt", P + "\\dlink"}) {
    EXPECT_TRUE(exists(link)) << link;
    EXPECT_NE(std::find(failed.begin(), failed.end(), link), failed.end()) << link;
  }
  // The folder goes only as a whole, its links removed as links; otherwise it stays, reported.
  if (exists(P + "\\holder")) EXPECT_NE(std::find(failed.begin(), failed.end(), P + "\\holder"), failed.end());
  else EXPECT_EQ(s.lastRemoval.removed, std::vector<std::string>{P + "\\holder"});
  Quarantine q(app.platform, app.folder);
  ASSERT_EQ(q.lock(nullptr, 0), StoreLockResult::Taken);
  for (const QuarantineEntry& e : q.entries()) {
    EXPECT_EQ(e.original, P + "\\holder");  // nothing reached through a link was kept
    q.restore(e.id);
  }
  intact("after the restore");
}

// Every kind of file goes into the quarantine in kept form, not its own bytes nor runnable, and
// comes back byte for byte; a damaged copy is refused and changes nothing; a copy an earlier
// version stored as it was still comes back.
TEST(KeptCopies, StoredUnrunnableRestoredExactlyDamageRefused) {
  App app;
  std::string program;  // the start of this very test program: a real executable's bytes
  ASSERT_TRUE(app.fs.readAll(app.thisProgram.exePath(), program));
  program.resize(std::min<size_t>(program.size(), 300000));
  std::string big(size_t(10) << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char((i * 7) ^ (i >> 13));
  struct Case {
    std::string name, bytes;
    uint32_t attributes = 0;
  };
  const std::vector<Case> cases = {{"empty.txt", ""},
                                   {"one.bin", "A"},
                                   {"big.dat", big},
                                   {"tool.exe", program},
                                   {"kept.txt", "read only", FILE_ATTRIBUTE_READONLY},
                                   {"hidden.txt", "hidden", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
                                   {"all.txt", "every bit", kKeptAttributes}};
  Quarantine q(app.platform, app.folder);
  ASSERT_EQ(q.lock(nullptr, 0), StoreLockResult::Taken);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = app.path(c.name);
    app.writeText(c.name, c.bytes);
    SetFileAttributesA(path.c_str(), c.attributes ? c.attributes : FILE_ATTRIBUTE_NORMAL);
    const uint32_t bits = keptBits(path);  // Wine marks every file for archiving, whatever it is told
    ASSERT_EQ(bits & ~kAttrArchive, c.attributes & ~kAttrArchive);
    auto held = app.fs.holdFile(path);
    ASSERT_NE(held, nullptr);
    const int64_t id = q.storeFile(*held, path, QuarantineKind::File);
    ASSERT_NE(id, 0);
    ASSERT_TRUE(held->deleteNow());
    held.reset();
    const std::vector<QuarantineEntry> entries = q.entries();
    auto e = std::find_if(entries.begin(), entries.end(), [&](const QuarantineEntry& x) { return x.id == id; });
    ASSERT_NE(e, entries.end());
    EXPECT_TRUE(e->kept);
    EXPECT_EQ(e->size, c.bytes.size());
    EXPECT_EQ(e->stored, std::to_string(id) + "-" + c.name + ".kept");  // no longer named as a program
    const std::string stored = app.readText("quarantine\\" + e->stored);
    ASSERT_EQ(stored.size(), c.bytes.size());
    if (!c.bytes.empty()) EXPECT_NE(stored, c.bytes);
    // No run of the original's bytes is left for a scanner to find, its header least of all.
    for (size_t at : {size_t(0), c.bytes.size() / 2})
      if (c.bytes.size() >= at + 16) EXPECT_EQ(stored.find(c.bytes.substr(at, 16)), std::string::npos) << at;
    EXPECT_EQ(q.restore(id), "");
    EXPECT_TRUE(app.readText(c.name) == c.bytes);
    EXPECT_EQ(keptBits(path), bits);  // as the original had them
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    // A copy damaged since (one byte changed, or cut short) is refused, and nothing is written.
    for (int damage = 0; damage < 2 && !c.bytes.empty() && c.bytes.size() < 1000; ++damage) {
      std::string bad = stored;
      if (damage == 0) bad[bad.size() / 2] ^= 1;
      else bad.pop_back();
      app.writeText("quarantine\\" + e->stored, bad);
      EXPECT_NE(q.restore(id).find("is damaged"), std::string::npos) << damage;
      EXPECT_FALSE(exists(path)) << damage;
    }
  }
  // A copy stored as it was, with the index line of that time, comes back as it is.
  app.writeText("quarantine\\90-old.exe", "MZ stored as it was");
  app.writeText("quarantine\\QuarantineIndex.txt", app.readText("quarantine\\QuarantineIndex.txt") + "90\t" +
                                                         app.clock.now + "\tfile\t" + app.path("old.exe") +
                                                         "\t90-old.exe\t19\r\n");
  EXPECT_EQ(q.restore(90), "");
  EXPECT_EQ(app.readText("old.exe"), "MZ stored as it was");
}
