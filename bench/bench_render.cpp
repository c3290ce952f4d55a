// The frame benchmark: one camera update and one rendered frame at 1920x1080 on an offscreen
// context (Mesa's software rasteriser), over the world of seed 1 after 60 simulated seconds.
// The timing includes reading the frame back, which is how the offscreen surface presents.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "clock.h"
#include "drawer.h"
#include "egl/offscreen_surface.h"
#include "population.h"
#include "random.h"
#include "species.h"
#include "world.h"

namespace {

constexpr double FrameDt = 1.0 / 60.0;  // seconds
constexpr double Pi = 3.141592653589793;

void BM_UpdateCameraAndRender(benchmark::State& state) {
  std::string error;
  auto surface = TOffscreenSurface::Create(1920, 1080, error);
  if (!surface) {
    state.SkipWithError(error.c_str());
    return;
  }
  TManualClock clock(0.0);
  SetClockSource(&clock);
  Randomize(1);
  auto env = std::make_unique<TEnv>(1000.0);
  TPredator* predator = CreateStartPopulation(*env);
  {
    PreviewMode = false;
    TDrawer drawer(*surface, *env);
    drawer.FollowedUnit = predator;
    drawer.OrbitAngle = Pi;
    drawer.OrbitDistance = 60.0;
    drawer.Resize(1920, 1080);
    // 60 simulated seconds, the camera following as it does in the saver.
    for (int64_t frame = 1; frame <= 60 * 60; ++frame) {
      clock.Set(static_cast<double>(frame) * FrameDt);
      drawer.UpdateCamera(env->Step());
      TopUpPopulation(*env);
    }
    for (auto _ : state) {
      drawer.UpdateCamera(FrameDt);
      drawer.Render();
    }
  }
  env.reset();
  SetClockSource(nullptr);
}
BENCHMARK(BM_UpdateCameraAndRender)->Unit(benchmark::kMillisecond);

}  // namespace
