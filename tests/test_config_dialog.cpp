// The settings dialog's handlers against a recording window: what the boxes show after
// FormCreate, what OK and Cancel leave in the settings file, and a failed save that keeps the
// dialog open. Each case has its own configuration folder. Beside them, the Windows window's
// layout at each DPI.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dpi_rules.h"
#include "fConfig.h"
#include "fConfig_dialog.h"

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
    Log.push_back(std::string(box == TConfigCheckBox::cbShowTime ? "cbShowTime" : "cbShowTrails") +
                  (checked ? " checked" : " unchecked"));
  }
  void Close() override { ++Closes; }
  void ShowError(const std::string& caption, const std::string& text) override {
    Errors.push_back(caption + ": " + text);
  }

  void UserClicks(TfrmConfig& form, TConfigCheckBox box) {
    Boxes[Index(box)] = !Boxes[Index(box)];
    if (box == TConfigCheckBox::cbShowTime) {
      form.cbShowTimeClick();
    } else {
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

 private:
  static int Index(TConfigCheckBox box) { return box == TConfigCheckBox::cbShowTime ? 0 : 1; }
  bool Boxes[2] = {false, false};
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

}  // namespace
