// Text output onto images, the long time text and PNG files: where glyphs land and what they
// leave alone, edge clipping, locale handling, and PNG round trips and failed writes.
#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "png/png_writer.h"
#include "text/image_text_surface.h"
#include "text/long_time.h"
#include "text/utf8.h"
#include "text_surface.h"

namespace fs = std::filesystem;

namespace {

TImage FilledImage(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  TImage image;
  image.Width = width;
  image.Height = height;
  image.Pixels.resize(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < image.Pixels.size(); i += 4) {
    image.Pixels[i] = r;
    image.Pixels[i + 1] = g;
    image.Pixels[i + 2] = b;
    image.Pixels[i + 3] = a;
  }
  return image;
}

// The box around every pixel that differs from `before`.
struct TInk {
  int Count = 0;
  int Left = INT_MAX;
  int Top = INT_MAX;
  int Right = INT_MIN;
  int Bottom = INT_MIN;
  int Width() const { return Count == 0 ? 0 : Right - Left + 1; }
  int Height() const { return Count == 0 ? 0 : Bottom - Top + 1; }
};

TInk InkOf(const TImage& before, const TImage& after) {
  TInk ink;
  for (int y = 0; y < after.Height; ++y) {
    for (int x = 0; x < after.Width; ++x) {
      if (!std::equal(after.PixelAt(x, y), after.PixelAt(x, y) + 4, before.PixelAt(x, y))) {
        ++ink.Count;
        ink.Left = std::min(ink.Left, x);
        ink.Top = std::min(ink.Top, y);
        ink.Right = std::max(ink.Right, x);
        ink.Bottom = std::max(ink.Bottom, y);
      }
    }
  }
  return ink;
}

TFontSpec Yellow(int points) {
  TFontSpec font;
  font.Name = "Verdana";
  font.Size = points;
  font.Red = 255;
  font.Green = 255;
  font.Blue = 0;
  return font;
}

// Draws `text` in yellow on a dark image and reports the ink it left.
TInk InkOfText(const std::string& text, int points = 36, int ppi = 96) {
  const TImage before = FilledImage(600, 200, 0, 0, 64);
  TImage image = before;
  TImageTextSurface surface(image);
  surface.SetPixelsPerInch(ppi);
  surface.SetFont(Yellow(points));
  surface.DrawText(20, 20, text);
  return InkOf(before, image);
}

class TTempFolder {
 public:
  TTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tundrel-text-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) Path = pattern;
  }
  ~TTempFolder() {
    std::error_code ignored;
    fs::remove_all(Path, ignored);
  }
  fs::path Path;
};

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Sets (or with nullptr removes) an environment variable and puts it back afterwards.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : Name(name) {
    if (const char* old = getenv(name)) Old = old;
    value != nullptr ? setenv(name, value, 1) : unsetenv(name);
  }
  ~TScopedEnv() { Old ? setenv(Name.c_str(), Old->c_str(), 1) : unsetenv(Name.c_str()); }
  std::string Name;
  std::optional<std::string> Old;
};

TImage NoiseImage(int width, int height, uint32_t seed, bool withAlpha) {
  TImage image = FilledImage(width, height, 0, 0, 0);
  std::mt19937 engine(seed);
  for (size_t i = 0; i < image.Pixels.size(); ++i) {
    image.Pixels[i] = (i % 4 == 3 && !withAlpha) ? 255 : static_cast<uint8_t>(engine());
  }
  return image;
}

}  // namespace

// fontconfig 2.14 loses one small block while parsing its configuration files, once per
// process; the leak checker would otherwise fail every run that looks up a font.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

// ---- UTF-8 ----

TEST(Utf8, DecodesEveryLengthOfSequence) {
  EXPECT_EQ(DecodeUtf8("a\xC3\xA9\xE2\x80\xAF\xF0\x9F\x98\x80"),
            (std::u32string{U'a', 0xE9, 0x202F, 0x1F600}));
}

