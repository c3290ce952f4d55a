// TSnapshotRenderer: the headless driver's snapshot: the real renderer on an offscreen surface
// that follows the world while it is stepped, then renders one frame and writes it as a PNG.
// Needs no X server; one per process at a time is the intended use.
#pragma once

#include <memory>
#include <string>

class TDrawer;
class TEnv;
class TOffscreenSurface;
class TPredator;

struct TSnapshotOptions {
  int Width = 1280;  // pixels
  int Height = 720;
  bool ShowTrail = true;
  bool ShowTime = true;
};

class TSnapshotRenderer {
 public:
  // The offscreen surface and renderer for env, the camera behind `followed` (angle pi,
  // distance 60) and the window's projection for the image's size. nullptr and a message in
  // error when no GL context can be had. env must outlive the renderer.
  static std::unique_ptr<TSnapshotRenderer> Create(TEnv& env, TPredator* followed,
                                                   const TSnapshotOptions& options,
                                                   std::string& error);
  ~TSnapshotRenderer();
  TSnapshotRenderer(const TSnapshotRenderer&) = delete;
  TSnapshotRenderer& operator=(const TSnapshotRenderer&) = delete;

  // After every world step, with the dt the step returned.
  void UpdateCamera(double dt);
  // Renders the final frame (with the clock when asked) and writes it to path; an empty string
  // on success, else the reason.
  std::string Finish(const std::string& path);

  TDrawer& Drawer() { return *Renderer; }

 private:
  TSnapshotRenderer() = default;

  TSnapshotOptions Options;
  std::unique_ptr<TOffscreenSurface> Surface;
  std::unique_ptr<TDrawer> Renderer;
};
