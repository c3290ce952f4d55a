// The movement modes: grazing walk and rest, flight phases and their restarts, the chase's
// sprint, catch and escape thresholds.
#include <cmath>

#include "modes.h"
#include "sim_support.h"

namespace {

TEST_F(WorldTest, FindModeDrawsItsTimersThenWalkOrRestThenTurn) {
  TTree* owner = Put<TTree>(500, 500);
  {
    TScriptedDraws draws{0.5, 0.5, 0.5, 2.0 / 3.0, 0.5, 0.9};
    TFindMode walker(owner, 0.5, 2.0, 10.0, 20.0);
    EXPECT_DOUBLE_EQ(walker.WalkTimer, 10.0);
    EXPECT_DOUBLE_EQ(walker.RestTimer, 5.0);
    EXPECT_DOUBLE_EQ(walker.TurnTimer, 7.5);
    EXPECT_DOUBLE_EQ(walker.Speed, 1.25);  // r equal to the walking odds still walks
    EXPECT_DOUBLE_EQ(walker.Turn, 0.3);
    EXPECT_EQ(draws.Source.Drawn, 6);
  }
  {
    TScriptedDraws draws{0.5, 0.5, 0.5, 0.7, 0.6};
    TFindMode rester(owner, 0.5, 2.0, 10.0, 20.0);
    EXPECT_EQ(rester.Speed, 0.0);
    EXPECT_DOUBLE_EQ(rester.Turn, 0.2);
    EXPECT_EQ(draws.Source.Drawn, 5);
  }
}

TEST_F(WorldTest, FindModeRestsTurningUntilItsTimerReachesZeroThenWalks) {
  TTree* owner = Put<TTree>(500, 500, 1.0, 0.0);
  TFindMode mode(owner, 0.5, 2.0, 10.0, 20.0);
  mode.Speed = 0;
  mode.RestTimer = 0.5;
  mode.TurnTimer = 100;
  mode.Turn = 0.2;
  mode.Step(0.25);
  EXPECT_EQ(mode.Speed, 0.0);
  EXPECT_DOUBLE_EQ(owner->Direction, 0.05);  // a resting owner keeps turning
  {
    TScriptedDraws draws{0.3, 0.0};
    mode.Step(0.25);  // exactly 0 ends the rest
    EXPECT_DOUBLE_EQ(mode.RestTimer, 3.0);
    EXPECT_EQ(mode.Speed, 0.5);
  }
  mode.WalkTimer = 0.1;
  {
    TScriptedDraws draws{0.4};
    mode.Step(0.25);
    EXPECT_DOUBLE_EQ(mode.WalkTimer, 8.0);
    EXPECT_EQ(mode.Speed, 0.0);
  }
  mode.TurnTimer = 0.1;
  {
    TScriptedDraws draws{0.1, 0.0};  // rest goes on; the turn is drawn anew, symmetric now
    mode.RestTimer = 5;
    mode.Step(0.25);
    EXPECT_DOUBLE_EQ(mode.TurnTimer, 1.5);
    EXPECT_DOUBLE_EQ(mode.Turn, -1.0 / 3);
  }
}

class EscapeTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    Owner = Put<TTree>(500, 500, 1.0, 3.0);
    Enemy = Put<TTree>(600, 500, 1.0);
    TScriptedDraws draws{0.7, 0.5};
    Mode = std::make_unique<TEscapeMode>(Owner, 40.0, 0.5, 1.0, Pi / 2);
  }
  TTree* Owner = nullptr;
  TTree* Enemy = nullptr;
  std::unique_ptr<TEscapeMode> Mode;
};

TEST_F(EscapeTest, ConstructionDrawsSidePhasesThenThePhaseLength) {
  EXPECT_EQ(Mode->SidePhases, 2);
  EXPECT_DOUBLE_EQ(Mode->PhaseTimer, 0.75);
  EXPECT_TRUE(Mode->Enemy.IsNone());
  EXPECT_EQ(Mode->SideHeading, 0.0);
  EXPECT_TRUE(Mode->Target.IsNone());
}

TEST_F(EscapeTest, ANewEnemyRestartsWithAStraightPhaseAndTheSameEnemyChangesNothing) {
  Mode->SetEnemy(Enemy);
  EXPECT_EQ(Mode->SidePhases, 1);
  EXPECT_EQ(Mode->PhaseTimer, 0.0);
  Mode->PhaseTimer = 0.3;
  Mode->SidePhases = 2;
  Mode->SetEnemy(Enemy);
  EXPECT_EQ(Mode->PhaseTimer, 0.3);
  EXPECT_EQ(Mode->SidePhases, 2);

  Mode->SetEnemy(Owner);  // another unit
  Mode->SetEnemy(Enemy);
  {
    TScriptedDraws draws{0.5, 0.9};
    Mode->Step(0.1);  // the phase that begins is straight: away from the enemy, at pi
  }
  EXPECT_EQ(Mode->SidePhases, 0);
  EXPECT_DOUBLE_EQ(Mode->SideHeading, 3.0 + Pi / 2);
  EXPECT_EQ(Owner->Direction, Pi);
  EXPECT_LT(Owner->X, 500);
}

