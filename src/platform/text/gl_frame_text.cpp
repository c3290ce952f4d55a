// TGLFrameText: a read-modify-write of the text's rectangle. GL rows run bottom-up and the
// image's top-down, so the patch is turned over after the read and again before the write.
#include "text/gl_frame_text.h"

#include <algorithm>
#include <utility>

#include "gl_frame_patch.h"

namespace {

void TurnOver(TImage& image) {
  const size_t rowBytes = static_cast<size_t>(image.Width) * 4;
  for (int top = 0, bottom = image.Height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(image.PixelAt(0, top), image.PixelAt(0, top) + rowBytes,
                     image.PixelAt(0, bottom));
}

bool SameFont(const TFontSpec& a, const TFontSpec& b) {
  return a.Name == b.Name && a.Size == b.Size && a.Red == b.Red && a.Green == b.Green &&
         a.Blue == b.Blue;
}

}  // namespace

TGLFrameText::TGLFrameText(std::function<TTextRect()> frame) : Frame(std::move(frame)) {}

void TGLFrameText::SetFont(const TFontSpec& font) {
  if (!SameFont(font, Font)) InkValid = false;
  Font = font;
  Glyphs.SetFont(font);
}

void TGLFrameText::SetTransparentBackground(bool transparent) {
  if (transparent != Transparent) InkValid = false;
  Transparent = transparent;
  Glyphs.SetTransparentBackground(transparent);
}

void TGLFrameText::DrawText(int x, int y, const std::string& text) {
  if (!InkValid || x != InkX || y != InkY || text != InkText ||
      Glyphs.PixelsPerInch() != InkPixelsPerInch) {
    Glyphs.LayOut(x, y, text, Ink);
    InkValid = true;
    InkX = x;
    InkY = y;
    InkText = text;
    InkPixelsPerInch = Glyphs.PixelsPerInch();
  }
  if (Ink.Empty()) return;
  const TTextRect frame = Frame();
  const long long left = std::max<long long>(Ink.Left, frame.Left);
  const long long top = std::max<long long>(Ink.Top, frame.Top);
  const long long right = std::min<long long>(Ink.Right, frame.Right);
  const long long bottom = std::min<long long>(Ink.Bottom, frame.Bottom);
  if (left >= right || top >= bottom) return;
  Patch.Width = static_cast<int>(right - left);
  Patch.Height = static_cast<int>(bottom - top);
  Patch.Pixels.resize(static_cast<size_t>(Patch.Width) * static_cast<size_t>(Patch.Height) * 4);
  // Window coordinates of the patch's lower-left pixel.
  const int glX = static_cast<int>(left - frame.Left);
  const int glY = static_cast<int>(frame.Bottom - bottom);

  ReadFramePatch(glX, glY, Patch.Width, Patch.Height, Patch.Pixels.data());
  TurnOver(Patch);
  BlendInk(Patch, Ink, left, top);
  TurnOver(Patch);
  WriteFramePatch(glX, glY, Patch.Width, Patch.Height, Patch.Pixels.data());
}
