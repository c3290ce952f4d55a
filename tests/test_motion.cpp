// The unit base: construction draws, clearance, limited turning, bearings, the motion
// integrator's avoidance, walls and friction, and trail recording.
#include <cmath>

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