TEST(Utf8, ReplacesEachMalformedSequenceAndKeepsWhatFollows) {
  const std::string strayContinuation = std::string("\x80") + "A";
  EXPECT_EQ(DecodeUtf8(strayContinuation), (std::u32string{0xFFFD, U'A'}));
  EXPECT_EQ(DecodeUtf8("\xC0\xAF"), (std::u32string{0xFFFD, 0xFFFD}));              // overlong '/'
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80"), (std::u32string{0xFFFD, 0xFFFD, 0xFFFD}));  // surrogate
  const std::string cutShort = std::string("\xE2\x82") + "A";
  EXPECT_EQ(DecodeUtf8(cutShort), (std::u32string{0xFFFD, U'A'}));
  EXPECT_EQ(DecodeUtf8("1\xE2\x82"), (std::u32string{U'1', 0xFFFD}));  // cut by the end
  EXPECT_EQ(DecodeUtf8("\xF4\x90\x80\x80"),
            (std::u32string{0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}));  // past U+10FFFF
}

// ---- Text onto images ----

TEST(ImageText, YellowTextAtItsCornerInksOnlyBelowAndRightOfIt) {
  const TImage before = FilledImage(400, 120, 0, 0, 64);
  TImage image = before;
  TImageTextSurface surface(image);
  surface.SetFont(Yellow(36));
  surface.SetTransparentBackground(true);
  surface.DrawText(36, 36, "12:34:56");

  const TInk ink = InkOf(before, image);
  ASSERT_GT(ink.Count, 100);
  EXPECT_GE(ink.Left, 36);
  // The cell's top edge is at y, not the baseline: digits start a little below it and reach
  // down about their own height.
  EXPECT_GE(ink.Top, 36);
  EXPECT_LT(ink.Top, 36 + 48 / 2);
  EXPECT_GT(ink.Bottom, 36 + 48 / 2);
  bool sawYellow = false;
  for (int y = ink.Top; y <= ink.Bottom && !sawYellow; ++y) {
    for (int x = ink.Left; x <= ink.Right; ++x) {
      const uint8_t* p = image.PixelAt(x, y);
      if (p[0] == 255 && p[1] == 255 && p[2] == 0 && p[3] == 255) sawYellow = true;
    }
  }
  EXPECT_TRUE(sawYellow) << "fully covered pixels take the font colour exactly";
}

TEST(ImageText, TransparentBackgroundKeepsPixelsBetweenGlyphsAndOpaqueFillsTheCell) {
  const TImage before = FilledImage(400, 120, 10, 20, 30);
  TImage image = before;
  TImageTextSurface surface(image);
  surface.SetFont(Yellow(24));
  surface.DrawText(10, 10, "1 1");
  // The gap of the space between the two digits stays as it was, all the way down the cell.
  const TInk ink = InkOf(before, image);
  ASSERT_GT(ink.Count, 0);
  int untouchedColumns = 0;
  for (int x = ink.Left; x <= ink.Right; ++x) {
    bool untouched = true;
    for (int y = 0; y < image.Height; ++y) {
      untouched = untouched &&
                  std::equal(image.PixelAt(x, y), image.PixelAt(x, y) + 4, before.PixelAt(x, y));
    }
    untouchedColumns += untouched ? 1 : 0;
  }
  EXPECT_GT(untouchedColumns, 3);

  TImage opaque = before;
  TImageTextSurface opaqueSurface(opaque);
  opaqueSurface.SetFont(Yellow(24));
  opaqueSurface.SetTransparentBackground(false);
  opaqueSurface.DrawText(10, 10, "1 1");
  const uint8_t* corner = opaque.PixelAt(10, 10);
  EXPECT_EQ((std::vector<uint8_t>(corner, corner + 4)), (std::vector<uint8_t>{255, 255, 255, 255}));
  EXPECT_TRUE(std::equal(opaque.PixelAt(9, 9), opaque.PixelAt(9, 9) + 4, before.PixelAt(9, 9)));
}

TEST(ImageText, TextHeightFollowsPointsAndPixelsPerInch) {
  // 8 pt at 96 pixels per inch is 10.67 px, drawn at 11; doubling either input doubles it.
  TImage image = FilledImage(10, 10, 0, 0, 0);
  TImageTextSurface surface(image);
  EXPECT_EQ(surface.PixelsPerInch(), 96);
  surface.SetFont(Yellow(8));
  EXPECT_EQ(surface.FontPixelSize(), 11);
  surface.SetFont(Yellow(36));
  EXPECT_EQ(surface.FontPixelSize(), 48);

  const int at96 = InkOfText("8", 36, 96).Height();
  const int at192 = InkOfText("8", 36, 192).Height();
  const int doublePoints = InkOfText("8", 72, 96).Height();
  ASSERT_GT(at96, 10);
  EXPECT_NEAR(at192, 2 * at96, 3);
  EXPECT_EQ(doublePoints, at192);
}

