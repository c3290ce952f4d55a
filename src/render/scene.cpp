// One frame of the winter scene: the dimmed mirror image under the plain, the trails, the snow,
// the animals and the fir trees, all batches of a few fixed shapes. Everything farther from the
// eye than fixed plain distances is skipped; squared distances, no roots. Unless the plain call
// sequence is asked for, the snow and the trails go to OpenGL from vertex arrays, a draw for
// each run of points or lines, the units' shapes from display lists compiled from such arrays
// once, and flakes, units and trail segments wholly outside a slightly widened view volume are
// left out: OpenGL would clip them away. The pixels are the same either way, and so is the order
// of the vertices that are drawn. The units' shapes are drawn in unit_shapes.cpp.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "drawer.h"
#include "species.h"
#include "world.h"

namespace {

// Squared plain distances from the eye, world units squared.
constexpr double UnitCullSq = 500000.0;   // about 707 units
constexpr double FlakeCullSq = 200000.0;  // about 447 units; trails too
constexpr double StarFlakeSq = 10000.0;   // within 100 units a flake is a star, beyond a point
// Half the size of a near flake's star, scene units whatever the world's size.
constexpr double StarHalfSize = 0.00015;
// The farthest a star's ray reaches from its centre: half a cube's diagonal, scene units.
constexpr double StarReach = StarHalfSize * 1.7320508075688772;
// Flakes lie between the ground and the height they fall from, world units.
constexpr double SnowTop = 200.0;
// The farthest any shape reaches from its unit's origin, in the unit frame: the tip of the top
// foliage tier, 12 above the ground (the trunk's top is at 10, the body's at 2).
constexpr double ShapeReach = 12.0;

double Sq(double v) {
  return v * v;
}

// The four side planes of the view volume of the current projection and model-view matrices,
// widened by a thirty-second of the view on every side. OpenGL draws only what lies beyond the
// near plane, at least 0.001 scene units before the eye, where the widening is far larger than
// the error of its single-precision clipping: whatever this volume leaves out, OpenGL would
// have clipped. The side planes meet at the eye, so whatever is behind it is outside.
class TViewVolume {
 public:
  // The current view volume for the default call sequence, which leaves out what lies outside
  // it; one that keeps everything for the plain sequence.
  static TViewVolume For(TDrawer::TCallSequence sequence) {
    return sequence == TDrawer::TCallSequence::Batched ? Current() : Everything();
  }
  // False when the ball of the given radius around (x, y, z) lies wholly outside.
  bool MayShow(double x, double y, double z, double radius) const {
    for (const TPlane& plane : Planes)
      if (plane.At(x, y, z) < -radius * plane.Length) return false;
    return true;
  }
  // Lines on the plain of a world worldSize wide, in world units, beyond which no flake (of
  // height 0 to SnowTop, reach scene units around its centre) shows in the pass this volume was
  // read for or in the mirror image drawn with it (height z at -(z + 1 unit)). The mirror keeps
  // each side plane's direction on the plain, so one line serves both passes. The margin covers
  // the rounding of the mirror's single-precision matrix, which the mirror pass reads.
  std::array<TPlainSide, 4> PlainSides(double worldSize, double reach) const {
    std::array<TPlainSide, 4> sides;
    const double top = SnowTop / worldSize, below = 1.0 / worldSize;
    for (size_t i = 0; i < Planes.size(); ++i) {
      const double* n = Planes[i].N;
      const double onPlain = n[3] - n[0] - n[1];
      const double scene = std::max(onPlain + std::max(0.0, n[2] * top),
                                    onPlain - n[2] * below + std::max(0.0, -n[2] * top));
      const double margin =
          1e-4 * (std::fabs(n[0]) + std::fabs(n[1]) + std::fabs(n[2]) + std::fabs(n[3]));
      sides[i] = TPlainSide{2 * n[0] / worldSize, 2 * n[1] / worldSize,
                            scene + reach * Planes[i].Length + margin};
    }
    return sides;
  }
  // False when the segment between two points on the plain (z = 0) lies wholly outside.
  bool MayShowSegment(double x1, double y1, double x2, double y2) const {
    for (const TPlane& plane : Planes)
      if (plane.At(x1, y1, 0) < 0 && plane.At(x2, y2, 0) < 0) return false;
    return true;
  }

