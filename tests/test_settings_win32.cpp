// The settings store over the real Windows registry: what LoadSettings makes of the key in every
// state it can be in, and what SaveSettings leaves there. Each case redirects HKEY_CURRENT_USER
// to a scratch key of its own (RegOverridePredefKey), so the user's settings are never touched.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "fConfig.h"
#include "registry.h"

namespace {

const char* const TundrelKey = "Software\\Ombrix\\Tundrel";

class SettingsRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ScratchPath = "Software\\TundrelTests\\" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ScratchPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &Scratch, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, Scratch), ERROR_SUCCESS);
  }

  void TearDown() override {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(Scratch);
    HKEY tests = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\TundrelTests", 0, KEY_ALL_ACCESS, &tests) ==
        ERROR_SUCCESS) {
      RegDeleteTreeA(tests, std::to_string(GetCurrentProcessId()).c_str());
      RegCloseKey(tests);
      RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TundrelTests");
    }
  }

  // The settings key inside the scratch key, created on first use.
  HKEY TundrelKeyHandle() {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, TundrelKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    return key;
  }

  void PutValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = TundrelKeyHandle();
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void PutDword(const char* name, DWORD value) { PutValue(name, REG_DWORD, &value, sizeof value); }
  void PutString(const char* name, const char* text) {
    PutValue(name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
  }

  bool KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, TundrelKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
      return false;
    RegCloseKey(key);
    return true;
  }

  // The stored value as "REG_DWORD <n>", "missing" or "type <t>, <size> bytes".
  std::string Stored(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, TundrelKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
      return "missing";
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (result == ERROR_FILE_NOT_FOUND) return "missing";
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != 4)
      return "type " + std::to_string(type) + ", " + std::to_string(size) + " bytes";
    return "REG_DWORD " + std::to_string(value);
  }

  // Makes "Software\Ombrix" a volatile key: Windows creates no lasting key below one.
  void MakeParentVolatile() {
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Ombrix", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(parent);
  }

  static TSettings Load() {
    TSettings settings{false, false};
    LoadSettings(settings);
    return settings;
  }
  // The message of the error SaveSettings raised, or "" when it raised none.
  static std::string SaveError(TSettings settings) {
    try {
      SaveSettings(settings);
    } catch (const ESettingsError& error) {
      return error.what();
    }
    return "";
  }

  std::string ScratchPath;
  HKEY Scratch = nullptr;
};

TEST_F(SettingsRegistry, MissingKeyLoadsBothTrueAndIsNotCreatedByLoading) {
  const TSettings settings = Load();
  EXPECT_TRUE(settings.ShowTrail);
  EXPECT_TRUE(settings.ShowTime);
  EXPECT_FALSE(KeyExists());
}

TEST_F(SettingsRegistry, StoredDwordsLoadTrueWhenNonZero) {
  PutDword("ShowTrail", 0);
  PutDword("ShowTime", 0);
  TSettings settings = Load();
  EXPECT_FALSE(settings.ShowTrail);
  EXPECT_FALSE(settings.ShowTime);

  PutDword("ShowTrail", 0x100);  // only a high byte set
  PutDword("ShowTime", 0);
  settings = Load();
  EXPECT_TRUE(settings.ShowTrail);
  EXPECT_FALSE(settings.ShowTime);
}

