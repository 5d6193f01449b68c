// What one scan phase learns about the folders and registry keys its definition lines name, so
// that a scan costs what those folders and keys cost rather than one probe per line. A folder or
// key that is not there answers every line below it; one met again is listed (or opened) once and
// its names answered from that. Each answer is exactly the probe's: names the listing cannot
// settle the same way are still probed. Memory is bounded, and everything is forgotten with the
// object, at the end of the phase: a change between runs is always seen.
#pragma once
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace quillon {

// Whether scans remember (the default) or probe every line on its own, as they once did. The
// two must agree row for row; tests and benchmarks run both.
void rememberFoldersAndKeys(bool on);
bool remembersFoldersAndKeys();

// The bounds on what is kept; past them the least recently used listing (or open key) goes, and
// what was counted or known absent starts again.
struct MemoryLimits {
  size_t listings = 256;             // folder listings (or open keys) kept
  size_t entriesPerListing = 10000;  // a larger folder is probed name by name
  size_t entries = 100000;           // names in all listings together
  size_t places = 16384;             // folders (or keys) counted or known absent
};

// Which of the places met are known to hold nothing below them, and how often each was met.
class PlaceBook {
 public:
  explicit PlaceBook(size_t limit) : limit_(limit) {}
  // How many times `place` has been met, this time included; 0 once it is to be probed only.
  int meet(std::string_view place);
  void probeOnly(std::string_view place) { *slot(place) = -1; }
  void forget(std::string_view place) { *slot(place) = 0; }
  // `place` or one above it holds nothing (`separator` splits the levels).
  bool emptyAt(std::string_view place, char separator) const;
  void markEmpty(const std::string& place);
  bool markedEmpty(std::string_view place) const { return empty_.count(place) > 0; }

 private:
  // The count kept for `place`, found by a 64-bit digest of its text in an open table: most
  // places are met once, and counting them must cost no allocation each. Two places of one
  // digest only have a folder listed (or a key opened) sooner, and what that answers is the
  // probe's answer, so a clash can cost time, never change an answer.
  int* slot(std::string_view place);

  size_t limit_;
  std::vector<uint64_t> digests_;  // 0: a free slot
  std::vector<int> meetings_;
  size_t used_ = 0;
  std::set<std::string, std::less<>> empty_;
};

class FolderMemory {
 public:
  // With a `pump`, the message loop gets its turns while a large folder is read.
  explicit FolderMemory(FileSystem& fs, Pump* pump = nullptr, MemoryLimits limits = {})
      : fs_(fs), pump_(pump), limits_(limits), book_(limits.places) {}
  // fileExists(fs, path): a plain file (no folder, hidden or system file) by exactly that name.
  bool fileExists(const std::string& path);
  // fs.folderExists(path).
  bool folderExists(const std::string& path);
  size_t listingsKept() const { return listings_.size(); }

 private:
  struct Name {
    std::string folded;  // upper-cased
    uint32_t attributes;
    bool operator<(const Name& o) const { return folded < o.folded; }
  };
  struct Listing {
    std::vector<Name> names;  // sorted
    std::list<std::string>::iterator used;
  };
  enum class Known { Nothing, Listed, Unknown };
  // What is known of the folder of `path` (split at `cut`), listing it when it is met again.
  Known folderOf(const std::string& path, size_t cut, const Listing*& listing);
  void learnEmpty(const std::string& folder);
  // The one entry named `name`, or null; `unsure` when the listing cannot say as a probe would.
  const Name* find(const Listing& l, std::string_view name, bool& unsure) const;

  FileSystem& fs_;
  Pump* pump_;
  MemoryLimits limits_;
  PlaceBook book_;
  std::unordered_map<std::string, Listing> listings_;
  std::list<std::string> recent_;  // most recently used first
  size_t entries_ = 0;
  std::string folder_;
};

class KeyMemory {
 public:
  explicit KeyMemory(Registry& reg, MemoryLimits limits = {}) : reg_(reg), limits_(limits), book_(limits.places) {}
  ~KeyMemory();
  // registryKeyExists(reg, root, path).
  bool keyExists(uint32_t root, const std::string& path);
  // registryValueExists(reg, root, path, name).
  bool valueExists(uint32_t root, const std::string& path, const std::string& name);

 private:
  struct Open {
    std::unique_ptr<OpenRegistryKey> key;
    std::list<std::string>::iterator used;
  };
  void learnMissing(uint32_t root, const std::string& path, const std::string& place);

  Registry& reg_;
  MemoryLimits limits_;
  PlaceBook book_;
  std::unordered_map<std::string, Open> open_;
  std::list<std::string> recent_;
};

}  // namespace quillon
