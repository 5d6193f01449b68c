#include "platform/platform.h"

#include <stdexcept>
#include <vector>

namespace quillon {

namespace {
template <class T>
T& need(T* part, const char* name) {
  if (!part) throw std::invalid_argument(std::string("Platform: no ") + name + " given");
  return *part;
}
}  // namespace

Platform::Platform(const PlatformParts& p)
    : registry(need(p.registry, "registry")),
      fs(need(p.fs, "fs")),
      shell(need(p.shell, "shell")),
      launcher(need(p.launcher, "launcher")),
      thisProgram(need(p.thisProgram, "thisProgram")),
      processes(need(p.processes, "processes")),
      restore(need(p.restore, "restore")),
      libraries(need(p.libraries, "libraries")),
      clipboard(need(p.clipboard, "clipboard")),
      instanceLock(need(p.instanceLock, "instanceLock")),
      drives(need(p.drives, "drives")),
      http(need(p.http, "http")),
      signatures(need(p.signatures, "signatures")),
      management(need(p.management, "management")),
      dialogs(need(p.dialogs, "dialogs")),
      fileDialog(need(p.fileDialog, "fileDialog")),
      pump(need(p.pump, "pump")),
      clock(need(p.clock, "clock")) {}

namespace {
class WriteEachTime : public AppendFile {
 public:
  WriteEachTime(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  bool add(const std::string& data) override { return fs_.write(path_, data, true); }

 private:
  FileSystem& fs_;
  std::string path_;
};
}  // namespace

std::unique_ptr<AppendFile> FileSystem::openAppend(const std::string& path) {
  return std::make_unique<WriteEachTime>(*this, path);
}

namespace {
class AppendEachTime : public NewFile {
 public:
  AppendEachTime(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  bool write(const std::string& data) override { return ok_ = ok_ && fs_.write(path_, data, true); }
  bool size(uint64_t& bytes) override { return fs_.fileSize(path_, bytes); }
  bool setAttributes(uint32_t attributes) override { return fs_.setAttributes(path_, attributes); }
  bool moveTo(const std::string& to) override { return ok_ && fs_.rename(path_, to) ? (path_ = to, true) : false; }
  bool close() override { return ok_; }

 private:
  FileSystem& fs_;
  std::string path_;
  bool ok_ = true;
};

class HashWhole : public Sha256Stream {
 public:
  explicit HashWhole(Signatures& s) : s_(s) {}
  void add(const char* data, size_t n) override { data_.append(data, n); }
  std::string finish() override { return s_.sha256(data_); }

 private:
  Signatures& s_;
  std::string data_;
};
}  // namespace

std::unique_ptr<NewFile> FileSystem::createNew(const std::string& path) {
  if (attributes(path) != kNoSuchPath || !write(path, "", false)) return nullptr;
  return std::make_unique<AppendEachTime>(*this, path);
}

std::unique_ptr<Sha256Stream> Signatures::sha256Stream() { return std::make_unique<HashWhole>(*this); }

namespace {
class QueryEachTime : public OpenRegistryKey {
 public:
  QueryEachTime(Registry& r, uint32_t root, std::string path, uint32_t access)
      : r_(r), root_(root), path_(std::move(path)), access_(access) {}
  RegStatus queryValue(const std::string& name, RegValue& out) override {
    return r_.queryValue(root_, path_, name, access_, out);
  }

 private:
  Registry& r_;
  uint32_t root_;
  std::string path_;
  uint32_t access_;
};
}  // namespace

std::unique_ptr<OpenRegistryKey> Registry::openKey(uint32_t root, const std::string& path, uint32_t access,
                                                   RegStatus& status) {
  status = keyExists(root, path, access) ? RegStatus::Ok : RegStatus::Failed;
  if (status != RegStatus::Ok) return nullptr;
  return std::make_unique<QueryEachTime>(*this, root, path, access);
}

FolderListing FileSystem::listFolderNames(const std::string&, std::vector<FolderEntry>& entries, size_t, Pump*) {
  entries.clear();
  return FolderListing::Failed;
}

std::unique_ptr<StoreLockHold> FileSystem::lockStore(const std::string&, bool, uint32_t, Pump*,
                                                    StoreLockResult& result) {
  result = StoreLockResult::Taken;
  return std::make_unique<StoreLockHold>();
}

bool Registry::createKeyExact(uint32_t root, const std::string& path) {
  if (keyExists(root, path, kKeyRead)) return true;
  // Writing a value makes the key; the value-less default then goes again.
  return setValue(root, path, "", RegValue{kRegSz, std::string(1, '\0')}) && deleteValue(root, path, "");
}

bool FileSystem::truncate(const std::string& path, uint64_t size) {
  std::string text;
  if (!readAll(path, text) || text.size() < size) return false;
  return text.size() == size || write(path, text.substr(0, size_t(size)), false);
}

namespace {
class ListedFolder : public FolderStream {
 public:
  explicit ListedFolder(std::vector<FolderEntry> entries) : entries_(std::move(entries)) {}
  bool next(FolderEntryView& entry) override {
    if (at_ >= entries_.size()) return false;
    const FolderEntry& e = entries_[at_++];
    entry = {e.name.c_str(), e.name.size(), e.attributes};
    return true;
  }

