#include "removal/removal.h"

#include <algorithm>

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

}  // namespace

RemovalOutcome Removal::run() {
  outcome_ = RemovalOutcome{};
  const ScanResults& r = env_.results;
  done_ = 0;
  total_ = 2 * (int(r.checkedFiles().size() + r.checkedRegistryItems().size() + r.checkedCookies().size()));
  env_.quarantine.ensureFolder();
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

void Removal::pass(bool first) {
  ScanResults& r = env_.results;
  Pump& pump = env_.platform.pump;
  const int files = r.fileWorkCount(), registry = r.registryWorkCount(), cookies = r.cookieWorkCount();
  auto progress = [this] {
    env_.host.showProgress(percentLabel(done_, total_), std::min(done_, total_), total_);
    ++done_;
  };
  if (r.removalCount() > 0) env_.host.showProgress(percentLabel(done_, total_), done_, total_);
  std::vector<std::string> failed;

  for (int i = 0; i < files; ++i) {
    const FileItem item = r.fileWork(i);
    if (!item.checked) continue;
    progress();
    env_.host.showItem(toLower(item.path));
    removeFile(i, first);
    pump.yield();
    if (!first && stillThere(item.path)) {
      failed.push_back(item.path);
      outcome_.failed.push_back(item.path);
      r.keepFailedFile(i);
    }
  }
  for (int j = 0; j < registry; ++j) {
    const RegistryItem item = r.registryWork(j);
    if (!item.checked) continue;
    progress();
    env_.host.showItem(toLower(item.key + "\\" + item.value));
    removeRegistry(item, first);
    pump.yield();
    if (!first && registryStillThere(item)) {
      const std::string what = registryText(item);
      failed.push_back(what);
      outcome_.failed.push_back(what);
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
      failed.push_back(item.path);
      outcome_.failed.push_back(item.path);
      r.keepFailedCookie(k);
    }
  }
  if (!failed.empty()) env_.host.deleteFailed(failed);
}

void Removal::removeFile(int row, bool first) {
  Platform& p = env_.platform;
  // What the row names, in its one canonical spelling; a row that names no one place is left.
  const std::string path = p.fs.canonicalPath(env_.results.fileWork(row).path);
  if (path.empty()) return;
  const std::string ext = extensionOf(path);
  const bool component = ext == "DLL" || ext == "OCX";
  // A file of the system's or the program's own is neither unregistered nor stopped first.
  if ((component || ext == "EXE") && env_.protectedLocations.isProgramFile(path)) return;
  if (component) callRegistrationEntry(p.libraries, path, false);
  if (ext == "EXE") {
    // A running program holds its file: it is stopped first, and a program that will not stop
    // keeps its file for now (the second pass tries again).
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos || !fileExists(p.fs, path)) return;
    if (!killProcessByName(p.processes, p.pump, path.substr(slash + 1), &env_.own)) return;
    quarantineAndDelete(path, QuarantineKind::File, first, true);
    return;
  }
  if (component && fileExists(p.fs, path)) {
    callRegistrationEntry(p.libraries, path, false);
    quarantineAndDelete(path, QuarantineKind::File, first, true);
    return;
  }
  if (path.find('\\') == std::string::npos) return;
  if (fileExists(p.fs, path)) quarantineAndDelete(path, QuarantineKind::File, first, true);
  else if (p.fs.folderExists(path)) removeFolder(path);
}

bool Removal::quarantineAndDelete(const std::string& path, QuarantineKind kind, bool first, bool present) {
  Platform& p = env_.platform;
  if (!present && !fileExists(p.fs, path)) return false;
  if (env_.own.upperPaths.count(toUpper(path))) return false;  // the program never removes itself
  // Judged by what the path names, not its spelling: never one of the program's own files, and
  // never through a link (what it points to lies elsewhere; the link stays and is reported).
  // The file stays held from this look to its deletion: nothing can be put in its place
  // between the check, the copy and the delete.
  const std::unique_ptr<HeldFile> held = p.fs.holdFile(path);
  if (!held || held->facts().folder || held->facts().link || env_.protectedLocations.isProgramFile(path)) return false;
  // No copy, no delete: a file that could not be kept stays where it is.
  if (!env_.quarantine.storeFile(path, kind)) return false;
  bool gone = false;
  for (int attempt = 0; attempt < 8 && !gone; ++attempt) {
    gone = held->deleteNow() || p.fs.attributes(path) == kNoSuchPath;
    p.pump.yield();
  }
  if (!gone) {
    // Still where it was: its copy and index line go again, so that every pass and every run
    // does not add another.
    env_.quarantine.withdrawLast();
    return false;
  }
  if (first) env_.quarantine.logFile(path, fileNameFromPath(path));
  outcome_.removed.push_back(path);
  return true;
}

bool Removal::removeFolder(const std::string& path) {
  Platform& p = env_.platform;
  const std::string folder = p.fs.canonicalPath(path);
  if (folder.empty() || env_.protectedLocations.isProtectedFolder(folder)) return false;
  // A link or junction points somewhere else: deleting what it points to is never the removal's
  // business, and copying it would keep the wrong thing. It stays, and is reported.
  PathFacts facts;
  if (!p.fs.examine(folder, facts) || !facts.folder || facts.link) return false;
  uint64_t before = 0, after = 0;
  if (!treeSize(p.fs, folder, before) || !env_.quarantine.storeFolder(folder)) return false;
  p.fs.deleteFolderTreeChecked(folder, facts.identity);
  if (p.fs.attributes(folder) != kNoSuchPath) {
    // The copy stays when part of the folder went: it is that part's only backup.
    if (treeSize(p.fs, folder, after) && after == before) env_.quarantine.withdrawLast();
    return false;
  }
  outcome_.removed.push_back(folder);
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
        quarantineAndDelete(path, QuarantineKind::File, false);
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
  if (env_.protectedLocations.isProtectedRegistryItem(root, key, value)) return;
  if (!value.empty()) {
    // Exported first: a value that could not be kept is not deleted.
    if (!q.storeRegistry(root, key, value, false)) return;
    if (!p.registry.deleteValue(root, key, value)) {
      q.withdrawLast();
      return;
    }
    if (first) q.logRegistry(keyText, value);
    outcome_.removed.push_back(keyText + "\\" + value);
    return;
  }
  std::string exported, now;
  if (!q.storeRegistry(root, key, "", true, &exported)) return;
  // The key's default value, when it has one, then the key.
  RegValue defaultValue;
  if (p.registry.queryValue(root, key, "", kKeyRead, defaultValue) == RegStatus::Ok &&
      p.registry.deleteValue(root, key, "") && first)
    q.logRegistry(keyText, "");
  if (!p.registry.deleteTree(root, key)) {
    // Nothing of it went: nothing is kept. Part of it went: the copy is that part's backup.
    if (exportRegistry(p.registry, root, key, "", true, now) && now == exported) q.withdrawLast();
    return;
  }
  if (first) q.logRegistry(std::to_string(int32_t(root)) + "\\" + key, "All Values");
  outcome_.removed.push_back(keyText);
}

void Removal::removeCookie(const std::string& path, bool first) {
  if (fileExists(env_.platform.fs, path)) quarantineAndDelete(path, QuarantineKind::Cookie, first, true);
}

}  // namespace quillon
