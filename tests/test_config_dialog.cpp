// The settings dialog's handlers against a recording window: what the boxes show after
// FormCreate, what OK and Cancel leave in the settings file, and a failed save that keeps the
// dialog open; the idle watcher's line of GNOME sessions against a recording session, and the
// autostart entry behind it with the watcher's own delay and command line; the live wallpaper's
// line against a recording system, and Linux's entry and start behind it. Each case has its own
// configuration folder. Beside them, the Windows window's layout at each DPI.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "autostart.h"
#include "autostart_entry.h"
#include "dpi_rules.h"
#include "fConfig.h"
#include "fConfig_dialog.h"
#include "idle_rules.h"
#include "live_wallpaper_gio.h"
#include "user_folders.h"

namespace fs = std::filesystem;

namespace {

const std::string StoreText =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\Software\\Ombrix\\Tundrel]\n";

std::string StoreWith(const char* showTrail, const char* showTime) {
  return StoreText + "\"ShowTrail\"=dword:" + showTrail + "\n\"ShowTime\"=dword:" + showTime + "\n";
}

// A window that records what the handlers do to it. Boxes start unchecked, as designed; a
// user's click changes the box and then reports it, as a backend does.
class TRecordingView : public TConfigView {
 public:
  bool IsChecked(TConfigCheckBox box) const override { return Boxes[Index(box)]; }
  void SetChecked(TConfigCheckBox box, bool checked) override {
    Boxes[Index(box)] = checked;
    const char* const names[] = {"cbShowTime", "cbShowTrails", "cbLiveWallpaper"};
    Log.push_back(std::string(names[Index(box)]) + (checked ? " checked" : " unchecked"));
  }
  void Close() override { ++Closes; }
  void ShowError(const std::string& caption, const std::string& text) override {
    Errors.push_back(caption + ": " + text);
  }
  TIdleStart IdleLine() const override { return Idle; }
  void SetIdleNote(const std::string& note) override { Note = note; }
  void SetIdleLine(const TIdleStart& start) override {
    Idle = start;
    Log.push_back("idle " + std::string(start.Enabled ? "on " : "off ") +
                  std::to_string(start.Minutes));
  }

  void UserClicks(TfrmConfig& form, TConfigCheckBox box) {
    Boxes[Index(box)] = !Boxes[Index(box)];
    if (box == TConfigCheckBox::cbShowTime) {
      form.cbShowTimeClick();
    } else if (box == TConfigCheckBox::cbShowTrails) {
      form.cbShowTrailsClick();
    }
  }
  std::string Shown() const {
    return std::string("time=") + (Boxes[0] ? "on" : "off") +
           " trails=" + (Boxes[1] ? "on" : "off");
  }

  std::vector<std::string> Log;
  std::vector<std::string> Errors;
  int Closes = 0;
  TIdleStart Idle{false, 0};
  std::string Note;

 private:
  static int Index(TConfigCheckBox box) { return static_cast<int>(box); }
  bool Boxes[3] = {false, false, false};
};

// A session whose autostart entry is kept in memory and whose watcher is only logged.
class TRecordingIdleWatcher : public TIdleWatcherSystem {
 public:
  unsigned GnomeIdleDelay() const override { return IdleDelay; }
  std::string WatcherPath() const override { return "/opt/tundrel/tundrel-idle"; }
  bool ReadEntry(TAutostartEntry& entry) const override {
    if (HasEntry) entry = Entry;
    return HasEntry;
  }
  bool WriteEntry(const TAutostartEntry& entry, std::string& reason) override {
    reason = WriteFailure;
    if (!reason.empty()) return false;
    Entry = entry;
    HasEntry = true;
    ++Writes;
    return true;
  }
  bool StartWatcher(const std::string& program, unsigned seconds, std::string& reason) override {
    Log.push_back("start " + program + " --after " + std::to_string(seconds));
    reason = StartFailure;
    Runs = StartFailure.empty();
    return Runs;
  }
  void StopWatcher() override {
    Log.push_back("stop");
    Runs = false;
  }
  bool WatcherRuns() const override { return Runs; }

