// Applies one update text from the definition server to the five definition files: adds the
// definitions it lists and removes those whose keys it names, or, for a whole release, makes the
// five files from it alone. The whole text is checked before any file is touched, and where the
// publisher signed what the files must be afterwards, the result is checked against that before
// anything is put in place. The five files and the definitions date change together or not at
// all, through the journal of update_journal.h. Whoever calls these holds the definition set's
// lock, exclusively.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "definitions/definition_store.h"
#include "platform/platform.h"
#include "update/update_journal.h"
#include "update/update_records.h"

namespace quillon {

// Where the merge reports its progress (the download window's status box) and lets the window
// repaint between steps.
class MergeStatus {
 public:
  virtual ~MergeStatus() = default;
  virtual void show(const std::string& text) = 0;
  virtual void yield() = 0;
};

constexpr const char* kApplyingText = "Applying new updates...";
constexpr const char* kRemovingText = "Removing outdated definitions: checking entry ";

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

}  // namespace quillon
