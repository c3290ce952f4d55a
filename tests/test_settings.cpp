// The settings store: what LoadSettings makes of the settings file in every state it can be in,
// and what SaveSettings leaves on disk, failed writes included. Each case has its own
// configuration folder; the full-disk and read-only cases need mount rights and skip without.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fConfig.h"
#include "registry.h"

namespace fs = std::filesystem;

namespace {

const std::string Header = "Windows Registry Editor Version 5.00\n\n";
const std::string Section = "[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\n";

std::string Dword(const char* name, const char* digits) {
  return std::string("\"") + name + "\"=dword:" + digits + "\n";
}

// Regedit's export: UTF-16LE after a byte-order mark.
std::string Utf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tundrel-settings-XXXXXX").string();
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    Root = pattern;
    for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      SavedEnv.push_back({name, value ? value : "", value != nullptr});
    }
    Config = Root / "config";
    setenv("XDG_CONFIG_HOME", Config.c_str(), 1);
  }

  void TearDown() override {
    for (auto m = Mounts.rbegin(); m != Mounts.rend(); ++m) umount2(m->c_str(), MNT_DETACH);
    for (const auto& env : SavedEnv) {
      if (env.Set) {
        setenv(env.Name, env.Value.c_str(), 1);
      } else {
        unsetenv(env.Name);
      }
    }
    std::error_code ignored;
    fs::remove_all(Root, ignored);
  }

  fs::path StoreFile() const { return Config / "Ombrix" / "Tundrel.reg"; }

  static void WriteFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  static std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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

  // A small tmpfs over folder (created if missing); false when this process may not mount.
  bool MountTmpfs(const fs::path& folder, const char* size) {
    fs::create_directories(folder);
    // A tmpfs is open to all (1777) unless told: the store writes only into the user's own.
    const std::string options = std::string(size) + ",mode=0700";
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
    Mounts.push_back(folder);
    return true;
  }

  struct TSavedEnv {
    const char* Name;
    std::string Value;
    bool Set;
  };
  fs::path Root, Config;
  std::vector<TSavedEnv> SavedEnv;
  std::vector<fs::path> Mounts;
};

// Settings as text, so a failed comparison names both flags.
std::string Show(const TSettings& settings) {
  return std::string("ShowTrail=") + (settings.ShowTrail ? "true" : "false") +
         " ShowTime=" + (settings.ShowTime ? "true" : "false");
}

TEST_F(SettingsStore, GlobalSettingsAreFalseUntilLoadedAndAMissingKeyLoadsBothTrue) {
  EXPECT_EQ(Show(Settings), Show({false, false}));
  LoadSettings(Settings);
  EXPECT_EQ(Show(Settings), Show({true, true}));
  EXPECT_FALSE(fs::exists(Config)) << "loading must not create the key";
}

TEST_F(SettingsStore, StoredValuesLoadAsTrueWhenNonZeroAndSaveBackAsOneOrZero) {
  WriteFile(StoreFile(),
            Header + Section + Dword("ShowTrail", "00000000") + Dword("ShowTime", "00000005"));
  const TSettings loaded = Load();
  EXPECT_EQ(Show(loaded), Show({false, true}));
  SaveSettings(loaded);
  EXPECT_EQ(ReadFile(StoreFile()),
            Header + Section + Dword("ShowTrail", "00000000") + Dword("ShowTime", "00000001"))
      << "5 is saved back as 1";
  // Names compare without case, as in the registry; CRLF line ends as regedit writes them.
  WriteFile(StoreFile(),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[hkey_current_user\\software\\ombrix\\tundrel]\r\n"
            "\"showtrail\"=dword:FFFFFFFF\r\n\"SHOWTIME\"=dword:00000000\r\n");
  EXPECT_EQ(Show(Load()), Show({true, false}));
}

TEST_F(SettingsStore, FirstFailedReadMakesBothTrue) {
  const std::string cases[] = {
      Dword("ShowTrail", "00000000"),                                     // ShowTime missing
      Dword("ShowTime", "00000000"),                                      // ShowTrail missing
      "\"ShowTrail\"=\"0\"\n" + Dword("ShowTime", "00000000"),            // a string
      Dword("ShowTrail", "00000000") + "\"ShowTime\"=hex:00,00,00,00\n",  // binary data
      Dword("ShowTrail", "000000000") + Dword("ShowTime", "00000000"),    // 9 digits
      Dword("ShowTrail", "0000000") + Dword("ShowTime", "00000000"),      // 7 digits
      Dword("ShowTrail", "0000000g") + Dword("ShowTime", "00000000"),     // not hex
      "\"ShowTrail\"=-\n" + Dword("ShowTime", "00000000"),                // deleted
      "\"ShowTrail\"=dword:00000000\n\"ShowTime\"=dword:0000",            // truncated
  };
  for (const std::string& values : cases) {
    WriteFile(StoreFile(), Header + Section + values);
    EXPECT_EQ(Show(Load()), Show({true, true})) << values;
  }
  // Values of another key do not count.
  WriteFile(StoreFile(), Header + "[HKEY_CURRENT_USER\\Software\\Other]\n" +
                             Dword("ShowTrail", "00000000") + Dword("ShowTime", "00000000"));
  EXPECT_EQ(Show(Load()), Show({true, true}));
}

