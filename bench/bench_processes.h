// What the memory benchmarks share: running programs to walk, and the floor they are measured
// against.
#pragma once
#include <windows.h>
#include <psapi.h>

#include <string>
#include <vector>

namespace quillon::bench {

// Starts `n` copies of the waiting sample program from the benchmark's own folder; ends them
// when it goes.
class Waiters {
 public:
  explicit Waiters(int n) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string bin = exe;
    bin = bin.substr(0, bin.rfind('\\'));
    for (int i = 0; i < n; ++i) {
      STARTUPINFOA si{};
      si.cb = sizeof si;
      PROCESS_INFORMATION pi{};
      std::string cmd = "\"" + bin + "\\quillon-sample-waiter.exe\"";
      if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        started_.push_back(pi.hProcess);
      }
    }
    Sleep(500);
  }
  ~Waiters() {
    for (HANDLE h : started_) {
      TerminateProcess(h, 0);
      CloseHandle(h);
    }
  }
  Waiters(const Waiters&) = delete;

 private:
  std::vector<HANDLE> started_;
};

// A bare walk of the process list with the module lookup of each process: the least a memory
// inspection can cost. Returns how many processes gave their executable's path.
inline int bareProcessWalk() {
  DWORD ids[4096], needed = 0;
  EnumProcesses(ids, sizeof ids, &needed);
  int named = 0;
  for (DWORD i = 0; i < needed / sizeof(DWORD); ++i) {
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
    if (!h) continue;
    HMODULE mods[50];
    DWORD got = 0;
    char name[260];
    if (EnumProcessModules(h, mods, sizeof mods, &got) && GetModuleFileNameExA(h, mods[0], name, 260)) ++named;
    CloseHandle(h);
  }
  return named;
}

}  // namespace quillon::bench
