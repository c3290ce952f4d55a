// The world: unit list and its queries, the trail ring, the step and its clock, determinism.
#include <cmath>

#include "population.h"
#include "sim_support.h"

namespace {

TEST_F(WorldTest, NewWorldHasNoUnitsEveryFlakeAndAnEmptyTrailRing) {
  EXPECT_TRUE(Env->Units.empty());
  EXPECT_EQ(Env->Snowflakes.size(), 100001u);
  EXPECT_EQ(Env->TrailIndex, 0);
  for (const TTrailSegment& s : Env->Trails) {
    ASSERT_EQ(s.X1, 0.0);
    ASSERT_EQ(s.X2, 0.0);
    ASSERT_EQ(s.Y1, 0.0);
    ASSERT_EQ(s.Y2, 0.0);
  }
  EXPECT_EQ(Env->Trails.size(), 10001u);
}

TEST_F(WorldTest, TrailRingKeepsTheLast10001SegmentsAndWraps) {
  Env->AddTrail(1, 2, 3, 4);
  EXPECT_EQ(Env->Trails[0].X1, 1);
  EXPECT_EQ(Env->Trails[0].X2, 3);
  EXPECT_EQ(Env->Trails[0].Y1, 2);
  EXPECT_EQ(Env->Trails[0].Y2, 4);
  for (int i = 1; i < 10000; ++i) Env->AddTrail(i, 0, 0, 0);
  EXPECT_EQ(Env->TrailIndex, 10000);
  Env->AddTrail(10000, 0, 0, 0);  // the 10001st writes the last slot
  EXPECT_EQ(Env->Trails[10000].X1, 10000);
  EXPECT_EQ(Env->TrailIndex, 0);
  Env->AddTrail(-7, 0, 0, 0);  // and the next one overwrites the oldest
  EXPECT_EQ(Env->Trails[0].X1, -7);
  EXPECT_EQ(Env->Trails[1].X1, 1);
  EXPECT_EQ(Env->TrailIndex, 1);
}

TEST_F(WorldTest, RemoveLeavesEmptySlotsThatCompactDropsKeepingOrder) {
  TTree* a = Put<TTree>(100, 100);
  TTree* b = Put<TTree>(200, 100);
  TTree* c = Put<TTree>(300, 100);
  TTree* d = Put<TTree>(400, 100);
  const TUnitRef bRef(b);
  EXPECT_EQ(Env->CountOf<TTree>(), 4);
  Env->RemoveUnit(b);
  Env->RemoveUnit(c);
  EXPECT_EQ(Env->Units.size(), 4u);
  EXPECT_EQ(Env->Units[1], nullptr);
  EXPECT_TRUE(Env->Contains(a));
  EXPECT_FALSE(Env->Contains(bRef));
  EXPECT_EQ(Env->CountOf<TTree>(), 2);
  Env->Compact();
  ASSERT_EQ(Env->Units.size(), 2u);
  EXPECT_EQ(Env->Units[0].get(), a);
  EXPECT_EQ(Env->Units[1].get(), d);

  Env->RemoveUnit(d);  // a trailing empty slot
  Env->Compact();
  ASSERT_EQ(Env->Units.size(), 1u);
  Env->Compact();  // nothing to drop
  EXPECT_EQ(Env->Units[0].get(), a);
}

TEST_F(WorldTest, RemovingAUnitThatIsNotInTheWorldChangesNothing) {
  TTree* a = Put<TTree>(100, 100);
  TTree outsider(Env.get());
  Env->RemoveUnit(&outsider);
  Env->RemoveUnit(nullptr);
  ASSERT_EQ(Env->Units.size(), 1u);
  EXPECT_EQ(Env->Units[0].get(), a);
}

TEST_F(WorldTest, UnitsNearCountsAClearanceEqualToTheRangeSquaredInListOrder) {
  TTree* centre = Put<TTree>(500, 500, 0.0);
  TTree* far = Put<TTree>(540, 500, 0.0);       // clearance 1600
  TTree* edge = Put<TTree>(500, 530, 0.0);      // clearance 900: exactly the range squared
  TTree* near = Put<TTree>(490, 500, 1.0);      // clearance 99
  TTree* behind = Put<TTree>(500, 469.5, 0.5);  // 930.25 - 0.25 = 930
  TUnits list = Env->UnitsNear(centre, 30.0);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], edge);
  EXPECT_EQ(list[1], near);
  (void)far;
  (void)behind;
  Env->RemoveUnit(near);  // empty slots are skipped
  EXPECT_EQ(Env->UnitsNear(centre, 30.0).size(), 1u);
}

TEST_F(WorldTest, NearestOfFiltersByClassWithSubclassesAndTheFirstWinsATie) {
  TTree* tree = Put<TTree>(500, 500);
  EXPECT_EQ(Env->NearestOf<THerbivore>(tree), nullptr);
  THerbivore* h1 = Put<THerbivore>(520, 500);
  TPredator* p = Put<TPredator>(505, 500);
  THerbivore* h2 = Put<THerbivore>(480, 500);  // the same clearance as h1, later in the list
  EXPECT_EQ(Env->NearestOf<THerbivore>(tree), h1);
  EXPECT_EQ(Env->NearestOf<TAnimal>(tree), p);
  EXPECT_EQ(Env->NearestOf<TPredator>(p), nullptr);  // never the unit itself
  EXPECT_EQ(Env->NearestOf<TEnvUnit>(h2), tree);
}

