// quillon-installer-actions.dll: the steps of the installer package that need the program's own
// code. The Windows Installer loads it from the package itself, so the version being installed
// decides what is done, whatever version is installed now (an upgrade's old files may not know
// the step), and what it says goes to the installer's log and, with a user interface, on screen.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "system/system_tasks.h"

using namespace quillon;

namespace {

// How long the copies of the program are given to close or finish their work.
constexpr uint32_t kCloseWaitMs = 30000;

std::string property(MSIHANDLE install, const char* name) {
  std::vector<char> value(MAX_PATH);
  DWORD size = DWORD(value.size());
  UINT r = MsiGetPropertyA(install, name, value.data(), &size);
  if (r == ERROR_MORE_DATA) {
    value.resize(size + 1);
    size = DWORD(value.size());
    r = MsiGetPropertyA(install, name, value.data(), &size);
  }
  return r == ERROR_SUCCESS ? std::string(value.data(), size) : std::string();
}

// A message the installer formats, so a bracket of a path must not read as a property.
void say(MSIHANDLE install, INSTALLMESSAGE kind, const std::string& text) {
  std::string escaped;
  for (char c : text) escaped += c == '[' ? "[\\[]" : c == ']' ? "[\\]]" : std::string(1, c);
  PMSIHANDLE record = MsiCreateRecord(0);
  MsiRecordSetStringA(record, 0, escaped.c_str());
  MsiProcessMessage(install, kind, record);
}

}  // namespace

// Before any file is replaced or removed (scheduled before InstallValidate, in every kind of
// installation): the copies of the program running from its folder are asked to close and
// waited for. One still running then fails the installation, which says which and why, before
// anything has changed; left running, it would keep its file, and the installation would end
// with the program still there.
extern "C" __declspec(dllexport) UINT __stdcall CloseRunningPrograms(MSIHANDLE install) {
  const std::string folder = property(install, "INSTALLDIR"), product = property(install, "ProductName");
  win32::Win32RunningProcesses processes;
  win32::Win32FileSystem fs;
  say(install, INSTALLMESSAGE_INFO, "Asking the copies of " + product + " running from " + folder + " to close.");
  const CloseOutcome outcome = closeFolderPrograms(processes, fs, folder, kCloseWaitMs);
  if (outcome.ok()) return ERROR_SUCCESS;
  say(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR), closeFailureText(product, folder, outcome));
  return ERROR_INSTALL_FAILURE;
}
