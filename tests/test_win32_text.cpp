// The Windows text pieces: the GDI text surface drawing on a memory bitmap (font size for the
// screen's pixels per inch, colour, transparent background, placement, clip box), the same text
// written into an OpenGL frame, the user's long time text, and the code-page conversions behind
// captions and text output. Beside them, whether a form window is seen as the system's messages
// to it say.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms.h"
#include "gdi_text_surface.h"
#include "text_surface.h"
#include "wgl_window_surface.h"
#include "wide_text.h"
#include "windows_api.h"

namespace {

// A 32-bit top-down bitmap selected into a memory device context, filled with one colour.
class TBitmapCanvas {
 public:
  TBitmapCanvas(int width, int height, COLORREF fill) : Width(width), Height(height) {
    Dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    Bitmap =
        CreateDIBSection(Dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&Bits), nullptr, 0);
    Old = SelectObject(Dc, Bitmap);
    RECT all = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(Dc, &all, brush);
    DeleteObject(brush);
  }
  ~TBitmapCanvas() {
    SelectObject(Dc, Old);
    DeleteObject(Bitmap);
    DeleteDC(Dc);
  }

  COLORREF At(int x, int y) const {
    GdiFlush();
    const unsigned char* p = Bits + (static_cast<size_t>(y) * Width + x) * 4;  // B, G, R, x
    return RGB(p[2], p[1], p[0]);
  }
  // The bounding box of the pixels that are not the given colour; empty when there are none.
  RECT Changed(COLORREF background) const {
    RECT box = {Width, Height, 0, 0};
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x)
        if (At(x, y) != background) {
          box.left = std::min<LONG>(box.left, x);
          box.top = std::min<LONG>(box.top, y);
          box.right = std::max<LONG>(box.right, x + 1);
          box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    return box;
  }
  bool Contains(COLORREF colour) const {
    for (int y = 0; y < Height; ++y)
      for (int x = 0; x < Width; ++x)
        if (At(x, y) == colour) return true;
    return false;
  }

  HDC Dc;

 private:
  int Width, Height;
  HBITMAP Bitmap;
  HGDIOBJ Old;
  unsigned char* Bits = nullptr;
};

const COLORREF Yellow = RGB(255, 255, 0);
const COLORREF Blue = RGB(0, 0, 128);

TFontSpec ClockFont(int size) {
  TFontSpec font;
  font.Name = "Verdana";
  font.Size = size;
  font.Red = 255;
  font.Green = 255;
  font.Blue = 0;
  return font;
}

TEST(GdiTextSurface, ClipBoxIsTheWholeBitmapAndFontSizeFollowsTheScreensPixelsPerInch) {
  TBitmapCanvas canvas(320, 240, Blue);
  TGdiTextSurface surface(canvas.Dc);
  const TTextRect clip = surface.ClipBox();
  EXPECT_EQ(clip.Left, 0);
  EXPECT_EQ(clip.Top, 0);
  EXPECT_EQ(clip.Right, 320);
  EXPECT_EQ(clip.Bottom, 240);

  HDC screen = GetDC(nullptr);
  const int ppi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(surface.PixelsPerInch(), ppi);
  surface.SetFont(ClockFont(36));
  // 36 points of a character height, rounded to the nearest pixel: 48 at 96 pixels per inch.
  EXPECT_EQ(surface.FontHeight(), -((36 * ppi * 2 + 72) / 144));
  // Told the density of a monitor at 200 %, it makes the same font anew for that: 96 pixels.
  surface.SetPixelsPerInch(192);
  surface.SetFont(ClockFont(36));
  EXPECT_EQ(surface.FontHeight(), -96);
  EXPECT_DOUBLE_EQ(surface.PixelScale(), 2.0);
}

TEST(GdiTextSurface, TextIsYellowWithoutABackgroundAndStartsAtTheGivenCorner) {
  TBitmapCanvas canvas(320, 120, Blue);
  TGdiTextSurface surface(canvas.Dc);
  surface.SetTransparentBackground(true);
  surface.SetFont(ClockFont(24));
  surface.DrawText(24, 24, "12:34:56");

  const RECT ink = canvas.Changed(Blue);
  ASSERT_LT(ink.left, ink.right) << "nothing was drawn";
  // The cell's top-left corner is at (24, 24); glyphs begin just inside it.
  EXPECT_GE(ink.left, 24);
  EXPECT_LT(ink.left, 24 + 8);
  EXPECT_GE(ink.top, 24);
  EXPECT_LT(ink.top, 24 + 16);
  EXPECT_TRUE(canvas.Contains(Yellow));
  // No background box: every pixel is the old blue, the yellow ink, or an edge between them.
  EXPECT_FALSE(canvas.Contains(RGB(255, 255, 255)));
  EXPECT_EQ(canvas.At(ink.left - 1, ink.top), Blue);
}

