// Running processes, System Restore, component entry points, the clipboard, the
// single-instance check, drives and the open-file dialog on the Win32 API.
#include <windows.h>
#include <commdlg.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>

#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

// ---- Running processes -----------------------------------------------------------------------------
OsVersion Win32RunningProcesses::osVersion() {
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExA(&v);
#pragma GCC diagnostic pop
  return OsVersion{v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion};
}

std::string Win32RunningProcesses::systemDirectory() {
  char buf[MAX_PATH] = {0};
  GetSystemDirectoryA(buf, MAX_PATH);
  return buf;
}

bool Win32RunningProcesses::enumerateIds(std::vector<uint32_t>& ids) {
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

std::string Win32RunningProcesses::baseName(uint32_t pid) {
  Handle h(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!h) return "";
  HMODULE mod = nullptr;
  DWORD needed = 0;
  char name[MAX_PATH] = {0};
  if (EnumProcessModules(h, &mod, sizeof mod, &needed)) GetModuleBaseNameA(h, mod, name, MAX_PATH);
  return name;
}

bool Win32RunningProcesses::executablePath(uint32_t pid, std::string& path) {
  Handle h(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!h) return false;
  HMODULE mods[50];
  DWORD needed = 0;
  char name[260] = {0};
  bool ok = EnumProcessModules(h, mods, sizeof mods, &needed) && GetModuleFileNameExA(h, mods[0], name, 260) > 0;
  if (ok) path = name;
  return ok;
}

std::vector<ProcessEntry> Win32RunningProcesses::snapshot() {
  std::vector<ProcessEntry> out;
  Handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return out;
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe))
    out.push_back({std::string(pe.szExeFile, strnlen(pe.szExeFile, sizeof pe.szExeFile)), pe.th32ProcessID});
  return out;
}

bool Win32RunningProcesses::startTime(uint32_t pid, uint64_t& time) {
  Handle h(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!h) return false;
  FILETIME created, exited, kernel, user;
  const bool ok = GetProcessTimes(h, &created, &exited, &kernel, &user) != 0;
  if (ok) time = (uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return ok;
}

bool Win32RunningProcesses::terminateById(uint32_t pid, uint32_t exitCode) {
  const bool nt = !(GetVersion() & 0x80000000u);
  Handle token;
  TOKEN_PRIVILEGES tp{};
  if (nt) {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.out())) return false;
    tp.PrivilegeCount = 1;
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &tp.Privileges[0].Luid)) return false;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr)) return false;
  }
  bool result = false;
  if (Handle h{OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid)}) result = TerminateProcess(h, exitCode) != 0;
  if (nt) {
    tp.Privileges[0].Attributes = 0;
    AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr);
  }
  return result;
}

bool Win32RunningProcesses::waitForExit(uint32_t pid, uint32_t ms) {
  Handle h(OpenProcess(SYNCHRONIZE, FALSE, pid));
  // Only "no such process" means it has ended; a refused open says nothing about it.
  if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;
  return WaitForSingleObject(h, ms) == WAIT_OBJECT_0;
}

namespace {
struct CloseAsk {
  DWORD pid;
  UINT message;
  bool asked = false;
};

BOOL CALLBACK askWindowToClose(HWND h, LPARAM p) {
  auto& a = *reinterpret_cast<CloseAsk*>(p);
  DWORD owner = 0;
  GetWindowThreadProcessId(h, &owner);
  if (owner == a.pid && PostMessageA(h, a.message, 0, 0)) a.asked = true;
  return TRUE;
}
}  // namespace

// Every top-level window of the process gets the request, hidden ones too (the main window may
// be in the tray, or not made yet behind the splash); whichever it handles first ends it.
bool Win32RunningProcesses::askToClose(uint32_t pid) {
  CloseAsk ask{pid, RegisterWindowMessageA(kCloseRequestMessage)};
  if (ask.message) EnumWindows(askWindowToClose, reinterpret_cast<LPARAM>(&ask));
  return ask.asked;
}

uint32_t Win32RunningProcesses::currentProcessId() { return GetCurrentProcessId(); }

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

bool Win32SystemRestore::setRestorePoint(const RestorePointRequest& request, int64_t& sequenceOut) {
  Library lib(LoadLibraryA("srclient.dll"));
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
  return ok;
}