TEST_F(SettingsStore, SaveCreatesFoldersAndFileWithTheExportText) {
  Config = Root / "deep" / "config";
  setenv("XDG_CONFIG_HOME", Config.c_str(), 1);
  EXPECT_EQ(SaveError({true, false}), "");
  EXPECT_EQ(ReadFile(StoreFile()),
            Header + Section + Dword("ShowTrail", "00000001") + Dword("ShowTime", "00000000"));
  EXPECT_EQ(std::distance(fs::directory_iterator(StoreFile().parent_path()), {}), 1)
      << "no temporary file is left behind";
  EXPECT_EQ(Show(Load()), Show({true, false}));
}

TEST_F(SettingsStore, SaveKeepsLinesAndValuesItDoesNotKnow) {
  const std::string other =
      "[HKEY_CURRENT_USER\\Software\\Other]\n" + Dword("ShowTrail", "00000007");
  WriteFile(StoreFile(), Header + "; kept comment\n" + other + "\n" + Section +
                             "\"Colour\"=\"blue\"\n\"ShowTrail\"=hex:01,02,\\\n  03,04\n"
                             "\"Blob\"=hex:05,\\\n  06\nsome junk\n" +
                             Dword("ShowTrail", "00000000") + "\n" + other);
  SaveSettings({false, true});
  // The first ShowTrail is replaced (with its continuation line), the later one dropped, and
  // the new ShowTime follows the key's last line.
  EXPECT_EQ(ReadFile(StoreFile()), Header + "; kept comment\n" + other + "\n" + Section +
                                       "\"Colour\"=\"blue\"\n" + Dword("ShowTrail", "00000000") +
                                       "\"Blob\"=hex:05,\\\n  06\nsome junk\n" +
                                       Dword("ShowTime", "00000001") + "\n" + other);
  EXPECT_EQ(Show(Load()), Show({false, true}));

  // A file without the key's section gains one at its end; CRLF line ends stay CRLF.
  WriteFile(StoreFile(), "Windows Registry Editor Version 5.00\r\n\r\n; notes\r\n");
  SaveSettings({true, true});
  EXPECT_EQ(ReadFile(StoreFile()),
            "Windows Registry Editor Version 5.00\r\n\r\n; notes\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\r\n"
            "\"ShowTrail\"=dword:00000001\r\n\"ShowTime\"=dword:00000001\r\n");
}

TEST_F(SettingsStore, FilesFromWindowsReadAndSaveInTheirOwnEncodingAndLineEnds) {
  // Another key and a value with Cyrillic data around ours; every line but ours stays as it was.
  const auto file = [](const char16_t* header, const char16_t* end, const char16_t* trail,
                       const char16_t* time) {
    const std::u16string e = end;
    return std::u16string(header) + e + e + u"[HKEY_CURRENT_USER\\Software\\Other]" + e +
           u"\"ShowTrail\"=dword:00000001" + e + e +
           u"[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]" + e + u"\"ShowTrail\"=dword:" + trail +
           e + u"\"Name\"=\"Имя\"" + e + u"\"ShowTime\"=dword:" + time + e;
  };
  const std::u16string v5 = u"Windows Registry Editor Version 5.00";
  const std::u16string crlf = u"\r\n";
  // Each case: the file before, and what a save of ShowTrail=1 ShowTime=0 must leave.
  const std::pair<std::string, std::string> cases[] = {
      {Utf16(file(v5.c_str(), u"\r\n", u"00000000", u"00000001")),
       Utf16(file(v5.c_str(), u"\r\n", u"00000001", u"00000000"))},
      {"\xEF\xBB\xBF" + Header + Section + Dword("ShowTrail", "00000000") + "\"Name\"=\"Имя\"\n" +
           Dword("ShowTime", "00000001"),
       "\xEF\xBB\xBF" + Header + Section + Dword("ShowTrail", "00000001") + "\"Name\"=\"Имя\"\n" +
           Dword("ShowTime", "00000000")},
      // REGEDIT4 is in the ANSI code page: "Имя" is C8 EC FF in code page 1251.
      {"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\r\n"
       "\"ShowTrail\"=dword:00000000\r\n\"Name\"=\"\xC8\xEC\xFF\"\r\n\"ShowTime\"=dword:"
       "00000001\r\n",
       "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\r\n"
       "\"ShowTrail\"=dword:00000001\r\n\"Name\"=\"\xC8\xEC\xFF\"\r\n\"ShowTime\"=dword:"
       "00000000\r\n"},
  };
  for (const auto& [before, after] : cases) {
    WriteFile(StoreFile(), before);
    EXPECT_EQ(Show(Load()), Show({false, true})) << before.substr(0, 8);
    EXPECT_EQ(SaveError({true, false}), "") << before.substr(0, 8);
    EXPECT_TRUE(ReadFile(StoreFile()) == after) << before.substr(0, 8);
    EXPECT_EQ(Show(Load()), Show({true, false})) << before.substr(0, 8);
  }
  // An export of an empty key gains our section in UTF-16 with CRLF line ends.
  WriteFile(StoreFile(), Utf16(v5 + crlf + crlf));
  SaveSettings({false, true});
  EXPECT_TRUE(ReadFile(StoreFile()) ==
              Utf16(v5 + crlf + crlf + u"[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\r\n" +
                    u"\"ShowTrail\"=dword:00000000\r\n\"ShowTime\"=dword:00000001\r\n"));
}

