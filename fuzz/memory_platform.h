// An in-memory machine for the fuzz targets: files, folders, registry keys and values, and
// running processes that a target fills from its input. It records every change anyone asks
// of it (writes, copies, deletions, registry writes, stopped processes) so that a target can
// say what a run may touch.
// Deliberately small: paths are compared upper-cased and exactly as given; there is no
// wildcard matching but a whole folder's "\*", and no path normalisation.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillon::fuzz {

// A file's bytes, handed out at most `maxRead` bytes per read (1 gives the shortest reads a
// reader must cope with).
class MemoryInputFile : public InputFile {
 public:
  explicit MemoryInputFile(std::string data, size_t maxRead = SIZE_MAX)
      : data_(std::move(data)), maxRead_(maxRead ? maxRead : 1) {}
  size_t read(char* buf, size_t n) override;
  bool seek(uint64_t position) override;

 private:
  std::string data_;
  size_t maxRead_, pos_ = 0;
};

class MemoryFileSystem : public FileSystem {
 public:
  struct File {
    std::string data;
    bool hidden = false;
  };
  void addFile(const std::string& path, std::string data, bool hidden = false);
  void addFolder(const std::string& path);  // and every folder above it
  bool hasFile(const std::string& path) const { return files_.count(key(path)) > 0; }
  bool hasFolder(const std::string& path) const { return folders_.count(key(path)) > 0; }
  std::string content(const std::string& path) const;

  // "write", "delete", "rename", "replace", "copy", "mkdir" or "rmtree", then the path changed
  // (for a copy: each file and folder made, as the target path plus the copied name).
  std::vector<std::pair<std::string, std::string>> changes;

  uint32_t attributes(const std::string& path) override;
  std::vector<std::string> listFiles(const std::string& pattern) override;
  bool folderExists(const std::string& path) override;
  std::unique_ptr<InputFile> openRead(const std::string& path) override;
  bool readAll(const std::string& path, std::string& out) override;
  bool write(const std::string& path, const std::string& data, bool append) override;
  bool deleteFile(const std::string& path) override;
  bool rename(const std::string& from, const std::string& to) override;
  bool replaceFile(const std::string& from, const std::string& to) override;
  bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override;
  bool copyFolderTree(const std::string& from, const std::string& to) override;
  bool createFolder(const std::string& path) override;
  bool deleteFolderTree(const std::string& path) override;
  // Names here are exact text (upper-cased): a full path is already its one spelling.
  std::string canonicalPath(const std::string& path) override { return isAbsolutePath(path) ? path : ""; }
  std::vector<FolderEntry> listFolder(const std::string& folder) override;
  FolderListing listFolderNames(const std::string& folder, std::vector<FolderEntry>& entries, size_t maxEntries,
                                Pump* pump = nullptr) override;
  bool fileSize(const std::string& path, uint64_t& size) override;

  size_t maxRead = SIZE_MAX;  // per read of every file opened

 private:
  static std::string key(const std::string& path);
  // Listings give each name as it was last written, not upper-cased.
  void spell(const std::string& path);
  std::string spelling(const std::string& keyPath, size_t nameAt) const;
  std::map<std::string, File> files_;
  std::set<std::string> folders_;
  std::map<std::string, std::string> names_;
};

class MemoryRegistry : public Registry {
 public:
  void addKey(uint32_t root, const std::string& path);  // and every key above it
  // A value of the type with made-up data (four bytes for a number, a short string otherwise).
  void addValue(uint32_t root, const std::string& path, const std::string& name, uint32_t type);
  void addValue(uint32_t root, const std::string& path, const std::string& name, const RegValue& value);

  struct Change {
    std::string what;  // "set", "delete" or "deletetree"
    uint32_t root;
    std::string path, name;
  };
  std::vector<Change> changes;  // setValue, deleteValue and deleteTree calls, in order

  bool keyExists(uint32_t root, const std::string& path, uint32_t access) override;
  RegStatus queryValue(uint32_t root, const std::string& path, const std::string& name, uint32_t access,
                       RegValue& out) override;
  std::unique_ptr<OpenRegistryKey> openKey(uint32_t root, const std::string& path, uint32_t access,
                                           RegStatus& status) override;
  bool setValue(uint32_t root, const std::string& path, const std::string& name, const RegValue& value) override;
  bool deleteValue(uint32_t root, const std::string& path, const std::string& name) override;
  // Recorded, never done: no target has a reason to let a whole key go.
  bool deleteTree(uint32_t root, const std::string& path) override;
  bool enumerateKey(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                    std::vector<std::pair<std::string, RegValue>>& values) override;

