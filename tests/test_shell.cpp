// The saver's decisions, without a display: run modes and drawing targets from the command line,
// the input rules of both kinds of start (Wayland's pointer in the view's pixels), the key facts
// and the screen's density recorded on X, the statistics caption with its number formatting, and
// the energy rules (frame budgets, who can see a window, battery).
#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "dpi_rules.h"
#include "drawer.h"
#include "energy.h"
#include "input_rules.h"
#include "keys/key_codes.h"
#include "run_mode.h"
#include "statistics.h"
#include "views.h"
#include "wayland/wayland_backend.h"
#include "text/cp1251.h"
#include "x11/screen_density.h"

namespace {

using Args = std::vector<std::string>;

// "мс/юнит" in code page 1251.
const std::string Label = "\xEC\xF1/\xFE\xED\xE8\xF2";

TRunMode Mode(const Args& args) {
  return DecideRunMode(args);
}

TFrameStatistics Stats(int32_t frames, double elapsed, int32_t units, double draw, double calc) {
  TFrameStatistics stats;
  stats.FrameCount = frames;
  stats.RateElapsed = elapsed;
  stats.CostElapsed = elapsed;
  stats.Units = units;
  stats.DrawTime = draw;
  stats.CalcTime = calc;
  return stats;
}

}  // namespace

// ---- run modes and targets ----

TEST(RunMode, SettingsSwitchInEverySpellingOpensTheDialog) {
  for (const char* first : {"/c", "/C", "-c", "/c:1234", "xc"})
    EXPECT_EQ(Mode({first}), TRunMode::Settings) << first;
  EXPECT_EQ(Mode({"/c", "extra"}), TRunMode::Settings);
}

TEST(RunMode, PreviewSwitchWithOrWithoutAWindow) {
  EXPECT_EQ(Mode({"/p", "1234"}), TRunMode::Preview);
  EXPECT_EQ(Mode({"/p"}), TRunMode::Preview);
  EXPECT_EQ(Mode({"-P", "1234"}), TRunMode::Preview);
}

TEST(RunMode, AnyOtherFirstArgumentIsTheFullScreenRun) {
  for (const char* first : {"/s", "/S", "/a", "x", "", "/", "--root", "-root", "-window-id",
                            "-window-id=7", "--wallpaper=1", "w"})
    EXPECT_EQ(Mode({first}), TRunMode::FullScreen) << '"' << first << '"';
}

TEST(RunMode, WallpaperSwitchInEverySpellingAndNoDaemonWindow) {
  for (const char* first : {"/w", "/W", "-w", "/w:1", "--wallpaper"}) {
    EXPECT_EQ(Mode({first}), TRunMode::Wallpaper) << first;
    EXPECT_EQ(ChooseTargetWindow({first, "--root"}, "0x42").Kind, TTargetChoice::OwnWindow);
  }
}

TEST(RunMode, NoArgumentsIsTheUserRun) {
  EXPECT_EQ(Mode({}), TRunMode::UserRun);
  EXPECT_EQ(SwitchOf({}), 0);
  EXPECT_EQ(SwitchOf({"/"}), 0);
  EXPECT_EQ(SwitchOf({"/s"}), 'S');
}

TEST(TargetWindow, PreviewDrawsIntoTheDecimalWindowOfTheSecondArgument) {
  const TTargetChoice choice = ChooseTargetWindow({"/p", "1234"}, nullptr);
  EXPECT_EQ(choice.Kind, TTargetChoice::PreviewWindow);
  EXPECT_EQ(choice.Window, 1234u);
  EXPECT_EQ(ChooseTargetWindow({"/P", "4294967295", "--root"}, "0x10").Window, 4294967295u);
}

TEST(TargetWindow, PreviewWithoutASecondArgumentDrawsIntoItsOwnWindow) {
  EXPECT_EQ(ChooseTargetWindow({"/p"}, "0x10").Kind, TTargetChoice::OwnWindow);
}

TEST(TargetWindow, PreviewRefusesAnIdThatIsNotPlainDecimal) {
  for (const char* id :
       {"xyz", "", "-5", "+5", "12 3", "0x10", "12a", "4294967296", "99999999999999999999"}) {
    const TTargetChoice choice = ChooseTargetWindow({"/p", id}, nullptr);
    EXPECT_EQ(choice.Kind, TTargetChoice::Invalid) << '"' << id << '"';
    EXPECT_NE(choice.Error.find("decimal"), std::string::npos);
    EXPECT_EQ(choice.Error.find('\n'), std::string::npos);
  }
}

TEST(TargetWindow, OwnWindowWithoutAHandOver) {
  EXPECT_EQ(ChooseTargetWindow({}, "0x10").Kind, TTargetChoice::OwnWindow);
  EXPECT_EQ(ChooseTargetWindow({"/s"}, "0x10").Kind, TTargetChoice::OwnWindow);
  EXPECT_EQ(ChooseTargetWindow({"/c", "--root"}, "0x10").Kind, TTargetChoice::OwnWindow);
  // Without a daemon (Windows) the hand-over options are plain further arguments.
  EXPECT_EQ(ChooseTargetWindow({"--root"}, "0x10", false).Kind, TTargetChoice::OwnWindow);
  EXPECT_EQ(ChooseTargetWindow({"/s", "--window-id", "xyz"}, nullptr, false).Kind,
            TTargetChoice::OwnWindow);
}

