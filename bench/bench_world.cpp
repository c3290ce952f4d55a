// Benchmarks of the world step: the start population with all 100001 snowflakes at 1/60 s once
// the snow has settled into its cycle, the snowfall alone (the table step, its first 10 s and
// flake by flake), a view's search for the flakes near its eye, the neighbourhood query among 400
// units, and the step of crowded worlds (400, 1000 and 2000 animals beside the trees) to show how
// the linear scans grow.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "clock.h"
#include "population.h"
#include "random.h"
#include "species.h"
#include "world.h"

namespace {

constexpr double FrameDt = 1.0 / 60.0;
// 25 s: past the snow's first cycle, after which flakes that landed together share their fall,
// as for the rest of a run of the saver.
constexpr int SettledSteps = 1500;

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
  TBenchWorld world(1, SettledSteps);
  for (auto _ : state) world.Step();
  state.counters["units"] = world.Env->CountOf<TEnvUnit>();
}
BENCHMARK(BM_WorldStep)->Unit(benchmark::kMillisecond);

void BM_SnowStep(benchmark::State& state) {
  TBenchWorld world(1, SettledSteps);
  for (auto _ : state) world.Env->Snowflakes.Step(FrameDt);
}
BENCHMARK(BM_SnowStep)->Unit(benchmark::kMillisecond);

// The snow's first 10 s from a new world, 600 steps, while most flakes still fall on their own.
void BM_SnowFirstTenSeconds(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    TBenchWorld world(1);
    state.ResumeTiming();
    for (int i = 0; i < 600; ++i) world.Env->Snowflakes.Step(FrameDt);
  }
}
BENCHMARK(BM_SnowFirstTenSeconds)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same as the saver pays it: the table is no longer in the processor's caches, since a frame
// of the software rasteriser and the time between two frames have pushed it out.
void BM_SnowStepFromMemory(benchmark::State& state) {
  TBenchWorld world(1, SettledSteps);
  std::vector<char> elsewhere(64 << 20);
  for (auto _ : state) {
    state.PauseTiming();
    std::memset(elsewhere.data(), static_cast<int>(state.iterations()), elsewhere.size());
    benchmark::ClobberMemory();
    state.ResumeTiming();
    world.Env->Snowflakes.Step(FrameDt);
  }
}
BENCHMARK(BM_SnowStepFromMemory)->Unit(benchmark::kMillisecond);

// The same work one flake at a time, for comparison: the table step must stay well below it.
void BM_SnowStepFlakeByFlake(benchmark::State& state) {
  TBenchWorld world(1, SettledSteps);
  std::vector<TSnowflake> flakes;
  for (size_t i = 0; i < world.Env->Snowflakes.size(); ++i)
    flakes.push_back(world.Env->Snowflakes.Get(i));
  for (auto _ : state)
    for (TSnowflake& flake : flakes) flake.Step(FrameDt);
}
BENCHMARK(BM_SnowStepFlakeByFlake)->Unit(benchmark::kMillisecond);

// A view's search for the flakes near its eye, as the saver makes it once a frame after the
// world's step: 60 units behind the first predator, looking its way through a wedge of 60 degrees.
void BM_SnowNearAfterStep(benchmark::State& state) {
  TBenchWorld world(1, SettledSteps);
  std::vector<TSnowflakes::TNearFlake> near;
  size_t found = 0;
  std::vector<char> elsewhere(64 << 20);
  for (auto _ : state) {
    state.PauseTiming();
    world.Step();
    std::memset(elsewhere.data(), static_cast<int>(state.iterations()), elsewhere.size());
    benchmark::ClobberMemory();
    const TEnvUnit* followed = nullptr;
    for (const auto& unit : world.Env->Units)
      if (unit && unit->Is<TPredator>()) {
        followed = unit.get();
        break;
      }
    const double c = std::cos(followed->Direction), s = std::sin(followed->Direction);
    const double x = followed->X - 60 * c, y = followed->Y - 60 * s;
    // Normals of the wedge's sides, turned 60 degrees either way from the view, then the lines
    // 20 units behind the eye and 500 before it.
    const double h = std::sqrt(3.0) / 2;
    const double normals[4][2] = {
        {0.5 * c + h * s, 0.5 * s - h * c}, {0.5 * c - h * s, 0.5 * s + h * c}, {c, s}, {-c, -s}};
    const double reach[4] = {0, 0, 20, 500};
    TPlainSide sides[4];
    for (int k = 0; k < 4; ++k)
      sides[k] = TPlainSide{normals[k][0], normals[k][1],
                            reach[k] - normals[k][0] * x - normals[k][1] * y};
    state.ResumeTiming();
    found = world.Env->Snowflakes.Near(x, y, 200000.0, sides, 4, near);
  }
  state.counters["found"] = static_cast<double>(found);
}
BENCHMARK(BM_SnowNearAfterStep)->Unit(benchmark::kMicrosecond)->Iterations(300);

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

// The start population grown to `animals` animals, herbivores and predators in the start
// population's ratio of 51 to 21; the trees stay 251. No top-up: the crowd is the point. Each
// run covers one simulated second, so hunting thins the crowd only a little while it is timed.
void BM_WorldStepAnimals(benchmark::State& state) {
  const int64_t animals = state.range(0);
  const int64_t herbivores = (animals * 51 + 36) / 72;
  TBenchWorld world(1);
  TEnv& env = *world.Env;
  while (env.CountOf<THerbivore>() < herbivores) env.AddUnit(std::make_unique<THerbivore>(&env));
  while (env.CountOf<TAnimal>() < animals) env.AddUnit(std::make_unique<TPredator>(&env));
  for (auto _ : state) {
    world.Clock.Set(static_cast<double>(++world.Frame) * FrameDt);
    env.Step();
  }
  state.counters["animals"] = env.CountOf<TAnimal>();
}
BENCHMARK(BM_WorldStepAnimals)
    ->Arg(400)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(60);

}  // namespace
