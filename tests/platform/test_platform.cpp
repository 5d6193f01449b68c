// The platform's parts and the real file, drive and process services under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>

#include "tests/support/fakes.h"

using namespace quillon;
using namespace quillon::test;

TEST(PlatformParts, AreTakenByNameAndAMissingOneIsNamed) {
  App app;
  FakeProcesses procs;
  PlatformParts parts = app.platform.parts();
  EXPECT_EQ(parts.dialogs, &app.dialogs);
  EXPECT_EQ(parts.fileDialog, &app.fileDialog);
  parts.processes = &procs;
  Platform changed(parts);
  EXPECT_EQ(&changed.processes, &procs);
  EXPECT_EQ(&changed.registry, &app.registry);  // everything else stays
  EXPECT_EQ(&changed.launcher, &app.launcher);
  EXPECT_EQ(&changed.clock, &app.clock);

  parts.http = nullptr;
  try {
    Platform incomplete(parts);
    ADD_FAILURE() << "a platform without HTTP was made";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "Platform: no http given");
  }
}

namespace {
struct Files : ::testing::Test {
  App app;
  win32::Win32FileSystem& fs = app.fs;
  std::string read(const std::string& name) { return app.readText(name); }
};
}  // namespace

TEST_F(Files, ReplaceTakesTheNewFileInOneStepOrLeavesTheOld) {
  app.writeText("new.dat", "new");
  app.writeText("target.dat", "old");
  EXPECT_TRUE(fs.replaceFile(app.path("new.dat"), app.path("target.dat")));
  EXPECT_EQ(read("target.dat"), "new");
  EXPECT_EQ(fs.attributes(app.path("new.dat")), kNoSuchPath);
  EXPECT_TRUE(fs.replaceFile(app.path("target.dat"), app.path("fresh.dat")));  // no target yet
  EXPECT_EQ(read("fresh.dat"), "new");
  EXPECT_FALSE(fs.replaceFile(app.path("missing.dat"), app.path("fresh.dat")));
  EXPECT_EQ(read("fresh.dat"), "new");

  // A reader that looks all the time sees the old or the new contents, never a mix, a short
  // file or no file.
  const std::string a(100000, 'a'), b(50000, 'b');
  const std::string target = app.path("watched.dat");
  fs.write(target, a, false);
  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, torn{0}, missing{0};
  std::thread reader([&] {
    std::string buf(200000, '\0');
    while (!done) {
      HANDLE h = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) ++missing;
        continue;
      }
      DWORD got = 0, total = 0;
      while (ReadFile(h, buf.data() + total, DWORD(buf.size() - total), &got, nullptr) && got) total += got;
      CloseHandle(h);
      const std::string seen = buf.substr(0, total);
      ++reads;
      if (seen != a && seen != b) ++torn;
      Sleep(0);
    }
  });
  // A reader that holds the file open can refuse a replacement, which then fails and leaves
  // the old file: enough go through between the reads.
  int replaced = 0;
  for (int i = 0; i < 5000 && replaced < 60; ++i) {
    const std::string next = app.path("next.dat");
    fs.write(next, replaced % 2 ? a : b, false);
    replaced += fs.replaceFile(next, target);
  }
  done = true;
  reader.join();
  EXPECT_EQ(replaced, 60);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(missing, 0);
}

// A file held open for appending (the quarantine's index during a removal) blocks no other
// writer or reader, and every write lands at the end as it is then: after another writer's
// line, and after a cut-back, never over either.
TEST_F(Files, AnAppendingFileSharesAndAlwaysWritesAtTheRealEnd) {
  const std::string p = app.path("held.txt");
  auto held = fs.openAppend(p);
  ASSERT_TRUE(held);
  EXPECT_TRUE(held->add("one\r\n"));
  auto second = fs.openAppend(p);
  ASSERT_TRUE(second);
  EXPECT_TRUE(second->add("two\r\n"));
  EXPECT_TRUE(fs.write(p, "three\r\n", true));
  EXPECT_TRUE(held->add("four\r\n"));
  EXPECT_EQ(read("held.txt"), "one\r\ntwo\r\nthree\r\nfour\r\n");
  EXPECT_TRUE(fs.truncate(p, 5));
  EXPECT_TRUE(held->add("five\r\n"));
  EXPECT_TRUE(second->add("six\r\n"));
  EXPECT_EQ(read("held.txt"), "one\r\nfive\r\nsix\r\n");
}

