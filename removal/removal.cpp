#include "removal/removal.h"

#include <algorithm>

#include "common/device_names.h"
#include "common/text.h"
#include "definitions/definition_store.h"
#include "removal/reg_file.h"

namespace quillon {

namespace {

// The upper-cased extension: the text after the last "." that follows the last "\" or ":".
std::string extensionOf(const std::string& path) {
  size_t dot = path.rfind('.');
  size_t sep = path.find_last_of("\\:");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return "";
  return toUpper(trim(path.substr(dot + 1)));
}

// The share of the whole run's items done, rounded down: 100% is said only once the last item
// of the second pass is done, which the caller says itself.
std::string percentLabel(int done, int total) {
  const int64_t before = std::max(0, std::min(done, total - 1));  // shown before an item is done
  return "Removing : " + std::to_string(total > 0 ? int(before * 100 / total) : 0) + "% Completed.";
}

bool parseRoot(const std::string& text, uint32_t& root) {
  double d = 0;
  if (!parseNumber(text, d) || d != double(int64_t(d)) || d < -2147483648.0 || d > 2147483647.0) return false;
  root = uint32_t(int32_t(d));
  return true;
}

// A registry row as the user knows it: the root's name, the key and the value.
std::string registryText(const RegistryItem& item) {
  uint32_t root = 0;
  const std::string key = (parseRoot(item.root, root) ? registryRootName(root) : item.root) + "\\" + trim(item.key);
  return trim(item.value).empty() ? key : key + "\\" + trim(item.value);
}

// Whether a path in its one spelling (FileSystem::canonicalPath) names a file the scan would
// see: fileExists without its listing, which only tells whether a name given is the entry's own,
// and a canonical path's always is. One probe instead of a probe and a listing per file.
bool plainFileAt(FileSystem& fs, const std::string& canonical) {
  return !isDevicePath(canonical) && plainFileAttributes(fs.attributes(canonical));
}

// Why an item stays, as the console prints it beside the item.
constexpr const char* kLink = "a link; what it leads to is left alone";
constexpr const char* kNotCopied = "could not be copied into the quarantine";
constexpr const char* kNotDeleted = "could not be deleted";
constexpr const char* kSystemsOwn = "a place of the system's or of this program's own";
constexpr const char* kStillStaying = "still there after the removal";

}  // namespace

const char* attemptReason(Attempt attempt) {
  switch (attempt) {
    case Attempt::Deleted:
    case Attempt::Marked:
      return "marked for deletion, but another program still has it open: it goes once that program lets go, and its "
             "copy stays in the quarantine";
    case Attempt::Absent:
    case Attempt::NotAFile: return "";
    case Attempt::OwnFile: return "one of the program's own files";
    case Attempt::HeldElsewhere: return "held by another program";
    case Attempt::NotOpened: return "could not be opened";
    case Attempt::Link: return kLink;
    case Attempt::Protected: return kSystemsOwn;
    case Attempt::NotCopied: return kNotCopied;
    case Attempt::NotDeleted: return kNotDeleted;
  }
  return "";
}

RemovalOutcome nothingRemoved(const ScanResults& r, const std::string& reason) {
  RemovalOutcome out;
  for (int i = 0; i < r.fileWorkCount(); ++i)
    if (r.fileWork(i).checked) out.stays(r.fileWork(i).path, reason);
  for (int j = 0; j < r.registryWorkCount(); ++j)
    if (r.registryWork(j).checked) out.stays(registryText(r.registryWork(j)), reason);
  for (int k = 0; k < r.cookieWorkCount(); ++k)
    if (r.cookieWork(k).checked) out.stays(r.cookieWork(k).path, reason);
  return out;
}

RemovalOutcome Removal::run() {
  outcome_ = RemovalOutcome{};
  gone_.clear();
  marked_.clear();
  unconfirmed_.clear();
  const ScanResults& r = env_.results;
  done_ = 0;
  total_ = 2 * (int(r.checkedFiles().size() + r.checkedRegistryItems().size() + r.checkedCookies().size()));
  env_.quarantine.ensureFolder();
  // What a program killed in the middle of a copy left behind goes first.
  env_.quarantine.clearUnfinished();
  // The index and the log stay open for the whole removal, and are let go whatever happens.
  struct Held {
    Quarantine& q;
    ~Held() { q.holdFilesOpen(false); }
  } held{env_.quarantine};
  env_.quarantine.holdFilesOpen(true);
  pass(true);
  pass(false);
  return outcome_;
}

void Removal::gone(const std::string& item) {
  if (gone_.insert(item).second) outcome_.removed.push_back(item);
}

void Removal::confirmDeleted() {
  for (const std::string& path : unconfirmed_) {
    if (env_.platform.fs.attributes(path) == kNoSuchPath) gone(path);
    else marked_.insert(path);
  }
  unconfirmed_.clear();
}

bool Removal::stays(const std::string& reason) {
  reason_ = reason;
  return false;
}

void Removal::attempted(Attempt attempt) {
  if (*attemptReason(attempt)) reason_ = attemptReason(attempt);
}

void Removal::failed(const std::string& item, std::vector<std::string>& shown) {
  shown.push_back(item);
  outcome_.stays(item, reason_.empty() ? kStillStaying : reason_);
}

void Removal::pass(bool first) {
  ScanResults& r = env_.results;
  Platform& p = env_.platform;
  Pump& pump = p.pump;
  const int files = r.fileWorkCount(), registry = r.registryWorkCount(), cookies = r.cookieWorkCount();
  auto progress = [this] {
    env_.host.showProgress(percentLabel(done_, total_), std::min(done_, total_), total_);
    ++done_;
    reason_.clear();
  };
  if (r.removalCount() > 0) env_.host.showProgress(percentLabel(done_, total_), done_, total_);
  std::vector<std::string> failedNow;

  for (int i = 0; i < files; ++i) {
    const FileItem item = r.fileWork(i);
    if (!item.checked) continue;
    progress();
    env_.host.showItem(toLower(item.path));
    // In the second pass, nothing at all there (most often: gone in the first) needs neither a
    // removal nor another look: one probe settles it.
    if (!first && p.fs.attributes(item.path) == kNoSuchPath) {
      pump.yield();
      continue;
    }
    removeFile(i, first);
    pump.yield();
    if (first) continue;
    confirmDeleted();  // the second pass finds its folders emptied by the first
    if (stillThere(item.path)) {
      failed(item.path, failedNow);
      r.keepFailedFile(i);
    }
  }
  confirmDeleted();
  for (int j = 0; j < registry; ++j) {
    const RegistryItem item = r.registryWork(j);
    if (!item.checked) continue;
    progress();
    env_.host.showItem(toLower(item.key + "\\" + item.value));
    removeRegistry(item, first);
    pump.yield();
    if (!first && registryStillThere(item)) {
      failed(registryText(item), failedNow);
      r.keepFailedRegistry(j);
    }
  }
  for (int k = 0; k < cookies; ++k) {
    const CookieItem item = r.cookieWork(k);
    if (!item.checked) continue;
    progress();
    env_.host.showItem(toLower(item.path));
    removeCookie(item.path, first);
    pump.yield();
    if (!first && fileExists(env_.platform.fs, item.path)) {
      failed(item.path, failedNow);
      r.keepFailedCookie(k);
    }
  }
  confirmDeleted();
  if (!failedNow.empty()) env_.host.deleteFailed(failedNow);
}

void Removal::removeFile(int row, bool first) {
  Platform& p = env_.platform;
  // What the row names, in its one canonical spelling; a row that names no one place is left.
  const std::string path = p.fs.canonicalPath(env_.results.fileWork(row).path);
  if (path.empty()) return;
  const std::string ext = extensionOf(path);
  const bool component = ext == "DLL" || ext == "OCX";
  // A file of the system's or the program's own is neither unregistered nor stopped first.
  if ((component || ext == "EXE") && env_.protectedLocations.isProgramFile(path)) {
    stays(kSystemsOwn);
    return;
  }
  if (component) callRegistrationEntry(p.libraries, path, false);
  if (ext == "EXE") {
    // A running program holds its file: it is stopped first, and a program that will not stop
    // keeps its file for now (the second pass tries again).
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos || !plainFileAt(p.fs, path)) return;
    if (!killProcessByName(p.processes, p.pump, path.substr(slash + 1), &env_.own)) {
      stays("its program could not be stopped");
      return;
    }
    attempted(quarantineAndDelete(path, QuarantineKind::File, first, true));
    return;
  }
  if (component && plainFileAt(p.fs, path)) {
    callRegistrationEntry(p.libraries, path, false);
    attempted(quarantineAndDelete(path, QuarantineKind::File, first, true));
    return;
  }
  if (path.find('\\') == std::string::npos) return;
  if (plainFileAt(p.fs, path)) attempted(quarantineAndDelete(path, QuarantineKind::File, first, true));
  else if (p.fs.folderExists(path)) removeFolder(path);
}

