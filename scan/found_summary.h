// What a scan found, in the one wording the window uses wherever it shows it (the scan page, the
// results page, a scheduled scan's balloon), so that no two of them can disagree.
#pragma once
#include <string>

#include "scan/scan_results.h"
#include "scan/scan_state.h"

namespace quillon {

struct FoundCounts {
  int toRemove = 0;  // rows of the removal list
  // Running programs the scan found and stopped at once; they have no removal row.
  int programsStopped = 0;
  // Running programs the scan found and could not stop; they have no removal row either.
  int programsNotStopped = 0;
};

// Taken right after a scan: a removal afterwards shortens the list but not the counters.
FoundCounts foundCounts(const ScanCounters& counters, const ScanResults& results);
// "8 to remove, 1 program stopped"; "8 to remove, 1 program could not be stopped"; "8 to remove";
// "0" when nothing was found.
std::string foundSummary(const FoundCounts& found);

}  // namespace quillon
