#include "definitions/shipped_definitions.h"

#include <tuple>

#include "common/datetime.h"
#include "common/text.h"
#include "definitions/definition_store.h"

namespace quillon {

namespace {

// A date that does not read counts as the oldest: a set with an unreadable date is replaced.
std::tuple<int, int, int, int, int, int> dateKey(const DefinitionStore& store) {
  DateTime d;
  if (!store.exists(kDateFile) || !parseDateTime(trim(store.readDate()), d)) return {0, 0, 0, 0, 0, 0};
  return {d.year, d.month, d.day, d.hour, d.minute, d.second};
}

}  // namespace

Adoption adoptShippedDefinitions(FileSystem& fs, const std::string& appFolder) {
  const DefinitionStore live(fs, appFolder);
  const DefinitionStore shipped(fs, appFolder + "\\" + kShippedFolder);
  const char* files[] = {kRegistryDefs, kFileDefs, kDirectoryDefs, kExeDefs, kCookieDefs, kDateFile};
  for (const char* name : files)
    if (!shipped.exists(name)) return Adoption::NothingShipped;
  bool complete = true;
  for (const char* name : files) complete = complete && live.exists(name);
  if (complete && !(dateKey(live) < dateKey(shipped))) return Adoption::LiveIsCurrent;
  for (const char* name : files) {
    const std::string scratch = live.path(name) + ".new";
    if (!fs.copyFile(shipped.path(name), scratch, false) || !fs.replaceFile(scratch, live.path(name))) {
      fs.deleteFile(scratch);
      return Adoption::Failed;
    }
  }
  return Adoption::Adopted;
}

}  // namespace quillon