TEST_F(WorldTest, CountOfIncludesSubclasses) {
  Put<TTree>(100, 100);
  Put<THerbivore>(200, 100);
  Put<THerbivore>(300, 100);
  Put<TPredator>(400, 100);
  EXPECT_EQ(Env->CountOf<TAnimal>(), 3);
  EXPECT_EQ(Env->CountOf<TPredator>(), 1);
  EXPECT_EQ(Env->CountOf<THerbivore>(), 2);
  EXPECT_EQ(Env->CountOf<TPlant>(), 1);
  EXPECT_EQ(Env->CountOf<TEnvUnit>(), 4);
}

TEST_F(WorldTest, IsInsideIsStrictOnEveryEdge) {
  TTree* t = Put<TTree>(0.0001, 999.9999);
  EXPECT_TRUE(Env->IsInside(t));
  for (auto [x, y] : {std::pair{0.0, 500.0}, {1000.0, 500.0}, {500.0, 0.0}, {500.0, 1000.0}}) {
    t->X = x;
    t->Y = y;
    EXPECT_FALSE(Env->IsInside(t)) << x << "," << y;
  }
}

TEST_F(WorldTest, IsPlaceFreeIgnoresTheUnitItselfAndAllowsZeroClearance) {
  TTree* a = Put<TTree>(500, 500, 1.0);
  TTree* b = Put<TTree>(510, 500, 1.0);
  EXPECT_TRUE(Env->IsPlaceFree(a, a->X, a->Y));
  // Centres 1.5 apart with radius 1: clearance 2.25 - 2 = 0.25 >= 0.
  EXPECT_TRUE(Env->IsPlaceFree(a, 508.5, 500));
  EXPECT_FALSE(Env->IsPlaceFree(a, 509, 500));
  EXPECT_DOUBLE_EQ(b->ClearanceTo(a), 100 - 2);
}

TEST_F(WorldTest, AReferenceToARemovedUnitNeverMatchesALaterUnit) {
  TTree* a = Put<TTree>(100, 100);
  TUnitRef ref(a);
  EXPECT_TRUE(Env->Contains(ref));
  Env->RemoveUnit(a);
  Env->Compact();
  EXPECT_FALSE(Env->Contains(ref));
  // Whatever address the allocator hands out next, the old reference stays gone.
  for (int i = 0; i < 50; ++i) {
    TTree* fresh = Put<TTree>(100 + i * 5, 300);
    EXPECT_FALSE(ref.Is(fresh));
  }
  EXPECT_FALSE(Env->Contains(ref));
}

// A unit that counts its steps and, on its first, adds another counting unit to the world; or
// grows, moves and then asks whether the place beside it is free for another unit.
class TCountingUnit : public TEnvUnit {
 public:
  using TEnvUnit::TEnvUnit;
  void Step(double dt) override {
    ++Steps;
    LastDt = dt;
    if (Spawn) {
      Spawn = false;
      Child = Env->AddUnit(std::make_unique<TCountingUnit>(Env));
    }
    if (AskFor) {
      X += 50;
      Radius = 4;
      PlaceWasFree = Env->IsPlaceFree(AskFor, X + 2, Y);
      AskFor = nullptr;
    }
    TEnvUnit::Step(dt);
  }
  int Steps = 0;
  double LastDt = -1;
  bool Spawn = false;
  TCountingUnit* Child = nullptr;
  const TEnvUnit* AskFor = nullptr;
  bool PlaceWasFree = true;
};

TEST_F(WorldTest, TheScansInAUnitsStepSeeItWhereItHasMovedTo) {
  auto* mover = Put<TCountingUnit>(500, 500);
  mover->AskFor = Put<TCountingUnit>(100, 100);
  StepWorld(0.1);
  EXPECT_FALSE(mover->PlaceWasFree);
}

TEST_F(WorldTest, AUnitAddedDuringAStepIsFirstSteppedInTheNextStep) {
  auto* parent = Put<TCountingUnit>(500, 500);
  parent->Spawn = true;
  StepWorld(0.1);
  ASSERT_NE(parent->Child, nullptr);
  EXPECT_EQ(parent->Steps, 1);
  EXPECT_EQ(parent->Child->Steps, 0);
  StepWorld(0.1);
  EXPECT_EQ(parent->Child->Steps, 1);
  EXPECT_EQ(Env->TrailIndex, 0);  // idle units leave no trail
}

TEST_F(WorldTest, StepReturnsTheClockTimeSinceThePreviousStep) {
  auto* unit = Put<TCountingUnit>(500, 500);
  Clock.Set(1000.25);
  EXPECT_DOUBLE_EQ(Env->Step(), 0.25);  // the first step: the time since construction
  EXPECT_DOUBLE_EQ(unit->LastDt, 0.25);
  EXPECT_DOUBLE_EQ(Env->LastStepTime, 1000.25);
  EXPECT_DOUBLE_EQ(Env->Step(), 0.0);
}

