// The blocked-cookie rule written out plainly, one entry after another, for the targets to
// compare the indexed list against.
#pragma once
#include <string>
#include <vector>

#include "common/text.h"

namespace quillon::fuzz {

// An entry blocks a domain when it contains the domain (letter case counts) and, with its last
// "."-separated part and its first "*" taken away, is the domain (letter case does not count).
// An empty domain names no site and is never blocked.
inline bool blockedByRule(const std::vector<std::string>& entries, const std::string& domain) {
  if (domain.empty()) return false;
  for (const std::string& entry : entries) {
    if (entry.find(domain) == std::string::npos) continue;
    std::string reduced = entry.substr(0, entry.rfind('.'));
    const size_t star = reduced.find('*');
    if (star != std::string::npos) reduced.erase(star, 1);
    if (iequals(reduced, domain)) return true;
  }
  return false;
}

}  // namespace quillon::fuzz
