#include "definitions/exclusions.h"

#include <algorithm>
#include <functional>

#include "definitions/line_reader.h"
#include "common/text.h"
#include "definitions/definition_store.h"

namespace quillon {

void ExclusionList::load() {
  text_.clear();
  keys_.clear();
  if (fileExists(fs_, path_)) {
    LineReader r(fs_.openRead(path_));
    for (std::string line; r.next(line);) {
      if (!trim(line).empty()) text_ += line + "|";
      pump_.yield();
    }
  }
  upperText_ = toUpper(text_);
  keys_.reserve(size_t(std::count(upperText_.begin(), upperText_.end(), '|')));
  for (size_t from = 0, bar; from < upperText_.size(); from = bar + 1) {
    bar = upperText_.find('|', from);
    if (bar == std::string::npos) bar = upperText_.size();
    if (bar > from) keys_.emplace(upperText_, from, bar - from);
  }
  // A hand-written entry may spell a place another way ("C:/Apps", a short name, "..");
  // findings are judged by their one canonical spelling, so such an entry is matched by its
  // canonical spelling too. Entries the program wrote are canonical already and cost nothing.
  std::string extra;
  for (size_t from = 0, bar; from < text_.size(); from = bar + 1) {
    bar = text_.find('|', from);
    if (bar == std::string::npos) bar = text_.size();
    const std::string entry = trim(text_.substr(from, bar - from));
    const bool otherSpelling = entry.find_first_of("/~") != std::string::npos ||
                               entry.find("\\.") != std::string::npos ||
                               (!entry.empty() && (entry.back() == '.' || entry.back() == ' '));
    if (!otherSpelling || !isAbsolutePath(entry)) continue;
    const std::string canonical = toUpper(fs_.canonicalPath(entry));
    if (!canonical.empty() && keys_.insert(canonical).second) extra += canonical + "|";
  }
  upperText_ += extra;
}

void ExclusionList::add(const std::string& entry) { addAll({entry}); }

void ExclusionList::addAll(const std::vector<std::string>& entries) {
  if (entries.empty()) return;
  std::string lines;
  // The list is edited by hand in a text editor, which may leave the last line without its
  // line end: the first new entry would then be glued onto that line and neither would match.
  // After a lone CR too, since an entry starting with LF would make it a CR LF pair. A blank
  // line is ignored when the list is read.
  std::string existing;
  if (fs_.readAll(path_, existing) && !existing.empty() &&
      !(existing.size() >= 2 && existing.compare(existing.size() - 2, 2, "\r\n") == 0))
    lines = "\r\n";
  for (const std::string& e : entries) lines += trim(e) + "\r\n";
  fs_.write(path_, lines, true);
  load();
}

bool ExclusionList::isFileExcluded(const std::string& item) const {
  return keys_.count(toUpper(item)) > 0 || keys_.count(toUpper(trim(item))) > 0;
}

bool ExclusionList::isFolderExcluded(const std::string& folder) const {
  if (isFileExcluded(folder)) return true;
  // Any entry contains the empty text; no entry contains "|", which separates them.
  if (folder.empty()) return !keys_.empty();
  if (folder.find('|') != std::string::npos) return false;
  const std::string needle = toUpper(folder);
  return std::search(upperText_.begin(), upperText_.end(),
                     std::boyer_moore_horspool_searcher(needle.begin(), needle.end())) != upperText_.end();
}

}  // namespace quillon
