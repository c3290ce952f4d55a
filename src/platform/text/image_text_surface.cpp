// TImageTextSurface: FreeType glyphs blended onto a TImage. The face is looked up once per font
// name and kept; sizes change without reloading. Glyph placement follows GDI's TextOut with
// top alignment: no kerning, hinted advances, the cell top at y.
#include "text/image_text_surface.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdint>

#include "text/utf8.h"

namespace {

// FreeType refuses pixel sizes past 16 bits; larger requests draw nothing.
constexpr long long kMaxPixelSize = 0xFFFF;
constexpr int kPointsPerInch = 72;

struct TColour {
  uint8_t Red;
  uint8_t Green;
  uint8_t Blue;
};

// Rounds a / b to the nearest integer, halves away from zero, as GDI's MulDiv does; b > 0.
long long RoundedDivide(long long a, long long b) {
  return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

bool ImageIsUsable(const TImage& image) {
  return image.Width > 0 && image.Height > 0 &&
         image.Pixels.size() >=
             static_cast<size_t>(image.Width) * static_cast<size_t>(image.Height) * 4;
}

// "Over" compositing of one colour with coverage 0..255 onto an RGBA pixel.
void BlendPixel(uint8_t* pixel, TColour colour, unsigned coverage) {
  if (coverage == 0) return;
  const unsigned keep = 255 - coverage;
  pixel[0] = static_cast<uint8_t>((colour.Red * coverage + pixel[0] * keep + 127) / 255);
  pixel[1] = static_cast<uint8_t>((colour.Green * coverage + pixel[1] * keep + 127) / 255);
  pixel[2] = static_cast<uint8_t>((colour.Blue * coverage + pixel[2] * keep + 127) / 255);
  pixel[3] = static_cast<uint8_t>(coverage + (pixel[3] * keep + 127) / 255);
}

// Coverage 0..255 of one bitmap sample; other pixel modes (colour bitmaps) are not drawn.
unsigned Coverage(const FT_Bitmap& bitmap, const unsigned char* row, unsigned column) {
  if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
    return (row[column >> 3] & (0x80 >> (column & 7))) ? 255 : 0;
  }
  const unsigned value = row[column];
  if (bitmap.num_grays == 256 || bitmap.num_grays < 2) return value;
  return std::min(255u, value * 255 / (bitmap.num_grays - 1));
}

// Copies the coverage of a glyph bitmap whose top-left sample lands on (left, top) into glyph;
// false when the bitmap holds nothing that is drawn.
bool CaptureBitmap(const FT_Bitmap& bitmap, long long left, long long top,
                   TTextInk::TGlyph& glyph) {
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
    return false;
  if (bitmap.buffer == nullptr || bitmap.width == 0 || bitmap.rows == 0) return false;
  glyph.Left = left;
  glyph.Top = top;
  glyph.Width = static_cast<int>(bitmap.width);
  glyph.Rows = static_cast<int>(bitmap.rows);
  glyph.Coverage.resize(static_cast<size_t>(bitmap.width) * bitmap.rows);
  const long long pitch = bitmap.pitch;
  uint8_t* out = glyph.Coverage.data();
  for (long long r = 0; r < bitmap.rows; ++r) {
    // A negative pitch means the rows are stored bottom-up.
    const long long offset = pitch >= 0 ? r * pitch : (bitmap.rows - 1 - r) * -pitch;
    const unsigned char* row = bitmap.buffer + offset;
    for (unsigned c = 0; c < bitmap.width; ++c)
      *out++ = static_cast<uint8_t>(Coverage(bitmap, row, c));
  }
  return true;
}

void Include(TTextInk& ink, long long left, long long top, long long right, long long bottom) {
  if (left >= right || top >= bottom) return;
  if (ink.Empty()) {
    ink.Left = left;
    ink.Top = top;
    ink.Right = right;
    ink.Bottom = bottom;
    return;
  }
  ink.Left = std::min(ink.Left, left);
  ink.Top = std::min(ink.Top, top);
  ink.Right = std::max(ink.Right, right);
  ink.Bottom = std::max(ink.Bottom, bottom);
}

}  // namespace

