#include "removal/quarantine.h"

#include <algorithm>

#include "common/text.h"
#include "definitions/definition_store.h"
#include "removal/kept_copy.h"
#include "removal/quarantine_text.h"
#include "removal/reg_file.h"

namespace quillon {

using namespace quarantine_text;

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

Quarantine::Quarantine(Platform& p, std::string appFolder)
    : Quarantine(p.fs, p.registry, p.clock, std::move(appFolder), &p.signatures) {}

Quarantine::Quarantine(FileSystem& fs, Registry& registry, Clock& clock, std::string appFolder, Signatures* signatures)
    : fs_(fs),
      reg_(registry),
      clock_(clock),
      signatures_(signatures),
      folder_(std::move(appFolder) + "\\" + kQuarantineFolder) {}

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
  const std::string unfinished = storedPath(kUnfinishedFolder);
  for (const FolderEntry& f : fs_.listFolder(unfinished))
    if (isPartName(f.name) && !(f.attributes & kAttrFolder)) fs_.deleteFile(unfinished + "\\" + f.name);
}

int64_t Quarantine::storeFile(HeldFile& source, const std::string& path, QuarantineKind kind) {
  // The folder is made once per removal (ensureFolder); without it the copy fails and nothing
  // is deleted.
  uint64_t size = 0;
  if (!locked() || !signatures_ || !fs_.fileSize(path, size)) return 0;
  const std::string name = fileNameFromPath(path) + kKeptSuffix;
  // Copied under a name no entry uses, then moved to the stored name by a move that never
  // replaces a name that exists: a name found taken (made by hand) is passed over for the next
  // id. The names are not looked up beforehand: under Wine a look-up of an absent name reads
  // the whole folder, and the quarantine grows large. The copy counts only when it is whole; a
  // half copy is no backup.
  QuarantineEntry e{nextId(name, false), clock_.nowText(), kind, path, "", 0, true, "",
                    source.facts().attributes & kKeptAttributes};
  if (e.id == 0) return 0;
  const std::string part =
      storedPath(std::string(kUnfinishedFolder) + "\\" + std::to_string(e.id) + "-" + name + kPartSuffix);
  // Written, checked and moved to its name through the one handle that made it: nobody else can
  // write into it meanwhile. A read that ends early (an error looks like the end) leaves the
  // sizes apart.
  std::unique_ptr<NewFile> out = fs_.createNew(part);
  if (!out && fs_.createFolder(storedPath(kUnfinishedFolder))) out = fs_.createNew(part);
  if (!out) return 0;
  const KeptStream s = transformStream([&](char* buf, size_t n) { return source.read(buf, n); }, out.get(),
                                       *signatures_, true);
  uint64_t written = 0;
  std::string at = part;  // where the copy is now
  if (s.ok && s.bytes == size && out->size(written) && written == size) {
    e.size = size;
    e.digest = s.digest;
    for (int tries = 0; tries < 1000 && e.id != 0; ++tries, e.id = nextId(name, false)) {
      e.stored = std::to_string(e.id) + "-" + name;
      if (out->moveTo(storedPath(e.stored))) {
        at = storedPath(e.stored);
        break;
      }
      if (fs_.attributes(storedPath(e.stored)) == kNoSuchPath) break;  // the move failed, not the name
    }
  }
  // The index names the copy only once it is whole under its own name and let go of.
  if (out->close() && at != part && record(e)) return e.id;
  fs_.deleteFile(at);
  return 0;
}

int64_t Quarantine::storeFolder(const std::string& path) {
  if (!locked() || !signatures_ || !ensureFolder()) return 0;
  std::string from = path;
  if (from.size() > 3 && from.back() == '\\') from.pop_back();
  uint64_t size = 0, copied = 0;
  if (!treeSize(fs_, from, size)) return 0;
  const uint32_t bits = fs_.attributes(from);
  QuarantineEntry e{nextId(fileNameFromPath(from)), clock_.nowText(), QuarantineKind::Folder, from, "", size, true, ""};
  if (bits != kNoSuchPath) e.attributes = bits & kKeptAttributes;
  if (e.id == 0) return 0;
  e.stored = std::to_string(e.id) + "-" + fileNameFromPath(from);
  // Made under a ".part" name and moved when whole, as a file is: a folder left half copied
  // (the program killed meanwhile) is never taken for a backup.
  const std::string part = storedPath(e.stored + kPartSuffix), to = storedPath(e.stored);
  if (!fs_.createFolder(part) || !fs_.listFolder(part).empty()) return 0;
  if (!transformFolder(fs_, *signatures_, from, part, true, e.digest) || !treeSize(fs_, part, copied) ||
      copied != size || !fs_.rename(part, to)) {
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

std::vector<std::string> Quarantine::remove(const std::vector<int64_t>& ids) {
  std::vector<std::string> out(ids.size());
  if (!locked()) {
    std::fill(out.begin(), out.end(), "The quarantine could not be locked; nothing was deleted.");
    return out;
  }
  const std::vector<QuarantineEntry> all = entries();
  std::vector<QuarantineEntry> gone;
  for (size_t i = 0; i < ids.size(); ++i) {
    const auto same = [&](const QuarantineEntry& e) { return e.id == ids[i]; };
    if (std::any_of(gone.begin(), gone.end(), same)) continue;  // asked twice: gone once
    auto e = std::find_if(all.begin(), all.end(), same);
    if (e == all.end()) {
      out[i] = "No quarantined item has the id " + std::to_string(ids[i]) + ".";
      continue;
    }
    // Never through a link: a stored name made into one is deleted as a link, not followed.
    const std::string copy = storedPath(e->stored);
    if (fs_.attributes(copy) & kAttrFolder) fs_.deleteFolderTree(copy);
    else if (!fs_.deleteFileChecked(copy, FileIdentity{})) fs_.deleteFile(copy);
    if (fs_.attributes(copy) != kNoSuchPath) {
      out[i] = "The quarantined copy " + copy + " could not be deleted; it is still kept.";
      continue;
    }
    gone.push_back(*e);
  }
  if (!gone.empty() && !dropLines(gone))
    for (size_t i = 0; i < ids.size(); ++i)
      if (out[i].empty())
        out[i] = "The copy of item " + std::to_string(ids[i]) + " was deleted, but its line could not be taken out of " +
                 indexPath() + ".";
  return out;
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
  log(clock_.nowText() + " - Key: " + key + LB + "Value: " + value + LB + LB + LB);
}

}  // namespace quillon