bool Win32LibraryExports::callExport(const std::string& libraryPath, const std::string& exportName) {
  Library lib(LoadLibraryA(libraryPath.c_str()));
  if (!lib) return false;
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto fn = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(lib, exportName.c_str())));
  if (fn) fn();
  return fn != nullptr;
}

bool Win32Clipboard::setText(const std::string& text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  bool ok = true;
  if (!text.empty()) {
    GlobalMemory mem(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
    ok = mem.ok();
    if (ok) {
      memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
      GlobalUnlock(mem);
      ok = SetClipboardData(CF_TEXT, mem) != nullptr;
      if (ok) mem.release();  // the clipboard's now
    }
  }
  CloseClipboard();
  return ok;
}

std::string Win32Clipboard::text() {
  if (!OpenClipboard(nullptr)) return "";
  std::string text;
  if (HANDLE h = GetClipboardData(CF_TEXT)) {
    if (const char* p = static_cast<const char*>(GlobalLock(h))) text = p;
    GlobalUnlock(h);
  }
  CloseClipboard();
  return text;
}

struct Win32InstanceLock::Mutexes {
  Handle instance, busy;
};

Win32InstanceLock::Win32InstanceLock() : held_(std::make_unique<Mutexes>()) {}
Win32InstanceLock::~Win32InstanceLock() = default;

bool Win32InstanceLock::anotherInstanceRunning(const std::string& name) {
  if (answer_ < 0) {
    std::string mutexName = "Local\\" + name + ".SingleInstance";
    held_->instance.reset(CreateMutexA(nullptr, FALSE, mutexName.c_str()));
    answer_ = GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0;
  }
  return answer_ == 1;
}

// The busy mark is a named mutex: the system drops it with the process that held it, so a run
// that crashed never leaves the program marked busy.
void Win32InstanceLock::markBusy(const std::string& name, bool busy) {
  if (busy) {
    if (busyDepth_++ > 0) return;
    const std::string mutexName = "Local\\" + name + ".Busy";
    Handle& mark = held_->busy;
    mark.reset(CreateMutexA(nullptr, FALSE, mutexName.c_str()));
    if (mark && WaitForSingleObject(mark, 0) == WAIT_TIMEOUT)
      mark.close();  // another process holds it: that one's mark stands for both
  } else if (busyDepth_ > 0 && --busyDepth_ == 0 && held_->busy) {
    ReleaseMutex(held_->busy);
    held_->busy.close();
  }
}

bool Win32InstanceLock::busyElsewhere(const std::string& name) {
  const std::string mutexName = "Local\\" + name + ".Busy";
  Handle h(OpenMutexA(SYNCHRONIZE, FALSE, mutexName.c_str()));
  if (!h) return false;
  const DWORD w = WaitForSingleObject(h, 0);
  if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED) ReleaseMutex(h);
  return w == WAIT_TIMEOUT;
}

void* protectionExport(const char* name) {
  // Windows Resource Protection answers through sfc_os.dll; a system without it protects
  // nothing this way, and the library stays loaded for the program's life once found.
  static const HMODULE library = LoadLibraryA("sfc_os.dll");
  return library ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
}

// ---- Drives --------------------------------------------------------------------------------
std::vector<Drive> Win32Drives::list() {
  std::vector<Drive> drives;
  std::string roots(4 * 26 + 2, '\0');
  DWORD n = GetLogicalDriveStringsA(DWORD(roots.size()), roots.data());
  if (n == 0 || n > roots.size()) return drives;
  // "A:\<NUL>C:\<NUL>...<NUL>": one root after another.
  for (size_t at = 0; at < n && roots[at];) {
    const std::string root = roots.c_str() + at;
    at += root.size() + 1;
    Drive d;
    d.letter = root[0] >= 'a' && root[0] <= 'z' ? char(root[0] - 'a' + 'A') : root[0];
    switch (GetDriveTypeA(root.c_str())) {
      case DRIVE_REMOVABLE: d.type = DriveType::Removable; break;
      case DRIVE_FIXED: d.type = DriveType::Fixed; break;
      case DRIVE_REMOTE: d.type = DriveType::Network; break;
      case DRIVE_CDROM: d.type = DriveType::CdRom; break;
      case DRIVE_RAMDISK: d.type = DriveType::RamDisk; break;
      default: d.type = DriveType::Unknown; break;
    }
    drives.push_back(d);
  }
  markMapped(drives);
  return drives;
}

