// The record grammars of the definition files, applied to deciphered lines. Splitting is by
// plain, case-sensitive substring search; there is no quoting.
#pragma once
#include <cstdint>
#include <string>

namespace quillon {

// FileDefinition.dat: name=threat[|folder[|type]]; DirectoryDefinition.dat: label=threat|folder[|type].
struct PathDefinition {
  std::string head;    // field 0 before "=" (file name or label), untrimmed
  std::string threat;  // field 1 after "=", untrimmed; empty when there is no "="
  std::string folder;  // unexpanded; empty when the line has no "|"
  std::string type;    // empty unless the line has a third "|" part
  bool hasFolder = false;
};
PathDefinition parsePathLine(const std::string& line);

// ExeDefinition.dat: exe=threat|folder.
struct ExeDefinition {
  bool valid = false;  // a line without "=" adds nothing
  std::string name, threat, folder;
};
ExeDefinition parseExeLine(const std::string& line);

// RegistryDefinition.dat: root^key^value=threat[|type], split at the LAST "=".
struct RegistryDefinition {
  bool valid = false;  // false when the line has no "="
  std::string rootField, keyPath, valueName, threat, type;
};
RegistryDefinition parseRegistryLine(const std::string& line);

// Root code 0..5 to its handle and name; false for anything else (text included).
bool registryRoot(const std::string& rootField, uint32_t& handle, std::string& name);

}  // namespace quillon
