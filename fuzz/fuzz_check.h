// What every fuzz target shares: a property check that ends the run the way a sanitizer does,
// so that libFuzzer keeps the input that broke it.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(cond)                                                                    \
  do {                                                                                      \
    if (!(cond)) {                                                                          \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);     \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

namespace quillon::fuzz {
inline std::string bytes(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}
}  // namespace quillon::fuzz
