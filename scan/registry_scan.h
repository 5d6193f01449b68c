#pragma once
#include <cstdint>
#include <string>

#include "scan/scan_state.h"

namespace quillon {

// The access a key must grant to count as present: query, set value, create subkey,
// enumerate, notify and create link. A key the user may only read is therefore not found.
constexpr uint32_t kRegistryProbeAccess = 0x3F;

bool registryKeyExists(Registry& reg, uint32_t root, const std::string& keyPath);
// True only for string (REG_SZ, REG_EXPAND_SZ) and 32-bit (REG_DWORD) values that can be read.
inline bool isScannedValueType(uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegDword; }
bool registryValueExists(Registry& reg, uint32_t root, const std::string& keyPath, const std::string& valueName);

// The registry phase: every line of RegistryDefinition.dat against the machine's registry.
void scanRegistry(ScanEnv& env);

}  // namespace quillon
