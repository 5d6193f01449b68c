// Applies one update text from the definition server to the five definition files: adds the
// definitions it lists and removes those whose keys it names, or, for a whole release, makes the
// five files from it alone. The whole text is checked before any file is touched, and where the
// publisher signed what the files must be afterwards, the result is checked against that before
// anything is put in place. The five files and the definitions date change together or not at
// all, even when the program is killed at any instant: every new file is written beside its old
// one, the intent is recorded in a journal put in place in one step, and only then are the files
// replaced. A recorded intent is completed at the next start or update; scratch without one is
// discarded. Whoever calls these holds the definition set's lock, exclusively.
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

// Where the new copy of a file of the application folder is written before it is put in place.
std::string stagedPath(const std::string& appFolder, const std::string& name);

// What an update asks of the merge.
struct DefinitionUpdate {
  std::string text;
  std::string newDate;  // stored with the files; empty: the date stays as it is
  // A whole release: the five files are made from the text alone, whatever they hold now.
  bool wholeRelease = false;
  // The SHA-256 (32 bytes) of each file as it must be afterwards, in the order of
  // kDefinitionFiles; empty when nobody signed them (an update taken unsigned).
  std::vector<std::string> digests;
};

struct MergeOutcome {
  uint32_t count = 0;    // one per line added (an executable record counts twice), one per removal pass
  bool landed = false;   // the files and the date are now the new ones
  bool pending = false;  // recorded, but not all in place yet: the next start or update completes it
  std::string problem;   // why not, when neither
  bool differs = false;  // the files would not be the ones their publisher signed: nothing changed
};

// Applies the update to the definition files of `appFolder` and stores its new date, all
// together. A line an ADD brings that the file already holds is not added again. A malformed
// text, a file that cannot be written (once retried) or a result other than the signed one
// changes nothing.
MergeOutcome applyDefinitionUpdate(FileSystem& fs, Signatures& signatures, const std::string& appFolder,
                                   const DefinitionUpdate& update, MergeStatus& status);
// An update text merged without a new date or digests; the count, 0 when nothing changed.
uint32_t mergeDefinitionUpdate(FileSystem& fs, Signatures& signatures, const std::string& appFolder,
                               const std::string& text, MergeStatus& status);

// The SHA-256 of a whole file, read in pieces; false when it cannot be read.
bool fileDigest(FileSystem& fs, Signatures& signatures, const std::string& path, std::string& digest);

// Completes an update whose intent was recorded, or discards the scratch of one that was not.
// False when a recorded update could still not be put in place (it stays recorded).
bool completeInterruptedUpdate(FileSystem& fs, const std::string& appFolder);

// What every start does before the definitions are read: an interrupted update completed (or
// discarded), a downloaded set installed, the shipped set adopted where it is newer. Only when
// the definition set's lock can be had at once: otherwise another program is writing the set,
// and what it has staged is its own. False then, with nothing done.
bool prepareDefinitions(FileSystem& fs, const std::string& appFolder, DefinitionStore& defs);

}  // namespace quillon