TEST(TargetWindow, RootTakesTheDaemonsWindowFromTheEnvironment) {
  TTargetChoice choice = ChooseTargetWindow({"--root"}, "0x1A2b");
  EXPECT_EQ(choice.Kind, TTargetChoice::HostWindow);
  EXPECT_EQ(choice.Window, 0x1A2Bu);
  choice = ChooseTargetWindow({"-root"}, "4242");
  EXPECT_EQ(choice.Kind, TTargetChoice::HostWindow);
  EXPECT_EQ(choice.Window, 4242u);
  EXPECT_EQ(ChooseTargetWindow({"--root"}, nullptr).Kind, TTargetChoice::RootWindow);
  EXPECT_EQ(ChooseTargetWindow({"--root"}, "").Kind, TTargetChoice::RootWindow);
  EXPECT_EQ(ChooseTargetWindow({"--root"}, "0xZZ").Kind, TTargetChoice::Invalid);
}

TEST(TargetWindow, WindowIdWinsOverRootInEverySpelling) {
  const Args cases[] = {{"--root", "--window-id", "0x20"},
                        {"--window-id", "0x20", "--root"},
                        {"-root", "-window-id", "32"},
                        {"--root", "--window-id=0X20"},
                        {"/s", "-window-id=32"}};
  for (const Args& args : cases) {
    const TTargetChoice choice = ChooseTargetWindow(args, "0x10");
    EXPECT_EQ(choice.Kind, TTargetChoice::HostWindow) << args[0] << ' ' << args[1];
    EXPECT_EQ(choice.Window, 0x20u) << args[0] << ' ' << args[1];
  }
  EXPECT_EQ(ChooseTargetWindow({"--root", "--window-id"}, "0x10").Kind, TTargetChoice::Invalid);
  EXPECT_EQ(ChooseTargetWindow({"--window-id", "0x"}, nullptr).Kind, TTargetChoice::Invalid);
  EXPECT_EQ(ChooseTargetWindow({"--window-id", "0x1FFFFFFFF"}, nullptr).Kind,
            TTargetChoice::Invalid);
}

// ---- XScreenSaver's options under the hand-over ----

namespace {

// The settings a run starts with after the hand-over options of `args` are applied to stored
// ones, the target chosen from the same arguments as start-up chooses it.
TSettings AfterOptions(const Args& args, TSettings stored, const char* env = "0x10") {
  ApplyHandOverOptions(args, ChooseTargetWindow(args, env).Kind, stored);
  return stored;
}

bool Same(const TSettings& a, const TSettings& b) {
  return a.ShowTrail == b.ShowTrail && a.ShowTime == b.ShowTime;
}

}  // namespace

TEST(HandOverOptions, EachCheckBoxOptionOverridesItsStoredSettingOnly) {
  const TSettings on{true, true};
  const TSettings off{false, false};
  EXPECT_TRUE(Same(AfterOptions({"--root", "--no-clock"}, on), TSettings{true, false}));
  EXPECT_TRUE(Same(AfterOptions({"--root", "--no-trails"}, on), TSettings{false, true}));
  EXPECT_TRUE(Same(AfterOptions({"--root", "--clock"}, off), TSettings{false, true}));
  EXPECT_TRUE(Same(AfterOptions({"--root", "--trails"}, off), TSettings{true, false}));
  EXPECT_TRUE(Same(AfterOptions({"--root", "--trails", "--no-clock"}, TSettings{false, true}),
                   TSettings{true, false}));
  EXPECT_TRUE(Same(AfterOptions({"--root"}, TSettings{false, true}), TSettings{false, true}));
}

TEST(HandOverOptions, WorkAnywhereOnTheLineAndTheLastOfAPairWins) {
  const TSettings on{true, true};
  EXPECT_TRUE(Same(AfterOptions({"--no-clock", "--root"}, on), TSettings{true, false}));
  EXPECT_TRUE(Same(AfterOptions({"--root", "--no-clock", "--clock"}, on), TSettings{true, true}));
  EXPECT_TRUE(Same(AfterOptions({"--root", "--clock", "--no-clock"}, on), TSettings{true, false}));
  EXPECT_TRUE(Same(AfterOptions({"--trails", "--root", "--no-trails", "--no-clock"}, on),
                   TSettings{false, false}));
  // The first argument still decides the run mode: an option first is a full-screen run.
  EXPECT_EQ(Mode({"--no-clock", "--root"}), TRunMode::FullScreen);
}

