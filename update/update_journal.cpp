#include "update/update_journal.h"

#include <memory>

#include "common/text.h"
#include "definitions/shipped_definitions.h"

namespace quillon {

std::string stagedPath(const std::string& appFolder, const std::string& name) {
  return appFolder + "\\" + name + kStagedSuffix;
}

namespace {
// The files an update may change, and so the only names a journal may list.
const char* const kUpdated[] = {kFileDefs, kExeDefs, kRegistryDefs, kCookieDefs, kDirectoryDefs, kDateFile};

bool known(const std::string& name) {
  for (const char* n : kUpdated)
    if (name == n) return true;
  return false;
}

bool present(FileSystem& fs, const std::string& path) { return fs.attributes(path) != kNoSuchPath; }

// Puts `from` in place of `to`, trying once more when the first attempt fails (a scan of the
// other program may hold the file for a moment).
bool replaceTwice(FileSystem& fs, const std::string& from, const std::string& to) {
  return fs.replaceFile(from, to) || fs.replaceFile(from, to);
}

// Puts every staged file the journal names in place; a file already in place has no staged
// copy left. False when one could not be put in place: the journal then stays for next time.
bool commit(FileSystem& fs, const std::string& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const std::string staged = stagedPath(folder, name);
    // No staged copy: put in place by an earlier attempt at this very journal.
    if (present(fs, staged) && !replaceTwice(fs, staged, folder + "\\" + name) && present(fs, staged)) return false;
  }
  return fs.deleteFile(folder + "\\" + kUpdateJournal) || !present(fs, folder + "\\" + kUpdateJournal);
}
}  // namespace

void discardStaged(FileSystem& fs, const std::string& folder) {
  for (const char* name : kUpdated) {
    const std::string staged = stagedPath(folder, name);
    if (present(fs, staged)) fs.deleteFile(staged);
  }
  for (const std::string& scratch : {folder + "\\" + kMergeScratch, folder + "\\" + kUpdateJournal + kStagedSuffix})
    if (present(fs, scratch)) fs.deleteFile(scratch);
}

bool completeInterruptedUpdate(FileSystem& fs, const std::string& appFolder) {
  const std::string journal = appFolder + "\\" + kUpdateJournal;
  if (present(fs, journal)) {
    // The journal is put in place in one step, so it is whole; one that is not what this
    // program writes is no intent of its own and is discarded with the scratch.
    std::string text;
    std::vector<std::string> names;
    bool valid = fs.readAll(journal, text) && text.size() >= 5 && text.compare(text.size() - 5, 5, "end\r\n") == 0;
    if (valid) {
      names = split(text.substr(0, text.size() - 5), "\r\n");
      if (!names.empty() && names.back().empty()) names.pop_back();
      for (const std::string& n : names) valid = valid && known(n);
    }
    if (valid && !commit(fs, appFolder, names)) return false;
    if (!valid && !fs.deleteFile(journal)) return false;
  }
  discardStaged(fs, appFolder);
  return true;
}

CommitResult recordAndCommit(FileSystem& fs, const std::string& appFolder, const std::vector<std::string>& names) {
  std::string journal;
  for (const std::string& name : names) journal += name + "\r\n";
  journal += "end\r\n";
  // Written in one piece and put in place in one step; one that is not whole is never taken.
  const std::string scratch = appFolder + "\\" + kUpdateJournal + kStagedSuffix;
  if (!fs.write(scratch, journal, false) || !replaceTwice(fs, scratch, appFolder + "\\" + kUpdateJournal))
    return CommitResult::NotRecorded;
  return commit(fs, appFolder, names) ? CommitResult::Done : CommitResult::Pending;
}

bool prepareDefinitions(FileSystem& fs, const std::string& appFolder, DefinitionStore& defs) {
  StoreLockResult taken = StoreLockResult::Failed;
  // Never waited for: a start must not hang on another program's update, and what that program
  // has staged is its own, never scratch to discard.
  std::unique_ptr<StoreLockHold> hold = defs.lock(true, 0, nullptr, taken);
  if (!hold) return false;
  completeInterruptedUpdate(fs, appFolder);
  defs.installDownloaded();
  adoptShippedDefinitions(fs, appFolder);
  return true;
}

}  // namespace quillon
