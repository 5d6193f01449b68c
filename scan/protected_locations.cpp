#include "scan/protected_locations.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "common/text.h"
#include "definitions/definition_store.h"
#include "scan/company_name.h"

namespace quillon {

namespace {
// Shell folder identifiers whose roots are protected: everything the folder tokens can name,
// and the profile, Program Files and system folders in all their variants. The known-folder
// list names these too on a system that has one; an older one has only these.
constexpr int kProtectedCsidls[] = {
    0x00, 0x02, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0D, 0x0E, 0x10, 0x14, 0x15, 0x16, 0x17,
    0x19, 0x1A, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29,
    0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x30};
constexpr int kWindowsCsidl = 0x24, kProfileCsidl = 0x28;
constexpr int kProgramFilesCsidls[] = {0x26, 0x2A};  // Program Files and its 32-bit twin

// The program's own files directly in its application folder.
const char* const kOwnFiles[] = {"quillon.exe", "quillon-cli.exe", kFileDefs,     kRegistryDefs, kDirectoryDefs,
                                 kExeDefs,      kCookieDefs,       kDateFile,     kExclusionFile, kReportFile,
                                 kDefinitionsLock};

// A folder inside the Windows folder or Program Files is looked through up to this many
// entries for a file of the system's. One larger is kept rather than judged by a part of it.
constexpr size_t kMostEntriesLooked = 20000;

bool isAncestorOrSame(const std::string& candidate, const std::string& protectedFolder) {
  if (candidate.size() > protectedFolder.size()) return false;
  if (protectedFolder.compare(0, candidate.size(), candidate) != 0) return false;
  return candidate.size() == protectedFolder.size() || protectedFolder[candidate.size()] == '\\';
}

// Strictly below `folder` (both in normal form).
bool isInside(const std::string& normal, const std::string& folder) {
  return !folder.empty() && normal.size() > folder.size() + 1 && normal[folder.size()] == '\\' &&
         normal.compare(0, folder.size(), folder) == 0;
}

// A drive root ("C:"), the bare root "\", anything as short, or a share's root
// ("\\server\share" with nothing below it).
bool isRootLike(const std::string& normal) {
  if (normal.size() <= 3) return true;
  if (normal.compare(0, 2, "\\\\") != 0) return false;
  const size_t server = normal.find('\\', 2);
  return server == std::string::npos || normal.find('\\', server + 1) == std::string::npos;
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

void ProtectedLocations::loadFolders() const {
  if (foldersLoaded_) return;
  foldersLoaded_ = true;
  Shell& shell = platform_.shell;
  FileSystem& fs = platform_.fs;
  auto add = [&](const std::string& folder) {
    if (trim(folder).empty()) return;
    idSources_.push_back(folder);
    // Both spellings are kept: the one the system gave, and its canonical form.
    for (const std::string& f : {normalFolder(folder), normalFolder(fs.canonicalPath(folder))})
      if (!f.empty() && std::find(folders_.begin(), folders_.end(), f) == folders_.end()) folders_.push_back(f);
    // Each folder is a question or two to the system, and the shell lists a hundred of them.
    turn();
  };
  for (int csidl : kProtectedCsidls) add(shell.specialFolder(csidl));
  const std::vector<std::string> known = shell.knownFolders();
  turn();
  for (const std::string& folder : known) add(folder);
  add(shell.tempFolder());
  add(platform_.processes.systemDirectory());
  // The folder holding the profiles is the profile's parent.
  std::string profile = normalFolder(shell.specialFolder(kProfileCsidl));
  size_t cut = profile.rfind('\\');
  if (cut != std::string::npos && cut > 2) add(profile.substr(0, cut));
  add(appFolder_);
  // The quarantine holds the only copy of everything removed.
  if (!trim(appFolder_).empty()) add(appFolder_ + "\\" + kQuarantineFolder);

  windows_ = normalFolder(fs.canonicalPath(shell.specialFolder(kWindowsCsidl)));
  for (int csidl : kProgramFilesCsidls) {
    const std::string folder = normalFolder(fs.canonicalPath(shell.specialFolder(csidl)));
    if (!folder.empty()) programFiles_.push_back(folder);
  }
}

void ProtectedLocations::loadIdentities() const {
  if (idsLoaded_) return;
  idsLoaded_ = true;
  loadFolders();
  FileSystem& fs = platform_.fs;
  std::set<std::string> examined;  // in normal form
  auto take = [&](const std::string& path) {
    PathFacts facts;
    if (fs.examine(path, facts) && facts.identity.known) folderIds_.insert(facts.identity);
    // Nothing reached from the message loop holds this object, so a turn cannot see the
    // identities half taken.
    turn();
  };
  // Each folder and every folder holding it, however a definition spells them.
  for (const std::string& folder : idSources_) {
    for (std::string up = fs.canonicalPath(folder); up.size() > 3;) {
      // Most protected folders share their upper folders: each is looked at once.
      if (!examined.insert(normalFolder(up)).second) break;
      take(up);
      const size_t cut = up.rfind('\\');
      if (cut == std::string::npos) break;
      up.resize(cut == 2 ? 3 : cut);
    }
  }
  // Every fixed drive's root, reached by whatever other path leads to it.
  for (const Drive& d : platform_.drives.list())
    if (d.type == DriveType::Fixed || d.type == DriveType::RamDisk) take(std::string(1, d.letter) + ":\\");
}

void ProtectedLocations::loadProgramFiles() const {
  if (programFilesLoaded_) return;
  programFilesLoaded_ = true;
  for (const char* name : kOwnFiles) {
    PathFacts facts;
    if (platform_.fs.examine(appFolder_ + "\\" + name, facts) && facts.identity.known && !facts.folder)
      programFileIds_.insert(facts.identity);
  }
}

const std::vector<std::string>& ProtectedLocations::folders() const {
  loadFolders();
  return folders_;
}

bool ProtectedLocations::listed(const std::string& normal) const {
  for (const std::string& f : folders())
    if (isAncestorOrSame(normal, f)) return true;
  return false;
}

bool ProtectedLocations::isProtectedFolder(const std::string& path) const {
  // A location that names no one place is never a finding.
  const std::string lexical = lexicalFullPath(path);
  if (lexical.empty()) return true;
  const std::string p = normalFolder(lexical);
  if (isRootLike(p) || listed(p)) return true;
  // Only what exists has long names to expand, a final path and an identity to compare.
  FileSystem& fs = platform_.fs;
  if (fs.attributes(lexical) == kNoSuchPath) return false;
  const std::string canonical = fs.canonicalPath(lexical);
  if (canonical.empty() || listed(normalFolder(canonical))) return true;
  PathFacts facts;
  fs.examine(canonical, facts);
  // Reached another way (the host's path of a drive, a second drive letter for its folder).
  const std::string where = facts.finalPath.empty() ? canonical : facts.finalPath;
  const std::string normal = normalFolder(where);
  if (isRootLike(normal) || listed(normal)) return true;
  loadIdentities();
  if (facts.identity.known && folderIds_.count(facts.identity)) return true;
  return isSystemFolder(normal, where);
}

bool ProtectedLocations::isSystemFolder(const std::string& normal, const std::string& path) const {
  loadFolders();
  // The Windows folder's own first level is where the system keeps what it needs (its inf
  // files, fonts, help, logs, side-by-side libraries, temporary files): every folder there.
  const size_t cut = normal.rfind('\\');
  if (!windows_.empty() && cut == windows_.size() && normal.compare(0, cut, windows_) == 0) return true;
  const bool inWindows = isInside(normal, windows_);
  const bool inProgramFiles =
      std::any_of(programFiles_.begin(), programFiles_.end(), [&](const std::string& f) { return isInside(normal, f); });
  if (!inWindows && !inProgramFiles) return false;
  auto known = systemFolders_.find(normal);
  if (known != systemFolders_.end()) return known->second;
  const bool verdict = holdsSystemFile(path, inWindows);
  systemFolders_[normal] = verdict;
  return verdict;
}

// Deleting a folder deletes what is in it: a folder holding a file of the system's, at any
// depth, is the system's. Looked through breadth first, so the files nearest the top, the
// likeliest to tell, are read first.
bool ProtectedLocations::holdsSystemFile(const std::string& folder, bool inWindows) const {
  FileSystem& fs = platform_.fs;
  std::deque<std::string> pending{folder};
  size_t looked = 0;
  while (!pending.empty()) {
    const std::string at = std::move(pending.front());
    pending.pop_front();
    const std::unique_ptr<FolderStream> stream = fs.streamFolder(at);
    if (!stream) continue;
    for (FolderEntryView e; stream->next(e);) {
      if (++looked > kMostEntriesLooked) return true;
      // A link leads elsewhere: the removal takes the link itself, never what it points to.
      if (e.attributes & kAttrLink) continue;
      std::string child = at + "\\" + std::string(e.name, e.length);
      if (e.attributes & kAttrFolder) {
        pending.push_back(std::move(child));
        continue;
      }
      turn();
      const FileLook look = lookAtFile(fs, child);
      if ((inWindows && !look.program) || isSystemProgram(child, look.company, look.finalPath)) return true;
    }
  }
  return false;
}

bool ProtectedLocations::isSystemProgram(const std::string& path, const std::string& company,
                                         const std::string& finalPath) const {
  return isSystemPublisher(company) || platform_.fs.systemProtectsFile(finalPath.empty() ? path : finalPath);
}

bool ProtectedLocations::isSystemFile(const std::string& path, HeldFile* held) const {
  FileSystem& fs = platform_.fs;
  const std::string canonical = fs.canonicalPath(path);
  if (canonical.empty()) return false;  // names no one file (the scan never judges such a path)
  // Another way into the Windows folder starts on another drive (the host's path of a drive
  // under Wine, a substituted drive, a share): only then is the file's final path asked. A link
  // on the way from the Windows folder's own drive is not looked for here; the removal never
  // goes through one.
  loadFolders();
  const bool otherDrive = windows_.size() < 2 || toUpper(canonical.substr(0, 2)) != windows_.substr(0, 2);
  FileLook look = held ? lookThrough(*held, canonical) : lookAtFile(fs, canonical, otherDrive);
  if (held && otherDrive) look.finalPath = held->facts().finalPath;
  if (isSystemProgram(canonical, look.company, look.finalPath)) return true;
  if (look.program) return false;
  return isInside(normalFolder(look.finalPath.empty() ? canonical : look.finalPath), windows_);
}

bool ProtectedLocations::isOwnFile(const std::string& path) const {
  FileSystem& fs = platform_.fs;
  const std::string canonical = fs.canonicalPath(path);
  if (canonical.empty()) return false;  // names no one file (the scan never judges such a path)
  if (!appLoaded_) {
    appLoaded_ = true;
    app_ = normalFolder(fs.canonicalPath(appFolder_));
  }
  const std::string p = normalFolder(canonical);
  const size_t cut = p.rfind('\\');
  const std::string name = p.substr(cut == std::string::npos ? 0 : cut + 1);
  bool ownName = false;
  for (const char* own : kOwnFiles) ownName = ownName || iequals(name, own);
  if (!ownName) return false;  // another name for one of them is a hard link: deleting it takes only the name
  if (!app_.empty() && cut == app_.size() && p.compare(0, cut, app_) == 0) return true;
  // The same file reached another way (another drive letter for the same folder, a share).
  loadProgramFiles();
  PathFacts facts;
  return !programFileIds_.empty() && fs.examine(canonical, facts) && facts.identity.known &&
         programFileIds_.count(facts.identity) > 0;
}

}  // namespace quillon
