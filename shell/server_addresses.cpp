#include "shell/server_addresses.h"

#include "common/text.h"

namespace quillon {

namespace {
// A base address ends without "/": the paths added to it begin with one.
std::string base(const Settings& settings, const SettingKey& key, const char* builtIn) {
  std::string a = trim(settings.read(key));
  if (a.empty()) a = builtIn;
  while (!a.empty() && a.back() == '/') a.pop_back();
  return a;
}
}  // namespace

std::string definitionServer(const Settings& settings) {
  return base(settings, keys::DefinitionServer, QUILLON_DEFINITION_SERVER);
}
std::string dataServer(const Settings& settings) { return base(settings, keys::DataServer, QUILLON_DATA_SERVER); }

}  // namespace quillon