TEST(HandOverOptions, ApplyToEveryWindowTheDaemonHandsOver) {
  const TSettings on{true, true};
  const TSettings expected{false, false};
  // XSCREENSAVER_WINDOW, the root window, and --window-id in its spellings.
  EXPECT_TRUE(Same(AfterOptions({"--root", "--no-trails", "--no-clock"}, on), expected));
  EXPECT_TRUE(Same(AfterOptions({"--root", "--no-trails", "--no-clock"}, on, nullptr), expected));
  EXPECT_TRUE(
      Same(AfterOptions({"--window-id", "0x20", "--no-trails", "--no-clock"}, on), expected));
  EXPECT_TRUE(Same(AfterOptions({"/s", "-window-id=32", "--no-trails", "--no-clock"}, on, nullptr),
                   expected));
}

TEST(HandOverOptions, ChangeNothingOutsideTheHandOver) {
  const TSettings on{true, true};
  const Args lines[] = {{"--no-clock", "--no-trails"},                // own window
                        {"/s", "--no-clock", "--no-trails"},          // the host's full screen
                        {"/p", "1234", "--no-clock", "--no-trails"},  // the preview
                        {"/p", "--root", "--no-clock"},               // a bad preview
                        {"/c", "--root", "--no-clock"}};              // the settings dialog
  for (const Args& args : lines)
    EXPECT_TRUE(Same(AfterOptions(args, on), on)) << args[0] << ' ' << args[1];
  // Start-up refuses a bad XSCREENSAVER_WINDOW; the options of that line change nothing either.
  EXPECT_TRUE(Same(AfterOptions({"--root", "--no-clock"}, on, "0xZZ"), on));
  TSettings settings = on;
  ApplyHandOverOptions({"--no-clock", "--no-trails"}, TTargetChoice::PreviewWindow, settings);
  EXPECT_TRUE(Same(settings, on));
}

TEST(HandOverOptions, OnlyTheExactDoubleDashSpellingsAreOptions) {
  const TSettings on{true, true};
  for (const char* option : {"-no-clock", "-no-trails", "--No-Clock", "--no-clock=1", "--noclock",
                             "no-clock", "--no-clock ", "--no-trail", "--no-time"})
    EXPECT_TRUE(Same(AfterOptions({"--root", option}, on), on)) << option;
  // The single-dash spelling is the settings dialog's switch, never an option.
  EXPECT_EQ(Mode({"-clock", "--root"}), TRunMode::Settings);
}

TEST(HandOverOptions, TheWindowIdAfterWindowIdIsNeverReadAsAnOption) {
  TSettings settings{true, true};
  ApplyHandOverOptions({"--window-id", "--no-clock", "--no-trails"}, TTargetChoice::HostWindow,
                       settings);
  EXPECT_TRUE(Same(settings, TSettings{false, true}));
  settings = {true, true};
  ApplyHandOverOptions({"-root", "-window-id", "--no-clock"}, TTargetChoice::HostWindow, settings);
  EXPECT_TRUE(Same(settings, TSettings{true, true}));
}

// ---- input rules ----

TEST(InputRules, ArgumentModesTolerateFivePixelsOnEachAxisFromTheStartPosition) {
  const TPoint start{100, 200};
  struct Case {
    TPoint Now;
    bool Closes;
  } cases[] = {{{105, 205}, false}, {{95, 195}, false}, {{105, 195}, false}, {{106, 200}, true},
               {{94, 200}, true},   {{100, 206}, true}, {{100, 194}, true},  {{100, 200}, false}};
  for (const Case& c : cases) {
    const TMouseMoveOutcome outcome = MouseMoveOutcome(true, start, c.Now);
    EXPECT_EQ(outcome.Close, c.Closes) << c.Now.X << ',' << c.Now.Y;
    // The start position is kept, so a slow drift is measured in full.
    EXPECT_FALSE(outcome.StorePosition);
    EXPECT_EQ(outcome.AngleChange, 0.0);
  }
}

TEST(InputRules, ExtremeCursorPositionsDoNotOverflowTheToleranceTest) {
  const TPoint low{std::numeric_limits<int32_t>::min(), 0};
  const TPoint high{std::numeric_limits<int32_t>::max(), 0};
  EXPECT_TRUE(MouseMoveOutcome(true, low, high).Close);
  EXPECT_TRUE(MouseMoveOutcome(true, high, low).Close);
}

TEST(InputRules, UserRunTurnsTheCameraOneRadianPer60PixelsAndNeverCloses) {
  TMouseMoveOutcome outcome = MouseMoveOutcome(false, {100, 0}, {160, 500});
  EXPECT_FALSE(outcome.Close);
  EXPECT_TRUE(outcome.StorePosition);
  EXPECT_DOUBLE_EQ(outcome.AngleChange, -1.0);  // moving right turns the angle down
  outcome = MouseMoveOutcome(false, {100, 0}, {70, 0});
  EXPECT_DOUBLE_EQ(outcome.AngleChange, 0.5);
  EXPECT_FALSE(MouseMoveOutcome(false, {0, 0}, {3000, 3000}).Close);
}

