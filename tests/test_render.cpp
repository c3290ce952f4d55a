// The renderer on a real offscreen OpenGL context (Mesa, no display needed): camera motion and
// the choice of the followed animal, the GL state it sets up, and frames checked by their
// pixels (the clock's in test_render_text.cpp). Without a context every case fails, unless
// TUNDREL_NO_GL is set.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "drawer.h"
#include "egl/offscreen_surface.h"
#include "png/png_writer.h"
#include "population.h"
#include "random.h"
#include "render_fixture.h"
#include "sim_support.h"
#include "snapshot.h"

// Mesa's driver, LLVM and fontconfig keep a few allocations of their own set-up until exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libLLVM\nleak:libEGL_mesa\nleak:swrast_dri\nleak:libgallium\nleak:libfontconfig\n";
}

namespace {

using namespace render_test;

// ---- the camera ----

TEST(Approach, ReachesTheDesiredVelocityOnlyWhenTheLimitCoversTheGap) {
  // desired = gain * offset / 3 = 10; a limit of exactly 10 is enough.
  EXPECT_EQ(TDrawer::Approach(0.5, 30.0, 0.0, 20.0, 1.0), 10.0);
  EXPECT_EQ(TDrawer::Approach(0.5, 30.0, 0.0, 19.0, 1.0), 9.5);
  // Here the gap is exactly 0.4 but -0.1 + 0.4 rounds above 0.3: only the desired value will do.
  EXPECT_EQ(TDrawer::Approach(1.0, 0.9, -0.1, 0.4, 1.0), 0.9 / 3);
  EXPECT_EQ(TDrawer::Approach(1.0, -30.0, 2.0, 4.0, 1.0), -2.0);
  EXPECT_EQ(TDrawer::Approach(1.0, 3.0, 0.0, 100.0, 7.0), 7.0);
  // No time, no change, unless the velocity is already the desired one.
  EXPECT_EQ(TDrawer::Approach(0.0, 30.0, 4.0, 100.0, 1.0), 4.0);
  EXPECT_EQ(TDrawer::Approach(0.0, 30.0, 10.0, 100.0, 1.0), 10.0);
}

// Position and velocity of eye and look-at point, the state UpdateCamera moves.
std::vector<double> CameraOf(const TDrawer& d) {
  return {d.EyeX,    d.EyeY,    d.EyeZ,    d.LookX,    d.LookY,    d.LookZ,
          d.EyeVelX, d.EyeVelY, d.EyeVelZ, d.LookVelX, d.LookVelY, d.LookVelZ};
}

TEST_F(RenderTest, ZeroTimeStepMovesNothingAndOnlyCopiesTheUpPoint) {
  Drawer->FollowedUnit = Put<TPredator>(500, 500);
  Drawer->OrbitAngle = Pi;
  Drawer->OrbitDistance = 60.0;
  Drawer->EyeVelX = 3.0;
  Drawer->LookVelZ = -2.0;
  const std::vector<double> before = CameraOf(*Drawer);
  Drawer->UpdateCamera(0.0);
  EXPECT_EQ(CameraOf(*Drawer), before);
  EXPECT_EQ(Drawer->UpX, Drawer->EyeX);
  EXPECT_EQ(Drawer->UpY, Drawer->EyeY);
}

TEST_F(RenderTest, CameraSettlesBehindTheAnimalAndLooksAtIt) {
  Drawer->FollowedUnit = Put<TPredator>(500, 500, 1.0, Pi / 2);  // heading +y
  Drawer->OrbitAngle = Pi;
  Drawer->OrbitDistance = 60.0;
  for (int i = 0; i < 60 * 60; ++i) Drawer->UpdateCamera(1.0 / 60);
  EXPECT_NEAR(Drawer->EyeX, 500.0, 0.01);
  EXPECT_NEAR(Drawer->EyeY, 440.0, 0.01);
  EXPECT_NEAR(Drawer->EyeZ, 20.0, 0.01);
  EXPECT_NEAR(Drawer->LookX, 500.0, 0.01);
  EXPECT_NEAR(Drawer->LookY, 500.0, 0.01);
  EXPECT_NEAR(Drawer->LookZ, 15.0, 0.01);
  EXPECT_EQ(Drawer->UpX, Drawer->EyeX);
}

TEST_F(RenderTest, FollowNextTakesTheNextPredatorPassingOverOtherUnitsAndEmptySlots) {
  TPredator* first = Put<TPredator>(100, 100);
  TPredator* second = Put<TPredator>(200, 100);
  Put<THerbivore>(300, 100);
  Put<TTree>(400, 100);
  TPredator* removed = Put<TPredator>(500, 100);
  TPredator* last = Put<TPredator>(600, 100);
  Put<THerbivore>(700, 100);
  Env->RemoveUnit(removed);  // leaves an empty slot until the world compacts
  Drawer->FollowedUnit = second;

  TScriptedDraws draws{0.0, 0.5, 0.25};
  Drawer->FollowNext<TPredator>();
  EXPECT_TRUE(Drawer->FollowedUnit.Is(last));
  EXPECT_DOUBLE_EQ(Drawer->OrbitAngle, Pi / 2);
  Drawer->FollowNext<TPredator>();  // wraps around to the first from slot 0
  EXPECT_TRUE(Drawer->FollowedUnit.Is(first));
  EXPECT_DOUBLE_EQ(Drawer->OrbitAngle, Pi);
  Drawer->FollowNext<TAnimal>();  // subclasses count
  EXPECT_TRUE(Drawer->FollowedUnit.Is(second));
  EXPECT_DOUBLE_EQ(Drawer->OrbitAngle, 0.75 * Pi);
  EXPECT_EQ(draws.Source.Drawn, 3);
}

TEST_F(RenderTest, FollowNextKeepsTheOnlyPredatorButDrawsANewAngle) {
  Put<THerbivore>(100, 100);
  TPredator* only = Put<TPredator>(200, 100);
  Put<TTree>(300, 100);
  Drawer->FollowedUnit = only;
  Drawer->OrbitAngle = Pi;
  TScriptedDraws draws{0.9};
  Drawer->FollowNext<TPredator>();
  EXPECT_TRUE(Drawer->FollowedUnit.Is(only));
  EXPECT_DOUBLE_EQ(Drawer->OrbitAngle, Pi * 0.9 + Pi / 2);
}

TEST_F(RenderTest, RemovedFollowedPredatorIsReplacedByTheFirstPredatorInListOrder) {
  TPredator* first = Put<TPredator>(100, 100);
  TPredator* gone = Put<TPredator>(200, 100);
  Put<TPredator>(300, 100);
  Drawer->FollowedUnit = gone;
  Drawer->OrbitDistance = 60.0;
  Env->RemoveUnit(gone);  // freed: any read through the old reference would be caught
  Env->Compact();
  TScriptedDraws draws{0.5};
  Drawer->UpdateCamera(1.0 / 60);
  EXPECT_TRUE(Drawer->FollowedUnit.Is(first));
  EXPECT_EQ(draws.Source.Drawn, 1);
  // The camera heads for its place behind the new animal.
  EXPECT_LT(Drawer->LookVelX, 0.0);
}

TEST_F(RenderTest, ViewsOfOneWorldFollowDifferentPredatorsWhileThereAreEnough) {
  TPredator* first = Put<TPredator>(100, 100);
  TPredator* gone = Put<TPredator>(200, 100);
  TPredator* second = Put<TPredator>(300, 100);
  TPredator* third = Put<TPredator>(400, 100);
  TDrawer left(*Surface, *Env), right(*Surface, *Env);
  const std::vector<TDrawer*> views{Drawer.get(), &left, &right};
  Drawer->FollowedUnit = gone;
  left.FollowedUnit = first;
  right.FollowedUnit = second;
  Env->RemoveUnit(gone);
  TScriptedDraws draws{0.5, 0.5, 0.5, 0.5, 0.5, 0.5};

  // The view that lost its animal passes over the two the others follow.
  TDrawer::UpdateCameras(views, 1.0 / 60);
  EXPECT_TRUE(Drawer->FollowedUnit.Is(third));
  // Every view moves on to its next, and they stay apart.
  TDrawer::FollowNextPredators(views);
  EXPECT_TRUE(Drawer->FollowedUnit.Is(first));
  EXPECT_TRUE(left.FollowedUnit.Is(second));
  EXPECT_TRUE(right.FollowedUnit.Is(third));
  // Too few predators: the views share the one left.
  Env->RemoveUnit(second);
  Env->RemoveUnit(third);
  TDrawer::UpdateCameras(views, 1.0 / 60);
  for (const TDrawer* view : views) EXPECT_TRUE(view->FollowedUnit.Is(first));
  EXPECT_EQ(draws.Source.Drawn, 6);
}

TEST_F(RenderTest, WithoutAnyPredatorTheCameraHoldsStillUntilOneIsBorn) {
  TPredator* gone = Put<TPredator>(100, 100);
  THerbivore* herbivore = Put<THerbivore>(300, 300);
  Drawer->FollowedUnit = gone;
  Drawer->OrbitDistance = 60.0;
  Drawer->EyeVelX = 5.0;
  Env->RemoveUnit(gone);
  const std::vector<double> before = CameraOf(*Drawer);
  const double upX = Drawer->UpX;
  // Made now, born later: a unit draws its place when it is made.
  auto unborn = std::make_unique<TPredator>(Env.get());

  TScriptedDraws draws{0.5, 0.5, 0.5};
  Drawer->UpdateCamera(1.0 / 60);
  EXPECT_TRUE(Drawer->FollowedUnit.IsNone());
  EXPECT_EQ(CameraOf(*Drawer), before);
  EXPECT_EQ(Drawer->UpX, upX);
  EXPECT_EQ(draws.Source.Drawn, 1);  // the angle is drawn on every call

  // A followed unit of another class that is still in the world is kept.
  Drawer->FollowedUnit = herbivore;
  Drawer->FollowNext<TPredator>();
  EXPECT_TRUE(Drawer->FollowedUnit.Is(herbivore));

  TPredator* born = Env->AddUnit(std::move(unborn));
  Drawer->FollowedUnit = TUnitRef();
  Drawer->UpdateCamera(1.0 / 60);
  EXPECT_TRUE(Drawer->FollowedUnit.Is(born));
  EXPECT_NE(CameraOf(*Drawer), before);
}

// ---- set-up ----

double FieldOfViewDegrees() {
  GLdouble projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  return 2 * std::atan(1 / projection[5]) * 180 / Pi;
}

TEST_F(RenderTest, CreationSetsLightingFogAndTheFirstWideProjection) {
  Drawer.reset();
  Drawer = std::make_unique<TDrawer>(*Surface, *Env);
  for (GLenum cap :
       {GL_LIGHTING, GL_LIGHT0, GL_DEPTH_TEST, GL_NORMALIZE, GL_COLOR_MATERIAL, GL_FOG})
    EXPECT_TRUE(glIsEnabled(cap)) << "capability 0x" << std::hex << cap;
  GLint fogMode = 0;
  glGetIntegerv(GL_FOG_MODE, &fogMode);
  EXPECT_EQ(fogMode, GL_LINEAR);
  GLfloat fogStart = 0, fogEnd = 0;
  glGetFloatv(GL_FOG_START, &fogStart);
  glGetFloatv(GL_FOG_END, &fogEnd);
  EXPECT_EQ(fogStart, 0.1f);
  EXPECT_EQ(fogEnd, 1.5f);
  GLint matrixMode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  EXPECT_EQ(matrixMode, GL_MODELVIEW);
  EXPECT_NEAR(FieldOfViewDegrees(), 150.0, 1e-4);
  GLdouble projection[16];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[5] / projection[0], double(Width) / Height, 1e-6);