TEST_F(EscapeTest, SidePhasesBelowZeroAreRedrawnSoTheNewPhaseIsASideStep) {
  Mode->SetEnemy(Enemy);
  Mode->SidePhases = 0;
  Mode->PhaseTimer = 0.1;
  Owner->Direction = 1.0;
  {
    TScriptedDraws draws{0.0, 0.2, 0.3};  // phase 0.5 s, k = 0, the lower side
    Mode->Step(0.1);  // a timer of exactly 0 ends the phase
    EXPECT_EQ(draws.Source.Drawn, 3);
  }
  EXPECT_EQ(Mode->SidePhases, 1);
  EXPECT_DOUBLE_EQ(Mode->PhaseTimer, 0.5);
  EXPECT_DOUBLE_EQ(Mode->SideHeading, 1.0 - Pi / 2);
  EXPECT_DOUBLE_EQ(Owner->Direction, 1.0 - 0.5);  // turning toward it at TurnRate

  Mode->SidePhases = 2;
  Mode->PhaseTimer = 0.05;
  {
    TScriptedDraws draws{0.0, 0.6};  // 2 -> 1: another side step, this time up
    Mode->Step(0.1);
  }
  EXPECT_EQ(Mode->SidePhases, 1);
  EXPECT_DOUBLE_EQ(Mode->SideHeading, 0.5 + Pi / 2);
}

class HuntTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    Hunter = Put<TTree>(500, 500, 0.0, 0.0);
    Prey = Put<THerbivore>(600, 500, 0.0);
    Mode = std::make_unique<THuntingMode>(Hunter, 40.0, 15.0, 100.0);
    Hunter->Mode = Mode.get();
    Mode->SetPrey(Prey);
  }
  void TearDown() override {
    Hunter->Mode = Hunter->IdleMode.get();
    Mode.reset();
    WorldTest::TearDown();
  }
  TTree* Hunter = nullptr;
  THerbivore* Prey = nullptr;
  std::unique_ptr<THuntingMode> Mode;
};

TEST_F(HuntTest, SetPreyAimsAtThePreyAndClearsTheHunt) {
  Mode->Sprinting = true;
  Mode->Killed = true;
  Mode->StepDistance = 3.0;
  Mode->SetPrey(Prey);
  EXPECT_TRUE(Mode->Prey.Is(Prey));
  EXPECT_TRUE(Mode->Target.Is(Prey));
  EXPECT_FALSE(Mode->Sprinting);
  EXPECT_FALSE(Mode->Killed);
  EXPECT_EQ(Mode->StepDistance, 3.0);
}

TEST_F(HuntTest, TheSprintBeginsAtExactlyTheSprintRange) {
  Mode->Step(0.01);  // clearance exactly 100 squared
  EXPECT_TRUE(Mode->Sprinting);
  EXPECT_DOUBLE_EQ(Mode->StepDistance, 40.0 * 0.01);
  EXPECT_GT(Hunter->X, 500);
}

TEST_F(HuntTest, AChaseBeyondTheSprintRangeRunsAtChaseSpeedAndIsNeverLostByDistance) {
  Prey->X = 600.5;
  Mode->Step(0.01);
  EXPECT_FALSE(Mode->Sprinting);
  EXPECT_DOUBLE_EQ(Mode->StepDistance, 15.0 * 0.01);
  Prey->X = 900;
  EXPECT_FALSE(Mode->IsFinished());
  Mode->Sprinting = true;
  Hunter->X = 500;
  Hunter->Y = 500;
  Prey->X = 600;  // exactly the range: still on
  EXPECT_FALSE(Mode->IsFinished());
  Prey->X = 600.001;  // beyond it: escaped
  EXPECT_TRUE(Mode->IsFinished());
  EXPECT_FALSE(Mode->Killed);
  EXPECT_TRUE(Env->Contains(Prey));
}

TEST_F(HuntTest, ACatchNeedsAClearanceStrictlyBelowTwiceTheLastStepDistanceSquared) {
  Mode->StepDistance = 0.5;
  Prey->X = 501;  // clearance exactly 1 = (2 * 0.5) squared
  EXPECT_FALSE(Mode->IsFinished());
  Prey->X = 500.9;
  EXPECT_TRUE(Mode->IsFinished());
  EXPECT_TRUE(Mode->Killed);
  EXPECT_FALSE(Env->Contains(Mode->Prey));
  EXPECT_EQ(Env->CountOf<THerbivore>(), 0);
}

TEST_F(HuntTest, AVanishedPreyStopsTheChaseWithoutAKill) {
  Env->RemoveUnit(Prey);
  Mode->Step(0.1);
  EXPECT_EQ(Hunter->X, 500);
  EXPECT_EQ(Hunter->Direction, 0.0);
  EXPECT_TRUE(Mode->IsFinished());
  EXPECT_FALSE(Mode->Killed);
}

TEST_F(HuntTest, TheHunterSwitchesToANearerPreyOfTheSameClassAndKeepsSprinting) {
  Mode->Sprinting = true;
  THerbivore* nearer = Put<THerbivore>(500, 550, 0.0);
  Put<TPredator>(500, 510, 0.0);  // nearer still, but not of the prey's class
  Mode->Step(0.01);
  EXPECT_TRUE(Mode->Prey.Is(nearer));
  EXPECT_TRUE(Mode->Target.Is(nearer));
  EXPECT_TRUE(Mode->Sprinting);
  EXPECT_GT(Hunter->Direction, 0.0);  // turning up toward the new prey
}

}  // namespace
