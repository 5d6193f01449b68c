// The definition set an installer ships. The installer owns a folder of its own below the
// application folder ("Shipped"); the programs keep the live set beside themselves, where Live
// Update changes it. At start, the shipped set is adopted when the live one is missing a file
// or older, so an upgrade brings its definitions and never undoes a newer Live Update.
#pragma once
#include <string>

#include "platform/platform.h"

namespace quillon {

constexpr const char* kShippedFolder = "Shipped";

enum class Adoption { NothingShipped, LiveIsCurrent, Adopted, Failed };

// Puts the shipped set in the place of the live one when the live set lacks a file or its date
// is older than the shipped date. Each file is written beside its live copy and put in place in
// one step; the date goes last, so a set interrupted half-way is taken again at the next start.
Adoption adoptShippedDefinitions(FileSystem& fs, const std::string& appFolder);

}  // namespace quillon
