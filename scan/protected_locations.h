// Locations whose removal would wreck the machine, the user's own places or the program itself.
// Whatever a definition says, signed or not, a finding at one of them is never reported, so it
// can never be checked and removed; the removal asks again before it deletes anything.
//
// Folders: every drive root however reached (any path of three characters or fewer, and by
// identity the root of every fixed drive, so that the host's path of drive C: under Wine or a
// second letter for the same folder is one too), every share root ("\\server\share"), every
// folder the shell's known-folder list names (the user's Downloads, Saved Games, Links, ...)
// with the older numbered special folders, the user's Temp folder, the system folder, the
// folder holding the profiles, the application folder and its quarantine, and every folder
// that holds one of these (deleting "C:\Users" deletes every profile). Below them, the system's
// own folders: every folder directly in the Windows folder, and any folder inside the Windows
// folder or Program Files that holds a file of the system's (below). Other folders below them
// (a program's folder in Program Files) stay findable.
//
// Files: the program's own files in its application folder, and the system's own: those the
// system guards (Windows Resource Protection), those whose version information names the
// system's maker, and, inside the Windows folder, every file that is not a program (settings,
// drivers' data, hosts, inf files): there only programs can do harm, and a program whose
// maker is another (an adware library in the system folder) stays findable.
//
// A location is judged by what it names, not by how it is spelt: its canonical form (full path,
// long names, no "." or "..") and the final path the system resolves it to are compared, and
// where it exists, its identity (volume and file index) against those of the protected folders
// and of the program's own files. A location that names no one place (a relative path) is
// protected: it is never a finding.
//
// Registry: keys are judged by the one place they name, whatever root or alias spells it (the
// classes root and SOFTWARE\Classes, a user's hive under HKEY_USERS and HKEY_CURRENT_USER, a
// numbered control set and the current one, the 32-bit view and the 64-bit one). Never
// findings: a root, a key directly below a root or directly below the classes root, the keys
// in kProtectedRegistryKeys, and the keys and values that start Windows or open programs (see
// protected_keys.cpp): the SYSTEM hive but for services that run another maker's program, the
// machine's identity, Windows NT's own settings (Winlogon among them), the commands that open
// file types and the settings of the Windows version key. What the system guards itself
// (Windows Resource Protection) is asked. Values inside the other keys (a Run value) stay
// findable: deleting one value never takes the key with it.
//
// What the system answers (its folders, the drives' identities, a service's program, what it
// guards) is asked once per run and kept; a location is asked about only when it exists.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillon {

class ProtectedLocations {
 public:
  // The shell, the drives and the system folder are asked on first use, once. Taking the
  // folders' identities is a hundred questions to the system: with a `pump`, the message loop
  // gets its turn between them.
  ProtectedLocations(Platform& platform, std::string appFolder, Pump* pump = nullptr)
      : platform_(platform), appFolder_(std::move(appFolder)), pump_(pump) {}

  bool isProtectedFolder(const std::string& path) const;
  // A file that is never a finding: one of the program's own (isOwnFile) or of the system's
  // (isSystemFile). The removal asks this of every file before it deletes it.
  // `held`: the file as this program holds it, shared with nobody; it cannot be opened again by
  // its path then, so its bytes are read through the hold (which the caller moves back to its
  // start before it reads on), and its final path is the hold's.
  bool isProgramFile(const std::string& path, HeldFile* held = nullptr) const {
    return isOwnFile(path) || isSystemFile(path, held);
  }
  // The program's own files in its application folder: its two programs and the data files it
  // keeps there. A definition naming one would otherwise have the removal delete the program
  // or its definitions.
  bool isOwnFile(const std::string& path) const;
  // The system's own files: guarded by the system, made by the system's maker, or no program
  // inside the Windows folder. Reads the file's first bytes and its version information.
  bool isSystemFile(const std::string& path, HeldFile* held = nullptr) const;
  // A registry item (a whole key when `valueName` is empty) that is never a finding.
  bool isProtectedRegistryItem(uint32_t root, const std::string& keyPath, const std::string& valueName) const;
  // The same for a whole key by its name alone, without asking the system (a service is taken
  // as the system's).
  static bool isProtectedRegistryKey(uint32_t root, const std::string& keyPath);
  // The protected folders themselves, in the normal form compared against (for tests and docs).
  const std::vector<std::string>& folders() const;

  // Upper case, single backslashes, no trailing backslashes, spaces or dots: the form in which
  // two spellings of one folder compare equal.
  static std::string normalFolder(const std::string& path);
  // The one path of a key, whatever root or alias names it, in normalFolder's form without a
  // leading backslash: the classes root as "SOFTWARE\CLASSES", a hive under HKEY_USERS as the
  // user's own, HKEY_CURRENT_CONFIG as its place in SYSTEM, "CONTROLSET001" as
  // "CURRENTCONTROLSET", "SOFTWARE\WOW6432NODE" as "SOFTWARE". "" for a root or a user's hive.
  static std::string machineKeyPath(uint32_t root, const std::string& keyPath);

 private:
  struct KeyVerdict {
    bool wholeKey = false, values = false;
  };
  void loadFolders() const;
  void loadIdentities() const;
  void loadProgramFiles() const;
  bool listed(const std::string& normal) const;
  // A folder inside the Windows folder or Program Files that is the system's (see above).
  bool isSystemFolder(const std::string& normal, const std::string& path) const;
  bool holdsSystemFile(const std::string& folder, bool inWindows) const;
  // A file the system guards or its maker made: the whole judgement for a program.
  bool isSystemProgram(const std::string& path, const std::string& company, const std::string& finalPath) const;
  KeyVerdict judgeKey(uint32_t root, const std::string& keyPath) const;
  // Whether the service named in a key path runs the system's program (or none at all).
  bool isSystemService(const std::string& service) const;
  void turn() const {
    if (pump_) pump_->yield();
  }

  Platform& platform_;
  std::string appFolder_;
  Pump* pump_;
  mutable bool foldersLoaded_ = false, idsLoaded_ = false, programFilesLoaded_ = false, appLoaded_ = false;
  mutable std::vector<std::string> folders_;
  // The folders whose identities are taken: every protected folder, in its given spelling.
  mutable std::vector<std::string> idSources_;
  mutable std::string windows_;                   // the Windows folder, normal form
  mutable std::vector<std::string> programFiles_;  // the Program Files folders, normal form
  // Of the protected folders, every folder holding one and every fixed drive's root; of the
  // program's own files.
  mutable std::set<FileIdentity> folderIds_, programFileIds_;
  mutable std::string app_;  // the application folder's canonical normal form
  mutable std::map<std::string, bool> systemFolders_, systemServices_;
  mutable std::map<std::string, KeyVerdict> keys_;
};

}  // namespace quillon
