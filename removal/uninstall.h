// What the installed program does for its own removal, started by the installer before the
// program's files go: it takes its run-at-start-up entry away and, when someone is there to
// answer, asks whether the quarantine goes too. Without an answer the quarantine stays: what
// it holds could not be restored from anywhere else.
#pragma once
#include <string>

#include "platform/platform.h"

namespace quillon {

// The installer's user-interface levels: 2 none (a silent removal), 3 basic, 4 reduced, 5 full.
constexpr int kInstallerUiBasic = 3;

struct UninstallOutcome {
  bool runEntryGone = false;
  bool asked = false;
  bool quarantineRemoved = false;
};

UninstallOutcome uninstallProgram(Platform& platform, const std::string& exePath, const std::string& productName,
                                  int installerUiLevel);

}  // namespace quillon
