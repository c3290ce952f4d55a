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

constexpr size_t MaxLayouts = 16;

bool SameFont(const TFontSpec& a, const TFontSpec& b) {
  return a.Name == b.Name && a.Size == b.Size && a.Red == b.Red && a.Green == b.Green &&
         a.Blue == b.Blue;
}

}  // namespace

TGLFrameText::TGLFrameText(std::function<TTextRect()> frame) : Frame(std::move(frame)) {}

void TGLFrameText::SetFont(const TFontSpec& font) {
  Font = font;
  Glyphs.SetFont(font);
}

void TGLFrameText::SetTransparentBackground(bool transparent) {
  Transparent = transparent;
  Glyphs.SetTransparentBackground(transparent);
}

void TGLFrameText::DrawText(int x, int y, const std::string& text) {
  const int pixelsPerInch = Glyphs.PixelsPerInch();
  auto samePlace = [&](const TLayout& l) {
    return l.X == x && l.Y == y && SameFont(l.Font, Font) && l.Transparent == Transparent &&
           l.PixelsPerInch == pixelsPerInch;
  };
  auto layout = std::find_if(Layouts.begin(), Layouts.end(), samePlace);
  if (layout == Layouts.end()) {
    // A few places at most (one a monitor); a surface written all over starts its list afresh.
    if (Layouts.size() >= MaxLayouts) Layouts.clear();
    Layouts.push_back(TLayout{Font, Transparent, x, y, pixelsPerInch, std::string(), TTextInk()});
    layout = Layouts.end() - 1;
    Glyphs.LayOut(x, y, text, layout->Ink);
    layout->Text = text;
  } else if (layout->Text != text) {
    Glyphs.LayOut(x, y, text, layout->Ink);
    layout->Text = text;
  }
  const TTextInk& ink = layout->Ink;
  if (ink.Empty()) return;
  const TTextRect frame = Frame();
  const long long left = std::max<long long>(ink.Left, frame.Left);
  const long long top = std::max<long long>(ink.Top, frame.Top);
  const long long right = std::min<long long>(ink.Right, frame.Right);
  const long long bottom = std::min<long long>(ink.Bottom, frame.Bottom);
  if (left >= right || top >= bottom) return;
  Patch.Width = static_cast<int>(right - left);
  Patch.Height = static_cast<int>(bottom - top);
  Patch.Pixels.resize(static_cast<size_t>(Patch.Width) * static_cast<size_t>(Patch.Height) * 4);
  // Window coordinates of the patch's lower-left pixel.
  const int glX = static_cast<int>(left - frame.Left);
  const int glY = static_cast<int>(frame.Bottom - bottom);

  ReadFramePatch(glX, glY, Patch.Width, Patch.Height, Patch.Pixels.data());
  TurnOver(Patch);
  BlendInk(Patch, ink, left, top);
  TurnOver(Patch);
  WriteFramePatch(glX, glY, Patch.Width, Patch.Height, Patch.Pixels.data());
}
