#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/datetime.h"
#include "common/text.h"
#include "platform/win32/handles.h"

namespace quillon::win32 {

// ---- Shell -------------------------------------------------------------------------------
std::string Win32Shell::specialFolder(int csidl) {
  char buf[MAX_PATH + 1] = {0};
  if (!SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE)) return "";
  return buf;
}

std::string Win32Shell::programsFolderFromIdList() {
  CoTaskMemory<LPITEMIDLIST> pidl;
  if (SHGetSpecialFolderLocation(GetDesktopWindow(), CSIDL_PROGRAMS, pidl.out()) != S_OK || !pidl) return "";
  char buf[1024] = {0};
  return SHGetPathFromIDListA(pidl, buf) ? std::string(buf) : std::string();
}

std::vector<std::string> Win32Shell::knownFolders() {
  std::vector<std::string> paths;
  ComApartment com;
  Com<IKnownFolderManager> manager;
  CoTaskMemory<KNOWNFOLDERID*> ids;
  UINT count = 0;
  if (FAILED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(manager.out()))) ||
      FAILED(manager->GetFolderIds(ids.out(), &count)))
    return paths;
  for (UINT i = 0; i < count; ++i) {
    Com<IKnownFolder> folder;
    if (FAILED(manager->GetFolder(ids.get()[i], folder.out())) || !folder) continue;
    // Virtual folders (the printers, the network) have no path; nothing is made for asking.
    CoTaskMemory<PWSTR> path;
    if (SUCCEEDED(folder->GetPath(KF_FLAG_DONT_VERIFY, path.out())) && path && *path.get()) {
      const std::string text = ansiOf(path.get());
      // A character the code page lacks leaves "?", which names no folder.
      if (text.find('?') == std::string::npos) paths.push_back(text);
    }
  }
  return paths;
}

std::string Win32Shell::tempFolder() {
  wchar_t buf[MAX_PATH + 2] = {0};
  const DWORD n = GetTempPathW(MAX_PATH + 2, buf);
  if (n == 0 || n > MAX_PATH + 1) return "";
  std::string text = ansiOf(std::wstring(buf, n));
  while (text.size() > 3 && text.back() == '\\') text.pop_back();
  return text.find('?') == std::string::npos ? text : std::string();
}

bool Win32Launcher::openDocument(const std::string& path) {
  return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

bool Win32Launcher::launch(const std::string& commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  std::string cmd = commandLine;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  Handle thread(pi.hThread), process(pi.hProcess);  // nothing waits for the program
  return true;
}

// ---- Version information -------------------------------------------------------------
std::string versionString(const std::string& file, const char* field) {
  DWORD dummy = 0;
  DWORD size = GetFileVersionInfoSizeA(file.c_str(), &dummy);
  if (!size) return "";
  std::string data(size, '\0');
  if (!GetFileVersionInfoA(file.c_str(), 0, size, data.data())) return "";
  struct LangCp { WORD lang, cp; }* trans = nullptr;
  UINT len = 0;
  std::vector<std::string> blocks;
  if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&trans), &len) &&
      len >= sizeof(LangCp)) {
    char b[64];
    std::snprintf(b, sizeof b, "%04x%04x", trans->lang, trans->cp);
    blocks.emplace_back(b);
  }
  blocks.emplace_back("040904b0");
  blocks.emplace_back("040904e4");
  for (const std::string& block : blocks) {
    std::string q = "\\StringFileInfo\\" + block + "\\" + field;
    char* value = nullptr;
    if (VerQueryValueA(data.data(), q.c_str(), reinterpret_cast<void**>(&value), &len) && value)
      return std::string(value, len && value[len - 1] == '\0' ? len - 1 : len).c_str();
  }
  return "";
}

std::string Win32ThisProgram::exePath() {
  // Whatever its length: a path cut at MAX_PATH names a parent folder, not ours.
  for (DWORD size = MAX_PATH + 1; size <= 65536; size *= 2) {
    std::string buf(size, '\0');
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), size);
    if (n == 0) return "";
    if (n < size - 1) return buf.substr(0, n);
  }
  return "";
}

Branding Win32ThisProgram::branding() { return brandingOf(exePath()); }

Branding brandingOf(const std::string& exe) {
  Branding b;
  b.productName = versionString(exe, "ProductName");
  b.companyName = versionString(exe, "CompanyName");
  b.webSite = versionString(exe, "Comments");
  DWORD dummy = 0, size = GetFileVersionInfoSizeA(exe.c_str(), &dummy);
  if (size) {
    std::string data(size, '\0');
    VS_FIXEDFILEINFO* ffi = nullptr;
    UINT len = 0;
    if (GetFileVersionInfoA(exe.c_str(), 0, size, data.data()) &&
        VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&ffi), &len) && ffi) {
      b.major = HIWORD(ffi->dwFileVersionMS);
      b.minor = LOWORD(ffi->dwFileVersionMS);
    }
  }
  return b;
}

// ---- Dialogs, pump, clock -----------------------------------------------------------------
int Win32Dialogs::messageBox(const std::string& text, const std::string& title, unsigned flags) {
  return MessageBoxA(static_cast<HWND>(owner_), text.c_str(), title.c_str(), flags);
}

int ConsoleDialogs::answer(unsigned flags, bool assumeYes) {
  switch (flags & 0xF) {
    case kMbOkCancel: return assumeYes ? kIdOk : kIdCancel;
    case kMbYesNo: return assumeYes ? kIdYes : kIdNo;
    case kMbYesNoCancel: return assumeYes ? kIdYes : kIdCancel;
    case kMbAbortRetryIgnore: return kIdAbort;
    case kMbRetryCancel: return kIdCancel;
    default: return kIdOk;
  }
}

int ConsoleDialogs::messageBox(const std::string& text, const std::string& title, unsigned flags) {
  const int given = answer(flags, assumeYes_);
  std::fprintf(out_, "%s: %s\n", title.c_str(), text.c_str());
  if ((flags & 0xF) != kMbOk) {
    static const char* const names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    std::fprintf(out_, "  (answered %s%s)\n", names[given],
                 assumeYes_ || given == kIdAbort || (flags & 0xF) == kMbRetryCancel ? "" : "; --yes answers yes");
  }
  std::fflush(out_);
  return given;
}

Win32Pump::Win32Pump(double minGapMs) : minGapMs_(minGapMs) {}

double Win32Pump::nowMs() {
  static LARGE_INTEGER freq = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(freq.QuadPart);
}

void Win32Pump::yield() {
  double now = nowMs();
  if (now - last_ < minGapMs_) return;
  last_ = now;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

DateTime Win32Clock::localTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  DateTime t;
  t.year = st.wYear, t.month = st.wMonth, t.day = st.wDay;
  t.hour = st.wHour, t.minute = st.wMinute, t.second = st.wSecond;
  return t;
}

std::string Win32Clock::nowText() { return formatDateTime(localTime()); }

PlatformParts Win32Services::parts() { return partsOf(*this); }

Platform Win32Services::console(bool assumeYes) {
  consoleDialogs.setAssumeYes(assumeYes);
  PlatformParts p = parts();
  p.dialogs = &consoleDialogs;
  p.fileDialog = &consoleFileDialog;
  return Platform(p);
}

}  // namespace quillon::win32
