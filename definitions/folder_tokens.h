// Folder tokens ("[windir]", "[appdata]", ...) that let one definition name a folder on any
// machine. The shell is asked for every special folder once, the first time the expander is
// used (once per scan run), not once per token per line.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace quillon {

// The shell's path of a special folder with a trailing backslash, or "" when unknown.
std::string specialFolderPath(Shell& shell, int csidl);

class FolderTokens {
 public:
  explicit FolderTokens(Shell& shell) : shell_(shell) {}
  // Replaces every token (rows 1-28 in any letter case, "[user]"/"[alluser]" exact lower case).
  std::string expand(std::string folder) const;
  // First three characters of the Programs folder ("C:\"), or "" when it is unknown.
  const std::string& driveRoot() const;

 private:
  void load() const;
  Shell& shell_;
  mutable bool loaded_ = false;
  struct Row {
    const char* token;
    std::string path;
    bool exactCase;  // "[user]" and "[alluser]"; the others in any letter case
  };
  mutable std::vector<Row> rows_;  // in replacement order
  mutable std::string driveRoot_;
};

}  // namespace quillon