TEST(ImageText, TextCrossingOrPastTheEdgesIsClippedNeverWrittenOutside) {
  const TImage before = FilledImage(60, 40, 0, 0, 0);
  TImage image = before;
  TImageTextSurface surface(image);
  surface.SetFont(Yellow(36));

  // Partly visible at the top-left: the visible part is drawn.
  surface.DrawText(-12, -20, "88");
  EXPECT_GT(InkOf(before, image).Count, 0);
  // Across the bottom-right corner, far outside, and at the limits of int.
  surface.DrawText(50, 30, "88:88");
  surface.DrawText(INT_MAX - 5, INT_MAX - 5, "88");
  surface.DrawText(INT_MIN, INT_MIN, "88");
  surface.DrawText(-100000, 10, "88");
  // A font far larger than the image.
  surface.SetFont(Yellow(400));
  surface.DrawText(-30, -30, "8");
  EXPECT_EQ(image.Pixels.size(), before.Pixels.size());

  // Degenerate images take nothing.
  TImage empty;
  TImageTextSurface emptySurface(empty);
  emptySurface.DrawText(0, 0, "8");
  TImage shortBuffer = FilledImage(20, 20, 0, 0, 0);
  shortBuffer.Pixels.resize(16);
  const std::vector<uint8_t> shortBefore = shortBuffer.Pixels;
  TImageTextSurface shortSurface(shortBuffer);
  shortSurface.SetFont(Yellow(12));
  shortSurface.DrawText(0, 0, "8");
  EXPECT_EQ(shortBuffer.Pixels, shortBefore);
}

TEST(ImageText, ClipBoxIsTheWholeImageAndFollowsAResize) {
  TImage image = FilledImage(64, 32, 0, 0, 0);
  TImageTextSurface surface(image);
  TTextRect box = surface.ClipBox();
  EXPECT_EQ(std::vector<int>({box.Left, box.Top, box.Right, box.Bottom}),
            std::vector<int>({0, 0, 64, 32}));
  image = FilledImage(200, 300, 0, 0, 0);
  box = surface.ClipBox();
  EXPECT_EQ(std::vector<int>({box.Right, box.Bottom}), std::vector<int>({200, 300}));
  const TImage before = image;
  surface.SetFont(Yellow(12));
  surface.DrawText(150, 250, "8");
  EXPECT_GE(InkOf(before, image).Left, 150);
}

TEST(ImageText, MultibyteCharactersAreOneGlyphAndSpacesDrawNoBox) {
  // Read byte by byte, "é" would be two glyphs side by side.
  const TInk e = InkOfText("e");
  const TInk eAcute = InkOfText("\xC3\xA9");
  ASSERT_GT(e.Width(), 0);
  EXPECT_LE(eAcute.Width(), e.Width() + 2);
  EXPECT_GT(eAcute.Height(), e.Height());  // the accent

  // Space separators, including ones a font may lack, never show a missing-glyph box.
  for (const char* space : {"\xC2\xA0", "\xE2\x80\xAF", "\xE2\x80\x89", "\xE3\x80\x80"}) {
    EXPECT_EQ(InkOfText(space).Count, 0) << space;
  }
  // The time text some locales write, with a narrow no-break space before the suffix.
  const TInk time = InkOfText("1:05:09\xE2\x80\xAFPM");
  EXPECT_GT(time.Width(), InkOfText("1:05:09").Width());
}

TEST(ImageText, AMissingFamilyFallsBackToASubstitute) {
  TImage image = FilledImage(100, 50, 0, 0, 0);
  TImageTextSurface surface(image);
  TFontSpec font = Yellow(12);
  font.Name = "No Such Family Tundrel";
  surface.SetFont(font);
  EXPECT_FALSE(surface.FontFile().empty());
  const TImage before = image;
  surface.DrawText(0, 0, "8");
  EXPECT_GT(InkOf(before, image).Count, 0);
}

