// An update text applied to five definition files. A malformed text changes nothing; a text
// that parses leaves the files all old or all new, even when putting files in place fails (once
// the next start has completed what was recorded), and never writes a line twice: a file the
// update touches is its old lines and then the added lines it did not hold yet, each ended by
// CR LF, less what its deletions remove; a file it does not touch keeps its bytes. The same text as a whole release makes the files
// from nothing, and against the digests of the merged files it lands; against others it
// changes nothing. The input is a byte of replace failures (bit n fails the n-th attempt to put
// a file in place), the five files (as on disk) each followed by a NUL, then the update text.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
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
  fuzz::MemorySignatures signatures;
  const uint32_t count = mergeDefinitionUpdate(clean, signatures, kFolder, text, quiet);
  const uint32_t partial = mergeDefinitionUpdate(flaky, signatures, kFolder, text, quiet);
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
    // same key as sent (any letter case); a line held already is not added again.
    std::vector<std::string> added, pending;
    std::vector<std::string> oldLines = linesOf(old[name]);
    std::set<std::string> held(oldLines.begin(), oldLines.end());
    bool adds = false;
    for (const MergeRecord& r : records) {
      if (!kindTargets(r.kind, name)) continue;
      if (r.action == MergeAction::Add) {
        adds = true;
        FUZZ_CHECK(!malformedDefinition(r.line));
        if (held.insert(r.line).second) added.push_back(r.line);
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
    if (!adds && pending.empty()) {
      FUZZ_CHECK(now == old[name]);  // a file the update does not touch keeps its bytes
      continue;
    }
    // Every old line and then every added one, each ended by CR LF; with pending deletions less
    // lines of one space and lines whose deciphered key (any letter case) a deletion names.
    std::vector<std::string> gone;
    for (const std::string& p : pending) gone.push_back(toLower(decodeDefinitionLine(p)));
    std::string model;
    for (const std::vector<std::string>* part : {&oldLines, &added})
      for (const std::string& l : *part) {
        if (!pending.empty()) {
          if (l == " ") continue;
          const std::string plain = decodeDefinitionLine(l);
          if (std::find(gone.begin(), gone.end(), toLower(plain.substr(0, plain.find('=')))) != gone.end()) continue;
        }
        model += l + "\r\n";
      }
    FUZZ_CHECK(now == model);
  }
  FUZZ_CHECK(count == expected);

  // A whole release: against the merged files' digests taken from nothing, it gives exactly
  // those; against the digests of what the files hold now (unless that is the same), nothing.
  fuzz::MemoryFileSystem whole, empty;
  DefinitionUpdate release;
  release.text = text;
  release.wholeRelease = true;
  for (const char* name : kNames) empty.addFile(at(name), "");
  mergeDefinitionUpdate(empty, signatures, kFolder, text, quiet);
  std::vector<std::string> now;
  for (const char* name : kNames) {
    whole.addFile(at(name), old[name]);
    release.digests.push_back(signatures.sha256(empty.content(at(name))));
    now.push_back(signatures.sha256(old[name]));
  }
  whole.changes.clear();
  const bool same = release.digests == now;
  MergeOutcome o = applyDefinitionUpdate(whole, signatures, kFolder, release, quiet);
  FUZZ_CHECK(o.landed);
  for (const char* name : kNames) FUZZ_CHECK(whole.content(at(name)) == empty.content(at(name)));
  release.digests.swap(now);
  for (const char* name : kNames) whole.addFile(at(name), old[name]);
  o = applyDefinitionUpdate(whole, signatures, kFolder, release, quiet);
  FUZZ_CHECK(o.landed == same && o.differs == !same);
  for (const char* name : kNames) FUZZ_CHECK(whole.content(at(name)) == (same ? empty.content(at(name)) : old[name]));
  return 0;
}
