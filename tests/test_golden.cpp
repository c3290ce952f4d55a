// What must not change while the world step and the frame get cheaper. Golden images: the last
// frame of three seeded worlds at two small sizes, rendered the way
// `tundrel-sim --seed N --seconds 20 --png FILE --size WxH --no-clock` renders it, must match the
// pictures in tests/golden pixel for pixel, with merged batches and with the plain call
// sequence alike. They were made with Mesa's software rasteriser (llvmpipe); a different
// rasteriser may round edges differently and fail here. Golden results: the world's faster
// paths (the snow table step, the scans) give bit for bit what the plain per-unit code gives.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "clock.h"
#include "drawer.h"
#include "png/png_writer.h"
#include "population.h"
#include "random.h"
#include "sim_support.h"
#include "snapshot.h"
#include "species.h"
#include "world.h"

// Mesa's driver, LLVM and fontconfig keep a few allocations of their own set-up until exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libLLVM\nleak:libEGL_mesa\nleak:swrast_dri\nleak:libgallium\nleak:libfontconfig\n";
}

namespace {

constexpr double Seconds = 20.0;  // simulated, as the pictures were made
constexpr double FrameDt = 1.0 / 60.0;

struct TGoldenCase {
  uint64_t Seed;
  int Width;  // pixels
  int Height;
};

std::string CaseName(const TGoldenCase& c) {
  return "seed" + std::to_string(c.Seed) + "_" + std::to_string(c.Width) + "x" +
         std::to_string(c.Height);
}

// The pictures of one case, and the GL renderer that drew them.
struct TRendered {
  std::string Batched;  // the frame as the renderer draws it by default
  std::string Plain;    // the same frame with the plain call sequence
  std::string Renderer;
};

// What the driver does for --png: the world and the snapshot's camera stepped together on a
// simulated clock with the population topped up, then the last frame, written once as drawn by
// default and once more with the plain call sequence. Empty paths and the reason in error when
// there is no GL context.
TRendered RenderLikeTheDriver(const TGoldenCase& c, std::string& error) {
  TManualClock clock(0.0);
  SetClockSource(&clock);
  Randomize(c.Seed);
  auto env = std::make_unique<TEnv>(1000.0);
  TPredator* lastPredator = CreateStartPopulation(*env);
  TSnapshotOptions options;
  options.Width = c.Width;
  options.Height = c.Height;
  options.ShowTrail = true;
  options.ShowTime = false;
  auto snapshot = TSnapshotRenderer::Create(*env, lastPredator, options, error);
  TRendered rendered;
  if (snapshot) {
    const int64_t steps = static_cast<int64_t>(std::ceil(Seconds / FrameDt - 1e-9));
    for (int64_t step = 1; step <= steps; ++step) {
      clock.Set(static_cast<double>(step) * FrameDt);
      const double dt = env->Step();
      snapshot->UpdateCamera(dt);
      TopUpPopulation(*env);
    }
    const std::string stem = ::testing::TempDir() + "tundrel_golden_" + CaseName(c);
    const std::string batchedError = snapshot->Finish(stem + ".png");
    if (batchedError.empty()) rendered.Batched = stem + ".png";
    snapshot->Drawer().CallSequence = TDrawer::TCallSequence::Plain;
    const std::string plainError = snapshot->Finish(stem + "_plain.png");
    if (plainError.empty()) rendered.Plain = stem + "_plain.png";
    error = batchedError + plainError;
    const GLubyte* name = glGetString(GL_RENDERER);
    rendered.Renderer = name ? reinterpret_cast<const char*>(name) : "an unknown renderer";
  }
  snapshot.reset();
  env.reset();
  SetClockSource(nullptr);
  return rendered;
}

// Compares the decoded pixels of a rendered picture with its golden one; on a mismatch the
// rendered file stays behind for a look.
void ExpectSamePixels(const TGoldenCase& c, const std::string& rendered,
                      const std::string& renderer) {
  const std::string golden = std::string(TUNDREL_GOLDEN_DIR) + "/" + CaseName(c) + ".png";
  TImage expected, actual;
  std::string error;
  ASSERT_TRUE(ReadPng(golden, expected, &error)) << error;
  ASSERT_TRUE(ReadPng(rendered, actual, &error)) << error;
  ASSERT_EQ(actual.Width, expected.Width);
  ASSERT_EQ(actual.Height, expected.Height);
  int differing = 0;
  int firstX = -1, firstY = -1;
  for (int y = 0; y < expected.Height; ++y)
    for (int x = 0; x < expected.Width; ++x) {
      const uint8_t* e = expected.PixelAt(x, y);
      const uint8_t* a = actual.PixelAt(x, y);
      if (e[0] == a[0] && e[1] == a[1] && e[2] == a[2] && e[3] == a[3]) continue;
      if (differing++ == 0) {
        firstX = x;
        firstY = y;
      }
    }
  EXPECT_EQ(differing, 0) << differing << " pixels differ, the first at (" << firstX << ", "
                          << firstY << "); rendered " << rendered << " on " << renderer;
  if (differing == 0) std::remove(rendered.c_str());
}

void PrintTo(const TGoldenCase& c, std::ostream* os) {
  *os << CaseName(c);
}

class GoldenImage : public ::testing::TestWithParam<TGoldenCase> {};

TEST_P(GoldenImage, FrameMatchesTheStoredPicturePixelForPixelWithEitherCallSequence) {
  std::string error;
  const TRendered rendered = RenderLikeTheDriver(GetParam(), error);
  if (rendered.Renderer.empty()) {
    if (std::getenv("TUNDREL_NO_GL") != nullptr) GTEST_SKIP() << "TUNDREL_NO_GL is set";
    FAIL() << "cannot render offscreen: " << error
           << " (set TUNDREL_NO_GL=1 to skip where there is no GL)";
  }
  ASSERT_FALSE(rendered.Batched.empty()) << error;
  ASSERT_FALSE(rendered.Plain.empty()) << error;
  ExpectSamePixels(GetParam(), rendered.Batched, rendered.Renderer);
  ExpectSamePixels(GetParam(), rendered.Plain, rendered.Renderer);
}

INSTANTIATE_TEST_SUITE_P(ThreeSeedsTwoSizes, GoldenImage,
                         ::testing::Values(TGoldenCase{1, 320, 180}, TGoldenCase{1, 480, 270},
                                           TGoldenCase{2, 320, 180}, TGoldenCase{2, 480, 270},
                                           TGoldenCase{3, 320, 180}, TGoldenCase{3, 480, 270}),
                         [](const ::testing::TestParamInfo<TGoldenCase>& info) {
                           return CaseName(info.param);
                         });

// ---- golden results of the world step ----

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// The first flake and field in which the two tables differ in any bit, or "".
std::string FirstDifference(const std::vector<TSnowflake>& a, const TSnowflakes& b) {
  if (a.size() != b.size()) return "the tables differ in length";
  for (size_t i = 0; i < a.size(); ++i) {
    const TSnowflake& p = a[i];
    const TSnowflake q = b.Get(i);
    const std::pair<const char*, bool> fields[] = {
        {"X", SameBits(p.X, q.X)},
        {"Y", SameBits(p.Y, q.Y)},
        {"Z", SameBits(p.Z, q.Z)},
        {"LieTime", SameBits(p.LieTime, q.LieTime)},
        {"DriftX", SameBits(p.DriftX, q.DriftX)},
        {"DriftY", SameBits(p.DriftY, q.DriftY)},
        {"VelZ", SameBits(p.VelZ, q.VelZ)},
        {"DriftTime", SameBits(p.DriftTime, q.DriftTime)}};
    for (const auto& field : fields)
      if (!field.second) return "flake " + std::to_string(i) + ", " + field.first;
  }
  return "";
}

TEST_F(WorldTest, SnowTableStepGivesTheFlakeByFlakeResultsAndDraws) {
  std::vector<TSnowflake> reference;
  for (size_t i = 0; i < Env->Snowflakes.size(); ++i) reference.push_back(Env->Snowflakes.Get(i));
  // Flakes on the edges of their states: on the ground with no lying time left, a wind timer at
  // exactly 0, just above the ground, a negative zero height and position.
  reference[0].Z = 0;
  reference[0].LieTime = 0;
  reference[1].Z = 50;
  reference[1].DriftTime = 0;
  reference[2].Z = 0.1;
  reference[3].Z = -0.0;
  reference[3].X = -0.0;
  reference[4].Z = 0;
  reference[4].LieTime = 1.0 / 60;
  TSnowflakes table(Env.get());
  for (const TSnowflake& flake : reference) table.Add(flake);

  // Frame steps with a zero step, long ones that land and restart many flakes at once, and one
  // past a wind change; then 14 s of frames of a 60 Hz display, long enough for flakes that fall
  // together to share their fall, for a flake that shares one to be set on its own, and for the
  // flakes the long steps laid down to fall again.
  const double steps[] = {1.0 / 60, 0.0, 0.5, 1.0 / 60, 10.0, 0.25, 1.0 / 60, 3.0, 0.0, 0.75};
  for (int round = 0; round <= 900; ++round) {
    // A step back in the middle; the last step is one of no finite length, which leaves no
    // flake where it was.
    const double dt = round == 900   ? HUGE_VAL
                      : round == 450 ? -0.004
                      : round < 60   ? steps[round % 10]
                                     : (round % 3 ? 0.017 : 0.016);
    if (round == 60) {
      // Flakes that land one a step from here on, while their places have steps to catch up on.
      for (size_t i = 10; i < 250; ++i) {
        reference[i].Z = 0.34 * static_cast<double>(i - 9);
        table.Set(i, reference[i]);
      }
    }
    if (round == 200) {
      reference[7].Z = 0;
      reference[7].LieTime = 0.001;
      table.Set(7, reference[7]);
    }
    Randomize(1000 + static_cast<uint64_t>(round));
    for (TSnowflake& flake : reference) flake.Step(dt);
    const double nextAfterReference = Random();
    Randomize(1000 + static_cast<uint64_t>(round));
    table.Step(dt);
    const double nextAfterTable = Random();
    ASSERT_EQ(nextAfterTable, nextAfterReference)
        << "a different number of draws in round " << round;
    // Reading a flake brings it up to date: after the first rounds, every third flake is read
    // in each round and all now and then, so that the others catch up on many steps at once.
    for (size_t i = 0; i < table.size(); i += 3) (void)table.X(i);
    if (round < 60 || round % 29 == 0 || round >= 898) {
      ASSERT_EQ(FirstDifference(reference, table), "") << "round " << round << ", dt " << dt;
    }
  }
  // Flakes that landed together share their height and timers.
  EXPECT_LT(table.FallCount(), table.size() / 10);
}

// The flakes near an eye, by the plain definition: every flake in index order.
std::vector<uint32_t> ReferenceNearFlakes(const TSnowflakes& flakes, double x, double y,
                                          double rangeSq, const std::vector<TPlainSide>& sides) {
  std::vector<uint32_t> near;
  for (size_t i = 0; i < flakes.size(); ++i) {
    const double dx = flakes.X(i) - x, dy = flakes.Y(i) - y;
    bool keep = !(dx * dx + dy * dy > rangeSq);
    for (const TPlainSide& side : sides)
      keep = keep && !(side.A * flakes.X(i) + side.B * flakes.Y(i) + side.C < 0);
    if (keep) near.push_back(static_cast<uint32_t>(i));
  }
  return near;
}

// The table finds near flakes by cells of the plain: as drifting flakes leave the cells they were
// sorted into, after a flake is set anywhere or to no number at all, at the edges of the snow and
// beyond, with lines through the eye and none, with an eye that is no number.
TEST_F(WorldTest, SnowNearAnEyeIsFoundAsByTestingEveryFlake) {
  TSnowflakes& flakes = Env->Snowflakes;
  std::vector<TSnowflakes::TNearFlake> near;
  auto check = [&](double x, double y, double rangeSq, const std::vector<TPlainSide>& sides) {
    const size_t count = flakes.Near(x, y, rangeSq, sides.data(), sides.size(), near);
    ASSERT_EQ(near.size(), count);
    std::vector<uint32_t> found;
    for (size_t k = 0; k < count; ++k) {
      found.push_back(near[k].Index);
      ASSERT_TRUE(SameBits(near[k].X, flakes.X(near[k].Index)) &&
                  SameBits(near[k].Y, flakes.Y(near[k].Index)) &&
                  SameBits(near[k].Z, flakes.Height(near[k].Index)));
    }
    ASSERT_EQ(found, ReferenceNearFlakes(flakes, x, y, rangeSq, sides))
        << "eye " << x << ", " << y << ", range " << rangeSq;
  };
  for (int round = 0; round < 40; ++round) {
    for (int step = 0; step < 30; ++step) flakes.Step(round % 4 ? 1.0 / 60 : 0.5);
    for (int eye = 0; eye < 8; ++eye) {
      const double x = -1200 + 4400 * Random(), y = -1200 + 4400 * Random();
      TSnowflake flake = flakes.Get(5);
      if (round == 10 && eye == 1) {
        flake.X = x + 1;
        flake.Y = y;
        flakes.Set(5, flake);
      }
      if (round == 20 && eye == 0) {
        flake.X = std::nan("");
        flake.DriftY = HUGE_VAL;
        flakes.Set(5, flake);
      }
      // Two lines through the eye, as a view's sides, turned at random.
      const double turn = 6.2832 * Random();
      const std::vector<TPlainSide> sides = {
          {std::cos(turn), std::sin(turn), -(std::cos(turn) * x + std::sin(turn) * y)},
          {std::cos(turn + 2), std::sin(turn + 2),
           -(std::cos(turn + 2) * x + std::sin(turn + 2) * y)}};
      check(x, y, 200000, sides);
      check(x, y, 200000, {});
      check(x, y, 10000 * Random(), {});
    }
  }
  check(std::nan(""), 500, 200000, {});
  check(500, 500, HUGE_VAL, {});

  // A flake that drifts out of its cell into range, the cell itself out of range: the table of
  // two lying flakes that span cells of 10 units, and one that drifts 2.5 units a second.
  TSnowflakes table(Env.get());
  TSnowflake flake;
  flake.LieTime = HUGE_VAL;
  table.Add(flake);
  flake.X = flake.Y = 640;
  table.Add(flake);
  flake = TSnowflake();
  flake.X = 100.5;
  flake.Y = 105;
  flake.Z = 100;
  flake.DriftX = -2.5;
  flake.DriftTime = 0.5;
  table.Add(flake);
  std::vector<TSnowflakes::TNearFlake> found(3);
  const double rangeSq = 49.9 * 49.9;
  EXPECT_EQ(table.Near(50, 105, rangeSq, nullptr, 0, found), 0u);
  EXPECT_TRUE(found.empty());
  table.Step(0.4);
  ASSERT_EQ(table.Near(50, 105, rangeSq, nullptr, 0, found), 1u);
  EXPECT_EQ(found[0].Index, 2u);
}

// The plain definitions of the queries, for comparison with the world's scans.
TUnits ReferenceUnitsNear(const TEnv& env, const TEnvUnit* unit, double range) {
  TUnits near;
  for (const auto& slot : env.Units)
    if (slot && slot.get() != unit && unit->ClearanceTo(slot.get()) <= range * range)
      near.push_back(slot.get());
  return near;
}

TEnvUnit* ReferenceNearestOf(const TEnv& env, const TEnvUnit* unit, const TUnitClass& cls) {
  double best = (10 * env.WorldSize) * (10 * env.WorldSize);
  TEnvUnit* nearest = nullptr;
  for (const auto& slot : env.Units) {
    if (!slot || slot.get() == unit || !slot->InheritsFrom(cls)) continue;
    if (unit->ClearanceTo(slot.get()) < best) {
      best = unit->ClearanceTo(slot.get());
      nearest = slot.get();
    }
  }
  return nearest;
}

TEST_F(WorldTest, ScansAnswerAsThePlainDefinitionsOnCrowdedRandomWorlds) {
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    Randomize(seed);
    Env = std::make_unique<TEnv>(1000.0);
    CreateStartPopulation(*Env);
    // Crowd them, and give some trees a twin on the same spot so that clearances tie (trees
    // stay put); one unit joins without AddUnit and must still be told by its class.
    for (int i = 0; i < 300; ++i) Env->AddUnit(std::make_unique<THerbivore>(Env.get()));
    for (int i = 0; i < 20; ++i) {
      TEnvUnit* twin = Env->AddUnit(std::make_unique<TTree>(Env.get()));
      const TEnvUnit* tree = Env->Units[static_cast<size_t>(12 * i)].get();
      twin->X = tree->X;
      twin->Y = tree->Y;
      twin->Radius = tree->Radius;
    }
    Env->Units.push_back(std::make_unique<TPredator>(Env.get()));
    Env->RemoveUnit(Env->Units[10].get());  // an empty slot, as in the middle of a step

    TUnits near;
    const auto expectPlainAnswers = [&](const std::string& when) {
      for (const auto& slot : Env->Units) {
        if (!slot) continue;
        const TEnvUnit* unit = slot.get();
        for (double range : {0.0, 5.0, 30.0, 100.0}) {
          Env->UnitsNear(unit, range, near);
          ASSERT_EQ(near, ReferenceUnitsNear(*Env, unit, range)) << "seed " << seed << when;
        }
        for (const TUnitClass* cls :
             {&TEnvUnit::ClassInfo, &TAnimal::ClassInfo, &TPredator::ClassInfo,
              &THerbivore::ClassInfo, &TPlant::ClassInfo, &TTree::ClassInfo})
          ASSERT_EQ(Env->NearestOf(unit, *cls), ReferenceNearestOf(*Env, unit, *cls))
              << "seed " << seed << when << ", class " << cls->Name;
      }
    };
    // Births, deaths and compaction change the list between the checks.
    for (int i = 1; i <= 200; ++i) {
      StepWorld(1.0 / 60);
      if (i % 25 == 0) expectPlainAnswers(", step " + std::to_string(i));
    }
    Env->RemoveUnit(Env->Units[20].get());
    expectPlainAnswers(", a slot emptied");
    Env->Compact();
    expectPlainAnswers(", compacted");
    // One unit out and another in: the list has its old size and storage, other units in it.
    Env->RemoveUnit(Env->Units[5].get());
    Env->Compact();
    Env->AddUnit(std::make_unique<TPredator>(Env.get()));
    expectPlainAnswers(", one out and one in");
    Env->Units.push_back(std::make_unique<TPredator>(Env.get()));  // joins from outside
    expectPlainAnswers(", a unit pushed from outside");
    int predators = 0;
    for (const auto& slot : Env->Units)
      if (slot && slot->Is<TPredator>()) ++predators;
    EXPECT_EQ(Env->CountOf<TPredator>(), predators) << "seed " << seed;
  }
}

}  // namespace
