// A rectangle of the OpenGL frame being drawn, read back and written again, or blended over
// without a read-back, as pixels or from a texture that keeps them (OpenGL 1.1 only): the way 2D
// text goes into a frame before it is presented, on every platform.
#pragma once

// Reads width x height pixels of the current read buffer whose lower-left pixel is at window
// coordinates (x, y), as 4-byte RGBA pixels in rows from the bottom up.
void ReadFramePatch(int x, int y, int width, int height, void* rgba);
// Writes such pixels back at the same place of the current draw buffer, untouched by any
// per-fragment stage, leaving the frame's alpha and every GL state as found.
void WriteFramePatch(int x, int y, int width, int height, const void* rgba);
// Composites such pixels, their colours premultiplied by their alpha, over the same place of the
// current draw buffer (colour = patch + frame * (1 - patch alpha), to within a step of each
// channel), leaving the frame's alpha and every GL state as found.
void BlendFramePatch(int x, int y, int width, int height, const void* premultipliedRgba);

// Premultiplied pixels kept in a texture, so that blending them over the frame again sends it a
// rectangle and nothing more. Every call needs the context that keeps the texture to be current.
class TBlendedPatch {
 public:
  // Keeps width x height pixels as BlendFramePatch takes them; false, keeping nothing, where the
  // context's textures cannot hold them.
  bool Keep(int width, int height, const void* premultipliedRgba);
  // BlendFramePatch of the pixels kept, with their lower-left pixel at window coordinates (x, y),
  // inside a drawable of frameWidth x frameHeight pixels.
  void Blend(int x, int y, int frameWidth, int frameHeight) const;
  // Gives the texture back to the context.
  void Release();

 private:
  unsigned Name = 0;  // the texture, 0 before one is made
  int Width = 0, Height = 0;
  int TextureWidth = 0, TextureHeight = 0;  // powers of two, as OpenGL 1.1 takes them
};
