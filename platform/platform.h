// What the program needs from the operating system, as small interfaces. The behaviour
// folders reach the system only through these; platform/win32 implements them on the Win32
// API and tests substitute fakes where they must control an outcome.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/datetime.h"

namespace quillon {

// ---- Registry -------------------------------------------------------------------------
// Predefined roots, with the values of their handles.
constexpr uint32_t kHkeyClassesRoot = 0x80000000u;
constexpr uint32_t kHkeyCurrentUser = 0x80000001u;
constexpr uint32_t kHkeyLocalMachine = 0x80000002u;
constexpr uint32_t kHkeyUsers = 0x80000003u;
constexpr uint32_t kHkeyCurrentConfig = 0x80000005u;
constexpr uint32_t kHkeyDynData = 0x80000006u;

constexpr uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7;
constexpr uint32_t kKeyRead = 0x20019, kKeyAllAccess = 0xF003F;

enum class RegStatus { Ok, NoKey, NoValue, Failed };

struct RegValue {
  uint32_t type = 0;
  std::string data;  // raw bytes as stored
};

// A key held open for many value queries; each answers as Registry::queryValue would.
class OpenRegistryKey {
 public:
  virtual ~OpenRegistryKey() = default;
  virtual RegStatus queryValue(const std::string& name, RegValue& out) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  virtual bool keyExists(uint32_t root, const std::string& path, uint32_t access) = 0;
  virtual RegStatus queryValue(uint32_t root, const std::string& path, const std::string& name,
                               uint32_t access, RegValue& out) = 0;
  // Creates the key when needed (read and write access), then sets the value.
  virtual bool setValue(uint32_t root, const std::string& path, const std::string& name,
                        const RegValue& value) = 0;
  virtual bool deleteValue(uint32_t root, const std::string& path, const std::string& name) = 0;
  virtual bool deleteTree(uint32_t root, const std::string& path) = 0;
  // The names of a key's subkeys and its values with their data; false when the key cannot be
  // opened for reading or a listing fails half-way.
  virtual bool enumerateKey(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                            std::vector<std::pair<std::string, RegValue>>& values) = 0;
  // Opens a key once for many queries, with `access`; `status` is Ok when it opened (exactly
  // when keyExists would say true), NoKey only when no such key exists (nor, then, anything
  // below it), Failed for any other refusal; null unless Ok. Without an implementation of its
  // own, keyExists decides and each query is a queryValue.
  virtual std::unique_ptr<OpenRegistryKey> openKey(uint32_t root, const std::string& path, uint32_t access,
                                                   RegStatus& status);

  // The calls above take and give text in the system code page, as definitions and settings
  // are written. Names from the system may hold any character: the exact calls below carry
  // every key and value name as UTF-8 (see utf8FromUtf16le) and every value as the bytes stored
  // (strings in UTF-16), so that what is read can be written back unchanged. By default they
  // are the calls above, for a registry whose names are plain bytes.
  // A name in the code page as an exact name.
  virtual std::string exactName(const std::string& codePageText) { return codePageText; }
  virtual bool keyExistsExact(uint32_t root, const std::string& path) { return keyExists(root, path, kKeyRead); }
  virtual RegStatus queryValueExact(uint32_t root, const std::string& path, const std::string& name, RegValue& out) {
    return queryValue(root, path, name, kKeyRead, out);
  }
  // Creates the key when needed, then sets the value.
  virtual bool setValueExact(uint32_t root, const std::string& path, const std::string& name, const RegValue& value) {
    return setValue(root, path, name, value);
  }
  // Creates a key (and its parents); true when it is there.
  virtual bool createKeyExact(uint32_t root, const std::string& path);
  virtual bool enumerateKeyExact(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                                 std::vector<std::pair<std::string, RegValue>>& values) {
    return enumerateKey(root, path, subkeys, values);
  }