struct TImageTextSurface::TFontState {
  FT_Library Library = nullptr;
  FT_Face Face = nullptr;
  bool Looked = false;  // a lookup was made for LookedName, found or not
  std::string LookedName;
  std::string File;
  int PixelSize = 0;  // the size set on Face, 0 when none yet

  ~TFontState() {
    if (Face != nullptr) FT_Done_Face(Face);
    if (Library != nullptr) FT_Done_FreeType(Library);
  }

  // Asks fontconfig for the best regular face of the family; fontconfig substitutes a
  // similar family when the name is not installed.
  void Load(const std::string& name) {
    if (Looked && LookedName == name) return;
    Looked = true;
    LookedName = name;
    File.clear();
    PixelSize = 0;
    if (Face != nullptr) {
      FT_Done_Face(Face);
      Face = nullptr;
    }
    if (Library == nullptr) return;

    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return;

    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      FT_Face face = nullptr;
      const char* path = reinterpret_cast<const char*>(file);
      if (FT_New_Face(Library, path, index, &face) == 0) {
        Face = face;
        File = path;
      }
    }
    FcPatternDestroy(match);
  }

  bool SetPixelSize(int pixelSize) {
    if (Face == nullptr || pixelSize <= 0) return false;
    if (pixelSize == PixelSize) return true;
    if (FT_Set_Pixel_Sizes(Face, 0, static_cast<FT_UInt>(pixelSize)) != 0) {
      PixelSize = 0;
      return false;
    }
    PixelSize = pixelSize;
    return true;
  }

  // Ascent and descent of the text cell in pixels. TrueType fonts use the OS/2 Windows
  // metrics, as GDI does, so the cell matches the one TextOut places; others fall back to
  // FreeType's scaled ascender and descender.
  void CellMetrics(long long& ascent, long long& descent) const {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(Face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && Face->units_per_EM > 0 &&
        os2->usWinAscent + os2->usWinDescent > 0) {
      ascent =
          RoundedDivide(static_cast<long long>(os2->usWinAscent) * PixelSize, Face->units_per_EM);
      descent =
          RoundedDivide(static_cast<long long>(os2->usWinDescent) * PixelSize, Face->units_per_EM);
      return;
    }
    ascent = Face->size->metrics.ascender >> 6;
    descent = -(Face->size->metrics.descender >> 6);
  }

  // The glyph for a code point; a space separator the font lacks is drawn as a plain space
  // rather than the missing-glyph box.
  FT_UInt GlyphFor(char32_t c) const {
    FT_UInt glyph = FT_Get_Char_Index(Face, c);
    if (glyph == 0 && IsSpaceSeparator(c)) glyph = FT_Get_Char_Index(Face, ' ');
    return glyph;
  }
};

TImageTextSurface::TImageTextSurface(TImage& image)
    : Image(image), State(std::make_unique<TFontState>()) {
  if (FT_Init_FreeType(&State->Library) != 0) State->Library = nullptr;
}

TImageTextSurface::~TImageTextSurface() = default;

TTextRect TImageTextSurface::ClipBox() {
  TTextRect box;
  box.Right = std::max(0, Image.Width);
  box.Bottom = std::max(0, Image.Height);
  return box;
}

int TImageTextSurface::PixelsPerInch() {
  return Ppi;
}

void TImageTextSurface::SetPixelsPerInch(int pixelsPerInch) {
  Ppi = std::max(1, pixelsPerInch);
}

void TImageTextSurface::SetFont(const TFontSpec& font) {
  Font = font;
  State->Load(font.Name);
}

void TImageTextSurface::SetTransparentBackground(bool transparent) {
  Transparent = transparent;
}

std::string TImageTextSurface::FontFile() const {
  return State->File;
}

// A size past FreeType's limit comes back as kMaxPixelSize + 1, which DrawText refuses.
int TImageTextSurface::FontPixelSize() const {
  const long long size = RoundedDivide(static_cast<long long>(Font.Size) * Ppi, kPointsPerInch);
  return static_cast<int>(std::clamp(size, 0LL, kMaxPixelSize + 1));
}

void TImageTextSurface::DrawText(int x, int y, const std::string& text) {
  if (!ImageIsUsable(Image)) return;
  TTextInk ink;
  LayOut(x, y, text, ink);
  BlendInk(Image, ink, 0, 0);
}

