// What the program needs from the operating system, as small interfaces, one header per family
// (registry, files and drives, processes, network, signatures, the shell and the desktop). The
// behaviour folders reach the system only through these; platform/win32 implements them on the
// Win32 API and tests substitute fakes where they must control an outcome. A Platform hands
// them all down together.
#pragma once
#include "platform/files.h"
#include "platform/network.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/signatures.h"

namespace quillon {

// The parts of a Platform, filled by name, so that no caller depends on an order:
//   PlatformParts parts = services.parts();
//   parts.dialogs = &fakeDialogs;
//   Platform platform(parts);
struct PlatformParts {
  Registry* registry = nullptr;
  FileSystem* fs = nullptr;
  Shell* shell = nullptr;
  Launcher* launcher = nullptr;
  ThisProgram* thisProgram = nullptr;
  RunningProcesses* processes = nullptr;
  SystemRestore* restore = nullptr;
  LibraryExports* libraries = nullptr;
  Clipboard* clipboard = nullptr;
  InstanceLock* instanceLock = nullptr;
  Drives* drives = nullptr;
  Http* http = nullptr;
  Signatures* signatures = nullptr;
  Management* management = nullptr;
  Dialogs* dialogs = nullptr;
  FileDialog* fileDialog = nullptr;
  Pump* pump = nullptr;
  Clock* clock = nullptr;
};

// The parts of anything whose members carry the parts' names (a set of services, a test's
// application, a Platform itself), so that a new part is added in one place.
template <class Named>
PlatformParts partsOf(Named& s) {
  PlatformParts p;
  p.registry = &s.registry;
  p.fs = &s.fs;
  p.shell = &s.shell;
  p.launcher = &s.launcher;
  p.thisProgram = &s.thisProgram;
  p.processes = &s.processes;
  p.restore = &s.restore;
  p.libraries = &s.libraries;
  p.clipboard = &s.clipboard;
  p.instanceLock = &s.instanceLock;
  p.drives = &s.drives;
  p.http = &s.http;
  p.signatures = &s.signatures;
  p.management = &s.management;
  p.dialogs = &s.dialogs;
  p.fileDialog = &s.fileDialog;
  p.pump = &s.pump;
  p.clock = &s.clock;
  return p;
}

// Everything the behaviour needs from the system, handed down from the entry point.
class Platform {
 public:
  // Throws std::invalid_argument naming the first part left out.
  explicit Platform(const PlatformParts& parts);
  // The same parts, to make a platform that differs in one of them.
  PlatformParts parts() const { return partsOf(*this); }

  Registry& registry;
  FileSystem& fs;
  Shell& shell;
  Launcher& launcher;
  ThisProgram& thisProgram;
  RunningProcesses& processes;
  SystemRestore& restore;
  LibraryExports& libraries;
  Clipboard& clipboard;
  InstanceLock& instanceLock;
  Drives& drives;
  Http& http;
  Signatures& signatures;
  Management& management;
  Dialogs& dialogs;
  FileDialog& fileDialog;
  Pump& pump;
  Clock& clock;
};

}  // namespace quillon