 private:
  std::vector<FolderEntry> entries_;
  size_t at_ = 0;
};
}  // namespace

std::unique_ptr<FolderStream> FileSystem::streamFolder(const std::string& folder) {
  std::vector<FolderEntry> entries = listFolder(folder);
  // An empty listing cannot tell an empty folder from one that cannot be read; both stream
  // nothing.
  return std::make_unique<ListedFolder>(std::move(entries));
}

namespace {
bool isSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

std::string lexicalFullPath(const std::string& path) {
  std::string root;
  size_t at = 0;
  if (path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' && isSeparator(path[2])) {
    root = std::string(1, char(path[0] & ~0x20)) + ":";
    at = 3;
  } else if (path.size() > 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    // A share: "\\server\share". "\\.\" and "\\?\" lead to devices and raw names.
    if (path[2] == '.' || path[2] == '?') return "";
    size_t server = path.find_first_of("\\/", 2);
    if (server == std::string::npos || server == 2) return "";
    size_t share = path.find_first_of("\\/", server + 1);
    if (share == std::string::npos) share = path.size();
    if (share == server + 1) return "";
    root = "\\\\" + path.substr(2, server - 2) + "\\" + path.substr(server + 1, share - server - 1);
    at = share;
  } else {
    return "";
  }
  std::vector<std::string> names;
  while (at < path.size()) {
    while (at < path.size() && isSeparator(path[at])) ++at;
    size_t end = at;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    if (end == at) break;
    std::string name = path.substr(at, end - at);
    at = end;
    if (name == ".") continue;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    // The system drops one trailing dot of a name inside the path, and every trailing dot and
    // blank of the last name.
    if (at < path.size()) {
      if (name.back() == '.') name.pop_back();
    } else {
      while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    }
    if (!name.empty()) names.push_back(std::move(name));
  }
  std::string out = root;
  for (const std::string& n : names) out += "\\" + n;
  if (names.empty() && root.size() == 2) out += "\\";  // "C:\\", the drive's root
  return out;
}

std::string FileSystem::canonicalPath(const std::string& path) { return lexicalFullPath(path); }

bool FileSystem::examine(const std::string& path, PathFacts& facts) {
  facts = PathFacts{};
  const uint32_t a = attributes(path);
  if (a == kNoSuchPath) return false;
  facts.folder = (a & kAttrFolder) != 0;
  facts.link = (a & kAttrLink) != 0;
  facts.attributes = a;
  return true;
}

bool FileSystem::deleteFileChecked(const std::string& path, const FileIdentity& expected) {
  PathFacts f;
  if (!examine(path, f) || f.folder || f.link || (expected.known && f.identity.known && f.identity != expected))
    return false;
  return deleteFile(path);
}

namespace {

class LookedAtFile : public HeldFile {
 public:
  LookedAtFile(FileSystem& fs, std::string path, const PathFacts& facts) : fs_(fs), path_(std::move(path)) {
    facts_ = facts;
  }
  size_t read(char* buf, size_t n) override {
    if (!in_) in_ = fs_.openRead(path_);
    return in_ ? in_->read(buf, n) : 0;
  }
  bool seek(uint64_t position) override {
    if (!in_) in_ = fs_.openRead(path_);
    return in_ && in_->seek(position);
  }
  bool deleteNow() override {
    in_.reset();
    return fs_.deleteFileChecked(path_, facts_.identity);
  }

 private:
  FileSystem& fs_;
  std::string path_;
  std::unique_ptr<InputFile> in_;
};

class LookedAtPlace : public HeldPlace {
 public:
  explicit LookedAtPlace(const PathFacts& facts) { facts_ = facts; }
};

}  // namespace

std::unique_ptr<HeldFile> FileSystem::holdFile(const std::string& path, HoldFailure* why, uint32_t) {
  PathFacts facts;
  const bool there = examine(path, facts);
  if (why) *why = there ? HoldFailure::None : HoldFailure::Absent;
  if (!there) return nullptr;
  return std::make_unique<LookedAtFile>(*this, path, facts);
}

std::unique_ptr<HeldPlace> FileSystem::holdPlace(const std::string& path) {
  PathFacts facts;
  if (!examine(path, facts)) return nullptr;
  return std::make_unique<LookedAtPlace>(facts);
}

bool FileSystem::deleteFolderTreeChecked(const std::string& path, const FileIdentity& expected) {
  PathFacts f;
  if (!examine(path, f) || !f.folder || f.link || (expected.known && f.identity.known && f.identity != expected))
    return false;
  return deleteFolderTree(path);
}

}  // namespace quillon
