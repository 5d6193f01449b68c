// How an update's files change together or not at all, even when the program is killed at any
// instant: every new file is first written beside its old one as a staged copy, the intent to
// put them in place is recorded in a journal put in place in one step, and only then are the
// files replaced. A recorded intent is completed at the next start or update; staged copies
// without one are scratch and are discarded. Whoever calls these holds the definition set's
// lock, exclusively.
#pragma once
#include <string>
#include <vector>

#include "definitions/definition_store.h"
#include "platform/platform.h"

namespace quillon {

constexpr const char* kMergeScratch = "temp.dat";  // an older program's scratch, discarded
constexpr const char* kUpdateJournal = "update.journal";
constexpr const char* kStagedSuffix = ".new";  // a new file beside its old one

// Where the new copy of a file of the application folder is written before it is put in place.
std::string stagedPath(const std::string& appFolder, const std::string& name);

// Completes an update whose intent was recorded, or discards the scratch of one that was not.
// False when a recorded update could still not be put in place (it stays recorded).
bool completeInterruptedUpdate(FileSystem& fs, const std::string& appFolder);

// What every start does before the definitions are read: an interrupted update completed (or
// discarded), a downloaded set installed, the shipped set adopted where it is newer. Only when
// the definition set's lock can be had at once: otherwise another program is writing the set,
// and what it has staged is its own. False then, with nothing done.
bool prepareDefinitions(FileSystem& fs, const std::string& appFolder, DefinitionStore& defs);

// Deletes every staged copy and scratch file an update may leave in `appFolder`, without a
// journal's say: for an update that gives up before it records its intent.
void discardStaged(FileSystem& fs, const std::string& appFolder);

enum class CommitResult {
  NotRecorded,  // the intent could not be recorded: nothing changed, the staged copies stay
  Pending,      // recorded, but not all in place yet: the next start or update completes it
  Done,         // every file is in place and the journal is gone
};
// Records in a journal, put in place in one step, that the staged copies of `names` (files of
// `appFolder`) are to replace their files, then puts them in place. From the moment the journal
// is in place the update happens, now or at the next start; before it, nothing has changed.
CommitResult recordAndCommit(FileSystem& fs, const std::string& appFolder, const std::vector<std::string>& names);

}  // namespace quillon
