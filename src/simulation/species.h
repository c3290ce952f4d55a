// The species: TAnimal with TPredator and THerbivore, TPlant with TTree. A species' Step
// decides which of its modes drives it, handles eating, growth, starvation and birth, then runs
// the step of TEnvUnit.
#pragma once

#include <memory>

#include "modes.h"
#include "unit.h"

class TAnimal : public TEnvUnit {
 public:
  static const TUnitClass ClassInfo;
  // The unit's construction, then a radius drawn anew (the place was found with the first).
  explicit TAnimal(TEnv* env);
  const TUnitClass& ClassType() const override { return ClassInfo; }
};

class TPredator : public TAnimal {
 public:
  static const TUnitClass ClassInfo;
  explicit TPredator(TEnv* env);
  const TUnitClass& ClassType() const override { return ClassInfo; }
  void Step(double dt) override;
  // The nearest herbivore, or nullptr.
  TEnvUnit* FindPrey() const;

  double DigestPeriod;  // seconds of rest after a kill
  double DigestTimer;   // seconds of rest left; negative when hungry
  std::unique_ptr<THuntingMode> HuntingMode;
};

class THerbivore : public TAnimal {
 public:
  static const TUnitClass ClassInfo;
  explicit THerbivore(TEnv* env);
  const TUnitClass& ClassType() const override { return ClassInfo; }
  void Step(double dt) override;

  double AlarmRange;  // world units
  std::unique_ptr<TFindMode> FindMode;
  std::unique_ptr<TEscapeMode> EscapeMode;
  double BreedTimer;  // seconds of grazing until the next breeding attempt
};

class TPlant : public TEnvUnit {
 public:
  static const TUnitClass ClassInfo;
  using TEnvUnit::TEnvUnit;
  const TUnitClass& ClassType() const override { return ClassInfo; }
};

class TTree : public TPlant {
 public:
  static const TUnitClass ClassInfo;
  // Placed over a square twice as wide as the plain, so most trees form the forest around it.
  explicit TTree(TEnv* env);
  const TUnitClass& ClassType() const override { return ClassInfo; }
};
