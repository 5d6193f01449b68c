#include "shell/run_at_startup.h"

#include "common/text.h"

namespace quillon {

std::string runValueName(const std::string& exePath) {
  std::string file = fileNameFromPath(exePath);
  size_t dot = file.rfind('.');
  return dot == std::string::npos ? file : file.substr(0, dot);
}

void setRunAtStartup(Registry& reg, const Settings& settings, const std::string& exePath) {
  const std::string valueName = runValueName(exePath);
  auto on = settings.readNumber(keys::chkRunAtStartupFirstStart);
  if (on && *on == 1) {
    std::string command = "\"" + exePath + "\"";
    reg.setValue(kHkeyLocalMachine, kRunKey, valueName, RegValue{kRegSz, command + '\0'});
  } else {
    reg.deleteValue(kHkeyLocalMachine, kRunKey, valueName);
  }
}

}  // namespace quillon
