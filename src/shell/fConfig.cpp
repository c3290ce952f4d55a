// The settings store: LoadSettings and SaveSettings over the per-user registry.
#include "fConfig.h"

#include <string>

#include "registry.h"

TSettings Settings{};

namespace {

const char* const SettingsKey = "Software\\Ombrix\\Tundrel";

// Closes the key on every way out, a thrown write error included.
class TOpenKey {
 public:
  explicit TOpenKey(TRegistryKey key) : Key(key) {}
  ~TOpenKey() { RegistryCloseKey(Key); }
  TOpenKey(const TOpenKey&) = delete;
  TOpenKey& operator=(const TOpenKey&) = delete;

 private:
  TRegistryKey Key;
};

// A flag is a 32-bit integer value, true when non-zero. The read fails when the value is
// missing, of another type, or longer than 4 bytes.
bool ReadFlag(TRegistryKey key, const char* name, bool& flag) {
  TRegistryValueType type;
  unsigned char data[RegistryDataSize] = {};
  uint32_t size = 0;
  if (RegistryQueryValue(key, name, &type, data, &size) != RegistrySuccess) return false;
  if (type != TRegistryValueType::Dword || size > RegistryDataSize) return false;
  flag = false;
  for (uint32_t i = 0; i < size; ++i) flag = flag || data[i] != 0;
  return true;
}

[[noreturn]] void FailedWrite(const char* name) {
  throw ESettingsError(std::string("Failed to set data for '") + name + "'");
}

void WriteFlag(TRegistryKey key, const char* name, bool flag) {
  if (RegistrySetDwordValue(key, name, flag ? 1 : 0) != RegistrySuccess) FailedWrite(name);
}

}  // namespace

void LoadSettings(TSettings& settings) {
  TRegistryKey key = nullptr;
  if (RegistryOpenKey(SettingsKey, &key) != RegistrySuccess) {
    settings.ShowTrail = true;
    settings.ShowTime = true;
    return;
  }
  TOpenKey open(key);
  // The first failed read makes both true, the one already read included, and ends the load.
  if (!ReadFlag(key, "ShowTrail", settings.ShowTrail) ||
      !ReadFlag(key, "ShowTime", settings.ShowTime)) {
    settings.ShowTrail = true;
    settings.ShowTime = true;
  }
}

void SaveSettings(const TSettings& settings) {
  TRegistryKey key = nullptr;
  // A key that cannot be opened or created is a failed write of the first value: skipping it
  // silently would let the dialog close as if the settings had been kept.
  if (RegistryCreateKey(SettingsKey, &key) != RegistrySuccess) FailedWrite("ShowTrail");
  TOpenKey open(key);
  WriteFlag(key, "ShowTrail", settings.ShowTrail);
  WriteFlag(key, "ShowTime", settings.ShowTime);
}
