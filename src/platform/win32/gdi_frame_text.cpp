// The GDI frame text: glReadPixels into a DIB section, TextOutW on it, glDrawPixels back. The
// bitmap runs bottom-up like GL's rows; GDI keeps its pixels as B, G, R, x and GL reads R, G, B,
// A, so red and blue trade places on the way in and again on the way out.
#include "gdi_frame_text.h"

#include <algorithm>
#include <utility>

#include "gl_frame_patch.h"
#include "win32_dpi.h"

namespace {

void SwapRedAndBlue(unsigned char* pixels, int width, int height) {
  unsigned char* end = pixels + static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  for (unsigned char* pixel = pixels; pixel != end; pixel += 4) std::swap(pixel[0], pixel[2]);
}

}  // namespace

TGdiFrameText::TGdiFrameText(HWND window, HDC dc)
    : Wnd(window), WindowDc(dc), MemoryDc(CreateCompatibleDC(dc)) {
  Inks.push_back(std::make_unique<TInk>(MemoryDc));
}

TGdiFrameText::~TGdiFrameText() {
  if (Bitmap) {
    SelectObject(MemoryDc, FirstBitmap);
    DeleteObject(Bitmap);
  }
  if (MemoryDc) DeleteDC(MemoryDc);
}

TTextRect TGdiFrameText::ClipBox() {
  RECT box = {};
  if (GetClipBox(WindowDc, &box) == ERROR) return TTextRect{};
  return TTextRect{box.left, box.top, box.right, box.bottom};
}

void TGdiFrameText::SelectArea(const TTextRect& area) {
  const RECT part = {area.Left, area.Top, area.Right, area.Bottom};
  const int ppi = ClientAreaPixelsPerInch(Wnd, part);
  for (size_t i = 0; i < Inks.size(); ++i)
    if (Inks[i]->Surface.PixelsPerInch() == ppi) {
      Selected = i;
      return;
    }
  Inks.push_back(std::make_unique<TInk>(MemoryDc));
  Inks.back()->Surface.SetPixelsPerInch(ppi);
  Inks.back()->Surface.SetTransparentBackground(Transparent);
  Selected = Inks.size() - 1;
}

void TGdiFrameText::SetFont(const TFontSpec& font) {
  TInk& ink = Current();
  if (font.Name != ink.CellFont.Name || font.Size != ink.CellFont.Size) ink.CellValid = false;
  ink.CellFont = font;
  ink.Surface.SetFont(font);
}

void TGdiFrameText::SetTransparentBackground(bool transparent) {
  Transparent = transparent;
  for (const auto& ink : Inks) ink->Surface.SetTransparentBackground(transparent);
}

bool TGdiFrameText::SizeBitmap(int width, int height) {
  if (Bitmap && width == BitmapWidth && height == BitmapHeight) return true;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP made = CreateDIBSection(MemoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!made || !bits) {
    if (made) DeleteObject(made);
    return false;
  }
  HGDIOBJ old = SelectObject(MemoryDc, made);
  if (Bitmap)
    DeleteObject(Bitmap);
  else
    FirstBitmap = old;
  Bitmap = made;
  Bits = static_cast<unsigned char*>(bits);
  BitmapWidth = width;
  BitmapHeight = height;
  return true;
}

void TGdiFrameText::DrawText(int x, int y, const std::string& text) {
  if (!MemoryDc) return;
  TInk& ink = Current();
  if (!ink.CellValid || text != ink.CellText) {
    const SIZE extent = ink.Surface.TextExtent(text);
    // Glyphs may reach a little past their cell (overhangs, antialiased edges): a quarter of the
    // cell's height around it takes them in.
    const int margin = extent.cy / 4 + 1;
    ink.Cell = TTextRect{-margin, -margin, extent.cx + margin, extent.cy + margin};
    if (extent.cx <= 0 || extent.cy <= 0) ink.Cell = TTextRect{};
    ink.CellText = text;
    ink.CellValid = true;
  }
  const TTextRect& cell = ink.Cell;
  RECT client = {};
  if (!GetClientRect(Wnd, &client)) return;
  const long long left = std::max<long long>(0LL + x + cell.Left, client.left);
  const long long top = std::max<long long>(0LL + y + cell.Top, client.top);
  const long long right = std::min<long long>(0LL + x + cell.Right, client.right);
  const long long bottom = std::min<long long>(0LL + y + cell.Bottom, client.bottom);
  if (left >= right || top >= bottom) return;
  const int width = static_cast<int>(right - left);
  const int height = static_cast<int>(bottom - top);
  if (!SizeBitmap(width, height)) return;
  // Window coordinates of the patch's lower-left pixel.
  const int glX = static_cast<int>(left - client.left);
  const int glY = static_cast<int>(client.bottom - bottom);

  GdiFlush();
  ReadFramePatch(glX, glY, width, height, Bits);
  SwapRedAndBlue(Bits, width, height);
  ink.Surface.DrawText(static_cast<int>(x - left), static_cast<int>(y - top), text);
  GdiFlush();
  SwapRedAndBlue(Bits, width, height);
  WriteFramePatch(glX, glY, width, height, Bits);
}