  unsigned IdleDelay = 300;
  bool Runs = false;
  std::string WriteFailure, StartFailure;
  std::vector<std::string> Log;
  bool HasEntry = false;
  TAutostartEntry Entry;
  int Writes = 0;
};

// A system whose wallpaper's start at login is a flag and whose wallpaper is only logged.
class TRecordingWallpaper : public TWallpaperSystem {
 public:
  bool StartsAtLogin() const override { return AtLogin; }
  bool SetStartAtLogin(bool start, std::string& failure) override {
    failure = LoginFailure;
    if (failure.empty()) AtLogin = start;
    Log.push_back(failure.empty() ? (start ? "login on" : "login off") : "login failed");
    return failure.empty();
  }
  bool StartWallpaper(std::string& failure) override {
    Log.push_back("start");
    failure = StartFailure;
    return failure.empty();
  }
  void StopWallpaper() override { Log.push_back("stop"); }

  bool AtLogin = false;
  std::string LoginFailure, StartFailure;
  std::vector<std::string> Log;
};

class ConfigDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tundrel-dialog-XXXXXX").string();
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    Root = pattern;
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    HadConfigHome = saved != nullptr;
    if (saved) SavedConfigHome = saved;
    setenv("XDG_CONFIG_HOME", Root.c_str(), 1);
    Settings = TSettings{false, false};
  }
  void TearDown() override {
    if (HadConfigHome) {
      setenv("XDG_CONFIG_HOME", SavedConfigHome.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ignored;
    fs::remove_all(Root, ignored);
  }

  fs::path StoreFile() const { return Root / "Ombrix" / "Tundrel.reg"; }
  void WriteStore(const std::string& text) const {
    fs::create_directories(StoreFile().parent_path());
    std::ofstream(StoreFile(), std::ios::binary) << text;
  }
  std::string ReadStore() const {
    std::ifstream in(StoreFile(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string EntryFile() const { return (Root / "autostart" / "tundrel-idle.desktop").string(); }

  fs::path Root;
  std::string SavedConfigHome;
  bool HadConfigHome = false;
  TRecordingView View;
  TfrmConfig Form{View, "ScreenSaver"};
};

TEST_F(ConfigDialog, BoxesShowTheStoreShowTimeFirstAndOnlyChangedBoxesAreSet) {
  Form.FormCreate();
  EXPECT_EQ(View.Shown(), "time=on trails=on") << "no store: both checked";
  EXPECT_EQ(View.Log, (std::vector<std::string>{"cbShowTime checked", "cbShowTrails checked"}));
  EXPECT_FALSE(fs::exists(StoreFile())) << "opening the dialog writes nothing";

  TRecordingView fresh;
  TfrmConfig form(fresh, "ScreenSaver");
  WriteStore(StoreWith("00000001", "00000000"));
  form.FormCreate();
  EXPECT_EQ(fresh.Shown(), "time=off trails=on");
  EXPECT_EQ(fresh.Log, std::vector<std::string>{"cbShowTrails checked"});
  EXPECT_FALSE(Settings.ShowTime);
  EXPECT_TRUE(Settings.ShowTrail);
  EXPECT_EQ(fresh.Closes, 0);
}

TEST_F(ConfigDialog, OKSavesTheBoxesAndCloses) {
  Form.FormCreate();
  View.UserClicks(Form, TConfigCheckBox::cbShowTime);
  EXPECT_FALSE(Settings.ShowTime);
  EXPECT_TRUE(Settings.ShowTrail) << "each box edits its own setting";
  Form.OKClick();
  EXPECT_EQ(ReadStore(), StoreWith("00000001", "00000000"));
  EXPECT_EQ(View.Closes, 1);
  EXPECT_TRUE(View.Errors.empty());
  EXPECT_FALSE(fs::exists(Root / "autostart")) << "without the watcher's line no entry is written";

  // "Show trails" edits ShowTrail; a value stored as 5 is written back as 1.
  WriteStore(StoreWith("00000001", "00000005"));
  Form.FormCreate();
  View.UserClicks(Form, TConfigCheckBox::cbShowTrails);
  Form.OKClick();
  EXPECT_EQ(ReadStore(), StoreWith("00000000", "00000001"));
}

TEST_F(ConfigDialog, CancelClosesWithoutSavingWhatWasToggled) {
  Form.FormCreate();
  View.UserClicks(Form, TConfigCheckBox::cbShowTime);
  View.UserClicks(Form, TConfigCheckBox::cbShowTrails);
  Form.CancelClick();
  EXPECT_EQ(View.Closes, 1);
  EXPECT_FALSE(fs::exists(StoreFile())) << "no store is created";

  const std::string stored = StoreWith("00000000", "00000001");
  WriteStore(stored);
  Form.FormCreate();
  View.UserClicks(Form, TConfigCheckBox::cbShowTrails);
  Form.CancelClick();
  EXPECT_EQ(ReadStore(), stored);
}

TEST(ConfigDialogLayout, OnWindowsTheDesignScalesWithTheDpiAndEveryControlStaysInside) {
  const TSettingsDialogLayout large = SettingsDialogLayout(144);  // halves round up, as MulDiv
  const TScreenRect& cancel = large.Controls[3];
  EXPECT_TRUE(large.ClientWidth == 441 && large.ClientHeight == 227);
  EXPECT_TRUE(cancel.Left == 312 && cancel.Top == 168 && cancel.Width == 113 &&
              cancel.Height == 38);
  for (int dpi : {0, 120, 144, 168, 192, 240, 288}) {
    const TSettingsDialogLayout l = SettingsDialogLayout(dpi);
    for (const TScreenRect& r : l.Controls)
      EXPECT_TRUE(r.Left > 0 && r.Top > 0 && r.Left + r.Width < l.ClientWidth &&
                  r.Top + r.Height < l.ClientHeight)
          << dpi;
    // The boxes one above the other and above the buttons, OK left of Cancel.
    const TScreenRect* c = l.Controls;
    EXPECT_TRUE(c[0].Top + c[0].Height < c[1].Top && c[1].Top + c[1].Height < c[2].Top &&
                c[2].Left + c[2].Width < c[3].Left)
        << dpi;
    // The live wallpaper's box between the boxes and the buttons.
    const TScreenRect& w = l.WallpaperBox;
    EXPECT_TRUE(c[1].Top + c[1].Height < w.Top && w.Top + w.Height < c[2].Top) << dpi;
  }
}

TEST_F(ConfigDialog, FailedSaveShowsTheErrorUnderTheApplicationTitleAndStaysOpen) {
  Form.FormCreate();
  View.UserClicks(Form, TConfigCheckBox::cbShowTrails);
  // A folder where the settings file belongs makes every write fail.
  fs::create_directories(StoreFile());
  Form.OKClick();
  EXPECT_EQ(View.Errors,
            std::vector<std::string>{"ScreenSaver: Failed to set data for 'ShowTrail'"});
  EXPECT_EQ(View.Closes, 0);

  // The dialog keeps the user's choice: once the store is writable, OK saves it and closes.
  fs::remove(StoreFile());
  Form.OKClick();
  EXPECT_EQ(View.Errors.size(), 1u);
  EXPECT_EQ(View.Closes, 1);
  EXPECT_EQ(ReadStore(), StoreWith("00000000", "00000001"));
}

TEST(IdleWatcher, StartsAMinuteBeforeGnomeBlanksAndNeverSoonerThanAMinute) {
  EXPECT_EQ(DefaultIdleSeconds(300), 240u);  // GNOME's default
  EXPECT_EQ(DefaultIdleSeconds(900), 840u);
  EXPECT_EQ(DefaultIdleSeconds(90), 60u);
  EXPECT_EQ(DefaultIdleSeconds(60), 60u);
  EXPECT_EQ(DefaultIdleSeconds(30), 60u);  // after the blank, which then comes over it
  EXPECT_EQ(DefaultIdleSeconds(0), 300u);  // GNOME never blanks
}

TEST(IdleWatcher, CommandLineTakesADelayAndASaverAndRefusesTheRest) {
  TIdleOptions options = ParseIdleOptions({"--after", "3", "--saver", "/opt/t/tundrel"});
  EXPECT_TRUE(options.Error.empty());
  EXPECT_EQ(options.AfterSeconds, 3u);
  EXPECT_EQ(options.SaverPath, "/opt/t/tundrel");
  EXPECT_EQ(ParseIdleOptions({}).AfterSeconds, 0u);
  EXPECT_TRUE(ParseIdleOptions({"--help"}).Help);
  using Args = std::vector<std::string>;
  for (const Args& bad : {Args{"--after"}, Args{"--after", "0"}, Args{"--after", "86401"},
                          Args{"--after", "-5"}, Args{"--after", "3s"}, Args{"--saver"},
                          Args{"--saver", ""}, Args{"/s"}, Args{"--after", "99999999999"}})
    EXPECT_FALSE(ParseIdleOptions(bad).Error.empty()) << bad.back();
}

TEST(AutostartEntry, GnomeSessionsOnlyAndTheUsersOwnFolder) {
  for (const char* gnome : {"GNOME", "ubuntu:GNOME", "GNOME-Classic:GNOME"})
    EXPECT_TRUE(IsGnomeDesktop(gnome)) << gnome;
  for (const char* other : {"KDE", "GNOME-Flashback", "X-Cinnamon:gnome", "", "ubuntu:"})
    EXPECT_FALSE(IsGnomeDesktop(other)) << other;
  EXPECT_FALSE(IsGnomeDesktop(nullptr));

  // The one rule of the configuration folder, the settings store's too.
  EXPECT_EQ(ConfigHomeOf("/c", "/h"), "/c");
  EXPECT_EQ(ConfigHomeOf("c", "/h"), "/h/.config");
  EXPECT_EQ(ConfigHomeOf(nullptr, "h"), "");
}

TEST_F(ConfigDialog, WrittenEntryReadsBackAsWrittenAsGlibReadsIt) {
  // Quoted and escaped as desktop entries ask: GLib reads this Exec back as the path, then
  // --after 180.
  const std::string odd = R"(/home/a b/"x" $HOME 100%\--after 9/tundrel-idle)";
  const TAutostartFile file{"t.desktop", "T", "C", "L"};
  std::string reason;
  ASSERT_TRUE(WriteAutostartEntry(file, IdleWatcherEntry(odd, TIdleStart{true, 3}), reason))
      << reason;
  std::ifstream in(Root / "autostart" / "t.desktop");
  const std::string quoted(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(quoted.find(
                R"(Exec="/home/a b/\\"x\\" \\$HOME 100%%\\\\--after 9/tundrel-idle" --after 180)"),
            std::string::npos)
      << quoted;
  TAutostartEntry entry;
  ASSERT_TRUE(ReadAutostartEntry("t.desktop", entry));
  EXPECT_EQ(entry.Exec, (std::vector<std::string>{odd, "--after", "180"}));
  EXPECT_FALSE(entry.Enabled) << "its TryExec names no program";
  for (const TIdleStart start :
       {TIdleStart{true, 1}, TIdleStart{false, 25}, TIdleStart{true, 1440}}) {
    ASSERT_TRUE(WriteAutostartEntry(file, IdleWatcherEntry("/bin/sh", start), reason));
    ASSERT_TRUE(ReadAutostartEntry("t.desktop", entry));
    const TIdleStart read = IdleStartOf(entry, 5);
    EXPECT_EQ(read.Enabled, start.Enabled);
    EXPECT_EQ(read.Minutes, start.Minutes);
  }
  EXPECT_EQ(IdleWatcherEntry("/bin/sh", TIdleStart{true, 5000}).Exec.back(), "86400");

  // A folder others can write into may hold their link: nothing is written there.
  fs::permissions(Root / "autostart", fs::perms::all);
  EXPECT_FALSE(WriteAutostartEntry(file, IdleWatcherEntry("/bin/sh", {}), reason));
  EXPECT_EQ(reason, "'" + (Root / "autostart" / "t.desktop").string() +
                        "': others can write into the folder '" + (Root / "autostart").string() +
                        "'");
}

TEST_F(ConfigDialog, HandWrittenEntriesAndTheDefault) {
  const auto read = [this](const std::string& lines) {
    const fs::path path = Root / "hand.desktop";
    std::ofstream(path) << "[Desktop Entry]\n" + lines;
    TAutostartEntry entry;
    if (!ReadAutostartFile(path.string(), entry)) return std::string("none");
    const TIdleStart start = IdleStartOf(entry, 4);
    return std::string(start.Enabled ? "on " : "off ") + std::to_string(start.Minutes);
  };
  EXPECT_EQ(read("Exec=/usr/bin/tundrel-idle\n"), "on 4") << "no --after: GNOME's delay";
  EXPECT_EQ(read("Hidden = true\nExec=tundrel-idle --after 90\n"), "off 2");
  EXPECT_EQ(read("X-GNOME-Autostart-enabled=false\r\nExec=tundrel-idle --after 29\r\n"), "off 1");
  // What the watcher refuses at login (status 2) starts nothing.
  EXPECT_EQ(read("Exec=tundrel-idle --after 86400\n"), "on 1440");
  EXPECT_EQ(read("Exec=tundrel-idle --after 100000\n"), "off 4");
  EXPECT_EQ(read("Exec=tundrel-idle --after soon\n"), "off 4");
  EXPECT_EQ(read("Exec=tundrel-idle\n[Desktop Action off]\nHidden=true\n"), "on 4")
      << "only the [Desktop Entry] group counts";
  EXPECT_EQ(read("Exec='tundrel-idle\n"), "off 4") << "a quote left open runs nothing";
  EXPECT_EQ(read("Exec=tundrel-idle\\s--after\\s%%90\n"), "off 4") << "'%90' is no number";
  EXPECT_EQ(read("Exec=\"tundrel-idle\"\\s--after\\s90\n"), "on 2") << "the value's escapes";

  // A minute before GNOME blanks, at least one; 5 where it never blanks.
  EXPECT_EQ(DefaultIdleStart(60).Minutes, 1u);
  EXPECT_EQ(DefaultIdleStart(0).Minutes, 5u);
}

TEST_F(ConfigDialog, IdleLineShowsWhatGnomeFollowsAndOKMakesTheSessionMatchIt) {
  TRecordingIdleWatcher session;
  session.IdleDelay = 600;
  TfrmConfig form(View, "ScreenSaver", &session);
  form.FormCreate();
  EXPECT_EQ(View.Log.back(), "idle off 9") << "no entry anywhere: nothing starts the watcher";
  EXPECT_EQ(View.Note, "");

  // The system's entry, without --after, while no watcher runs (it was never started).
  session.HasEntry = true;
  session.Entry = TAutostartEntry{true, {"tundrel-idle"}};
  form.FormCreate();
  EXPECT_EQ(View.Log.back(), "idle on 9");
  EXPECT_EQ(View.Note, "Not running in this session: OK starts it");
  View.Idle.Enabled = false;
  form.IdleLineChanged();
  EXPECT_EQ(View.Note, "") << "the note follows the line";
  View.Idle.Enabled = true;
  form.OKClick();
  EXPECT_EQ(session.Log, std::vector<std::string>{"start /opt/tundrel/tundrel-idle --after 540"});
  EXPECT_EQ(session.Writes, 0) << "the line as shown rewrites nothing";

  session.Entry = TAutostartEntry{false, {"tundrel-idle", "--after", "180"}};
  form.FormCreate();
  EXPECT_EQ(View.Log.back(), "idle off 3");
  EXPECT_EQ(View.Note, "Running in this session: OK ends it");
  form.OKClick();
  EXPECT_EQ(session.Log.back(), "stop");
  form.FormCreate();
  form.OKClick();
  EXPECT_EQ(session.Log.size(), 2u) << "off and not running: OK starts and stops nothing";
  EXPECT_EQ(session.Writes, 0);
}

TEST_F(ConfigDialog, IdleLineAtOrPastGnomesBlankSaysItNeverShows) {
  TRecordingIdleWatcher session;
  session.HasEntry = session.Runs = true;
  session.Entry = TAutostartEntry{true, {"tundrel-idle", "--after", "600"}};
  TfrmConfig form(View, "ScreenSaver", &session);
  form.FormCreate();
  EXPECT_EQ(View.Note, "Never shows: GNOME blanks the screen after 5 min");
  View.Idle.Minutes = 4;
  form.IdleLineChanged();
  EXPECT_EQ(View.Note, "");
  session.IdleDelay = 90;
  form.FormCreate();
  EXPECT_EQ(View.Note, "Never shows: GNOME blanks the screen after 90 s");
  session.IdleDelay = 0;  // GNOME never blanks
  form.FormCreate();
  EXPECT_EQ(View.Note, "");
}

TEST_F(ConfigDialog, OKWritesTheEntryThenStartsOrStopsTheWatcherAndCancelDoesNeither) {
  TRecordingIdleWatcher session;
  TfrmConfig form(View, "ScreenSaver", &session);
  form.FormCreate();
  View.Idle = TIdleStart{true, 2};
  form.OKClick();
  EXPECT_TRUE(session.Entry.Enabled);
  EXPECT_EQ(session.Entry.Exec,
            (std::vector<std::string>{"/opt/tundrel/tundrel-idle", "--after", "120"}));
  EXPECT_EQ(ReadStore(), StoreWith("00000001", "00000001")) << "the settings are saved too";
  EXPECT_EQ(View.Closes, 1);

  View.Idle = TIdleStart{false, 2};
  form.OKClick();
  EXPECT_FALSE(session.Entry.Enabled);
  EXPECT_EQ(session.Log,
            (std::vector<std::string>{"start /opt/tundrel/tundrel-idle --after 120", "stop"}));

  View.Idle = TIdleStart{true, 30};
  form.CancelClick();
  EXPECT_FALSE(session.Entry.Enabled) << "Cancel writes nothing";
  EXPECT_EQ(session.Log.size(), 2u) << "and starts nothing";
}

TEST_F(ConfigDialog, FailedEntryWriteOrStartIsShownAndTheDialogStaysOpen) {
  TRecordingIdleWatcher session;
  session.WriteFailure = "'" + EntryFile() + "': Read-only file system";
  TfrmConfig form(View, "ScreenSaver", &session);
  form.FormCreate();
  View.Idle = TIdleStart{true, 3};
  form.OKClick();
  EXPECT_EQ(View.Errors,
            std::vector<std::string>{"ScreenSaver: Failed to write the autostart entry '" +
                                     EntryFile() + "': Read-only file system"});
  EXPECT_TRUE(session.Log.empty()) << "no watcher without its entry";

  session.WriteFailure.clear();
  session.StartFailure = "No such file or directory";
  form.OKClick();
  EXPECT_EQ(View.Errors.back(),
            "ScreenSaver: Failed to start the idle watcher "
            "'/opt/tundrel/tundrel-idle': No such file or directory");
  EXPECT_EQ(View.Closes, 0);
}

TEST_F(ConfigDialog, WallpaperBoxShowsItsStartAndOKStartsOrEndsItOnlyWhereAsked) {
  TRecordingWallpaper system;
  TfrmConfig form(View, "ScreenSaver", nullptr, &system);
  form.FormCreate();
  View.UserClicks(form, TConfigCheckBox::cbLiveWallpaper);
  form.CancelClick();
  EXPECT_TRUE(system.Log.empty()) << "Cancel neither writes nor starts";
  form.FormCreate();
  EXPECT_EQ(View.Log.back(), "cbLiveWallpaper unchecked");
  form.OKClick();
  EXPECT_TRUE(system.Log.empty()) << "unchecked as shown: a wallpaper of a terminal's stays";

  View.UserClicks(form, TConfigCheckBox::cbLiveWallpaper);
  form.OKClick();
  EXPECT_EQ(system.Log, (std::vector<std::string>{"login on", "start"}));
  EXPECT_EQ(ReadStore(), StoreWith("00000001", "00000001")) << "the settings are saved too";
  form.FormCreate();
  EXPECT_EQ(View.Log.back(), "cbLiveWallpaper checked");
  form.OKClick();
  EXPECT_EQ(system.Log.back(), "start") << "checked as shown: started, the entry left alone";
  View.UserClicks(form, TConfigCheckBox::cbLiveWallpaper);
  form.OKClick();
  EXPECT_EQ(system.Log,
            (std::vector<std::string>{"login on", "start", "start", "login off", "stop"}));
  EXPECT_EQ(View.Closes, 5);

  // Failures are shown and keep the dialog open; nothing starts without its start at login.
  system.LoginFailure = "Failed to write the autostart entry 'x': No space left on device";
  form.FormCreate();
  View.UserClicks(form, TConfigCheckBox::cbLiveWallpaper);
  form.OKClick();
  EXPECT_EQ(system.Log.back(), "login failed");
  const std::string loginFailure = "ScreenSaver: " + system.LoginFailure;
  system.LoginFailure.clear();
  system.StartFailure = "Failed to start the live wallpaper '/t': it ended at once with status 1";
  form.OKClick();
  EXPECT_EQ(View.Errors,
            (std::vector<std::string>{loginFailure, "ScreenSaver: " + system.StartFailure}));
  EXPECT_EQ(View.Closes, 5);
}

TEST_F(ConfigDialog, WallpaperEntryRunsTheSaverWithSlashWOnEveryDesktopAndAFailedStartIsShown) {
  // A saver by a path with a blank, ending with the status in the file beside it.
  const fs::path saver = Root / "a b" / "tundrel";
  fs::create_directories(saver.parent_path());
  std::ofstream(saver) << "#!/bin/sh\nexit $(cat \"$0.status\")\n";
  fs::permissions(saver, fs::perms::owner_all);
  TGioLiveWallpaper wallpaper(saver.string());
  const fs::path file = Root / "autostart" / "tundrel-wallpaper.desktop";
  std::string failure;
  EXPECT_FALSE(wallpaper.StartsAtLogin());
  ASSERT_TRUE(wallpaper.SetStartAtLogin(true, failure)) << failure;
  std::ifstream in(file);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(text.find("\nExec=\"" + saver.string() + "\" /w\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("OnlyShowIn"), std::string::npos) << text;
  EXPECT_TRUE(wallpaper.StartsAtLogin());
  ASSERT_TRUE(wallpaper.SetStartAtLogin(false, failure)) << failure;
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(wallpaper.SetStartAtLogin(false, failure)) << "no entry to take away";

  // A folder others can write into is not the user's: neither written nor emptied.
  fs::permissions(Root / "autostart", fs::perms::all);
  EXPECT_FALSE(wallpaper.SetStartAtLogin(true, failure));
  EXPECT_EQ(failure, "Failed to write the autostart entry '" + file.string() +
                         "': others can write into the folder '" + (Root / "autostart").string() +
                         "'");
  std::ofstream(file) << "[Desktop Entry]\nExec=tundrel /w\n";
  EXPECT_FALSE(wallpaper.SetStartAtLogin(false, failure));
  EXPECT_EQ(failure.rfind("Failed to remove the autostart entry '" + file.string() + "': ", 0), 0u)
      << failure;

  // Status 0 at once is a wallpaper that already runs; status 1 a failure.
  std::ofstream(saver.string() + ".status") << "0";
  EXPECT_TRUE(wallpaper.StartWallpaper(failure));
  std::ofstream(saver.string() + ".status") << "1";
  EXPECT_FALSE(wallpaper.StartWallpaper(failure));
  EXPECT_EQ(failure, "Failed to start the live wallpaper '" + saver.string() +
                         "': it ended at once with status 1");
}

}  // namespace
