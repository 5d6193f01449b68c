// Locations whose removal would wreck the machine or the program itself. Whatever a definition
// says, a finding at one of them is never reported, so it can never be checked and removed.
//
// Folders: every drive root (and any path of three characters or fewer), every share root
// ("\\server\share"), the Windows, system and Program Files folders, the user profile and the
// folder holding the profiles, the root of every special folder the shell knows (desktop,
// documents, application data, start menu, fonts, cookies, ...), the application folder and its
// quarantine, and every folder that holds one of these (deleting "C:\Users" deletes every
// profile).
//
// A location is judged by what it names, not by how it is spelt: its canonical form (full path,
// long names, no "." or "..") is compared, and where it exists, its identity (volume and file
// index) against those of the protected folders and of the program's own files. A location that
// names no one place (a relative path) is protected: it is never a finding.
//
// Registry keys (a definition naming a whole key): a root, a key directly under a root
// ("HKEY_LOCAL_MACHINE\SOFTWARE"), and the keys in kProtectedRegistryKeys below. Values inside
// them stay findable: deleting one value never takes the key with it.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillon {

class ProtectedLocations {
 public:
  // The shell and the system folder are asked on first use, once. Taking the folders'
  // identities is some forty questions to the system: with a `pump`, the message loop gets its
  // turn between them.
  ProtectedLocations(FileSystem& fs, Shell& shell, RunningProcesses& processes, std::string appFolder,
                     Pump* pump = nullptr)
      : fs_(fs), shell_(shell), processes_(processes), appFolder_(std::move(appFolder)), pump_(pump) {}

  bool isProtectedFolder(const std::string& path) const;
  // The program's own files in its application folder: its two programs and the data files it
  // keeps there. A definition naming one would otherwise have the removal delete the program
  // or its definitions.
  bool isProgramFile(const std::string& path) const;
  static bool isProtectedRegistryKey(uint32_t root, const std::string& keyPath);
  // The protected folders themselves, in the normal form compared against (for tests and docs).
  const std::vector<std::string>& folders() const;

  // Upper case, single backslashes, no trailing backslashes, spaces or dots: the form in which
  // two spellings of one folder compare equal.
  static std::string normalFolder(const std::string& path);

 private:
  void load() const;
  void loadProgramFiles() const;
  // Whether what `path` names exists and has one of `identities`.
  bool hasIdentityIn(const std::string& path, const std::set<FileIdentity>& identities) const;
  FileSystem& fs_;
  Shell& shell_;
  RunningProcesses& processes_;
  std::string appFolder_;
  Pump* pump_;
  mutable bool loaded_ = false;
  mutable std::vector<std::string> folders_;
  // Of the protected folders and of every folder holding one; of the program's own files.
  mutable std::set<FileIdentity> folderIds_, programFileIds_;
  mutable std::set<std::string> examined_;  // folders whose identity was taken, in normal form
  mutable bool programFilesLoaded_ = false, appLoaded_ = false;
  mutable std::string app_;  // the application folder's canonical normal form
};

}  // namespace quillon
