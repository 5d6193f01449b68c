// The quarantine's names and index fields, shared by the files that make up the quarantine.
#pragma once
#include <string>

namespace quillon::quarantine_text {

constexpr const char* LB = "\r\n";
// A copy on its way in: never a stored name, so deleting it never deletes a kept copy.
constexpr const char* kPartSuffix = ".part";
// The folder inside the quarantine where a file's copy is made before it moves to its stored
// name. Under Wine, making a name that is not there reads the whole folder: in this small one
// that costs nothing, and only the move pays the quarantine's size, as any copy into it does.
constexpr const char* kUnfinishedFolder = "unfinished";

std::string escapeField(const std::string& s);
std::string unescapeField(const std::string& s);
// Where the id of a stored name ends ("<id>-..."); npos for any other name.
size_t idDigits(const std::string& name);
bool isPartName(const std::string& name);
// A stored name never leaves the quarantine folder: no separators or drive, and not "." or ".."
// as the system reads the last part of a path, without its trailing dots and blanks ("..." is
// the folder itself).
bool insideFolder(const std::string& stored);

}  // namespace quillon::quarantine_text
