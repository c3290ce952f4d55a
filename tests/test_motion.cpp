// The unit base: construction draws, clearance, limited turning, bearings, the motion
// integrator's avoidance, walls and friction, and trail recording; the portable sine, cosine,
// arctangent and arcsine they steer with.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "portable_math.h"
#include "sim_support.h"

namespace {

// A mode that asks Move for a fixed speed and turn, so the integrator can be watched alone.
class TFixedMode : public TMoveMode {
 public:
  TFixedMode(TEnvUnit* owner, double speed, double turn)
      : TMoveMode(owner), Speed(speed), Turn(turn) {}
  void Step(double dt) override { Owner->Move(dt, Speed, Turn); }
  double Speed;
  double Turn;
};

TEST_F(WorldTest, ConstructionDrawsHeadingRadiusThenAFreePlace) {
  TTree* blocker = Put<TTree>(500, 500, 2.0);
  // Heading 0.25 turns, radius 1.5, then a place on the blocker (refused), then a free one.
  TScriptedDraws draws{0.25, 0.5, 0.5, 0.5, 0.0, 0.0};
  TEnvUnit unit(Env.get());
  EXPECT_DOUBLE_EQ(unit.Direction, 0.5 * Pi);
  EXPECT_DOUBLE_EQ(unit.Radius, 1.5);
  EXPECT_DOUBLE_EQ(unit.X, 1.5);  // Radius + 0 * (1000 - 2 * Radius): the footprint on the plain
  EXPECT_DOUBLE_EQ(unit.Y, 1.5);
  EXPECT_EQ(draws.Source.Drawn, 6);
  EXPECT_EQ(unit.TurnRate, 5.0);
  EXPECT_EQ(unit.SightRange, 30.0);
  EXPECT_EQ(unit.MaxVelocity, 20.0);
  EXPECT_EQ(unit.Mode, unit.IdleMode.get());
  EXPECT_EQ(unit.IdleMode->Owner, &unit);
  (void)blocker;
}

TEST_F(WorldTest, AnAnimalKeepsThePlaceFoundWithItsFirstRadius) {
  TScriptedDraws draws{0.0, 0.0, 0.5, 0.5, 0.75};
  TAnimal animal(Env.get());
  EXPECT_DOUBLE_EQ(animal.X, 500.0);
  EXPECT_DOUBLE_EQ(animal.Radius, 1.75);
}

TEST_F(WorldTest, ClearanceIsSquaredDistanceLessBothSquaredRadii) {
  TTree* a = Put<TTree>(500, 500, 1.0);
  TTree* b = Put<TTree>(501.5, 500, 1.0);
  EXPECT_EQ(a->ClearanceTo(a), 0.0);
  EXPECT_DOUBLE_EQ(a->ClearanceTo(b), 0.25);
  b->Radius = 3.0;
  EXPECT_DOUBLE_EQ(b->ClearanceTo(a), 2.25 - 9 - 1);
}

TEST_F(WorldTest, TurnTowardsIsLimitedByTurnRateAndLandsExactly) {
  TTree* u = Put<TTree>(500, 500, 1.0, 1.0);
  u->TurnRate = 2.0;
  u->TurnTowards(100.0, 0.0);  // no time, no turn
  EXPECT_EQ(u->Direction, 1.0);
  u->TurnTowards(2.0, 0.1);  // up by 0.2
  EXPECT_DOUBLE_EQ(u->Direction, 1.2);
  u->TurnTowards(0.0, 0.1);  // down by 0.2
  EXPECT_DOUBLE_EQ(u->Direction, 1.0);
  u->TurnTowards(1.15, 0.1);  // within reach: exactly the goal
  EXPECT_EQ(u->Direction, 1.15);
}

TEST_F(WorldTest, AWoundUpHeadingUnwindsAtTurnRateBeforeItArrives) {
  TTree* u = Put<TTree>(500, 500, 1.0, 4 * Pi + 0.1);
  const double dt = 0.01;
  int steps = 0;
  while (u->Direction != 0.1 && steps < 100000) {
    const double before = u->Direction;
    u->TurnTowards(0.1, dt);
    if (u->Direction != 0.1) {
      ASSERT_NEAR(before - u->Direction, 5.0 * dt, 1e-12);
    }
    ++steps;
  }
  EXPECT_NEAR(steps * dt, 4 * Pi / 5.0, 2 * dt);
}

TEST_F(WorldTest, BearingsCoverMinusHalfPiToThreeHalvesPi) {
  TTree* u = Put<TTree>(500, 500, 1.0, 0.0);
  TTree* other = Put<TTree>(400, 500);
  EXPECT_DOUBLE_EQ(u->BearingOf(other), Pi);  // straight along -X is pi, not -pi
  other->X = 500;
  other->Y = 600;
  EXPECT_DOUBLE_EQ(u->BearingOf(other), Pi / 2);  // dx = 0 divides by zero, on purpose
  other->Y = 400;
  EXPECT_DOUBLE_EQ(u->BearingOf(other), -Pi / 2);
  other->X = 400;
  EXPECT_DOUBLE_EQ(u->BearingOf(other), 1.25 * Pi);

  u->TurnRate = 100;
  u->TurnToUnit(other, 1.0);
  EXPECT_DOUBLE_EQ(u->Direction, 1.25 * Pi);
  u->TurnAwayFrom(other, 1.0);
  EXPECT_DOUBLE_EQ(u->Direction, 2.25 * Pi);
  u->TurnToUnit(u, 1.0);  // itself: nothing
  EXPECT_DOUBLE_EQ(u->Direction, 2.25 * Pi);
}

TEST_F(WorldTest, MoveWithNothingInSightTurnsOnlyByTheSteadyTurn) {
  TTree* u = Put<TTree>(500, 500, 1.0, 0.3);
  u->Move(0.5, 10.0, 0.2);
  EXPECT_DOUBLE_EQ(u->Direction, 0.4);
  EXPECT_GT(u->X, 500);
  EXPECT_EQ(u->MaxVelocity, 10.0 / 3);
}

TEST_F(WorldTest, AnObstacleDeadAheadBeyondReachIsPassedOnTheDownTangent) {
  TTree* u = Put<TTree>(500, 500, 1.0, 0.0);
  Put<TTree>(520, 500, 1.0);  // 20 ahead, reach 1.5 + 1
  u->Move(0.1, 0.0, 0.0);
  EXPECT_DOUBLE_EQ(u->Direction, -std::asin(2.5 / 20.0));
}

TEST_F(WorldTest, AnObstacleTooCloseTurnsAwayAtTwoAndAHalfTimesTheTurnRate) {
  TTree* u = Put<TTree>(500, 500, 1.0, 0.0);
  TTree* below = Put<TTree>(501.5, 499, 1.0);  // within reach, on the down side
  u->Move(0.1, 0.0, 0.0);
  EXPECT_DOUBLE_EQ(u->Direction, 2.5 * 5.0 * 0.1);
  u->Direction = 0.0;
  below->Y = 501;  // the up side turns it down
  u->Move(0.1, 0.0, 0.0);
  EXPECT_DOUBLE_EQ(u->Direction, -2.5 * 5.0 * 0.1);
}

TEST_F(WorldTest, TheModesTargetAndUnitsBehindAreNoObstacle) {
  TTree* u = Put<TTree>(500, 500, 1.0, 0.0);
  TTree* prey = Put<TTree>(520, 500, 1.0);
  Put<TTree>(480, 500, 1.0);  // behind
  TFixedMode mode(u, 0.0, 0.0);
  mode.Target = prey;
  u->Mode = &mode;
  u->Move(0.1, 0.0, 0.0);
  EXPECT_EQ(u->Direction, 0.0);
  u->Mode = u->IdleMode.get();
}

TEST_F(WorldTest, WallsPushACentreOffThePlainBackBeforeCapAndFriction) {
  const double dt = 0.1;
  TTree* off = Put<TTree>(-0.5, 500, 1.0, Pi / 2);
  TTree* on = Put<TTree>(0.5, 300, 1.0, Pi / 2);
  off->Move(dt, 30.0, 0.0);
  on->Move(dt, 30.0, 0.0);
  EXPECT_NEAR(off->VelX, 2 * dt - dt, 1e-12);  // pushed in, then friction
  EXPECT_NEAR(on->VelX, -dt, 1e-12);           // friction alone

  TTree* still = Put<TTree>(700, 700, 1.0, Pi / 2);
  still->VelX = 0.0;
  still->Move(dt, 0.0, 0.0);  // speed 0: a component of exactly 0 gets +dt
  EXPECT_EQ(still->VelX, dt);

  TTree* fast = Put<TTree>(700, 300, 1.0, 0.0);
  fast->VelX = 50.0;
  fast->VelY = -50.0;
  fast->Move(dt, 30.0, 0.0);  // capped at speed / 3, then friction
  EXPECT_DOUBLE_EQ(fast->VelX, 10.0 - dt);
  EXPECT_DOUBLE_EQ(fast->VelY, -10.0 + dt);
}

TEST_F(WorldTest, ARefusedMoveKeepsThePlaceButNotTheNewVelocity) {
  TTree* u = Put<TTree>(500, 500, 1.0, 0.0);
  Put<TTree>(500.5, 500, 1.0);
  u->MoveTo(500.4, 500);  // onto the other unit
  EXPECT_EQ(u->X, 500);
  u->MoveTo(400, 400);
  EXPECT_EQ(u->X, 400);
}

TEST_F(WorldTest, AMovingModeLeavesOneSegmentPerStepEvenStandingStill) {
  TTree* u = Put<TTree>(500, 500, 1.0, 0.0);
  TFixedMode mode(u, 0.0, 0.0);
  u->Mode = &mode;
  u->Step(0.1);
  EXPECT_EQ(Env->TrailIndex, 1);
  EXPECT_EQ(Env->Trails[0].X1, 500);
  EXPECT_EQ(Env->Trails[0].Y1, 500);
  EXPECT_EQ(Env->Trails[0].X2, u->X);
  EXPECT_EQ(Env->Trails[0].Y2, u->Y);
  u->Mode = u->IdleMode.get();
  u->Step(0.1);
  EXPECT_EQ(Env->TrailIndex, 1);
}

}  // namespace

