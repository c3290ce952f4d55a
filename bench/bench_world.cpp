// Benchmarks of the world step: the start population with all 100001 snowflakes at 1/60 s,
// the snowfall alone, and the neighbourhood query among 400 units.
#include <benchmark/benchmark.h>

#include <memory>

#include "clock.h"
#include "population.h"
#include "random.h"
#include "species.h"
#include "world.h"

namespace {

constexpr double FrameDt = 1.0 / 60.0;

// A world with the start population, stepped for warmUpSteps frames on a manual clock.
struct TBenchWorld {
  TManualClock Clock{0.0};
  std::unique_ptr<TEnv> Env;
  int64_t Frame = 0;

  explicit TBenchWorld(uint64_t seed, int warmUpSteps = 0) {
    SetClockSource(&Clock);
    Randomize(seed);
    Env = std::make_unique<TEnv>(1000.0);
    CreateStartPopulation(*Env);
    for (int i = 0; i < warmUpSteps; ++i) Step();
  }
  ~TBenchWorld() { SetClockSource(nullptr); }
  void Step() {
    Clock.Set(static_cast<double>(++Frame) * FrameDt);
    Env->Step();
    TopUpPopulation(*Env);
  }
};

void BM_WorldStep(benchmark::State& state) {
  TBenchWorld world(1);
  for (auto _ : state) world.Step();
  state.counters["units"] = world.Env->CountOf<TEnvUnit>();
}
BENCHMARK(BM_WorldStep)->Unit(benchmark::kMillisecond);

void BM_SnowStep(benchmark::State& state) {
  TBenchWorld world(1);
  for (auto _ : state)
    for (TSnowflake& flake : world.Env->Snowflakes) flake.Step(FrameDt);
}
BENCHMARK(BM_SnowStep)->Unit(benchmark::kMillisecond);

void BM_UnitsNear400(benchmark::State& state) {
  TBenchWorld world(1);
  while (world.Env->CountOf<TEnvUnit>() < 400)
    world.Env->AddUnit(std::make_unique<THerbivore>(world.Env.get()));
  const TEnvUnit* probe = world.Env->Units[world.Env->Units.size() / 2].get();
  TUnits list;
  for (auto _ : state) {
    world.Env->UnitsNear(probe, 30.0, list);
    benchmark::DoNotOptimize(list.data());
  }
}
BENCHMARK(BM_UnitsNear400);

}  // namespace
