// The registry's share of the protected locations: the keys and values that start Windows or
// open programs, whatever root or alias a definition names them through.
#include <algorithm>

#include "common/text.h"
#include "scan/company_name.h"
#include "scan/protected_locations.h"

namespace quillon {

namespace {
// Keys below the first level that hold the system's configuration as a whole: never deleted
// whole, though the values in them (a Run entry) stay findable.
const char* const kProtectedRegistryKeys[] = {
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNONCE",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES",
    "SOFTWARE\\MICROSOFT\\INTERNET EXPLORER",
    "SOFTWARE\\MICROSOFT\\INTERNET EXPLORER\\MAIN",
    "SOFTWARE\\POLICIES",
};

// The system's own keys, "*" standing for any one name and ".*" for any name that starts with
// a dot. A subtree is the key, every key below it and every value in them; otherwise the key's
// own values (and so the key as a whole).
struct SystemKey {
  const char* pattern;
  bool subtree;
};
const SystemKey kSystemKeys[] = {
    {"SYSTEM", true},                                      // the machine's configuration, services included
    {"SOFTWARE\\MICROSOFT\\CRYPTOGRAPHY", true},           // the machine's identity
    {"SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION", true},  // Winlogon, the session's start, the product
    {"SOFTWARE\\CLASSES\\*\\SHELL\\*\\COMMAND", true},     // what opens each type of file
    {"SOFTWARE\\CLASSES\\*\\SHELL\\*\\DDEEXEC", true},
    {"SOFTWARE\\CLASSES\\.*", false},                      // which type an extension is
    {"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION", false},  // where Program Files and the inf files are
    {"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\SHELL FOLDERS", false},  // the user's places
    {"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\USER SHELL FOLDERS", false},
    {"ENVIRONMENT", false},                                // the user's Path and Temp
};

// Inside those subtrees, the lists of entries other programs add, one key each: such an entry
// is judged like any other key. A service is judged by the program it runs.
const char* const kServices = "SYSTEM\\CURRENTCONTROLSET\\SERVICES\\*";
const char* const kProgramEntries[] = {
    "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\IMAGE FILE EXECUTION OPTIONS\\*",
    "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINLOGON\\NOTIFY\\*",
};

bool nameMatches(const std::string& name, const std::string& pattern) {
  if (pattern == "*") return true;
  if (pattern == ".*") return !name.empty() && name[0] == '.';
  return name == pattern;
}

// How the key's names meet the pattern's: the key is the pattern's key or below it (At), a key
// holding one the pattern names (Above), or apart from it.
enum class Meets { Apart, Above, At, Below };
Meets meets(const std::vector<std::string>& key, const std::string& pattern) {
  const std::vector<std::string> names = split(pattern, "\\");
  const size_t n = std::min(key.size(), names.size());
  for (size_t i = 0; i < n; ++i)
    if (!nameMatches(key[i], names[i])) return Meets::Apart;
  return key.size() < names.size() ? Meets::Above : key.size() == names.size() ? Meets::At : Meets::Below;
}

bool atOrBelow(Meets m) { return m == Meets::At || m == Meets::Below; }

void replacePrefix(std::string& key, const std::string& from, const std::string& to) {
  if (key.compare(0, from.size(), from) == 0 && (key.size() == from.size() || key[from.size()] == '\\'))
    key = to + key.substr(from.size());
}

// The service a key path names ("SYSTEM\CURRENTCONTROLSET\SERVICES\NAME\..."), as its key's
// own name below Services.
std::string serviceOf(const std::vector<std::string>& key) { return key.size() >= 4 ? key[3] : ""; }

// The program a service's command line or library value names, as a full path: quoted or up to
// its program's extension, the system's ways of naming the Windows folder replaced.
std::string programOf(std::string command, const std::string& windows) {
  command = trim(command.substr(0, command.find('\0')));
  if (!command.empty() && command[0] == '"') {
    command = command.substr(1, command.find('"', 1) == std::string::npos ? std::string::npos : command.find('"', 1) - 1);
  } else {
    size_t end = std::string::npos;
    for (const char* ext : {".EXE", ".SYS", ".DLL"}) {
      const size_t at = toUpper(command).find(ext);
      if (at != std::string::npos) end = std::min(end, at + 4);
    }
    command = command.substr(0, end == std::string::npos ? command.find(' ') : end);
  }
  for (const char* name : {"%SYSTEMROOT%", "%WINDIR%"}) {
    const size_t at = toUpper(command).find(name);
    if (at != std::string::npos) command.replace(at, std::string(name).size(), windows);
  }
  if (iequals(command.substr(0, 12), "\\SystemRoot\\")) command = windows + command.substr(11);
  if (command.compare(0, 4, "\\??\\") == 0) command = command.substr(4);
  // A path without a drive is the Windows folder's ("system32\drivers\x.sys").
  if (!command.empty() && !isAbsolutePath(command)) command = windows + "\\" + command;
  return command;
}
}  // namespace

std::string ProtectedLocations::machineKeyPath(uint32_t root, const std::string& keyPath) {
  std::string key = normalFolder(keyPath);
  while (!key.empty() && key.front() == '\\') key.erase(key.begin());
  auto below = [](const std::string& base, const std::string& rest) { return rest.empty() ? base : base + "\\" + rest; };
  if (root == kHkeyClassesRoot) key = below("SOFTWARE\\CLASSES", key);
  if (root == kHkeyCurrentConfig) key = below("SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT", key);
  if (root == kHkeyUsers) {
    // A user's hive is that user's HKEY_CURRENT_USER; "<user>_Classes" is the user's classes.
    const size_t cut = key.find('\\');
    if (cut == std::string::npos) return "";
    const std::string user = key.substr(0, cut), rest = key.substr(cut + 1);
    const bool classes = user.size() > 8 && user.compare(user.size() - 8, 8, "_CLASSES") == 0;
    key = classes ? below("SOFTWARE\\CLASSES", rest) : rest;
  }
  replacePrefix(key, "SOFTWARE\\WOW6432NODE", "SOFTWARE");
  replacePrefix(key, "SOFTWARE\\CLASSES\\WOW6432NODE", "SOFTWARE\\CLASSES");
  const std::string sets = "SYSTEM\\CONTROLSET";
  if (key.compare(0, sets.size(), sets) == 0) {
    size_t end = sets.size();
    while (end < key.size() && key[end] >= '0' && key[end] <= '9') ++end;
    if (end > sets.size() && (end == key.size() || key[end] == '\\'))
      key = "SYSTEM\\CURRENTCONTROLSET" + key.substr(end);
  }
  return key;
}

bool ProtectedLocations::isProtectedRegistryKey(uint32_t root, const std::string& keyPath) {
  const std::string key = machineKeyPath(root, keyPath);
  const std::vector<std::string> names = key.empty() ? std::vector<std::string>{} : split(key, "\\");
  // A root, a key directly below one, a class directly below the classes root.
  if (names.size() <= 1 || (names.size() == 3 && atOrBelow(meets(names, "SOFTWARE\\CLASSES")))) return true;
  for (const char* k : kProtectedRegistryKeys)
    if (key == k) return true;
  for (const SystemKey& s : kSystemKeys) {
    const Meets m = meets(names, s.pattern);
    // Deleting a key deletes everything below it.
    if (m == Meets::Above || m == Meets::At || (s.subtree && m == Meets::Below)) {
      bool entry = false;
      for (const char* e : kProgramEntries) entry = entry || atOrBelow(meets(names, e));
      if (!entry) return true;
    }
  }
  return false;
}

ProtectedLocations::KeyVerdict ProtectedLocations::judgeKey(uint32_t root, const std::string& keyPath) const {
  const std::string key = machineKeyPath(root, keyPath);
  const std::string cacheKey = std::to_string(root) + "|" + key;
  auto known = keys_.find(cacheKey);
  if (known != keys_.end()) return known->second;
  const std::vector<std::string> names = key.empty() ? std::vector<std::string>{} : split(key, "\\");
  KeyVerdict v;
  // An entry another program added to one of the system's lists, or a service that runs
  // another maker's program, is judged like any key.
  bool entry = false;
  for (const char* e : kProgramEntries) entry = entry || atOrBelow(meets(names, e));
  if (!entry && atOrBelow(meets(names, kServices))) entry = !isSystemService(serviceOf(names));
  for (const SystemKey& s : kSystemKeys) {
    const Meets m = meets(names, s.pattern);
    if (m == Meets::At || (s.subtree && m == Meets::Below && !entry)) v.values = true;
    if (m == Meets::Above) v.wholeKey = true;
  }
  v.wholeKey = v.wholeKey || v.values || (isProtectedRegistryKey(root, keyPath) && !entry);
  // What the system guards itself, wherever it is.
  if (!v.values && platform_.registry.systemProtectsKey(root, trim(keyPath))) v.values = v.wholeKey = true;
  // The scan names the same keys again and again; a run names few distinct ones.
  if (keys_.size() > 4096) keys_.clear();
  keys_[cacheKey] = v;
  return v;
}

bool ProtectedLocations::isProtectedRegistryItem(uint32_t root, const std::string& keyPath,
                                                 const std::string& valueName) const {
  const KeyVerdict v = judgeKey(root, keyPath);
  return valueName.empty() ? v.wholeKey : v.values;
}

bool ProtectedLocations::isSystemService(const std::string& service) const {
  if (service.empty()) return true;
  auto known = systemServices_.find(service);
  if (known != systemServices_.end()) return known->second;
  loadFolders();
  Registry& reg = platform_.registry;
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + service;
  // A service hosted by a shared program is its library; otherwise its program.
  RegValue library, image;
  std::string command;
  if (reg.queryValue(kHkeyLocalMachine, key + "\\Parameters", "ServiceDll", kKeyRead, library) == RegStatus::Ok &&
      !trim(library.data.substr(0, library.data.find('\0'))).empty())
    command = library.data;
  else if (reg.queryValue(kHkeyLocalMachine, key, "ImagePath", kKeyRead, image) == RegStatus::Ok)
    command = image.data;
  bool system = true;  // a service that runs nothing is a setting of the system's
  if (!trim(command.substr(0, command.find('\0'))).empty()) {
    const std::string program = programOf(command, platform_.shell.specialFolder(0x24));
    // A program that is not there is no program of the system's: what is left of a threat.
    system = false;
    if (platform_.fs.attributes(program) != kNoSuchPath) {
      const FileLook look = lookAtFile(platform_.fs, platform_.fs.canonicalPath(program), true);
      system = isSystemProgram(program, look.company, look.finalPath);
    }
  }
  systemServices_[service] = system;
  return system;
}

}  // namespace quillon
