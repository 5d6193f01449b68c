// A signed statement and an update text, as a definition server hands them over. The digests
// it names for the five definition files are SHA-256 of their names. The verifier
// knows one signature only (the genuine statement's), so the property is exact: the update is
// taken when, and only when, the statement and the text are byte for byte the genuine ones;
// whatever else parses as a statement is written back unchanged by its own fields (one form
// only), and a date that passes as a definitions date is a real one. The input is the
// statement, NUL, then the update text.
#include <cstdint>
#include <string>

#include "common/datetime.h"
#include "common/text.h"
#include "definitions/definition_store.h"
#include "fuzz_check.h"
#include "memory_platform.h"
#include "update/signed_update.h"

using namespace quillon;

namespace {
const std::string kFrom = "1/1/2029 12:00:00 AM", kTo = "1/1/2030 12:00:00 AM";
const std::string kText = "\x83\x86\x89\x82|ADD[DEF]\xAB\xA2\xB4k\xA1\xA9\xA9=\x8B\xA2\xB4|\x98\xB4\xA6\xAB\xA1\xA6\xAF\x9A";

// The lines that name each definition file's digest.
std::string fileLines(const std::vector<std::string>& digests) {
  std::string out;
  for (size_t i = 0; i < digests.size(); ++i) out += std::string(kDefinitionFiles[i]) + ": " + toHex(digests[i]) + "\r\n";
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = fuzz::bytes(data, size);
  const size_t nul = input.find('\0');
  if (nul == std::string::npos) return 0;
  const std::string envelope = input.substr(0, nul), text = input.substr(nul + 1);

  fuzz::MemorySignatures signatures;
  const std::string key(64, 'K'), otherKey(64, 'O');
  std::string signature;
  for (int i = 0; i < 64; ++i) signature += char(i * 7 + 1);
  std::vector<std::string> files;
  for (const char* name : kDefinitionFiles) files.push_back(signatures.sha256(name));
  const std::string body = std::string(kSignedUpdateHeader) + "\r\nfrom: " + kFrom + "\r\nto: " + kTo +
                           "\r\nsha256: " + toHex(signatures.sha256(kText)) + "\r\n" + fileLines(files);
  const std::string genuine = body + "signature: " + toHex(signature) + "\r\n";
  signatures.accept(key, body, signature);

  SignedStatement out;
  const std::string why = checkSignedUpdate(signatures, {otherKey, key}, envelope, text, kFrom, out);
  const bool exact = envelope == genuine && text == kText;
  FUZZ_CHECK(why.empty() == exact);
  if (exact) FUZZ_CHECK(out.to == kTo && out.from == kFrom && out.signedBytes == body && out.fileDigests == files);
  // Taken for another date, never.
  FUZZ_CHECK(!checkSignedUpdate(signatures, {key}, envelope, text, "1/2/2029 12:00:00 AM", out).empty());

  SignedStatement s;
  if (parseSignedStatement(envelope, s)) {
    const std::string again = std::string(kSignedUpdateHeader) + "\r\nfrom: " + s.from + "\r\nto: " + s.to +
                              "\r\nsha256: " + toHex(s.textDigest) + "\r\n" + fileLines(s.fileDigests);
    FUZZ_CHECK(s.signedBytes == again);
    FUZZ_CHECK(envelope == again + "signature: " + toHex(s.signature) + "\r\n");
    DateTime t;
    if (parseDefinitionDate(s.to, t)) {
      static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
      FUZZ_CHECK(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= days[t.month - 1]);
      FUZZ_CHECK(t.year >= 1900 && t.year <= 9999 && t.hour < 24 && t.minute < 60 && t.second < 60);
      DateTime back;
      FUZZ_CHECK(parseDefinitionDate(formatDateTime(t), back) && back == t);
    }
  }
  return 0;
}
