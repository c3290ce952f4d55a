// The units' shapes: an animal's body (a tetrahedron in its species' colour) and a fir (a trunk
// and three foliage tiers), in the scene and dimmed in the mirror image with their tops dark,
// drawn vertex by vertex in the plain call sequence or from vertex arrays compiled into display
// lists in the batched one. Both give the same vertices in the same order with the same colours.
#include <GL/gl.h>

#include <array>
#include <cmath>

#include "drawer.h"

namespace {

void Normal(const std::array<float, 3>& n) {
  glNormal3f(n[0], n[1], n[2]);
}

// A fir's three foliage tiers, bottom up: each is the tier shape lifted, widened and stretched in
// its own frame; in the mirror image its base and tip greens are L / BaseShare and L / TipShare.
struct TFirTier {
  double Lift;
  float Width, Height;
  double BaseShare, TipShare;
};
constexpr TFirTier FirTiers[] = {{5, 5, 3, 2, 4}, {7.5, 3, 2, 4, 8}, {9, 2, 3, 8, 16}};

// The shapes' face normals, worked out once: they never change.
struct TTetraNormals {
  std::array<float, 3> Bottom, Back, Left, Right;
};
const TTetraNormals BodyNormals{TDrawer::FaceNormal({-1, -1, 0}, {-1, 1, 0}, {2, 0, 0}),
                                TDrawer::FaceNormal({-1, -1, 0}, {-1, 1, 0}, {-1, 0, 1}),
                                TDrawer::FaceNormal({-1, -1, 0}, {-1, 0, 1}, {2, 0, 0}),
                                TDrawer::FaceNormal({-1, -1, 0}, {2, 0, 0}, {-1, 0, 1})};
const TTetraNormals TrunkNormals{TDrawer::FaceNormal({-1, -1, 0}, {-1, 1, 0}, {1, 0, 0}),
                                 TDrawer::FaceNormal({-1, -1, 0}, {-1, 1, 0}, {-1, 0, 10}),
                                 TDrawer::FaceNormal({-1, 1, 0}, {-1, 0, 10}, {1, 0, 0}),
                                 TDrawer::FaceNormal({-1, -1, 0}, {1, 0, 0}, {-1, 0, 10})};
const std::array<std::array<float, 3>, 4> TierNormals{
    TDrawer::FaceNormal({0, 0, 1}, {1, 0.4, 0}, {-1, 0.4, 0}),
    TDrawer::FaceNormal({0, 0, 1}, {0, -1, 0}, {1, 0.4, 0}),
    TDrawer::FaceNormal({0, 0, 1}, {0, -1, 0}, {-1, 0.4, 0}),
    TDrawer::FaceNormal({1, 0.4, 0}, {0, -1, 0}, {-1, 0.4, 0})};

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

// A tetrahedron vertex by vertex over the base (-1, -1, 0), (-1, 1, 0): the body's front is
// (2, 0, 0) and its top (-1, 0, 2), the trunk's (1, 0, 0) and (0, 0, 10).
struct TTetraShape {
  const TTetraNormals& Normals;
  TPoint3 Front, Top;
};
const TTetraShape BodyShape{BodyNormals, {2, 0, 0}, {-1, 0, 2}};
const TTetraShape TrunkShape{TrunkNormals, {1, 0, 0}, {0, 0, 10}};

void DrawTetraPlain(const TTetraShape& shape, TTetraColours& colours) {
  const auto vertex = [](const TPoint3& p) { glVertex3d(p.X, p.Y, p.Z); };
  glBegin(GL_TRIANGLES);
  // bottom
  Normal(shape.Normals.Bottom);
  glVertex3d(-1, -1, 0);
  glVertex3d(-1, 1, 0);
  vertex(shape.Front);
  // back
  Normal(shape.Normals.Back);
  glVertex3d(-1, -1, 0);
  glVertex3d(-1, 1, 0);
  colours.Top();
  vertex(shape.Top);
  // left
  Normal(shape.Normals.Left);
  colours.Plain();
  glVertex3d(-1, 1, 0);
  colours.Top();
  vertex(shape.Top);
  colours.Plain();
  vertex(shape.Front);
  // right
  Normal(shape.Normals.Right);
  glVertex3d(-1, -1, 0);
  vertex(shape.Front);
  colours.Top();
  vertex(shape.Top);
  glEnd();
}

// The same shapes for vertex arrays: each triangle's vertices in the order drawn above, in single
// precision as OpenGL keeps them, each with its face's normal; the marked vertices are the
// tetrahedra's tops and the tiers' tips.
struct TShapeArrays {
  float Positions[36];
  float Normals[36];
  bool Marked[12];

