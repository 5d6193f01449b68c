#include "shields/memory_shield.h"

#include "common/text.h"
#include "system/system_tasks.h"

namespace quillon {

void MemoryShield::tick() {
  if (!env_.settings.isOn(keys::optMemoryShieldOn)) return;
  host_.inspectMemory();
}

std::string MemoryShield::companyText(const std::string& name, const std::string& company) {
  return trim(company).empty() ? "No Company name for " + name : company;
}

void MemoryShield::report(uint32_t pid, const std::string& name, const std::string& company) {
  reported_ = Reported{};
  reported_.pid = pid;
  reported_.name = name;
  reported_.startKnown = env_.platform.processes.startTime(pid, reported_.started);
  answered_ = false;
  host_.showAlert(name, companyText(name, company));
}

bool MemoryShield::stillTheSameProgram() const {
  if (!reported_.startKnown) {
    // Its start could not be read, most often because it had already ended: only the file the
    // id runs now tells the reported program from a later one that was given its id.
    std::string path;
    return env_.platform.processes.executablePath(reported_.pid, path) &&
           iequals(fileNameFromPath(path), trim(reported_.name));
  }
  uint64_t now = 0;
  // Not to be looked at any more: ended (stopping it then finds nothing to do).
  if (!env_.platform.processes.startTime(reported_.pid, now)) return true;
  return now == reported_.started;
}

void MemoryShield::stop() {
  answered_ = true;
  const std::string name = trim(reported_.name);
  bool stopped = !stillTheSameProgram() || stopProcess(env_.platform.processes, reported_.pid);
  if (!stopped)
    env_.platform.dialogs.messageBox(toUpper(name) +
                                         " could not be stopped.  You should try again after saving your work and "
                                         "closing any open applications.",
                                     env_.productName, kMbOk | kMbIconInformation);
  host_.closeAlert();
}

void MemoryShield::allow() {
  answered_ = true;
  env_.exclusions.add(trim(reported_.name));
  host_.closeAlert();
}

}  // namespace quillon
