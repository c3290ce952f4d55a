// TGLFrameText: a stamp of the text's rectangle blended over the frame. GL rows run bottom-up
// and the image's top-down, so the stamp is turned over once it is made.
#include "text/gl_frame_text.h"

#include <algorithm>
#include <utility>

namespace {

void TurnOver(TImage& image) {
  const size_t rowBytes = static_cast<size_t>(image.Width) * 4;
  for (int top = 0, bottom = image.Height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(image.PixelAt(0, top), image.PixelAt(0, top) + rowBytes,
                     image.PixelAt(0, bottom));
}

constexpr size_t MaxLayouts = 16;

bool SameRect(const TTextRect& a, const TTextRect& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

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
    if (Layouts.size() >= MaxLayouts) {
      ReleaseTextures();
      Layouts.clear();
    }
    Layouts.push_back(TLayout{Font,
                              Transparent,
                              x,
                              y,
                              pixelsPerInch,
                              std::string(),
                              TTextInk(),
                              TImage(),
                              {},
                              {},
                              false});
    layout = Layouts.end() - 1;
    Glyphs.LayOut(x, y, text, layout->Ink);
    layout->Text = text;
  } else if (layout->Text != text) {
    Glyphs.LayOut(x, y, text, layout->Ink);
    layout->Text = text;
    layout->Stamp.Pixels.clear();
  }
  const TTextInk& ink = layout->Ink;
  if (ink.Empty()) return;
  const TTextRect frame = Frame();
  const long long left = std::max<long long>(ink.Left, frame.Left);
  const long long top = std::max<long long>(ink.Top, frame.Top);
  const long long right = std::min<long long>(ink.Right, frame.Right);
  const long long bottom = std::min<long long>(ink.Bottom, frame.Bottom);
  if (left >= right || top >= bottom) return;
  const TTextRect inside{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
                         static_cast<int>(bottom)};
  TImage& stamp = layout->Stamp;
  if (stamp.Pixels.empty() || !SameRect(layout->StampRect, inside)) {
    // Glyphs composited over transparent black keep the text colour times its coverage, and
    // their combined coverage as alpha.
    stamp.Width = inside.Right - inside.Left;
    stamp.Height = inside.Bottom - inside.Top;
    stamp.Pixels.assign(static_cast<size_t>(stamp.Width) * static_cast<size_t>(stamp.Height) * 4,
                        0);
    BlendInk(stamp, ink, left, top);
    TurnOver(stamp);
    layout->StampRect = inside;
    layout->Texture = layout->Kept.Keep(stamp.Width, stamp.Height, stamp.Pixels.data());
  }
  // Window coordinates of the stamp's lower-left pixel.
  const int glX = static_cast<int>(left - frame.Left);
  const int glY = static_cast<int>(frame.Bottom - bottom);
  if (layout->Texture)
    layout->Kept.Blend(glX, glY, frame.Right - frame.Left, frame.Bottom - frame.Top);
  else
    BlendFramePatch(glX, glY, stamp.Width, stamp.Height, stamp.Pixels.data());
}

void TGLFrameText::ReleaseTextures() {
  for (TLayout& layout : Layouts) {
    layout.Kept.Release();
    layout.Texture = false;
  }
}