#if defined(__GLIBC__) && LDBL_MANT_DIG >= 64
// The C library's long double functions are 11 bits more precise than a double: a fair reference.
TEST(PortableMath, WithinOneUlpOfTheCLibraryOverTheWorldsRangesAndBeyond) {
  auto ulpError = [](double got, long double ref) {
    const int e = std::max(std::ilogb(static_cast<double>(ref)), DBL_MIN_EXP - 1);
    return static_cast<double>(std::fabs(got - ref) / std::ldexp(1.0L, e - 52));
  };
  std::mt19937_64 bits(12);
  auto uniform = [&](double lo, double hi) {
    return lo + (hi - lo) * (static_cast<double>(bits() >> 11) * 0x1.0p-53);
  };
  double worst[4] = {};
  for (int i = 0; i < 300000; ++i) {
    double x;
    switch (i % 6) {
      case 0: {  // any finite double, tiny to huge
        const uint64_t b = bits();
        std::memcpy(&x, &b, sizeof x);
        if (!std::isfinite(x)) continue;
        break;
      }
      case 1:
        x = uniform(-7, 7);
        break;
      case 2:  // headings a unit can wind up to
        x = uniform(-1e4, 1e4);
        break;
      case 3:  // next to a multiple of pi/2, where the reduction cancels
        x = static_cast<double>(static_cast<long double>(bits() % (1u << 22)) *
                                1.5707963267948966192313216916397514L);
        break;
      case 4:
        x = uniform(-1, 1);
        break;
      default:
        x = std::ldexp(uniform(-1, 1), static_cast<int>(bits() % 200) - 100);
        break;
    }
    const long double lx = x;
    double sine, cosine;
    PortableSinCos(x, sine, cosine);
    ASSERT_EQ(sine, PortableSin(x)) << std::hexfloat << x;
    ASSERT_EQ(cosine, PortableCos(x)) << std::hexfloat << x;
    const double errors[4] = {ulpError(sine, std::sin(lx)), ulpError(cosine, std::cos(lx)),
                              ulpError(PortableAtan(x), std::atan(lx)),
                              std::fabs(x) <= 1 ? ulpError(PortableAsin(x), std::asin(lx)) : 0};
    for (int f = 0; f < 4; ++f) {
      ASSERT_LE(errors[f], 1.0) << "function " << f << " at " << std::hexfloat << x;
      worst[f] = std::max(worst[f], errors[f]);
    }
  }
  RecordProperty("worst_ulps_sin_cos_atan_asin", ::testing::PrintToString(worst));
}
#endif

