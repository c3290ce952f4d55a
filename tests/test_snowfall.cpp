// Snowfall: the phase of a new flake, falling, landing, lying and falling again, the wind.
#include "sim_support.h"

namespace {

TSnowflake MakeFlake(TEnv* env, double phase, double rx = 0.5, double ry = 0.5) {
  TScriptedDraws draws{rx, ry};
  return TSnowflake(env, phase);
}

TEST_F(WorldTest, ThePhaseSpreadsFlakesOverTheirCycle) {
  const TSnowflake ground = MakeFlake(Env.get(), 0.5, 0.0, 0.9);
  EXPECT_EQ(ground.Z, 0.0);
  EXPECT_EQ(ground.LieTime, 10.0);
  EXPECT_DOUBLE_EQ(ground.X, -1000.0);
  EXPECT_DOUBLE_EQ(ground.Y, 1700.0);
  EXPECT_EQ(ground.VelZ, -20.0);
  EXPECT_EQ(ground.DriftTime, 0.0);

  const TSnowflake high = MakeFlake(Env.get(), 0.75);
  EXPECT_DOUBLE_EQ(high.Z, 100.0);
  EXPECT_EQ(high.LieTime, 10.0);

  const TSnowflake lying = MakeFlake(Env.get(), 0.25);
  EXPECT_EQ(lying.Z, 0.0);
  EXPECT_DOUBLE_EQ(lying.LieTime, 5.0);
}

TEST_F(WorldTest, AFallingFlakeDrawsAWindAtOnceAndLandsWithoutSinking) {
  TSnowflake flake = MakeFlake(Env.get(), 0.75);
  {
    TScriptedDraws draws{1.0 - 0x1p-53, 0.0};
    flake.Step(0.5);
    EXPECT_EQ(draws.Source.Drawn, 2);
  }
  EXPECT_EQ(flake.DriftTime, 0.5);
  EXPECT_NEAR(flake.DriftX, 2.5, 1e-12);
  EXPECT_EQ(flake.DriftY, -2.5);
  EXPECT_DOUBLE_EQ(flake.Z, 90.0);
  EXPECT_DOUBLE_EQ(flake.Y, 500.0 - 1.25);

  flake.Z = 0.1;
  flake.Step(1.0);
  EXPECT_EQ(flake.Z, 0.0);
}

TEST_F(WorldTest, ALyingFlakeStaysPutUntilItsTimeDropsBelowZero) {
  TSnowflake flake = MakeFlake(Env.get(), 0.5);
  flake.DriftX = 2;
  flake.LieTime = 0.5;
  flake.Step(0.5);  // exactly 0 left: still lying
  EXPECT_EQ(flake.Z, 0.0);
  EXPECT_EQ(flake.DriftX, 0.0);
  EXPECT_DOUBLE_EQ(flake.X, 500.0);
  flake.Step(0.25);
  EXPECT_DOUBLE_EQ(flake.Z, 200.0 - 20 * 0.25);
  EXPECT_EQ(flake.LieTime, 10.0);
  EXPECT_DOUBLE_EQ(flake.X, 500.0);
}

TEST_F(WorldTest, AFlakeRunsAFullCycleOfTenSecondsFallingAndTenLying) {
  TSnowflake flake = MakeFlake(Env.get(), 0.5);  // on the ground, 10 s to lie
  int steps = 0;
  while (flake.Z == 0 && steps < 10000) {
    flake.Step(0.01);
    ++steps;
  }
  EXPECT_NEAR(steps * 0.01, 10.0, 0.02);
  steps = 0;
  while (flake.Z > 0 && steps < 10000) {
    flake.Step(0.01);
    ++steps;
  }
  EXPECT_NEAR(steps * 0.01, 10.0, 0.02);
}

TEST_F(WorldTest, TheWorldsFlakesCoverThreeTimesThePlainAndHalfAreAirborne) {
  int airborne = 0;
  for (size_t i = 0; i < Env->Snowflakes.size(); ++i) {
    const TSnowflake f = Env->Snowflakes.Get(i);
    ASSERT_GE(f.X, -1000.0);
    ASSERT_LT(f.X, 2000.0);
    ASSERT_GE(f.Y, -1000.0);
    ASSERT_LT(f.Y, 2000.0);
    ASSERT_GE(f.Z, 0.0);
    ASSERT_LT(f.Z, 200.0);
    ASSERT_GT(f.LieTime, 0.0);
    ASSERT_LE(f.LieTime, 10.0);
    if (f.Z > 0) ++airborne;
  }
  EXPECT_NEAR(airborne, 50000, 1000);
}

}  // namespace