// Wayland gives pointer positions in surface units; the form gets the pixel of the view they fall
// in, so a hand that sweeps a tenth of a 1920-pixel output (192, 128 or 96 units at scale 1, 1.5
// or 2) turns the camera by the same angle at every scale.
TEST(InputRules, WaylandPointerPositionsAreTheViewsPixelsAtEveryScale) {
  const TPoint a = WlBufferPoint(10.5, -0.25, 180), b = WlBufferPoint(8388607.0, 0.75, 12000);
  EXPECT_EQ(a.X, 15);
  EXPECT_EQ(a.Y, -1);
  EXPECT_EQ(b.X, 838860700);
  EXPECT_EQ(b.Y, 75);
  for (const int scale : {120, 180, 240}) {
    const double across = 192.0 * 120 / scale;
    const TMouseMoveOutcome outcome = MouseMoveOutcome(false, WlBufferPoint(100, 40, scale),
                                                       WlBufferPoint(100 + across, 40, scale));
    EXPECT_DOUBLE_EQ(outcome.AngleChange, -192 / MouseTurnRate) << scale;
  }
}

TEST(InputRules, ClicksCloseArgumentModesAndSwitchThePredatorInAUserRun) {
  EXPECT_EQ(MouseDownAction(true), TInputAction::Close);
  EXPECT_EQ(MouseDownAction(false), TInputAction::FollowNext);
}

TEST(InputRules, KeyDownClosesArgumentModesExceptSpace) {
  for (uint16_t key :
       {VK::Escape, VK::Return, VK::Left, uint16_t('A'), uint16_t('0'), VK::F1, VK::Shift})
    EXPECT_EQ(KeyDownAction(true, key), TInputAction::Close) << key;
  EXPECT_EQ(KeyDownAction(true, VK::Space), TInputAction::Nothing);
  for (uint16_t key : {VK::Escape, VK::Space, uint16_t('A')})
    EXPECT_EQ(KeyDownAction(false, key), TInputAction::Nothing) << key;
}

TEST(InputRules, EscapeCharacterClosesAndEveryOtherCharacterSwitchesThePredator) {
  EXPECT_EQ(KeyPressAction(27), TInputAction::Close);
  for (char key : {' ', 'a', 'Z', '\r', '\t', '\x7F', static_cast<char>(0xE9)})
    EXPECT_EQ(KeyPressAction(key), TInputAction::FollowNext) << int(key);
}

// ---- statistics caption ----

TEST(Statistics, RefreshIsDueOnlyAfterMoreThanHalfASecond) {
  EXPECT_FALSE(StatisticsDue(1000.0, 1000.5));
  EXPECT_TRUE(StatisticsDue(1000.0, 1000.501));
  EXPECT_FALSE(StatisticsDue(1000.0, 1000.0));
  EXPECT_FALSE(StatisticsDue(1000.0, 999.0));  // a substitute clock that ran back
}

TEST(Statistics, TypicalCaptionHasTheElevenPiecesInCodePage1251) {
  // 125 frames in 2 s: 62.5 FPS; 2e6 / 125 / 323 = 49.5 us per unit and frame, shown as 0.05 ms.
  EXPECT_EQ(StatisticsCaption(Stats(125, 2.0, 323, 0.9, 0.1), '.'),
            "FPS: 62.5   Units: 323   0.05" + Label + "   Draw: 90%   Calc: 10%");
  EXPECT_EQ(StatisticsCaption(Stats(60, 1.0, 100, 0.25, 0.75), '.'),
            "FPS: 60   Units: 100   0.167" + Label + "   Draw: 25%   Calc: 75%");
}

TEST(Statistics, CaptionUsesTheGivenDecimalSeparator) {
  EXPECT_EQ(StatisticsCaption(Stats(125, 2.0, 323, 0.9, 0.1), ','),
            "FPS: 62,5   Units: 323   0,05" + Label + "   Draw: 90%   Calc: 10%");
}

TEST(Statistics, RateAndCostUseTheirOwnReadingsOfTheElapsedTime) {
  TFrameStatistics stats = Stats(100, 1.0, 1000, 1, 1);
  stats.CostElapsed = 2.0;  // read later than the rate's
  EXPECT_EQ(StatisticsCaption(stats, '.'),
            "FPS: 100   Units: 1000   0.02" + Label + "   Draw: 50%   Calc: 50%");
}

TEST(Statistics, HalvesRoundToEvenAndPercentagesRoundIndependently) {
  // 1 and 3 frames in 8 s: 12.5 and 37.5 hundredths; 1:7 and 3:5 time shares.
  EXPECT_EQ(StatisticsCaption(Stats(1, 8.0, 1, 1, 7), '.'),
            "FPS: 0.12   Units: 1   8000" + Label + "   Draw: 12%   Calc: 88%");
  EXPECT_EQ(StatisticsCaption(Stats(3, 8.0, 1, 3, 5), '.'),
            "FPS: 0.38   Units: 1   2666.667" + Label + "   Draw: 38%   Calc: 62%");
  // 0.5 s * 1e6 / 1 frame / 200000 units = 2.5 us, even neighbour 2.
  EXPECT_EQ(StatisticsCaption(Stats(1, 0.5, 200000, 1, 1), '.'),
            "FPS: 2   Units: 200000   0.002" + Label + "   Draw: 50%   Calc: 50%");
}

