// Definition updates that come from their publisher. The publisher signs, beside each update
// text, a short statement: the text's SHA-256, the definitions date it updates from, the date it
// moves to, and the SHA-256 of each of the five definition files as they must be after it. The
// program accepts a text only when a statement signed with one of the publisher's keys built
// into it names exactly that text and the program's own date, so that an altered or cut text, a
// signature made for other bytes and an old update replayed against another date are all
// refused before anything changes; and it puts the result in place only when the five files
// are exactly the ones the statement names.
#pragma once
#include <string>
#include <vector>

#include "common/datetime.h"
#include "platform/platform.h"

namespace quillon {

// The first line of every statement; a different form gets a different line.
constexpr const char* kSignedUpdateHeader = "Quillon signed definition update 2";

// A statement as it travels:
//   Quillon signed definition update 2 CR LF
//   from: <definitions date the update starts from> CR LF
//   to: <definitions date it moves to> CR LF
//   sha256: <64 lower-case hex digits of the update text's SHA-256> CR LF
//   FileDefinition.dat: <64 hex digits: the file's SHA-256 after the update> CR LF
//   ... one such line for each definition file, in the order of kDefinitionFiles ...
//   signature: <128 lower-case hex digits: r then s> CR LF
// The signature covers every line before it, byte for byte.
struct SignedStatement {
  std::string from, to;
  std::string textDigest;                // 32 bytes
  std::vector<std::string> fileDigests;  // 32 bytes each, in the order of kDefinitionFiles
  std::string signedBytes;               // the bytes the signature covers
  std::string signature;                 // 64 bytes
};

// False, with `problem` saying why, for anything but exactly the form above.
bool parseSignedStatement(const std::string& envelope, SignedStatement& out, std::string* problem = nullptr);

// Public keys from a list of 128 hex digits each (x then y), separated by ";", "," or blanks;
// entries that are not such a key are left out.
std::vector<std::string> parsePublisherKeys(const std::string& list);
// The publisher's keys this program was built with.
std::vector<std::string> builtInPublisherKeys();

// "" when `envelope` is a statement signed with one of `keys` that names exactly `text` and
// updates from `fromDate` (the program's date as it sent it); otherwise why the update cannot
// be used. On success `out` holds the statement.
std::string checkSignedUpdate(Signatures& signatures, const std::vector<std::string>& keys, const std::string& envelope,
                              const std::string& text, const std::string& fromDate, SignedStatement& out);

// A definitions date as the program stores it: a date its month has, with a time of day, in
// the program's one text form. A time alone, "2/30/2024" or a date without a time is none.
bool parseDefinitionDate(const std::string& text, DateTime& out);

}  // namespace quillon
