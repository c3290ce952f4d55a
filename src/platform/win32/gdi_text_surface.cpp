// The GDI text surface: CreateFontW, SetTextColor, SetBkMode, TextOutW and GetTextExtentPoint32W
// on the device context it was given.
#include "gdi_text_surface.h"

#include "wide_text.h"
#include "win32_dpi.h"

TGdiTextSurface::TGdiTextSurface(HDC dc) : Dc(dc) {
  // The screen's resolution, as the font size in points is meant for the screen.
  Ppi = SystemPixelsPerInch();
}

TGdiTextSurface::~TGdiTextSurface() {
  if (Font) DeleteObject(Font);
}

TTextRect TGdiTextSurface::ClipBox() {
  RECT box = {};
  if (GetClipBox(Dc, &box) == ERROR) return TTextRect{};
  return TTextRect{box.left, box.top, box.right, box.bottom};
}

int TGdiTextSurface::PixelsPerInch() {
  return Ppi;
}

void TGdiTextSurface::SetPixelsPerInch(int pixelsPerInch) {
  if (pixelsPerInch > 0) Ppi = pixelsPerInch;
}

void TGdiTextSurface::SetFont(const TFontSpec& font) {
  const bool sameFace =
      Font && font.Name == Wanted.Name && font.Size == Wanted.Size && FontPpi == Ppi;
  Wanted = font;
  if (sameFace) return;
  // A negative height asks for the character height, which is what a size in points means.
  const int height = -MulDiv(font.Size, Ppi, 72);
  const std::wstring face = WideFromUtf8(font.Name);
  HFONT made = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  if (!made) return;  // the previous font stays in use
  if (Font) DeleteObject(Font);
  Font = made;
  Height = height;
  FontPpi = Ppi;
}

void TGdiTextSurface::SetTransparentBackground(bool transparent) {
  Transparent = transparent;
}

void TGdiTextSurface::DrawText(int x, int y, const std::string& text) {
  const std::wstring wide = WideFromUtf8(text);
  if (wide.empty()) return;
  HGDIOBJ oldFont = Font ? SelectObject(Dc, Font) : nullptr;
  const COLORREF oldColour = SetTextColor(Dc, RGB(Wanted.Red, Wanted.Green, Wanted.Blue));
  const int oldMode = SetBkMode(Dc, Transparent ? TRANSPARENT : OPAQUE);
  const UINT oldAlign = SetTextAlign(Dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  TextOutW(Dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
  SetTextAlign(Dc, oldAlign);
  SetBkMode(Dc, oldMode);
  SetTextColor(Dc, oldColour);
  if (oldFont) SelectObject(Dc, oldFont);
}

SIZE TGdiTextSurface::TextExtent(const std::string& text) {
  SIZE extent = {0, 0};
  const std::wstring wide = WideFromUtf8(text);
  if (wide.empty()) return extent;
  HGDIOBJ oldFont = Font ? SelectObject(Dc, Font) : nullptr;
  if (!GetTextExtentPoint32W(Dc, wide.c_str(), static_cast<int>(wide.size()), &extent))
    extent = SIZE{0, 0};
  if (oldFont) SelectObject(Dc, oldFont);
  return extent;
}
