// The quarantine: every file, folder, cookie and registry item the removal deletes is first
// kept here, so that nothing a user removes is lost.
//
// Folder: <application folder>\quarantine. In it:
//   - the stored copies, each under a name of its own, so two threats with the same file name
//     never share or overwrite a copy: a file as "<id>-<original name>.kept" in kept form
//     (kept_copy.h: it cannot run, and its bytes are not the original's), a folder as
//     "<id>-<original name>" with every file inside kept so, a registry item as
//     "<id>-registry.reg" in the text format the system's registry editor imports. Copies an
//     earlier version stored as they were ("<id>-<original name>") are restored as they are;
//   - "unfinished", where a file's copy is made before it moves to its stored name;
//   - QuarantineLog.txt, the human-readable log (appended, never truncated);
//   - QuarantineIndex.txt, one line per stored copy: id, date, kind, original location, stored
//     name and size, then for a copy in kept form "sha256:" and the original's digest, then
//     "attributes:" and the original's letters among R, H, S and A (read-only, hidden, system,
//     archive; a line of an earlier version has none), separated by tabs, each field with "%", tab, CR and LF written as "%25", "%09", "%0D", "%0A". A line
//     "last id<TAB>N" keeps the ids of deleted items from being given again.
//     `quillon-cli quarantine list`, `restore`, `delete` and `purge` read it.
// One program at a time writes here: whatever stores, takes back, restores or deletes holds the
// lock "Quarantine.lock" in the folder (see lock()); `quarantine list` reads without it, since
// the index changes only by whole lines added and by a replacement of the whole file in one
// step. Ids only grow: a new one is above every id in the index and every stored name in the
// folder, read once the lock is taken, whatever happened to the index, and no stored name that
// exists is ever written over.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "definitions/definition_store.h"
#include "platform/platform.h"

namespace quillon {

constexpr const char* kQuarantineIndex = "QuarantineIndex.txt";

enum class QuarantineKind { File, Folder, Cookie, Registry };
const char* kindName(QuarantineKind kind);

// Ids run from 1 to this; past it nothing more can be kept (and so nothing more is deleted).
constexpr int64_t kMaxQuarantineId = 999999999999999999;

struct QuarantineEntry {
  int64_t id = 0;
  std::string date;
  QuarantineKind kind = QuarantineKind::File;
  std::string original;  // a path, or a registry key with its value name after a tab-free "\"
  std::string stored;    // the name inside the quarantine folder
  uint64_t size = 0;     // bytes of the original (a folder: of all its files)
  bool kept = false;     // stored in kept form
  // The original's SHA-256 as text: for a kept copy; "" for one stored as it was, and for a kept
  // copy whose index line was lost.
  std::string digest;
  // The original's bits among kKeptAttributes, given back with it; none for a copy stored
  // before they were recorded, which comes back with the bits a new file gets.
  std::optional<uint32_t> attributes;
};

// The root of a predefined registry handle by name ("HKEY_CURRENT_USER"); "" for others.
std::string registryRootName(uint32_t root);
bool registryRootFromName(const std::string& name, uint32_t& root);

class Quarantine {
 public:
  Quarantine(Platform& platform, std::string appFolder);
  // Without `signatures` nothing can be stored or restored from kept form (there is no digest to
  // take or check): enough to name the folder and list what is in it.
  Quarantine(FileSystem& fs, Registry& registry, Clock& clock, std::string appFolder, Signatures* signatures = nullptr);

  std::string folder() const { return folder_; }
  // Makes the quarantine folder if needed; the store and log calls expect it to be there.
  bool ensureFolder();

  // Takes the lock for one whole operation (the folder is made first), waiting up to `waitMs`
  // while another program holds it, with `pump` given its turns. Every store, take-back and
  // restore needs it, and refuses without it; what others wrote before counts from now on.
  StoreLockResult lock(Pump* pump, uint32_t waitMs = kStoreLockWaitMs);
  void unlock();
  bool locked() const { return lock_ != nullptr; }
  // What to tell the user when lock() did not take the lock; nothing was changed.
  std::string lockProblem(StoreLockResult result, const std::string& product) const;
  // Copies left half made by a program that ended while it stored them ("<id>-<name>.part",
  // files and folders, and the files of the folder "unfinished") go. Under the lock, nobody is
  // making one now.
  void clearUnfinished();

