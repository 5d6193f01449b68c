#include "common/device_names.h"

#include "common/text.h"

namespace quillon {

namespace {
bool isSeparator(char c) { return c == '\\' || c == '/'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

bool isDeviceName(std::string_view name) {
  // The system drops trailing dots and spaces, and a device name ends at the first dot or
  // colon, with the spaces before it dropped too ("aux .txt" is the auxiliary device).
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  name = name.substr(0, name.find_first_of(".:"));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);

  for (std::string_view d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
    if (iequals(name, d)) return true;
  return name.size() == 4 && isDigit(name[3]) &&
         (istartsWith(name, "COM") || istartsWith(name, "LPT"));
}

bool isDevicePath(std::string_view path) {
  if (path.size() >= 4 && isSeparator(path[0]) && isSeparator(path[3]) &&
      ((isSeparator(path[1]) && (path[2] == '.' || path[2] == '?')) || (path[1] == '?' && path[2] == '?')))
    return true;
  size_t cut = path.find_last_of("\\/");
  if (cut != std::string_view::npos) {
    path.remove_prefix(cut + 1);
  } else if (path.size() >= 2 && path[1] == ':') {
    path.remove_prefix(2);  // "C:aux" is relative to drive C's current folder
  }
  return isDeviceName(path);
}

}  // namespace quillon
