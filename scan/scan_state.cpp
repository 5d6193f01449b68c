#include "scan/scan_state.h"

#include <limits>

#include "common/text.h"

namespace quillon {

void addTrace(ResultLists& lists) {
  double n = 0;
  parseNumber(lists.traces.caption(), n);
  lists.traces.setCaption(std::to_string(static_cast<long long>(n) + 1));
}

bool addThreatRows(ScanEnv& env, const std::string& threat, int icon, const std::string& location,
                   const std::string& type) {
  const std::string row = threat + " - Found";
  if (env.lists.found.findPrefix(row) >= 0) return false;
  env.lists.found.add(row, icon);
  int r = env.lists.removal.add(threat, icon);
  env.lists.removal.setSubItem(r, 1, location);
  if (!type.empty()) env.lists.removal.setSubItem(r, 2, type);
  ++env.counters.threatsFound;
  return true;
}

int percentOf(double part, double whole) {
  // A zero count would divide by zero; the bars then simply keep their value.
  if (whole == 0) return -1;
  return roundPercent(part / whole * 100.0);
}

}  // namespace quillon