Attempt Removal::quarantineAndDelete(const std::string& path, QuarantineKind kind, bool first, bool present) {
  Platform& p = env_.platform;
  if (!present && !fileExists(p.fs, path)) return Attempt::Absent;
  if (env_.own.upperPaths.count(toUpper(path))) return Attempt::OwnFile;
  if (marked_.count(path)) return Attempt::Marked;
  // Judged by what the path names, not its spelling: never one of the program's own files, and
  // never through a link (what it points to lies elsewhere; the link stays and is reported).
  // The file is held, shared with nobody, from this look to its deletion: nothing can be put in
  // its place meanwhile, and a file another program has open is seen now, not marked to vanish
  // once that program lets go. A program just stopped lets go of its file a moment later.
  HoldFailure why = HoldFailure::None;
  std::unique_ptr<HeldFile> held = p.fs.holdFile(path, &why, extensionOf(path) == "EXE" ? 2000 : 0);
  if (!held) {
    if (why == HoldFailure::Absent) return Attempt::Absent;  // gone meanwhile, not by this removal
    return why == HoldFailure::InUse ? Attempt::HeldElsewhere : Attempt::NotOpened;
  }
  if (held->facts().folder) return Attempt::NotAFile;
  if (held->facts().link) return Attempt::Link;
  if (env_.protectedLocations.isProgramFile(path, held.get())) return Attempt::Protected;
  if (!held->seek(0)) return Attempt::NotCopied;  // the look read it: the copy starts at its start
  // No copy, no delete: a file that could not be kept stays where it is. The copy is read
  // through the held handle, since the file is shared with nobody.
  if (!env_.quarantine.storeFile(*held, path, kind)) return Attempt::NotCopied;
  bool deleted = false;
  for (int attempt = 0; attempt < 8 && !deleted; ++attempt) {
    deleted = held->deleteNow();
    p.pump.yield();
  }
  if (!deleted) {
    // Still where it was: its copy and index line go again, so that every pass and every run
    // does not add another.
    env_.quarantine.withdrawLast();
    return Attempt::NotDeleted;
  }
  held.reset();  // a file marked for deletion goes as its last handle closes
  if (first) env_.quarantine.logFile(path, fileNameFromPath(path));
  // Removed means gone: judged by what is there once the pass's files are done. Shared with
  // nobody, it is; only a program that merely looks at it could keep it a while, and its copy
  // then stays, since it vanishes when that program lets go.
  unconfirmed_.push_back(path);
  return Attempt::Deleted;
}