TEST_F(Files, CopyKeepsOrOverwritesAsAskedAndFoldersAreMadeOnlyAsFolders) {
  app.writeText("a.txt", "A");
  app.writeText("b.txt", "B");
  EXPECT_FALSE(fs.copyFile(app.path("a.txt"), app.path("b.txt"), true));
  EXPECT_EQ(read("b.txt"), "B");
  EXPECT_TRUE(fs.copyFile(app.path("a.txt"), app.path("b.txt"), false));
  EXPECT_EQ(read("b.txt"), "A");
  EXPECT_TRUE(fs.copyFile(app.path("a.txt"), app.path("c.txt"), true));
  EXPECT_FALSE(fs.copyFile(app.path("none.txt"), app.path("d.txt"), false));
  EXPECT_EQ(fs.attributes(app.path("d.txt")), kNoSuchPath);

  EXPECT_TRUE(fs.createFolder(app.path("quarantine")));
  EXPECT_TRUE(fs.folderExists(app.path("quarantine")));
  EXPECT_TRUE(fs.createFolder(app.path("quarantine")));  // already there: no error
  EXPECT_FALSE(fs.createFolder(app.path("a.txt")));      // a file has the name
  EXPECT_FALSE(fs.createFolder(app.path("no\\such\\parent")));
}

