#include "removal/uninstall.h"

#include "removal/quarantine.h"
#include "shell/app_folder.h"
#include "shell/run_at_startup.h"

namespace quillon {

UninstallOutcome uninstallProgram(Platform& platform, const std::string& exePath, const std::string& productName,
                                  int installerUiLevel) {
  UninstallOutcome out;
  Registry& reg = platform.registry;
  const std::string value = runValueName(exePath);
  reg.deleteValue(kHkeyLocalMachine, kRunKey, value);
  RegValue left;
  out.runEntryGone = reg.queryValue(kHkeyLocalMachine, kRunKey, value, kKeyRead, left) != RegStatus::Ok;

  const std::string appFolder = appFolderOf(exePath);
  Quarantine quarantine(platform.fs, platform.registry, platform.clock, appFolder);
  if (installerUiLevel < kInstallerUiBasic || !platform.fs.folderExists(quarantine.folder())) return out;
  const size_t items = quarantine.entries().size();
  const std::string question =
      productName + " is being removed from this computer.\r\n\r\nIts quarantine holds " + std::to_string(items) +
      " item(s) removed by scans, which can be restored only from there.\r\n\r\nDo you want to delete the "
      "quarantine as well? Answer No to keep it in " + quarantine.folder() + ".";
  out.asked = true;
  if (platform.dialogs.messageBox(question, productName, kMbYesNo | kMbIconQuestion | kMbDefaultSecond) != kIdYes) return out;
  out.quarantineRemoved = platform.fs.deleteFolderTree(quarantine.folder());
  if (!out.quarantineRemoved)
    platform.dialogs.messageBox("The quarantine could not be deleted. It is still in " + quarantine.folder() + ".",
                                productName, kMbOk | kMbIconError);
  return out;
}

}  // namespace quillon
