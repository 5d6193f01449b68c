// Benchmark of the results lists at scale under Wine.
//
//   bench_results
//
// Two operations are timed over a headless main window, at 1,000 and at 64,000 items:
//   - adding distinct findings through the scan's own path (a work-list row, a trace and the
//     one-row-per-threat rule), as the file scan adds each finding;
//   - "Select All" followed by "Exclude", answered Yes.
// The figure is the cost per item at 64,000 divided by the cost per item at 1,000, both
// measured in the same run: a list that costs the same per item whatever it holds gives 1.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fakes.h"

using namespace quillon;

namespace {

struct Timing {
  double addMs = 1e300, excludeMs = 1e300;
};

// Threat names that do not arrive in sorted order and of which some begin with others
// ("Bench 12" and "Bench 123"), as real definitions do.
std::vector<std::string> threatNames(int n) {
  std::vector<std::string> names;
  names.reserve(size_t(n));
  unsigned x = 2463534242u;
  for (int i = 0; i < n; ++i) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    names.push_back((x & 1 ? "Bench " : "Adware.Bench ") + std::to_string(i) + (x & 2 ? "" : ".Variant"));
  }
  return names;
}

bool runOnce(const std::string& folder, int n, Timing& best) {
  DeleteFileA((folder + "\\" + kExclusionFile).c_str());
  win32::Win32Services services;
  test::FakePump pump;
  test::FakeDialogs dialogs;  // answers Yes
  PlatformParts parts = services.parts();
  parts.dialogs = &dialogs;
  parts.pump = &pump;
  Platform platform(parts);
  controls::HeadlessHost host;
  auto main = std::make_unique<ui::FrmMain>(platform, host, folder + "\\quillon.exe",
                                            Branding{"QuillonBench", "Bench", "quillon.example", 1, 0});
  ui::ResultsMirror::Lists lists{main->lvwSpywareFound, main->lvwPicRemoveListOfSpywareFoundAndToBeRemoved,
                    main->lvwFilesToBeDeleted, main->lvwRegistryToBeDeleted, main->lvwCookiesToDelete,
                    main->lbltracesFound};
  test::ScannerEnv scanner(platform, main->session);
  ScanEnv& env = scanner.env;

  const std::vector<std::string> names = threatNames(n);
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (int i = 0; i < n; ++i)
    paths.push_back("C:\\Program Files\\Bench" + std::to_string(i % 97) + "\\item" + std::to_string(i) + ".dll");

  double t0 = win32::Win32Pump::nowMs();
  for (int i = 0; i < n; ++i) {
    main->results.addFileWork(paths[size_t(i)], names[size_t(i)]);
    addThreatRows(env, names[size_t(i)], kIconFile, paths[size_t(i)], "Adware");
  }
  double t1 = win32::Win32Pump::nowMs();
  const bool added = lists.found.count() == n && lists.removal.count() == n;
  main->cmdSelectAll_Click();
  main->cmdExclude_Click();
  double t2 = win32::Win32Pump::nowMs();

  best.addMs = std::min(best.addMs, t1 - t0);
  best.excludeMs = std::min(best.excludeMs, t2 - t1);
  // The results page keeps its rows; the removal page and the work lists are emptied.
  const bool excluded = dialogs.shown.size() == 1 && lists.removal.count() == 0 && lists.files.count() == 0 &&
                        lists.found.count() == n && main->exclusions.isFileExcluded(paths.back()) &&
                        main->exclusions.isFileExcluded(names.front());
  return added && excluded;
}

std::string makeFolder() {
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  std::string f = std::string(tmp) + "quillon-bench-results" + std::to_string(GetCurrentProcessId());
  SHCreateDirectoryExA(nullptr, f.c_str(), nullptr);
  return f;
}

}  // namespace

int main() {
  const std::string folder = makeFolder();
  const int small = 1000, large = 64000;
  Timing s, l;
  bool ok = true;
  // Warm up, then keep the best of several rounds of each size, the sizes taking turns so that
  // both see the machine alike.
  ok &= runOnce(folder, small, s);
  s = Timing{};
  for (int round = 0; round < 9; ++round) {
    for (int i = 0; i < 8; ++i) ok &= runOnce(folder, small, s);
    ok &= runOnce(folder, large, l);
  }
  win32::Win32Registry().deleteTree(kHkeyCurrentUser, "Software\\QuillonBench");
  win32::Win32FileSystem().deleteFolderTree(folder);

  auto us = [](double ms, int n) { return ms * 1000.0 / n; };
  const double addRatio = us(l.addMs, large) / us(s.addMs, small);
  const double exclRatio = us(l.excludeMs, large) / us(s.excludeMs, small);
  std::printf("results lists at scale: cost per item at %d and at %d items (best of rounds)\n", small, large);
  std::printf("  %-26s %10s %10s %8s\n", "", "1,000", "64,000", "ratio");
  std::printf("  %-26s %8.2f us %8.2f us %8.3f  (limit 1.5)\n", "add distinct findings", us(s.addMs, small),
              us(l.addMs, large), addRatio);
  std::printf("  %-26s %8.2f us %8.2f us %8.3f  (limit 1.5)\n", "Select All + Exclude", us(s.excludeMs, small),
              us(l.excludeMs, large), exclRatio);
  std::printf("  totals: add %.1f ms / %.1f ms, exclude %.1f ms / %.1f ms\n", s.addMs, l.addMs, s.excludeMs,
              l.excludeMs);
  if (!ok) std::printf("  ERROR: the lists did not come out as expected\n");
  return ok && addRatio <= 1.5 && exclRatio <= 1.5 ? 0 : 1;
}