TEST_F(SettingsStore, AnAnsiFileTakesNamesInCodePage1251AndRefusesOthersWhole) {
  const std::string before = "REGEDIT4\n\n" + Section;
  WriteFile(StoreFile(), before);
  TRegistryKey key = nullptr;
  ASSERT_EQ(RegistryOpenKey("Software\\Ombrix\\Tundrel", &key), RegistrySuccess);
  // No character is ever written as '?': a name outside the code page fails the write.
  EXPECT_EQ(RegistrySetDwordValue(key, "\xE6\x97\xA5", 1), RegistryWriteFault);  // 日
  EXPECT_TRUE(ReadFile(StoreFile()) == before);
  EXPECT_EQ(RegistrySetDwordValue(key, "Имя", 7), RegistrySuccess);
  EXPECT_TRUE(ReadFile(StoreFile()) == before + "\"\xC8\xEC\xFF\"=dword:00000007\n");
  TRegistryValueType type;
  unsigned char data[RegistryDataSize] = {};
  uint32_t size = 0;
  EXPECT_EQ(RegistryQueryValue(key, "Имя", &type, data, &size), RegistrySuccess);
  EXPECT_TRUE(type == TRegistryValueType::Dword && size == 4 && data[0] == 7);
  RegistryCloseKey(key);
}

TEST_F(SettingsStore, DamagedTextLoadsWhatItCanAndSavesKeepTheDamagedBytes) {
  const std::u16string values =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]"
      u"\r\n\"ShowTrail\"=dword:00000000\r\n\"ShowTime\"=dword:00000000\r\n";
  // A lone surrogate in a UTF-16 line; invalid UTF-8; a byte code page 1251 leaves unassigned.
  const std::string damaged[] = {
      Utf16(values + u"\"A\"=\"") + std::string("\0\xD8", 2) + Utf16(u"\"\r\n").substr(2),
      Header + "; \xC3\x28 \xFF\xFE\n" + Section + Dword("ShowTrail", "00000000") +
          Dword("ShowTime", "00000000"),
      "REGEDIT4\n; \x98\n" + Section + Dword("ShowTrail", "00000000") +
          Dword("ShowTime", "00000000"),
      // A UTF-16 file cut off inside a code unit: the lone last byte is kept at the end.
      Utf16(values) + "\x22",
  };
  for (const std::string& text : damaged) {
    WriteFile(StoreFile(), text);
    EXPECT_EQ(Show(Load()), Show({false, false})) << text.substr(0, 8);
    EXPECT_EQ(SaveError({false, false}), "") << text.substr(0, 8);
    EXPECT_TRUE(ReadFile(StoreFile()) == text) << "saving the same values changes no byte";
    EXPECT_EQ(SaveError({true, true}), "");
    EXPECT_EQ(Show(Load()), Show({true, true})) << text.substr(0, 8);
  }
  // A NUL character makes UTF-16 as unreadable as it makes any other file.
  const std::string nul = Utf16(values) + std::string("\0\0", 2);
  WriteFile(StoreFile(), nul);
  EXPECT_EQ(Show(Load()), Show({true, true}));
  EXPECT_EQ(SaveError({false, false}), "Failed to set data for 'ShowTrail'");
  EXPECT_TRUE(ReadFile(StoreFile()) == nul);
}