  // Copies a file or cookie into the quarantine in kept form, read through the held file, and
  // records it with the digest of what was read; only a copy whose size matches the original
  // counts. The id of the new entry, or 0 when nothing could be kept.
  int64_t storeFile(HeldFile& source, const std::string& path, QuarantineKind kind);
  // The same for a folder with everything in it (links inside are left out).
  int64_t storeFolder(const std::string& path);
  // Exports a registry value (or, with `wholeKey`, the key with all its subkeys and values) into
  // the quarantine; 0 when it does not exist or could not be exported whole. `text`, when given,
  // gets the export.
  int64_t storeRegistry(uint32_t root, const std::string& keyPath, const std::string& valueName, bool wholeKey,
                        std::string* text = nullptr);
  // Takes back the entry just stored, its index line and its copy, when the original stayed as
  // it was: an item that is still there leaves nothing behind. False when the line is no longer
  // the index's last (or the lock is not held); the entry then stays.
  bool withdrawLast();

  // The log's two entry forms, exactly as users and the scan report read them.
  void logFile(const std::string& path, const std::string& name);
  void logRegistry(const std::string& key, const std::string& value);

  // The index's entries, then any stored copy no index line names (its date unknown, and its
  // original place unless the log tells it).
  std::vector<QuarantineEntry> entries() const;

  // Puts an entry back where it came from. Never overwrites anything that is there now, never
  // writes through a link, and takes only a full path as a place; a kept copy is turned back
  // and checked against its digest whole before anything is written, so a damaged one changes
  // nothing. "" on success, otherwise what went wrong, in a sentence for the user.
  std::string restore(int64_t id);
  // Deletes entries for good: each one's stored copy, then (for all of them at once) their index
  // lines. One answer per id, in order: "" when it is gone, otherwise why not.
  std::vector<std::string> remove(const std::vector<int64_t>& ids);

  // Between holdFilesOpen(true) and (false), the index and the log stay open between writes
  // instead of being opened for each one: a removal holds them for its whole run. Others may
  // still read them and append beside: every write lands at the file's real end.
  void holdFilesOpen(bool hold);

 private:
  // The next id whose stored name is free; 0 when ids have run out. Without `probe`, the next
  // id above every one seen, for a caller whose own writes refuse a name that is taken.
  int64_t nextId(const std::string& name, bool probe = true);
  // Appends the entry's line whole, or leaves the index as it was; an earlier line left torn is
  // cut away first, so that it never swallows this one.
  bool record(const QuarantineEntry& e);
  bool indexEndsWhole(uint64_t& size);
  void addUnindexed(std::vector<QuarantineEntry>& out) const;
  // The highest id the index's "last id" lines keep, 0 without one.
  int64_t lastIdRecorded() const;
  // Writes the index anew without the lines of `gone` (stored names), in one step; false when
  // it could not, and the index stays as it was.
  bool dropLines(const std::vector<QuarantineEntry>& gone);
  // Why the place a file or folder came from cannot take it back now ("" when it can); every
  // folder on the way stays held in `way` until the restore is done.
  std::string placeProblem(const QuarantineEntry& e, std::vector<std::unique_ptr<HeldPlace>>& way);
  std::string restoreRegistry(const QuarantineEntry& e, const std::string& from);
  std::string restoreKeptFile(const QuarantineEntry& e, const std::string& from);
  std::string restoreFolder(const QuarantineEntry& e, const std::string& from);
  std::string storedPath(const std::string& stored) const { return folder_ + "\\" + stored; }
  std::string indexPath() const { return folder_ + "\\" + kQuarantineIndex; }
  void log(const std::string& text);
  // Appends through `held` (opened when it is not), closing it again unless files are held open.
  bool append(const std::string& path, std::unique_ptr<AppendFile>& held, const std::string& text);
  FileSystem& fs_;
  Registry& reg_;
  Clock& clock_;
  Signatures* signatures_;
  std::string folder_;
  int64_t lastId_ = -1;  // read from the index and the folder on first use
  bool hold_ = false;
  std::unique_ptr<StoreLockHold> lock_;
  std::unique_ptr<AppendFile> index_, log_;
  struct Last {
    int64_t id = 0;
    std::string stored;
    uint64_t indexBefore = 0, indexAfter = 0;
    bool folder = false;
  } last_;
};

// The bytes of a file, or of all files below a folder (links not followed); false when a part
// could not be listed.
bool treeSize(FileSystem& fs, const std::string& path, uint64_t& bytes);

}  // namespace quillon
