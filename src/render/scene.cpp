// One frame of the winter scene: the dimmed mirror image under the plain, the trails, the snow,
// the animals and the fir trees, all immediate-mode batches of a few fixed shapes. Everything
// farther from the eye than fixed plain distances is skipped; squared distances, no roots.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "drawer.h"
#include "species.h"
#include "world.h"

namespace {

constexpr double Pi = 3.141592653589793;
// Squared plain distances from the eye, world units squared.
constexpr double UnitCullSq = 500000.0;   // about 707 units
constexpr double FlakeCullSq = 200000.0;  // about 447 units; trails too
constexpr double StarFlakeSq = 10000.0;   // within 100 units a flake is a star, beyond a point
// Half the size of a near flake's star, scene units whatever the world's size.
constexpr double StarHalfSize = 0.00015;

double Sq(double v) {
  return v * v;
}

void Normal(const std::array<float, 3>& n) {
  glNormal3f(n[0], n[1], n[2]);
}

// The animal body's and the trunk's top vertex, black in the mirror image; the shape's colour
// is set again before the vertex that follows it.
class TTetraColours {
 public:
  TTetraColours(float red, float green, bool darkTop) : R(red), G(green), DarkTop(darkTop) {}
  void Top() {
    if (DarkTop) {
      glColor3d(0, 0, 0);
      Dark = true;
    }
  }
  void Plain() {
    if (Dark) {
      glColor3f(R, G, 0);
      Dark = false;
    }
  }

 private:
  float R, G;
  bool DarkTop;
  bool Dark = false;
};

void DrawBody(TTetraColours& colours) {
  glBegin(GL_TRIANGLES);
  // bottom
  Normal(TDrawer::FaceNormal({-1, -1, 0}, {-1, 1, 0}, {2, 0, 0}));
  glVertex3d(-1, -1, 0);
  glVertex3d(-1, 1, 0);
  glVertex3d(2, 0, 0);
  // back
  Normal(TDrawer::FaceNormal({-1, -1, 0}, {-1, 1, 0}, {-1, 0, 1}));
  glVertex3d(-1, -1, 0);
  glVertex3d(-1, 1, 0);
  colours.Top();
  glVertex3d(-1, 0, 2);
  // left
  Normal(TDrawer::FaceNormal({-1, -1, 0}, {-1, 0, 1}, {2, 0, 0}));
  colours.Plain();
  glVertex3d(-1, 1, 0);
  colours.Top();
  glVertex3d(-1, 0, 2);
  colours.Plain();
  glVertex3d(2, 0, 0);
  // right
  Normal(TDrawer::FaceNormal({-1, -1, 0}, {2, 0, 0}, {-1, 0, 1}));
  glVertex3d(-1, -1, 0);
  glVertex3d(2, 0, 0);
  colours.Top();
  glVertex3d(-1, 0, 2);
  glEnd();
}

void DrawTrunk(TTetraColours& colours) {
  glBegin(GL_TRIANGLES);
  // bottom
  Normal(TDrawer::FaceNormal({-1, -1, 0}, {-1, 1, 0}, {1, 0, 0}));
  glVertex3d(-1, -1, 0);
  glVertex3d(-1, 1, 0);
  glVertex3d(1, 0, 0);
  // back
  Normal(TDrawer::FaceNormal({-1, -1, 0}, {-1, 1, 0}, {-1, 0, 10}));
  glVertex3d(-1, -1, 0);
  glVertex3d(-1, 1, 0);
  colours.Top();
  glVertex3d(0, 0, 10);
  // left
  Normal(TDrawer::FaceNormal({-1, 1, 0}, {-1, 0, 10}, {1, 0, 0}));
  colours.Plain();
  glVertex3d(-1, 1, 0);
  colours.Top();
  glVertex3d(0, 0, 10);
  colours.Plain();
  glVertex3d(1, 0, 0);
  // right
  Normal(TDrawer::FaceNormal({-1, -1, 0}, {1, 0, 0}, {-1, 0, 10}));
  glVertex3d(-1, -1, 0);
  glVertex3d(1, 0, 0);
  colours.Top();
  glVertex3d(0, 0, 10);
  glEnd();
}

}  // namespace

