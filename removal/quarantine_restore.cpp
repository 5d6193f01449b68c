// Putting a quarantined item back where it came from.
#include "common/device_names.h"
#include "common/text.h"
#include "removal/kept_copy.h"
#include "removal/quarantine.h"
#include "removal/reg_file.h"

namespace quillon {

namespace {

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

// The folders from the first below the drive root (or share) down to the one holding `path`,
// a full path in lexicalFullPath's form.
std::vector<std::string> foldersOnTheWay(const std::string& path) {
  size_t at = path.compare(0, 2, "\\\\") == 0 ? path.find('\\', path.find('\\', 2) + 1) : 2;
  std::vector<std::string> out;
  while (at != std::string::npos && (at = path.find('\\', at + 1)) != std::string::npos) out.push_back(path.substr(0, at));
  return out;
}

std::string damaged(const std::string& from) {
  return "The quarantined copy " + from +
         " is damaged: it no longer turns back into what was removed. Nothing was restored.";
}

}  // namespace

std::string Quarantine::restore(int64_t id) {
  if (!locked()) return "The quarantine could not be locked for the restore; nothing was restored.";
  for (const QuarantineEntry& e : entries()) {
    if (e.id != id) continue;
    const std::string from = storedPath(e.stored);
    if (e.original.empty())
      return "Where " + from + " came from is not recorded; it was not restored (" +
             (e.kept ? "it is kept in a form that cannot run; delete it, or restore it once its place is known)."
              : e.kind == QuarantineKind::Registry ? "copy it back by hand, or import it into the registry)."
                                                   : "copy it back by hand).");
    if (e.kind == QuarantineKind::Registry) return restoreRegistry(e, from);
    if (e.kept && !signatures_) return "The quarantined copy " + from + " cannot be checked here; nothing was restored.";
    std::vector<std::unique_ptr<HeldPlace>> way;
    if (std::string problem = placeProblem(e, way); !problem.empty()) return problem;
    if (e.kind == QuarantineKind::Folder) return restoreFolder(e, from);
    if (e.kept) return restoreKeptFile(e, from);
    return fs_.copyFile(from, e.original, true) ? "" : e.original + " could not be restored.";
  }
  return "No quarantined item has the id " + std::to_string(id) + ".";
}

std::string Quarantine::restoreKeptFile(const QuarantineEntry& e, const std::string& from) {
  // Turned back and checked whole before anything is written: a damaged copy changes nothing.
  // Then turned back again into a file made afresh (never over one that is there), checked
  // once more as it is written, since the copy could have changed in between.
  const auto pass = [&](NewFile* to) {
    std::unique_ptr<InputFile> in = fs_.openRead(from);
    KeptStream s;
    if (in) s = transformStream([&](char* buf, size_t n) { return in->read(buf, n); }, to, *signatures_, false);
    return s.ok && s.bytes == e.size && (e.digest.empty() || s.digest == e.digest);
  };
  if (!pass(nullptr)) return damaged(from);
  std::unique_ptr<NewFile> out = fs_.createNew(e.original);
  if (!out) return e.original + " could not be restored.";
  const bool whole = pass(out.get());
  // The bits go back as the original had them, read-only last of all; a system that refuses
  // them still gets the bytes, which are what counts.
  if (whole && e.attributes) out->setAttributes(*e.attributes);
  if (out->close() && whole) return "";
  fs_.deleteFile(e.original);
  return e.original + " could not be restored whole; nothing was restored.";
}

std::string Quarantine::restoreFolder(const QuarantineEntry& e, const std::string& from) {
  std::string digest;
  if (e.kept && (!transformFolder(fs_, *signatures_, from, "", false, digest) ||
                 (!e.digest.empty() && digest != e.digest)))
    return damaged(from);
  // Made here and held before anything goes in: nothing made in its place meanwhile (a link
  // least of all) is written through.
  std::unique_ptr<HeldPlace> made;
  if (!fs_.createFolder(e.original) || !(made = fs_.holdPlace(e.original)) || !made->facts().folder ||
      made->facts().link || !fs_.listFolder(e.original).empty())
    return e.original + " could not be made afresh; nothing was restored.";
  const bool whole = e.kept ? transformFolder(fs_, *signatures_, from, e.original, false, digest) &&
                                  (e.digest.empty() || digest == e.digest)
                            : fs_.copyFolderTree(from, e.original);
  if (whole && e.attributes) fs_.setAttributes(e.original, *e.attributes);
  return whole ? "" : e.original + " could not be restored whole.";
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