  Drawer.reset();
  PreviewMode = true;
  Drawer = std::make_unique<TDrawer>(*Surface, *Env);
  EXPECT_NEAR(FieldOfViewDegrees(), 30.0, 1e-4);

  Drawer->Resize(300, 100);
  EXPECT_NEAR(FieldOfViewDegrees(), 30.0, 1e-4);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[5] / projection[0], 3.0, 1e-6);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 300);
  EXPECT_EQ(viewport[3], 100);
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  EXPECT_EQ(matrixMode, GL_MODELVIEW);
}

TEST(OffscreenSurface, OffersTheRenderersPixelFormatOrSaysWhyNot) {
  std::unique_ptr<TOffscreenSurface> surface;
  MAKE_SURFACE_OR_STOP(surface, 16, 16);
  EXPECT_GE(surface->DepthBits(), 24);
  EXPECT_GE(surface->StencilBits(), 1);
  std::string error;
  EXPECT_EQ(TOffscreenSurface::Create(0, 16, error), nullptr);
  EXPECT_NE(error.find("0x16"), std::string::npos) << error;
}

TEST(FaceNormal, GivesTheUnitNormalsOfTheShapes) {
  struct TCase {
    TPoint3 P1, P2, P3;
    float X, Y, Z;
  };
  const TCase cases[] = {
      // body
      {{-1, -1, 0}, {-1, 1, 0}, {2, 0, 0}, 0, 0, -1},
      {{-1, -1, 0}, {-1, 1, 0}, {-1, 0, 1}, 1, 0, 0},
      {{-1, -1, 0}, {-1, 0, 1}, {2, 0, 0}, -0.229416f, 0.688247f, -0.688247f},
      {{-1, -1, 0}, {2, 0, 0}, {-1, 0, 1}, 0.229416f, -0.688247f, 0.688247f},
      // trunk
      {{-1, -1, 0}, {-1, 1, 0}, {1, 0, 0}, 0, 0, -1},
      {{-1, -1, 0}, {-1, 1, 0}, {-1, 0, 10}, 1, 0, 0},
      {{-1, 1, 0}, {-1, 0, 10}, {1, 0, 0}, 0.445435f, 0.890871f, 0.089087f},
      {{-1, -1, 0}, {1, 0, 0}, {-1, 0, 10}, 0.445435f, -0.890871f, 0.089087f},
      // fir tier
      {{0, 0, 1}, {1, 0.4, 0}, {-1, 0.4, 0}, 0, 0.928477f, 0.371391f},
      {{0, 0, 1}, {0, -1, 0}, {1, 0.4, 0}, 0.703526f, -0.502519f, 0.502519f},
      {{0, 0, 1}, {0, -1, 0}, {-1, 0.4, 0}, 0.703526f, 0.502519f, -0.502519f},
      {{1, 0.4, 0}, {0, -1, 0}, {-1, 0.4, 0}, 0, 0, -1},
  };
  for (const TCase& c : cases) {
    const std::array<float, 3> n = TDrawer::FaceNormal(c.P1, c.P2, c.P3);
    EXPECT_NEAR(n[0], c.X, 1e-6);
    EXPECT_NEAR(n[1], c.Y, 1e-6);
    EXPECT_NEAR(n[2], c.Z, 1e-6);
  }
}

