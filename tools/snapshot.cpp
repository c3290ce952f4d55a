// The snapshot of tundrel-sim: offscreen surface and renderer set up as the main window sets
// them up, the camera updated every step, the final frame written with the PNG writer.
#include "snapshot.h"

#include <stdexcept>

#include "drawer.h"
#include "egl/offscreen_surface.h"
#include "png/png_writer.h"
#include "species.h"
#include "world.h"

std::unique_ptr<TSnapshotRenderer> TSnapshotRenderer::Create(TEnv& env, TPredator* followed,
                                                             const TSnapshotOptions& options,
                                                             std::string& error) {
  std::unique_ptr<TSnapshotRenderer> snapshot(new TSnapshotRenderer());
  snapshot->Options = options;
  snapshot->Surface = TOffscreenSurface::Create(options.Width, options.Height, error);
  if (!snapshot->Surface) return nullptr;
  PreviewMode = false;
  try {
    snapshot->Renderer = std::make_unique<TDrawer>(*snapshot->Surface, env);
  } catch (const std::runtime_error& e) {
    error = e.what();
    return nullptr;
  }
  TDrawer& drawer = *snapshot->Renderer;
  drawer.UseSwitches(&snapshot->Options.ShowTrail, &snapshot->Options.ShowTime);
  drawer.FollowedUnit = followed;
  drawer.OrbitAngle = Pi;
  drawer.OrbitDistance = 60.0;
  // As the shown window's resize handler does before its first frame.
  drawer.Resize(options.Width, options.Height);
  return snapshot;
}

TSnapshotRenderer::~TSnapshotRenderer() {
  Renderer.reset();
  Surface.reset();
}

void TSnapshotRenderer::UpdateCamera(double dt) {
  Renderer->UpdateCamera(dt);
}

std::string TSnapshotRenderer::Finish(const std::string& path) {
  Renderer->Render();
  std::string error;
  if (!WritePng(path, Surface->Frame(), &error))
    return error.empty() ? "cannot write " + path : error;
  return std::string();
}
