#include "scan/protected_locations.h"

#include <algorithm>

#include "common/text.h"
#include "definitions/definition_store.h"

namespace quillon {

namespace {
// Shell folder identifiers whose roots are protected: everything the folder tokens can name,
// and the profile, Program Files and system folders in all their variants.
constexpr int kProtectedCsidls[] = {
    0x00, 0x02, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0D, 0x0E, 0x10, 0x14, 0x15, 0x16, 0x17,
    0x19, 0x1A, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29,
    0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x30};

// Keys below the first level that hold the system's own configuration as a whole.
const char* const kProtectedRegistryKeys[] = {
    "SOFTWARE\\MICROSOFT",
    "SOFTWARE\\MICROSOFT\\WINDOWS",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNONCE",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER",
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES",
    "SOFTWARE\\MICROSOFT\\WINDOWS NT",
    "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION",
    "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINLOGON",
    "SOFTWARE\\MICROSOFT\\INTERNET EXPLORER",
    "SOFTWARE\\MICROSOFT\\INTERNET EXPLORER\\MAIN",
    "SOFTWARE\\CLASSES",
    "SOFTWARE\\CLASSES\\CLSID",
    "SOFTWARE\\POLICIES",
    "SOFTWARE\\WOW6432NODE",
    "SYSTEM\\CURRENTCONTROLSET",
    "SYSTEM\\CURRENTCONTROLSET\\SERVICES",
    "SYSTEM\\CURRENTCONTROLSET\\CONTROL",
};

// The program's own files directly in its application folder.
const char* const kProgramFiles[] = {"quillon.exe", "quillon-cli.exe", kFileDefs,     kRegistryDefs, kDirectoryDefs,
                                     kExeDefs,      kCookieDefs,       kDateFile,     kExclusionFile, kReportFile,
                                     kDefinitionsLock};

bool isAncestorOrSame(const std::string& candidate, const std::string& protectedFolder) {
  if (candidate.size() > protectedFolder.size()) return false;
  if (protectedFolder.compare(0, candidate.size(), candidate) != 0) return false;
  return candidate.size() == protectedFolder.size() || protectedFolder[candidate.size()] == '\\';
}
}  // namespace

std::string ProtectedLocations::normalFolder(const std::string& path) {
  std::string p = toUpper(trim(path));
  // Collapse every run of backslashes but a leading "\\" (a share or device path).
  std::string out;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '\\' && !out.empty() && out.back() == '\\' && out.size() > 1) continue;
    out.push_back(p[i]);
  }
  while (!out.empty() && (out.back() == '\\' || out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out;
}

void ProtectedLocations::load() const {
  if (loaded_) return;
  loaded_ = true;
  auto add = [this](const std::string& folder) {
    if (trim(folder).empty()) return;
    // Both spellings are kept: the one the system gave, and its canonical form.
    for (const std::string& f : {normalFolder(folder), normalFolder(fs_.canonicalPath(folder))})
      if (!f.empty() && std::find(folders_.begin(), folders_.end(), f) == folders_.end()) folders_.push_back(f);
    // The folder and every folder holding it, by identity, however a definition spells them.
    for (std::string up = fs_.canonicalPath(folder); up.size() > 3;) {
      // Most protected folders share their upper folders: each is looked at once.
      if (!examined_.insert(normalFolder(up)).second) break;
      PathFacts facts;
      if (fs_.examine(up, facts) && facts.identity.known) folderIds_.insert(facts.identity);
      // Nothing reached from the message loop holds this object, so a turn cannot see the
      // folders half loaded.
      if (pump_) pump_->yield();
      const size_t cut = up.rfind('\\');
      if (cut == std::string::npos) break;
      up.resize(cut == 2 ? 3 : cut);
    }
  };
  for (int csidl : kProtectedCsidls) add(shell_.specialFolder(csidl));
  add(processes_.systemDirectory());
  // The folder holding the profiles is the profile's parent.
  std::string profile = normalFolder(shell_.specialFolder(0x28));
  size_t cut = profile.rfind('\\');
  if (cut != std::string::npos && cut > 2) add(profile.substr(0, cut));
  add(appFolder_);
  // The quarantine holds the only copy of everything removed.
  if (!trim(appFolder_).empty()) add(appFolder_ + "\\" + kQuarantineFolder);
}

void ProtectedLocations::loadProgramFiles() const {
  if (programFilesLoaded_) return;
  programFilesLoaded_ = true;
  for (const char* name : kProgramFiles) {
    PathFacts facts;
    if (fs_.examine(appFolder_ + "\\" + name, facts) && facts.identity.known && !facts.folder)
      programFileIds_.insert(facts.identity);
  }
}

bool ProtectedLocations::hasIdentityIn(const std::string& path, const std::set<FileIdentity>& identities) const {
  if (identities.empty()) return false;
  PathFacts facts;  // nothing there has no identity: examine says so without another probe
  return fs_.examine(path, facts) && facts.identity.known && identities.count(facts.identity) > 0;
}

const std::vector<std::string>& ProtectedLocations::folders() const {
  load();
  return folders_;
}

bool ProtectedLocations::isProtectedFolder(const std::string& path) const {
  // A location that names no one place is never a finding.
  const std::string lexical = lexicalFullPath(path);
  if (lexical.empty()) return true;
  const std::string p = normalFolder(lexical);
  // A drive root ("C:"), the bare root "\" and anything as short are never a finding.
  if (p.size() <= 3) return true;
  // A share root: "\\server\share" with nothing below it.
  if (p.compare(0, 2, "\\\\") == 0) {
    size_t server = p.find('\\', 2);
    if (server == std::string::npos || p.find('\\', server + 1) == std::string::npos) return true;
  }
  auto listed = [this](const std::string& candidate) {
    for (const std::string& f : folders())
      if (isAncestorOrSame(candidate, f)) return true;
    return false;
  };
  if (listed(p)) return true;
  // Only what exists has long names to expand and an identity to compare.
  if (fs_.attributes(lexical) == kNoSuchPath) return false;
  const std::string canonical = fs_.canonicalPath(lexical);
  if (canonical.empty() || listed(normalFolder(canonical))) return true;
  load();
  return hasIdentityIn(canonical, folderIds_);
}

bool ProtectedLocations::isProgramFile(const std::string& path) const {
  const std::string canonical = fs_.canonicalPath(path);
  if (canonical.empty()) return false;  // names no one file (the scan never judges such a path)
  if (!appLoaded_) {
    appLoaded_ = true;
    app_ = normalFolder(fs_.canonicalPath(appFolder_));
  }
  const std::string p = normalFolder(canonical);
  const size_t cut = p.rfind('\\');
  const std::string name = p.substr(cut == std::string::npos ? 0 : cut + 1);
  bool ownName = false;
  for (const char* own : kProgramFiles) ownName = ownName || iequals(name, own);
  if (!ownName) return false;  // another name for one of them is a hard link: deleting it takes only the name
  if (!app_.empty() && cut == app_.size() && p.compare(0, cut, app_) == 0) return true;
  // The same file reached another way (another drive letter for the same folder, a share).
  loadProgramFiles();
  return hasIdentityIn(canonical, programFileIds_);
}

bool ProtectedLocations::isProtectedRegistryKey(uint32_t root, const std::string& keyPath) {
  (void)root;
  std::string k = normalFolder(keyPath);
  while (!k.empty() && k.front() == '\\') k.erase(k.begin());
  if (k.empty() || k.find('\\') == std::string::npos) return true;  // a root or a key directly below one
  for (const char* key : kProtectedRegistryKeys)
    if (k == key) return true;
  return false;
}

}  // namespace quillon
