// The renderer's test fixture: a world on a real offscreen OpenGL context (Mesa, no display
// needed), an empty scene each case fills, and the pixels of its frames.
#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drawer.h"
#include "egl/offscreen_surface.h"
#include "sim_support.h"

namespace render_test {

inline constexpr int Width = 640;  // pixels
inline constexpr int Height = 480;

// An offscreen surface; a test without one fails (and stops) unless told there is no GL here,
// when it is skipped.
#define MAKE_SURFACE_OR_STOP(target, width, height)                                        \
  do {                                                                                     \
    std::string surfaceError;                                                              \
    target = TOffscreenSurface::Create(width, height, surfaceError);                       \
    if (!target) {                                                                         \
      if (std::getenv("TUNDREL_NO_GL") != nullptr) GTEST_SKIP() << "TUNDREL_NO_GL is set"; \
      FAIL() << "no OpenGL context for the renderer tests: " << surfaceError               \
             << " (set TUNDREL_NO_GL=1 to skip them where there is no GL)";                \
    }                                                                                      \
  } while (false)

struct TPixel {
  int X, Y;
  int R, G, B;
};

// Every pixel of the frame for which keep is true.
inline std::vector<TPixel> PixelsWhere(const TImage& image,
                                       const std::function<bool(const TPixel&)>& keep) {
  std::vector<TPixel> found;
  for (int y = 0; y < image.Height; ++y)
    for (int x = 0; x < image.Width; ++x) {
      const uint8_t* p = image.PixelAt(x, y);
      const TPixel pixel{x, y, p[0], p[1], p[2]};
      if (keep(pixel)) found.push_back(pixel);
    }
  return found;
}

// Puts flake i at (x, y) and height z.
inline void Place(TSnowflakes& flakes, size_t i, double x, double y, double z) {
  TSnowflake flake = flakes.Get(i);
  flake.X = x;
  flake.Y = y;
  flake.Z = z;
  flakes.Set(i, flake);
}

inline bool IsRed(const TPixel& p) {
  return p.R > 0 && p.G == 0 && p.B == 0;
}
inline bool IsYellow(const TPixel& p) {
  return p.R > 0 && p.R == p.G && p.B == 0;
}
inline bool IsGreen(const TPixel& p) {
  return p.G > 0 && p.R == 0 && p.B == 0;
}
inline bool IsGrey(const TPixel& p) {
  return p.R > 0 && p.R == p.G && p.G == p.B;
}
inline bool IsLit(const TPixel& p) {
  return p.R > 0 || p.G > 0 || p.B > 0;
}

class RenderTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    MAKE_SURFACE_OR_STOP(Surface, SurfaceWidth, SurfaceHeight);
    PreviewMode = false;
    Drawer = std::make_unique<TDrawer>(*Surface, *Env);
    Drawer->UseSwitches(&ShowTrail, &ShowTime);
    Drawer->Resize(SurfaceWidth, SurfaceHeight);
    // An empty scene: the snow is carried far off, so each case puts in what it looks at.
    TSnowflakes& flakes = Env->Snowflakes;
    for (size_t i = 0; i < flakes.size(); ++i)
      Place(flakes, i, -1.0e6, flakes.Y(i), flakes.Height(i));
  }
  void TearDown() override {
    Drawer.reset();
    Surface.reset();
    PreviewMode = false;
    WorldTest::TearDown();
  }

  void LookFrom(double eyeX, double eyeY, double eyeZ, double lookX, double lookY, double lookZ) {
    Drawer->EyeX = eyeX;
    Drawer->EyeY = eyeY;
    Drawer->EyeZ = eyeZ;
    Drawer->LookX = lookX;
    Drawer->LookY = lookY;
    Drawer->LookZ = lookZ;
    Drawer->UpX = eyeX;
    Drawer->UpY = eyeY;
  }

  const TImage& Frame() {
    Drawer->Render();
    return Surface->Frame();
  }

  int SurfaceWidth = Width;
  int SurfaceHeight = Height;
  bool ShowTrail = false;
  bool ShowTime = false;
  std::unique_ptr<TOffscreenSurface> Surface;
  std::unique_ptr<TDrawer> Drawer;
};

}  // namespace render_test
