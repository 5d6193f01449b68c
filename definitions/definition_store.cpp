#include "definitions/definition_store.h"

#include "common/device_names.h"
#include "common/text.h"

namespace quillon {

bool fileExists(FileSystem& fs, const std::string& path) {
  // A listing shows a device as if it were a file in every folder; opening and reading it
  // could then wait forever.
  if (isDevicePath(path)) return false;
  const std::string want = fileNameFromPath(path);
  if (want.empty()) return false;
  // Nearly every name asked is absent: the cheap probe settles those, and anything the listing
  // would leave out anyway. What remains is confirmed by the listing, which alone knows whether
  // the name given is the entry's own (not its short name, nor one with trailing dots).
  const uint32_t a = fs.attributes(path);
  if (!plainFileAttributes(a)) return false;
  for (const std::string& name : fs.listFiles(path))
    if (iequals(name, want)) return true;
  return false;
}

std::string storeBusyText(const std::string& product, const std::string& store) {
  return "Another " + product + " is busy with " + store + ". Nothing was changed; try again when it has finished.";
}

LineReader DefinitionStore::open(const std::string& name) const {
  std::string p = path(name);
  // A folder, a hidden or a system file of that name is no definition file, as for check(); the
  // attribute probe says so without the listing's handle (each phase and the walk open these).
  if (!plainFileAttributes(fs_.attributes(p))) return LineReader(nullptr);
  return LineReader(fs_.openRead(p));
}

std::unique_ptr<StoreLockHold> DefinitionStore::lock(bool exclusive, uint32_t waitMs, Pump* pump,
                                                     StoreLockResult& result) const {
  return fs_.lockStore(path(kDefinitionsLock), exclusive, waitMs, pump, result);
}

bool DefinitionStore::check() {
  for (const char* name : {kFileDefs, kRegistryDefs, kExeDefs, kCookieDefs, kDirectoryDefs}) {
    if (fs_.listFiles(path(name)).empty()) {
      deleteAll();
      return false;
    }
  }
  return true;
}

void DefinitionStore::deleteAll() {
  for (const char* name : {kDirectoryDefs, kCookieDefs, kExeDefs, kRegistryDefs, kFileDefs, kDateFile})
    fs_.deleteFile(path(name));
}

DefinitionCounts DefinitionStore::count() const {
  DefinitionCounts c;
  auto lines = [&](const char* name) {
    int32_t n = 0;
    if (!exists(name)) return n;
    LineReader r(fs_.openRead(path(name)));
    for (std::string line; r.next(line);) ++n;
    return n;
  };
  c.cookie = lines(kCookieDefs);
  c.exe = lines(kExeDefs);
  c.registry = lines(kRegistryDefs);
  c.file = lines(kFileDefs) + lines(kDirectoryDefs);
  return c;
}

void DefinitionStore::installDownloaded() {
  for (const char* name : {kCookieDefs, kRegistryDefs, kFileDefs, kExeDefs}) {
    std::string dl = path(std::string("DL") + name);
    if (!fileExists(fs_, dl)) continue;
    if (exists(name)) fs_.deleteFile(path(name));
    fs_.rename(dl, path(name));
  }
}

std::string DefinitionStore::readDate() const {
  if (!exists(kDateFile)) return kDefaultDefinitionDate;
  LineReader r(fs_.openRead(path(kDateFile)));
  std::string line;
  r.next(line);
  return line;
}

void DefinitionStore::writeDate(const std::string& text) {
  // Written beside the old date and put in its place in one step: the date is never missing.
  const std::string scratch = path(std::string(kDateFile) + ".new");
  if (!fs_.write(scratch, text + "\r\n", false) || !fs_.replaceFile(scratch, path(kDateFile))) fs_.deleteFile(scratch);
}

}  // namespace quillon
