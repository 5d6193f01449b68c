#pragma once
#include <string>

#include "platform/platform.h"
#include "system/settings.h"

namespace quillon {

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Adds or removes the machine's run-at-start-up entry as "chkRunAtStartup" says. The value is
// named after the executable without its extension and holds the quoted full path, so that a
// path with spaces cannot make the system start another program first.
// The name of that value: the executable's file name without its extension.
std::string runValueName(const std::string& exePath);
void setRunAtStartup(Registry& reg, const Settings& settings, const std::string& exePath);

}  // namespace quillon