TEST(Statistics, FiguresThatCannotBeComputedShowADash) {
  // No frame in the interval: the rate is 0, the cost per frame is unknown.
  EXPECT_EQ(StatisticsCaption(Stats(0, 0.7, 323, 0.1, 0.1), '.'),
            "FPS: 0   Units: 323   -" + Label + "   Draw: 50%   Calc: 50%");
  // No unit in the world.
  EXPECT_EQ(StatisticsCaption(Stats(10, 1.0, 0, 0.1, 0.1), '.'),
            "FPS: 10   Units: 0   -" + Label + "   Draw: 50%   Calc: 50%");
  // Every phase measured zero on the clock.
  EXPECT_EQ(StatisticsCaption(Stats(10, 1.0, 100, 0, 0), '.'),
            "FPS: 10   Units: 100   1" + Label + "   Draw: -%   Calc: -%");
  // All at once, and an elapsed time of zero.
  const std::string caption = StatisticsCaption(Stats(0, 0, 0, 0, 0), '.');
  EXPECT_EQ(caption, "FPS: -   Units: 0   -" + Label + "   Draw: -%   Calc: -%");
}

TEST(Statistics, RoundHalfEvenToInt64) {
  const struct {
    double In;
    int64_t Out;
  } cases[] = {{0.5, 0},    {1.5, 2},
               {2.5, 2},    {-0.5, 0},
               {-1.5, -2},  {2.4999, 2},
               {2.5001, 3}, {-9223372036854775808.0, std::numeric_limits<int64_t>::min()}};
  for (const auto& c : cases) {
    int64_t out = 99;
    EXPECT_TRUE(RoundHalfEven(c.In, out)) << c.In;
    EXPECT_EQ(out, c.Out) << c.In;
  }
  int64_t out = 0;
  EXPECT_FALSE(RoundHalfEven(std::nan(""), out));
  EXPECT_FALSE(RoundHalfEven(std::numeric_limits<double>::infinity(), out));
  EXPECT_FALSE(RoundHalfEven(-std::numeric_limits<double>::infinity(), out));
  EXPECT_FALSE(RoundHalfEven(9223372036854775808.0, out));
}

TEST(Statistics, PlainNumbersHaveAtMost15SignificantDigitsAndNoExponent) {
  EXPECT_EQ(PlainNumber(62.5, '.'), "62.5");
  EXPECT_EQ(PlainNumber(100, '.'), "100");
  EXPECT_EQ(PlainNumber(0.05, '.'), "0.05");
  EXPECT_EQ(PlainNumber(62.49, ','), "62,49");
  EXPECT_EQ(PlainNumber(1.0 / 3, '.'), "0.333333333333333");
  EXPECT_EQ(PlainNumber(2.0 / 3, '.'), "0.666666666666667");
  EXPECT_EQ(PlainNumber(1e-7, '.'), "0.0000001");
  EXPECT_EQ(PlainNumber(123456789012345678.0, '.'), "123456789012346000");
  EXPECT_EQ(PlainNumber(92233720368547758.07, '.'), "92233720368547800");
  EXPECT_EQ(PlainNumber(-2.5, '.'), "-2.5");
  EXPECT_EQ(PlainNumber(0.0, '.'), "0");
  EXPECT_EQ(PlainNumber(-0.0, '.'), "0");
}

// ---- captions and the screen's density on X ----