void TDrawer::Render() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glPushMatrix();
  // The up point lies 50000 units above the eye's plain position; as a direction it is
  // nearly, not exactly, vertical.
  gluLookAt(MapX(EyeX), MapY(EyeY), MapLength(EyeZ), MapX(LookX), MapY(LookY), MapLength(LookZ),
            MapX(UpX), MapY(UpY), MapLength(EyeZ + 50000.0));

  // The mirror image: everything at height z shows at -(z + 1 world unit), dimmed.
  glPushMatrix();
  glScalef(1, 1, -1);
  glTranslated(0, 0, MapLength(1.0));
  DrawSnowflakes(0.5);
  DrawUnits(0.3);
  glPopMatrix();

  if (*ShowTrail) DrawTrails();

  DrawSnowflakes(1.0);
  DrawUnits(1.0);
  glPopMatrix();

  TargetWindow.SwapBuffers();
  if (*ShowTime) DrawClock();
  TargetWindow.Invalidate();
}

void TDrawer::DrawUnits(double Brightness) {
  const double L = Brightness;
  const bool mirror = L < 1;
  for (const auto& slot : Env.Units) {
    if (!slot) continue;
    const TEnvUnit& unit = *slot;
    if (Sq(unit.X - EyeX) + Sq(unit.Y - EyeY) > UnitCullSq) continue;

    glPushMatrix();
    glTranslated(MapX(unit.X), MapY(unit.Y), 0);
    glRotatef(static_cast<float>(unit.Direction * 180 / Pi), 0, 0, 1);
    const double s = MapLength(unit.Radius);
    glScaled(s, s, s);

    if (unit.Is<TAnimal>()) {
      const float red = static_cast<float>(L);
      const float green = unit.Is<TPredator>() ? 0.0f : static_cast<float>(L);
      glColor3f(red, green, 0);
      TTetraColours colours(red, green, mirror);
      DrawBody(colours);
    } else {
      const float trunk = static_cast<float>(L / 3);
      glColor3f(trunk, trunk, 0);
      TTetraColours colours(trunk, trunk, mirror);
      DrawTrunk(colours);

      glPushMatrix();
      glTranslated(0, 0, 5);
      glScalef(5, 5, 3);
      if (mirror)
        DrawFirTier(L / 2, L / 4);
      else
        DrawFirTier(1.0, 1.0);
      glPopMatrix();

      glPushMatrix();
      glTranslated(0, 0, 7.5);
      glScalef(3, 3, 2);
      if (mirror)
        DrawFirTier(L / 4, L / 8);
      else
        DrawFirTier(1.0, 1.0);
      glPopMatrix();

      glPushMatrix();
      glTranslated(0, 0, 9);
      glScalef(2, 2, 3);
      if (mirror)
        DrawFirTier(L / 8, L / 16);
      else
        DrawFirTier(1.0, 1.0);
      glPopMatrix();
    }
    glPopMatrix();
  }
}

void TDrawer::DrawFirTier(double BaseGreen, double TipGreen) {
  glBegin(GL_TRIANGLES);
  Normal(FaceNormal({0, 0, 1}, {1, 0.4, 0}, {-1, 0.4, 0}));
  glColor3d(0, TipGreen, 0);
  glVertex3d(0, 0, 1);
  glColor3d(0, BaseGreen, 0);
  glVertex3d(1, 0.4, 0);
  glVertex3d(-1, 0.4, 0);

  Normal(FaceNormal({0, 0, 1}, {0, -1, 0}, {1, 0.4, 0}));
  glColor3d(0, TipGreen, 0);
  glVertex3d(0, 0, 1);
  glColor3d(0, BaseGreen, 0);
  glVertex3d(0, -1, 0);
  glVertex3d(1, 0.4, 0);

  Normal(FaceNormal({0, 0, 1}, {0, -1, 0}, {-1, 0.4, 0}));
  glColor3d(0, TipGreen, 0);
  glVertex3d(0, 0, 1);
  glColor3d(0, BaseGreen, 0);
  glVertex3d(0, -1, 0);
  glVertex3d(-1, 0.4, 0);

  // The colour is still the base colour of the last side face.
  Normal(FaceNormal({1, 0.4, 0}, {0, -1, 0}, {-1, 0.4, 0}));
  glVertex3d(1, 0.4, 0);
  glVertex3d(0, -1, 0);
  glVertex3d(-1, 0.4, 0);
  glEnd();
}

