#include "scan/found_summary.h"

#include <algorithm>

namespace quillon {

FoundCounts foundCounts(const ScanCounters& counters, const ScanResults& results) {
  // Every threat the scan counts is a row to remove, except a running program.
  const int toRemove = results.removalCount();
  return {toRemove, std::max(0, int(counters.threatsFound) - toRemove)};
}

std::string foundSummary(const FoundCounts& found) {
  if (found.toRemove == 0 && found.programsStopped == 0) return "0";
  std::string text = std::to_string(found.toRemove) + " to remove";
  if (found.programsStopped > 0)
    text += ", " + std::to_string(found.programsStopped) + (found.programsStopped == 1 ? " program" : " programs") +
            " stopped";
  return text;
}

}  // namespace quillon
