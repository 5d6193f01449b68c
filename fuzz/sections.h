// Seeds of the scan targets are plain text in named sections: "[name]" starts one, and every
// line after it, up to the next, belongs to it.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "common/text.h"

namespace quillon::fuzz {

using Sections = std::map<std::string, std::vector<std::string>>;

inline Sections readSections(const std::string& input) {
  Sections s;
  std::vector<std::string>* current = nullptr;
  for (const std::string& line : split(input, "\n")) {
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') current = &s[line.substr(1, line.size() - 2)];
    else if (current) current->push_back(line);
  }
  return s;
}

}  // namespace quillon::fuzz
