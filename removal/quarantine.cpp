#include "removal/quarantine.h"

#include <algorithm>

#include "common/device_names.h"
#include "common/text.h"
#include "definitions/definition_store.h"
#include "removal/reg_file.h"

namespace quillon {

namespace {

constexpr const char* LB = "\r\n";
// A copy on its way in: never a stored name, so deleting it never deletes a kept copy.
constexpr const char* kPartSuffix = ".part";

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

// Where the id of a stored name ends ("<id>-..."); npos for any other name.
size_t idDigits(const std::string& name) {
  const size_t digits = name.find_first_not_of("0123456789");
  return digits == 0 || digits == std::string::npos || name[digits] != '-' ? std::string::npos : digits;
}

bool isPartName(const std::string& name) {
  const size_t n = std::char_traits<char>::length(kPartSuffix);
  return idDigits(name) != std::string::npos && name.size() > n && iequals(name.substr(name.size() - n), kPartSuffix);
}

// Copies what `source` holds, read through its own handle, into `to`; `bytes` counts what was
// written.
bool copyHeld(FileSystem& fs, HeldFile& source, const std::string& to, uint64_t& bytes) {
  std::string buf(size_t(64) << 10, '\0');
  bytes = 0;
  for (bool first = true;; first = false) {
    const size_t got = source.read(buf.data(), buf.size());
    if (got == 0 && !first) return true;
    if (!fs.write(to, got == buf.size() ? buf : buf.substr(0, got), !first)) return false;
    bytes += got;
    if (got == 0) return true;
  }
}

// The folders from the first below the drive root (or share) down to the one holding `path`,
// a full path in lexicalFullPath's form.
std::vector<std::string> foldersOnTheWay(const std::string& path) {
  size_t at = path.compare(0, 2, "\\\\") == 0 ? path.find('\\', path.find('\\', 2) + 1) : 2;
  std::vector<std::string> out;
  while (at != std::string::npos && (at = path.find('\\', at + 1)) != std::string::npos) out.push_back(path.substr(0, at));
  return out;
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

StoreLockResult Quarantine::lock(Pump* pump, uint32_t waitMs) {
  if (lock_) return StoreLockResult::Taken;
  StoreLockResult result = StoreLockResult::Failed;
  if (!ensureFolder()) return result;
  lock_ = fs_.lockStore(folder_ + "\\" + kQuarantineLock, true, waitMs, pump, result);
  // Another program may have written since this one last looked: ids and the index's end are
  // read afresh.
  lastId_ = -1;
  last_ = Last{};
  return lock_ ? StoreLockResult::Taken : result;
}

void Quarantine::unlock() {
  holdFilesOpen(false);
  lock_.reset();
}

std::string Quarantine::lockProblem(StoreLockResult result, const std::string& product) const {
  if (result == StoreLockResult::Busy) return storeBusyText(product, "the quarantine");
  return "The quarantine folder " + folder_ + " could not be used. Nothing was changed.";
}

void Quarantine::clearUnfinished() {
  if (!locked()) return;
  for (const FolderEntry& f : fs_.listFolder(folder_)) {
    if (!isPartName(f.name)) continue;
    if (f.attributes & kAttrFolder) fs_.deleteFolderTree(storedPath(f.name));
    else fs_.deleteFile(storedPath(f.name));
  }
}

int64_t Quarantine::nextId(const std::string& name, bool probe) {
  if (lastId_ < 0) {
    // The index may be gone, cut short or edited by hand: the stored names count as well.
    lastId_ = 0;
    for (const QuarantineEntry& e : entries()) lastId_ = std::max(lastId_, e.id);
    for (const FolderEntry& f : fs_.listFolder(folder_)) {
      const size_t digits = idDigits(f.name);
      if (digits == std::string::npos) continue;
      // A number past the last id blocks every later one: nothing more is kept, nothing lost.
      lastId_ = digits > 18 ? kMaxQuarantineId : std::max(lastId_, int64_t(std::stoll(f.name.substr(0, digits))));
    }
  }
  if (!probe) return lastId_ < kMaxQuarantineId ? ++lastId_ : 0;
  // A name taken since (by another run, or by hand) is passed over, never written over.
  for (int tries = 0; tries < 1000 && lastId_ < kMaxQuarantineId; ++tries) {
    const int64_t id = ++lastId_;
    const std::string stored = storedPath(std::to_string(id) + "-" + name);
    if (fs_.attributes(stored) == kNoSuchPath && fs_.attributes(stored + kPartSuffix) == kNoSuchPath) return id;
  }
  return 0;
}

bool Quarantine::indexEndsWhole(uint64_t& size) {
  const std::string path = indexPath();
  size = 0;
  // Asked only when its size could not be: no index yet is a whole one.
  if (!fs_.fileSize(path, size)) {
    size = 0;
    return fs_.attributes(path) == kNoSuchPath;
  }
  // Still where this run's own last line ended: nothing to look at.
  if (size == 0 || size == last_.indexAfter) return true;
  auto in = fs_.openRead(path);
  char lastByte = 0;
  if (!in || !in->seek(size - 1) || in->read(&lastByte, 1) != 1) return false;
  if (lastByte == '\n' || lastByte == '\r') return true;
  // A write cut short (a full disk, a kill) left part of a line: it goes before anything follows.
  std::string text;
  if (!fs_.readAll(path, text)) return false;
  const size_t end = text.find_last_of("\r\n");
  const uint64_t whole = end == std::string::npos ? 0 : end + 1;
  if (!fs_.truncate(path, whole)) return false;
  size = whole;
  return true;
}

bool Quarantine::record(const QuarantineEntry& e) {
  if (!locked()) return false;
  const std::string line = std::to_string(e.id) + "\t" + escapeField(e.date) + "\t" + kindName(e.kind) + "\t" +
                           escapeField(e.original) + "\t" + escapeField(e.stored) + "\t" + std::to_string(e.size) +
                           LB;
  uint64_t before = 0, after = 0;
  if (!indexEndsWhole(before)) return false;
  if (append(indexPath(), index_, line) && fs_.fileSize(indexPath(), after) && after >= before + line.size()) {
    last_ = Last{e.id, e.stored, before, after, e.kind == QuarantineKind::Folder};
    return true;
  }
  // Half a line is taken back now; should that fail too, the next write cuts it first.
  fs_.truncate(indexPath(), before);
  return false;
}

bool Quarantine::withdrawLast() {
  if (last_.id == 0 || !locked()) return false;
  uint64_t size = 0;
  if (!fs_.fileSize(indexPath(), size) || size != last_.indexAfter || !fs_.truncate(indexPath(), last_.indexBefore))
    return false;
  if (last_.folder) fs_.deleteFolderTree(storedPath(last_.stored));
  else fs_.deleteFile(storedPath(last_.stored));
  const uint64_t whole = last_.indexBefore;  // where a whole line ended before this one
  last_ = Last{};
  last_.indexAfter = whole;
  return true;
}

int64_t Quarantine::storeFile(HeldFile& source, const std::string& path, QuarantineKind kind) {
  // The folder is made once per removal (ensureFolder); without it the copy fails and nothing
  // is deleted.
  uint64_t size = 0;
  if (!locked() || !fs_.fileSize(path, size)) return 0;
  const std::string name = fileNameFromPath(path);
  // Copied under a name no entry uses, then moved to the stored name by a move that never
  // replaces a name that exists: a name found taken (made by hand) is passed over for the next
  // id. The names are not looked up beforehand: under Wine a look-up of an absent name reads
  // the whole folder, and the quarantine grows large. The copy counts only when it is whole; a
  // half copy is no backup.
  QuarantineEntry e{nextId(name, false), clock_.nowText(), kind, path, "", size};
  if (e.id == 0) return 0;
  const std::string part = storedPath(std::to_string(e.id) + "-" + name + kPartSuffix);
  uint64_t copied = 0, written = 0;
  if (!copyHeld(fs_, source, part, copied) || copied != size || !fs_.fileSize(part, written) || written != size) {
    fs_.deleteFile(part);
    return 0;
  }
  for (int tries = 0; tries < 1000 && e.id != 0; ++tries, e.id = nextId(name, false)) {
    e.stored = std::to_string(e.id) + "-" + name;
    if (fs_.rename(part, storedPath(e.stored))) {
      if (record(e)) return e.id;
      fs_.deleteFile(storedPath(e.stored));
      return 0;
    }
    if (fs_.attributes(storedPath(e.stored)) == kNoSuchPath) break;  // the move failed, not the name
  }
  fs_.deleteFile(part);
  return 0;
}

int64_t Quarantine::storeFolder(const std::string& path) {
  if (!locked() || !ensureFolder()) return 0;
  std::string from = path;
  if (from.size() > 3 && from.back() == '\\') from.pop_back();
  uint64_t size = 0, copied = 0;
  if (!treeSize(fs_, from, size)) return 0;
  QuarantineEntry e{nextId(fileNameFromPath(from)), clock_.nowText(), QuarantineKind::Folder, from, "", size};
  if (e.id == 0) return 0;
  e.stored = std::to_string(e.id) + "-" + fileNameFromPath(from);
  // Made under a ".part" name and moved when whole, as a file is: a folder left half copied
  // (the program killed meanwhile) is never taken for a backup.
  const std::string part = storedPath(e.stored + kPartSuffix), to = storedPath(e.stored);
  if (!fs_.createFolder(part) || !fs_.listFolder(part).empty()) return 0;
  if (!fs_.copyFolderTree(from, part) || !treeSize(fs_, part, copied) || copied != size) {
    fs_.deleteFolderTree(part);
    return 0;
  }
  if (!fs_.rename(part, to)) {
    fs_.deleteFolderTree(part);
    return 0;
  }
  if (!record(e)) {
    fs_.deleteFolderTree(to);
    return 0;
  }
  return e.id;
}

int64_t Quarantine::storeRegistry(uint32_t root, const std::string& keyPath, const std::string& valueName,
                                  bool wholeKey, std::string* exported) {
  std::string text;
  if (!locked() || !ensureFolder() || !exportRegistry(reg_, root, keyPath, valueName, wholeKey, text)) return 0;
  QuarantineEntry e{nextId("registry.reg"), clock_.nowText(), QuarantineKind::Registry,
                    registryRootName(root) + "\\" + keyPath + (wholeKey ? "" : " : " + (valueName.empty() ? "@" : valueName)),
                    "", text.size()};
  if (e.id == 0) return 0;
  e.stored = std::to_string(e.id) + "-registry.reg";
  const std::string part = storedPath(e.stored + kPartSuffix);
  uint64_t written = 0;
  if (!fs_.write(part, text, false) || !fs_.fileSize(part, written) || written != text.size() ||
      !fs_.rename(part, storedPath(e.stored))) {
    fs_.deleteFile(part);
    return 0;
  }
  if (!record(e)) {
    fs_.deleteFile(storedPath(e.stored));
    return 0;
  }
  if (exported) *exported = text;
  return e.id;
}

bool Quarantine::append(const std::string& path, std::unique_ptr<AppendFile>& held, const std::string& text) {
  if (!held) held = fs_.openAppend(path);
  if (!held) return false;
  const bool ok = held->add(text);
  // A failed write reopens next time: the file may have been replaced meanwhile.
  if (!ok || !hold_) held.reset();
  return ok;
}

void Quarantine::holdFilesOpen(bool hold) {
  hold_ = hold;
  if (!hold) index_.reset(), log_.reset();
}

void Quarantine::log(const std::string& text) { append(folder_ + "\\" + kQuarantineLog, log_, text); }

void Quarantine::logFile(const std::string& path, const std::string& name) {
  log(clock_.nowText() + " - File: " + name + LB + " - Location: " + path + LB + LB + LB);
}

void Quarantine::logRegistry(const std::string& key, const std::string& value) {
  log(clock_.nowText() + " - Key: " + key + LB);
  log("Value: " + value + LB + LB + LB);
}

std::vector<QuarantineEntry> Quarantine::entries() const {
  std::vector<QuarantineEntry> out;
  std::string text;
  if (!fs_.readAll(indexPath(), text)) return out;
  // A line that does not read whole (a write cut short) is left out rather than guessed at. A
  // cut line with no line end of its own swallowed the line written after it: that line is
  // its last six fields, and its stored name tells where its id begins.
  const std::vector<std::string> lines = split(replaceAll(replaceAll(text, "\r\n", "\n"), "\r", "\n"), "\n");
  for (size_t n = 0; n < lines.size(); ++n) {
    std::vector<std::string> f = split(lines[n], "\t");
    if (n + 1 == lines.size() && !text.empty() && text.back() != '\n' && text.back() != '\r') break;
    const bool joined = f.size() > 6;
    if (joined) f.erase(f.begin(), f.end() - 6);
    if (f.size() == 6) {
      const std::string stored = unescapeField(f[4]);
      const size_t dash = stored.find_first_not_of("0123456789");
      const bool named = dash != 0 && dash != std::string::npos && stored[dash] == '-';
      if (named && f[0].size() >= dash && f[0].compare(f[0].size() - dash, dash, stored, 0, dash) == 0)
        f[0] = stored.substr(0, dash);
      else if (joined)
        continue;
    }
    QuarantineEntry e;
    uint64_t id = 0;
    if (f.size() != 6 || !parseWhole(f[0], id) || id == 0 || id > uint64_t(kMaxQuarantineId) ||
        !parseKind(f[2], e.kind) || !parseWhole(f[5], e.size))
      continue;
    e.id = int64_t(id);
    e.date = unescapeField(f[1]);
    e.original = unescapeField(f[3]);
    e.stored = unescapeField(f[4]);
    if (!insideFolder(e.stored)) continue;
    out.push_back(std::move(e));
  }
  addUnindexed(out);
  return out;
}

void Quarantine::addUnindexed(std::vector<QuarantineEntry>& out) const {
  // A copy is kept whatever became of its index line (a lost or edited index): it is listed
  // by its stored name, and a file's place is taken from the log when the log names one place
  // for files of that name.
  std::vector<QuarantineEntry> found;
  std::string log;
  for (const FolderEntry& f : fs_.listFolder(folder_)) {
    const size_t digits = idDigits(f.name);
    if (digits == std::string::npos || digits > 18 || isPartName(f.name)) continue;
    if (std::any_of(out.begin(), out.end(), [&](const QuarantineEntry& e) { return iequals(e.stored, f.name); }))
      continue;
    QuarantineEntry e;
    e.id = std::stoll(f.name.substr(0, digits));
    if (e.id == 0 || !insideFolder(f.name)) continue;
    e.stored = f.name;
    e.size = f.size;
    const std::string name = f.name.substr(digits + 1);
    e.kind = (f.attributes & kAttrFolder) ? QuarantineKind::Folder
             : iequals(name, "registry.reg") ? QuarantineKind::Registry
                                            : QuarantineKind::File;
    if (e.kind == QuarantineKind::File) {
      if (log.empty()) fs_.readAll(folder_ + "\\" + kQuarantineLog, log);
      const std::string mark = " - File: " + name + LB + " - Location: ";
      for (size_t at = log.find(mark); at != std::string::npos; at = log.find(mark, at + 1)) {
        const size_t from = at + mark.size(), end = log.find(LB, from);
        const std::string place = log.substr(from, end == std::string::npos ? std::string::npos : end - from);
        if (e.original.empty() || iequals(e.original, place)) {
          e.original = place;
        } else {
          e.original = "";  // more than one place: none is sure
          break;
        }
      }
    }
    found.push_back(std::move(e));
  }
  std::sort(found.begin(), found.end(), [](const QuarantineEntry& a, const QuarantineEntry& b) { return a.id < b.id; });
  out.insert(out.end(), found.begin(), found.end());
}

std::string Quarantine::restore(int64_t id) {
  if (!locked()) return "The quarantine could not be locked for the restore; nothing was restored.";
  for (const QuarantineEntry& e : entries()) {
    if (e.id != id) continue;
    const std::string from = storedPath(e.stored);
    if (e.original.empty())
      return "Where " + from + " came from is not recorded; it was not restored (copy it back by hand" +
             (e.kind == QuarantineKind::Registry ? ", or import it into the registry)." : ").");
    if (e.kind == QuarantineKind::Registry) return restoreRegistry(e, from);
    std::vector<std::unique_ptr<HeldPlace>> way;
    if (std::string problem = placeProblem(e, way); !problem.empty()) return problem;
    if (e.kind == QuarantineKind::Folder) {
      // Made here and held before anything goes in: nothing made in its place meanwhile (a link
      // least of all) is written through.
      std::unique_ptr<HeldPlace> made;
      if (!fs_.createFolder(e.original) || !(made = fs_.holdPlace(e.original)) || !made->facts().folder ||
          made->facts().link || !fs_.listFolder(e.original).empty())
        return e.original + " could not be made afresh; nothing was restored.";
      if (!fs_.copyFolderTree(from, e.original)) return e.original + " could not be restored whole.";
    } else if (!fs_.copyFile(from, e.original, true)) {
      return e.original + " could not be restored.";
    }
    return "";
  }
  return "No quarantined item has the id " + std::to_string(id) + ".";
}

std::string Quarantine::placeProblem(const QuarantineEntry& e, std::vector<std::unique_ptr<HeldPlace>>& way) {
  // A device is never a place a file came from: writing there would reach the device.
  if (isDevicePath(e.original)) return e.original + " names a device, not a file; nothing was restored.";
  // Only a full path in its one spelling names one place: a relative, drive-relative or
  // unfinished one would be read against whatever folder is current now.
  const std::string full = lexicalFullPath(e.original);
  if (full.empty() || !iequals(full, e.original) || full.back() == '\\' || !iequals(fs_.canonicalPath(full), full))
    return "\"" + e.original + "\" is not the full path of one place; nothing was restored.";
  // Each folder on the way is looked at without following a link, and held so that none is
  // swapped for one before the copy is made.
  for (const std::string& folder : foldersOnTheWay(full)) {
    std::unique_ptr<HeldPlace> held = fs_.holdPlace(folder);
    if (!held) {
      if (fs_.attributes(folder) == kNoSuchPath)
        return "The folder " + folder + " that held " + e.original + " is gone; create it first.";
      return "The folder " + folder + " on the way to " + e.original + " could not be looked at; nothing was restored.";
    }
    if (held->facts().link)
      return "The folder " + folder + " on the way to " + e.original +
             " is a link or junction; nothing was restored, so that nothing is written where it leads.";
    if (!held->facts().folder) return folder + " on the way to " + e.original + " is not a folder; nothing was restored.";
    way.push_back(std::move(held));
  }
  if (fs_.attributes(e.original) != kNoSuchPath) return e.original + " exists again; it was not replaced.";
  return "";
}

std::string Quarantine::restoreRegistry(const QuarantineEntry& e, const std::string& from) {
  std::string text, error;
  std::vector<RegFileKey> keys;
  if (!fs_.readAll(from, text)) return "The quarantined copy " + from + " could not be read.";
  RegFileForm form = RegFileForm::Unicode;
  if (!parseRegFile(text, keys, error, &form) || keys.empty())
    return "The quarantined copy " + from + " is damaged (" + error + ").";
  // Copies made before exports were in UTF-16 name everything in the code page.
  const bool exact = form == RegFileForm::Unicode;
  if (!copyMatchesOriginal(keys, exact ? reg_.exactName(e.original) : e.original))
    return "The quarantined copy " + from + " holds other registry items than " + e.original + "; it was not restored.";
  auto keyThere = [&](const RegFileKey& k) {
    return exact ? reg_.keyExistsExact(k.root, k.path) : reg_.keyExists(k.root, k.path, kKeyRead);
  };
  // Nothing that is there now is replaced: the whole item goes back, or none of it.
  const bool wholeKey = e.original.find(" : ") == std::string::npos;
  if (wholeKey && keyThere(keys[0])) return "The key " + e.original + " exists again; it was not replaced.";
  for (const RegFileKey& k : keys)
    for (const auto& [name, value] : k.values) {
      RegValue now;
      if ((exact ? reg_.queryValueExact(k.root, k.path, name, now)
                 : reg_.queryValue(k.root, k.path, name, kKeyRead, now)) == RegStatus::Ok)
        return "The value " + e.original + " exists again; it was not replaced.";
    }
  for (const RegFileKey& k : keys) {
    // An empty key is made by writing and removing a value-less default: setValue makes keys.
    if (k.values.empty() && !keyThere(k) &&
        !(exact ? reg_.createKeyExact(k.root, k.path)
                : reg_.setValue(k.root, k.path, "", RegValue{kRegSz, std::string(1, '\0')}) &&
                      reg_.deleteValue(k.root, k.path, "")))
      return "The key " + registryRootName(k.root) + "\\" + k.path + " could not be made.";
    for (const auto& [name, value] : k.values)
      if (!(exact ? reg_.setValueExact(k.root, k.path, name, value) : reg_.setValue(k.root, k.path, name, value)))
        return "The value " + name + " of " + registryRootName(k.root) + "\\" + k.path + " could not be written.";
  }
  return "";
}

}  // namespace quillon
