// The species: predators rest, hunt, grow by eating, starve and split; herbivores graze, flee,
// grow and breed; trees stand where they were planted.
#include "species.h"

#include "random.h"
#include "world.h"

namespace {
constexpr double HalfPi = 1.5707963267948966;
}

const TUnitClass TAnimal::ClassInfo{1, "TAnimal", &TEnvUnit::ClassInfo};
const TUnitClass TPredator::ClassInfo{2, "TPredator", &TAnimal::ClassInfo};
const TUnitClass THerbivore::ClassInfo{3, "THerbivore", &TAnimal::ClassInfo};
const TUnitClass TPlant::ClassInfo{4, "TPlant", &TEnvUnit::ClassInfo};
const TUnitClass TTree::ClassInfo{5, "TTree", &TPlant::ClassInfo};

TAnimal::TAnimal(TEnv* env) : TEnvUnit(env) { Radius = Random() + 1; }

TPredator::TPredator(TEnv* env) : TAnimal(env) {
  TurnRate = 2.5;
  HuntingMode = std::make_unique<THuntingMode>(this, 30 + 20 * Random(), 15.0, 100.0);
  DigestPeriod = 5 + 5 * Random();
  DigestTimer = Random() * DigestPeriod;
}

TEnvUnit* TPredator::FindPrey() const { return Env->NearestOf<THerbivore>(this); }

void TPredator::Step(double dt) {
  DigestTimer -= dt;
  if (Mode == IdleMode.get()) {
    if (DigestTimer < 0) {
      if (TEnvUnit* prey = FindPrey()) {
        HuntingMode->SetPrey(prey);
        Mode = HuntingMode.get();
      }
    }
  } else if (HuntingMode->IsFinished()) {
    Mode = IdleMode.get();
    if (HuntingMode->Killed) {
      DigestTimer = DigestPeriod;
      Radius += 0.2;
    }
  }

  TEnvUnit::Step(dt);

  if (DigestTimer < 0) Radius -= 0.007 * dt;
  if (Radius < 0.8) {
    // Starved: the world destroys this predator now, so nothing may touch it afterwards.
    Env->RemoveUnit(this);
    return;
  }
  if (Radius > 2.5) {
    Radius = 2.0;
    auto young = std::make_unique<TPredator>(Env);
    young->X = X + Radius + Random();
    young->Y = Y + Radius + Random();
    young->Radius = 1.0;
    Env->AddUnit(std::move(young));
  }
}

THerbivore::THerbivore(TEnv* env) : TAnimal(env) {
  TurnRate = 5.0;
  BreedTimer = 40 * Random();
  AlarmRange = 80 + 10 * Random();
  FindMode = std::make_unique<TFindMode>(this, 0.5, 2.0, 10.0, 20.0);
  Mode = FindMode.get();
  EscapeMode = std::make_unique<TEscapeMode>(this, 30 + 20 * Random(), 0.5, 1.0, HalfPi);
}

void THerbivore::Step(double dt) {
  if (TPredator* enemy = Env->NearestOf<TPredator>(this)) {
    EscapeMode->SetEnemy(enemy);
    if (Mode != EscapeMode.get()) {
      if (ClearanceTo(enemy) <= AlarmRange * AlarmRange) Mode = EscapeMode.get();
    } else {
      if (ClearanceTo(enemy) > 2 * AlarmRange * AlarmRange) Mode = FindMode.get();
    }
  } else {
    Mode = FindMode.get();
  }

  if (Radius < 2.0) Radius += 0.008 * dt;

  if (Mode == FindMode.get()) {
    BreedTimer -= dt;
    if (BreedTimer <= 0) {
      BreedTimer = 55 + 20 * Random();
      if (Radius > 1.8 && Env->CountOf(ClassType()) < 100) {
        auto young = std::make_unique<THerbivore>(Env);
        young->X = X + Radius + Random();
        young->Y = Y + Radius + Random();
        // The free-place test uses the radius the young got at construction, not 0.5.
        if (Env->IsPlaceFree(young.get(), young->X, young->Y) && Env->IsInside(young.get())) {
          young->Radius = 0.5;
          Env->AddUnit(std::move(young));
        }
      }
    }
  }

  TEnvUnit::Step(dt);
}

TTree::TTree(TEnv* env) : TPlant(env) {
  Radius = 1 + 1.5 * Random();
  do {
    X = Radius + (2 * Random() - 0.5) * (Env->WorldSize - 2 * Radius);
    Y = Radius + (2 * Random() - 0.5) * (Env->WorldSize - 2 * Radius);
  } while (!Env->IsPlaceFree(this, X, Y));
}
