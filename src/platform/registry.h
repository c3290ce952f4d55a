// The per-user registry (the current user's hive): open, create, query and set 32-bit values.
// Shaped after the Win32 registry calls so that backend is a thin wrapper; results are Win32
// error codes. Backends: win32/ (the real registry), regfile/ (a .reg text file per key).
#pragma once

#include <cstdint>

// An open key; every successful open or create is paired with one RegistryCloseKey.
struct TRegistryKeyData;
using TRegistryKey = TRegistryKeyData*;

// Result of every call, numbered as the Win32 error codes so the Windows backend passes them on.
using TRegistryResult = long;
constexpr TRegistryResult RegistrySuccess = 0;        // ERROR_SUCCESS
constexpr TRegistryResult RegistryNotFound = 2;       // ERROR_FILE_NOT_FOUND: no such key or value
constexpr TRegistryResult RegistryAccessDenied = 5;   // ERROR_ACCESS_DENIED
constexpr TRegistryResult RegistryInvalidHandle = 6;  // ERROR_INVALID_HANDLE
constexpr TRegistryResult RegistryWriteFault = 29;    // ERROR_WRITE_FAULT
constexpr TRegistryResult RegistryInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
constexpr TRegistryResult RegistryMoreData = 234;         // ERROR_MORE_DATA: data longer than asked
constexpr TRegistryResult RegistryCorrupt = 1009;         // ERROR_BADDB: the store cannot be read

// The value types the program tells apart: REG_DWORD and everything else.
enum class TRegistryValueType { Dword, Other };

// The most data a query hands back: one 32-bit integer, in bytes.
constexpr uint32_t RegistryDataSize = 4;

// Opens an existing key below the current user's hive with full access (read and write);
// never creates it. path separates subkeys with backslashes: "Software\\Ombrix\\Tundrel".
TRegistryResult RegistryOpenKey(const char* path, TRegistryKey* key);

// Opens a key with full access, creating it and any missing parent keys first.
TRegistryResult RegistryCreateKey(const char* path, TRegistryKey* key);

// Reads a value: its type, its data size in bytes and, when that size is at most
// RegistryDataSize, its data (a 32-bit integer is 4 bytes, least significant first).
// Longer data gives RegistryMoreData with type and size set and data untouched.
TRegistryResult RegistryQueryValue(TRegistryKey key, const char* name, TRegistryValueType* type,
                                   unsigned char data[RegistryDataSize], uint32_t* size);

// Writes a value as a 32-bit integer (REG_DWORD), replacing any value of that name.
TRegistryResult RegistrySetDwordValue(TRegistryKey key, const char* name, uint32_t value);

// Closes and releases a key from RegistryOpenKey or RegistryCreateKey.
TRegistryResult RegistryCloseKey(TRegistryKey key);
