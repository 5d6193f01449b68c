#include "definitions/exclusions.h"

#include "common/line_reader.h"
#include "common/text.h"
#include "definitions/definition_store.h"

namespace quillon {

void ExclusionList::load() {
  text_.clear();
  entries_.clear();
  if (fileExists(fs_, path_)) {
    LineReader r(fs_.openRead(path_));
    for (std::string line; r.next(line);) {
      if (!trim(line).empty()) text_ += line + "|";
      pump_.yield();
    }
  }
  for (std::string& piece : split(text_, "|"))
    if (!piece.empty()) entries_.push_back(std::move(piece));
}

void ExclusionList::add(const std::string& entry) {
  fs_.write(path_, trim(entry) + "\r\n", true);
  load();
}

bool ExclusionList::isFileExcluded(const std::string& item) const {
  const std::string trimmed = trim(item);
  for (const std::string& e : entries_)
    if (iequals(e, item) || iequals(e, trimmed)) return true;
  return false;
}

bool ExclusionList::isFolderExcluded(const std::string& folder) const {
  const std::string trimmed = trim(folder);
  for (const std::string& e : entries_)
    if (iequals(e, folder) || iequals(e, trimmed) || ifind(e, folder) != std::string::npos) return true;
  return false;
}

}  // namespace quillon