TEST(Cp1251, CaptionBytesBecomeUtf8) {
  EXPECT_EQ(Cp1251ToUtf8("FPS: 1.5 " + Label),
            "FPS: 1.5 \xD0\xBC\xD1\x81/\xD1\x8E\xD0\xBD\xD0\xB8\xD1\x82");
  EXPECT_EQ(Cp1251ToUtf8("\xC0\xFF\xA8\xB8"), "\xD0\x90\xD1\x8F\xD0\x81\xD1\x91");  // А я Ё ё
  EXPECT_EQ(Cp1251ToUtf8("\xB9\x88"), "\xE2\x84\x96\xE2\x82\xAC");                  // № €
  EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xEF\xBF\xBD");
  EXPECT_EQ(Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(DensityOnX, XftDpiIsWhatTheResourceDatabaseAnswersForXftDpiAsXGetDefaultDid) {
  EXPECT_EQ(XftDpiOf("Xft.dpi:\t192\n"), 192);
  EXPECT_EQ(XftDpiOf("Xcursor.size:\t24\nXft.dpi:\t144\nXft.antialias:\t1\n"), 144);
  EXPECT_EQ(XftDpiOf("  Xft.dpi : 120.5\r"), 120.5);
  EXPECT_EQ(XftDpiOf("Xft.dpi:\t96\nXft.dpi:\t192\n"), 192);
  // Loose bindings and Xft's class, where the exact entry wins wherever it stands.
  EXPECT_EQ(XftDpiOf("*dpi:\t192\n"), 192);
  EXPECT_EQ(XftDpiOf("Xft*dpi:\t144\n"), 144);
  EXPECT_EQ(XftDpiOf("*Dpi:\t120\n"), 120);
  EXPECT_EQ(XftDpiOf("Xft.dpi:\t96\n*dpi:\t192\n"), 96);
  EXPECT_EQ(XftDpiOf("*dpi:\t192\nXft.dpi:\t96\n"), 96);
  // None, other programs' and other resources, and values that are no number.
  for (const char* text :
       {"", "Xft.dpiX:\t192\n", "Emacs*dpi:\t192\n", "Xft.dpi\t192\n", "Xft.dpi:\t\n",
        "Xft.dpi:\t19x2\n", "Xft.dpi:\t-96\n", "Xft.dpi:\t192\nXft.dpi:\tlarge\n"})
    EXPECT_EQ(XftDpiOf(text), 0) << text;
}

// ---- keys on X ----

TEST(KeysOnX, EveryKeyHasACodeThatClosesArgumentModesAndOnlyTheSpaceBarIsSpace) {
  EXPECT_EQ(VirtualKeyOf(XK_space), VK::Space);
  EXPECT_EQ(VirtualKeyOf(XK_Num_Lock), 144);
  EXPECT_EQ(VirtualKeyOf(XK_Print), 44);
  EXPECT_EQ(VirtualKeyOf(XK_ISO_Level3_Shift), VK::Menu);
  EXPECT_EQ(VirtualKeyOf(XF86XK_AudioPlay), 179);
  for (const unsigned long sym :
       std::vector<unsigned long>{XK_dead_acute, XK_udiaeresis, XK_eacute, XK_Cyrillic_a,
                                  XK_Cyrillic_YA, XK_KP_Space, 0x1000000ul + 0x4E2D, 0ul})
    EXPECT_EQ(VirtualKeyOf(sym), VK::Unassigned) << std::hex << sym;
  // Every symbol of the core and the vendor ranges, and of the Unicode plane's start.
  int spaces = 0;
  for (unsigned long sym = 0; sym < 0x10000; ++sym) {
    for (unsigned long base : {0ul, 0x1008F000ul, 0x1000000ul}) {
      const uint16_t key = VirtualKeyOf(base + sym);
      ASSERT_NE(key, 0) << std::hex << base + sym;
      if (key == VK::Space)
        ++spaces;
      else
        ASSERT_EQ(KeyDownAction(true, key), TInputAction::Close) << std::hex << base + sym;
    }
  }
  EXPECT_EQ(spaces, 1);
}

TEST(KeysOnX, TypedCharactersArriveAsCodePage1251AndOnlyEscapeCloses) {
  EXPECT_EQ(KeyPressCharacters("az Z"), "az Z");
  EXPECT_EQ(KeyPressCharacters("\xD0\xB0\xD1\x8F\xD0\x81"), "\xE0\xFF\xA8");  // а я Ё
  EXPECT_EQ(KeyPressCharacters("\xE2\x82\xAC"), "\x88");                      // €
  // ü, é and a Chinese character have no byte in the code page; a broken sequence neither.
  EXPECT_EQ(KeyPressCharacters("\xC3\xBC\xC3\xA9\xE4\xB8\xAD\xC3"), "????");
  EXPECT_EQ(KeyPressAction(KeyPressCharacters("\x1B")[0]), TInputAction::Close);
  for (char key : KeyPressCharacters("\xD0\xB0\xC3\xBC\xE4\xB8\xAD"))
    EXPECT_EQ(KeyPressAction(key), TInputAction::FollowNext) << int(key);
}

// ---- monitors and frame pace ----

namespace {

bool Same(const TScreenRect& r, int left, int top, int width, int height) {
  return r.Left == left && r.Top == top && r.Width == width && r.Height == height;
}

}  // namespace

TEST(Views, EachMonitorOfTheVirtualScreenGetsItsPartOfTheWindow) {
  // The primary in the middle, a smaller one to its left (negative coordinates, as Windows
  // places it) and one above-right; a mirror of the primary and a monitor off the window.
  const std::vector<TScreenRect> monitors = {{0, 0, 1920, 1080},
                                             {-1280, 200, 1280, 720},
                                             {1920, -300, 1024, 768},
                                             {0, 0, 1920, 1080},
                                             {5000, 0, 800, 600}};
  const TScreenRect screen = VirtualScreen({monitors[0], monitors[1], monitors[2]});
  EXPECT_TRUE(Same(screen, -1280, -300, 4224, 1380));
  const std::vector<TScreenRect> views = LayoutViews(monitors, screen);
  ASSERT_EQ(views.size(), 3u);
  EXPECT_TRUE(Same(views[0], 1280, 300, 1920, 1080));
  EXPECT_TRUE(Same(views[1], 0, 500, 1280, 720));
  EXPECT_TRUE(Same(views[2], 3200, 0, 1024, 768));
}

TEST(Views, AWindowNoMonitorMeetsIsOneViewAndPartsAreClipped) {
  EXPECT_TRUE(Same(LayoutViews({}, {10, 10, 640, 480})[0], 0, 0, 640, 480));
  EXPECT_TRUE(Same(LayoutViews({{2000, 0, 100, 100}}, {0, 0, 640, 480})[0], 0, 0, 640, 480));
  const std::vector<TScreenRect> views = LayoutViews({{0, 0, 1920, 1080}}, {100, 50, 1920, 1080});
  ASSERT_EQ(views.size(), 1u);
  EXPECT_TRUE(Same(views[0], 0, 0, 1820, 1030));
}

TEST(Views, EachTakesItsMonitorsDpiOnlyWhereItsWindowFollowsEachMonitor) {
  // The full-screen window aware of each monitor, counted by the system at the primary's 96; the
  // preview's window in a host the system scales (its own 96, stretched); Windows 8.1 (no
  // window's DPI), 7 (no monitor's either) and a system that says nothing.
  EXPECT_EQ(Win32ViewPixelsPerInch({true, 192, 96, 96}), 192);
  EXPECT_EQ(Win32ViewPixelsPerInch({false, 192, 96, 144}), 96);
  EXPECT_EQ(Win32ViewPixelsPerInch({true, 144, 0, 120}), 144);
  EXPECT_EQ(Win32ViewPixelsPerInch({false, 0, 0, 120}), 120);
  EXPECT_EQ(Win32ViewPixelsPerInch({true, 0, 0, 0}), 96);
  // A monitor of 2160 rows from 150 % to 200 % (WM_DPICHANGED): its clock in fewer points of as
  // many pixels (48 at 144 and 36 at 192 are 96 each), as far from the corner.
  const TClockPlacement was =
      ClockPlacement(2160, Win32ViewPixelsPerInch({true, 144, 0, 96}) / 96.);
  const TClockPlacement is = ClockPlacement(2160, Win32ViewPixelsPerInch({true, 192, 0, 96}) / 96.);
  EXPECT_TRUE(was.Points == 48 && is.Points == 36 && was.Margin == is.Margin);
}

TEST(FramePacer, KeepsTheRateOnAMillisecondTimerAndRestartsAfterAStall) {
  for (double rate : {60.0, 59.94, 75.0, 0.0}) {
    TFramePacer pacer(rate);
    const double wanted = rate > 0 ? rate : 60.0;
    // The loop's timer counts whole milliseconds from the start of the tick and fires late by
    // a fraction of one.
    double now = 1000.25;
    int frames = 0;
    while (now < 1010.25) {
      ++frames;
      const int wait = pacer.FrameStarted(now);
      EXPECT_GE(wait, 1);
      now = (std::floor(now * 1000) + wait) / 1000 + 0.0003;
    }
    EXPECT_NEAR(frames, 10 * wanted, 1.5) << rate;
  }
  TFramePacer pacer(60);
  pacer.FrameStarted(5.0);
  // A frame 0.2 s late is followed by a whole period's wait, not by a burst of catching up.
  EXPECT_EQ(pacer.FrameStarted(5.2), 17);
  EXPECT_EQ(pacer.FrameStarted(5.2 + 1 / 60.0), 17);
  // A frame that starts just as the next is due still waits: an interval of 0 stops the timer.
  EXPECT_EQ(pacer.FrameStarted(5.2 + 3 / 60.0), 1);
}

// ---- energy ----

TEST(Energy, FrameBudgetIsAWholeDivisorOfTheRefreshAtMost75Or30OnBattery) {
  const std::vector<std::pair<double, double>> mains = {
      {60, 60},  {75, 75},  {75.02, 75.02}, {120, 60}, {144, 72}, {165, 55},
      {240, 60}, {360, 72}, {59.94, 59.94}, {0, 60},   {30, 30}};
  for (const auto& [refresh, budget] : mains) EXPECT_DOUBLE_EQ(FrameBudget(refresh, false), budget);
  const std::vector<std::pair<double, double>> battery = {{60, 30}, {144, 28.8}, {240, 30},
                                                          {75, 25}, {30, 30},    {0, 30}};
  for (const auto& [refresh, budget] : battery)
    EXPECT_DOUBLE_EQ(FrameBudget(refresh, true), budget);
}

TEST(Energy, AnX11WindowIsSeenOnlyMappedUncoveredAndOnADisplayThatIsOn) {
  TX11Sight sight;
  EXPECT_FALSE(X11WindowSeen(sight));
  sight.Mapped = true;
  EXPECT_TRUE(X11WindowSeen(sight));
  for (bool TX11Sight::*hiding :
       {&TX11Sight::Iconic, &TX11Sight::Hidden, &TX11Sight::FullyObscured}) {
    TX11Sight hidden = sight;
    hidden.*hiding = true;
    EXPECT_FALSE(X11WindowSeen(hidden));
  }
  // A level means something only while DPMS is switched on; Standby, Suspend and Off all hide.
  sight.DpmsLevel = 3;
  EXPECT_TRUE(X11WindowSeen(sight));
  sight.DpmsEnabled = true;
  for (int level : {1, 2, 3}) {
    sight.DpmsLevel = level;
    EXPECT_FALSE(X11WindowSeen(sight)) << level;
  }
  sight.DpmsLevel = 0;
  EXPECT_TRUE(X11WindowSeen(sight));
}

TEST(Energy, WaylandAndWindowsSightFollowTheirSignals) {
  EXPECT_TRUE(WaylandSurfaceSeen(false, 30.0));
  EXPECT_TRUE(WaylandSurfaceSeen(true, 0.99));
  EXPECT_FALSE(WaylandSurfaceSeen(true, 1.0));

  TWin32Sight sight;
  EXPECT_TRUE(Win32WindowSeen(sight));
  sight.ConsoleDisplay = 2;  // dimmed still shows the scene
  EXPECT_TRUE(Win32WindowSeen(sight));
  sight.ConsoleDisplay = 0;
  EXPECT_FALSE(Win32WindowSeen(sight));
  sight.ConsoleDisplay = 1;
  ApplySessionChange(sight, 7);  // locked
  EXPECT_FALSE(Win32WindowSeen(sight));
  ApplySessionChange(sight, 2);  // and disconnected
  ApplySessionChange(sight, 8);  // unlocked while still away
  EXPECT_FALSE(Win32WindowSeen(sight));
  ApplySessionChange(sight, 3);
  EXPECT_TRUE(Win32WindowSeen(sight));
  ApplySessionChange(sight, 5);  // a logon elsewhere changes nothing
  EXPECT_TRUE(Win32WindowSeen(sight));
}

TEST(Energy, AWindowCoversAMonitorItSpansOrIsMaximisedOrFullScreenOn) {
  const TScreenRect left{0, 0, 1920, 1080};
  const TScreenRect right{1920, -200, 2560, 1440};
  // A maximised window's borders reach past its monitor on every side.
  const TScreenRect maximisedLeft{-8, -8, 1936, 1056};
  EXPECT_TRUE(CoversMonitor(left, maximisedLeft, true, false));
  EXPECT_FALSE(CoversMonitor(right, maximisedLeft, true, false));
  // The same rectangle, neither maximised nor full screen: the task bar still shows.
  EXPECT_FALSE(CoversMonitor(left, maximisedLeft, false, false));
  // A borderless window over the whole monitor is full screen whatever its flags say, and one
  // spanning both monitors covers both.
  EXPECT_TRUE(CoversMonitor(left, left, false, false));
  EXPECT_TRUE(CoversMonitor(right, {0, -200, 4480, 1440}, false, false));
  EXPECT_TRUE(CoversMonitor(left, {0, -200, 4480, 1440}, false, false));
  // A full-screen window belongs to the monitor holding its centre, including its left edge.
  EXPECT_TRUE(CoversMonitor(right, {1000, 0, 1840, 1000}, false, true));
  EXPECT_FALSE(CoversMonitor(left, {1000, 0, 1840, 1000}, false, true));
  // A normal window covers nothing; nor does an empty one, nor one far off every monitor.
  EXPECT_FALSE(CoversMonitor(left, {100, 100, 800, 600}, false, false));
  EXPECT_FALSE(CoversMonitor(left, {0, 0, 0, 0}, true, true));
  EXPECT_FALSE(CoversMonitor(left, {-32000, -32000, 160, 28}, true, false));
}

TEST(Energy, OnBatteryOnlyWithABatteryOfTheComputerAndNoSupplyOnline) {
  const TPowerSupply battery{"Battery", false, true, false};
  const TPowerSupply mains{"Mains", true, true, false};
  const TPowerSupply unplugged{"Mains", false, true, false};
  const TPowerSupply usbCharger{"USB", true, true, false};
  const TPowerSupply mouse{"Battery", false, true, true};
  const TPowerSupply emptyBay{"Battery", false, false, false};
  EXPECT_TRUE(OnBatteryPower({battery, unplugged}));
  EXPECT_TRUE(OnBatteryPower({battery}));
  EXPECT_FALSE(OnBatteryPower({battery, mains}));
  EXPECT_FALSE(OnBatteryPower({usbCharger, battery}));
  EXPECT_FALSE(OnBatteryPower({}));  // a desktop
  EXPECT_FALSE(OnBatteryPower({mouse, unplugged}));
  EXPECT_FALSE(OnBatteryPower({emptyBay, unplugged}));

  EXPECT_TRUE(Win32OnBattery(0, 0));
  EXPECT_FALSE(Win32OnBattery(1, 0));
  EXPECT_FALSE(Win32OnBattery(255, 0));  // unknown
  EXPECT_TRUE(Win32OnBattery(1, 1));     // the battery saver is on
}