void TImageTextSurface::LayOut(int x, int y, const std::string& text, TTextInk& ink) {
  ink.Red = Font.Red;
  ink.Green = Font.Green;
  ink.Blue = Font.Blue;
  ink.Filled = false;
  ink.GlyphCount = 0;
  ink.Left = ink.Top = ink.Right = ink.Bottom = 0;
  // A surface never given a font draws with the default one, as a new GDI font would.
  State->Load(Font.Name);
  const int pixelSize = FontPixelSize();
  if (pixelSize > kMaxPixelSize || !State->SetPixelSize(pixelSize)) return;
  FT_Face face = State->Face;
  long long ascent = 0;
  long long descent = 0;
  State->CellMetrics(ascent, descent);
  const std::u32string codes = DecodeUtf8(text);

  if (!Transparent) {
    long long width = 0;  // 26.6 fixed point
    for (char32_t c : codes) {
      if (FT_Load_Glyph(face, State->GlyphFor(c), FT_LOAD_DEFAULT) == 0) {
        width += face->glyph->advance.x;
      }
    }
    ink.Filled = true;
    ink.FillLeft = x;
    ink.FillTop = y;
    ink.FillRight = x + ((width + 32) >> 6);
    ink.FillBottom = y + ascent + descent;
    Include(ink, ink.FillLeft, ink.FillTop, ink.FillRight, ink.FillBottom);
  }

  const long long baseline = y + ascent;
  long long pen = static_cast<long long>(x) * 64;  // 26.6 fixed point
  for (char32_t c : codes) {
    if (FT_Load_Glyph(face, State->GlyphFor(c), FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
      continue;
    }
    const FT_GlyphSlot slot = face->glyph;
    if (ink.GlyphCount == ink.Glyphs.size()) ink.Glyphs.emplace_back();
    TTextInk::TGlyph& glyph = ink.Glyphs[ink.GlyphCount];
    if (CaptureBitmap(slot->bitmap, (pen >> 6) + slot->bitmap_left, baseline - slot->bitmap_top,
                      glyph)) {
      ++ink.GlyphCount;
      Include(ink, glyph.Left, glyph.Top, glyph.Left + glyph.Width, glyph.Top + glyph.Rows);
    }
    pen += slot->advance.x;
  }
}

void BlendInk(TImage& image, const TTextInk& ink, long long originX, long long originY) {
  if (!ImageIsUsable(image) || ink.Empty()) return;
  const TColour colour{ink.Red, ink.Green, ink.Blue};
  if (ink.Filled) {
    const long long left = std::max(0LL, ink.FillLeft - originX);
    const long long top = std::max(0LL, ink.FillTop - originY);
    const long long right = std::min<long long>(image.Width, ink.FillRight - originX);
    const long long bottom = std::min<long long>(image.Height, ink.FillBottom - originY);
    for (long long y = top; y < bottom; ++y) {
      for (long long x = left; x < right; ++x) {
        uint8_t* pixel = image.PixelAt(static_cast<int>(x), static_cast<int>(y));
        pixel[0] = pixel[1] = pixel[2] = pixel[3] = 255;
      }
    }
  }
  for (size_t i = 0; i < ink.GlyphCount; ++i) {
    const TTextInk::TGlyph& glyph = ink.Glyphs[i];
    const long long left = glyph.Left - originX;
    const long long top = glyph.Top - originY;
    const long long firstColumn = std::max(0LL, -left);
    const long long lastColumn = std::min<long long>(glyph.Width, image.Width - left);
    const long long firstRow = std::max(0LL, -top);
    const long long lastRow = std::min<long long>(glyph.Rows, image.Height - top);
    for (long long r = firstRow; r < lastRow; ++r) {
      const uint8_t* coverage = &glyph.Coverage[static_cast<size_t>(r * glyph.Width)];
      uint8_t* pixel =
          image.PixelAt(static_cast<int>(left + firstColumn), static_cast<int>(top + r));
      for (long long c = firstColumn; c < lastColumn; ++c, pixel += 4)
        BlendPixel(pixel, colour, coverage[c]);
    }
  }
}