// ---- frames ----

TEST_F(RenderTest, PredatorShowsRedWithItsDarkRedMirrorImageBelowIt) {
  // Seen from straight behind, its back face is the nearest part: looking at the middle of that
  // face's bottom edge puts the animal above the middle row and its mirror image below.
  Put<TPredator>(500, 500, 5.0, 0.0);
  LookFrom(440, 500, 20, 495, 500, 0);
  const TImage& frame = Frame();
  const auto red = PixelsWhere(frame, IsRed);
  int aboveMax = 0, belowMax = 0, above = 0, below = 0;
  for (const TPixel& p : red) {
    if (p.Y < Height / 2) {
      ++above;
      aboveMax = std::max(aboveMax, p.R);
    } else if (p.Y > Height / 2) {
      ++below;
      belowMax = std::max(belowMax, p.R);
    }
  }
  EXPECT_GT(above, 1000);
  EXPECT_GT(below, 1000);
  // The back face's normal points away from the light at the eye, so only the ambient 0.2
  // lights it, in the scene at full colour and in the mirror image at 0.3 of it.
  EXPECT_NEAR(aboveMax, 0.2 * 255, 3);
  EXPECT_NEAR(belowMax, 0.3 * aboveMax, 2);
  // Nothing but the predator is drawn.
  EXPECT_EQ(PixelsWhere(frame, IsLit).size(), red.size());
}

