// A component library for the tests: its registration entries leave a mark in the registry.
#include <windows.h>

namespace {
HRESULT mark(const char* name) {
  HKEY k;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\QuillonTestComponent", 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                      nullptr) != ERROR_SUCCESS)
    return E_FAIL;
  RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
  RegCloseKey(k);
  return S_OK;
}
}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() { return mark("Registered"); }
extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() { return mark("Unregistered"); }
