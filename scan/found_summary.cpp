#include "scan/found_summary.h"

#include <algorithm>

namespace quillon {

FoundCounts foundCounts(const ScanCounters& counters, const ScanResults& results) {
  // Every threat the scan counts is a row to remove, except a running program: stopped, or not.
  const int toRemove = results.removalCount(), notStopped = std::max(0, int(counters.programsNotStopped));
  return {toRemove, std::max(0, int(counters.threatsFound) - toRemove - notStopped), notStopped};
}

std::string foundSummary(const FoundCounts& found) {
  if (found.toRemove == 0 && found.programsStopped == 0 && found.programsNotStopped == 0) return "0";
  std::string text = std::to_string(found.toRemove) + " to remove";
  const auto programs = [&](int n, const char* what) {
    if (n > 0) text += ", " + std::to_string(n) + (n == 1 ? " program " : " programs ") + what;
  };
  programs(found.programsStopped, "stopped");
  programs(found.programsNotStopped, "could not be stopped");
  return text;
}

}  // namespace quillon
