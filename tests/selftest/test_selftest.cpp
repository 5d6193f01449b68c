// The self-test on this machine, and how it fails: a sample folder it cannot write, a registry
// key it is refused, another process's scan running. Each failure is said in a line and leaves
// none of its samples behind.
#include <gtest/gtest.h>

#include "common/text.h"
#include "tests/support/fakes.h"
#include "scan/cookie_scan.h"
#include "selftest/selftest.h"
#include "shell/app_folder.h"
#include "selftest/selftest_scanner.h"

namespace quillon {
namespace {
using namespace quillon::test;

struct RefusingFiles : win32::Win32FileSystem {
  std::string below;  // writes below a folder of this name fail, as in a read-only folder
  bool write(const std::string& path, const std::string& data, bool append) override {
    if (!below.empty() && ifind(path, below) != std::string::npos) return false;
    return win32::Win32FileSystem::write(path, data, append);
  }
};

struct RefusingRegistry : win32::Win32Registry {
  std::string below;
  bool setValue(uint32_t root, const std::string& path, const std::string& name, const RegValue& v) override {
    if (!below.empty() && ifind(path, below) != std::string::npos) return false;
    return win32::Win32Registry::setValue(root, path, name, v);
  }
};

struct BusyElsewhere : win32::Win32InstanceLock {
  bool busy = false;
  bool busyElsewhere(const std::string&) override { return busy; }
};

TEST(SelfTest, HoldsHereAndEveryFailureIsSaidAndLeavesNothingBehind) {
  struct Case {
    const char* what;
    const char* filesRefused;
    const char* keyRefused;
    bool busy;
    bool passes;
    const char* failureSays;
  } cases[] = {
      {"a clean machine", "", "", false, true, ""},
      {"its sample folder refuses writes", "\\samples\\", "", false, false, "could not write the sample files"},
      {"its registry key is refused", "", "\\Samples\\Key", false, false, "could not write the sample registry key"},
      {"a scan of another process runs", "", "", true, false, "is running; the self-test did not start"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    App app;
    RefusingFiles files;
    files.below = c.filesRefused;
    RefusingRegistry registry;
    registry.below = c.keyRefused;
    BusyElsewhere lock;
    lock.busy = c.busy;
    win32::Win32Launcher launcher;
    PlatformParts parts = app.ownParts();
    parts.fs = &files;
    parts.registry = &registry;
    parts.instanceLock = &lock;
    parts.launcher = &launcher;
    Platform platform(parts);
    SelfTestScanner scanner(platform, app.thisProgram.branding());
    std::vector<std::string> lines;
    int failed = 0;
    scanner.onStep = [&](bool held, const std::string& text) {
      lines.push_back(text);
      failed += held ? 0 : 1;
    };
    const std::string waiter = appFolderOf(app.thisProgram.exePath()) + "\\quillon.exe";
    const bool ok = runSelfTest(SelfTestEnv{platform, app.product, waiter, "/selftest-wait"}, scanner);
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    EXPECT_EQ(ok, c.passes) << all;
    EXPECT_EQ(failed == 0, c.passes) << all;
    if (!c.passes) {
      EXPECT_NE(all.find(c.failureSays), std::string::npos) << all;
    }
    // Nothing of it is left: its folder, its key, its cookie, its running program.
    const std::string root = app.shell.specialFolder(0x1A) + "\\" + selfTestName(app.product);
    EXPECT_EQ(app.fs.attributes(root), kNoSuchPath);
    EXPECT_FALSE(app.registry.keyExists(kHkeyCurrentUser, selfTestRegistryKey(app.product), kKeyRead));
    EXPECT_TRUE(app.fs.listFiles(app.shell.specialFolder(kCookieFolderId) + "\\*quillon-selftest*").empty());
    if (c.passes) {
      EXPECT_NE(all.find("cleaned up"), std::string::npos) << all;
    }
  }
}

}  // namespace
}  // namespace quillon