TEST_F(RenderTest, PresentedFrameCanStillBeReadAfterTheRendererHasGone) {
  Put<TPredator>(500, 500, 5.0, 0.0);
  LookFrom(440, 500, 20, 495, 500, 0);
  Drawer->Render();
  Drawer.reset();  // the thread is left without a context
  EXPECT_GT(PixelsWhere(Surface->Frame(), IsRed).size(), 2000u);
}

TEST_F(RenderTest, HerbivoresAreYellowAndFirsGreenOverATrunk) {
  Put<THerbivore>(500, 490, 5.0, 0.0);
  Put<TTree>(500, 515, 3.0, 0.0);
  LookFrom(440, 500, 20, 500, 500, 0);
  const TImage& frame = Frame();
  EXPECT_GT(PixelsWhere(frame, IsYellow).size(), 100u);
  EXPECT_GT(PixelsWhere(frame, IsGreen).size(), 100u);
  EXPECT_TRUE(PixelsWhere(frame, IsRed).empty());
}

TEST_F(RenderTest, UnitsAreDrawnUpToTheCullDistanceInclusive) {
  // 700^2 + 100^2 = 500000 exactly; fog leaves a faint but visible animal at that distance.
  THerbivore* far = Put<THerbivore>(800, 200, 20.0, Pi);
  LookFrom(100, 100, 20, 800, 200, 0);
  EXPECT_FALSE(PixelsWhere(Frame(), IsLit).empty());
  far->Y = 200.001;
  LookFrom(100, 100, 20, 800, 200.001, 0);
  EXPECT_TRUE(PixelsWhere(Frame(), IsLit).empty());
}

