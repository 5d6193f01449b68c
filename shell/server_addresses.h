// Where the definition and data servers are: the build's addresses unless this machine's
// settings name others.
#pragma once
#include <string>

#include "system/settings.h"

namespace quillon {

std::string definitionServer(const Settings& settings);
std::string dataServer(const Settings& settings);

}  // namespace quillon