TEST(ImageTextDeathTest, WithoutAnyFontDrawsNothing) {
  // fontconfig reads its configuration once per process, so this runs in a fresh one whose
  // configuration lists no font folder.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TTempFolder folder;
  const fs::path config = folder.Path / "fonts.conf";
  std::ofstream(config) << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
  const TScopedEnv noFonts("FONTCONFIG_FILE", config.c_str());
  EXPECT_EXIT(
      {
        const TImage before = FilledImage(80, 40, 0, 0, 0);
        TImage image = before;
        TImageTextSurface surface(image);
        surface.SetFont(Yellow(12));
        surface.DrawText(0, 0, "12:00");
        std::exit(surface.FontFile().empty() && image.Pixels == before.Pixels ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// ---- Long time text ----

class LongTime : public ::testing::Test {
 protected:
  void SetUp() override {
    Afternoon.tm_hour = 13;
    Afternoon.tm_min = 5;
    Afternoon.tm_sec = 9;
    Afternoon.tm_mday = 1;
    Afternoon.tm_year = 124;
  }
  static bool Installed(const char* name) {
    locale_t locale = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return false;
    freelocale(locale);
    return true;
  }
  static bool ValidUtf8(const std::string& text) {
    const std::u32string codes = DecodeUtf8(text);
    return std::find(codes.begin(), codes.end(), 0xFFFD) == codes.end();
  }

  // Each test sets LC_ALL; the others are cleared so they cannot mask a fault.
  TScopedEnv All{"LC_ALL", "C"};
  TScopedEnv Time{"LC_TIME", nullptr};
  TScopedEnv Lang{"LANG", nullptr};
  std::tm Afternoon{};
};

TEST_F(LongTime, CLocaleWritesTwentyFourHourTimeAndLeavesTheGlobalLocaleAlone) {
  setenv("LC_ALL", "C", 1);
  const std::string globalBefore = setlocale(LC_ALL, nullptr);
  EXPECT_EQ(FormatLongTime(Afternoon), "13:05:09");
  const std::string now = LongTimeText();
  EXPECT_FALSE(now.empty());
  EXPECT_TRUE(std::any_of(now.begin(), now.end(), [](char c) { return c >= '0' && c <= '9'; }));
  EXPECT_EQ(setlocale(LC_ALL, nullptr), globalBefore);
}

TEST_F(LongTime, UninstalledLocaleFallsBackToTwentyFourHourTime) {
  setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
  EXPECT_EQ(FormatLongTime(Afternoon), "13:05:09");
}

TEST_F(LongTime, Utf8LocalesGiveTheirOwnFormat) {
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(FormatLongTime(Afternoon), "13:05:09");
  if (!Installed("en_US.UTF-8")) GTEST_SKIP() << "en_US.UTF-8 is not installed";
  setenv("LC_ALL", "en_US.UTF-8", 1);
  const std::string text = FormatLongTime(Afternoon);
  EXPECT_NE(text.find("01:05:09"), std::string::npos) << text;
  EXPECT_NE(text.find("PM"), std::string::npos) << text;
  EXPECT_FALSE(LongTimeText().empty());
}

TEST_F(LongTime, OtherCodesetsComeOutAsUtf8) {
  if (!Installed("ja_JP.EUC-JP")) GTEST_SKIP() << "ja_JP.EUC-JP is not installed";
  setenv("LC_ALL", "ja_JP.EUC-JP", 1);
  const std::string text = FormatLongTime(Afternoon);
  EXPECT_TRUE(ValidUtf8(text)) << text;
  EXPECT_NE(text.find("\xE6\x99\x82"), std::string::npos) << text;  // "時" in UTF-8
}

// ---- PNG files ----

TEST(Png, RoundTripKeepsEveryByteWithAndWithoutAlpha) {
  TTempFolder folder;
  for (const bool withAlpha : {true, false}) {
    const TImage image = NoiseImage(37, 19, withAlpha ? 7 : 8, withAlpha);
    const fs::path path = folder.Path / (withAlpha ? "rgba.png" : "rgb.png");
    std::string error;
    ASSERT_TRUE(WritePng(path.string(), image, &error)) << error;
    TImage read;
    ASSERT_TRUE(ReadPng(path.string(), read, &error)) << error;
    EXPECT_EQ(read.Width, 37);
    EXPECT_EQ(read.Height, 19);
    EXPECT_EQ(read.Pixels, image.Pixels);
    // Colour type in the header: 6 is RGBA, 2 is RGB (opaque frames need no alpha).
    const std::vector<uint8_t> bytes = FileBytes(path);
    ASSERT_GT(bytes.size(), 25u);
    EXPECT_EQ(bytes[25], withAlpha ? 6 : 2);
  }
  EXPECT_EQ(Listing(folder.Path), (std::vector<std::string>{"rgb.png", "rgba.png"}));
}

TEST(Png, UnwritablePathsFailWithAMessageAndLeaveNoFile) {
  TTempFolder folder;
  const TImage image = NoiseImage(8, 8, 1, false);
  std::string error;
  const fs::path missing = folder.Path / "no-such-folder" / "frame.png";
  EXPECT_FALSE(WritePng(missing.string(), image, &error));
  EXPECT_NE(error.find(missing.string()), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(WritePng(folder.Path.string() + "/", image, &error));
  EXPECT_FALSE(error.empty());

  fs::create_directory(folder.Path / "taken");
  error.clear();
  EXPECT_FALSE(WritePng((folder.Path / "taken").string(), image, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(folder.Path / "taken"));

  TImage mismatched = image;
  mismatched.Pixels.pop_back();
  EXPECT_FALSE(WritePng((folder.Path / "bad.png").string(), mismatched, nullptr));
  EXPECT_FALSE(WritePng((folder.Path / "empty.png").string(), TImage{}, nullptr));

  EXPECT_EQ(Listing(folder.Path), (std::vector<std::string>{"taken"}));
  EXPECT_TRUE(fs::is_empty(folder.Path / "taken"));
}

// Writes onto a 64 KiB tmpfs; needs the right to mount, as root in most containers has.
class PngOnFullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    Mount = Folder.Path / "mnt";
    fs::create_directory(Mount);
    Mounted = mount("tundrel-test", Mount.c_str(), "tmpfs", 0, "size=64k") == 0;
  }
  void TearDown() override {
    if (Mounted) umount(Mount.c_str());
  }
  TTempFolder Folder;
  fs::path Mount;
  bool Mounted = false;
};

TEST_F(PngOnFullDisk, FailedWriteKeepsTheEarlierFileAndLeavesNoTemporary) {
  if (!Mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
  const fs::path path = Mount / "frame.png";
  const TImage small = NoiseImage(16, 16, 3, true);
  std::string error;
  ASSERT_TRUE(WritePng(path.string(), small, &error)) << error;
  const std::vector<uint8_t> smallBytes = FileBytes(path);

  // Noise does not compress: about 1 MiB that cannot fit in 64 KiB.
  const TImage large = NoiseImage(512, 512, 4, true);
  EXPECT_FALSE(WritePng(path.string(), large, &error));
  EXPECT_NE(error.find("frame.png"), std::string::npos) << error;
  EXPECT_EQ(FileBytes(path), smallBytes);
  EXPECT_EQ(Listing(Mount), (std::vector<std::string>{"frame.png"}));
}

TEST(Png, ReadRejectsMissingCorruptAndTruncatedFilesAndKeepsTheImage) {
  TTempFolder folder;
  const TImage kept = NoiseImage(3, 2, 9, true);
  TImage image = kept;
  std::string error;
  EXPECT_FALSE(ReadPng((folder.Path / "absent.png").string(), image, &error));
  EXPECT_FALSE(error.empty());

  const fs::path garbage = folder.Path / "garbage.png";
  std::ofstream(garbage, std::ios::binary) << "this is not a picture";
  EXPECT_FALSE(ReadPng(garbage.string(), image, &error));

  const fs::path whole = folder.Path / "whole.png";
  ASSERT_TRUE(WritePng(whole.string(), NoiseImage(64, 64, 10, true), &error)) << error;
  const std::vector<uint8_t> bytes = FileBytes(whole);
  const fs::path cut = folder.Path / "cut.png";
  std::ofstream(cut, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size() / 2));
  EXPECT_FALSE(ReadPng(cut.string(), image, &error));

  EXPECT_EQ(image.Width, kept.Width);
  EXPECT_EQ(image.Pixels, kept.Pixels);
}
