// The species: construction draws, the predator's rest, hunt, growth, starvation and split,
// the herbivore's alarm, calm-down, growth and breeding, and where trees stand.
#include <cmath>

#include "sim_support.h"

namespace {

TEST_F(WorldTest, PredatorConstructionDrawsPlaceRadiusSprintThenDigestion) {
  TScriptedDraws draws{0.0, 0.0, 0.5, 0.5, 0.5, 0.25, 0.5, 0.5};
  TPredator p(Env.get());
  EXPECT_DOUBLE_EQ(p.Radius, 1.5);
  EXPECT_DOUBLE_EQ(p.X, 500.0);
  EXPECT_EQ(p.TurnRate, 2.5);
  EXPECT_DOUBLE_EQ(p.HuntingMode->SprintSpeed, 35.0);
  EXPECT_EQ(p.HuntingMode->ChaseSpeed, 15.0);
  EXPECT_EQ(p.HuntingMode->SprintRange, 100.0);
  EXPECT_DOUBLE_EQ(p.DigestPeriod, 7.5);
  EXPECT_DOUBLE_EQ(p.DigestTimer, 3.75);
  EXPECT_EQ(p.Mode, p.IdleMode.get());
  EXPECT_EQ(draws.Source.Drawn, 8);
}

TEST_F(WorldTest, HerbivoreConstructionDrawsBreedingAlarmGrazingThenFlight) {
  TScriptedDraws draws{0.0, 0.0, 0.5, 0.5, 0.5,       // heading, radius, place, animal radius
                       0.25, 0.5,                     // breed timer, alarm range
                       0.5, 0.5, 0.5, 0.1, 0.5, 0.3,  // the find mode
                       0.5, 0.9, 0.5};                // flee speed, side phases, phase length
  THerbivore h(Env.get());
  EXPECT_DOUBLE_EQ(h.BreedTimer, 10.0);
  EXPECT_DOUBLE_EQ(h.AlarmRange, 85.0);
  EXPECT_DOUBLE_EQ(h.FindMode->Speed, 1.25);
  EXPECT_DOUBLE_EQ(h.FindMode->Turn, 0.1);
  EXPECT_DOUBLE_EQ(h.EscapeMode->FleeSpeed, 40.0);
  EXPECT_EQ(h.EscapeMode->SidePhases, 2);
  EXPECT_DOUBLE_EQ(h.EscapeMode->PhaseTimer, 0.75);
  EXPECT_EQ(h.Mode, h.FindMode.get());
  EXPECT_EQ(draws.Source.Drawn, 16);
  EXPECT_EQ(draws.Source.Overrun, 0);
}

TEST_F(WorldTest, AHungryPredatorWithoutPreyStaysIdleAndStarvesAfter28Seconds) {
  TPredator* p = Put<TPredator>(500, 500, 1.0);
  p->DigestTimer = -1;
  double t = 0;
  while (Env->Contains(p) && t < 60) {
    StepWorld(0.1);
    t += 0.1;
    if (Env->Contains(p)) {
      ASSERT_EQ(p->Mode, p->IdleMode.get());
    }
  }
  EXPECT_NEAR(t, (1.0 - 0.8) / 0.007, 0.11);
  EXPECT_EQ(Env->TrailIndex, 0);
  EXPECT_TRUE(Env->Units.empty());
}

TEST_F(WorldTest, APredatorWhoseRestEndsExactlyNowIsNotYetHungry) {
  TPredator* p = Put<TPredator>(500, 500, 1.0);
  Put<THerbivore>(520, 500);
  p->DigestTimer = 0.25;
  p->Step(0.25);
  EXPECT_EQ(p->DigestTimer, 0.0);
  EXPECT_EQ(p->Mode, p->IdleMode.get());
  EXPECT_EQ(p->Radius, 1.0);
  p->Step(0.25);  // now hungry: the hunt begins and moves it in the same step
  EXPECT_EQ(p->Mode, p->HuntingMode.get());
  EXPECT_EQ(Env->TrailIndex, 1);
}

TEST_F(WorldTest, StarvationAndSplitThresholdsAreStrict) {
  TPredator* resting = Put<TPredator>(100, 100, 0.8);
  resting->DigestTimer = 100;
  TPredator* weak = Put<TPredator>(200, 100, 0.79);
  weak->DigestTimer = 100;
  TPredator* big = Put<TPredator>(300, 100, 2.5);
  big->DigestTimer = 100;
  StepWorld(0.1);
  EXPECT_TRUE(Env->Contains(resting));
  EXPECT_FALSE(Env->Contains(weak));
  EXPECT_EQ(big->Radius, 2.5);
  EXPECT_EQ(Env->CountOf<TPredator>(), 2);
}

TEST_F(WorldTest, AKillThatLiftsTheRadiusAbove2_5SplitsInTheSameStep) {
  TPredator* p = Put<TPredator>(500, 500, 2.4, 0.0);
  THerbivore* prey = Put<THerbivore>(502.405, 500, 0.0);  // clearance 0.024 < (2 * 0.1) squared
  const TUnitRef preyRef(prey);
  p->HuntingMode->SetPrey(prey);
  p->Mode = p->HuntingMode.get();
  p->Step(0.1);
  // The young may be born at the caught prey's address: ask by reference, not by address.
  EXPECT_FALSE(Env->Contains(preyRef));
  EXPECT_EQ(p->Mode, p->IdleMode.get());
  EXPECT_EQ(p->DigestTimer, p->DigestPeriod);
  EXPECT_EQ(p->Radius, 2.0);
  EXPECT_EQ(p->X, 500);  // the step that ends a hunt does not move
  EXPECT_EQ(Env->TrailIndex, 0);
  ASSERT_EQ(Env->CountOf<TPredator>(), 2);
  const auto* young = static_cast<TPredator*>(Env->Units.back().get());
  EXPECT_EQ(young->Radius, 1.0);
  EXPECT_GE(young->X - p->X, 2.0);
  EXPECT_LT(young->X - p->X, 3.0);
  EXPECT_GE(young->Y - p->Y, 2.0);
  EXPECT_LT(young->Y - p->Y, 3.0);
  EXPECT_EQ(young->Mode, young->IdleMode.get());
}

TEST_F(WorldTest, AHerbivoreFleesAtExactlyItsAlarmRangeAndCalmsOnlyBeyondTwiceItsSquare) {
  THerbivore* h = Put<THerbivore>(500, 500, 0.0);
  h->AlarmRange = 80;
  TPredator* p = Put<TPredator>(580.001, 500, 0.0);
  p->DigestTimer = 100;
  h->Step(0.01);
  EXPECT_EQ(h->Mode, h->FindMode.get());
  EXPECT_TRUE(h->EscapeMode->Enemy.Is(p));  // named even while grazing

  h->X = 500;
  h->Y = 500;
  p->X = 580;  // clearance exactly 80 squared
  h->Step(0.01);
  EXPECT_EQ(h->Mode, h->EscapeMode.get());

  h->X = 500;
  h->Y = 500;
  p->X = 580;
  p->Y = 580;  // exactly 2 * 80 squared: the flight goes on
  h->Step(0.01);
  EXPECT_EQ(h->Mode, h->EscapeMode.get());
  h->X = 500;
  h->Y = 500;
  p->Y = 580.01;
  h->Step(0.01);
  EXPECT_EQ(h->Mode, h->FindMode.get());

  h->Mode = h->EscapeMode.get();
  Env->RemoveUnit(p);
  h->Step(0.01);  // no predator at all: grazing
  EXPECT_EQ(h->Mode, h->FindMode.get());
}

TEST_F(WorldTest, AFleeingHerbivoreNeitherCountsDownNorBreeds) {
  THerbivore* h = Put<THerbivore>(500, 500, 1.9);
  TPredator* p = Put<TPredator>(520, 500);
  p->DigestTimer = 100;
  h->BreedTimer = 0.05;
  h->Step(0.1);
  EXPECT_EQ(h->Mode, h->EscapeMode.get());
  EXPECT_EQ(h->BreedTimer, 0.05);
  EXPECT_EQ(Env->CountOf<THerbivore>(), 1);
}

TEST_F(WorldTest, HerbivoresGrowAt0_008PerSecondUpToAbout2) {
  THerbivore* h = Put<THerbivore>(500, 500, 0.5);
  h->BreedTimer = 1e9;
  for (int i = 0; i < 1625; ++i) h->Step(0.1);
  EXPECT_NEAR(h->Radius, 1.8, 1e-9);
  for (int i = 0; i < 1000; ++i) h->Step(0.1);
  EXPECT_GE(h->Radius, 2.0);
  EXPECT_LT(h->Radius, 2.0 + 0.008 * 0.1);
}

TEST_F(WorldTest, BreedingNeedsARadiusAbove1_8AndFewerThan100Herbivores) {
  THerbivore* h = Put<THerbivore>(500, 500, 1.8);
  h->BreedTimer = 0;
  h->Step(0.0);  // radius exactly 1.8: no young, but the timer is re-armed
  EXPECT_EQ(Env->CountOf<THerbivore>(), 1);
  EXPECT_GE(h->BreedTimer, 55.0);
  EXPECT_LT(h->BreedTimer, 75.0);

  h->Radius = 1.9;
  while (Env->CountOf<THerbivore>() < 100) Put<THerbivore>(20 + 9 * (Env->Units.size() % 100), 900);
  h->BreedTimer = 0;
  h->Step(0.0);
  EXPECT_EQ(Env->CountOf<THerbivore>(), 100);

  Env->RemoveUnit(Env->Units.back().get());
  Env->Compact();
  h->BreedTimer = 0;
  h->Step(0.0);
  ASSERT_EQ(Env->CountOf<THerbivore>(), 100);
  const auto* young = static_cast<THerbivore*>(Env->Units.back().get());
  EXPECT_EQ(young->Radius, 0.5);
  EXPECT_GE(young->X - h->X, 1.9);
  EXPECT_LT(young->X - h->X, 2.9);
  EXPECT_EQ(young->Mode, young->FindMode.get());
}

TEST_F(WorldTest, AYoungHerbivoreOutsideThePlainIsDiscarded) {
  THerbivore* h = Put<THerbivore>(999, 500, 1.9);
  h->BreedTimer = 0;
  h->Step(0.0);
  EXPECT_EQ(Env->CountOf<THerbivore>(), 1);
  EXPECT_GE(h->BreedTimer, 55.0);
}

TEST_F(WorldTest, TreesFormAForestTwiceAsWideAsThePlainAndNeverMove) {
  int onPlain = 0;
  for (int i = 0; i < 251; ++i) {
    TTree* t = Env->AddUnit(std::make_unique<TTree>(Env.get()));
    const double r = t->Radius;
    ASSERT_GE(r, 1.0);
    ASSERT_LT(r, 2.5);
    for (double c : {t->X, t->Y}) {
      ASSERT_GE(c, r - 0.5 * (1000 - 2 * r));
      ASSERT_LT(c, r + 1.5 * (1000 - 2 * r));
    }
    if (Env->IsInside(t)) ++onPlain;
  }
  EXPECT_GT(onPlain, 251 / 8);
  EXPECT_LT(onPlain, 251 / 2);
  const uint64_t before = WorldHash(*Env);
  StepWorld(1.0);
  EXPECT_EQ(WorldHash(*Env), before);
  EXPECT_EQ(Env->TrailIndex, 0);
}

}  // namespace
