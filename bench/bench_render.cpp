// The frame benchmarks: one camera update and one rendered frame at 1920x1080 on an offscreen
// context (Mesa's software rasteriser), over the world of seed 1 after 60 simulated seconds,
// drawn as the renderer draws by default and with the plain call sequence (the baseline), with
// the clock written into each frame and without it. Presenting on the offscreen surface finishes
// the frame (glFinish) without reading it back; one benchmark reads every frame back as well. The
// timing is wall-clock time: the rasteriser's own threads do part of the work, and the frame and
// the clear alone give the process's CPU time, those threads included, as well.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <iterator>
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
constexpr int Width = 1920;             // pixels
constexpr int Height = 1080;

// The camera's moving parts: put back before each run, so that every run draws the same frames.
constexpr double TDrawer::*CameraFields[] = {
    &TDrawer::EyeX,    &TDrawer::EyeY,     &TDrawer::EyeZ,     &TDrawer::LookX,   &TDrawer::LookY,
    &TDrawer::LookZ,   &TDrawer::UpX,      &TDrawer::UpY,      &TDrawer::EyeVelX, &TDrawer::EyeVelY,
    &TDrawer::EyeVelZ, &TDrawer::LookVelX, &TDrawer::LookVelY, &TDrawer::LookVelZ};

// The world after 60 simulated seconds of seed 1 with the camera that followed it, built once
// for every benchmark of the program (building it takes seconds).
struct TBenchScene {
  TManualClock Clock{0.0};
  std::unique_ptr<TOffscreenSurface> Surface;
  std::unique_ptr<TEnv> Env;
  std::unique_ptr<TDrawer> Drawer;
  std::array<double, std::size(CameraFields)> Camera{};  // after the warm-up
  std::string Error;

  TBenchScene() {
    Surface = TOffscreenSurface::Create(Width, Height, Error);
    if (!Surface) return;
    SetClockSource(&Clock);
    Randomize(1);
    Env = std::make_unique<TEnv>(1000.0);
    TPredator* predator = CreateStartPopulation(*Env);
    PreviewMode = false;
    Drawer = std::make_unique<TDrawer>(*Surface, *Env);
    Drawer->FollowedUnit = predator;
    Drawer->OrbitAngle = Pi;
    Drawer->OrbitDistance = 60.0;
    Drawer->Resize(Width, Height);
    // 60 simulated seconds, the camera following as it does in the saver.
    for (int64_t frame = 1; frame <= 60 * 60; ++frame) {
      Clock.Set(static_cast<double>(frame) * FrameDt);
      Drawer->UpdateCamera(Env->Step());
      TopUpPopulation(*Env);
    }
    SaveCamera();
  }
  ~TBenchScene() {
    Drawer.reset();
    Env.reset();
    Surface.reset();
    SetClockSource(nullptr);
  }

  void SaveCamera() {
    for (size_t i = 0; i < Camera.size(); ++i) Camera[i] = (*Drawer).*CameraFields[i];
  }
  void RestoreCamera() {
    for (size_t i = 0; i < Camera.size(); ++i) (*Drawer).*CameraFields[i] = Camera[i];
  }
};

TBenchScene& Scene() {
  static TBenchScene scene;
  return scene;
}

void RunFrames(benchmark::State& state, TDrawer::TCallSequence sequence, bool readBack = false,
               bool clock = true) {
  TBenchScene& scene = Scene();
  if (!scene.Drawer) {
    state.SkipWithError(scene.Error.c_str());
    return;
  }
  scene.RestoreCamera();
  scene.Drawer->CallSequence = sequence;
  const bool showTrail = true;
  scene.Drawer->UseSwitches(&showTrail, &clock);
  for (auto _ : state) {
    scene.Drawer->UpdateCamera(FrameDt);
    scene.Drawer->Render();
    if (readBack) benchmark::DoNotOptimize(scene.Surface->Frame().Pixels.data());
  }
  scene.Drawer->CallSequence = TDrawer::TCallSequence::Batched;
  scene.Drawer->UseSwitches(nullptr, nullptr);
}

void BM_UpdateCameraAndRender(benchmark::State& state) {
  RunFrames(state, TDrawer::TCallSequence::Batched);
}
BENCHMARK(BM_UpdateCameraAndRender)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// The floor under every frame: clearing colour, depth and stencil at 1920x1080 and finishing,
// nothing drawn. Its CPU time (the rasteriser's threads included) times 60 is the share of a
// core a saver pays at 60 frames a second before it draws anything.
void BM_ClearAndFinishOnly(benchmark::State& state) {
  TBenchScene& scene = Scene();
  if (!scene.Drawer) {
    state.SkipWithError(scene.Error.c_str());
    return;
  }
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    scene.Surface->SwapBuffers();
  }
}
BENCHMARK(BM_ClearAndFinishOnly)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// The same without the clock: the difference is what the clock costs a frame.
void BM_UpdateCameraAndRenderWithoutClock(benchmark::State& state) {
  RunFrames(state, TDrawer::TCallSequence::Batched, false, false);
}
BENCHMARK(BM_UpdateCameraAndRenderWithoutClock)->Unit(benchmark::kMillisecond)->UseRealTime();

// The clock alone, written into a finished 1920x1080 frame and finished in turn: the read-back
// of its rectangle, the glyphs, the blend and the write.
void BM_ClockIntoFrame(benchmark::State& state) {
  TBenchScene& scene = Scene();
  if (!scene.Drawer) {
    state.SkipWithError(scene.Error.c_str());
    return;
  }
  scene.RestoreCamera();
  const bool off = false;
  scene.Drawer->UseSwitches(nullptr, &off);
  scene.Drawer->Render();
  for (auto _ : state) {
    scene.Drawer->DrawClock();
    glFinish();
  }
  scene.Drawer->UseSwitches(nullptr, nullptr);
}
BENCHMARK(BM_ClockIntoFrame)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same with the frame read back into memory each time, as tundrel-sim does for its picture.
void BM_UpdateCameraAndRenderThenReadBack(benchmark::State& state) {
  RunFrames(state, TDrawer::TCallSequence::Batched, true);
}
BENCHMARK(BM_UpdateCameraAndRenderThenReadBack)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: every batch its own glBegin/glEnd pair, the snow culled in each pass.
void BM_UpdateCameraAndRenderPlainCalls(benchmark::State& state) {
  RunFrames(state, TDrawer::TCallSequence::Plain);
}
BENCHMARK(BM_UpdateCameraAndRenderPlainCalls)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
