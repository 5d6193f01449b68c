// How the quarantine keeps a file: its bytes run through a fixed keystream, so that the stored
// copy is no longer the program it was (it cannot run, and nothing that looks for its bytes
// finds them), under a name with an ending of its own. The same transform turns it back.
// The original's SHA-256 is taken as it is read, and checked again before anything is restored.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace quillon {

// The ending of a kept file's name: the copy of "setup.exe" is "<id>-setup.exe.kept", and a file
// inside a kept folder is "setup.exe.kept".
constexpr const char* kKeptSuffix = ".kept";
bool hasKeptSuffix(const std::string& name);
std::string withoutKeptSuffix(const std::string& name);

// Turns `n` bytes lying at `offset` of a file into their kept form, or a kept form back.
void keepTransform(char* data, size_t n, uint64_t offset);

// The original's digest as text (64 lower-case hex digits); "" when none could be taken.
std::string digestText(const std::string& digest);

struct KeptStream {
  bool ok = false;      // every piece was read and written
  uint64_t bytes = 0;   // bytes read
  std::string digest;   // digestText of the original's bytes
};

// Reads `read` to its end (it gives 0 there), transforming every piece and writing it through
// `to` (nothing is written when null: a check). The digest is of the original's bytes: of what
// was read when `keeping`, of what it turns back into otherwise.
KeptStream transformStream(const std::function<size_t(char*, size_t)>& read, NewFile* to, Signatures& signatures,
                           bool keeping);

// Copies the folder `from` into the folder `to` (made and empty beforehand), every file in its
// kept form, links inside left out; each file and folder inside carries the read-only, hidden,
// system and archive bits of the one it copies. Without `keeping`, turns a kept folder back the same way;
// with `to` "", only checks it. `digest` gets the digest of the whole tree (every path below it,
// each file's size and digest, in name order): the same for a folder and its kept copy. False
// when anything could not be read or written, or a kept folder holds a file not in kept form.
bool transformFolder(FileSystem& fs, Signatures& signatures, const std::string& from, const std::string& to,
                     bool keeping, std::string& digest);

}  // namespace quillon
