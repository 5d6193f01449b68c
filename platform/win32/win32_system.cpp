// Processes, System Restore, component entry points, the clipboard and the single-instance
// check on the Win32 API.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

// ---- Processes -----------------------------------------------------------------------------
OsVersion Win32Processes::osVersion() {
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExA(&v);
#pragma GCC diagnostic pop
  return OsVersion{v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion};
}

std::string Win32Processes::systemDirectory() {
  char buf[MAX_PATH] = {0};
  GetSystemDirectoryA(buf, MAX_PATH);
  return buf;
}

bool Win32Processes::enumerateIds(std::vector<uint32_t>& ids) {
  // Grow the buffer until the answer no longer fills it.
  for (DWORD bytes = 512;; bytes *= 2) {
    std::vector<DWORD> buf(bytes / sizeof(DWORD));
    DWORD needed = 0;
    if (!EnumProcesses(buf.data(), bytes, &needed)) return false;
    if (needed < bytes) {
      ids.assign(buf.begin(), buf.begin() + needed / sizeof(DWORD));
      return true;
    }
  }
}

std::string Win32Processes::baseName(uint32_t pid) {
  HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!h) return "";
  HMODULE mod = nullptr;
  DWORD needed = 0;
  char name[MAX_PATH] = {0};
  if (EnumProcessModules(h, &mod, sizeof mod, &needed)) GetModuleBaseNameA(h, mod, name, MAX_PATH);
  CloseHandle(h);
  return name;
}

bool Win32Processes::executablePath(uint32_t pid, std::string& path) {
  HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!h) return false;
  HMODULE mods[50];
  DWORD needed = 0;
  char name[260] = {0};
  bool ok = EnumProcessModules(h, mods, sizeof mods, &needed) && GetModuleFileNameExA(h, mods[0], name, 260) > 0;
  CloseHandle(h);
  if (ok) path = name;
  return ok;
}

std::vector<ProcessEntry> Win32Processes::snapshot() {
  std::vector<ProcessEntry> out;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return out;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe))
    out.push_back({std::string(pe.szExeFile, strnlen(pe.szExeFile, sizeof pe.szExeFile)), pe.th32ProcessID});
  CloseHandle(snap);
  return out;
}

bool Win32Processes::terminateById(uint32_t pid, uint32_t exitCode) {
  const bool nt = !(GetVersion() & 0x80000000u);
  HANDLE token = nullptr;
  TOKEN_PRIVILEGES tp{};
  if (nt) {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    tp.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &tp.Privileges[0].Luid)) {
      CloseHandle(token);
      return false;
    }
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr)) {
      CloseHandle(token);
      return false;
    }
  }
  bool result = false;
  if (HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid)) {
    result = TerminateProcess(h, exitCode) != 0;
    CloseHandle(h);
  }
  if (nt) {
    tp.Privileges[0].Attributes = 0;
    AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr);
    CloseHandle(token);
  }
  return result;
}

bool Win32Processes::waitForExit(uint32_t pid, uint32_t ms) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  // Only "no such process" means it has ended; a refused open says nothing about it.
  if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;
  DWORD r = WaitForSingleObject(h, ms);
  CloseHandle(h);
  return r == WAIT_OBJECT_0;
}

uint32_t Win32Processes::currentProcessId() { return GetCurrentProcessId(); }

// ---- System services -------------------------------------------------------------------------
namespace {
// The restore client's records, in its packed ANSI layout.
#pragma pack(push, 1)
struct RestorePointInfoA {
  DWORD eventType;
  DWORD pointType;
  INT64 sequence;
  CHAR description[64];
};
struct StateManagerStatus {
  DWORD status;
  INT64 sequence;
};
#pragma pack(pop)
using SetRestorePointA = BOOL(WINAPI*)(RestorePointInfoA*, StateManagerStatus*);
}  // namespace

Win32System::~Win32System() {
  if (instanceMutex_) CloseHandle(instanceMutex_);
}

bool Win32System::setRestorePoint(const RestorePointRequest& request, int64_t& sequenceOut) {
  HMODULE lib = LoadLibraryA("srclient.dll");
  if (!lib) return false;
  auto fn = reinterpret_cast<SetRestorePointA>(reinterpret_cast<void*>(GetProcAddress(lib, "SRSetRestorePointA")));
  bool ok = false;
  if (fn) {
    RestorePointInfoA info{};
    info.eventType = request.eventType;
    info.pointType = request.pointType;
    info.sequence = request.sequence;
    lstrcpynA(info.description, request.description.c_str(), sizeof info.description);
    StateManagerStatus status{};
    ok = fn(&info, &status) != 0;
    if (ok) sequenceOut = status.sequence;
  }
  FreeLibrary(lib);
  return ok;
}

bool Win32System::callExport(const std::string& libraryPath, const std::string& exportName) {
  HMODULE lib = LoadLibraryA(libraryPath.c_str());
  if (!lib) return false;
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto fn = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(lib, exportName.c_str())));
  if (fn) fn();
  FreeLibrary(lib);
  return fn != nullptr;
}

bool Win32System::setClipboardText(const std::string& text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  bool ok = true;
  if (!text.empty()) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    ok = mem != nullptr;
    if (ok) {
      memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
      GlobalUnlock(mem);
      ok = SetClipboardData(CF_TEXT, mem) != nullptr;
      if (!ok) GlobalFree(mem);
    }
  }
  CloseClipboard();
  return ok;
}

std::string Win32System::clipboardText() {
  if (!OpenClipboard(nullptr)) return "";
  std::string text;
  if (HANDLE h = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(h))) text = p;
    GlobalUnlock(h);
  }
  CloseClipboard();
  return text;
}

bool Win32System::anotherInstanceRunning(const std::string& name) {
  if (instanceAnswer_ < 0) {
    std::string mutexName = "Local\\" + name + ".SingleInstance";
    instanceMutex_ = CreateMutexA(nullptr, FALSE, mutexName.c_str());
    instanceAnswer_ = GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0;
  }
  return instanceAnswer_ == 1;
}

bool Win32System::openDocument(const std::string& path) {
  return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

}  // namespace quillon::win32
