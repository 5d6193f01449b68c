// The exclusion list "ENoSignature.txt": findings the user has declared harmless. Every entry
// is matched without regard to case; "|" inside an entry splits it into two entries, because
// the list is kept as one "|"-joined text.
#pragma once
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"

namespace quillon {

class ExclusionList {
 public:
  ExclusionList(FileSystem& fs, Pump& pump, std::string filePath)
      : fs_(fs), pump_(pump), path_(std::move(filePath)) {}

  // Rebuilds the list from the file; a missing file gives the empty list.
  void load();
  // Appends the trimmed entry as a new line (creating the file), then reloads.
  void add(const std::string& entry);
  // Appends every entry as add() does, in one write and one reload; nothing when empty.
  void addAll(const std::vector<std::string>& entries);
  bool isFileExcluded(const std::string& item) const;
  // Also true when the folder path occurs anywhere inside an entry.
  bool isFolderExcluded(const std::string& folder) const;
  // The list as held in memory: every non-blank line followed by "|".
  const std::string& text() const { return text_; }
  const std::string& path() const { return path_; }

 private:
  FileSystem& fs_;
  Pump& pump_;
  std::string path_;
  std::string text_;
  // The non-empty pieces of text_, upper-cased, so that an item is looked up rather than
  // compared with every entry; and text_ upper-cased for the folder rule's substring search.
  std::unordered_set<std::string> keys_;
  std::string upperText_;
};

}  // namespace quillon
