#include "definitions/folder_tokens.h"

#include <cstring>

#include "common/text.h"

namespace quillon {

namespace {
struct TokenRow {
  const char* token;
  int csidl;
};
// Replacement order matters: a token expanded early may not reappear in a later folder.
const TokenRow kTokens[] = {
    {"[startsp]", 0x1D},  {"[appdata]", 0x1A}, {"[recycle]", 0x0A}, {"[comstar]", 0x1E},
    {"[comapp]", 0x23},   {"[desktop]", 0x19}, {"[comdocs]", 0x2E}, {"[comfav]", 0x1F},
    {"[comprog]", 0x17},  {"[comstam]", 0x16}, {"[comtemp]", 0x2D}, {"[cookies]", 0x21},
    {"[comdesk]", 0x10},  {"[favorit]", 0x06}, {"[fonts]", 0x14},   {"[history]", 0x22},
    {"[netcach]", 0x20},  {"[progs]", 0x02},   {"[progfil]", 0x26}, {"[comprogfil]", 0x2B},
    {"[personl]", 0x05},  {"[recent]", 0x08},  {"[sendto]", 0x09},  {"[startup]", 0x07},
    {"[strtmnu]", 0x0B},  {"[system]", 0x25},  {"[templat]", 0x15}, {"[windir]", 0x24},
};
constexpr int kStartMenu = 0x0B, kCommonStartMenu = 0x16;
}  // namespace

std::string specialFolderPath(Shell& shell, int csidl) {
  std::string p = shell.specialFolder(csidl);
  return p.empty() ? p : p + "\\";
}

void FolderTokens::load() const {
  if (loaded_) return;
  loaded_ = true;
  for (const TokenRow& row : kTokens) rows_.push_back({row.token, specialFolderPath(shell_, row.csidl), false});
  rows_.push_back({"[user]", ireplaceAll(specialFolderPath(shell_, kStartMenu), "\\Start Menu", ""), true});
  rows_.push_back({"[alluser]", ireplaceAll(specialFolderPath(shell_, kCommonStartMenu), "\\Start Menu", ""), true});
  std::string programs = shell_.programsFolderFromIdList();
  if (!programs.empty() && programs.back() != '\\') programs += "\\";
  driveRoot_ = programs.substr(0, 3);
}

const std::string& FolderTokens::driveRoot() const {
  load();
  return driveRoot_;
}

std::string FolderTokens::expand(std::string folder) const {
  if (folder.find('[') == std::string::npos) return folder;
  load();
  // The tokens are replaced one after the other, each in the text the ones before it left (a
  // folder may itself hold a token's text). Only the next token actually present is replaced:
  // the ones in between would have found nothing, and the text is read once per token found
  // rather than once per row.
  for (size_t from = 0;;) {
    size_t next = rows_.size();
    for (size_t at = folder.find('['); at != std::string::npos && next > from; at = folder.find('[', at + 1)) {
      const std::string_view rest = std::string_view(folder).substr(at);
      for (size_t i = from; i < next; ++i) {
        const Row& row = rows_[i];
        if (row.exactCase ? rest.compare(0, std::strlen(row.token), row.token) == 0 : istartsWith(rest, row.token)) next = i;
      }
    }
    if (next == rows_.size()) return folder;
    const Row& row = rows_[next];
    folder = row.exactCase ? replaceAll(std::move(folder), row.token, row.path) : ireplaceAll(std::move(folder), row.token, row.path);
    from = next + 1;
  }
}

}  // namespace quillon
