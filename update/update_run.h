// One Live Update run: fetch, verify, merge and date (fetchIncrementalUpdate), then what an
// update changes for the next scan: the definitions are counted again and the running-program
// list is read anew. The whole run holds the definition set's lock, exclusively: no other
// program writes the set meanwhile, nor scans it half old and half new. The desktop window and
// the console both start this run and show its notice.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "scan/memory_scan.h"
#include "update/live_update.h"

namespace quillon {

struct LiveUpdateOptions {
  std::string serverBase, product, company;
  std::vector<std::string> publisherKeys;  // the keys whose signatures are the publisher's
  bool allowUnsigned = false;              // an administrator's choice for a server that signs nothing
};

struct LiveUpdateRunEnv {
  Platform& platform;
  DefinitionStore& defs;
  DefinitionCounts& counts;   // counted again after an update
  ExecutableList& exeList;    // emptied after an update, so the next scan reads the new list
  // Applies the update and its new date together, or neither.
  std::function<MergeOutcome(const DefinitionUpdate& update)> merge;
  // The download window's status box and progress bar; either may be empty.
  std::function<void(const std::string&)> status;
  FetchProgress progress;
};

struct LiveUpdateRunOutcome {
  LiveUpdateResult result;
  std::string notice;  // the update notice's text
  bool ok() const { return result.outcome == UpdateOutcome::Updated || result.outcome == UpdateOutcome::Current; }
};

LiveUpdateRunOutcome runLiveUpdate(LiveUpdateRunEnv& env, const LiveUpdateOptions& options);

}  // namespace quillon
