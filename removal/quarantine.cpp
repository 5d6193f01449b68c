#include "removal/quarantine.h"

#include <algorithm>

#include "common/device_names.h"
#include "common/text.h"
#include "definitions/definition_store.h"
#include "removal/reg_file.h"
#include "reports/report.h"

namespace quillon {

namespace {

constexpr const char* LB = "\r\n";

struct RootName {
  uint32_t root;
  const char* name;
};
constexpr RootName kRoots[] = {{0x80000000u, "HKEY_CLASSES_ROOT"},   {0x80000001u, "HKEY_CURRENT_USER"},
                               {0x80000002u, "HKEY_LOCAL_MACHINE"},  {0x80000003u, "HKEY_USERS"},
                               {0x80000005u, "HKEY_CURRENT_CONFIG"}, {0x80000006u, "HKEY_DYN_DATA"}};

std::string escapeField(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '%': out += "%25"; break;
      case '\t': out += "%09"; break;
      case '\r': out += "%0D"; break;
      case '\n': out += "%0A"; break;
      default: out += c;
    }
  }
  return out;
}

std::string unescapeField(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const std::string h = s.substr(i + 1, 2);
      if (h == "25" || h == "09" || h == "0D" || h == "0A") {
        out += char(std::stoi(h, nullptr, 16));
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

bool parseKind(const std::string& s, QuarantineKind& kind) {
  for (QuarantineKind k : {QuarantineKind::File, QuarantineKind::Folder, QuarantineKind::Cookie, QuarantineKind::Registry})
    if (s == kindName(k)) {
      kind = k;
      return true;
    }
  return false;
}

bool parseWhole(const std::string& s, uint64_t& n) {
  if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  n = std::stoull(s);
  return true;
}

// A stored name never leaves the quarantine folder: no separators or drive, and not "." or ".."
// as the system reads the last part of a path, without its trailing dots and blanks ("..." is
// the folder itself).
bool insideFolder(const std::string& stored) {
  size_t end = stored.find_last_not_of(". ");
  return end != std::string::npos && stored.find_first_of("\\/:") == std::string::npos;
}

// Whether every key of a registry copy lies where the entry says it came from: the key and
// its subkeys for a whole key; for one value ("<key> : <name>", "@" for the default), that
// key with that value alone. A copy edited to reach other keys is not restored.
bool copyMatchesOriginal(const std::vector<RegFileKey>& keys, const std::string& original) {
  const size_t cut = original.find(" : ");
  const std::string key = original.substr(0, cut);
  if (keys.empty() || !iequals(registryRootName(keys[0].root) + "\\" + keys[0].path, key)) return false;
  if (cut != std::string::npos) {
    const std::string name = original.substr(cut + 3);
    return keys.size() == 1 && keys[0].values.size() == 1 &&
           (iequals(keys[0].values[0].first, name) || (keys[0].values[0].first.empty() && name == "@"));
  }
  for (const RegFileKey& k : keys) {
    const std::string where = registryRootName(k.root) + "\\" + k.path;
    if (!iequals(where, key) && !(where.size() > key.size() + 1 && iequals(where.substr(0, key.size() + 1), key + "\\")))
      return false;
  }
  return true;
}

// The parent folder of a path must be there for a restore to put anything in it.
std::string parentOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

const char* kindName(QuarantineKind kind) {
  switch (kind) {
    case QuarantineKind::File: return "file";
    case QuarantineKind::Folder: return "folder";
    case QuarantineKind::Cookie: return "cookie";
    case QuarantineKind::Registry: return "registry";
  }
  return "file";
}

std::string registryRootName(uint32_t root) {
  for (const RootName& r : kRoots)
    if (r.root == root) return r.name;
  return "";
}

bool registryRootFromName(const std::string& name, uint32_t& root) {
  for (const RootName& r : kRoots)
    if (iequals(name, r.name)) {
      root = r.root;
      return true;
    }
  return false;
}

bool treeSize(FileSystem& fs, const std::string& path, uint64_t& bytes) {
  const uint32_t a = fs.attributes(path);
  if (a == kNoSuchPath) return false;
  if (!(a & kAttrFolder)) {
    uint64_t size = 0;
    if (!fs.fileSize(path, size)) return false;
    bytes += size;
    return true;
  }
  if (a & kAttrLink) return true;
  for (const FolderEntry& e : fs.listFolder(path)) {
    if (e.attributes & kAttrLink) continue;
    if (e.attributes & kAttrFolder) {
      if (!treeSize(fs, path + "\\" + e.name, bytes)) return false;
    } else {
      bytes += e.size;
    }
  }
  return true;
}

Quarantine::Quarantine(FileSystem& fs, Registry& registry, Clock& clock, std::string appFolder)
    : fs_(fs), reg_(registry), clock_(clock), folder_(std::move(appFolder) + "\\" + kQuarantineFolder) {}

bool Quarantine::ensureFolder() { return fs_.createFolder(folder_); }

int Quarantine::nextId() {
  if (lastId_ < 0) {
    lastId_ = 0;
    for (const QuarantineEntry& e : entries()) lastId_ = std::max(lastId_, e.id);
  }
  return ++lastId_;
}

void Quarantine::beginRun() {
  index_ = fs_.openAppend(folder_ + "\\" + kQuarantineIndex);
  log_ = fs_.openAppend(folder_ + "\\" + kQuarantineLog);
}

void Quarantine::endRun() {
  index_.reset();
  log_.reset();
}

bool Quarantine::append(std::unique_ptr<AppendFile>& open, const std::string& file, const std::string& data) {
  if (open) return open->add(data);
  return fs_.write(folder_ + "\\" + file, data, true);
}

bool Quarantine::record(const QuarantineEntry& e) {
  const std::string line = std::to_string(e.id) + "\t" + escapeField(e.date) + "\t" + kindName(e.kind) + "\t" +
                           escapeField(e.original) + "\t" + escapeField(e.stored) + "\t" + std::to_string(e.size) +
                           LB;
  return append(index_, kQuarantineIndex, line);
}

int Quarantine::storeFile(const std::string& path, QuarantineKind kind) {
  // The folder is made once per removal (ensureFolder); without it the copy fails and nothing
  // is deleted.
  uint64_t size = 0, copied = 0;
  if (!fs_.fileSize(path, size)) return 0;
  QuarantineEntry e{nextId(), clock_.nowText(), kind, path, "", size};
  e.stored = std::to_string(e.id) + "-" + fileNameFromPath(path);
  const std::string to = storedPath(e.stored);
  // The copy counts only when it is whole; a half copy is no backup.
  if (!fs_.copyFile(path, to, true) || !fs_.fileSize(to, copied) || copied != size || !record(e)) {
    fs_.deleteFile(to);
    return 0;
  }
  return e.id;
}

int Quarantine::storeFolder(const std::string& path) {
  if (!ensureFolder()) return 0;
  std::string from = path;
  if (from.size() > 3 && from.back() == '\\') from.pop_back();
  uint64_t size = 0, copied = 0;
  if (!treeSize(fs_, from, size)) return 0;
  QuarantineEntry e{nextId(), clock_.nowText(), QuarantineKind::Folder, from, "", size};
  e.stored = std::to_string(e.id) + "-" + fileNameFromPath(from);
  const std::string to = storedPath(e.stored);
  if (fs_.folderExists(to) || !fs_.copyFolderTree(from, to) || !treeSize(fs_, to, copied) || copied != size ||
      !record(e)) {
    fs_.deleteFolderTree(to);
    return 0;
  }
  return e.id;
}

int Quarantine::storeRegistry(uint32_t root, const std::string& keyPath, const std::string& valueName,
                              bool wholeKey) {
  std::string text;
  if (!ensureFolder() || !exportRegistry(reg_, root, keyPath, valueName, wholeKey, text)) return 0;
  QuarantineEntry e{nextId(), clock_.nowText(), QuarantineKind::Registry,
                    registryRootName(root) + "\\" + keyPath + (wholeKey ? "" : " : " + (valueName.empty() ? "@" : valueName)),
                    "", text.size()};
  e.stored = std::to_string(e.id) + "-registry.reg";
  if (!fs_.write(storedPath(e.stored), text, false) || !record(e)) {
    fs_.deleteFile(storedPath(e.stored));
    return 0;
  }
  return e.id;
}

void Quarantine::logFile(const std::string& path, const std::string& name) {
  append(log_, kQuarantineLog, clock_.nowText() + " - File: " + name + LB + " - Location: " + path + LB + LB + LB);
}

void Quarantine::logRegistry(const std::string& key, const std::string& value) {
  append(log_, kQuarantineLog, clock_.nowText() + " - Key: " + key + LB);
  append(log_, kQuarantineLog, "Value: " + value + LB + LB + LB);
}

std::vector<QuarantineEntry> Quarantine::entries() const {
  std::vector<QuarantineEntry> out;
  std::string text;
  if (!fs_.readAll(folder_ + "\\" + kQuarantineIndex, text)) return out;
  // A line that does not read whole (a write cut short) is left out rather than guessed at.
  for (const std::string& line : split(replaceAll(text, "\r\n", "\n"), "\n")) {
    std::vector<std::string> f = split(line, "\t");
    QuarantineEntry e;
    uint64_t id = 0;
    if (f.size() != 6 || !parseWhole(f[0], id) || id == 0 || id > 2000000000 || !parseKind(f[2], e.kind) ||
        !parseWhole(f[5], e.size))
      continue;
    e.id = int(id);
    e.date = unescapeField(f[1]);
    e.original = unescapeField(f[3]);
    e.stored = unescapeField(f[4]);
    if (!insideFolder(e.stored)) continue;
    out.push_back(std::move(e));
  }
  return out;
}

std::string Quarantine::restore(int id) {
  for (const QuarantineEntry& e : entries()) {
    if (e.id != id) continue;
    const std::string from = storedPath(e.stored);
    if (e.kind == QuarantineKind::Registry) {
      std::string text, error;
      std::vector<RegFileKey> keys;
      if (!fs_.readAll(from, text)) return "The quarantined copy " + from + " could not be read.";
      if (!parseRegFile(text, keys, error) || keys.empty())
        return "The quarantined copy " + from + " is damaged (" + error + ").";
      if (!copyMatchesOriginal(keys, e.original))
        return "The quarantined copy " + from + " holds other registry items than " + e.original + "; it was not restored.";
      // Nothing that is there now is replaced: the whole item goes back, or none of it.
      const bool wholeKey = e.original.find(" : ") == std::string::npos;
      if (wholeKey && reg_.keyExists(keys[0].root, keys[0].path, kKeyRead))
        return "The key " + e.original + " exists again; it was not replaced.";
      for (const RegFileKey& k : keys)
        for (const auto& [name, value] : k.values) {
          RegValue now;
          if (reg_.queryValue(k.root, k.path, name, kKeyRead, now) == RegStatus::Ok)
            return "The value " + e.original + " exists again; it was not replaced.";
        }
      for (const RegFileKey& k : keys) {
        if (k.values.empty() && !reg_.keyExists(k.root, k.path, kKeyRead)) {
          // An empty key is made by writing and removing a value-less default: setValue makes keys.
          if (!reg_.setValue(k.root, k.path, "", RegValue{kRegSz, std::string(1, '\0')}) ||
              !reg_.deleteValue(k.root, k.path, ""))
            return "The key " + registryRootName(k.root) + "\\" + k.path + " could not be made.";
        }
        for (const auto& [name, value] : k.values)
          if (!reg_.setValue(k.root, k.path, name, value))
            return "The value " + name + " of " + registryRootName(k.root) + "\\" + k.path + " could not be written.";
      }
      return "";
    }
    // A device is never a place a file came from: writing there would reach the device.
    if (isDevicePath(e.original)) return e.original + " names a device, not a file; nothing was restored.";
    if (fs_.attributes(e.original) != kNoSuchPath)
      return e.original + " exists again; it was not replaced.";
    if (!fs_.folderExists(parentOf(e.original)))
      return "The folder " + parentOf(e.original) + " that held " + e.original + " is gone; create it first.";
    if (e.kind == QuarantineKind::Folder) {
      if (!fs_.copyFolderTree(from, e.original)) return e.original + " could not be restored whole.";
    } else if (!fs_.copyFile(from, e.original, true)) {
      return e.original + " could not be restored.";
    }
    return "";
  }
  return "No quarantined item has the id " + std::to_string(id) + ".";
}

}  // namespace quillon
