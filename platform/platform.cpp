#include "platform/platform.h"

#include <stdexcept>

namespace quillon {

namespace {
template <class T>
T& need(T* part, const char* name) {
  if (!part) throw std::invalid_argument(std::string("Platform: no ") + name + " given");
  return *part;
}
}  // namespace

Platform::Platform(const PlatformParts& p)
    : registry(need(p.registry, "registry")),
      fs(need(p.fs, "fs")),
      shell(need(p.shell, "shell")),
      launcher(need(p.launcher, "launcher")),
      thisProgram(need(p.thisProgram, "thisProgram")),
      processes(need(p.processes, "processes")),
      restore(need(p.restore, "restore")),
      libraries(need(p.libraries, "libraries")),
      clipboard(need(p.clipboard, "clipboard")),
      instanceLock(need(p.instanceLock, "instanceLock")),
      drives(need(p.drives, "drives")),
      http(need(p.http, "http")),
      management(need(p.management, "management")),
      dialogs(need(p.dialogs, "dialogs")),
      fileDialog(need(p.fileDialog, "fileDialog")),
      pump(need(p.pump, "pump")),
      clock(need(p.clock, "clock")) {}

}  // namespace quillon
