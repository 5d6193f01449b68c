// Registry items as text in the format the system's registry editor imports ("REGEDIT4"), so a
// quarantined key or value can be put back by this program or by hand.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillon {

// One key of an export with the values it holds (all of them, or the one exported).
struct RegFileKey {
  uint32_t root = 0;
  std::string path;
  std::vector<std::pair<std::string, RegValue>> values;
};

// The text of an export of one value, or of a whole key with its subkeys (depth first). False
// when the value or key is not there or a part of it could not be read.
bool exportRegistry(Registry& reg, uint32_t root, const std::string& keyPath, const std::string& valueName,
                    bool wholeKey, std::string& text);
std::string formatRegFile(const std::vector<RegFileKey>& keys);
// Reads what formatRegFile writes (and the same format as the registry editor writes it, long
// lines continued with "\"). False, with the line number in `error`, on anything else.
bool parseRegFile(const std::string& text, std::vector<RegFileKey>& keys, std::string& error);

}  // namespace quillon
