// An update text from the definition server, split into its records and checked whole before
// any file is touched.
#pragma once
#include <string>
#include <vector>

namespace quillon {

enum class MergeAction { Add, Delete, Other };

// One record of the update text, already checked. `kind` is deciphered ("FILE", "EXE", ...);
// `line` is the enciphered line an ADD writes, `key` the key as sent (still enciphered).
struct MergeRecord {
  std::string kind;
  MergeAction action = MergeAction::Other;
  std::string line;
  std::string key;
  bool addHasKey = false;  // an ADD body with "=": it withdraws an earlier deletion of its key
  unsigned targets = 0;    // bit i: the record goes to kDefinitionFiles[i]
};

// Splits and checks a whole update text. Empty records are skipped; records of a kind no file
// takes are ignored, and so is an ADD whose line would hold a NUL once deciphered (malformed,
// as every reader takes it). False, with `problem` telling why, when a record of a known kind
// lacks "[DEF]" or an action, a registry ADD has fewer than three parts, or a line to be
// written would break in two on disk.
bool parseDefinitionUpdate(const std::string& text, std::vector<MergeRecord>& records, std::string* problem = nullptr);

// True when records of this (deciphered) kind go to the named definition file.
bool kindTargets(const std::string& kind, const std::string& fileName);

}  // namespace quillon
