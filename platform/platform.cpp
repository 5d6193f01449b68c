#include "platform/platform.h"

#include <stdexcept>

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

}  // namespace quillon
