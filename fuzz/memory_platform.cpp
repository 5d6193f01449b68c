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
  changes.emplace_back("mkdir", path);
  if (!folders_.insert(key(path)).second) return false;
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
  static const uint32_t k[64] = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string m = data;
  m += char(0x80);
  while (m.size() % 64 != 56) m += char(0);
  const uint64_t bits = uint64_t(data.size()) * 8;
  for (int i = 7; i >= 0; --i) m += char(bits >> (i * 8));
  auto rotr = [](uint32_t x, int n) { return (x >> n) | (x << (32 - n)); };
  for (size_t at = 0; at < m.size(); at += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(uint8_t(m[at + 4 * i])) << 24 | uint32_t(uint8_t(m[at + 4 * i + 1])) << 16 |
             uint32_t(uint8_t(m[at + 4 * i + 2])) << 8 | uint32_t(uint8_t(m[at + 4 * i + 3]));
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 = hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      hh = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += hh;
  }
  std::string out;
  for (uint32_t v : h)
    for (int i = 3; i >= 0; --i) out += char(v >> (i * 8));
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
