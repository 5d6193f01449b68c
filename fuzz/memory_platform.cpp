#include "memory_platform.h"

#include <algorithm>
#include <cstring>

#include <gcrypt.h>

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
  spell(path);
  size_t cut = path.rfind('\\');
  if (cut != std::string::npos && cut > 0) addFolder(path.substr(0, cut));
}

void MemoryFileSystem::addFolder(const std::string& path) {
  for (size_t cut = path.size(); cut != std::string::npos && cut > 0; cut = path.rfind('\\', cut - 1))
    if (folders_.insert(key(path.substr(0, cut))).second) spell(path.substr(0, cut));
}

void MemoryFileSystem::spell(const std::string& path) { names_[key(path)] = fileNameFromPath(path); }

std::string MemoryFileSystem::spelling(const std::string& keyPath, size_t nameAt) const {
  auto n = names_.find(keyPath);
  return n == names_.end() ? keyPath.substr(nameAt) : n->second;
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
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, "\\*") == 0) {
    std::vector<std::string> names;
    for (const FolderEntry& e : listFolder(pattern.substr(0, pattern.size() - 2)))
      if (!(e.attributes & (kAttrFolder | kAttrHidden))) names.push_back(e.name);
    return names;
  }
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
  spell(path);
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
  spell(to);
  return true;
}

bool MemoryFileSystem::replaceFile(const std::string& from, const std::string& to) {
  changes.emplace_back("replace", to);
  auto f = files_.find(key(from));
  if (f == files_.end()) return false;
  File moved = f->second;
  files_.erase(f);
  files_[key(to)] = std::move(moved);
  spell(to);
  return true;
}

bool MemoryFileSystem::copyFile(const std::string& from, const std::string& to, bool failIfExists) {
  auto f = files_.find(key(from));
  if (f == files_.end() || folders_.count(key(to)) || (failIfExists && files_.count(key(to)))) return false;
  changes.emplace_back("copy", to);
  files_[key(to)] = f->second;
  spell(to);
  return true;
}

bool MemoryFileSystem::copyFolderTree(const std::string& from, const std::string& to) {
  const std::string below = key(from) + "\\";
  if (!folders_.count(key(from)) || files_.count(key(to))) return false;
  std::vector<std::pair<std::string, File>> files;
  std::vector<std::string> folders;
  for (const auto& [path, file] : files_)
    if (path.compare(0, below.size(), below) == 0) files.emplace_back(to + "\\" + path.substr(below.size()), file);
  for (const std::string& path : folders_)
    if (path.compare(0, below.size(), below) == 0) folders.push_back(to + "\\" + path.substr(below.size()));
  if (folders_.insert(key(to)).second) {
    changes.emplace_back("mkdir", to);
    spell(to);
  }
  for (const std::string& folder : folders)
    if (folders_.insert(key(folder)).second) changes.emplace_back("mkdir", folder);
  for (auto& [path, file] : files) {
    changes.emplace_back("copy", path);
    files_[key(path)] = std::move(file);
  }
  return true;
}

bool MemoryFileSystem::createFolder(const std::string& path) {
  // As on the system: a folder already there is no error, a file of that name is.
  if (folders_.count(key(path))) return true;
  if (files_.count(key(path))) return false;
  changes.emplace_back("mkdir", path);
  folders_.insert(key(path));
  spell(path);
  return true;
}

bool MemoryFileSystem::deleteFolderTree(const std::string& path) {
  changes.emplace_back("rmtree", path);
  return false;
}

std::vector<FolderEntry> MemoryFileSystem::listFolder(const std::string& folder) {
  std::vector<FolderEntry> out;
  const std::string below = key(folder) + "\\";
  auto direct = [&](const std::string& path) {
    return path.size() > below.size() && path.compare(0, below.size(), below) == 0 &&
           path.find('\\', below.size()) == std::string::npos;
  };
  for (const auto& [path, file] : files_)
    if (direct(path))
      out.push_back({spelling(path, below.size()), 0x20u | (file.hidden ? kAttrHidden : 0u), file.data.size()});
  for (const std::string& path : folders_)
    if (direct(path)) out.push_back({spelling(path, below.size()), kAttrFolder, 0});
  return out;
}

