#include "definitions/grammar.h"

#include "common/text.h"
#include "platform/platform.h"

namespace quillon {

PathDefinition parsePathLine(const std::string& line) {
  PathDefinition d;
  std::string head = line;
  if (line.find('|') != std::string::npos) {
    auto parts = split(line, "|");
    head = parts[0];
    d.folder = parts[1];
    d.hasFolder = true;
    if (parts.size() >= 3) d.type = parts[2];
  }
  auto fields = split(head, "=");
  d.head = fields[0];
  if (fields.size() >= 2) d.threat = fields[1];
  return d;
}

ExeDefinition parseExeLine(const std::string& line) {
  ExeDefinition d;
  size_t eq = line.find('=');
  if (eq == std::string::npos) return d;
  d.valid = true;
  d.name = line.substr(0, eq);
  std::string rest = line.substr(eq + 1);
  auto parts = split(rest, "|");
  if (parts.size() >= 2) {
    d.threat = parts[0];
    d.folder = parts[1];
  } else {
    d.folder = rest;
  }
  return d;
}

RegistryDefinition parseRegistryLine(const std::string& line) {
  RegistryDefinition d;
  size_t eq = line.rfind('=');
  if (eq == std::string::npos) return d;
  d.valid = true;
  auto keys = split(line.substr(0, eq), "^");
  d.rootField = keys[0];
  if (keys.size() > 1) d.keyPath = keys[1];
  if (keys.size() > 2) d.valueName = keys[2];
  std::string threatPart = trim(line.substr(eq + 1));
  if (threatPart.find('|') != std::string::npos) {
    auto parts = split(threatPart, "|");
    d.threat = parts[0];
    d.type = parts[1];
  } else {
    d.threat = threatPart;
  }
  return d;
}

bool registryRoot(const std::string& rootField, uint32_t& handle, std::string& name) {
  static const struct { uint32_t handle; const char* name; } roots[] = {
      {kHkeyClassesRoot, "HKEY_CLASSES_ROOT"}, {kHkeyCurrentUser, "HKEY_CURRENT_USER"},
      {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE"}, {kHkeyUsers, "HKEY_USERS"},
      {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG"}, {kHkeyDynData, "HKEY_DYN_DATA"}};
  double code;
  if (!parseNumber(rootField, code) || code != double(int(code)) || code < 0 || code > 5) {
    name.clear();
    return false;
  }
  handle = roots[int(code)].handle;
  name = roots[int(code)].name;
  return true;
}

}  // namespace quillon
