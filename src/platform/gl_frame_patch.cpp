// The frame patch: glReadPixels, then glDrawPixels at a raster position placed to the pixel,
// straight or through the blending stage.
// The pixel store keeps its defaults (4-byte alignment, no row length or skips), which 4-byte
// pixels satisfy.
#include "gl_frame_patch.h"

#include <GL/gl.h>

#include <initializer_list>

void ReadFramePatch(int x, int y, int width, int height, void* rgba) {
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

namespace {

void DrawFramePatch(int x, int y, int width, int height, const void* rgba, bool blend) {
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT |
               GL_PIXEL_MODE_BIT);
  for (GLenum stage : {GL_ALPHA_TEST, GL_BLEND, GL_COLOR_LOGIC_OP, GL_DEPTH_TEST, GL_DITHER, GL_FOG,
                       GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_TEXTURE_1D, GL_TEXTURE_2D})
    glDisable(stage);
  if (blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  }
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
  glBitmap(0, 0, 0, 0, static_cast<GLfloat>(x - viewport[0]), static_cast<GLfloat>(y - viewport[1]),
           nullptr);
  glDrawPixels(width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPopAttrib();
}

}  // namespace

void WriteFramePatch(int x, int y, int width, int height, const void* rgba) {
  DrawFramePatch(x, y, width, height, rgba, false);
}

void BlendFramePatch(int x, int y, int width, int height, const void* premultipliedRgba) {
  DrawFramePatch(x, y, width, height, premultipliedRgba, true);
}
