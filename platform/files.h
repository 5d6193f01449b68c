// Files, folders and drives, by Windows path rules: reading and writing, listings, replacing in
// one step, the locks of shared stores, and the identity of what a path names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

class InputFile {
 public:
  virtual ~InputFile() = default;
  virtual size_t read(char* buf, size_t n) = 0;  // 0 at end of file or on error
  // Moves to a byte position from the start; reads past the end then give 0. Streams that
  // cannot move say false.
  virtual bool seek(uint64_t position) { return false; }
  // The full path the system resolves the open file to, through links and other names of its
  // drive (a substituted drive, under Wine the host's view of a drive); "" when it cannot say.
  virtual std::string finalPath() { return ""; }
};

// A file kept open for appending: each add goes to its end at once (a reader sees it), without
// opening the file again.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  virtual bool add(const std::string& data) = 0;
};

// A file made anew and kept open for writing until it is closed or let go: every piece goes
// through this one handle, so nothing else can take its name, cut it short or write into it
// meanwhile.
class NewFile {
 public:
  virtual ~NewFile() = default;
  virtual bool write(const std::string& data) = 0;
  // The bytes the file holds now, asked through its handle; false when the system cannot say.
  virtual bool size(uint64_t& bytes) = 0;
  // Gives the file the attribute bits among kKeptAttributes, through the handle that wrote it:
  // the last call before close, since a read-only file takes no more writes.
  virtual bool setAttributes(uint32_t attributes) = 0;
  // Gives the file the name `to` (a full path in the same folder) once every write is done,
  // never over a name that exists; false when the name is taken or the move failed, and the
  // file keeps the name it had. Through the handle where the system can; where it cannot, the
  // file is let go first and moved by name.
  virtual bool moveTo(const std::string& to) = 0;
  // Lets go of the file; false when a write or the close itself failed.
  virtual bool close() = 0;
};

// A lock that the programs sharing one store (the quarantine, the definition set) take before
// they touch it: the window, the console and a scheduled run may act at once. It is let go when
// the hold is destroyed, or when its process ends, however it ends.
class StoreLockHold {
 public:
  virtual ~StoreLockHold() = default;
};
enum class StoreLockResult {
  Taken,
  Busy,    // another program still held it when the wait ran out
  Failed,  // the lock file could not be made or opened
};

// Attribute bits with the system's numbers, and the answer for a path that names nothing.
constexpr uint32_t kAttrReadOnly = 0x1, kAttrHidden = 0x2, kAttrSystem = 0x4, kAttrFolder = 0x10, kAttrArchive = 0x20;
constexpr uint32_t kAttrLink = 0x400;  // a reparse point: symbolic link or junction
// The bits a copy keeps of its original and gives back with it.
constexpr uint32_t kKeptAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

class Pump;

// One entry of a folder listing that leaves nothing out.
struct FolderEntry {
  std::string name;
  uint32_t attributes = 0;
  uint64_t size = 0;
};
constexpr uint32_t kNoSuchPath = 0xFFFFFFFFu;

// What a names-only folder listing found.
enum class FolderListing {
  Listed,    // the entries are all there
  NoFolder,  // no folder of that path exists, nor anything below it
  TooLarge,  // more entries than asked for
  Failed,    // anything else (refused, not ready, a name the system rejects)
};

// One entry of a streamed folder listing. `name` belongs to the stream and holds only until
// its next call, so a walk of a whole drive copies no names it does not keep.
struct FolderEntryView {
  const char* name = nullptr;
  size_t length = 0;
  uint32_t attributes = 0;
};

class FolderStream {
 public:
  virtual ~FolderStream() = default;
  // The next entry ("." and ".." left out); false at the end or when the listing fails.
  virtual bool next(FolderEntryView& entry) = 0;
};

// What makes a file or folder the one it is, whatever path it is reached by: the serial number
// of its volume and its index on that volume. `known` is false when the system could not say.
struct FileIdentity {
  uint64_t volume = 0, index = 0;
  bool known = false;
  bool operator==(const FileIdentity& o) const { return known && o.known && volume == o.volume && index == o.index; }
  bool operator!=(const FileIdentity& o) const { return !(*this == o); }
  bool operator<(const FileIdentity& o) const { return volume != o.volume ? volume < o.volume : index < o.index; }
};

// What a look at a path through a handle that does not follow links finds.
struct PathFacts {
  FileIdentity identity;
  bool folder = false;
  uint32_t attributes = 0;  // its attribute bits
  // The path leads somewhere else: what it names carries a reparse point (a symbolic link,
  // junction or mount point), or the system resolves the path to another one (a link it does
  // not mark as such, or a folder on the way that is a link).
  bool link = false;
  // The full path the system resolves it to, in lexicalFullPath's form; "" when it cannot say.
  // Another route to the same place (another drive letter for its folder, the host's path of
  // a drive under Wine) ends in the same final path.
  std::string finalPath;
};

