#include "scan/scan_state.h"

#include <limits>

#include "common/text.h"

namespace quillon {

bool addThreatRows(ScanEnv& env, const std::string& threat, int icon, const std::string& location,
                   const std::string& type) {
  if (!env.results.addThreat(threat, icon, location, type)) return false;
  ++env.counters.threatsFound;
  return true;
}

int percentOf(double part, double whole) {
  // A zero count would divide by zero; the bars then simply keep their value.
  if (whole == 0) return -1;
  return roundPercent(part / whole * 100.0);
}

}  // namespace quillon