TEST(GdiTextSurface, OpaqueBackgroundFillsTheCellAndTheDeviceContextIsLeftAsItWas) {
  TBitmapCanvas canvas(200, 80, Blue);
  SetTextColor(canvas.Dc, RGB(1, 2, 3));
  SetBkMode(canvas.Dc, OPAQUE);
  SetBkColor(canvas.Dc, RGB(0, 255, 0));
  TGdiTextSurface surface(canvas.Dc);
  surface.SetTransparentBackground(false);
  surface.SetFont(ClockFont(12));
  surface.DrawText(10, 10, "I");
  EXPECT_TRUE(canvas.Contains(RGB(0, 255, 0)));  // the cell's background
  EXPECT_EQ(GetTextColor(canvas.Dc), RGB(1, 2, 3));
  EXPECT_EQ(GetBkMode(canvas.Dc), OPAQUE);
}

TEST(GdiTextSurface, NonAsciiTextIsDrawnFromUtf8) {
  TBitmapCanvas canvas(200, 60, Blue);
  TGdiTextSurface surface(canvas.Dc);
  surface.SetFont(ClockFont(14));
  surface.DrawText(4, 4, "\xD1\x87");  // CYRILLIC SMALL LETTER CHE
  EXPECT_TRUE(canvas.Contains(Yellow));
}

// The clock written into a window's OpenGL frame carries exactly the pixels GDI draws on a
// bitmap of the frame's colour: placement, row order, colour order, clipping at the frame's edges
// and the antialiased edges all agree; the text goes in before SwapBuffers and GL state stays.
TEST(GdiFrameText, TextInTheFrameIsGdisOwnAndGlStateIsKept) {
  const int width = 320, height = 120;
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                nullptr, nullptr, nullptr, nullptr);
  std::string error;
  std::unique_ptr<TWglWindowSurface> surface = TWglWindowSurface::Create(window, error);
  ASSERT_TRUE(surface) << error;
  EXPECT_TRUE(surface->TextGoesIntoFrame());

  glViewport(0, 0, width, height);
  glClearColor(0, 0, 128 / 255.0f, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  unsigned char ground[4];
  glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, ground);
  glEnable(GL_BLEND);
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(0.25f, 0.5f, 0);
  GLfloat before[16], after[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, before);

  TTextSurface& text = surface->Text();
  // The whole window lies on one monitor, whose density the text takes.
  text.SelectArea(TTextRect{0, 0, width, height});
  text.SetFont(ClockFont(24));
  text.DrawText(24, 24, "12:34:56");
  text.DrawText(width - 20, height - 20, "88");  // past the right and bottom edges
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  glGetFloatv(GL_MODELVIEW_MATRIX, after);
  EXPECT_TRUE(std::equal(before, before + 16, after));

  std::vector<unsigned char> frame(static_cast<size_t>(width) * height * 4);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
  TBitmapCanvas canvas(width, height, RGB(ground[0], ground[1], ground[2]));
  TGdiTextSurface gdi(canvas.Dc);
  gdi.SetFont(ClockFont(24));
  gdi.DrawText(24, 24, "12:34:56");
  gdi.DrawText(width - 20, height - 20, "88");
  int differ = 0, yellow = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned char* pixel = &frame[(static_cast<size_t>(height - 1 - y) * width + x) * 4];
      if (RGB(pixel[0], pixel[1], pixel[2]) != canvas.At(x, y)) ++differ;
      if (canvas.At(x, y) == Yellow) ++yellow;
    }
  EXPECT_EQ(differ, 0) << "of " << width * height << " pixels";
  EXPECT_GT(yellow, 100);
  surface.reset();
  DestroyWindow(window);
}

