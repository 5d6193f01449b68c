// Folder token expansion with special folders taken from the input. The input is lines: the
// first 29 give the shell's answers (28 special folders, then the Programs folder; a blank
// line is a folder the shell does not know), every further line is a definition's folder.
// When every special folder is known and holds no "[", no token survives expansion.
#include <cstdint>
#include <vector>

#include "common/text.h"
#include "definitions/folder_tokens.h"
#include "fuzz_check.h"
#include "memory_platform.h"

using namespace quillon;

namespace {
const int kCsidls[] = {0x1D, 0x1A, 0x0A, 0x1E, 0x23, 0x19, 0x2E, 0x1F, 0x17, 0x16, 0x2D, 0x21, 0x10, 0x06,
                       0x14, 0x22, 0x20, 0x02, 0x26, 0x2B, 0x05, 0x08, 0x09, 0x07, 0x0B, 0x25, 0x15, 0x24};
const char* const kTokens[] = {"[startsp]", "[appdata]", "[recycle]", "[comstar]", "[comapp]", "[desktop]",
                               "[comdocs]", "[comfav]", "[comprog]", "[comstam]", "[comtemp]", "[cookies]",
                               "[comdesk]", "[favorit]", "[fonts]", "[history]", "[netcach]", "[progs]",
                               "[progfil]", "[comprogfil]", "[personl]", "[recent]", "[sendto]", "[startup]",
                               "[strtmnu]", "[system]", "[templat]", "[windir]"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> lines = split(fuzz::bytes(data, size), "\n");
  fuzz::MemoryShell shell;
  bool plainFolders = true;  // every folder known and free of "["
  for (size_t i = 0; i < 28; ++i) {
    const std::string f = i < lines.size() ? lines[i] : "";
    if (!f.empty()) shell.folders[kCsidls[i]] = f;
    plainFolders = plainFolders && !f.empty() && f.find('[') == std::string::npos;
  }
  shell.programs = lines.size() > 28 ? lines[28] : "";

  FolderTokens tokens(shell);
  FUZZ_CHECK(tokens.driveRoot().size() <= 3);
  FUZZ_CHECK(shell.programs.compare(0, tokens.driveRoot().size(), tokens.driveRoot()) == 0 ||
             tokens.driveRoot() == shell.programs + "\\");
  for (size_t i = 29; i < lines.size(); ++i) {
    const std::string out = tokens.expand(lines[i]);
    if (lines[i].find('[') == std::string::npos) FUZZ_CHECK(out == lines[i]);
    if (!plainFolders) continue;
    for (const char* t : kTokens) FUZZ_CHECK(ifind(out, t) == std::string::npos);
    FUZZ_CHECK(out.find("[user]") == std::string::npos && out.find("[alluser]") == std::string::npos);
  }
  return 0;
}