  // Whether the system itself guards the key as one of its own (Windows Resource Protection).
  // Without an implementation of its own, and where the system keeps no such list, false.
  virtual bool systemProtectsKey(uint32_t root, const std::string& path) { return false; }
};

// ---- File system (Windows path rules) ---------------------------------------------------
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
constexpr uint32_t kAttrReadOnly = 0x1, kAttrHidden = 0x2, kAttrSystem = 0x4, kAttrFolder = 0x10;
constexpr uint32_t kAttrLink = 0x400;  // a reparse point: symbolic link or junction

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
// copied (read through this very handle) and then deleted is the file that was looked at.
class HeldFile : public HeldPlace {
 public:
  // The next bytes of the file, from its start on; 0 at its end or on an error.
  virtual size_t read(char* buf, size_t n) = 0;
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

// ---- Shell ----------------------------------------------------------------------------------
class Shell {
 public:
  virtual ~Shell() = default;
  // The shell's path of a special folder, without a trailing backslash; "" when unknown.
  virtual std::string specialFolder(int csidl) = 0;
  // The Programs folder asked through its item identifier list (the drive-root helper's way).
  virtual std::string programsFolderFromIdList() = 0;
  // The path of every folder the shell's known-folder list names that has one on this
  // machine (the user's Downloads, Saved Games, Links, ... as well as the older numbered
  // folders), without trailing backslashes. Without an implementation of its own, none.
  virtual std::vector<std::string> knownFolders() { return {}; }
  // The user's folder for temporary files, without a trailing backslash; "" when unknown.
  virtual std::string tempFolder() { return ""; }
};

// Starting other programs and documents; both return at once, without waiting.
class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts a program by command line in a normal window.
  virtual bool launch(const std::string& commandLine) = 0;
  // Opens a document with its associated program ("open" verb, normal window).
  virtual bool openDocument(const std::string& path) = 0;
};

// ---- Operating system and running processes ---------------------------------------------
struct OsVersion {
  uint32_t platformId = 2;  // 1: the 9x family, 2: the NT family
  uint32_t major = 0, minor = 0;
};
constexpr uint32_t kPlatform9x = 1, kPlatformNt = 2;

struct ProcessEntry {
  std::string name;
  uint32_t id = 0;
};

// The other programs running on the machine: listing them, looking at them, stopping them.
class RunningProcesses {
 public:
  virtual ~RunningProcesses() = default;
  virtual OsVersion osVersion() = 0;
  virtual std::string systemDirectory() = 0;
  // Ids from the process-status interface; false when the enumeration fails.
  virtual bool enumerateIds(std::vector<uint32_t>& ids) = 0;
  // Base name of the process's first module; "" when it cannot be opened or read.
  virtual std::string baseName(uint32_t pid) = 0;
  // Full path of the executable (first of up to 50 modules); false when it cannot be read.
  virtual bool executablePath(uint32_t pid, std::string& path) = 0;
  // Tool-help snapshot: each process's executable file text and id.
  virtual std::vector<ProcessEntry> snapshot() = 0;
  // When the process started, in 100 ns units since 1601 (UTC). Ids are reused: an id with
  // another start time is another program. False when the process cannot be looked at.
  virtual bool startTime(uint32_t pid, uint64_t& time) = 0;
  // Ends a process with the debug privilege held for just this call (on NT); false when the
  // privilege cannot be had or the process cannot be ended.
  virtual bool terminateById(uint32_t pid, uint32_t exitCode) = 0;
  // Waits up to `ms` for the process to end; true when it has ended or no such process
  // exists, false when it still runs or cannot be looked at (access refused).
  virtual bool waitForExit(uint32_t pid, uint32_t ms) = 0;
  // Asks one of the program's own copies to end as when its user closes it: the request goes
  // to each of its windows, and it answers by its usual exit path. False when it has no window
  // to ask (nothing was asked); whether it ends is for waitForExit to tell.
  virtual bool askToClose(uint32_t pid) { return false; }
  virtual uint32_t currentProcessId() = 0;
};

// ---- System Restore, component libraries, clipboard, single instance ---------------------------
struct RestorePointRequest {
  uint32_t eventType = 0, pointType = 0;
  int64_t sequence = 0;
  std::string description;  // cut to 63 characters by the caller
};

class SystemRestore {
 public:
  virtual ~SystemRestore() = default;
  // Calls the system restore client; false when it is missing or the call fails.
  virtual bool setRestorePoint(const RestorePointRequest& request, int64_t& sequenceOut) = 0;
};

class LibraryExports {
 public:
  virtual ~LibraryExports() = default;
  // Loads the library, calls its export (no arguments) if it has one, frees it; false when
  // the library does not load or lacks the export.
  virtual bool callExport(const std::string& libraryPath, const std::string& exportName) = 0;
};

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Empties the clipboard and, unless `text` is empty, puts `text` on it.
  virtual bool setText(const std::string& text) = 0;
  virtual std::string text() = 0;
};

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // True when another instance of the program already runs (the first call claims the name).
  virtual bool anotherInstanceRunning(const std::string& name) = 0;
  // A scan or removal marks the program busy for other processes while it runs; marks nest
  // within a process. Without an implementation of its own, nothing is marked.
  virtual void markBusy(const std::string& name, bool busy) {}
  // True when another process holds the busy mark of `name`.
  virtual bool busyElsewhere(const std::string& name) { return false; }
};