TEST_F(SettingsRegistry, FirstFailedReadMakesBothTrue) {
  // Stored as 0 with the other value missing.
  PutDword("ShowTrail", 0);
  TSettings settings = Load();
  EXPECT_TRUE(settings.ShowTrail);
  EXPECT_TRUE(settings.ShowTime);

  // Stored as a string, as "reg add /t REG_SZ" leaves it.
  PutString("ShowTrail", "0");
  PutDword("ShowTime", 0);
  settings = Load();
  EXPECT_TRUE(settings.ShowTrail);
  EXPECT_TRUE(settings.ShowTime);

  // Data longer than 4 bytes, and 4 bytes of another type.
  const unsigned long long zero64 = 0;
  PutDword("ShowTrail", 0);
  PutValue("ShowTime", REG_QWORD, &zero64, sizeof zero64);
  settings = Load();
  EXPECT_TRUE(settings.ShowTrail);
  EXPECT_TRUE(settings.ShowTime);

  const unsigned char zeros[4] = {};
  PutValue("ShowTime", REG_BINARY, zeros, sizeof zeros);
  settings = Load();
  EXPECT_TRUE(settings.ShowTrail);
  EXPECT_TRUE(settings.ShowTime);
}

TEST_F(SettingsRegistry, FiveLoadsTrueAndIsSavedBackAsOne) {
  PutDword("ShowTrail", 0);
  PutDword("ShowTime", 5);
  const TSettings settings = Load();
  EXPECT_FALSE(settings.ShowTrail);
  EXPECT_TRUE(settings.ShowTime);
  EXPECT_EQ(SaveError(settings), "");
  EXPECT_EQ(Stored("ShowTrail"), "REG_DWORD 0");
  EXPECT_EQ(Stored("ShowTime"), "REG_DWORD 1");
}

TEST_F(SettingsRegistry, SaveCreatesTheKeyAndReplacesValuesOfAnyType) {
  EXPECT_EQ(SaveError({true, false}), "");
  EXPECT_TRUE(KeyExists());
  EXPECT_EQ(Stored("ShowTrail"), "REG_DWORD 1");
  EXPECT_EQ(Stored("ShowTime"), "REG_DWORD 0");

  PutString("ShowTrail", "yes");
  EXPECT_EQ(SaveError({false, true}), "");
  EXPECT_EQ(Stored("ShowTrail"), "REG_DWORD 0");
  EXPECT_EQ(Stored("ShowTime"), "REG_DWORD 1");
  const TSettings settings = Load();
  EXPECT_FALSE(settings.ShowTrail);
  EXPECT_TRUE(settings.ShowTime);
}

TEST_F(SettingsRegistry, KeyThatCannotBeCreatedRaisesTheFirstValuesError) {
  MakeParentVolatile();
  EXPECT_EQ(SaveError({true, true}), "Failed to set data for 'ShowTrail'");
  const TSettings settings = Load();
  EXPECT_TRUE(settings.ShowTrail);
  EXPECT_TRUE(settings.ShowTime);
}

// The backend's own contract, which the load relies on for values of the wrong size.
TEST_F(SettingsRegistry, QueryReportsLongDataWithoutTouchingTheBuffer) {
  const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  PutValue("Long", REG_BINARY, eight, sizeof eight);
  PutDword("Short", 0x04030201);

  TRegistryKey key = nullptr;
  ASSERT_EQ(RegistryOpenKey(TundrelKey, &key), RegistrySuccess);
  TRegistryValueType type = TRegistryValueType::Dword;
  unsigned char data[RegistryDataSize] = {9, 9, 9, 9};
  uint32_t size = 0;
  EXPECT_EQ(RegistryQueryValue(key, "Long", &type, data, &size), RegistryMoreData);
  EXPECT_EQ(type, TRegistryValueType::Other);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(data[0], 9);
  EXPECT_EQ(data[3], 9);

  EXPECT_EQ(RegistryQueryValue(key, "Short", &type, data, &size), RegistrySuccess);
  EXPECT_EQ(type, TRegistryValueType::Dword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(data[3], 4);

  EXPECT_EQ(RegistryQueryValue(key, "Absent", &type, data, &size), RegistryNotFound);
  EXPECT_EQ(RegistryCloseKey(key), RegistrySuccess);

  EXPECT_EQ(RegistryOpenKey("Software\\Ombrix\\Absent", &key), RegistryNotFound);
  EXPECT_EQ(key, nullptr);
}

}  // namespace
