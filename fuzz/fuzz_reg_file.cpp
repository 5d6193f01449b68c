// Registry export text, as a restore reads it back from the quarantine, in either form (UTF-16
// with its byte-order mark, or code-page text): whatever parses must come back unchanged
// through formatting in the same form and parsing again, and no bytes may crash the reader.
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "removal/reg_file.h"

using namespace quillon;

namespace {
bool sameKeys(const std::vector<RegFileKey>& a, const std::vector<RegFileKey>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].root != b[i].root || a[i].path != b[i].path || a[i].values.size() != b[i].values.size()) return false;
    for (size_t j = 0; j < a[i].values.size(); ++j) {
      const auto& [nameA, valueA] = a[i].values[j];
      const auto& [nameB, valueB] = b[i].values[j];
      if (nameA != nameB || valueA.type != valueB.type || valueA.data != valueB.data) return false;
    }
  }
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<RegFileKey> keys, again;
  std::string error;
  RegFileForm form = RegFileForm::Unicode, formAgain = RegFileForm::Unicode;
  if (!parseRegFile(fuzz::bytes(data, size), keys, error, &form)) {
    FUZZ_CHECK(error.rfind("line ", 0) == 0);
    return 0;
  }
  const std::string text = formatRegFile(keys, form);
  FUZZ_CHECK(parseRegFile(text, again, error, &formAgain));
  FUZZ_CHECK(formAgain == form);
  FUZZ_CHECK(sameKeys(keys, again));
  FUZZ_CHECK(formatRegFile(again, form) == text);
  return 0;
}