FolderListing MemoryFileSystem::listFolderNames(const std::string& folder, std::vector<FolderEntry>& entries,
                                                size_t maxEntries, Pump*) {
  entries.clear();
  // Nothing below: no folder there, and no file written without its folder either.
  const std::string below = key(folder) + "\\";
  auto startsBelow = [&](auto& set) {
    auto it = set.lower_bound(below);
    return it != set.end() && it->first.compare(0, below.size(), below) == 0;
  };
  auto folderBelow = folders_.lower_bound(below);
  const bool anyBelow = startsBelow(files_) || (folderBelow != folders_.end() && folderBelow->compare(0, below.size(), below) == 0);
  if (!folders_.count(key(folder)) && !anyBelow) return FolderListing::NoFolder;
  if (maxEntries == 0) return FolderListing::Listed;
  for (FolderEntry& e : listFolder(folder)) {
    if (entries.size() == maxEntries) {
      entries.clear();
      return FolderListing::TooLarge;
    }
    e.size = 0;
    entries.push_back(std::move(e));
  }
  return FolderListing::Listed;
}

bool MemoryFileSystem::fileSize(const std::string& path, uint64_t& size) {
  auto f = files_.find(key(path));
  if (f == files_.end()) return false;
  size = f->second.data.size();
  return true;
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
  addValue(root, path, name, RegValue{type, type == kRegDword ? std::string(4, '\1') : std::string("x\0", 2)});
}

void MemoryRegistry::addValue(uint32_t root, const std::string& path, const std::string& name,
                              const RegValue& value) {
  addKey(root, path);
  values_[{key(root, path), toUpper(name)}] = {name, value};
}

bool MemoryRegistry::keyExists(uint32_t root, const std::string& path, uint32_t) {
  return keys_.count(key(root, path)) > 0;
}

RegStatus MemoryRegistry::queryValue(uint32_t root, const std::string& path, const std::string& name, uint32_t,
                                     RegValue& out) {
  if (!keys_.count(key(root, path))) return RegStatus::NoKey;
  auto v = values_.find({key(root, path), toUpper(name)});
  if (v == values_.end()) return RegStatus::NoValue;
  out = v->second.second;
  return RegStatus::Ok;
}

// Every key here may be opened: one that will not open is missing.
std::unique_ptr<OpenRegistryKey> MemoryRegistry::openKey(uint32_t root, const std::string& path, uint32_t access,
                                                         RegStatus& status) {
  std::unique_ptr<OpenRegistryKey> key = Registry::openKey(root, path, access, status);
  if (status != RegStatus::Ok) status = RegStatus::NoKey;
  return key;
}

bool MemoryRegistry::setValue(uint32_t root, const std::string& path, const std::string& name,
                              const RegValue& value) {
  changes.push_back({"set", root, path, name});
  addValue(root, path, name, value);
  return true;
}

bool MemoryRegistry::deleteValue(uint32_t root, const std::string& path, const std::string& name) {
  changes.push_back({"delete", root, path, name});
  return values_.erase({key(root, path), toUpper(name)}) > 0;
}

bool MemoryRegistry::deleteTree(uint32_t root, const std::string& path) {
  changes.push_back({"deletetree", root, path, ""});
  return false;
}

bool MemoryRegistry::enumerateKey(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                                  std::vector<std::pair<std::string, RegValue>>& values) {
  const std::string k = key(root, path), below = k + "\\";
  if (!keys_.count(k)) return false;
  subkeys.clear();
  values.clear();
  for (const std::string& other : keys_)
    if (other.size() > below.size() && other.compare(0, below.size(), below) == 0 &&
        other.find('\\', below.size()) == std::string::npos)
      subkeys.push_back(other.substr(below.size()));
  for (const auto& [where, value] : values_)
    if (where.first == k) values.push_back(value);
  return true;
}

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

bool MemoryProcesses::startTime(uint32_t pid, uint64_t& time) {
  for (const MemoryProcess& p : table)
    if (p.id == pid) return time = 1000000ull * p.id, true;
  return false;
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

std::string MemorySignatures::sha256(const std::string& data) {
  static const bool ready = gcry_check_version(nullptr) != nullptr;
  (void)ready;
  std::string out(32, '\0');
  gcry_md_hash_buffer(GCRY_MD_SHA256, out.data(), data.data(), data.size());
  return out;
}

PlatformParts MemoryMachine::parts() {
  PlatformParts p;
  p.registry = &registry;
  p.fs = &fs;
  p.shell = &shell;
  p.processes = &processes;
  p.launcher = &quiet;
  p.thisProgram = &quiet;
  p.restore = &quiet;
  p.libraries = &quiet;
  p.clipboard = &quiet;
  p.instanceLock = &quiet;
  p.drives = &quiet;
  p.http = &quiet;
  p.signatures = &signatures;
  p.management = &quiet;
  p.dialogs = &quiet;
  p.fileDialog = &quiet;
  p.pump = &quiet;
  p.clock = &quiet;
  return p;
}

}  // namespace quillon::fuzz