// Signs of zero, the infinities and NaN, and arguments whose remainder by pi/2 is tiny or whose
// reduction needs hundreds of bits of 2/pi; the expected values are the correctly rounded ones.
TEST(PortableMath, EdgesAndHardReductionsGiveTheRoundedResultOnEveryBuild) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::signbit(PortableSin(-0.0)) && std::signbit(PortableAtan(-0.0)) &&
              std::signbit(PortableAsin(-0.0)));
  EXPECT_FALSE(std::signbit(PortableSin(0.0)));
  EXPECT_EQ(PortableCos(-0.0), 1.0);
  for (double bad : {inf, -inf, nan}) {
    EXPECT_TRUE(std::isnan(PortableSin(bad)) && std::isnan(PortableCos(bad)));
    EXPECT_TRUE(std::isnan(PortableAsin(bad)));
  }
  EXPECT_TRUE(std::isnan(PortableAtan(nan)) && std::isnan(PortableAsin(1.0000000000000002)));
  EXPECT_EQ(PortableAtan(inf), 0x1.921fb54442d18p+0);  // a bearing straight up or down
  EXPECT_EQ(PortableAtan(-inf), -0x1.921fb54442d18p+0);
  EXPECT_EQ(PortableAsin(-1.0), -0x1.921fb54442d18p+0);
  EXPECT_EQ(PortableAtan(1.0), 0x1.921fb54442d18p-1);
  EXPECT_EQ(PortableSin(0x1p-30), 0x1p-30);

  struct TCase {
    double X, Sin, Cos;
  };
  const TCase cases[] = {
      {0x1.921fb54442d18p+0, 0x1p+0, 0x1.1a62633145c07p-54},
      {0x1.921fb54442d18p+20, -0x1.1a62633145c07p-34, 0x1p+0},  // the last medium reduction
      {1e22, -0x1.b453ab76bf397p-1, 0x1.0be2cef01c8f4p-1},
      {0x1.6ac5b262ca1ffp+849, 0x1p+0, -0x1.14ae72e6ba22fp-61},  // the closest to k pi/2
      {1e300, -0x1.a2c16b010e385p-1, -0x1.2699022adc4c1p-1},
      {DBL_MAX, 0x1.452fc98b34e97p-8, -0x1.fffe62ecfab75p-1},
  };
  for (const TCase& c : cases) {
    for (double sign : {1.0, -1.0}) {
      EXPECT_EQ(PortableSin(sign * c.X), sign * c.Sin) << std::hexfloat << sign * c.X;
      EXPECT_EQ(PortableCos(sign * c.X), c.Cos) << std::hexfloat << sign * c.X;
    }
  }
}
