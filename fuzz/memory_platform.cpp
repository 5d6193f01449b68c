#include "memory_platform.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"

namespace quillon::fuzz {

size_t MemoryInputFile::read(char* buf, size_t n) {
  n = std::min({n, maxRead_, data_.size() - pos_});
  std::memcpy(buf, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

bool MemoryInputFile::seek(uint64_t position) {
  pos_ = size_t(std::min<uint64_t>(position, data_.size()));
  return true;
}

// ---- Files ----------------------------------------------------------------------------------

std::string MemoryFileSystem::key(const std::string& path) { return toUpper(path); }

void MemoryFileSystem::addFile(const std::string& path, std::string data, bool hidden) {
  files_[key(path)] = File{std::move(data), hidden};
  size_t cut = path.rfind('\\');
  if (cut != std::string::npos && cut > 0) addFolder(path.substr(0, cut));
}

void MemoryFileSystem::addFolder(const std::string& path) {
  for (size_t cut = path.size(); cut != std::string::npos && cut > 0; cut = path.rfind('\\', cut - 1))
    folders_.insert(key(path.substr(0, cut)));
}

std::string MemoryFileSystem::content(const std::string& path) const {
  auto f = files_.find(key(path));
  return f == files_.end() ? std::string() : f->second.data;
}

uint32_t MemoryFileSystem::attributes(const std::string& path) {
  auto f = files_.find(key(path));
  if (f != files_.end()) return 0x20u | (f->second.hidden ? kAttrHidden : 0u);
  return folders_.count(key(path)) ? kAttrFolder : kNoSuchPath;
}

std::vector<std::string> MemoryFileSystem::listFiles(const std::string& pattern) {
  auto f = files_.find(key(pattern));
  if (f == files_.end() || f->second.hidden) return {};
  return {fileNameFromPath(pattern)};
}

bool MemoryFileSystem::folderExists(const std::string& path) { return folders_.count(key(path)) > 0; }

std::unique_ptr<InputFile> MemoryFileSystem::openRead(const std::string& path) {
  auto f = files_.find(key(path));
  if (f == files_.end()) return nullptr;
  return std::make_unique<MemoryInputFile>(f->second.data, maxRead);
}

bool MemoryFileSystem::readAll(const std::string& path, std::string& out) {
  auto f = files_.find(key(path));
  if (f == files_.end()) return false;
  out = f->second.data;
  return true;
}

bool MemoryFileSystem::write(const std::string& path, const std::string& data, bool append) {
  changes.emplace_back("write", path);
  File& f = files_[key(path)];
  f.data = append ? f.data + data : data;
  return true;
}

bool MemoryFileSystem::deleteFile(const std::string& path) {
  changes.emplace_back("delete", path);
  return files_.erase(key(path)) > 0;
}

bool MemoryFileSystem::rename(const std::string& from, const std::string& to) {
  changes.emplace_back("rename", from);
  auto f = files_.find(key(from));
  if (f == files_.end() || files_.count(key(to))) return false;
  files_[key(to)] = f->second;
  files_.erase(key(from));
  return true;
}

bool MemoryFileSystem::createFolder(const std::string& path) {
  changes.emplace_back("mkdir", path);
  return folders_.insert(key(path)).second;
}

bool MemoryFileSystem::deleteFolderTree(const std::string& path) {
  changes.emplace_back("rmtree", path);
  return false;
}

// ---- Registry ---------------------------------------------------------------------------------

std::string MemoryRegistry::key(uint32_t root, const std::string& path) {
  return std::to_string(root) + "\\" + toUpper(path);
}

void MemoryRegistry::addKey(uint32_t root, const std::string& path) {
  for (size_t cut = path.size(); cut != std::string::npos && cut > 0; cut = path.rfind('\\', cut - 1))
    keys_.insert(key(root, path.substr(0, cut)));
}

void MemoryRegistry::addValue(uint32_t root, const std::string& path, const std::string& name, uint32_t type) {
  addKey(root, path);
  values_[{key(root, path), toUpper(name)}] = type;
}

bool MemoryRegistry::keyExists(uint32_t root, const std::string& path, uint32_t) {
  return keys_.count(key(root, path)) > 0;
}

RegStatus MemoryRegistry::queryValue(uint32_t root, const std::string& path, const std::string& name, uint32_t,
                                     RegValue& out) {
  if (!keys_.count(key(root, path))) return RegStatus::NoKey;
  auto v = values_.find({key(root, path), toUpper(name)});
  if (v == values_.end()) return RegStatus::NoValue;
  out.type = v->second;
  out.data = out.type == kRegDword ? std::string(4, '\1') : std::string("x\0", 2);
  return RegStatus::Ok;
}

bool MemoryRegistry::setValue(uint32_t, const std::string&, const std::string&, const RegValue&) {
  return ++changes, false;
}
bool MemoryRegistry::deleteValue(uint32_t, const std::string&, const std::string&) { return ++changes, false; }
bool MemoryRegistry::deleteTree(uint32_t, const std::string&) { return ++changes, false; }

// ---- Shell and processes ------------------------------------------------------------------------

std::string MemoryShell::specialFolder(int csidl) {
  auto f = folders.find(csidl);
  return f == folders.end() ? std::string() : f->second;
}

bool MemoryProcesses::enumerateIds(std::vector<uint32_t>& ids) {
  ids.clear();
  for (const MemoryProcess& p : table) ids.push_back(p.id);
  return true;
}

std::string MemoryProcesses::baseName(uint32_t pid) {
  for (const MemoryProcess& p : table)
    if (p.id == pid) return fileNameFromPath(p.path);
  return "";
}

bool MemoryProcesses::executablePath(uint32_t pid, std::string& path) {
  for (const MemoryProcess& p : table)
    if (p.id == pid) return path = p.path, true;
  return false;
}

std::vector<ProcessEntry> MemoryProcesses::snapshot() {
  std::vector<ProcessEntry> out;
  for (const MemoryProcess& p : table) out.push_back({p.path, p.id});
  return out;
}

bool MemoryProcesses::terminateById(uint32_t pid, uint32_t) {
  terminated.push_back(pid);
  auto p = std::find_if(table.begin(), table.end(), [&](const MemoryProcess& e) { return e.id == pid; });
  if (p == table.end()) return false;
  table.erase(p);
  return true;
}

bool MemoryProcesses::waitForExit(uint32_t pid, uint32_t) {
  return std::none_of(table.begin(), table.end(), [&](const MemoryProcess& e) { return e.id == pid; });
}

}  // namespace quillon::fuzz
