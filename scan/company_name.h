#pragma once
#include <string>

#include "platform/platform.h"

namespace quillon {

// The company name of a file's version information, found by scanning its bytes (so that
// it works for any file, resource section or not); "" when there is none or on any error.
std::string readCompanyName(FileSystem& fs, const std::string& path);
std::string companyNameFromBytes(const std::string& bytes);

}  // namespace quillon
