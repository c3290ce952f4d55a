// TImage: an RGBA picture in memory, 8 bits a channel, rows from the top down. The offscreen
// surface presents its frames into one, the text surface draws onto it, the PNG writer saves it.
#pragma once

#include <cstdint>
#include <vector>

struct TImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;  // Width * Height * 4 bytes: R, G, B, A; row 0 is the top

  uint8_t* PixelAt(int x, int y) { return &Pixels[(static_cast<size_t>(y) * Width + x) * 4]; }
  const uint8_t* PixelAt(int x, int y) const {
    return &Pixels[(static_cast<size_t>(y) * Width + x) * 4];
  }
};
