// The company-name byte scan of a file's version information. The streamed search, fed in
// pieces of any size and reading the file in reads of any size, must give what the search of
// the whole file in memory gives. The first two bytes choose the piece and the read size.
#include <cstdint>

#include "fuzz_check.h"
#include "memory_platform.h"
#include "scan/company_name.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t chunk = data[0] + 1u, maxRead = data[1] + 1u;
  const std::string file = fuzz::bytes(data + 2, size - 2);
  if (file.size() >= kCompanyValueMax) return 0;  // past the value limit the two differ on purpose

  const std::string whole = companyNameFromBytes(file);
  FUZZ_CHECK(whole.find('\0') == std::string::npos);
  fuzz::MemoryInputFile in(file, maxRead);
  FUZZ_CHECK(companyNameFromStream(in, chunk) == whole);
  fuzz::MemoryInputFile big(file);
  FUZZ_CHECK(companyNameFromStream(big) == whole);
  return 0;
}
