// Benchmarks of the registry scan and the memory scan under Wine.
//
//   bench_registry_memory registry [lines]   the registry phase against the bare
//                                            RegOpenKeyEx/RegQueryValueEx probes of its items
//   bench_registry_memory vendors [lines]    the same where lines share absent vendor keys
//   bench_registry_memory present [lines]    the same where every key exists
//   ... probed                               with every line probed on its own (the old way)
//   bench_registry_memory memory [lines]     a memory scan whose definitions are already
//                                            loaded against a bare walk of the process list
//                                            with its module lookups
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_processes.h"
#include "definitions/cipher.h"
#include "platform/win32/win32_platform.h"
#include "scan/folder_memory.h"
#include "ui/frm_main.h"

using namespace quillon;

namespace {

double now() { return win32::Win32Pump::nowMs(); }

struct Bench {
  std::string folder;
  win32::Win32Services services;
  Platform platform = services.console();
  controls::HeadlessHost host;
  std::unique_ptr<ui::FrmMain> main;
  Bench() {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    folder = std::string(tmp) + "quillon-bench-rm" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* f : {"RegistryDefinition.dat", "FileDefinition.dat", "DirectoryDefinition.dat", "ExeDefinition.dat",
                          "BlockedCookies.dat"})
      services.fs.write(folder + "\\" + f, "", false);
  }
  ~Bench() {
    main.reset();
    services.registry.deleteTree(kHkeyCurrentUser, "Software\\QuillonBench");
    services.fs.deleteFolderTree(folder);
  }
  void write(const char* file, const std::vector<std::string>& lines) {
    std::string data;
    for (const std::string& l : lines) data += encodeDefinitionLine(l) + "\r\n";
    services.fs.write(folder + "\\" + file, data, false);
  }
  ui::FrmMain& load() {
    main = std::make_unique<ui::FrmMain>(platform, host, folder + "\\quillon.exe",
                                         Branding{"QuillonBench", "Bench", "quillon.example", 1, 0});
    main->Form_Load();
    main->tabScanOptions.chkMakeLog.setValue(0);
    main->tabScanOptions.chkScanCookies.setValue(0);
    return *main;
  }
};

enum class Keys { Mixed, SharedAbsentVendors, AllPresent };

int registry(int lines, Keys shape) {
  Bench b;
  const std::string base = "Software\\QuillonBenchKeys";
  win32::Win32Registry& reg = b.services.registry;
  reg.deleteTree(kHkeyCurrentUser, base);
  struct Item { std::string key, value; };
  std::vector<Item> items;
  std::vector<std::string> defs;
  const uint32_t types[] = {kRegSz, kRegExpandSz, kRegDword, kRegBinary, kRegMultiSz};
  for (int i = 0; i < lines; ++i) {
    Item it;
    if (shape == Keys::SharedAbsentVendors) {
      // 200 vendors nobody installed, each with products and their settings keys.
      it.key = base + "\\Vendor" + std::to_string(i % 200) + "\\Product" + std::to_string(i % 7) + "\\Settings";
      if (i % 3) it.value = "Value" + std::to_string(i % 5);
    } else if (shape == Keys::AllPresent) {
      // Every key there, 20 lines to a key, half of the values too.
      it.key = base + "\\K" + std::to_string(i / 20);
      if (i % 20) it.value = "V" + std::to_string(i % 20);
      if (i % 2 == 0) reg.setValue(kHkeyCurrentUser, it.key, it.value, RegValue{kRegSz, std::string("data\0\0", 6)});
      else if (!it.value.empty()) reg.setValue(kHkeyCurrentUser, it.key, "Other", RegValue{kRegSz, std::string("x\0", 2)});
    } else if (i % 50 == 0) {  // present: keys and values of every type
      it.key = base + "\\K" + std::to_string(i % 1000);
      if (i % 100 == 0) it.value = "V" + std::to_string(i);
      uint32_t t = types[(i / 50) % 5];
      std::string data = t == kRegDword ? std::string("\1\0\0\0", 4) : std::string("data\0\0", 6);
      reg.setValue(kHkeyCurrentUser, it.key, it.value, RegValue{t, data});
    } else {
      it.key = base + "\\Absent" + std::to_string(i);
      if (i % 3 == 0) it.value = "Value";
    }
    items.push_back(it);
    defs.push_back("1^" + it.key + "^" + it.value + "=Bench.Threat" + std::to_string(i % 40) + "|Adware");
  }
  b.write("RegistryDefinition.dat", defs);
  ui::FrmMain& m = b.load();
  m.tabScanOptions.chkScanMemory.setValue(0);

  auto bare = [&] {
    double t0 = now();
    int found = 0;
    for (const Item& it : items) {
      HKEY k;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, it.key.c_str(), 0, 0x3F, &k) != ERROR_SUCCESS) continue;
      if (it.value.empty()) {
        ++found;
      } else {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(k, it.value.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
          std::string data(size, '\0');
          if (RegQueryValueExA(k, it.value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
                  ERROR_SUCCESS &&
              (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD))
            ++found;
        }
      }
      RegCloseKey(k);
    }
    return std::make_pair(now() - t0, found);
  };
  bare();
  double bestBare = 1e300, bestScan = 1e300;
  int found = 0;
  for (int round = 0; round < 3; ++round) {
    auto [ms, f] = bare();
    bestBare = std::min(bestBare, ms);
    found = f;
    double t0 = now();
    m.pageScan.cmdScanNow_Click();
    bestScan = std::min(bestScan, now() - t0);
  }
  const char* names[] = {"mixed keys", "lines sharing absent vendor keys", "every key present"};
  std::printf("registry scan, %s, %s: %d definition lines, %d present (%d work rows)\n", names[int(shape)],
              remembersFoldersAndKeys() ? "keys remembered" : "every line probed", lines, found,
              m.lvwRegistryToBeDeleted.count());
  std::printf("  bare RegOpenKeyEx/RegQueryValueEx probes: %.0f ms\n", bestBare);
  std::printf("  scan (whole run, registry phase on):     %.0f ms\n", bestScan);
  std::printf("  ratio scan/probes: %.3f (limit %s)\n", bestScan / bestBare,
              shape == Keys::SharedAbsentVendors ? "0.5" : shape == Keys::AllPresent ? "1.1" : "1.3");
  reg.deleteTree(kHkeyCurrentUser, base);
  return 0;
}