namespace {
// Under Wine, the Unix folder a drive's root lies in, ending in "/" (kernel32's own export for
// this); "" elsewhere and for a drive Wine cannot place.
std::string unixFolderOf(char letter) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  static const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  const wchar_t root[] = {wchar_t(letter), L':', L'\\', L'\0'};
  char* name = unixName ? unixName(root) : nullptr;
  if (!name) return "";
  std::string folder = name;
  HeapFree(GetProcessHeap(), 0, name);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}
}  // namespace

// What a drive is was found by trying each kind under Wine 8: the host's root drive Z: reports
// a fixed disk ("\Device\HarddiskVolume2" to QueryDosDevice, its own volume serial), so
// neither its type nor its device tells it apart; its Unix folder does ("/"). A substituted
// drive's device is the folder it stands for ("\??\C:\folder"). A second letter for a drive's
// root has that root's identity.
void Win32Drives::markMapped(std::vector<Drive>& drives) {
  // The prefix is the folder holding "dosdevices", where Wine keeps the drives' links: a drive
  // whose Unix folder holds it holds the prefix's own drives, and the host's files besides.
  std::string prefix;
  std::vector<std::string> folders;
  for (const Drive& d : drives) {
    folders.push_back(unixFolderOf(d.letter));
    const size_t at = folders.back().rfind("/dosdevices/");
    if (prefix.empty() && at != std::string::npos) prefix = folders.back().substr(0, at + 1);
  }
  std::vector<FileIdentity> roots;
  Win32FileSystem fs;
  for (size_t i = 0; i < drives.size(); ++i) {
    Drive& d = drives[i];
    wchar_t device[MAX_PATH] = {0};
    const wchar_t name[] = {wchar_t(d.letter), L':', L'\0'};
    const bool substituted = QueryDosDeviceW(name, device, MAX_PATH) && wcsncmp(device, L"\\??\\", 4) == 0;
    const std::string& folder = folders[i];
    const bool holdsPrefix =
        folder == "/" || (!folder.empty() && !prefix.empty() && prefix.compare(0, folder.size(), folder) == 0);
    bool secondName = false;
    if (d.type == DriveType::Fixed || d.type == DriveType::RamDisk) {
      PathFacts root;
      if (fs.examine(std::string(1, d.letter) + ":\\", root) && root.identity.known) {
        secondName = std::find(roots.begin(), roots.end(), root.identity) != roots.end();
        roots.push_back(root.identity);
      }
    }
    d.mapped = substituted || holdsPrefix || secondName;
  }
}

bool Win32Drives::ready(char letter) {
  const char root[] = {letter, ':', '\\', '\0'};
  // An empty drive would otherwise ask the user to insert a disk.
  const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  DWORD serial = 0, maxName = 0, flags = 0;
  const bool ok = GetVolumeInformationA(root, nullptr, 0, &serial, &maxName, &flags, nullptr, 0) != 0;
  SetErrorMode(old);
  return ok;
}

// ---- Open-file dialog ------------------------------------------------------------------------
bool Win32FileDialog::chooseFile(const std::string& title, std::string& path) {
  std::string buf(32768, '\0');  // room for a long path
  static const char filter[] = "All Files (*.*)\0*.*\0";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = static_cast<HWND>(owner_);
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = buf.data();
  ofn.nMaxFile = DWORD(buf.size());
  ofn.lpstrTitle = title.c_str();
  // The program's data files are found by the executable's folder, but a dialog that changes
  // the current folder would still surprise anything that opens a relative path.
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
  if (!GetOpenFileNameA(&ofn)) return false;
  path = buf.c_str();
  return true;
}

std::string ansiToUtf8(const std::string& ansi) {
  if (ansi.empty()) return ansi;
  const int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
  std::wstring w(size_t(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), w.data(), wide);
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

std::string ansiOf(const std::wstring& text) {
  if (text.empty()) return "";
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), nullptr, 0, "?", &lost);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), out.data(), n, "?", &lost);
  return out;
}

std::vector<std::string> commandLineWords() {
  std::vector<std::string> words;
  int n = 0;
  LocalMemory<LPWSTR*> argv(CommandLineToArgvW(GetCommandLineW(), &n));
  if (!argv) return words;
  for (int i = 1; i < n; ++i) words.push_back(ansiOf(argv.get()[i]));
  return words;
}

}  // namespace quillon::win32
