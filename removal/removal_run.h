// One removal run, as "Delete" starts it: the check that something is selected, the question,
// then the two passes between a restore point, and the rows of what went taken off the lists.
// The desktop window and the console both start this run and show what its host is told.
#pragma once
#include <string>

#include "removal/removal.h"

namespace quillon {

// What the user is told when "Delete" finds nothing checked.
constexpr const char* kNothingCheckedMessage =
    "No entries are selected.  You must check the box next to at least one item in the list.";

struct RemovalOptions {
  // Nothing checked ends the run before anything happens (the host hears of it).
  bool needChecked = true;
  // Ask "Really Delete?" first; an unattended run does not.
  bool ask = true;
  // Names the restore point, where the system offers them.
  std::string productName;
};

// What a removal run tells whoever shows it and asks of them. Doing nothing (and answering No)
// is a sound answer to each; the passes' own progress comes through RemovalHost.
class RemovalRunHost : public RemovalHost {
 public:
  void showProgress(const std::string&, int, int) override {}
  void showItem(const std::string&) override {}
  void deleteFailed(const std::vector<std::string>&) override {}
  // Nothing is checked.
  virtual void nothingChecked() {}
  // The question before anything is removed; true for Yes.
  virtual bool confirm(const std::string& question, const std::string& title) { return false; }
  // The removal begins (after the question): the progress can be shown.
  virtual void removalStarted() {}
  // What the removal is doing now, for the percentage label ("" clears it).
  virtual void stage(const std::string& text) {}
  // The removal could not begin (another program kept the quarantine busy past the wait, or
  // the quarantine cannot be used); `text` says so. Nothing was changed.
  virtual void refused(const std::string& text) {}
};

struct RemovalRunEnv {
  Platform& platform;
  std::string appFolder;
  ScanResults& results;
  RestorePoints& restorePoints;
  const OwnPrograms& own;
};

struct RemovalRunOutcome {
  bool ran = false;        // the passes ran (something checked, and Yes where asked)
  std::string refused;     // why the passes could not run after Yes; "" when they ran or nobody said Yes
  RemovalOutcome items;    // what was removed and what is still there (refused: every checked item)
};

class RemovalRun {
 public:
  RemovalRun(RemovalRunEnv env, RemovalRunHost& host) : env_(std::move(env)), host_(host) {}
  RemovalRunOutcome run(const RemovalOptions& options);
  // The question "Really Delete?" asks.
  std::string question() const;

 private:
  RemovalRunEnv env_;
  RemovalRunHost& host_;
};

}  // namespace quillon