TEST_F(RenderTest, TrailsAreDrawnOnlyWhenSwitchedOnFadingFromNewestToOldest) {
  // Three segments across the view on the plain, the nearest lowest in the picture. With
  // TrailIndex 0, slot 10000 is the newest (grey 0.2), slot 5000 half-way (0.1) and slot 0 the
  // oldest (black).
  Env->TrailIndex = 0;
  Env->Trails[10000] = TTrailSegment{470, 470, 480, 520};
  Env->Trails[5000] = TTrailSegment{480, 480, 480, 520};
  Env->Trails[0] = TTrailSegment{490, 490, 480, 520};
  LookFrom(440, 500, 20, 500, 500, 0);

  EXPECT_TRUE(PixelsWhere(Frame(), IsLit).empty());

  ShowTrail = true;
  const auto grey = PixelsWhere(Frame(), IsGrey);
  ASSERT_FALSE(grey.empty());
  std::map<int, int> brightestInRow;
  for (const TPixel& p : grey) brightestInRow[p.Y] = std::max(brightestInRow[p.Y], p.R);
  std::vector<int> levels;
  for (const auto& row : brightestInRow) levels.push_back(row.second);
  ASSERT_EQ(levels.size(), 2u);
  EXPECT_NEAR(levels[0], 0.1 * 255, 3);
  EXPECT_NEAR(levels[1], 0.2 * 255, 3);
}

TEST_F(RenderTest, NearFlakeIsAnEightRayStarAndAFarOneASinglePoint) {
  TSnowflakes& flakes = Env->Snowflakes;
  Place(flakes, 0, 450, 500, 15);
  LookFrom(440, 500, 20, 450, 500, 15);
  auto star = PixelsWhere(Frame(), IsGrey);
  ASSERT_FALSE(star.empty());
  int minX = Width, maxX = 0, minY = Height, maxY = 0;
  for (const TPixel& p : star) {
    minX = std::min(minX, p.X);
    maxX = std::max(maxX, p.X);
    minY = std::min(minY, p.Y);
    maxY = std::max(maxY, p.Y);
    EXPECT_LE(p.R, 128);  // grey 0.5
  }
  EXPECT_GE(maxX - minX, 8);
  EXPECT_GE(maxY - minY, 8);

  Place(flakes, 0, 540.5, 500, 15);  // just beyond 100 units
  LookFrom(440, 500, 20, 540.5, 500, 15);
  // One pixel near the middle; the mirror image, far below, is one pixel too.
  const auto point = PixelsWhere(Frame(), [](const TPixel& p) {
    return IsGrey(p) && std::abs(p.Y - Height / 2) < Height / 4;
  });
  EXPECT_EQ(point.size(), 1u);
}

TEST_F(RenderTest, FlakeOnTheGroundIsHalfGreyOverAQuarterGreyMirrorOneUnitBelow) {
  TSnowflakes& flakes = Env->Snowflakes;
  Place(flakes, 0, 450, 500, 0);
  LookFrom(440, 500, 5, 450, 500, 0);
  int nearMax = 0, belowMax = 0, elsewhere = 0;
  for (const TPixel& p : PixelsWhere(Frame(), IsGrey)) {
    if (std::abs(p.Y - Height / 2) <= 15 && std::abs(p.X - Width / 2) <= 15)
      nearMax = std::max(nearMax, p.R);
    else if (p.Y > Height / 2 + 15 && std::abs(p.X - Width / 2) <= 15)
      belowMax = std::max(belowMax, p.R);
    else
      ++elsewhere;
  }
  EXPECT_NEAR(nearMax, 0.5 * 255, 1);
  EXPECT_NEAR(belowMax, 0.25 * 255, 1);
  EXPECT_EQ(elsewhere, 0);
}