// Holds the busy mark for one run.
class BusyMark {
 public:
  BusyMark(InstanceLock& lock, std::string name) : lock_(lock), name_(std::move(name)) { lock_.markBusy(name_, true); }
  ~BusyMark() { lock_.markBusy(name_, false); }
  BusyMark(const BusyMark&) = delete;
  BusyMark& operator=(const BusyMark&) = delete;

 private:
  InstanceLock& lock_;
  std::string name_;
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

// ---- HTTP --------------------------------------------------------------------------------------
// Bounds of one request, so that a server that never answers, answers a byte at a time or
// without end cannot hold the program for ever.
struct HttpLimits {
  uint32_t connectTimeoutMs = 15000;
  uint32_t receiveTimeoutMs = 20000;  // longest wait for the answer or its next piece
  uint32_t totalTimeoutMs = 120000;   // the whole request, however the server trickles
  size_t maxBodyBytes = size_t(16) << 20;
  size_t pieceBytes = 256;            // one read; progress is reported per piece
  int maxRedirects = 3;               // followed only to the same scheme, host and port
};

enum class HttpFailure {
  None,
  BadUrl,        // not an http or https address
  NoConnection,  // no network, unknown host, refused, or the request could not be sent
  Timeout,       // a bound of HttpLimits ran out
  TooLarge,      // the body passed maxBodyBytes
  NotHttp,       // what came back had no HTTP status
  Broken,        // a read failed, fewer bytes came than the answer announced, or a chunked
                 // answer ended before its last chunk
  Redirect,      // sent on to another server, or more often than maxRedirects
  Cancelled,     // given up because the program is ending
};

struct HttpResponse {
  HttpFailure failure = HttpFailure::NoConnection;
  uint32_t status = 0;  // the server's status code; 0 when no answer came
  std::string body;     // the bytes received, in order; on a failure, what the reads before it gave
  bool ok() const { return failure == HttpFailure::None; }
};

class Http {
 public:
  virtual ~Http() = default;
  // A blocking GET, never served from the cache nor written to it, without a proxy. After
  // every read (the last, empty one included) `afterRead` gets the read's number from 1 and
  // the bytes received so far: progress reports and yields to the message loop hang off it.
  // Any status counts as an answer: an error page is returned like any other body. Redirects
  // are followed by the call itself, within the same bounds.
  virtual HttpResponse get(const std::string& url, const HttpLimits& limits,
                           const std::function<void(int read, size_t received)>& afterRead) = 0;
  // The program is ending: the request under way, and every later one, fails as `Cancelled`
  // at once, whatever the server is doing.
  virtual void abandonAll() {}
};

// ---- Signatures ------------------------------------------------------------------------------
// A SHA-256 taken piece by piece, so that a file is hashed while it is written or read.
class Sha256Stream {
 public:
  virtual ~Sha256Stream() = default;
  virtual void add(const char* data, size_t n) = 0;
  void add(const std::string& data) { add(data.data(), data.size()); }
  // The digest of everything added (32 bytes); "" when it could not be computed.
  virtual std::string finish() = 0;
};

// The system's cryptography, through which definitions are checked to come from their
// publisher. Nothing here signs: the private key never reaches the program.
class Signatures {
 public:
  virtual ~Signatures() = default;
  // The SHA-256 digest of `data` (32 bytes); "" when the system cannot compute it.
  virtual std::string sha256(const std::string& data) = 0;
  // The same over pieces. Without an implementation of its own, the pieces are kept and hashed
  // whole at the end.
  virtual std::unique_ptr<Sha256Stream> sha256Stream();
  // True only when `signature` (r then s, 32 bytes each, big-endian) is an ECDSA signature on
  // the curve P-256 of the 32-byte `digest`, made with the private half of `publicKey` (the
  // point's x then y, 32 bytes each, big-endian). Any malformed argument is false.
  virtual bool verifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature) = 0;
};

// ---- This program: its executable and its branding -----------------------------------------
struct Branding {
  std::string productName, companyName, webSite;
  int major = 0, minor = 0;
};