bool Removal::removeFolder(const std::string& path) {
  Platform& p = env_.platform;
  const std::string folder = p.fs.canonicalPath(path);
  if (folder.empty()) return false;
  if (env_.protectedLocations.isProtectedFolder(folder)) return stays(kSystemsOwn);
  // A link or junction points somewhere else: deleting what it points to is never the removal's
  // business, and copying it would keep the wrong thing. It stays, and is reported.
  PathFacts facts;
  if (!p.fs.examine(folder, facts) || !facts.folder) return stays("could not be opened");
  if (facts.link) return stays(kLink);
  uint64_t before = 0, after = 0;
  if (!treeSize(p.fs, folder, before) || !env_.quarantine.storeFolder(folder)) return stays(kNotCopied);
  p.fs.deleteFolderTreeChecked(folder, facts.identity);
  if (p.fs.attributes(folder) != kNoSuchPath) {
    // The copy stays when part of the folder went: it is that part's only backup.
    if (treeSize(p.fs, folder, after) && after == before) env_.quarantine.withdrawLast();
    return stays("could not be deleted whole (something in it may be held by another program)");
  }
  gone(folder);
  return true;
}

bool Removal::registryStillThere(const RegistryItem& item) {
  Registry& reg = env_.platform.registry;
  uint32_t root = 0;
  if (!parseRoot(item.root, root) || registryRootName(root).empty()) return false;
  RegValue v;
  if (trim(item.value).empty()) return reg.keyExists(root, trim(item.key), kKeyRead);
  return reg.queryValue(root, trim(item.key), trim(item.value), kKeyRead, v) == RegStatus::Ok;
}

