#include "definitions/grammar.h"

#include <optional>
#include <string_view>

#include "common/text.h"
#include "platform/platform.h"

namespace quillon {

// Every file and directory line is read through here: the fields are cut out where they lie,
// with no list of parts made.
PathDefinition parsePathLine(const std::string& line) {
  PathDefinition d;
  // The text between the `n`th separator and the next (or the end); nothing when there are
  // fewer separators.
  auto field = [](std::string_view s, char separator, int n) -> std::optional<std::string_view> {
    size_t from = 0;
    for (; n > 0; --n) {
      const size_t at = s.find(separator, from);
      if (at == std::string_view::npos) return std::nullopt;
      from = at + 1;
    }
    return s.substr(from, s.find(separator, from) - from);
  };
  const std::string_view all(line), head = *field(all, '|', 0);
  const auto folder = field(all, '|', 1);
  d.hasFolder = folder.has_value();
  d.folder = std::string(folder.value_or(""));
  d.type = std::string(field(all, '|', 2).value_or(""));
  d.head = std::string(*field(head, '=', 0));
  d.threat = std::string(field(head, '=', 1).value_or(""));
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
  auto keys = split(line.substr(0, eq), "^");
  // Without root, key and value fields, or with an empty key path, a line would name a whole
  // hive: it names nothing.
  if (keys.size() < 3 || trim(removeChars(keys[1], "\\")).empty()) return d;
  d.valid = true;
  d.rootField = keys[0];
  d.keyPath = keys[1];
  d.valueName = keys[2];
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
  // A single digit and nothing else: a lenient number parse would take "0x1", "1.0" or "1e0"
  // for a root, and a root decides which hive a removal touches.
  if (rootField.size() != 1 || rootField[0] < '0' || rootField[0] > '5') {
    name.clear();
    return false;
  }
  const int code = rootField[0] - '0';
  handle = roots[code].handle;
  name = roots[code].name;
  return true;
}

}  // namespace quillon
