// Registry items as text in the format the system's registry editor imports, so a quarantined
// key or value can be put back by this program or by hand. Exports are written in the editor's
// UTF-16 form ("Windows Registry Editor Version 5.00"), which holds any name and any value;
// the older code-page form ("REGEDIT4") that earlier exports used is still read.
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

// UTF-16: names are exact (UTF-8, see Registry) and values the bytes stored. Code page: names
// and string values in the code page, as the registry's code-page calls take them.
enum class RegFileForm { Unicode, CodePage };

// The text of an export (Unicode form) of one value, or of a whole key with its subkeys (depth
// first); the key and value are named in the code page, as definitions name them. False when
// the value or key is not there, a part of it could not be read, or a key's name cannot be
// written on a key line (a line break in it): what cannot be exported whole is never deleted.
bool exportRegistry(Registry& reg, uint32_t root, const std::string& keyPath, const std::string& valueName,
                    bool wholeKey, std::string& text);
std::string formatRegFile(const std::vector<RegFileKey>& keys, RegFileForm form = RegFileForm::Unicode);
// Reads either form (long hex lines continued with "\", as the registry editor writes them),
// and says which it was. In quoted names and strings "\\", "\"", "\r" and "\n" stand for
// backslash, quote, CR and LF. False, with the line number in `error`, on anything else.
bool parseRegFile(const std::string& text, std::vector<RegFileKey>& keys, std::string& error,
                  RegFileForm* form = nullptr);

}  // namespace quillon
