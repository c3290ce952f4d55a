// TDrawer, the renderer: OpenGL set-up on a platform surface, the map from world to scene
// coordinates, the camera that trails one animal, the scene drawing and the clock overlay.
// OpenGL 1.1 + GLU immediate mode; the surface's context must stay current on the caller's thread.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "gl_surface.h"
#include "unit.h"
#include "world.h"

// True when the renderer draws into the screen-saver host's preview window; the shell sets it
// before it creates the renderer, whose first projection depends on it.
extern bool PreviewMode;

// A point of a shape in its own unit frame.
struct TPoint3 {
  double X;
  double Y;
  double Z;
};

// Vertices with a grey each, in single precision as OpenGL keeps them, drawn from arrays as runs
// of one primitive after another: one draw call a run instead of a call a vertex and colour.
class TColouredVertices {
 public:
  void Clear();
  // A vertex of a primitive of mode (GL_POINTS or GL_LINES), grey g; a change of mode starts a run.
  void Add(unsigned mode, double x, double y, double z, double g) {
    if (Runs.empty() || Runs.back().Mode != mode)
      Runs.push_back(TRun{mode, static_cast<int>(Positions.size() / 3), 0});
    ++Runs.back().Count;
    Positions.push_back(static_cast<float>(x));
    Positions.push_back(static_cast<float>(y));
    Positions.push_back(static_cast<float>(z));
    const float grey = static_cast<float>(g);
    Colours.push_back(grey);
    Colours.push_back(grey);
    Colours.push_back(grey);
  }
  // The runs in order; the client arrays are switched off again after.
  void Draw() const;

 private:
  struct TRun {
    unsigned Mode;
    int First, Count;
  };
  std::vector<float> Positions;  // x, y, z of each vertex
  std::vector<float> Colours;    // red, green, blue of each vertex
  std::vector<TRun> Runs;
};

// Where and how large the clock is written: its font size in points and its distance in pixels
// from the view's top-left corner, on both axes.
struct TClockPlacement {
  int Points;
  int Margin;
};
// For a view pixelHeight pixels high, of which scale make one pixel of a 96-per-inch screen
// (the text surface's PixelScale): points a thirtieth of the height in those 96-per-inch pixels,
// at least 8, and a margin of as many of them. Drawn at the screen's pixels per inch (96 times
// scale), the clock is the same share of the view's height at every scale.
TClockPlacement ClockPlacement(int pixelHeight, double scale);

class TDrawer {
 public:
  // Sets up the context of targetWindow (which must outlive the drawer) for drawing env. Throws
  // std::runtime_error when the surface's context cannot be made current: nothing may be drawn
  // then.
  TDrawer(TGLSurface& targetWindow, TEnv& env);
  // Leaves the thread without a current context; the surface itself stays with its owner.
  ~TDrawer();
  TDrawer(const TDrawer&) = delete;
  TDrawer& operator=(const TDrawer&) = delete;

  // World to scene coordinates; they read WorldSize from the world on every call.
  double MapX(double x) const { return 2 * x / Env.WorldSize - 1; }
  double MapY(double y) const { return 2 * y / Env.WorldSize - 1; }
  double MapLength(double l) const { return l / Env.WorldSize; }

  // The new velocity: it tends to gain * offset / 3 and changes by at most accel * dt.
  static double Approach(double dt, double offset, double current, double accel, double gain);
  // Moves the camera by dt seconds toward its place behind FollowedUnit; when that is gone, it
  // first follows the next predator, passing over those in taken as FollowNext does.
  void UpdateCamera(double dt, const std::vector<const TEnvUnit*>& taken = {});
  // Switches FollowedUnit to the next unit of class cls (or a subclass) in list order, and
  // draws a new OrbitAngle. Units in taken (those other views follow) are passed over while
  // any other unit of cls is left.
  void FollowNext(const TUnitClass& cls, const std::vector<const TEnvUnit*>& taken = {});
  template <class T>
  void FollowNext() {
    FollowNext(T::ClassInfo);
  }
  // Several views of one world, in order: each moves its camera, and one whose animal is gone
  // takes a predator no other view follows where there is one.
  static void UpdateCameras(const std::vector<TDrawer*>& views, double dt);
  // Moves every view on to its next predator, each passing over those the views before it took.
  static void FollowNextPredators(const std::vector<TDrawer*>& views);

