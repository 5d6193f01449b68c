// The line reader against a plain reference split, over files delivered in reads of any size:
// a line ends at CR LF or a lone CR, a lone LF is an ordinary byte, and a last line without a
// line end still counts. The first byte sets the largest read the file hands out, so that a
// CR LF pair split between two reads is exercised.
#include <cstdint>
#include <vector>

#include "definitions/line_reader.h"
#include "fuzz_check.h"
#include "memory_platform.h"

using namespace quillon;

namespace {
std::vector<std::string> referenceLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      line.push_back(text[i]);
      continue;
    }
    lines.push_back(line);
    line.clear();
    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t maxRead = data[0] == 0 ? SIZE_MAX : data[0];
  const std::string text = fuzz::bytes(data + 1, size - 1);

  LineReader reader(std::make_unique<fuzz::MemoryInputFile>(text, maxRead));
  std::vector<std::string> lines;
  for (std::string line; reader.next(line);) {
    lines.push_back(line);
    FUZZ_CHECK(lines.size() <= text.size());  // every line costs at least one byte
  }
  FUZZ_CHECK(lines == referenceLines(text));
  std::string line = "stale";
  FUZZ_CHECK(!reader.next(line));  // and stays at the end
  return 0;
}
