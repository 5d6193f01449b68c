// The registry through the Windows API.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

namespace {
HKEY rootKey(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(static_cast<LONG>(root))); }
}  // namespace

// ---- Registry ---------------------------------------------------------------------------
bool Win32Registry::keyExists(uint32_t root, const std::string& path, uint32_t access) {
  HKEY k;
  if (RegOpenKeyExA(rootKey(root), path.c_str(), 0, access, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

RegStatus Win32Registry::queryValue(uint32_t root, const std::string& path, const std::string& name,
                                    uint32_t access, RegValue& out) {
  HKEY k;
  LONG rc = RegOpenKeyExA(rootKey(root), path.c_str(), 0, access, &k);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return RegStatus::NoKey;
  if (rc != ERROR_SUCCESS) return RegStatus::Failed;
  DWORD type = 0, size = 0;
  rc = RegQueryValueExA(k, name.c_str(), nullptr, &type, nullptr, &size);
  RegStatus status = RegStatus::Ok;
  if (rc == ERROR_FILE_NOT_FOUND) {
    status = RegStatus::NoValue;
  } else if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) {
    status = RegStatus::Failed;
  } else {
    out.type = type;
    out.data.assign(size, '\0');
    rc = RegQueryValueExA(k, name.c_str(), nullptr, &type,
                          reinterpret_cast<BYTE*>(out.data.data()), &size);
    if (rc != ERROR_SUCCESS) status = RegStatus::Failed;
    else out.data.resize(size);
  }
  RegCloseKey(k);
  return status;
}

bool Win32Registry::setValue(uint32_t root, const std::string& path, const std::string& name,
                             const RegValue& value) {
  HKEY k;
  if (RegCreateKeyExA(rootKey(root), path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &k,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExA(k, name.c_str(), 0, value.type,
                           reinterpret_cast<const BYTE*>(value.data.data()), DWORD(value.data.size()));
  RegCloseKey(k);
  return rc == ERROR_SUCCESS;
}

bool Win32Registry::deleteValue(uint32_t root, const std::string& path, const std::string& name) {
  HKEY k;
  if (RegOpenKeyExA(rootKey(root), path.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS) return false;
  LONG rc = RegDeleteValueA(k, name.c_str());
  RegCloseKey(k);
  return rc == ERROR_SUCCESS;
}

bool Win32Registry::deleteTree(uint32_t root, const std::string& path) {
  return SHDeleteKeyA(rootKey(root), path.c_str()) == ERROR_SUCCESS;
}

bool Win32Registry::enumerateKey(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                                 std::vector<std::pair<std::string, RegValue>>& values) {
  HKEY k;
  if (RegOpenKeyExA(rootKey(root), path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  subkeys.clear();
  values.clear();
  DWORD nKeys = 0, maxKey = 0, nValues = 0, maxName = 0, maxData = 0;
  bool ok = RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, &nKeys, &maxKey, nullptr, &nValues, &maxName, &maxData,
                             nullptr, nullptr) == ERROR_SUCCESS;
  std::string name(size_t(std::max(maxKey, maxName)) + 2, '\0');
  for (DWORD i = 0; ok && i < nKeys; ++i) {
    DWORD len = DWORD(name.size());
    ok = RegEnumKeyExA(k, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    if (ok) subkeys.emplace_back(name.data(), len);
  }
  std::string data(size_t(maxData) + 1, '\0');
  for (DWORD i = 0; ok && i < nValues; ++i) {
    DWORD len = DWORD(name.size()), size = DWORD(data.size()), type = 0;
    ok = RegEnumValueA(k, i, name.data(), &len, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
         ERROR_SUCCESS;
    if (ok) values.emplace_back(std::string(name.data(), len), RegValue{type, data.substr(0, size)});
  }
  RegCloseKey(k);
  return ok;
}

}  // namespace quillon::win32