std::array<float, 3> TDrawer::FaceNormal(const TPoint3& p1, const TPoint3& p2, const TPoint3& p3) {
  const float ux = static_cast<float>(p2.X - p1.X);
  const float uy = static_cast<float>(p2.Y - p1.Y);
  const float uz = static_cast<float>(p2.Z - p1.Z);
  const float vx = static_cast<float>(p3.X - p1.X);
  const float vy = static_cast<float>(p3.Y - p1.Y);
  const float vz = static_cast<float>(p3.Z - p1.Z);
  const float nx = uy * vz - uz * vy;
  const float ny = uz * vx - ux * vz;
  const float nz = ux * vy - uy * vx;
  const double length = std::sqrt(static_cast<double>(nx) * nx + static_cast<double>(ny) * ny +
                                  static_cast<double>(nz) * nz);
  return {static_cast<float>(nx / length), static_cast<float>(ny / length),
          static_cast<float>(nz / length)};
}

void TDrawer::DrawSnowflakes(double Brightness) {
  const double L = Brightness;
  glDisable(GL_LIGHTING);
  for (const TSnowflake& flake : Env.Snowflakes) {
    const double d2 = Sq(flake.X - EyeX) + Sq(flake.Y - EyeY);
    if (d2 > FlakeCullSq) continue;
    // Mirrored flakes fade with their height.
    const double g = L >= 1 ? 0.5 : (1 - flake.Z / 200.0) * 0.5 * L;
    glColor3d(g, g, g);
    const double cx = MapX(flake.X);
    const double cy = MapY(flake.Y);
    const double cz = MapLength(flake.Z);
    if (d2 > StarFlakeSq) {
      glBegin(GL_POINTS);
      glVertex3d(cx, cy, cz);
      glEnd();
    } else {
      // Eight rays to the corners of a cube, corners in the sign order x, then y, then z.
      glBegin(GL_LINES);
      for (double sx : {-1.0, 1.0})
        for (double sy : {-1.0, 1.0})
          for (double sz : {-1.0, 1.0}) {
            glVertex3d(cx, cy, cz);
            glVertex3d(cx + sx * StarHalfSize, cy + sy * StarHalfSize, cz + sz * StarHalfSize);
          }
      glEnd();
    }
  }
  glEnable(GL_LIGHTING);
}

void TDrawer::DrawTrails() {
  glDisable(GL_LIGHTING);
  glBegin(GL_LINES);
  // Slot T is the oldest segment (black), slot T - 1 the newest (grey 0.19998).
  const int T = Env.TrailIndex;
  for (int i = 0; i < TEnv::TrailCount; ++i) {
    const double g = i < T ? 0.2 - (T - i) * 0.00002 : (i - T) * 0.00002;
    const TTrailSegment& segment = Env.Trails[static_cast<size_t>(i)];
    if (Sq(segment.X1 - EyeX) + Sq(segment.Y1 - EyeY) > FlakeCullSq) continue;
    glColor3d(g, g, g);
    glVertex2d(MapX(segment.X1), MapY(segment.Y1));
    glVertex2d(MapX(segment.X2), MapY(segment.Y2));
  }
  glEnd();
  glEnable(GL_LIGHTING);
}