TEST_F(SettingsStore, ALeftoverTemporaryFileIsRemovedAtTheNextSave) {
  const fs::path folder = StoreFile().parent_path();
  WriteFile(folder / ".Tundrel.reg.tmp-a1B2c3", "left by a crash");
  WriteFile(folder / ".Tundrel.reg.tmp-LiVe00", "being written");
  WriteFile(folder / ".Tundrel.reg.backup", "the user's own");
  // A save in progress holds a lock on its temporary file.
  const int live = open((folder / ".Tundrel.reg.tmp-LiVe00").c_str(), O_RDONLY);
  ASSERT_EQ(flock(live, LOCK_EX), 0);
  SaveSettings({true, true});
  close(live);
  EXPECT_FALSE(fs::exists(folder / ".Tundrel.reg.tmp-a1B2c3"));
  EXPECT_TRUE(fs::exists(folder / ".Tundrel.reg.tmp-LiVe00"));
  EXPECT_TRUE(fs::exists(folder / ".Tundrel.reg.backup"));
  SaveSettings({true, true});
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "the backup and the file";
}

TEST_F(SettingsStore, AValueWrittenAfterACutOffHexValueReadsBack) {
  // The file ends inside a hex value's continuation: a new value must not become part of it.
  for (const std::string cut : {"\\", "\\\\", "\\\\\r"}) {
    WriteFile(StoreFile(), Header + Section + "\"Other\"=hex:01,02," + cut);
    SaveSettings({false, true});
    EXPECT_EQ(Show(Load()), Show({false, true})) << "cut off with " << cut.size() << " bytes";
  }
}

TEST_F(SettingsStore, SaveThroughASymbolicLinkUpdatesTheLinkedFileAndKeepsItsMode) {
  const fs::path real = Root / "dotfiles" / "tundrel.reg";
  WriteFile(real, Header + Section + Dword("ShowTrail", "00000001"));
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_directories(StoreFile().parent_path());
  fs::create_symlink(real, StoreFile());
  SaveSettings({false, false});
  EXPECT_TRUE(fs::is_symlink(StoreFile()));
  EXPECT_EQ(ReadFile(real),
            Header + Section + Dword("ShowTrail", "00000000") + Dword("ShowTime", "00000000"));
  EXPECT_EQ(fs::status(real).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SettingsStore, AFolderOthersCanWriteIntoIsNeverWrittenNorALinkPlantedThereFollowed) {
  const std::string mine = Header + Section + Dword("ShowTrail", "00000001");
  const fs::path victim = Root / "victim.reg";
  WriteFile(victim, mine);
  fs::create_directories(StoreFile().parent_path());
  fs::permissions(StoreFile().parent_path(), fs::perms::all);
  fs::create_symlink(victim, StoreFile());
  EXPECT_EQ(SaveError({false, false}), "Failed to set data for 'ShowTrail'");
  EXPECT_EQ(ReadFile(victim), mine);
  fs::remove(StoreFile());
  EXPECT_EQ(SaveError({false, false}), "Failed to set data for 'ShowTrail'");
  EXPECT_TRUE(fs::is_empty(StoreFile().parent_path())) << "no file is created there either";
}

TEST_F(SettingsStore, DamagedFilesLoadDefaultsAndAreNeverOverwritten) {
  const std::string zeros =
      Header + Section + Dword("ShowTrail", "00000000") + Dword("ShowTime", "00000000");
  // Valid values followed by NUL bytes, or by enough comment to pass the 1 MiB cap.
  const std::string unreadable[] = {zeros + std::string("\0\0\x01\xff", 4),
                                    zeros + "; " + std::string(1 << 20, 'x') + "\n"};
  for (const std::string& text : unreadable) {
    WriteFile(StoreFile(), text);
    EXPECT_EQ(Show(Load()), Show({true, true}));
    EXPECT_EQ(SaveError({false, false}), "Failed to set data for 'ShowTrail'");
    EXPECT_TRUE(ReadFile(StoreFile()) == text) << "a file we cannot read is left as it was";
  }
  // Garbage text is merely not a value: it loads defaults and a save keeps it.
  WriteFile(StoreFile(), "\x89PNG garbage ]]] [[[\n\"\"\"=\n=dword:00000000\n");
  EXPECT_EQ(Show(Load()), Show({true, true}));
  SaveSettings({false, false});
  EXPECT_EQ(Show(Load()), Show({false, false}));
  // Neither a folder nor a FIFO in the file's place may crash or block.
  fs::remove(StoreFile());
  ASSERT_EQ(mkfifo(StoreFile().c_str(), 0600), 0);
  EXPECT_EQ(Show(Load()), Show({true, true}));
  fs::remove(StoreFile());
  fs::create_directory(StoreFile());
  EXPECT_EQ(Show(Load()), Show({true, true}));
  EXPECT_EQ(SaveError({false, false}), "Failed to set data for 'ShowTrail'");
}

TEST_F(SettingsStore, NoConfigurationFolderLoadsDefaultsAndRefusesToSave) {
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("HOME");
  EXPECT_EQ(Show(Load()), Show({true, true}));
  EXPECT_EQ(SaveError({false, false}), "Failed to set data for 'ShowTrail'");
  // A relative XDG_CONFIG_HOME is ignored in favour of $HOME/.config.
  setenv("XDG_CONFIG_HOME", "relative", 1);
  setenv("HOME", (Root / "home").c_str(), 1);
  SaveSettings({false, false});
  Config = Root / "home" / ".config";
  EXPECT_TRUE(fs::exists(StoreFile()));
  EXPECT_FALSE(fs::exists("relative/Ombrix"));
}

TEST_F(SettingsStore, FullDiskRaisesAndKeepsTheOldFile) {
  if (!MountTmpfs(Config, "size=64k")) GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
  const std::string old =
      Header + Section + Dword("ShowTrail", "00000000") + Dword("ShowTime", "00000000");
  WriteFile(StoreFile(), old);
  {
    std::ofstream filler(Config / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size()) && filler.flush()) {
    }
  }
  EXPECT_EQ(SaveError({true, true}), "Failed to set data for 'ShowTrail'");
  EXPECT_TRUE(ReadFile(StoreFile()) == old);
  EXPECT_EQ(std::distance(fs::directory_iterator(StoreFile().parent_path()), {}), 1);
}

