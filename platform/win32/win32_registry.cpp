// The registry through the Windows API, on the wide calls only: names that come from the system
// may hold any character, and the code-page calls would turn what the code page lacks into "?".
// The code-page interface converts as the system's own code-page calls do.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>

#include "common/text.h"
#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

namespace {

HKEY rootKey(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(static_cast<LONG>(root))); }

std::wstring wideOf(const std::string& utf16le) {
  std::wstring w(utf16le.size() / 2, L'\0');
  if (!w.empty()) std::memcpy(w.data(), utf16le.data(), w.size() * 2);
  return w;
}
std::string bytesOf(const wchar_t* w, size_t n) { return std::string(reinterpret_cast<const char*>(w), n * 2); }

std::wstring fromExact(const std::string& name) { return wideOf(utf16leFromUtf8(name)); }
std::string toExact(const wchar_t* w, size_t n) { return utf8FromUtf16le(bytesOf(w, n)); }

// Code-page text, every byte (NULs included), as UTF-16 little-endian bytes; and back.
std::string wideFromCodePage(const std::string& text) {
  if (text.empty()) return "";
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring w(size_t(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), w.data(), n);
  return bytesOf(w.data(), w.size());
}
std::string codePageFromWide(const std::string& utf16le) {
  const std::wstring w = wideOf(utf16le);
  if (w.empty()) return "";
  const int n = WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, w.data(), int(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}
std::wstring wideName(const std::string& codePageText) { return wideOf(wideFromCodePage(codePageText)); }

bool isText(uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// One value of an open key; the value can grow between asking its size and reading it: ask again.
RegStatus queryOpen(HKEY k, const std::wstring& name, RegValue& out) {
  for (int tries = 0; tries < 8; ++tries) {
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(k, name.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return RegStatus::NoValue;
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return RegStatus::Failed;
    out.type = type;
    out.data.assign(size, '\0');
    rc = RegQueryValueExW(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(out.data.data()), &size);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return RegStatus::Failed;
    out.type = type;
    out.data.resize(size);
    return RegStatus::Ok;
  }
  return RegStatus::Failed;
}

RegStatus openW(uint32_t root, const std::wstring& path, uint32_t access, RegKey& k) {
  LONG rc = RegOpenKeyExW(rootKey(root), path.c_str(), 0, access, k.out());
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return RegStatus::NoKey;
  return rc == ERROR_SUCCESS ? RegStatus::Ok : RegStatus::Failed;
}

RegStatus queryW(uint32_t root, const std::wstring& path, const std::wstring& name, uint32_t access, RegValue& out) {
  RegKey k;
  const RegStatus opened = openW(root, path, access, k);
  return opened == RegStatus::Ok ? queryOpen(k, name, out) : opened;
}

// Values in code-page text, as Win32Registry::queryValue gives them.
class Win32OpenKey : public OpenRegistryKey {
 public:
  explicit Win32OpenKey(RegKey k) : k_(std::move(k)) {}
  RegStatus queryValue(const std::string& name, RegValue& out) override {
    const RegStatus s = queryOpen(k_, wideName(name), out);
    if (s == RegStatus::Ok && isText(out.type)) out.data = codePageFromWide(out.data);
    return s;
  }

 private:
  RegKey k_;
};

bool setW(uint32_t root, const std::wstring& path, const std::wstring& name, const RegValue& value) {
  RegKey k;
  if (RegCreateKeyExW(rootKey(root), path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, k.out(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExW(k, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                           DWORD(value.data.size()));
  return rc == ERROR_SUCCESS;
}

// Names as the system has them, data as stored.
bool enumerateW(uint32_t root, const std::wstring& path, std::vector<std::wstring>& subkeys,
                std::vector<std::pair<std::wstring, RegValue>>& values) {
  RegKey k;
  if (RegOpenKeyExW(rootKey(root), path.c_str(), 0, KEY_READ, k.out()) != ERROR_SUCCESS) return false;
  subkeys.clear();
  values.clear();
  DWORD nKeys = 0, maxKey = 0, nValues = 0, maxName = 0, maxData = 0;
  bool ok = RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &nKeys, &maxKey, nullptr, &nValues, &maxName, &maxData,
                             nullptr, nullptr) == ERROR_SUCCESS;
  std::wstring name(size_t(std::max(maxKey, maxName)) + 2, L'\0');
  for (DWORD i = 0; ok && i < nKeys; ++i) {
    DWORD len = DWORD(name.size());
    ok = RegEnumKeyExW(k, i, name.data(), &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    if (ok) subkeys.emplace_back(name.data(), len);
  }
  std::string data(size_t(maxData) + 2, '\0');
  for (DWORD i = 0; ok && i < nValues; ++i) {
    DWORD len = DWORD(name.size()), size = DWORD(data.size()), type = 0;
    ok = RegEnumValueW(k, i, name.data(), &len, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
         ERROR_SUCCESS;
    if (ok) values.emplace_back(std::wstring(name.data(), len), RegValue{type, data.substr(0, size)});
  }
  return ok;
}

}  // namespace

// ---- Registry, in code-page text ----------------------------------------------------------
bool Win32Registry::keyExists(uint32_t root, const std::string& path, uint32_t access) {
  RegKey k;
  if (RegOpenKeyExW(rootKey(root), wideName(path).c_str(), 0, access, k.out()) != ERROR_SUCCESS) return false;
  return true;
}

RegStatus Win32Registry::queryValue(uint32_t root, const std::string& path, const std::string& name,
                                    uint32_t access, RegValue& out) {
  const RegStatus s = queryW(root, wideName(path), wideName(name), access, out);
  if (s == RegStatus::Ok && isText(out.type)) out.data = codePageFromWide(out.data);
  return s;
}

std::unique_ptr<OpenRegistryKey> Win32Registry::openKey(uint32_t root, const std::string& path, uint32_t access,
                                                        RegStatus& status) {
  RegKey k;
  status = openW(root, wideName(path), access, k);
  if (status != RegStatus::Ok) return nullptr;
  return std::make_unique<Win32OpenKey>(std::move(k));
}

bool Win32Registry::setValue(uint32_t root, const std::string& path, const std::string& name,
                             const RegValue& value) {
  RegValue wide = value;
  if (isText(value.type)) wide.data = wideFromCodePage(value.data);
  return setW(root, wideName(path), wideName(name), wide);
}

bool Win32Registry::deleteValue(uint32_t root, const std::string& path, const std::string& name) {
  RegKey k;
  if (RegOpenKeyExW(rootKey(root), wideName(path).c_str(), 0, KEY_SET_VALUE, k.out()) != ERROR_SUCCESS) return false;
  LONG rc = RegDeleteValueW(k, wideName(name).c_str());
  return rc == ERROR_SUCCESS;
}

bool Win32Registry::deleteTree(uint32_t root, const std::string& path) {
  return SHDeleteKeyW(rootKey(root), wideName(path).c_str()) == ERROR_SUCCESS;
}

bool Win32Registry::enumerateKey(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                                 std::vector<std::pair<std::string, RegValue>>& values) {
  std::vector<std::wstring> keys;
  std::vector<std::pair<std::wstring, RegValue>> wide;
  if (!enumerateW(root, wideName(path), keys, wide)) return false;
  auto narrow = [](const std::wstring& w) { return codePageFromWide(bytesOf(w.data(), w.size())); };
  subkeys.clear();
  values.clear();
  for (const std::wstring& k : keys) subkeys.push_back(narrow(k));
  for (auto& [name, v] : wide) {
    if (isText(v.type)) v.data = codePageFromWide(v.data);
    values.emplace_back(narrow(name), v);
  }
  return true;
}

// ---- Registry, exact ----------------------------------------------------------------------------
std::string Win32Registry::exactName(const std::string& codePageText) {
  return utf8FromUtf16le(wideFromCodePage(codePageText));
}

bool Win32Registry::keyExistsExact(uint32_t root, const std::string& path) {
  RegKey k;
  if (RegOpenKeyExW(rootKey(root), fromExact(path).c_str(), 0, KEY_READ, k.out()) != ERROR_SUCCESS) return false;
  return true;
}

RegStatus Win32Registry::queryValueExact(uint32_t root, const std::string& path, const std::string& name,
                                         RegValue& out) {
  return queryW(root, fromExact(path), fromExact(name), KEY_READ, out);
}

bool Win32Registry::setValueExact(uint32_t root, const std::string& path, const std::string& name,
                                  const RegValue& value) {
  return setW(root, fromExact(path), fromExact(name), value);
}

bool Win32Registry::createKeyExact(uint32_t root, const std::string& path) {
  RegKey k;
  if (RegCreateKeyExW(rootKey(root), fromExact(path).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, k.out(),
                      nullptr) != ERROR_SUCCESS)
    return false;
  return true;
}

bool Win32Registry::enumerateKeyExact(uint32_t root, const std::string& path, std::vector<std::string>& subkeys,
                                      std::vector<std::pair<std::string, RegValue>>& values) {
  std::vector<std::wstring> keys;
  std::vector<std::pair<std::wstring, RegValue>> wide;
  if (!enumerateW(root, fromExact(path), keys, wide)) return false;
  subkeys.clear();
  values.clear();
  for (const std::wstring& k : keys) subkeys.push_back(toExact(k.data(), k.size()));
  for (auto& [name, v] : wide) values.emplace_back(toExact(name.data(), name.size()), v);
  return true;
}

bool Win32Registry::systemProtectsKey(uint32_t root, const std::string& path) {
  using IsKeyProtected = BOOL(WINAPI*)(HKEY, LPCWSTR, REGSAM);
  static const auto isProtected = reinterpret_cast<IsKeyProtected>(protectionExport("SfcIsKeyProtected"));
  return isProtected && isProtected(rootKey(root), wideName(path).c_str(), KEY_WOW64_64KEY);
}

}  // namespace quillon::win32
