// The stored date and time text: whatever parses is in range, keeps its AM or PM, and survives
// being written and read back unchanged.
#include <cstdint>

#include "common/datetime.h"
#include "common/text.h"
#include "fuzz_check.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DateTime t;
  if (!parseDateTime(fuzz::bytes(data, size), t)) return 0;
  FUZZ_CHECK(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31);
  FUZZ_CHECK(t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 59);

  // A 12-hour time keeps its half of the day.
  const std::string upper = toUpper(trim(fuzz::bytes(data, size)));
  if (upper.size() >= 2 && upper.compare(upper.size() - 2, 2, "PM") == 0) FUZZ_CHECK(t.hour >= 12);
  if (upper.size() >= 2 && upper.compare(upper.size() - 2, 2, "AM") == 0) FUZZ_CHECK(t.hour < 12);

  const std::string text = formatDateTime(t);
  DateTime again;
  FUZZ_CHECK(parseDateTime(text, again));
  FUZZ_CHECK(again == t);
  FUZZ_CHECK(formatDateTime(again) == text);
  return 0;
}
