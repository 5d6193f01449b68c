// The record grammars over a definition file as it lies on disk: streamed line by line,
// deciphered, then split by every grammar. Each field must be what the rule for its file
// says, found here again by plain searches for the separators.
#include <algorithm>
#include <cstdint>

#include "definitions/line_reader.h"
#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/grammar.h"
#include "fuzz_check.h"
#include "memory_platform.h"

using namespace quillon;

namespace {
const size_t npos = std::string::npos;

// Text between the n-th and the (n+1)-th separator (n from 0), or "" when there is no n-th.
std::string field(const std::string& s, char sep, int n) {
  size_t from = 0;
  for (int i = 0; i < n; ++i) {
    from = s.find(sep, from);
    if (from == npos) return "";
    ++from;
  }
  return s.substr(from, s.find(sep, from) == npos ? npos : s.find(sep, from) - from);
}

void checkPathLine(const std::string& line) {
  PathDefinition d = parsePathLine(line);
  const std::string part0 = field(line, '|', 0);
  FUZZ_CHECK(d.hasFolder == (line.find('|') != npos));
  FUZZ_CHECK(d.folder == field(line, '|', 1));
  FUZZ_CHECK(d.type == field(line, '|', 2));
  FUZZ_CHECK(d.head == field(part0, '=', 0));
  FUZZ_CHECK(d.threat == field(part0, '=', 1));
}

void checkExeLine(const std::string& line) {
  ExeDefinition d = parseExeLine(line);
  const size_t eq = line.find('=');
  FUZZ_CHECK(d.valid == (eq != npos));
  if (!d.valid) return;
  const std::string rest = line.substr(eq + 1);
  FUZZ_CHECK(d.name == line.substr(0, eq));
  if (rest.find('|') != npos) {
    FUZZ_CHECK(d.threat == field(rest, '|', 0));
    FUZZ_CHECK(d.folder == field(rest, '|', 1));
  } else {
    FUZZ_CHECK(d.threat.empty() && d.folder == rest);
  }
}

void checkRegistryLine(const std::string& line) {
  RegistryDefinition d = parseRegistryLine(line);
  const size_t eq = line.rfind('=');
  if (eq == npos) {
    FUZZ_CHECK(!d.valid);
    return;
  }
  const std::string keyPart = line.substr(0, eq), threatPart = trim(line.substr(eq + 1));
  const bool threeFields = std::count(keyPart.begin(), keyPart.end(), '^') >= 2;
  const bool namesAKey = !trim(removeChars(field(keyPart, '^', 1), "\\")).empty();
  FUZZ_CHECK(d.valid == (threeFields && namesAKey));
  if (!d.valid) return;
  FUZZ_CHECK(d.rootField == field(keyPart, '^', 0));
  FUZZ_CHECK(d.keyPath == field(keyPart, '^', 1));
  FUZZ_CHECK(d.valueName == field(keyPart, '^', 2));
  FUZZ_CHECK(d.threat == field(threatPart, '|', 0));
  FUZZ_CHECK(d.type == field(threatPart, '|', 1));

  uint32_t handle = 0;
  std::string name;
  const bool digit = d.rootField.size() == 1 && d.rootField[0] >= '0' && d.rootField[0] <= '5';
  FUZZ_CHECK(registryRoot(d.rootField, handle, name) == digit);
  FUZZ_CHECK(digit ? istartsWith(name, "HKEY_") && (handle & 0x80000000u) : name.empty());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LineReader reader(std::make_unique<fuzz::MemoryInputFile>(fuzz::bytes(data, size)));
  for (std::string line; reader.next(line);) {
    const std::string plain = decodeDefinitionLine(line);
    checkPathLine(plain);
    checkExeLine(plain);
    checkRegistryLine(plain);
  }
  return 0;
}
