#include "system/settings.h"

#include "common/text.h"

namespace quillon {

namespace {
// Registry strings may or may not carry their terminator; the value is the text before it.
std::string stringOf(const RegValue& v) {
  std::string s = v.data;
  size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  return s;
}
}  // namespace

Settings::Settings(Registry& reg, Dialogs& dialogs, std::string productName, std::string companyName)
    : reg_(reg), dialogs_(dialogs), product_(std::move(productName)), company_(std::move(companyName)) {}

std::string Settings::userKey(const std::string& section) const {
  return "Software\\" + product_ + "\\" + section;
}

std::string Settings::machineKey(const std::string& section) const {
  return "SOFTWARE\\" + trim(company_) + "\\" + trim(product_) + "\\" + trim(section);
}

std::string Settings::read(const std::string& section, const std::string& key, const std::string& def) const {
  RegValue v;
  if (product_.empty() || reg_.queryValue(kHkeyCurrentUser, userKey(section), key, kKeyRead, v) != RegStatus::Ok)
    return def;
  if (v.type != kRegSz && v.type != kRegExpandSz) return def;
  return stringOf(v);
}

void Settings::write(const std::string& section, const std::string& key, const std::string& value) {
  if (product_.empty()) return;
  reg_.setValue(kHkeyCurrentUser, userKey(section), key, RegValue{kRegSz, value + '\0'});
}

std::optional<double> Settings::readNumber(const std::string& section, const std::string& key,
                                           const std::string& def) const {
  double v;
  if (!parseNumber(read(section, key, def), v)) return std::nullopt;
  return v;
}

std::optional<bool> Settings::readBoolean(const std::string& section, const std::string& key,
                                          const std::string& def) const {
  bool b;
  if (!parseBoolean(read(section, key, def), b)) return std::nullopt;
  return b;
}

std::string Settings::readMachine(const std::string& section, const std::string& key,
                                  const std::string& def, std::string* error) const {
  auto fail = [&](const char* msg) {
    if (error) *error = msg;
    return def;
  };
  if (trim(product_).empty()) return fail("AppName may not be empty");
  if (trim(section).empty()) return fail("Section may not be empty");
  if (key.empty()) return fail("Key may not be empty");
  RegValue v;
  switch (reg_.queryValue(kHkeyLocalMachine, machineKey(section), key, kKeyRead, v)) {
    case RegStatus::NoKey:
    case RegStatus::NoValue: return def;
    case RegStatus::Failed: return fail("Could not open registry section");
    case RegStatus::Ok: break;
  }
  if (v.type != kRegSz && v.type != kRegExpandSz) return fail("Registry data not a string");
  return stringOf(v);
}

bool Settings::writeMachine(const std::string& section, const std::string& key, const std::string& value) {
  for (;;) {
    if (reg_.setValue(kHkeyLocalMachine, machineKey(section), key, RegValue{kRegSz, value})) return true;
    if (read(keys::IgnorePermissionDeniedError) == "1") return false;
    const std::string text =
        product_ +
        " requires read/write access to the system registry and hard drive in order to run properly.  "
        "This user account does not have the proper permissions set.  As a result some or all of your "
        "settings may not be properly saved.  Please contact your system administrator or change the "
        "permission settings for this account.\r\n\r\nIf you would like to prevent this error message "
        "from being displayed again, please press 'Ignore'.";
    int answer = dialogs_.messageBox(text, "Permission Denied", kMbAbortRetryIgnore | kMbIconExclamation);
    if (answer == kIdRetry) continue;
    if (answer == kIdIgnore) write(keys::IgnorePermissionDeniedError, "1");
    return false;
  }
}

}  // namespace quillon
