// Applies one update text from the definition server to the five definition files: adds the
// definitions it lists and removes those whose keys it names. The whole text is checked before
// any file is touched, and each file is rewritten beside itself and put in place in one step,
// so a file is always wholly the old one or wholly the new one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillon {

// Where the merge reports its progress (the download window's status box) and lets the window
// repaint between steps.
class MergeStatus {
 public:
  virtual ~MergeStatus() = default;
  virtual void show(const std::string& text) = 0;
  virtual void yield() = 0;
};

constexpr const char* kMergeScratch = "temp.dat";
constexpr const char* kApplyingText = "Applying new updates...";
constexpr const char* kRemovingText = "Removing outdated definitions: checking entry ";

enum class MergeAction { Add, Delete, Other };

// One record of the update text, already checked. `kind` is deciphered ("FILE", "EXE", ...);
// `line` is the enciphered line an ADD writes, `key` the key as sent (still enciphered).
struct MergeRecord {
  std::string kind;
  MergeAction action = MergeAction::Other;
  std::string line;
  std::string key;
  bool addHasKey = false;  // an ADD body with "=": it withdraws an earlier deletion of its key
};

// Splits and checks a whole update text. Empty records are skipped; records of a kind no file
// takes are ignored. False, with `problem` telling why, when a record of a known kind lacks
// "[DEF]" or an action, a registry ADD has fewer than three parts, or a line to be written
// would break in two on disk.
bool parseDefinitionUpdate(const std::string& text, std::vector<MergeRecord>& records, std::string* problem = nullptr);

// True when records of this (deciphered) kind go to the named definition file.
bool kindTargets(const std::string& kind, const std::string& fileName);

// Applies the update to the definition files of `appFolder`. Returns one for every line added
// (an executable record lands in two files and counts twice) plus one for every file that
// went through a removal pass; 0 for a malformed text, which changes nothing. A file-system
// error retries that file once; a second one ends the merge with the count reached.
uint32_t mergeDefinitionUpdate(FileSystem& fs, const std::string& appFolder, const std::string& text,
                               MergeStatus& status);

}  // namespace quillon
