// The memory shield's cost between scans: one shield tick (the inspection with its 100,000
// executable definitions already loaded, about 30 running programs, none of them listed)
// against a bare walk of the process list with its module lookups, measured in one run.
// Prints both figures, their ratio and the share of one core the tick takes every 10 s.
//
//   bench_memory_shield [lines]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_processes.h"
#include "definitions/cipher.h"
#include "platform/win32/win32_platform.h"
#include "ui/frm_main.h"

using namespace quillon;

namespace {

double now() { return win32::Win32Pump::nowMs(); }

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? atoi(argv[1]) : 100000;
  win32::Win32Services services;
  Platform platform = services.console();
  controls::HeadlessHost host;
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  const std::string folder = std::string(tmp) + "quillon-bench-shield" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* f : {"RegistryDefinition.dat", "FileDefinition.dat", "DirectoryDefinition.dat", "BlockedCookies.dat"})
    services.fs.write(folder + "\\" + f, "", false);
  std::string defs;
  for (int i = 0; i < lines; ++i)
    defs += encodeDefinitionLine("bench" + std::to_string(i) + ".exe=Bench.Threat|[progfil]Bench" +
                                 std::to_string(i % 300)) + "\r\n";
  services.fs.write(folder + "\\ExeDefinition.dat", defs, false);

  // Running programs to walk: copies of the waiting sample program, none of them listed.
  bench::Waiters waiters(20);

  int result = 0;
  {
    ui::FrmMain m(platform, host, folder + "\\quillon.exe", Branding{"QuillonBench", "Bench", "quillon.example", 1, 0});
    m.Form_Load();
    int alerts = 0;
    host.onModal = [&](controls::Form& f) {
      ++alerts;
      f.setVisible(false);
    };
    double t0 = now();
    m.tmrMemoryInspected.tick();  // the first tick reads the definitions
    const double first = now() - t0;

    const int reps = 50;
    double bestBare = 1e300, bestTick = 1e300;
    int processes = 0;
    for (int round = 0; round < 5; ++round) {
      double a = now();
      for (int r = 0; r < reps; ++r) processes = bench::bareProcessWalk();
      bestBare = std::min(bestBare, now() - a);
      double c = now();
      for (int r = 0; r < reps; ++r) m.tmrMemoryInspected.tick();
      bestTick = std::min(bestTick, now() - c);
    }
    const double tick = bestTick / reps, walk = bestBare / reps;
    const double ratio = bestTick / bestBare;
    const double share = tick / 10000.0 * 100.0;
    std::printf("memory shield: %d executable definitions, %d processes with an executable, %d alerts\n", lines,
                processes, alerts);
    std::printf("  first tick (reads the definitions):   %.0f ms\n", first);
    std::printf("  shield tick, list loaded:             %.2f ms\n", tick);
    std::printf("  bare process walk with module paths:  %.2f ms\n", walk);
    std::printf("  ratio tick/walk: %.3f (limit 1.2)\n", ratio);
    std::printf("  share of one core at one tick per 10 s: %.4f%% (limit 1%%)\n", share);
    result = ratio <= 1.2 && share < 1.0 && alerts == 0 ? 0 : 1;
  }
  services.registry.deleteTree(kHkeyCurrentUser, "Software\\QuillonBench");
  services.fs.deleteFolderTree(folder);
  return result;
}
