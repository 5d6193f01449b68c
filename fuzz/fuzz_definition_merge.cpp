// An update text applied to five definition files. A malformed text changes nothing; a text
// that parses leaves the files all old or all new, even when putting files in place fails (once
// the next start has completed what was recorded), and never writes a line twice: a file without deletions is its old bytes and then the
// added lines, one with deletions holds no line more often than the old file and the added
// lines together. The input is a byte of replace failures (bit n fails the n-th attempt to put
// a file in place), the five files (as on disk) each followed by a NUL, then the update text.
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "definitions/line_reader.h"
#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/definition_store.h"
#include "fuzz_check.h"
#include "memory_platform.h"
#include "update/definition_merge.h"

using namespace quillon;

namespace {
const char* const kFolder = "C:\\APP";
const char* const kNames[] = {kFileDefs, kExeDefs, kRegistryDefs, kCookieDefs, kDirectoryDefs};

std::string at(const char* name) { return std::string(kFolder) + "\\" + name; }

struct Quiet : MergeStatus {
  void show(const std::string&) override {}
  void yield() override {}
};

class FlakyFs : public fuzz::MemoryFileSystem {
 public:
  unsigned failMask = 0, attempt = 0;
  bool replaceFile(const std::string& from, const std::string& to) override {
    bool fail = attempt < 8 && (failMask >> attempt & 1);
    ++attempt;
    return fail ? false : MemoryFileSystem::replaceFile(from, to);
  }
};

std::vector<std::string> linesOf(const std::string& data) {
  fuzz::MemoryFileSystem fs;
  fs.addFile("C:\\x", data);
  LineReader r(fs.openRead("C:\\x"));
  std::vector<std::string> out;
  for (std::string line; r.next(line);) out.push_back(line);
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string input = fuzz::bytes(data + 1, size - 1);
  std::map<std::string, std::string> old;
  size_t from = 0;
  for (const char* name : kNames) {
    size_t nul = input.find('\0', from);
    if (nul == std::string::npos) return 0;
    old[name] = input.substr(from, nul - from);
    from = nul + 1;
  }
  const std::string text = input.substr(from);

  FlakyFs clean, flaky;
  flaky.failMask = data[0];
  for (const char* name : kNames) {
    clean.addFile(at(name), old[name]);
    flaky.addFile(at(name), old[name]);
  }
  clean.changes.clear();
  flaky.changes.clear();
  Quiet quiet;
  std::vector<MergeRecord> records;
  const bool wellFormed = parseDefinitionUpdate(text, records);
  const uint32_t count = mergeDefinitionUpdate(clean, kFolder, text, quiet);
  const uint32_t partial = mergeDefinitionUpdate(flaky, kFolder, text, quiet);
  FUZZ_CHECK(partial <= count);
  // The next start completes what was recorded and drops the rest.
  flaky.failMask = 0;
  FUZZ_CHECK(completeInterruptedUpdate(flaky, kFolder));
  FUZZ_CHECK(!clean.hasFile(at(kMergeScratch)) && !flaky.hasFile(at(kMergeScratch)));
  FUZZ_CHECK(!flaky.hasFile(at(kUpdateJournal)) && !clean.hasFile(at(kUpdateJournal)));
  for (const char* name : kNames) FUZZ_CHECK(!flaky.hasFile(stagedPath(kFolder, name)));
  if (!wellFormed) {
    FUZZ_CHECK(count == 0 && clean.changes.empty() && flaky.changes.empty());
    return 0;
  }

  uint32_t expected = 0;
  bool allOld = true, allNew = true;
  for (const char* name : kNames) {
    allOld = allOld && flaky.content(at(name)) == old[name];
    allNew = allNew && flaky.content(at(name)) == clean.content(at(name));
  }
  FUZZ_CHECK(allOld || allNew);
  for (const char* name : kNames) {
    const std::string now = clean.content(at(name));

    // The plain model: pending deletions in record order, each withdrawn by a later ADD of the
    // same key as sent (any letter case).
    std::vector<std::string> added, pending;
    for (const MergeRecord& r : records) {
      if (!kindTargets(r.kind, name)) continue;
      if (r.action == MergeAction::Add) {
        added.push_back(r.line);
        if (!r.addHasKey) continue;
        std::vector<std::string> kept;
        for (const std::string& p : pending)
          if (toLower(p) != toLower(r.key)) kept.push_back(p);
        pending.swap(kept);
      } else if (r.action == MergeAction::Delete) {
        pending.push_back(r.key);
      }
    }
    expected += uint32_t(added.size()) + (pending.empty() ? 0 : 1);
    std::vector<std::string> oldLines = linesOf(old[name]);
    if (pending.empty()) {
      // Old bytes untouched, then each added line exactly once.
      FUZZ_CHECK(now.compare(0, old[name].size(), old[name]) == 0);
      std::vector<std::string> nowLines = linesOf(now);
      FUZZ_CHECK(nowLines.size() == oldLines.size() + added.size());
      for (size_t i = 0; i < added.size(); ++i) FUZZ_CHECK(nowLines[oldLines.size() + i] == added[i]);
    } else {
      // Every old and added line in order, less lines of one space and lines whose deciphered
      // key (any letter case) a pending deletion names.
      std::vector<std::string> gone;
      for (const std::string& p : pending) gone.push_back(toLower(decodeDefinitionLine(p)));
      std::string model;
      for (const std::vector<std::string>* part : {&oldLines, &added})
        for (const std::string& l : *part) {
          if (l == " ") continue;
          const std::string plain = decodeDefinitionLine(l);
          const std::string key = toLower(plain.substr(0, plain.find('=')));
          if (std::find(gone.begin(), gone.end(), key) == gone.end()) model += l + "\r\n";
        }
      FUZZ_CHECK(now == model);
    }
  }
  FUZZ_CHECK(count == expected);
  return 0;
}