TEST_F(RenderTest, FlakeExactlyAtTheStarDistanceIsStillAStar) {
  // At 100 units a star is only a few pixels wide, so this needs a large picture.
  Drawer.reset();
  Surface.reset();
  MAKE_SURFACE_OR_STOP(Surface, 1920, 1080);
  Drawer = std::make_unique<TDrawer>(*Surface, *Env);
  Drawer->Resize(1920, 1080);
  Drawer->UseSwitches(&ShowTrail, &ShowTime);
  TSnowflakes& flakes = Env->Snowflakes;
  auto litNearMiddle = [&](double x) {
    Place(flakes, 0, x, 500, 15);
    LookFrom(440, 500, 20, x, 500, 15);
    return PixelsWhere(Frame(),
                       [](const TPixel& p) { return IsGrey(p) && std::abs(p.Y - 540) < 100; })
        .size();
  };
  EXPECT_GT(litNearMiddle(540.0), 2u);  // squared distance 10000 exactly
  EXPECT_EQ(litNearMiddle(540.01), 1u);
}

// the plain sequence's, pixel for pixel, wherever the camera looks: up, down, along the plain,
// from the snow's own height, from high above, with the wide and the preview's narrow view.
TEST_F(RenderTest, LeavingOutWhatLiesOutsideTheViewChangesNoPixel) {
  CreateStartPopulation(*Env);
  TSnowflakes& flakes = Env->Snowflakes;
  for (size_t i = 0; i < flakes.size(); ++i) {
    const double x = 200 + 600 * Random();
    const double y = 200 + 600 * Random();
    Place(flakes, i, x, y, Random() < 0.2 ? 0 : 200 * Random());
  }
  for (int i = 0; i < 400; ++i) Env->AddTrail(300 + i, 500, 301 + i, 500 + (i % 7));
  ShowTrail = true;

  struct TPose {
    double EyeZ, LookX, LookY, LookZ;  // the eye stands at (500, 500)
  };
  const TPose poses[] = {{80, 560, 500, 10}, {80, 500, 440, 10}, {5, 600, 520, 5},
                         {3, 480, 400, 150}, {300, 505, 500, 0}, {150, 900, 900, 0},
                         {40, 100, 500, 40}, {1, 500, 600, 0.5}, {120, 500, 499, 300},
                         {60, 380, 620, 60}};
  for (bool preview : {false, true}) {
    SCOPED_TRACE(preview ? "preview" : "full screen");
    PreviewMode = preview;
    Drawer.reset();  // the old drawer leaves the thread without a context
    Drawer = std::make_unique<TDrawer>(*Surface, *Env);
    Drawer->UseSwitches(&ShowTrail, &ShowTime);
    Drawer->Resize(SurfaceWidth, SurfaceHeight);
    for (const TPose& pose : poses) {
      SCOPED_TRACE("eye height " + std::to_string(pose.EyeZ) + ", look at " +
                   std::to_string(pose.LookX) + ", " + std::to_string(pose.LookY) + ", " +
                   std::to_string(pose.LookZ));
      LookFrom(500, 500, pose.EyeZ, pose.LookX, pose.LookY, pose.LookZ);
      Drawer->CallSequence = TDrawer::TCallSequence::Batched;
      const std::vector<uint8_t> batched = Frame().Pixels;
      Drawer->CallSequence = TDrawer::TCallSequence::Plain;
      const TImage& plain = Frame();
      EXPECT_FALSE(PixelsWhere(plain, IsLit).empty());
      size_t differing = 0;
      for (size_t i = 0; i < batched.size(); ++i) differing += batched[i] != plain.Pixels[i];
      EXPECT_EQ(differing, 0u);
    }
  }
}