  TShapeArrays(const std::array<TPoint3, 12>& vertices,
               const std::array<std::array<float, 3>, 4>& normals, std::array<int, 3> marked) {
    for (int v = 0; v < 12; ++v) {
      Positions[v * 3] = static_cast<float>(vertices[v].X);
      Positions[v * 3 + 1] = static_cast<float>(vertices[v].Y);
      Positions[v * 3 + 2] = static_cast<float>(vertices[v].Z);
      for (int k = 0; k < 3; ++k) Normals[v * 3 + k] = normals[v / 3][k];
      Marked[v] = v == marked[0] || v == marked[1] || v == marked[2];
    }
  }
  // Three triangles' worth of colours: unmarked vertices plain, marked ones marked.
  void Colour(const std::array<float, 3>& plain, const std::array<float, 3>& marked,
              float* colours) const {
    for (int v = 0; v < 12; ++v)
      for (int k = 0; k < 3; ++k) colours[v * 3 + k] = Marked[v] ? marked[k] : plain[k];
  }
  // The triangles with the current colour, or with colours vertex by vertex.
  void Draw(const float* colours = nullptr) const {
    glVertexPointer(3, GL_FLOAT, 0, Positions);
    glNormalPointer(GL_FLOAT, 0, Normals);
    if (colours) {
      glEnableClientState(GL_COLOR_ARRAY);
      glColorPointer(3, GL_FLOAT, 0, colours);
    }
    glDrawArrays(GL_TRIANGLES, 0, 12);
    if (colours) glDisableClientState(GL_COLOR_ARRAY);
  }
};

const TShapeArrays BodyArrays({{{-1, -1, 0},
                                {-1, 1, 0},
                                {2, 0, 0},
                                {-1, -1, 0},
                                {-1, 1, 0},
                                {-1, 0, 2},
                                {-1, 1, 0},
                                {-1, 0, 2},
                                {2, 0, 0},
                                {-1, -1, 0},
                                {2, 0, 0},
                                {-1, 0, 2}}},
                              {BodyNormals.Bottom, BodyNormals.Back, BodyNormals.Left,
                               BodyNormals.Right},
                              {5, 7, 11});
const TShapeArrays TrunkArrays({{{-1, -1, 0},
                                 {-1, 1, 0},
                                 {1, 0, 0},
                                 {-1, -1, 0},
                                 {-1, 1, 0},
                                 {0, 0, 10},
                                 {-1, 1, 0},
                                 {0, 0, 10},
                                 {1, 0, 0},
                                 {-1, -1, 0},
                                 {1, 0, 0},
                                 {0, 0, 10}}},
                               {TrunkNormals.Bottom, TrunkNormals.Back, TrunkNormals.Left,
                                TrunkNormals.Right},
                               {5, 7, 11});
const TShapeArrays TierArrays({{{0, 0, 1},
                                {1, 0.4, 0},
                                {-1, 0.4, 0},
                                {0, 0, 1},
                                {0, -1, 0},
                                {1, 0.4, 0},
                                {0, 0, 1},
                                {0, -1, 0},
                                {-1, 0.4, 0},
                                {1, 0.4, 0},
                                {0, -1, 0},
                                {-1, 0.4, 0}}},
                              TierNormals, {0, 3, 6});

// A tetrahedron from arrays: in the scene with the colour set before it; in the mirror image
// with its top black, vertex by vertex, as the immediate-mode shape sets it.
void DrawTetra(const TShapeArrays& shape, float red, float green, bool darkTop) {
  if (!darkTop) return shape.Draw();
  float colours[36];
  shape.Colour({red, green, 0}, {0, 0, 0}, colours);
  shape.Draw(colours);
}

}  // namespace

unsigned TDrawer::ShapeList(TShape shape, double Brightness) {
  for (const TShapeList& list : ShapeLists)
    if (list.Shape == shape && list.Brightness == Brightness) return list.Name;
  const GLuint name = glGenLists(1);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glNewList(name, GL_COMPILE);
  DrawShape(shape, Brightness, true);
  glEndList();
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  ShapeLists.push_back(TShapeList{shape, Brightness, name});
  return name;
}

void TDrawer::DrawShape(TShape shape, double Brightness, bool batched) {
  const double L = Brightness;
  const bool mirror = L < 1;
  // A body or a trunk in its colour, with its top black in the mirror image.
  auto tetra = [&](const TShapeArrays& arrays, const TTetraShape& plain, float red, float green) {
    glColor3f(red, green, 0);
    if (batched) {
      DrawTetra(arrays, red, green, mirror);
    } else {
      TTetraColours colours(red, green, mirror);
      DrawTetraPlain(plain, colours);
    }
  };
  if (shape != TShape::Fir) {
    const float red = static_cast<float>(L);
    tetra(BodyArrays, BodyShape, red, shape == TShape::Predator ? 0.0f : red);
    return;
  }
  const float trunk = static_cast<float>(L / 3);
  tetra(TrunkArrays, TrunkShape, trunk, trunk);
  for (const TFirTier& tier : FirTiers) {
    glPushMatrix();
    glTranslated(0, 0, tier.Lift);
    glScalef(tier.Width, tier.Width, tier.Height);
    const double base = mirror ? L / tier.BaseShare : 1.0;
    const double tip = mirror ? L / tier.TipShare : 1.0;
    if (batched) {
      // The tier sets its colours inside its batch, so they go vertex by vertex.
      float colours[36];
      TierArrays.Colour({0, static_cast<float>(base), 0}, {0, static_cast<float>(tip), 0}, colours);
      TierArrays.Draw(colours);
    } else {
      DrawFirTier(base, tip);
    }
    glPopMatrix();
  }
}

void TDrawer::DrawFirTier(double BaseGreen, double TipGreen) {
  glBegin(GL_TRIANGLES);
  Normal(TierNormals[0]);
  glColor3d(0, TipGreen, 0);
  glVertex3d(0, 0, 1);
  glColor3d(0, BaseGreen, 0);
  glVertex3d(1, 0.4, 0);
  glVertex3d(-1, 0.4, 0);

  Normal(TierNormals[1]);
  glColor3d(0, TipGreen, 0);
  glVertex3d(0, 0, 1);
  glColor3d(0, BaseGreen, 0);
  glVertex3d(0, -1, 0);
  glVertex3d(1, 0.4, 0);

  Normal(TierNormals[2]);
  glColor3d(0, TipGreen, 0);
  glVertex3d(0, 0, 1);
  glColor3d(0, BaseGreen, 0);
  glVertex3d(0, -1, 0);
  glVertex3d(-1, 0.4, 0);

  // The colour is still the base colour of the last side face.
  Normal(TierNormals[3]);
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
