#include "scan/registry_scan.h"

#include "common/text.h"
#include "definitions/cipher.h"
#include "definitions/grammar.h"
#include "scan/folder_memory.h"

namespace quillon {

bool registryKeyExists(Registry& reg, uint32_t root, const std::string& keyPath) {
  return reg.keyExists(root, keyPath, kRegistryProbeAccess);
}

bool registryValueExists(Registry& reg, uint32_t root, const std::string& keyPath, const std::string& valueName) {
  RegValue v;
  if (reg.queryValue(root, keyPath, valueName, kRegistryProbeAccess, v) != RegStatus::Ok) return false;
  return isScannedValueType(v.type);
}

void scanRegistry(ScanEnv& env) {
  Platform& p = env.platform;
  LineReader reader = env.defs.open(kRegistryDefs);
  if (!reader.isOpen()) return;
  const DefinitionCounts& c = env.counts;
  KeyMemory keys(p.registry);
  std::string line, plain;
  for (;;) {
    p.pump.yield();
    if (env.host.scanCancelled() || !reader.next(line)) break;
    if (!decodeDefinition(line, plain)) continue;
    RegistryDefinition d = parseRegistryLine(plain);
    uint32_t root = 0;
    std::string rootName;
    if (d.valid && registryRoot(d.rootField, root, rootName)) {
      ++env.counters.registryInspected;
      double inspected = env.counters.registryInspected;
      showProgress(env, [&] { return toLower(d.keyPath + "\\" + d.valueName); }, percentOf(inspected, c.registry),
                   percentOf(inspected + c.cookie + c.exe, c.total()));
      const bool keyEntry = d.valueName.empty();
      const std::string keyPath = keyEntry ? trim(d.keyPath) : d.keyPath;
      // The keys and values of the system's own configuration are never findings; only what is
      // there is judged.
      const bool present = (keyEntry ? keys.keyExists(root, keyPath) : keys.valueExists(root, keyPath, d.valueName)) &&
                           !env.protectedLocations.isProtectedRegistryItem(root, keyPath, d.valueName);
      if (present) {
        const std::string keyText = rootName + "\\" + d.keyPath;
        const std::string itemText = keyText + d.valueName;
        if (env.exclusions.isFileExcluded(itemText) || env.exclusions.isFileExcluded(keyText)) {
          env.results.addExcluded(itemText);
        } else {
          const std::string handle = std::to_string(static_cast<int32_t>(root));
          env.results.addRegistryWork(handle, d.keyPath, d.valueName, d.threat);
          if (!env.results.isListed(d.threat)) {
            if (trim(d.threat).empty()) {
              // Without a name the finding is shown by where it is.
              env.results.addUnnamedRegistryThreat(keyEntry ? d.keyPath : handle, d.keyPath, itemText);
              ++env.counters.threatsFound;
            } else {
              addThreatRows(env, d.threat, kIconRegistry, itemText, d.type);
            }
          }
        }
      }
    }
    p.pump.yield();
  }
}

}  // namespace quillon
