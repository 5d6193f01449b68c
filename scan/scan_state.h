// What one scan run shares between the main window and the scanners: the counters, the flags,
// the results model and the services a scanner calls once per item.
#pragma once
#include <cstdint>
#include <string>

#include "definitions/definition_store.h"
#include "definitions/exclusions.h"
#include "definitions/folder_tokens.h"
#include "platform/platform.h"
#include "scan/protected_locations.h"
#include "controls/controls.h"

namespace quillon {

// Kind icons of the results lists.
enum Icon : int { kIconCookie = 1, kIconRegistry = 2, kIconFile = 3, kIconFolder = 4, kIconExcluded = 5 };

struct ScanCounters {
  int32_t processesInspected = 0, registryInspected = 0, filesInspected = 0, threatsFound = 0;
  int32_t statusRefreshTick = 0;
};

// The visible and hidden lists every scanner fills.
struct ResultLists {
  controls::ListView& found;    // lvwSpywareFound
  controls::ListView& removal;  // lvwPicRemoveListOfSpywareFoundAndToBeRemoved
  controls::ListView& files;    // lvwFilesToBeDeleted
  controls::ListView& registry; // lvwRegistryToBeDeleted
  controls::ListView& cookies;  // lvwCookiesToDelete
  controls::Label& traces;      // lbltracesFound: the traces count lives in its caption
};

class ScanHost {
 public:
  virtual ~ScanHost() = default;
  virtual void updateScanStatus(const std::string& text, int scannerPercent, int overallPercent) = 0;
  // True when the next status update will reach the screen: only then is its text worth building.
  virtual bool statusDue() const = 0;
  virtual bool scanCancelled() const = 0;
  virtual const std::string& statusPrefix() const = 0;
};

struct ScanEnv {
  Platform& platform;
  const DefinitionStore& defs;
  const ExclusionList& exclusions;
  const FolderTokens& tokens;
  const DefinitionCounts& counts;
  ScanCounters& counters;
  ResultLists lists;
  ScanHost& host;
  const ProtectedLocations& protectedLocations;
};

// Adds one to the traces caption.
void addTrace(ResultLists& lists);
// The one-row-per-threat rule: false (and nothing added) when "<threat> - Found" is already
// listed; otherwise adds the results row and the removal-list row and counts the threat.
bool addThreatRows(ScanEnv& env, const std::string& threat, int icon, const std::string& location,
                   const std::string& type);
// Percent of part in whole, rounded as the bars take it.
int percentOf(double part, double whole);

}  // namespace quillon
