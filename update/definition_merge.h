// Applies one update text from the definition server to the five definition files: adds the
// definitions it lists and removes those whose keys it names. The whole text is checked before
// any file is touched. The five files and the definitions date change together or not at all,
// even when the program is killed at any instant: every new file is written beside its old one,
// the intent is recorded in a journal put in place in one step, and only then are the files
// replaced. A recorded intent is completed at the next start or update; scratch without one is
// discarded.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "definitions/definition_store.h"
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

constexpr const char* kMergeScratch = "temp.dat";  // an older program's scratch, discarded
constexpr const char* kUpdateJournal = "update.journal";
constexpr const char* kStagedSuffix = ".new";  // a new file beside its old one
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

// Where the new copy of a file of the application folder is written before it is put in place.
std::string stagedPath(const std::string& appFolder, const std::string& name);

struct MergeOutcome {
  uint32_t count = 0;    // one per line added (an executable record counts twice), one per removal pass
  bool landed = false;   // the files and the date are now the new ones
  bool pending = false;  // recorded, but not all in place yet: the next start or update completes it
  std::string problem;   // why not, when neither
};

// Applies the update to the definition files of `appFolder` and stores `newDate` (unless it is
// empty) as the definitions date, all together. A malformed text or a file that cannot be
// written (once retried) changes nothing.
MergeOutcome applyDefinitionUpdate(FileSystem& fs, const std::string& appFolder, const std::string& text,
                                   const std::string& newDate, MergeStatus& status);
// The same without a new date; the count, 0 when nothing changed.
uint32_t mergeDefinitionUpdate(FileSystem& fs, const std::string& appFolder, const std::string& text,
                               MergeStatus& status);

// Completes an update whose intent was recorded, or discards the scratch of one that was not.
// False when a recorded update could still not be put in place (it stays recorded).
bool completeInterruptedUpdate(FileSystem& fs, const std::string& appFolder);

// What every start does before the definitions are read: an interrupted update completed (or
// discarded), a downloaded set installed, the shipped set adopted where it is newer.
void prepareDefinitions(FileSystem& fs, const std::string& appFolder, DefinitionStore& defs);

}  // namespace quillon
