// The definition files and the other data files of the application folder: where they live,
// the start-up and start-of-scan steps that install, check, count and discard them, and the
// definitions date.
#pragma once
#include <cstdint>
#include <string>

#include "definitions/line_reader.h"
#include "platform/platform.h"

namespace quillon {

constexpr const char* kRegistryDefs = "RegistryDefinition.dat";
constexpr const char* kFileDefs = "FileDefinition.dat";
constexpr const char* kDirectoryDefs = "DirectoryDefinition.dat";
constexpr const char* kExeDefs = "ExeDefinition.dat";
constexpr const char* kCookieDefs = "BlockedCookies.dat";
constexpr const char* kDateFile = "date.dat";
constexpr const char* kExclusionFile = "ENoSignature.txt";
constexpr const char* kReportFile = "Scan_Log.txt";
constexpr const char* kQuarantineFolder = "quarantine";  // below the application folder
constexpr const char* kQuarantineLog = "QuarantineLog.txt";  // in the quarantine folder
// The locks of the two stores that several programs share (see FileSystem::lockStore): the
// definition set's beside it, the quarantine's inside its folder.
constexpr const char* kDefinitionsLock = "Definitions.lock";
constexpr const char* kQuarantineLock = "Quarantine.lock";
// How long a program waits for another to finish with a store before it gives up.
constexpr uint32_t kStoreLockWaitMs = 10000;
constexpr const char* kDefaultDefinitionDate = "3/16/2006 12:00:00 AM";
// The five definition files in the order an update visits them, which is also the order in
// which the publisher's statement gives their digests.
inline constexpr const char* kDefinitionFiles[] = {kFileDefs, kExeDefs, kRegistryDefs, kCookieDefs, kDirectoryDefs};

// True when a plain listing of exactly `path` returns its last component (ignoring case):
// hidden and system files, folders, wildcards and device names never count as present.
bool fileExists(FileSystem& fs, const std::string& path);
// Attributes a plain listing shows as a file: there, and no folder, hidden or system file.
inline bool plainFileAttributes(uint32_t a) {
  return a != kNoSuchPath && !(a & (kAttrFolder | kAttrHidden | kAttrSystem));
}

struct DefinitionCounts {
  int32_t cookie = 0, exe = 0, registry = 0, file = 0;  // file = file plus directory lines
  int32_t total() const { return cookie + exe + registry + file; }
};

// What a program says when another one kept a store busy past the wait: `store` is "the
// definitions" or "the quarantine".
std::string storeBusyText(const std::string& product, const std::string& store);

class DefinitionStore {
 public:
  DefinitionStore(FileSystem& fs, std::string appFolder) : fs_(fs), folder_(std::move(appFolder)) {}

  std::string path(const std::string& name) const { return folder_ + "\\" + name; }
  const std::string& folder() const { return folder_; }
  bool exists(const std::string& name) const { return fileExists(fs_, path(name)); }
  // Opens a data file for streaming; a file the listing does not show gives a closed reader.
  LineReader open(const std::string& name) const;
  // The lock of the definition set (kDefinitionsLock, see FileSystem::lockStore): exclusive for
  // whoever writes the set, shared for the whole of a scan. Null unless `result` is Taken.
  std::unique_ptr<StoreLockHold> lock(bool exclusive, uint32_t waitMs, Pump* pump, StoreLockResult& result) const;

  // All five definition files present? At the first one missing, deletes them all and the
  // date (so the date falls back to its default) and returns false.
  bool check();
  void deleteAll();
  DefinitionCounts count() const;
  // Replaces installed files with waiting "DL" downloads.
  void installDownloaded();
  std::string readDate() const;
  void writeDate(const std::string& text);

 private:
  FileSystem& fs_;
  std::string folder_;
};

}  // namespace quillon
