// The whole ecosystem over 30 simulated minutes with the saver's top-up: predators kill, split
// and starve, herbivores breed, trees stay, and no hunt or flight refers to a unit that is gone.
#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "population.h"
#include "sim_support.h"

namespace {

std::set<uint64_t> SerialsOf(const TEnv& env, const TUnitClass& cls) {
  std::set<uint64_t> serials;
  for (const auto& u : env.Units)
    if (u && u->InheritsFrom(cls)) serials.insert(u->Serial);
  return serials;
}

size_t CountNew(const std::set<uint64_t>& before, const std::set<uint64_t>& after) {
  return static_cast<size_t>(std::count_if(after.begin(), after.end(),
                                           [&](uint64_t s) { return !before.count(s); }));
}

TEST(Ecosystem, ThirtyMinutesOfLifeWithTheTopUp) {
  TManualClock clock(0.0);
  SetClockSource(&clock);
  Randomize(1);
  auto env = std::make_unique<TEnv>(1000.0);
  CreateStartPopulation(*env);

  size_t kills = 0, starved = 0, splits = 0, bred = 0;
  const int steps = 30 * 60 * 60;
  // Hunters whose prey was caught by another after they stepped: they must give up next step.
  std::vector<TUnitRef> huntersOfGonePrey;
  for (int i = 1; i <= steps; ++i) {
    const auto herbivores = SerialsOf(*env, THerbivore::ClassInfo);
    const auto predators = SerialsOf(*env, TPredator::ClassInfo);
    clock.Set(i / 60.0);
    env->Step();
    for (const TUnitRef& hunter : huntersOfGonePrey) {
      if (!env->Contains(hunter)) continue;
      const auto* p = static_cast<const TPredator*>(hunter.Get());
      ASSERT_EQ(p->Mode, p->IdleMode.get()) << "a hunt goes on after its prey is gone";
    }
    huntersOfGonePrey.clear();
    const auto herbivoresAfter = SerialsOf(*env, THerbivore::ClassInfo);
    const auto predatorsAfter = SerialsOf(*env, TPredator::ClassInfo);
    // Herbivores leave the world only by being caught, predators only by starving.
    kills += CountNew(herbivoresAfter, herbivores);
    starved += CountNew(predatorsAfter, predators);
    bred += CountNew(herbivores, herbivoresAfter);
    splits += CountNew(predators, predatorsAfter);
    TopUpPopulation(*env);

    ASSERT_EQ(env->CountOf<TTree>(), 251);
    ASSERT_GE(env->CountOf<THerbivore>(), 30);
    ASSERT_LE(env->CountOf<THerbivore>(), 100 + 1);
    ASSERT_GE(env->CountOf<TPredator>(), 1);
    if (i % 600 != 0) continue;
    for (const auto& u : env->Units) {
      ASSERT_TRUE(std::isfinite(u->X) && std::isfinite(u->Y) && std::isfinite(u->Direction));
      if (const auto* p = dynamic_cast<const TPredator*>(u.get())) {
        if (p->Mode == p->HuntingMode.get()) {
          const TUnitRef& prey = p->HuntingMode->Prey;
          if (env->Contains(prey))
            ASSERT_TRUE(prey.Get()->InheritsFrom(THerbivore::ClassInfo));
          else if (!prey.IsNone())
            huntersOfGonePrey.emplace_back(u.get());
        }
        ASSERT_TRUE(p->Mode == p->IdleMode.get() || p->Mode == p->HuntingMode.get());
      } else if (const auto* h = dynamic_cast<const THerbivore*>(u.get())) {
        ASSERT_TRUE(h->Mode == h->FindMode.get() || h->Mode == h->EscapeMode.get());
        if (h->Mode == h->EscapeMode.get()) {
          ASSERT_TRUE(env->Contains(h->EscapeMode->Enemy));
        }
      }
    }
  }
  EXPECT_GT(kills, 0u);
  EXPECT_GT(bred, 0u);
  EXPECT_GT(splits, 0u);
  EXPECT_GT(starved, 0u);
  RecordProperty("kills", static_cast<int>(kills));
  RecordProperty("splits", static_cast<int>(splits));
  RecordProperty("starved", static_cast<int>(starved));
  RecordProperty("bred", static_cast<int>(bred));
  env.reset();
  SetClockSource(nullptr);
}

}  // namespace
