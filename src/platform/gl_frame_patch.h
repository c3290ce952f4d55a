// A rectangle of the OpenGL frame being drawn, read back and written again, or blended over
// without a read-back (OpenGL 1.1 only): the way 2D text goes into a frame before it is
// presented, on every platform.
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