TEST_F(SettingsStore, ReadOnlyFolderRaisesAndKeepsTheOldFile) {
  const std::string old = Header + Section + Dword("ShowTrail", "00000000");
  // The file stays writable, its folder does not: as root, a writable file bound into a
  // read-only tmpfs; otherwise the folder's permission bits suffice.
  const fs::path writable = Root / "writable.reg";
  WriteFile(writable, old);
  WriteFile(StoreFile(), old);
  if (geteuid() == 0) {
    if (!MountTmpfs(StoreFile().parent_path(), "size=64k")) GTEST_SKIP() << "cannot mount";
    WriteFile(StoreFile(), "");
    ASSERT_EQ(
        mount(nullptr, StoreFile().parent_path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
        0);
    ASSERT_EQ(mount(writable.c_str(), StoreFile().c_str(), nullptr, MS_BIND, nullptr), 0);
    Mounts.push_back(StoreFile());
  } else {
    fs::copy_file(writable, StoreFile(), fs::copy_options::overwrite_existing);
    fs::permissions(StoreFile().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
  }
  EXPECT_EQ(SaveError({true, true}), "Failed to set data for 'ShowTrail'");
  EXPECT_TRUE(ReadFile(StoreFile()) == old);
  if (geteuid() != 0) fs::permissions(StoreFile().parent_path(), fs::perms::owner_all);
}

TEST_F(SettingsStore, ReadOnlyStoreLoadsDefaultsAndRefusesToSave) {
  if (!MountTmpfs(Config, "size=64k")) GTEST_SKIP() << "cannot mount a tmpfs (needs root)";
  const std::string old =
      Header + Section + Dword("ShowTrail", "00000000") + Dword("ShowTime", "00000000");
  WriteFile(StoreFile(), old);
  ASSERT_EQ(mount(nullptr, Config.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  // The key does not open with full access: it loads as missing, and a save is an error.
  EXPECT_EQ(Show(Load()), Show({true, true}));
  EXPECT_EQ(SaveError({true, true}), "Failed to set data for 'ShowTrail'");
  EXPECT_TRUE(ReadFile(StoreFile()) == old);
}

TEST_F(SettingsStore, FailedSecondWriteKeepsTheFirstValue) {
  // A file size limit just large enough for the first write makes the second one fail.
  const std::string old = Header + Section + Dword("ShowTrail", "00000001");
  WriteFile(StoreFile(), old);
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limit = saved;
  limit.rlim_cur = old.size();
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const std::string error = SaveError({false, true});
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(error, "Failed to set data for 'ShowTime'");
  EXPECT_EQ(ReadFile(StoreFile()), Header + Section + Dword("ShowTrail", "00000000"));
}

}  // namespace