int memory(int lines) {
  Bench b;
  // Running programs to walk: copies of the waiting sample program.
  bench::Waiters waiters(20);
  std::vector<std::string> defs;
  for (int i = 0; i < lines; ++i)
    defs.push_back("bench" + std::to_string(i) + ".exe=Bench.Threat|[progfil]Bench" + std::to_string(i % 300));
  b.write("ExeDefinition.dat", defs);
  ui::FrmMain& m = b.load();

  double t0 = now();
  m.cmdScan.setEnabled(false);  // as during a scan run
  m.CheckMemory();              // the first call reads the definitions
  double first = now() - t0;

  auto bareWalk = bench::bareProcessWalk;
  const int reps = 50;
  double bestBare = 1e300, bestScan = 1e300;
  int processes = 0;
  for (int round = 0; round < 3; ++round) {
    double a = now();
    for (int r = 0; r < reps; ++r) processes = bareWalk();
    bestBare = std::min(bestBare, now() - a);
    double c = now();
    for (int r = 0; r < reps; ++r) m.CheckMemory();
    bestScan = std::min(bestScan, now() - c);
  }
  std::printf("memory scan: %d definition lines, %d processes with an executable\n", lines, processes);
  std::printf("  first call (reads the definitions):  %.0f ms\n", first);
  std::printf("  later calls, list reused:            %.2f ms each\n", bestScan / reps);
  std::printf("  bare process walk with module paths: %.2f ms each\n", bestBare / reps);
  std::printf("  ratio scan/walk: %.3f (limit 1.2)\n", bestScan / bestBare);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[argc - 1]) == "probed") {
    rememberFoldersAndKeys(false);
    --argc;
  }
  std::string mode = argc > 1 ? argv[1] : "";
  int lines = argc > 2 ? atoi(argv[2]) : 0;
  if (mode == "registry") return registry(lines ? lines : 50000, Keys::Mixed);
  if (mode == "vendors") return registry(lines ? lines : 50000, Keys::SharedAbsentVendors);
  if (mode == "present") return registry(lines ? lines : 50000, Keys::AllPresent);
  if (mode == "memory") return memory(lines ? lines : 100000);
  std::fprintf(stderr, "usage: bench_registry_memory registry|memory [lines]\n");
  return 64;
}