TEST_F(WorldTest, AStepIsNeverNegativeAndNeverLongerThanMaxStep) {
  auto* unit = Put<TCountingUnit>(500, 500);
  Clock.Set(1000.0 + 7200.0);  // two hours without a frame
  EXPECT_DOUBLE_EQ(Env->Step(), TEnv::MaxStep);
  EXPECT_DOUBLE_EQ(unit->LastDt, TEnv::MaxStep);
  Clock.Set(Clock.Now() - 0.002);  // a clock that ran back
  EXPECT_DOUBLE_EQ(Env->Step(), 0.0);
  Clock.Set(Clock.Now() + 0.125);  // the next step counts from the reading that ran back
  EXPECT_DOUBLE_EQ(Env->Step(), 0.125);
}

TEST(WorldDeterminism, TheSameSeedGivesTheSameWorldAndAnotherSeedAnother) {
  auto run = [](uint64_t seed) {
    TManualClock clock(0.0);
    SetClockSource(&clock);
    Randomize(seed);
    auto env = std::make_unique<TEnv>(1000.0);
    CreateStartPopulation(*env);
    for (int i = 1; i <= 300; ++i) {
      clock.Set(i / 60.0);
      env->Step();
      TopUpPopulation(*env);
    }
    SetClockSource(nullptr);
    return WorldHash(*env);
  };
  const uint64_t first = run(5);
  EXPECT_EQ(run(5), first);
  EXPECT_NE(run(6), first);
}

TEST(WorldDeterminism, AClockJumpMovesTheWorldAsOneBoundedStepWould) {
  // Readings on a grid of 1/64 s are exact, so two runs with the same steps match bit for bit.
  // The jump comes after 15 s, with hunts and flights under way; the run goes on for 5 s more.
  constexpr double Tick = 1.0 / 64;
  constexpr int JumpStep = 15 * 64, Steps = 20 * 64;
  // Readings: every step adds Tick, and the jump step adds jump (+ Tick) instead.
  auto run = [&](double jump) {
    TManualClock clock(0.0);
    SetClockSource(&clock);
    Randomize(4);
    auto env = std::make_unique<TEnv>(1000.0);
    CreateStartPopulation(*env);
    double now = 0.0;
    for (int i = 1; i <= Steps; ++i) {
      now += Tick + (i == JumpStep ? jump : 0.0);
      clock.Set(now);
      env->Step();
      TopUpPopulation(*env);
    }
    SetClockSource(nullptr);
    return WorldHash(*env);
  };
  const uint64_t bounded = run(TEnv::MaxStep - Tick);  // the longest step the world takes
  EXPECT_EQ(run(3600.0), bounded);                     // an hour forward
  EXPECT_EQ(run(7200.0), bounded);                     // two hours of sleep
  const uint64_t stopped = run(-Tick);                 // one empty step
  EXPECT_EQ(run(-Tick - 1.0 / 512), stopped);          // 2 ms back
  EXPECT_EQ(run(-3600.0), stopped);                    // an hour back
  EXPECT_NE(bounded, stopped);
}

TEST(Population, StartsWith251Trees51Herbivores21PredatorsInThatOrder) {
  TManualClock clock(0.0);
  SetClockSource(&clock);
  Randomize(3);
  TEnv env(1000.0);
  TPredator* last = CreateStartPopulation(env);
  ASSERT_EQ(env.Units.size(), 323u);
  for (size_t i = 0; i < 251; ++i) ASSERT_EQ(env.Units[i]->ClassType().Id, TTree::ClassInfo.Id);
  for (size_t i = 251; i < 302; ++i) ASSERT_TRUE(env.Units[i]->Is<THerbivore>());
  for (size_t i = 302; i < 323; ++i) ASSERT_TRUE(env.Units[i]->Is<TPredator>());
  EXPECT_EQ(env.Units.back().get(), last);
  SetClockSource(nullptr);
}

TEST_F(WorldTest, TopUpAddsAHerbivoreBelow30AndAPredatorAbove7PerPredator) {
  auto fill = [&](int herbivores, int predators) {
    Env->Units.clear();
    for (int i = 0; i < herbivores; ++i) Put<THerbivore>(10 + i * 10, 100);
    for (int i = 0; i < predators; ++i) Put<TPredator>(10 + i * 10, 300);
  };
  struct Case {
    int h, p, expectH, expectP;
  };
  for (Case c : {Case{30, 5, 30, 5}, Case{29, 5, 30, 5}, Case{29, 4, 30, 5}, Case{35, 5, 35, 5},
                 Case{36, 5, 36, 6}, Case{0, 0, 1, 1}}) {
    fill(c.h, c.p);
    TopUpPopulation(*Env);
    EXPECT_EQ(Env->CountOf<THerbivore>(), c.expectH) << c.h << " herbivores, " << c.p;
    EXPECT_EQ(Env->CountOf<TPredator>(), c.expectP) << c.h << " herbivores, " << c.p;
  }
}

}  // namespace
