// The frame patch: glReadPixels, then glDrawPixels at a raster position placed to the pixel,
// straight or through the blending stage; or a texture drawn on a rectangle of whole pixels.
// The pixel store keeps its defaults (4-byte alignment, no row length or skips), which 4-byte
// pixels satisfy.
#include "gl_frame_patch.h"

#include <GL/gl.h>

#include <initializer_list>

void ReadFramePatch(int x, int y, int width, int height, void* rgba) {
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

namespace {

// The per-fragment stages that would change a patch's pixels on their way into the frame.
constexpr GLenum PatchStages[] = {GL_ALPHA_TEST, GL_BLEND,     GL_COLOR_LOGIC_OP, GL_DEPTH_TEST,
                                  GL_DITHER,     GL_FOG,       GL_SCISSOR_TEST,   GL_STENCIL_TEST,
                                  GL_TEXTURE_1D, GL_TEXTURE_2D};

// Lets a patch's pixels through untouched, or composited over the frame's where blend says so,
// and keeps the frame's alpha.
void SetPatchStages(bool blend) {
  for (GLenum stage : PatchStages) glDisable(stage);
  if (blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  }
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
}

void DrawFramePatch(int x, int y, int width, int height, const void* rgba, bool blend) {
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT |
               GL_PIXEL_MODE_BIT);
  SetPatchStages(blend);
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

bool TBlendedPatch::Keep(int width, int height, const void* premultipliedRgba) {
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  auto powerOfTwo = [&](int n) {
    int p = 1;
    while (p < n && p <= largest / 2) p *= 2;
    return p;
  };
  const int textureWidth = powerOfTwo(width), textureHeight = powerOfTwo(height);
  if (width <= 0 || height <= 0 || textureWidth < width || textureHeight < height) {
    Release();
    return false;
  }
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  if (Name == 0) glGenTextures(1, &Name);
  glBindTexture(GL_TEXTURE_2D, Name);
  if (textureWidth != TextureWidth || textureHeight != TextureHeight) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, textureWidth, textureHeight, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    // Each pixel's centre samples exactly its own texel.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    TextureWidth = textureWidth;
    TextureHeight = textureHeight;
  }
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                  premultipliedRgba);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  Width = width;
  Height = height;
  return true;
}

void TBlendedPatch::Blend(int x, int y, int frameWidth, int frameHeight) const {
  if (Name == 0) return;
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TRANSFORM_BIT |
               GL_VIEWPORT_BIT | GL_TEXTURE_BIT);
  SetPatchStages(true);
  // The texels themselves, whatever the lighting would make of the rectangle.
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, Name);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  // Window coordinates over the whole drawable, as pixel rectangles are drawn wherever the
  // viewport lies.
  glViewport(0, 0, frameWidth, frameHeight);
  for (GLenum matrix : {GL_TEXTURE, GL_MODELVIEW, GL_PROJECTION}) {
    glMatrixMode(matrix);
    glPushMatrix();
    glLoadIdentity();
  }
  glOrtho(0, frameWidth, 0, frameHeight, -1, 1);
  const float s = static_cast<float>(Width) / static_cast<float>(TextureWidth);
  const float t = static_cast<float>(Height) / static_cast<float>(TextureHeight);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2i(x, y);
  glTexCoord2f(s, 0);
  glVertex2i(x + Width, y);
  glTexCoord2f(s, t);
  glVertex2i(x + Width, y + Height);
  glTexCoord2f(0, t);
  glVertex2i(x, y + Height);
  glEnd();
  for (GLenum matrix : {GL_PROJECTION, GL_MODELVIEW, GL_TEXTURE}) {
    glMatrixMode(matrix);
    glPopMatrix();
  }
  glPopAttrib();
}

void TBlendedPatch::Release() {
  if (Name != 0) glDeleteTextures(1, &Name);
  Name = 0;
  Width = Height = TextureWidth = TextureHeight = 0;
}
