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
#include "scan/scan_results.h"

namespace quillon {

struct ScanCounters {
  int32_t processesInspected = 0, registryInspected = 0, filesInspected = 0, threatsFound = 0;
  int32_t statusRefreshTick = 0;
  // The running programs the memory phase saw (on old systems, counted as it goes).
  int32_t runningPrograms = 0;
  // Of the threats found, the running programs the scan could not stop.
  int32_t programsNotStopped = 0;
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
  ScanResults& results;
  ScanHost& host;
  const ProtectedLocations& protectedLocations;
};

// The one-row-per-threat rule: false (and nothing added) when "<threat> - Found" is already
// listed; otherwise adds the results row and the removal-list row and counts the threat.
bool addThreatRows(ScanEnv& env, const std::string& threat, int icon, const std::string& location,
                   const std::string& type);
// Reports progress: the status line shows the phase and the item, built only when the update
// will reach the screen.
template <class ItemText>
void showProgress(ScanEnv& env, ItemText itemText, int scannerPercent, int overallPercent) {
  env.host.updateScanStatus(env.host.statusDue() ? env.host.statusPrefix() + "\r\n" + itemText() : std::string(),
                            scannerPercent, overallPercent);
}
// Percent of part in whole, rounded as the bars take it.
int percentOf(double part, double whole);

}  // namespace quillon
