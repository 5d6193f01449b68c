// The exclusion list read from a file the user may have edited by hand. Every non-blank line's
// "|"-separated pieces are excluded in any letter case, as files and as folders, and so is
// every part of them as a folder; an entry added afterwards is excluded too, and the entries
// already there stay excluded. The input is the file, then a NUL, then the entry to add.
#include <cstdint>
#include <vector>

#include "definitions/line_reader.h"
#include "common/text.h"
#include "definitions/exclusions.h"
#include "fuzz_check.h"
#include "memory_platform.h"

using namespace quillon;

namespace {
const char* const kPath = "C:\\APP\\ENoSignature.txt";

// The pieces the list is made of: what the file's non-blank lines hold between the bars.
std::vector<std::string> pieces(const std::string& file) {
  std::vector<std::string> out;
  fuzz::MemoryFileSystem fs;
  fs.addFile(kPath, file);
  LineReader r(fs.openRead(kPath));
  for (std::string line; r.next(line);) {
    if (trim(line).empty()) continue;
    for (const std::string& p : split(line, "|"))
      if (!p.empty()) out.push_back(p);
  }
  return out;
}

void checkExcluded(const ExclusionList& list, const std::string& piece) {
  FUZZ_CHECK(list.isFileExcluded(piece));
  FUZZ_CHECK(list.isFileExcluded(toLower(piece)));
  FUZZ_CHECK(list.isFolderExcluded(toUpper(piece)));
  FUZZ_CHECK(list.isFolderExcluded(piece.substr(piece.size() / 2)));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = fuzz::bytes(data, size);
  const size_t nul = input.find('\0');
  const std::string file = input.substr(0, nul);
  const std::string entry = nul == std::string::npos ? "" : input.substr(nul + 1);

  fuzz::MemoryFileSystem fs;
  fuzz::QuietSystem quiet;
  if (!file.empty()) fs.addFile(kPath, file);
  ExclusionList list(fs, quiet, kPath);
  list.load();
  const std::vector<std::string> before = pieces(file);
  for (const std::string& p : before) checkExcluded(list, p);
  FUZZ_CHECK(list.isFolderExcluded("") == !before.empty());  // any entry holds the empty text
  FUZZ_CHECK(!list.isFileExcluded("|"));
  FUZZ_CHECK(fs.changes.empty());  // reading never writes

  // An entry is one line: line ends and bars inside it make it something else.
  if (nul == std::string::npos || entry.find_first_of("\r|") != std::string::npos) return 0;
  list.add(entry);
  FUZZ_CHECK(fs.changes.size() == 1 && fs.changes[0].first == "write" && fs.changes[0].second == kPath);
  if (!trim(entry).empty()) FUZZ_CHECK(list.isFileExcluded(entry));
  for (const std::string& p : before) checkExcluded(list, p);
  return 0;
}
