// The names of the running programs as the system's management service reports them.
#include <windows.h>
#include <wbemidl.h>

#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

bool Win32Management::processNames(std::vector<std::string>& names) {
  names.clear();
  ComApartment com;
  Com<IWbemLocator> locator;
  Com<IWbemServices> services;
  Com<IEnumWbemClassObject> rows;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              reinterpret_cast<void**>(locator.out()))))
    return false;
  const Bstr ns(SysAllocString(L"\\\\localhost\\root\\cimv2"));
  if (FAILED(locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.out()))) return false;
  CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  const Bstr wql(SysAllocString(L"WQL")), query(SysAllocString(L"select * from Win32_Process"));
  if (FAILED(services->ExecQuery(wql, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 rows.out())))
    return false;
  for (;;) {
    Com<IWbemClassObject> row;
    ULONG got = 0;
    if (rows->Next(10000, 1, row.out(), &got) != WBEM_S_NO_ERROR || got == 0) break;
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(row->Get(L"Name", 0, &v, nullptr, nullptr)) && v.vt == VT_BSTR && v.bstrVal) {
      int n = WideCharToMultiByte(CP_ACP, 0, v.bstrVal, -1, nullptr, 0, nullptr, nullptr);
      std::string name(size_t(n > 0 ? n - 1 : 0), '\0');
      if (n > 1) WideCharToMultiByte(CP_ACP, 0, v.bstrVal, -1, name.data(), n, nullptr, nullptr);
      names.push_back(std::move(name));
    }
    VariantClear(&v);
  }
  return true;
}

}  // namespace quillon::win32
