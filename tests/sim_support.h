// Shared helpers of the simulation tests: a generator that hands out scripted values, and a
// fixture with a world on a manual clock in which units can be put at exact places.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <initializer_list>
#include <memory>

#include "clock.h"
#include "random.h"
#include "species.h"
#include "world.h"

// Hands out the scripted values in order; once they run out it hands out 0.5 and counts.
class TScriptedRandom : public TRandomSource {
 public:
  TScriptedRandom(std::initializer_list<double> values) : Values(values) {}
  double NextDouble() override {
    ++Drawn;
    if (Values.empty()) {
      ++Overrun;
      return 0.5;
    }
    const double v = Values.front();
    Values.pop_front();
    return v;
  }
  std::deque<double> Values;
  int Drawn = 0;
  int Overrun = 0;
};

// Installs a scripted generator for the lifetime of the object.
class TScriptedDraws {
 public:
  TScriptedDraws(std::initializer_list<double> values) : Source(values) {
    SetRandomSource(&Source);
  }
  ~TScriptedDraws() { SetRandomSource(nullptr); }
  TScriptedRandom Source;
};

class WorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockSource(&Clock);
    Randomize(12345);
    Env = std::make_unique<TEnv>(1000.0);
  }
  void TearDown() override {
    Env.reset();
    SetClockSource(nullptr);
    SetRandomSource(nullptr);
  }

  // A unit of class T added to the world, then moved to exactly (x, y) with the given radius
  // and heading.
  template <class T>
  T* Put(double x, double y, double radius = 1.0, double direction = 0.0) {
    T* unit = Env->AddUnit(std::make_unique<T>(Env.get()));
    unit->X = x;
    unit->Y = y;
    unit->Radius = radius;
    unit->Direction = direction;
    return unit;
  }

  // Advances the manual clock by dt and steps the world.
  double StepWorld(double dt) {
    Clock.Set(Clock.Now() + dt);
    return Env->Step();
  }

  TManualClock Clock{1000.0};
  std::unique_ptr<TEnv> Env;
};