  // The window's client area changed to width x height pixels: viewport and projection follow.
  void Resize(int width, int height);
  // Draws and presents one frame with the clock when the ShowTime switch is on (into the frame
  // or after it is presented, as the surface takes text).
  void Render();
  // One frame of several views of the same surface, each drawer into its own View (pixels of
  // the client area from its top-left corner, which is clientHeight high) with a projection of
  // its own shape; presented once, then every view's clock. Parts no view covers stay black.
  // Whether any frame was presented (a drawable per monitor presents only those that want one).
  static bool RenderViews(const std::vector<TDrawer*>& views, int clientWidth, int clientHeight);
  // The part of the client area this drawer's view takes when it is one of several.
  TTextRect View{};

  void DrawUnits(double Brightness);
  void DrawSnowflakes(double Brightness);
  void DrawTrails();
  // One foliage tier in the current model-view frame.
  void DrawFirTier(double BaseGreen, double TipGreen);
  // The unit normal of the plane through three points, in single precision as glNormal3f takes.
  static std::array<float, 3> FaceNormal(const TPoint3& p1, const TPoint3& p2, const TPoint3& p3);
  // Writes the current time in the top-left corner of the client area (the text surface's clip
  // box), or of view, a rectangle of it in pixels that sizes the text by its height.
  void DrawClock();
  void DrawClock(const TTextRect& view);

  // Where the trail and clock switches are read, on every frame; the shell points them at its
  // settings record. Until then both switches are on, the settings' defaults.
  void UseSwitches(const bool* showTrail, const bool* showTime);

  // How a frame reaches OpenGL. Batched sends the snow and the trails from vertex arrays, each
  // run of point batches and each run of line batches as one draw, draws each unit's shape
  // through a display list of its arrays, culls the snow by distance once for both passes, and
  // leaves out the flakes, units and trail segments that lie wholly outside the view. Plain
  // makes every glBegin/glEnd pair one for one, batch by batch, as the scene was first drawn;
  // the benchmarks measure against it. The vertices drawn come in the same order with the same
  // colours, and the pixels are the same.
  enum class TCallSequence { Batched, Plain };
  TCallSequence CallSequence = TCallSequence::Batched;

  // The surface stands for the window, its device context and GL context, and the text canvas.
  TGLSurface& TargetWindow;
  TEnv& Env;
  double MaxAccel;          // world units per second squared
  double EyeX, EyeY, EyeZ;  // world units
  double LookX, LookY, LookZ;
  double UpX, UpY;                   // plain position of the up point
  double EyeVelX, EyeVelY, EyeVelZ;  // world units per second
  double LookVelX, LookVelY, LookVelZ;
  TUnitRef FollowedUnit;     // none until the shell sets it
  double OrbitAngle = 0;     // radians, added to the followed unit's Direction
  double OrbitDistance = 0;  // world units

 private:
  // A snowflake within the cull distance of the eye: its centre in scene coordinates, its
  // height in world units (the mirror image fades with it) and whether it is near enough to be
  // drawn as a star.
  struct TVisibleFlake {
    double X, Y, Z;
    double Height;
    bool Star;
  };
  // Clears the colour and depth of the current viewport, inside the scissor box if one is on.
  void ClearFrame();
  // Draws the scene with the current viewport and projection, after clearing unless told not
  // to, without presenting.
  void DrawScene(bool clear = true);
  // Fills VisibleFlakes from the world's snow in index order, for the current eye; batched, it
  // leaves out flakes that show neither in the current view nor in its mirror image.
  void CollectSnowflakes();
  void DrawCollectedSnowflakes(double Brightness);

  // What a unit looks like, in its own frame: a body of its species' colour or a fir.
  enum class TShape { Herbivore, Predator, Fir };
  // Draws the shape at the given brightness in the current model-view frame; batched, from
  // vertex arrays (which must be switched on), otherwise vertex by vertex.
  void DrawShape(TShape shape, double Brightness, bool batched);
  // A display list of the shape drawn from vertex arrays, compiled when first asked for: the
  // driver keeps its vertices, so a unit costs a call and not a copy of its arrays.
  unsigned ShapeList(TShape shape, double Brightness);
  struct TShapeList {
    TShape Shape;
    double Brightness;
    unsigned Name;
  };
  std::vector<TShapeList> ShapeLists;

  // Kept between frames for their storage.
  std::vector<TSnowflakes::TNearFlake> NearFlakes;
  std::vector<TVisibleFlake> VisibleFlakes;
  TColouredVertices Vertices;
  bool DefaultSwitch = true;
  const bool* ShowTrail = &DefaultSwitch;
  const bool* ShowTime = &DefaultSwitch;
};