class ThisProgram {
 public:
  virtual ~ThisProgram() = default;
  virtual std::string exePath() = 0;   // full path of the running executable
  virtual Branding branding() = 0;     // from the executable's version information
};

// ---- User-facing services --------------------------------------------------------------
// Message box flags and answers, with the system's numbers.
enum : unsigned {
  kMbOk = 0x0, kMbOkCancel = 0x1, kMbAbortRetryIgnore = 0x2, kMbYesNoCancel = 0x3, kMbYesNo = 0x4,
  kMbRetryCancel = 0x5,
  kMbDefaultSecond = 0x100,  // the second button is the default (No, for a question that deletes)
  kMbIconError = 0x10, kMbIconQuestion = 0x20, kMbIconExclamation = 0x30, kMbIconInformation = 0x40,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7 };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual int messageBox(const std::string& text, const std::string& title, unsigned flags) = 0;
};

// The system's management service: what it reports about the running programs.
class Management {
 public:
  virtual ~Management() = default;
  // The name of every running process, in the service's order; false when the service cannot
  // be reached or refuses the query.
  virtual bool processNames(std::vector<std::string>& names) = 0;
};

// The system's open-file dialog.
class FileDialog {
 public:
  virtual ~FileDialog() = default;
  // Lets the user pick one existing file; false when the dialog was cancelled or failed.
  virtual bool chooseFile(const std::string& title, std::string& path) = 0;
};

// Gives the message loop a turn; long loops call it once per item.
class Pump {
 public:
  virtual ~Pump() = default;
  virtual void yield() = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::string nowText() = 0;  // current local date and time in the program's form
  // The same moment as fields; the weekday follows from the date (see weekdayOf).
  virtual DateTime localTime() = 0;
};

// ---- Everything together ------------------------------------------------------------------------
// The parts of a Platform, filled by name, so that no caller depends on an order:
//   PlatformParts parts = services.parts();
//   parts.dialogs = &fakeDialogs;
//   Platform platform(parts);
struct PlatformParts {
  Registry* registry = nullptr;
  FileSystem* fs = nullptr;
  Shell* shell = nullptr;
  Launcher* launcher = nullptr;
  ThisProgram* thisProgram = nullptr;
  RunningProcesses* processes = nullptr;
  SystemRestore* restore = nullptr;
  LibraryExports* libraries = nullptr;
  Clipboard* clipboard = nullptr;
  InstanceLock* instanceLock = nullptr;
  Drives* drives = nullptr;
  Http* http = nullptr;
  Signatures* signatures = nullptr;
  Management* management = nullptr;
  Dialogs* dialogs = nullptr;
  FileDialog* fileDialog = nullptr;
  Pump* pump = nullptr;
  Clock* clock = nullptr;
};

// The parts of anything whose members carry the parts' names (a set of services, a test's
// application, a Platform itself), so that a new part is added in one place.
template <class Named>
PlatformParts partsOf(Named& s) {
  PlatformParts p;
  p.registry = &s.registry;
  p.fs = &s.fs;
  p.shell = &s.shell;
  p.launcher = &s.launcher;
  p.thisProgram = &s.thisProgram;
  p.processes = &s.processes;
  p.restore = &s.restore;
  p.libraries = &s.libraries;
  p.clipboard = &s.clipboard;
  p.instanceLock = &s.instanceLock;
  p.drives = &s.drives;
  p.http = &s.http;
  p.signatures = &s.signatures;
  p.management = &s.management;
  p.dialogs = &s.dialogs;
  p.fileDialog = &s.fileDialog;
  p.pump = &s.pump;
  p.clock = &s.clock;
  return p;
}

// Everything the behaviour needs from the system, handed down from the entry point.
class Platform {
 public:
  // Throws std::invalid_argument naming the first part left out.
  explicit Platform(const PlatformParts& parts);
  // The same parts, to make a platform that differs in one of them.
  PlatformParts parts() const { return partsOf(*this); }

  Registry& registry;
  FileSystem& fs;
  Shell& shell;
  Launcher& launcher;
  ThisProgram& thisProgram;
  RunningProcesses& processes;
  SystemRestore& restore;
  LibraryExports& libraries;
  Clipboard& clipboard;
  InstanceLock& instanceLock;
  Drives& drives;
  Http& http;
  Signatures& signatures;
  Management& management;
  Dialogs& dialogs;
  FileDialog& fileDialog;
  Pump& pump;
  Clock& clock;
};

}  // namespace quillon
