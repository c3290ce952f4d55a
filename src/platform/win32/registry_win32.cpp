// The per-user registry on Windows: the registry interface passed straight to the advapi32 calls
// on HKEY_CURRENT_USER, keys opened with KEY_ALL_ACCESS and values written as REG_DWORD. The
// Win32 error codes come back unchanged; the interface numbers its results the same way.
#include <windows.h>

#include "registry.h"

struct TRegistryKeyData {
  HKEY Key;
};

namespace {

TRegistryKey Wrap(HKEY key) {
  return new TRegistryKeyData{key};
}

}  // namespace

TRegistryResult RegistryOpenKey(const char* path, TRegistryKey* key) {
  if (!key) return RegistryInvalidParameter;
  *key = nullptr;
  if (!path) return RegistryInvalidParameter;
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &opened);
  if (result == ERROR_SUCCESS) *key = Wrap(opened);
  return result;
}

TRegistryResult RegistryCreateKey(const char* path, TRegistryKey* key) {
  if (!key) return RegistryInvalidParameter;
  *key = nullptr;
  if (!path) return RegistryInvalidParameter;
  HKEY opened = nullptr;
  const LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &opened, nullptr);
  if (result == ERROR_SUCCESS) *key = Wrap(opened);
  return result;
}

TRegistryResult RegistryQueryValue(TRegistryKey key, const char* name, TRegistryValueType* type,
                                   unsigned char data[RegistryDataSize], uint32_t* size) {
  if (!key) return RegistryInvalidHandle;
  if (!name || !type || !data || !size) return RegistryInvalidParameter;
  // Windows leaves the buffer undefined when the data does not fit, so the data is read into a
  // buffer of our own and copied only when it is complete.
  BYTE buffer[RegistryDataSize] = {};
  DWORD valueType = REG_NONE;
  DWORD valueSize = sizeof buffer;
  const LONG result = RegQueryValueExA(key->Key, name, nullptr, &valueType, buffer, &valueSize);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return result;
  *type = valueType == REG_DWORD ? TRegistryValueType::Dword : TRegistryValueType::Other;
  *size = valueSize;
  if (result == ERROR_MORE_DATA || valueSize > RegistryDataSize) return RegistryMoreData;
  for (DWORD i = 0; i < valueSize; ++i) data[i] = buffer[i];
  return RegistrySuccess;
}

TRegistryResult RegistrySetDwordValue(TRegistryKey key, const char* name, uint32_t value) {
  if (!key) return RegistryInvalidHandle;
  if (!name) return RegistryInvalidParameter;
  const DWORD data = value;
  return RegSetValueExA(key->Key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data);
}

TRegistryResult RegistryCloseKey(TRegistryKey key) {
  if (!key) return RegistryInvalidHandle;
  const LONG result = RegCloseKey(key->Key);
  delete key;
  return result;
}