// What the removal holds from its look to the delete: shared with nobody, the file is copied
// through the hold itself and goes through it; nobody can copy, rename or delete it meanwhile.
// One that another program has open is not held at all (and so never marked to vanish when
// that program lets go). A held place stays where it is, yet can be listed and written into.
TEST_F(Files, AHeldFileIsTheProgramsAloneAndAHeldFolderStaysInPlace) {
  app.writeText("a.txt", "A");
  SetFileAttributesA(app.path("a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  HoldFailure why = HoldFailure::None;
  EXPECT_EQ(fs.holdFile(app.path("none.txt"), &why), nullptr);
  EXPECT_EQ(why, HoldFailure::Absent);
  {
    auto held = fs.holdFile(app.path("a.txt"), &why);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(why, HoldFailure::None);
    EXPECT_FALSE(held->facts().folder || held->facts().link);
    char buf[8];
    EXPECT_EQ(held->read(buf, sizeof buf), 1u);
    EXPECT_EQ(buf[0], 'A');
    EXPECT_FALSE(fs.copyFile(app.path("a.txt"), app.path("copy.txt"), true));
    EXPECT_FALSE(fs.rename(app.path("a.txt"), app.path("other.txt")));
    EXPECT_FALSE(fs.deleteFile(app.path("a.txt")));
    EXPECT_TRUE(held->deleteNow());
  }
  EXPECT_EQ(fs.attributes(app.path("a.txt")), kNoSuchPath);

  ASSERT_TRUE(fs.createFolder(app.path("folder")));
  EXPECT_FALSE(fs.holdFile(app.path("folder"))->deleteNow());
  EXPECT_TRUE(fs.folderExists(app.path("folder")));

  for (DWORD share : {DWORD(0), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)}) {
    app.writeText("locked.txt", "L");
    HANDLE other = CreateFileA(app.path("locked.txt").c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD start = GetTickCount();
    EXPECT_EQ(fs.holdFile(app.path("locked.txt"), &why, 200), nullptr) << share;
    EXPECT_EQ(why, HoldFailure::InUse) << share;
    EXPECT_GE(GetTickCount() - start, 150u);  // it waited for the other program
    CloseHandle(other);
    EXPECT_EQ(read("locked.txt"), "L") << share;  // and left it as it was
  }

  // (Wine, unlike the system, lets a held folder be renamed: that is not asked here.)
  auto place = fs.holdPlace(app.path("folder"));
  ASSERT_NE(place, nullptr);
  EXPECT_TRUE(place->facts().folder && !place->facts().link);
  EXPECT_TRUE(fs.write(app.path("folder\\in.txt"), "in", false));
  EXPECT_EQ(fs.listFolder(app.path("folder")).size(), 1u);
  EXPECT_FALSE(fs.holdPlace(app.path("folder\\in.txt"))->facts().folder);
  EXPECT_EQ(fs.holdPlace(app.path("none")), nullptr);
}

// Another handle on the lock file stands for another program: the sharing rules are the lock.
TEST_F(Files, AStoreLockIsSharedByReadersAndExclusiveForAWriter) {
  const std::string lock = app.path("Store.lock");
  struct Case {
    bool otherExclusive, exclusive;
    StoreLockResult expected;
  } cases[] = {{false, false, StoreLockResult::Taken},
               {false, true, StoreLockResult::Busy},
               {true, false, StoreLockResult::Busy},
               {true, true, StoreLockResult::Busy}};
  for (const Case& c : cases) {
    StoreLockResult first = StoreLockResult::Failed, second = StoreLockResult::Failed;
    auto other = fs.lockStore(lock, c.otherExclusive, 0, nullptr, first);
    ASSERT_EQ(first, StoreLockResult::Taken);
    const DWORD start = GetTickCount();
    auto mine = fs.lockStore(lock, c.exclusive, 200, nullptr, second);
    EXPECT_EQ(second, c.expected) << c.otherExclusive << c.exclusive;
    EXPECT_EQ(mine != nullptr, c.expected == StoreLockResult::Taken);
    if (c.expected == StoreLockResult::Busy) EXPECT_GE(GetTickCount() - start, 150u);  // it waited
    // Let go, the lock is there for the next one at once.
    other.reset();
    mine.reset();
    auto again = fs.lockStore(lock, true, 0, nullptr, second);
    EXPECT_EQ(second, StoreLockResult::Taken);
  }
  // A lock in a folder that is not there cannot be taken, and says so.
  StoreLockResult result = StoreLockResult::Taken;
  EXPECT_EQ(fs.lockStore(app.path("none\\Store.lock"), true, 0, nullptr, result), nullptr);
  EXPECT_EQ(result, StoreLockResult::Failed);
}

TEST_F(Files, AFolderTreeIsCopiedWholeWithoutFollowingLinks) {
  const std::string src = makeFolder(app.path("src\\deep\\deeper"));
  app.writeText("src\\top.txt", "top");
  app.writeText("src\\deep\\deeper\\leaf.txt", "leaf");
  app.writeText("src\\hidden.txt", "h");
  SetFileAttributesA(app.path("src\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  app.writeText("src\\ro.txt", "new");
  SetFileAttributesA(app.path("src\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  // An earlier copy whose read-only file must still be overwritten.
  makeFolder(app.path("dst"));
  app.writeText("dst\\ro.txt", "old");
  SetFileAttributesA(app.path("dst\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  app.writeText("dst\\extra.txt", "kept");
  // A link inside the tree that leads out of it.
  const std::string outside = makeFolder(app.path("outside"));
  app.writeText("outside\\secret.txt", "s");
  const bool linked = CreateSymbolicLinkA(app.path("src\\link").c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);

  EXPECT_TRUE(fs.copyFolderTree(app.path("src"), app.path("dst\\")));
  EXPECT_EQ(read("dst\\top.txt"), "top");
  EXPECT_EQ(read("dst\\deep\\deeper\\leaf.txt"), "leaf");
  EXPECT_EQ(read("dst\\hidden.txt"), "h");
  EXPECT_EQ(read("dst\\ro.txt"), "new");
  EXPECT_EQ(read("dst\\extra.txt"), "kept");
  if (linked) {
    EXPECT_EQ(fs.attributes(app.path("dst\\link")), kNoSuchPath);
  }

  EXPECT_FALSE(fs.copyFolderTree(app.path("src"), app.path("src\\deep\\copy")));  // into itself
  EXPECT_FALSE(fs.folderExists(app.path("src\\deep\\copy")));
  EXPECT_FALSE(fs.copyFolderTree(app.path("src"), app.path("SRC")));
  EXPECT_FALSE(fs.copyFolderTree("src", app.path("rel")));
  EXPECT_FALSE(fs.copyFolderTree(app.path("src\\top.txt"), app.path("x")));
  EXPECT_FALSE(fs.copyFolderTree(app.path("none"), app.path("x")));
  for (const char* f : {"src\\ro.txt", "dst\\ro.txt"}) SetFileAttributesA(app.path(f).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Drives, ListsLettersWithTypesAndTellsReadiness) {
  win32::Win32Drives drives;
  std::vector<Drive> list = drives.list();
  ASSERT_FALSE(list.empty());
  std::string letters;
  for (const Drive& d : list) letters += d.letter;
  EXPECT_TRUE(std::is_sorted(letters.begin(), letters.end())) << letters;
  EXPECT_EQ(std::adjacent_find(letters.begin(), letters.end()), letters.end()) << letters;
  for (char c : letters) EXPECT_TRUE(c >= 'A' && c <= 'Z') << letters;
  auto c = std::find_if(list.begin(), list.end(), [](const Drive& d) { return d.letter == 'C'; });
  ASSERT_NE(c, list.end());
  EXPECT_EQ(c->type, DriveType::Fixed);
  EXPECT_TRUE(drives.ready('C'));
  char unused = 0;
  for (char l = 'Y'; l > 'D' && !unused; --l)
    if (letters.find(l) == std::string::npos) unused = l;
  ASSERT_NE(unused, 0);
  EXPECT_FALSE(drives.ready(unused));
}

TEST(RunningProcessesTimes, StartTimesTellProcessesApart) {
  win32::Win32RunningProcesses processes;
  uint64_t own = 0, later = 0, again = 0;
  ASSERT_TRUE(processes.startTime(GetCurrentProcessId(), own));
  FILETIME nowFt;
  GetSystemTimeAsFileTime(&nowFt);
  const uint64_t now = (uint64_t(nowFt.dwHighDateTime) << 32) | nowFt.dwLowDateTime;
  EXPECT_GT(own, 0u);
  EXPECT_LE(own, now);
  Sleep(20);
  {
    RunningProgram waiter(binFolder() + "\\quillon-sample-waiter.exe");
    ASSERT_TRUE(waiter.running());
    ASSERT_TRUE(processes.startTime(waiter.id(), later));
    EXPECT_GT(later, own);
    ASSERT_TRUE(processes.startTime(waiter.id(), again));
    EXPECT_EQ(again, later);  // asked twice, the same process
  }
  EXPECT_FALSE(processes.startTime(0x7FFFFFF0u, again));
}

// Every way out of the calls that open something, the early ones above all, leaves the process
// with the handles it had: each path runs many times and the count may not grow with them.
TEST_F(Files, NoPathThroughTheSystemCallsLeavesAHandleOpen) {
  app.writeText("a.txt", "abc");
  win32::Win32Registry registry;
  const std::string key = "Software\\" + app.product + "\\Handles";
  ASSERT_TRUE(registry.setValue(kHkeyCurrentUser, key, "v", RegValue{REG_SZ, "x"}));
  const uint32_t self = GetCurrentProcessId();
  std::vector<std::string> names, subkeys;
  std::vector<std::pair<std::string, RegValue>> values;
  std::string text;
  uint64_t n = 0;
  RegValue v;
  const std::vector<std::function<void()>> paths = {
      [&] { fs.openRead(app.path("a.txt")); },
      [&] { fs.openRead("NUL"); },  // a device: opened, then refused
      [&] { fs.openRead(app.path("none.txt")); },
      [&] { fs.readAll(app.path("a.txt"), text); },
      [&] { fs.write(app.path("b.txt"), "b", true); },
      [&] { fs.truncate(app.path("b.txt"), 1u << 30); },  // refused: only ever shorter
      [&] { fs.openAppend(app.path("c.txt")); },
      [&] { fs.attributes(app.path("a.txt")); },
      [&] { names = fs.listFiles(app.path("*.txt")); },
      [&] { fs.listFolder(app.folder); },
      [&] {
        auto s = fs.streamFolder(app.folder);
        FolderEntryView e;
        if (s) s->next(e);  // left before the end
      },
      [&] { fs.streamFolder(app.path("none")); },
      [&] { registry.keyExists(kHkeyCurrentUser, key, KEY_READ); },
      [&] { registry.queryValue(kHkeyCurrentUser, key, "v", KEY_READ, v); },
      [&] { registry.queryValue(kHkeyCurrentUser, key, "none", KEY_READ, v); },
      [&] { registry.deleteValue(kHkeyCurrentUser, key, "none"); },
      [&] { registry.enumerateKey(kHkeyCurrentUser, key, subkeys, values); },
      [&] { app.processes.baseName(self); },
      [&] { app.processes.executablePath(self, text); },
      [&] { app.processes.snapshot(); },
      [&] { app.processes.startTime(self, n); },
      [&] { app.processes.waitForExit(self, 0); },
      [&] { app.libraries.callExport("kernel32.dll", "NoSuchEntry"); },
      [&] { app.instanceLock.busyElsewhere(app.product + ".Handles"); },
  };
  // Wine counts no handles, but it gives out the lowest free slot: a new handle's value climbs
  // with every one left open.
  auto probe = [] {
    HANDLE h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(h);
    return uintptr_t(h) / 4;
  };
  for (size_t i = 0; i < paths.size(); ++i) {
    paths[i]();  // the first call may set up what the system keeps for good
    const uintptr_t before = probe();
    for (int round = 0; round < 50; ++round) paths[i]();
    EXPECT_LT(probe(), before + 10) << "path " << i << " leaves handles open";
  }
  registry.deleteTree(kHkeyCurrentUser, key);
}