 private:
  static std::string key(uint32_t root, const std::string& path);
  std::set<std::string> keys_;
  std::map<std::pair<std::string, std::string>, std::pair<std::string, RegValue>> values_;  // (key, upper name) -> (name, value)
};

// Special folders by identifier; "" for those not set.
class MemoryShell : public Shell {
 public:
  std::map<int, std::string> folders;
  std::string programs;
  std::string specialFolder(int csidl) override;
  std::string programsFolderFromIdList() override { return programs; }
};

struct MemoryProcess {
  uint32_t id;
  std::string path;
};

class MemoryProcesses : public RunningProcesses {
 public:
  OsVersion version{kPlatformNt, 5, 1};
  std::vector<MemoryProcess> table;
  uint32_t ownId = 4;
  std::vector<uint32_t> terminated;  // every id asked to end, in order

  OsVersion osVersion() override { return version; }
  std::string systemDirectory() override { return "C:\\WINDOWS\\system32"; }
  bool enumerateIds(std::vector<uint32_t>& ids) override;
  std::string baseName(uint32_t pid) override;
  bool executablePath(uint32_t pid, std::string& path) override;
  std::vector<ProcessEntry> snapshot() override;
  // Every program started at the time of its id: an id is never reused here.
  bool startTime(uint32_t pid, uint64_t& time) override;
  bool terminateById(uint32_t pid, uint32_t exitCode) override;
  bool waitForExit(uint32_t pid, uint32_t ms) override;
  uint32_t currentProcessId() override { return ownId; }
};

// The rest of the platform: nothing happens, and anything that would change the machine or
// reach the network fails.
class QuietSystem : public Launcher, public ThisProgram, public SystemRestore, public LibraryExports,
                    public Clipboard, public InstanceLock, public Drives, public Http, public Management,
                    public Dialogs, public FileDialog, public Pump, public Clock {
 public:
  bool launch(const std::string&) override { return false; }
  bool openDocument(const std::string&) override { return false; }
  std::string exePath() override { return exe; }
  Branding branding() override { return {"Quillon", "Quillon Developers", "quillon.example", 1, 0}; }
  bool setRestorePoint(const RestorePointRequest&, int64_t&) override { return false; }
  bool callExport(const std::string&, const std::string&) override { return false; }
  bool setText(const std::string&) override { return false; }
  std::string text() override { return ""; }
  bool anotherInstanceRunning(const std::string&) override { return false; }
  std::vector<Drive> list() override { return {{'C', DriveType::Fixed}}; }
  bool ready(char letter) override { return letter == 'C'; }
  HttpResponse get(const std::string&, const HttpLimits&, const std::function<void(int, size_t, size_t)>&) override {
    return HttpResponse{};
  }
  bool processNames(std::vector<std::string>&) override { return false; }
  int messageBox(const std::string&, const std::string&, unsigned) override { return ++boxes, kIdNo; }
  bool chooseFile(const std::string&, std::string&) override { return false; }
  void yield() override {}
  std::string nowText() override { return "1/2/2026 3:04:05 PM"; }
  DateTime localTime() override { return DateTime{2026, 1, 2, 15, 4, 5}; }
  std::string exe;
  int boxes = 0;
};

// A real SHA-256, and a verifier that knows one signature only: it accepts exactly `signature`
// by `publicKey` over the digest of `message`, and nothing else. Natively there is no system
// cryptography to call; what is under test is everything around the check.
class MemorySignatures : public Signatures {
 public:
  std::string sha256(const std::string& data) override;
  bool verifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature) override {
    return !publicKey_.empty() && publicKey == publicKey_ && signature == signature_ && digest == sha256(message_);
  }
  void accept(std::string publicKey, std::string message, std::string signature) {
    publicKey_ = std::move(publicKey), message_ = std::move(message), signature_ = std::move(signature);
  }

 private:
  std::string publicKey_, message_, signature_;
};

// A whole machine: the parts above behind one Platform.
struct MemoryMachine {
  MemoryFileSystem fs;
  MemoryRegistry registry;
  MemoryShell shell;
  MemoryProcesses processes;
  QuietSystem quiet;
  MemorySignatures signatures;
  Platform platform{parts()};

 private:
  PlatformParts parts();
};

}  // namespace quillon::fuzz