TEST_F(RenderTest, ViewsSideBySideShowWhatEachShowsAloneAndAViewOverAnotherHidesIt) {
  Put<TPredator>(500, 500, 5.0, 0.0);
  Put<THerbivore>(300, 300, 5.0, 0.0);
  TDrawer other(*Surface, *Env);
  other.UseSwitches(&ShowTrail, &ShowTime);
  LookFrom(440, 500, 20, 495, 500, 0);
  other.EyeX = other.UpX = 240;
  other.EyeY = other.UpY = 300;
  other.EyeZ = 20;
  other.LookX = 295;
  other.LookY = 300;
  other.LookZ = 0;
  auto frameOf = [&](const std::vector<TDrawer*>& views) {
    TDrawer::RenderViews(views, Width, Height);
    return Surface->Frame();
  };

  Drawer->View = TTextRect{0, 0, Width / 2, Height};
  other.View = TTextRect{Width / 2, 0, Width, Height};
  const TImage left = frameOf({Drawer.get()});
  const TImage right = frameOf({&other});
  const TImage both = frameOf({Drawer.get(), &other});
  EXPECT_GT(PixelsWhere(left, IsRed).size(), 500u);
  EXPECT_GT(PixelsWhere(right, IsYellow).size(), 500u);
  size_t differing = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      differing +=
          std::memcmp(both.PixelAt(x, y), (x < Width / 2 ? left : right).PixelAt(x, y), 4) != 0;
  EXPECT_EQ(differing, 0u);

  // Cloned monitors: the later view covers the earlier one, which leaves no pixel behind.
  Drawer->View = other.View = TTextRect{0, 0, Width, Height};
  EXPECT_EQ(frameOf({Drawer.get(), &other}).Pixels, frameOf({&other}).Pixels);
}

TEST_F(RenderTest, FrameOfABusyWorldLeavesTheMatrixStackAndLightingAsItFoundThem) {
  TPredator* predator = CreateStartPopulation(*Env);
  TSnowflakes& flakes = Env->Snowflakes;
  for (size_t i = 0; i < 2000; ++i)
    Place(flakes, i, predator->X + static_cast<double>(i % 40) - 20,
          predator->Y + static_cast<double>(i / 40) - 25, flakes.Height(i));
  for (int i = 0; i < 200; ++i)
    Env->AddTrail(predator->X + i, predator->Y, predator->X + i + 1, predator->Y + 1);
  Drawer->FollowedUnit = predator;
  Drawer->OrbitAngle = Pi;
  Drawer->OrbitDistance = 60.0;
  for (int i = 0; i < 600; ++i) Drawer->UpdateCamera(1.0 / 60);
  ShowTrail = true;
  ShowTime = true;

  GLint depthBefore = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
  const TImage& frame = Frame();
  GLint depthAfter = 0, matrixMode = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
  glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
  EXPECT_EQ(depthAfter, depthBefore);
  EXPECT_EQ(matrixMode, GL_MODELVIEW);
  GLdouble modelView[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(modelView[i], i % 5 == 0 ? 1.0 : 0.0) << i;
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  // The followed predator is straight ahead, below the middle: the eye looks at a point 15
  // units above it.
  EXPECT_FALSE(PixelsWhere(frame, [](const TPixel& p) {
                 return IsRed(p) && std::abs(p.X - Width / 2) < 40 && p.Y > Height / 2;
               }).empty());
  EXPECT_EQ(Surface->InvalidateCount(), 1);
}

TEST_F(WorldTest, SnapshotFollowsTheLastPredatorAndWritesThePicture) {
  TPredator* predator = CreateStartPopulation(*Env);
  TSnapshotOptions options;
  options.Width = 160;
  options.Height = 90;
  std::string error;
  auto snapshot = TSnapshotRenderer::Create(*Env, predator, options, error);
  if (!snapshot) {
    if (std::getenv("TUNDREL_NO_GL") == nullptr) FAIL() << error;
    GTEST_SKIP() << "TUNDREL_NO_GL is set";
  }
  EXPECT_TRUE(snapshot->Drawer().FollowedUnit.Is(predator));
  EXPECT_EQ(snapshot->Drawer().OrbitAngle, Pi);
  EXPECT_EQ(snapshot->Drawer().OrbitDistance, 60.0);
  for (int i = 0; i < 60; ++i) snapshot->UpdateCamera(StepWorld(1.0 / 60));
  EXPECT_LT(snapshot->Drawer().EyeZ, 80.0);  // on its way down to 20 behind the animal

  const std::string path = ::testing::TempDir() + "tundrel_snapshot.png";
  EXPECT_EQ(snapshot->Finish(path), "");
  TImage written;
  ASSERT_TRUE(ReadPng(path, written, &error)) << error;
  EXPECT_EQ(written.Width, 160);
  EXPECT_EQ(written.Height, 90);
  EXPECT_FALSE(PixelsWhere(written, IsLit).empty());
  std::remove(path.c_str());

  EXPECT_NE(snapshot->Finish(::testing::TempDir() + "no-such-folder/x/a.png"), "");
}

}  // namespace