bool Removal::stillThere(const std::string& path) {
  Platform& p = env_.platform;
  if (fileExists(p.fs, path)) {
    if (ifind(path, ".exe") != std::string::npos) {
      const size_t slash = path.rfind('\\');
      if (slash != std::string::npos && killProcessByName(p.processes, p.pump, path.substr(slash + 1), &env_.own))
        attempted(quarantineAndDelete(path, QuarantineKind::File, false));
    }
    return fileExists(p.fs, path);
  }
  return p.fs.folderExists(path);
}

void Removal::removeRegistry(const RegistryItem& item, bool first) {
  Platform& p = env_.platform;
  uint32_t root = 0;
  if (!parseRoot(item.root, root) || registryRootName(root).empty()) return;
  const std::string key = trim(item.key), value = trim(item.value);
  const std::string keyText = registryRootName(root) + "\\" + key;
  Quarantine& q = env_.quarantine;
  constexpr const char* kNotExported = "could not be exported into the quarantine";
  if (env_.protectedLocations.isProtectedRegistryItem(root, key, value)) {
    stays(kSystemsOwn);
    return;
  }
  if (!value.empty()) {
    // Exported first: a value that could not be kept is not deleted.
    if (!q.storeRegistry(root, key, value, false)) {
      stays(kNotExported);
      return;
    }
    if (!p.registry.deleteValue(root, key, value)) {
      q.withdrawLast();
      stays(kNotDeleted);
      return;
    }
    if (first) q.logRegistry(keyText, value);
    gone(keyText + "\\" + value);
    return;
  }
  std::string exported, now;
  if (!q.storeRegistry(root, key, "", true, &exported)) {
    stays(kNotExported);
    return;
  }
  // The key's default value, when it has one, then the key.
  RegValue defaultValue;
  if (p.registry.queryValue(root, key, "", kKeyRead, defaultValue) == RegStatus::Ok &&
      p.registry.deleteValue(root, key, "") && first)
    q.logRegistry(keyText, "");
  if (!p.registry.deleteTree(root, key)) {
    // Nothing of it went: nothing is kept. Part of it went: the copy is that part's backup.
    if (exportRegistry(p.registry, root, key, "", true, now) && now == exported) q.withdrawLast();
    stays(kNotDeleted);
    return;
  }
  if (first) q.logRegistry(std::to_string(int32_t(root)) + "\\" + key, "All Values");
  gone(keyText);
}

void Removal::removeCookie(const std::string& path, bool first) {
  if (fileExists(env_.platform.fs, path)) attempted(quarantineAndDelete(path, QuarantineKind::Cookie, first, true));
}

}  // namespace quillon
