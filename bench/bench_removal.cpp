// Benchmarks of the removal and of the cookie scan under Wine.
//
//   bench_removal [files] [rounds | cookies]   ("cookies": the cookie scan only)
//
// Removal: 10,000 checked files (1 KiB each) are removed through the removal's two passes, with
// their quarantine copies, index lines and log entries, against a bare copy-then-delete of the
// same number of files (CopyFileW, DeleteFileW), with the share of the removal's time each kind
// of step took (the run's file-system calls and hashing timed as they pass; "own work" is the
// rest). Each round times both, one right after the other, and the figure is the median of the
// rounds' ratios (9 rounds unless told): the floor swings with the machine's load by a factor of
// three or more between rounds, far less within one. Cookie scan: 10,000 cookie files against
// 10,000 blocked entries, against reading each of those files once. Both figures are ratios
// measured in the same run.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/timed_platform.h"
#include "definitions/cipher.h"
#include "definitions/folder_tokens.h"
#include "platform/win32/win32_platform.h"
#include "removal/removal.h"
#include "scan/cookie_scan.h"
#include "tests/support/fakes.h"
#include "ui/frm_main.h"

using namespace quillon;

namespace {

double nowMs() { return win32::Win32Pump::nowMs(); }

// A headless main window over the real platform, with a pump that never waits; its file system
// and hashing are timed by kind of step into `steps`.
struct BenchWindow {
  Platform quiet() {
    PlatformParts parts = services.console().parts();
    parts.pump = &pump;
    parts.fs = &timedFs;
    parts.signatures = &timedSignatures;
    return Platform(parts);
  }
  explicit BenchWindow(const std::string& app)
      : platform(quiet()),
        main(platform, host, app + "\\quillon.exe", Branding{"QuillonBench", "Bench", "quillon.example", 1, 0}) {}
  win32::Win32Services services;
  test::FakePump pump;
  bench::StepTimes steps;
  bench::TimedFileSystem timedFs{services.fs, steps};
  bench::TimedSignatures timedSignatures{services.signatures, steps};
  Platform platform;
  controls::HeadlessHost host;
  ui::FrmMain main;
};

std::string makeFolder(const std::string& f) {
  SHCreateDirectoryExA(nullptr, f.c_str(), nullptr);
  return f;
}

void plant(const std::string& folder, int n) {
  makeFolder(folder);
  const std::string body(1024, 'x');
  for (int i = 0; i < n; ++i) {
    HANDLE h = CreateFileA((folder + "\\f" + std::to_string(i) + ".dat").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    DWORD put;
    WriteFile(h, body.data(), DWORD(body.size()), &put, nullptr);
    CloseHandle(h);
  }
}

// The bench's own paths are plain ASCII.
std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

double bareCopyDelete(const std::string& from, const std::string& to, int n) {
  makeFolder(to);
  double t0 = nowMs();
  for (int i = 0; i < n; ++i) {
    const std::wstring name = L"\\f" + std::to_wstring(i) + L".dat";
    CopyFileW((wide(from) + name).c_str(), (wide(to) + name).c_str(), TRUE);
    DeleteFileW((wide(from) + name).c_str());
  }
  return nowMs() - t0;
}

double removal(const std::string& app, const std::string& from, int n, bool& ok, bench::StepTimes& steps) {
  BenchWindow w(app);
  Platform& platform = w.platform;
  ui::FrmMain& main = w.main;
  for (int i = 0; i < n; ++i) {
    const std::string path = from + "\\f" + std::to_string(i) + ".dat", threat = "Bench " + std::to_string(i);
    main.results.addFileWork(path, threat);
    main.results.addThreat(threat, kIconFile, path, "");
  }
  main.results.checkAll();
  test::QuietRemovalHost quiet;
  Quarantine q(platform, app);
  ProtectedLocations guarded(platform, app);
  OwnPrograms own;
  w.steps = bench::StepTimes{};
  double t0 = nowMs();
  ok = ok && q.lock(nullptr) == StoreLockResult::Taken;  // as the removal run takes it
  RemovalOutcome out = Removal(RemovalEnv{platform, main.results, q, guarded, own, quiet}).run();
  double ms = nowMs() - t0;
  steps = w.steps;
  ok = ok && int(out.removed.size()) == n && out.failed.empty() && int(q.entries().size()) == n;
  return ms;
}

double readOnce(const std::string& folder, int n) {
  double t0 = nowMs();
  char buf[4096];
  for (int i = 0; i < n; ++i) {
    HANDLE h = CreateFileA((folder + "\\user@site" + std::to_string(i) + "[1].txt").c_str(), GENERIC_READ,
                           FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD got;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) {
    }
    CloseHandle(h);
  }
  return nowMs() - t0;
}

double cookieScan(const std::string& app, const std::string& folder, int n, int& found) {
  BenchWindow w(app);
  Platform& platform = w.platform;
  ui::FrmMain& main = w.main;
  test::ScannerEnv scanner(platform, main.session);
  double t0 = nowMs();
  scanCookieFolder(scanner.env, folder);
  double ms = nowMs() - t0;
  found = main.counters.threatsFound;
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::max(100, std::atoi(argv[1])) : 10000;
  const bool cookiesOnly = argc > 2 && std::string(argv[2]) == "cookies";
  const int roundsWanted = argc > 2 && !cookiesOnly ? std::max(1, std::atoi(argv[2])) : 9;
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  const std::string root = std::string(tmp) + "quillon-bench-removal-" + std::to_string(GetCurrentProcessId());
  const std::string app = makeFolder(root + "\\app");
  win32::Win32FileSystem fs;
  bool ok = true;

  // Removal against the bare floor, round by round; the two take turns in going first, so that
  // neither always meets a cooler cache.
  struct Round {
    double bare = 0, ours = 0;
    bench::StepTimes steps;
    double ratio() const { return ours / bare; }
  };
  std::vector<Round> rounds(cookiesOnly ? 0 : size_t(roundsWanted));
  for (size_t round = 0; round < rounds.size(); ++round) {
    Round& r = rounds[round];
    for (int which = 0; which < 2; ++which) {
      if ((which + round) % 2 == 0) {
        plant(root + "\\bare", n);
        r.bare = bareCopyDelete(root + "\\bare", root + "\\bareq" + std::to_string(round), n);
      } else {
        plant(root + "\\threat", n);
        r.ours = removal(makeFolder(app + std::to_string(round)), root + "\\threat", n, ok, r.steps);
      }
    }
  }
  std::sort(rounds.begin(), rounds.end(), [](const Round& a, const Round& b) { return a.ratio() < b.ratio(); });
  const Round median = rounds.empty() ? Round{1, 1, {}} : rounds[rounds.size() / 2];

  // The cookie scan against one read of every cookie file.
  const std::string cookies = makeFolder(root + "\\cookies");
  std::string defs;
  for (int i = 0; i < n; ++i) {
    const std::string name = "user@site" + std::to_string(i) + "[1].txt";
    const std::string body = "id\n" + std::to_string(i) + "\nads.site" + std::to_string(i) + ".example/\n1536\n";
    fs.write(cookies + "\\" + name, body, false);
    defs += encodeDefinitionLine("site" + std::to_string(i * 2) + ".example") + "\r\n";
  }
  makeFolder(app + "c");
  fs.write(app + "c\\" + kCookieDefs, defs, false);
  double floor = 1e300, scan = 1e300;
  int found = 0;
  for (int round = 0; round < 3; ++round) {
    floor = std::min(floor, readOnce(cookies, n));
    scan = std::min(scan, cookieScan(app + "c", cookies, n, found));
  }
  ok = ok && found == (n + 1) / 2;

  if (!cookiesOnly) {
    const double ours = median.ours;
    std::printf("removal of %d checked files (1 KiB each), the round of the median ratio of %zu\n", n, rounds.size());
    std::printf("  ratios of the rounds     ");
    for (const Round& r : rounds) std::printf(" %.3f", r.ratio());
    std::printf("\n  bare copy then delete     %9.1f ms\n", median.bare);
    std::printf("  removal, both passes      %9.1f ms   ratio %.3f  (limit 1.3)\n", ours, median.ratio());
    const bench::StepTimes& steps = median.steps;
    double counted = 0;
    for (int s = 0; s < bench::kSteps; ++s) {
      counted += steps.ms[s];
      std::printf("    %-42s %8.1f ms  %5.1f%%  %7ld calls\n", bench::StepTimes::name(s), steps.ms[s],
                  100 * steps.ms[s] / ours, steps.calls[s]);
    }
    std::printf("    %-42s %8.1f ms  %5.1f%%\n", "own work (progress, lists, yields)", ours - counted,
                100 * (ours - counted) / ours);
  }
  std::printf("cookie scan of %d files against %d blocked entries, best of 3\n", n, n);
  std::printf("  read every file once      %9.1f ms\n", floor);
  std::printf("  cookie scan               %9.1f ms   ratio %.3f  (limit 1.3)\n", scan, scan / floor);
  if (!ok) std::printf("  ERROR: the removal or the scan did not come out as expected\n");
  fs.deleteFolderTree(root);
  return ok && (cookiesOnly || median.ratio() <= 1.3) && scan / floor <= 1.3 ? 0 : 1;
}
