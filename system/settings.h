// The two settings stores. The per-user store lives in the registry under HKEY_CURRENT_USER,
// key Software, product name, section; the machine-wide one under HKEY_LOCAL_MACHINE, key
// SOFTWARE, company name, product name, section. Every value is a string; readers convert.
#pragma once
#include <optional>
#include <string>

#include "platform/platform.h"
#include "system/settings_keys.h"

namespace quillon {

class Settings {
 public:
  Settings(Registry& reg, Dialogs& dialogs, std::string productName, std::string companyName);

  // Per-user store: an absent key gives the caller's default; reads never fail.
  std::string read(const std::string& section, const std::string& key, const std::string& def) const;
  void write(const std::string& section, const std::string& key, const std::string& value);
  // The value read as a number; nullopt when it is not one (the caller then changes nothing).
  std::optional<double> readNumber(const std::string& section, const std::string& key,
                                   const std::string& def) const;
  // "True"/"False" in any case, or a number (0 false); nullopt when neither.
  std::optional<bool> readBoolean(const std::string& section, const std::string& key,
                                  const std::string& def) const;

  // Machine-wide store. A read error is described in *error and gives the default.
  std::string readMachine(const std::string& section, const std::string& key, const std::string& def,
                          std::string* error = nullptr) const;
  // On failure asks Abort/Retry/Ignore ("Permission Denied") unless the user chose Ignore once.
  bool writeMachine(const std::string& section, const std::string& key, const std::string& value);

  // The same through the table of keys (system/settings_keys.h).
  std::string read(const SettingKey& k) const {
    return k.machineWide ? readMachine(k.section, k.name, k.def) : read(k.section, k.name, k.def);
  }
  void write(const SettingKey& k, const std::string& value) {
    if (k.machineWide) writeMachine(k.section, k.name, value);
    else write(k.section, k.name, value);
  }
  std::optional<double> readNumber(const SettingKey& k) const { return readNumber(k.section, k.name, k.def); }
  std::optional<bool> readBoolean(const SettingKey& k) const { return readBoolean(k.section, k.name, k.def); }
  // A check box's or option's stored state: "1"/"True" on, "0"/"False" off, anything else off.
  bool isOn(const SettingKey& k) const { return readBoolean(k).value_or(false); }

  const std::string& productName() const { return product_; }

 private:
  std::string userKey(const std::string& section) const;
  std::string machineKey(const std::string& section) const;
  Registry& reg_;
  Dialogs& dialogs_;
  std::string product_, company_;
};

}  // namespace quillon
