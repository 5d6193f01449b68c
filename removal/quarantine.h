// The quarantine: every file, folder, cookie and registry item the removal deletes is first
// kept here, so that nothing a user removes is lost.
//
// Folder: <application folder>\quarantine. In it:
//   - the stored copies, each under a name of its own ("<id>-<original name>"; a registry item
//     as "<id>-registry.reg", in the text format the system's registry editor imports), so two
//     threats with the same file name never share or overwrite a copy;
//   - QuarantineLog.txt, the human-readable log (appended, never truncated);
//   - QuarantineIndex.txt, one line per stored copy: id, date, kind, original location, stored
//     name and size, separated by tabs, each field with "%", tab, CR and LF written as "%25",
//     "%09", "%0D", "%0A". `quillon-cli quarantine list` and `restore` read it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillon {

constexpr const char* kQuarantineIndex = "QuarantineIndex.txt";

enum class QuarantineKind { File, Folder, Cookie, Registry };
const char* kindName(QuarantineKind kind);

struct QuarantineEntry {
  int id = 0;
  std::string date;
  QuarantineKind kind = QuarantineKind::File;
  std::string original;  // a path, or a registry key with its value name after a tab-free "\"
  std::string stored;    // the name inside the quarantine folder
  uint64_t size = 0;     // bytes of the copy (a folder: of all its files)
};

// The root of a predefined registry handle by name ("HKEY_CURRENT_USER"); "" for others.
std::string registryRootName(uint32_t root);
bool registryRootFromName(const std::string& name, uint32_t& root);

class Quarantine {
 public:
  Quarantine(FileSystem& fs, Registry& registry, Clock& clock, std::string appFolder);

  std::string folder() const { return folder_; }
  // Makes the quarantine folder if needed; the store and log calls expect it to be there.
  bool ensureFolder();

  // Copies a file or cookie into the quarantine and records it; only a copy whose size matches
  // the original counts. The id of the new entry, or 0 when nothing could be kept.
  int storeFile(const std::string& path, QuarantineKind kind);
  // The same for a folder with everything in it (links inside are not followed).
  int storeFolder(const std::string& path);
  // Exports a registry value (or, with `wholeKey`, the key with all its subkeys and values) into
  // the quarantine; 0 when it does not exist or could not be exported whole.
  int storeRegistry(uint32_t root, const std::string& keyPath, const std::string& valueName, bool wholeKey);

  // The log's two entry forms, exactly as users and the scan report read them.
  void logFile(const std::string& path, const std::string& name);
  void logRegistry(const std::string& key, const std::string& value);

  std::vector<QuarantineEntry> entries() const;

  // During a removal the index and the log stay open, so that each item costs no opening of
  // either; every line still reaches the file as it is written.
  void beginRun();
  void endRun();

  // Puts an entry back where it came from. Never overwrites anything that is there now; "" on
  // success, otherwise what went wrong, in a sentence for the user.
  std::string restore(int id);

 private:
  int nextId();
  bool record(const QuarantineEntry& e);
  std::string storedPath(const std::string& stored) const { return folder_ + "\\" + stored; }
  FileSystem& fs_;
  Registry& reg_;
  Clock& clock_;
  std::string folder_;
  int lastId_ = -1;  // read from the index on first use
  std::unique_ptr<AppendFile> index_, log_;
  bool append(std::unique_ptr<AppendFile>& open, const std::string& file, const std::string& data);
};

// The bytes of a file, or of all files below a folder (links not followed); false when a part
// could not be listed.
bool treeSize(FileSystem& fs, const std::string& path, uint64_t& bytes);

}  // namespace quillon
