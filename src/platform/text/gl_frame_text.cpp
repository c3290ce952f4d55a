// TGLFrameText: a read-modify-write of the text's rectangle. GL rows run bottom-up and the
// image's top-down, so the patch is turned over after the read and again before the write.
#include "text/gl_frame_text.h"

#include <GL/gl.h>

#include <algorithm>
#include <utility>

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
  const GLint glX = static_cast<GLint>(left - frame.Left);
  const GLint glY = static_cast<GLint>(frame.Bottom - bottom);

  // RGBA rows are 4-byte aligned, so the default pack and unpack alignment serve.
  glReadPixels(glX, glY, Patch.Width, Patch.Height, GL_RGBA, GL_UNSIGNED_BYTE, Patch.Pixels.data());
  TurnOver(Patch);
  BlendInk(Patch, Ink, left, top);
  TurnOver(Patch);

  // The pixels go back unchanged by any per-fragment stage, and the frame's alpha stays as the
  // scene left it.
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT |
               GL_PIXEL_MODE_BIT);
  for (GLenum stage : {GL_ALPHA_TEST, GL_BLEND, GL_COLOR_LOGIC_OP, GL_DEPTH_TEST, GL_DITHER, GL_FOG,
                       GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_TEXTURE_1D, GL_TEXTURE_2D})
    glDisable(stage);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
  glPixelZoom(1, 1);
  // The raster position goes to the viewport's corner (exactly, through identity matrices), and
  // glBitmap moves it from there by whole pixels, wherever the viewport lies.
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glRasterPos2i(-1, -1);
  glBitmap(0, 0, 0, 0, static_cast<GLfloat>(glX - viewport[0]),
           static_cast<GLfloat>(glY - viewport[1]), nullptr);
  glDrawPixels(Patch.Width, Patch.Height, GL_RGBA, GL_UNSIGNED_BYTE, Patch.Pixels.data());
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPopAttrib();
}
