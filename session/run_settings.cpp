#include "session/run_settings.h"

#include "common/text.h"
#include "shell/server_addresses.h"

namespace quillon {

namespace {
bool numberIsOne(const Settings& settings, const SettingKey& key) {
  auto v = settings.readNumber(key);
  return v && *v == 1;
}
}  // namespace

ScanOptions scanOptions(const Settings& settings) {
  ScanOptions o;
  o.cookies = numberIsOne(settings, keys::chkScanCookies);
  o.memory = settings.isOn(keys::chkScanMemory);
  o.registry = settings.isOn(keys::chkScanRegistry);
  return o;
}

std::vector<std::string> storedDriveRoots(const Settings& settings, const std::vector<ListedDrive>& listed,
                                          Drives& drives) {
  std::vector<std::string> roots;
  for (const ListedDrive& d : listed) {
    const std::string name(1, d.letter);
    const char* def = d.checkedByDefault ? keys::kOwnDriveDefault : keys::kOtherDriveDefault;
    if (settings.readBoolean(keys::kDrives, name, def).value_or(false) && drives.ready(d.letter))
      roots.push_back(name + ":\\");
  }
  return roots;
}

void recordScan(Settings& settings, const ScanOutcome& outcome, bool complete) {
  settings.write(keys::lblLastScan, outcome.finishedAt);
  if (complete) settings.write(keys::lblLastFullScan, outcome.finishedAt);
}

bool completeScanChosen(const Settings& settings) {
  return settings.isOn(keys::optCompleteScan);
}

bool reportWanted(const Settings& settings) { return numberIsOne(settings, keys::chkMakeLog); }
bool sendDataWanted(const Settings& settings) { return numberIsOne(settings, keys::chkSendData); }

LiveUpdateOptions liveUpdateOptions(const Settings& settings, const Branding& branding,
                                    std::vector<std::string> publisherKeys) {
  return LiveUpdateOptions{definitionServer(settings), branding.productName, branding.companyName,
                           std::move(publisherKeys), iequals(trim(settings.read(keys::AllowUnsignedDefinitions)), "Yes")};
}

void addToRemovedTotal(Settings& settings, size_t removed) {
  double total = 0;
  parseNumber(settings.read(keys::lblDefRemoved), total);
  settings.write(keys::lblDefRemoved, std::to_string(static_cast<long long>(total) + static_cast<long long>(removed)));
}

}  // namespace quillon