 private:
  static TViewVolume Current() {
    GLdouble projection[16], modelView[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    // Rows of projection x model-view; OpenGL keeps matrices column by column.
    double rows[4][4];
    for (int row = 0; row < 4; ++row)
      for (int column = 0; column < 4; ++column) {
        double sum = 0;
        for (int k = 0; k < 4; ++k) sum += projection[k * 4 + row] * modelView[column * 4 + k];
        rows[row][column] = sum;
      }
    constexpr double Widen = 1.0 + 1.0 / 32;
    TViewVolume view;
    for (int axis = 0; axis < 2; ++axis)
      for (int side = 0; side < 2; ++side) {
        TPlane& plane = view.Planes[axis * 2 + side];
        const double sign = side == 0 ? -1.0 : 1.0;  // x <= w, then -x <= w
        for (int i = 0; i < 4; ++i) plane.N[i] = Widen * rows[3][i] + sign * rows[axis][i];
        plane.Length = std::sqrt(Sq(plane.N[0]) + Sq(plane.N[1]) + Sq(plane.N[2]));
      }
    return view;
  }
  // A volume that keeps everything: no plane cuts anything off.
  static TViewVolume Everything() {
    TViewVolume view;
    for (TPlane& plane : view.Planes) plane = TPlane{{0, 0, 0, 1}, 0};
    return view;
  }

  struct TPlane {
    double N[4];  // inside where N . (x, y, z, 1) >= 0
    double Length;
    double At(double x, double y, double z) const { return N[0] * x + N[1] * y + N[2] * z + N[3]; }
  };
  std::array<TPlane, 4> Planes;
};

}  // namespace

void TDrawer::Render() {
  DrawScene();
  // Where the text goes into the frame, the clock is part of every presented frame; elsewhere it
  // is written over the frame once it is on screen.
  const bool showTime = *ShowTime;
  const bool clockInFrame = TargetWindow.TextGoesIntoFrame();
  if (showTime && clockInFrame) DrawClock();
  TargetWindow.SwapBuffers();
  if (showTime && !clockInFrame) DrawClock();
  TargetWindow.Invalidate();
}

bool TDrawer::RenderViews(const std::vector<TDrawer*>& views, int clientWidth, int clientHeight) {
  if (views.empty()) return false;
  TGLSurface& surface = views[0]->TargetWindow;
  if (surface.DrawablePerMonitor()) {
    // Each monitor's drawable is a window of its own: each view is drawn and presented alone,
    // over the whole drawable, which may have more pixels than the view's part of the window
    // (a scaled monitor).
    bool presented = false;
    for (TDrawer* view : views) {
      const TTextRect& r = view->View;
      if (r.Right <= r.Left || r.Bottom <= r.Top || !surface.SelectView(r)) continue;
      const TTextRect drawable = surface.Text().ClipBox();
      view->Resize(drawable.Right - drawable.Left, drawable.Bottom - drawable.Top);
      view->Render();
      presented = true;
    }
    return presented;
  }
  // One clear of the whole window, gaps between monitors of different sizes included: a software
  // rasteriser fills its tiles at once, where a clear inside a scissor box is drawn as a
  // rectangle, every pixel through the pipeline. Only a view that overlaps an earlier one (cloned
  // monitors) clears its own part again.
  glDisable(GL_SCISSOR_TEST);
  glViewport(0, 0, clientWidth, clientHeight);
  views[0]->ClearFrame();
  glEnable(GL_SCISSOR_TEST);
  for (size_t i = 0; i < views.size(); ++i) {
    const TTextRect& r = views[i]->View;
    const int width = r.Right - r.Left, height = r.Bottom - r.Top;
    if (width <= 0 || height <= 0) continue;
    bool overlaps = false;
    for (size_t k = 0; k < i; ++k) {
      const TTextRect& o = views[k]->View;
      overlaps = overlaps ||
                 (r.Left < o.Right && o.Left < r.Right && r.Top < o.Bottom && o.Top < r.Bottom);
    }
    // OpenGL counts rows from the bottom of the window.
    const int bottom = clientHeight - r.Bottom;
    glViewport(r.Left, bottom, width, height);
    glScissor(r.Left, bottom, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30.0, static_cast<double>(width) / static_cast<double>(height), 0.001, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    if (overlaps) views[i]->ClearFrame();
    views[i]->DrawScene(false);
  }
  glDisable(GL_SCISSOR_TEST);
  // Every view's clock at its monitor's corner, into the frame or over it as in Render.
  const bool clockInFrame = surface.TextGoesIntoFrame();
  if (clockInFrame)
    for (TDrawer* view : views)
      if (*view->ShowTime) view->DrawClock(view->View);
  surface.SwapBuffers();
  if (!clockInFrame)
    for (TDrawer* view : views)
      if (*view->ShowTime) view->DrawClock(view->View);
  surface.Invalidate();
  return true;
}

void TDrawer::ClearFrame() {
  // The stencil bit of the pixel format is never used. Cleared with the depth, it lets the
  // rasteriser fill the combined depth and stencil buffer instead of keeping every stencil
  // value while it writes the depth beside it.
  if (CallSequence == TCallSequence::Batched)
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  else
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void TDrawer::DrawScene(bool clear) {
  const bool batched = CallSequence == TCallSequence::Batched;
  if (clear) ClearFrame();

  glPushMatrix();
  // The up point lies 50000 units above the eye's plain position; as a direction it is
  // nearly, not exactly, vertical.
  gluLookAt(MapX(EyeX), MapY(EyeY), MapLength(EyeZ), MapX(LookX), MapY(LookY), MapLength(LookZ),
            MapX(UpX), MapY(UpY), MapLength(EyeZ + 50000.0));

  // Both passes draw the same flakes: batched, they are culled once.
  if (batched) CollectSnowflakes();

  // The mirror image: everything at height z shows at -(z + 1 world unit), dimmed.
  glPushMatrix();
  glScalef(1, 1, -1);
  glTranslated(0, 0, MapLength(1.0));
  if (batched)
    DrawCollectedSnowflakes(0.5);
  else
    DrawSnowflakes(0.5);
  DrawUnits(0.3);
  glPopMatrix();

  if (*ShowTrail) DrawTrails();

  if (batched)
    DrawCollectedSnowflakes(1.0);
  else
    DrawSnowflakes(1.0);
  DrawUnits(1.0);
  glPopMatrix();
}

void TDrawer::DrawUnits(double Brightness) {
  const double L = Brightness;
  const TViewVolume view = TViewVolume::For(CallSequence);
  const bool batched = CallSequence == TCallSequence::Batched;
  for (const auto& slot : Env.Units) {
    if (!slot) continue;
    const TEnvUnit& unit = *slot;
    if (Sq(unit.X - EyeX) + Sq(unit.Y - EyeY) > UnitCullSq) continue;
    const double x = MapX(unit.X), y = MapY(unit.Y), s = MapLength(unit.Radius);
    if (!view.MayShow(x, y, 0, ShapeReach * s)) continue;

    glPushMatrix();
    glTranslated(x, y, 0);
    glRotatef(static_cast<float>(unit.Direction * 180 / Pi), 0, 0, 1);
    glScaled(s, s, s);
    const TShape shape = !unit.Is<TAnimal>()    ? TShape::Fir
                         : unit.Is<TPredator>() ? TShape::Predator
                                                : TShape::Herbivore;
    if (batched)
      glCallList(ShapeList(shape, L));
    else
      DrawShape(shape, L, false);
    glPopMatrix();
  }
}

void TDrawer::DrawSnowflakes(double Brightness) {
  CollectSnowflakes();
  DrawCollectedSnowflakes(Brightness);
}

void TDrawer::CollectSnowflakes() {
  const TSnowflakes& flakes = Env.Snowflakes;
  // Batched, only flakes that may show in this view, in either pass.
  const auto sides = TViewVolume::For(CallSequence).PlainSides(Env.WorldSize, StarReach);
  const size_t count = flakes.Near(EyeX, EyeY, FlakeCullSq, sides.data(), sides.size(), NearFlakes);
  VisibleFlakes.clear();
  for (size_t k = 0; k < count; ++k) {
    const TSnowflakes::TNearFlake& flake = NearFlakes[k];
    const double d2 = Sq(flake.X - EyeX) + Sq(flake.Y - EyeY);
    VisibleFlakes.push_back(TVisibleFlake{MapX(flake.X), MapY(flake.Y), MapLength(flake.Z), flake.Z,
                                          !(d2 > StarFlakeSq)});
  }
}

void TDrawer::DrawCollectedSnowflakes(double Brightness) {
  const double L = Brightness;
  const bool batched = CallSequence == TCallSequence::Batched;
  const TViewVolume view = TViewVolume::For(CallSequence);
  Vertices.Clear();
  glDisable(GL_LIGHTING);
  for (const TVisibleFlake& flake : VisibleFlakes) {
    if (!view.MayShow(flake.X, flake.Y, flake.Z, flake.Star ? StarReach : 0)) continue;
    // Mirrored flakes fade with their height.
    const double g = L >= 1 ? 0.5 : (1 - flake.Height / 200.0) * 0.5 * L;
    if (!batched) {
      glColor3d(g, g, g);
      glBegin(flake.Star ? GL_LINES : GL_POINTS);
    }
    // Batched, every vertex carries its colour: Mesa's software rasteriser shades a batch
    // whose colour came before its glBegin a level differently here and there (128 for 127).
    auto vertex = [&](double x, double y, double z) {
      if (batched)
        Vertices.Add(flake.Star ? GL_LINES : GL_POINTS, x, y, z, g);
      else
        glVertex3d(x, y, z);
    };
    if (!flake.Star) {
      vertex(flake.X, flake.Y, flake.Z);
    } else {
      // Eight rays to the corners of a cube, corners in the sign order x, then y, then z.
      const double x[2] = {flake.X - StarHalfSize, flake.X + StarHalfSize};
      const double y[2] = {flake.Y - StarHalfSize, flake.Y + StarHalfSize};
      const double z[2] = {flake.Z - StarHalfSize, flake.Z + StarHalfSize};
      for (double cornerX : x)
        for (double cornerY : y)
          for (double cornerZ : z) {
            vertex(flake.X, flake.Y, flake.Z);
            vertex(cornerX, cornerY, cornerZ);
          }
    }
    if (!batched) glEnd();
  }
  if (batched) Vertices.Draw();
  glEnable(GL_LIGHTING);
}

void TDrawer::DrawTrails() {
  const bool batched = CallSequence == TCallSequence::Batched;
  const TViewVolume view = TViewVolume::For(CallSequence);
  glDisable(GL_LIGHTING);
  if (batched)
    Vertices.Clear();
  else
    glBegin(GL_LINES);
  // Slot T is the oldest segment (black), slot T - 1 the newest (grey 0.19998).
  const int T = Env.TrailIndex;
  for (int i = 0; i < TEnv::TrailCount; ++i) {
    const double g = i < T ? 0.2 - (T - i) * 0.00002 : (i - T) * 0.00002;
    const TTrailSegment& segment = Env.Trails[static_cast<size_t>(i)];
    if (Sq(segment.X1 - EyeX) + Sq(segment.Y1 - EyeY) > FlakeCullSq) continue;
    const double x1 = MapX(segment.X1), y1 = MapY(segment.Y1);
    const double x2 = MapX(segment.X2), y2 = MapY(segment.Y2);
    if (!view.MayShowSegment(x1, y1, x2, y2)) continue;
    if (batched) {
      Vertices.Add(GL_LINES, x1, y1, 0, g);
      Vertices.Add(GL_LINES, x2, y2, 0, g);
    } else {
      glColor3d(g, g, g);
      glVertex2d(x1, y1);
      glVertex2d(x2, y2);
    }
  }
  if (batched)
    Vertices.Draw();
  else
    glEnd();
  glEnable(GL_LIGHTING);
}

void TColouredVertices::Clear() {
  Positions.clear();
  Colours.clear();
  Runs.clear();
}

void TColouredVertices::Draw() const {
  if (Runs.empty()) return;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, Positions.data());
  glColorPointer(3, GL_FLOAT, 0, Colours.data());
  for (const TRun& run : Runs) glDrawArrays(run.Mode, run.First, run.Count);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}
