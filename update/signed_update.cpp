#include "update/signed_update.h"

#include "common/text.h"
#include "definitions/definition_store.h"

#ifndef QUILLON_DEFINITION_KEYS
#define QUILLON_DEFINITION_KEYS ""
#endif

namespace quillon {

namespace {
bool fail(std::string* problem, const char* why) {
  if (problem) *problem = why;
  return false;
}

// The text after `label` on a line that ends in CR LF; false when the line is not exactly that.
bool field(const std::string& s, size_t& at, const std::string& label, std::string& value) {
  if (s.compare(at, label.size(), label) != 0) return false;
  const size_t end = s.find("\r\n", at);
  if (end == std::string::npos) return false;
  value = s.substr(at + label.size(), end - at - label.size());
  at = end + 2;
  return value.find('\r') == std::string::npos && value.find('\n') == std::string::npos;
}
}  // namespace

bool parseSignedStatement(const std::string& envelope, SignedStatement& out, std::string* problem) {
  SignedStatement s;
  size_t at = 0;
  std::string header, digestHex, signatureHex;
  if (!field(envelope, at, "", header) || header != kSignedUpdateHeader) return fail(problem, "not a signed statement");
  if (!field(envelope, at, "from: ", s.from) || !field(envelope, at, "to: ", s.to) ||
      !field(envelope, at, "sha256: ", digestHex))
    return fail(problem, "the statement is incomplete");
  if (!fromHex(digestHex, s.textDigest) || s.textDigest.size() != 32) return fail(problem, "the digest is malformed");
  for (const char* name : kDefinitionFiles) {
    std::string fileHex, digest;
    if (!field(envelope, at, std::string(name) + ": ", fileHex)) return fail(problem, "a definition file's digest is missing");
    if (!fromHex(fileHex, digest) || digest.size() != 32) return fail(problem, "a definition file's digest is malformed");
    s.fileDigests.push_back(std::move(digest));
  }
  s.signedBytes = envelope.substr(0, at);
  if (!field(envelope, at, "signature: ", signatureHex) || at != envelope.size())
    return fail(problem, "the signature line is missing or followed by more");
  if (!fromHex(signatureHex, s.signature) || s.signature.size() != 64) return fail(problem, "the signature is malformed");
  out = std::move(s);
  return true;
}

std::vector<std::string> parsePublisherKeys(const std::string& list) {
  std::vector<std::string> keys;
  std::string word;
  auto take = [&] {
    std::string key;
    if (fromHex(toLower(word), key) && key.size() == 64) keys.push_back(key);
    word.clear();
  };
  for (char c : list) {
    if (c == ';' || c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n') take();
    else word += c;
  }
  take();
  return keys;
}

std::vector<std::string> builtInPublisherKeys() { return parsePublisherKeys(QUILLON_DEFINITION_KEYS); }

std::string checkSignedUpdate(Signatures& signatures, const std::vector<std::string>& keys, const std::string& envelope,
                              const std::string& text, const std::string& fromDate, SignedStatement& out) {
  SignedStatement s;
  std::string problem;
  if (!parseSignedStatement(envelope, s, &problem)) return "its signature could not be read (" + problem + ")";
  const std::string digest = signatures.sha256(s.signedBytes);
  if (digest.size() != 32) return "its signature could not be checked";
  bool signedByPublisher = false;
  for (const std::string& key : keys) signedByPublisher = signedByPublisher || signatures.verifyP256(key, digest, s.signature);
  if (!signedByPublisher) return "it is not signed with a key of the definitions' publisher";
  // Signed, so the statement's own fields can be believed; now they must fit this program
  // and this text.
  if (s.from != fromDate) return "it was signed for definitions dated " + s.from + ", not " + fromDate;
  if (signatures.sha256(text) != s.textDigest) return "the update text is not the one the publisher signed";
  out = std::move(s);
  return "";
}

bool parseDefinitionDate(const std::string& text, DateTime& out) {
  const std::string s = trim(text);
  const size_t slash = s.find('/'), colon = s.find(':');
  DateTime t;
  if (slash == std::string::npos || colon == std::string::npos || colon < slash || !parseDateTime(s, t)) return false;
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  if (t.year < 1900 || t.year > 9999 || t.day > days[t.month - 1] + (t.month == 2 && leap)) return false;
  out = t;
  return true;
}

}  // namespace quillon