// A file or folder looked at through a handle that stays open until the hold ends. Meanwhile
// nobody can rename, move or delete it, so nothing (a link least of all) can be put in its
// place; others may still open, read and list it.
class HeldPlace {
 public:
  virtual ~HeldPlace() = default;
  const PathFacts& facts() const { return facts_; }

 protected:
  PathFacts facts_;
};

// A file held for its removal: opened for reading and deletion and shared with nobody, so a
// program that has it open is seen at once, and none can open it until the hold ends. What is
// copied (read through this very handle) and then deleted is the file that was looked at. Read
// as a stream from its start; `seek` moves back, so that the file can be looked at (its maker)
// through the hold and then copied.
class HeldFile : public HeldPlace, public InputFile {
 public:
  // Deletes the file through the held handle (a read-only one too); false when that is refused
  // or the file turned out to be a folder or a link. The file goes when the hold ends.
  virtual bool deleteNow() = 0;
};

// Why a file could not be held.
enum class HoldFailure {
  None,
  Absent,  // nothing is there
  InUse,   // another program has it open
  Refused, // anything else (access denied, a name that names no one place)
};

// The full form of an absolute path by text alone: "/" read as "\", runs of separators
// collapsed, "." and ".." resolved, the trailing dots and blanks the system drops from the last
// name dropped, no trailing separator but a drive root's, the drive letter in upper case. ""
// for a relative ("a\b", "..\x"), drive-relative ("C:x") or rooted ("\x") path and for the
// device namespaces ("\\.\", "\\?\"): no such path names one place.
std::string lexicalFullPath(const std::string& path);
// Whether the path could name one place at all: "X:\\" or "X:/" first, or a share's "\\\\"
// (not a device namespace). A test of its first characters, cheap enough for every line.
inline bool isAbsolutePath(const std::string& p) {
  auto sep = [](char c) { return c == '\\' || c == '/'; };
  if (p.size() >= 3 && ((p[0] | 0x20) >= 'a' && (p[0] | 0x20) <= 'z') && p[1] == ':' && sep(p[2])) return true;
  return p.size() > 2 && sep(p[0]) && sep(p[1]) && p[2] != '.' && p[2] != '?';
}

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The attribute bits of what `path` names, or kNoSuchPath when nothing answers to it (a
  // wildcard names nothing). One probe, several times cheaper than a listing, so that a scan
  // of mostly absent names pays the listing only for the few that are there.
  virtual uint32_t attributes(const std::string& path) = 0;
  // Names of the plain files a listing of `pattern` returns: folders, hidden and system files
  // are left out, exactly as a default directory listing does.
  virtual std::vector<std::string> listFiles(const std::string& pattern) = 0;
  virtual bool folderExists(const std::string& path) = 0;
  // Null on failure and for anything but a disk file (a device or pipe can block a read).
  virtual std::unique_ptr<InputFile> openRead(const std::string& path) = 0;
  virtual bool readAll(const std::string& path, std::string& out) = 0;
  // Writes (or appends) bytes; creates the file when absent.
  virtual bool write(const std::string& path, const std::string& data, bool append) = 0;
  virtual bool deleteFile(const std::string& path) = 0;
  virtual bool rename(const std::string& from, const std::string& to) = 0;
  // Puts `from` in the place of `to` in one step, whether or not `to` exists: at every moment
  // `to` is wholly the old file or wholly the new one, and the change is on the disk when this
  // returns. On failure `to` is left as it was.
  virtual bool replaceFile(const std::string& from, const std::string& to) = 0;
  // Copies one file; with `failIfExists` an existing `to` is kept and the copy fails.
  virtual bool copyFile(const std::string& from, const std::string& to, bool failIfExists) = 0;
  // Copies a folder with everything in it into `to` (made when missing), overwriting files of
  // the same name. Links and junctions inside are not followed: what they point to lies
  // outside the folder. False when anything could not be copied.
  virtual bool copyFolderTree(const std::string& from, const std::string& to) = 0;
  // Makes the folder unless it is already there (its parent must exist); false when it
  // cannot be made or the name is taken by a file.
  virtual bool createFolder(const std::string& path) = 0;
  // Gives a file or folder the attribute bits among kKeptAttributes (the rest as they are),
  // through a handle on what the path names, never what a link there leads to; false when that
  // is a link or the bits cannot be set. Without an implementation of its own, false.
  virtual bool setAttributes(const std::string& path, uint32_t attributes) { return false; }
  // Deletes a folder with everything in it, read-only and hidden files included.
  virtual bool deleteFolderTree(const std::string& path) = 0;
  // Every entry of a folder, hidden, system, folders and links included ("." and ".." left
  // out); empty when the folder cannot be listed.
  virtual std::vector<FolderEntry> listFolder(const std::string& folder) = 0;
  // The same entries one at a time, as the system hands them over, so that a folder of any
  // size costs no more memory than one entry; null or empty when the folder cannot be listed. Without an
  // implementation of its own, it streams a whole listFolder.
  virtual std::unique_ptr<FolderStream> streamFolder(const std::string& folder);
  // Every entry of a folder by its long name exactly as the system has it (UTF-8, see
  // utf8FromUtf16le) with its attributes, sizes left at 0: one read of the folder without short
  // names. At most `maxEntries` are given (TooLarge past them; 0 asks only whether the folder is
  // there). `folder` is code-page text, as every path here. A large folder takes a while to
  // read: with a `pump`, the message loop gets its turns while it is read. Without an
  // implementation of its own, Failed.
  virtual FolderListing listFolderNames(const std::string& folder, std::vector<FolderEntry>& entries,
                                        size_t maxEntries, Pump* pump = nullptr);
  // The size of a file in bytes; false when it cannot be looked at.
  virtual bool fileSize(const std::string& path, uint64_t& size) = 0;
  // Makes the file `path`, which must not exist yet, and keeps it open for writing: others may
  // read it meanwhile, but not write, rename or delete it. Null when something of that name
  // exists or the file cannot be made. Without an implementation of its own, it is made empty
  // and each write appends to it.
  virtual std::unique_ptr<NewFile> createNew(const std::string& path);
  // Opens a file (made when absent) for a run of appends; null when it cannot be opened. Without
  // an implementation of its own, each add is one appending write.
  virtual std::unique_ptr<AppendFile> openAppend(const std::string& path);
  // Cuts a file back to its first `size` bytes (a write that failed half-way is taken back);
  // false when it cannot. Without an implementation of its own, it rewrites what is kept.
  virtual bool truncate(const std::string& path, uint64_t size);

  // Takes the lock that the file `path` (made when absent) stands for: `exclusive`, or shared
  // with every other shared holder. While another program holds it, waits up to `waitMs`,
  // giving `pump` (when given) its turns. Null unless `result` is Taken. Without an
  // implementation of its own, one program is alone: every lock is taken at once.
  virtual std::unique_ptr<StoreLockHold> lockStore(const std::string& path, bool exclusive, uint32_t waitMs,
                                                   Pump* pump, StoreLockResult& result);

  // ---- identity: what a path names, not how it is spelt
  // The one spelling of a place: lexicalFullPath, then every short (8.3) name of the part that
  // exists expanded to its long name. "" when the path names no one place (relative,
  // drive-relative, a device) or its long form has characters the program's text cannot hold.
  // Without an implementation of its own, lexicalFullPath.
  virtual std::string canonicalPath(const std::string& path);
  // Opens what the path names without following a link and says what it is; false when
  // nothing can be opened there. Without an implementation of its own, the attributes answer
  // (identity unknown).
  virtual bool examine(const std::string& path, PathFacts& facts);
  // Deletes one file through the very handle it was checked with: opened without following
  // links, it must be no folder and no link, and have `expected` as its identity when that is
  // known. A read-only file is deleted too. False when anything of this does not hold.
  virtual bool deleteFileChecked(const std::string& path, const FileIdentity& expected);
  // Holds a file for its removal (see HeldFile); null when it cannot be held, and `why` (when
  // given) says why. A file another program has open is waited for up to `inUseWaitMs` (a
  // program just stopped lets go of its file a moment later). Without an implementation of
  // its own, examine now, read by path and deleteFileChecked later.
  virtual std::unique_ptr<HeldFile> holdFile(const std::string& path, HoldFailure* why = nullptr,
                                             uint32_t inUseWaitMs = 0);
  // Holds a file or folder in place (see HeldPlace) and says what it is, without following a
  // link; null when nothing can be opened there. Without an implementation of its own, examine
  // (nothing is held).
  virtual std::unique_ptr<HeldPlace> holdPlace(const std::string& path);
  // deleteFolderTree for a folder that must still have `expected` as its identity (when known)
  // and be no link. Links inside are removed as links where that leaves what they point to
  // untouched; a link that cannot be removed so stays, and the folder with it (false).
  virtual bool deleteFolderTreeChecked(const std::string& path, const FileIdentity& expected);
  // Whether the system itself guards the file as one of its own (Windows Resource Protection).
  // Without an implementation of its own, and where the system keeps no such list, false.
  virtual bool systemProtectsFile(const std::string& path) { return false; }
};


// ---- Drives -----------------------------------------------------------------------------------
enum class DriveType { Unknown, Removable, Fixed, Network, CdRom, RamDisk };

struct Drive {
  char letter = 0;  // upper case
  DriveType type = DriveType::Unknown;
  // The drive is another way into folders the machine already has rather than a disk of its
  // own: a folder substituted as a drive, the root of another drive under a second letter, or,
  // under Wine, a drive mapping the host's file system, which holds the prefix's own drives.
  bool mapped = false;
};

class Drives {
 public:
  virtual ~Drives() = default;
  // The machine's drive letters in the system's order, each with its type.
  virtual std::vector<Drive> list() = 0;
  // Whether the drive holds a readable volume now. Asks the drive, which a removable or CD
  // drive may answer slowly; never shows the system's "insert a disk" box.
  virtual bool ready(char letter) = 0;
};

}  // namespace quillon
