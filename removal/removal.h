// Removal of what the user checked: two passes over the work rows of the scan results, each
// item kept in the quarantine before it is deleted. Nothing is deleted whose copy could not be
// made whole; what survives both passes is reported, never hidden.
#pragma once
#include <set>
#include <string>
#include <vector>

#include "removal/quarantine.h"
#include "system/system_tasks.h"
#include "scan/protected_locations.h"
#include "scan/scan_results.h"

namespace quillon {

class RemovalHost {
 public:
  virtual ~RemovalHost() = default;
  // The percentage label, the bar (value of max) and the caption naming the current item.
  virtual void showProgress(const std::string& label, int value, int max) = 0;
  virtual void showItem(const std::string& caption) = 0;
  // The pass ends with items that could not be removed (files, folders, registry keys and
  // values, cookies): the "Delete Failed" window lists them.
  virtual void deleteFailed(const std::vector<std::string>& paths) = 0;
};

struct RemovalEnv {
  Platform& platform;
  ScanResults& results;
  Quarantine& quarantine;
  const ProtectedLocations& protectedLocations;
  const OwnPrograms& own;
  RemovalHost& host;
};

struct RemovalOutcome {
  std::vector<std::string> removed;  // each item removed (no longer there), once, as the user knows it
  std::vector<std::string> failed;   // each checked item still there after both passes, once
  std::vector<std::string> reasons;  // why each of `failed` stays, in its order ("held by another program")
  void stays(const std::string& item, const std::string& reason) {
    failed.push_back(item);
    reasons.push_back(reason);
  }
};

// Every checked item as not removed, for `reason` (the removal could not begin).
RemovalOutcome nothingRemoved(const ScanResults& results, const std::string& reason);

// What one attempt on a file did: it went, or why it stays where it was.
enum class Attempt {
  Deleted,        // deleted through its hold, counted once seen gone (marked, should another program look at it)
  Absent,         // nothing there now, nor anything to say about it
  NotAFile,       // a folder after all: the folder's removal has its turn
  OwnFile,        // one of the program's own files
  Marked,         // deleted before, still there while another program has it open
  HeldElsewhere,  // another program has it open
  NotOpened,      // it could not be opened (access denied)
  Link,           // a link: what it leads to is left alone
  Protected,      // a place of the system's or of this program's own
  NotCopied,      // no whole copy could be kept, so it was not deleted
  NotDeleted,     // kept, but the system refused the deletion (the copy went again)
};
// What the console prints beside an item that stays for that cause ("" when there is nothing to say).
const char* attemptReason(Attempt attempt);

// The two passes over the checked work rows. The caller brackets them with a restore point.
class Removal {
 public:
  explicit Removal(RemovalEnv env) : env_(env) {}
  // The quarantine's lock must be held (Quarantine::lock): without it nothing is kept, and so
  // nothing is deleted.
  RemovalOutcome run();

 private:
  void pass(bool first);
  void removeFile(int row, bool first);
  void removeRegistry(const RegistryItem& item, bool first);
  void removeCookie(const std::string& path, bool first);
  // Keeps a copy, then deletes. `present`: the caller has just seen the file there.
  Attempt quarantineAndDelete(const std::string& path, QuarantineKind kind, bool first, bool present = false);
  // Notes what an attempt on the current item did, for its line should it stay.
  void attempted(Attempt attempt);
  bool removeFolder(const std::string& path);
  bool stillThere(const std::string& path);
  bool registryStillThere(const RegistryItem& item);
  // An item is gone: it counts once, however many attempts it took.
  void gone(const std::string& item);
  // The files deleted through their hold since the last look count as removed once they are
  // seen gone; one still there is marked to go when another program lets go of it, and is not
  // tried again. The first pass looks after all its files, when their folders have emptied:
  // under Wine a look at an absent name reads the whole folder.
  void confirmDeleted();
  // The attempt on the current item left it where it was, for `reason`; false.
  bool stays(const std::string& reason);
  // The current item is still there after the second pass.
  void failed(const std::string& item, std::vector<std::string>& shown);
  RemovalEnv env_;
  RemovalOutcome outcome_;
  std::set<std::string> gone_, marked_;
  std::vector<std::string> unconfirmed_;
  std::string reason_;        // why the last attempt left its item, "" when nothing was said
  int done_ = 0, total_ = 0;  // checked items of both passes: done, and in all
};

}  // namespace quillon