TEST(WideText, Utf8AndCodePage1251RoundTripThroughUtf16) {
  EXPECT_EQ(WideFromUtf8("A\xD0\xB6\xE2\x82\xAC"), std::wstring(L"A\x0436\x20AC"));
  EXPECT_EQ(Utf8FromWide(L"A\x0436\x20AC"), "A\xD0\xB6\xE2\x82\xAC");
  EXPECT_EQ(Utf8FromWide(L"abc", 2), "ab");
  // The caption's unit label: EC F1 2F FE ED E8 F2 in code page 1251.
  EXPECT_EQ(WideFromBytes("\xEC\xF1\x2F\xFE\xED\xE8\xF2", 1251),
            std::wstring(L"\x043C\x0441/\x044E\x043D\x0438\x0442"));
  EXPECT_EQ(WideFromUtf8(""), std::wstring());
  EXPECT_EQ(Utf8FromWide(nullptr), "");
}

TEST(LongTime, TextIsTheUsersLongTimeFormatInUtf8) {
  // The two readings may straddle a second; the second attempt then agrees.
  for (int attempt = 0; attempt < 2; ++attempt) {
    wchar_t expected[128];
    ASSERT_GT(GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, expected, 128), 0);
    const std::string text = LongTimeText();
    if (text == Utf8FromWide(expected)) return;
  }
  ADD_FAILURE() << "LongTimeText differs from GetTimeFormatW: " << LongTimeText();
}

// Wine sends a window none of these messages, so they are sent here as Windows sends them: the
// console display's state (off, dimmed, on) in a power-setting broadcast, the session's lock and
// unlock, and the minimise and restore that WM_SIZE reports. Each change of what WindowIsSeen
// says of the form reaches OnSeenChange; windows that are not forms are always seen.
TEST(FormSight, DisplayStateSessionLockAndMinimisingDecideWhetherAFormIsSeen) {
  std::string error;
  ASSERT_TRUE(Application.Connect(error)) << error;
  TForm form{TFormDesign{}};
  int changes = 0;
  form.OnSeenChange = [&](TObject*) { ++changes; };
  const TWindowHandle handle = form.Handle();
  ASSERT_NE(handle, 0u);
  HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(handle)));
  form.Show();
  EXPECT_TRUE(WindowIsSeen(handle));

  struct {
    GUID Setting;
    DWORD Length = sizeof(DWORD);
    DWORD Value = 0;
  } power;
  const GUID consoleDisplayState = {
      0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
  const GUID monitorPowerOn = {
      0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};
  auto broadcast = [&](const GUID& setting, DWORD value) {
    power.Setting = setting;
    power.Value = value;
    const WPARAM settingChange = 0x8013;  // PBT_POWERSETTINGCHANGE
    return SendMessageW(window, WM_POWERBROADCAST, settingChange, reinterpret_cast<LPARAM>(&power));
  };
  // A window of this program that is no form.
  HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 40, 40, nullptr, nullptr, nullptr,
                               nullptr);

  EXPECT_EQ(broadcast(consoleDisplayState, 0), TRUE);
  EXPECT_FALSE(WindowIsSeen(handle)) << "display off";
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(WindowIsSeen(static_cast<TWindowHandle>(reinterpret_cast<uintptr_t>(other))));
  broadcast(monitorPowerOn, 1);
  EXPECT_FALSE(WindowIsSeen(handle)) << "only the console display's state counts";
  broadcast(consoleDisplayState, 2);
  EXPECT_TRUE(WindowIsSeen(handle)) << "dimmed";
  broadcast(consoleDisplayState, 1);
  EXPECT_TRUE(WindowIsSeen(handle)) << "on";
  EXPECT_EQ(changes, 2);

  SendMessageW(window, WM_WTSSESSION_CHANGE, 7, 0);  // WTS_SESSION_LOCK
  EXPECT_FALSE(WindowIsSeen(handle)) << "locked";
  SendMessageW(window, WM_WTSSESSION_CHANGE, 8, 0);  // WTS_SESSION_UNLOCK
  EXPECT_TRUE(WindowIsSeen(handle)) << "unlocked";
  EXPECT_EQ(changes, 4);

  ShowWindow(window, SW_MINIMIZE);
  EXPECT_FALSE(WindowIsSeen(handle)) << "minimised";
  ShowWindow(window, SW_RESTORE);
  EXPECT_TRUE(WindowIsSeen(handle)) << "restored";
  EXPECT_EQ(changes, 6);
  DestroyWindow(other);
}

}  // namespace
