// The movement modes: grazing walk with rests, flight in straight and side-step phases, and the
// chase that sprints when close and catches on contact.
#include "modes.h"

#include <cmath>

#include "random.h"
#include "world.h"

TFindMode::TFindMode(TEnvUnit* owner, double minSpeed, double maxSpeed, double maxRestTime,
                     double maxWalkTime)
    : TMoveMode(owner),
      MinSpeed(minSpeed),
      MaxSpeed(maxSpeed),
      MaxRestTime(maxRestTime),
      MaxWalkTime(maxWalkTime) {
  WalkTimer = Random() * MaxWalkTime;
  RestTimer = Random() * MaxRestTime;
  TurnTimer = Random() * (MaxWalkTime + MaxRestTime) / 2;
  if (Random() <= MaxWalkTime / (MaxWalkTime + MaxRestTime))
    Speed = MinSpeed + Random() * (MaxSpeed - MinSpeed);
  else
    Speed = 0;
  Turn = Random() / 3;
}

void TFindMode::Step(double dt) {
  if (Speed == 0) {
    RestTimer -= dt;
    if (RestTimer <= 0) {
      RestTimer = Random() * MaxRestTime;
      Speed = MinSpeed + Random() * (MaxSpeed - MinSpeed);
    }
  } else {
    WalkTimer -= dt;
    if (WalkTimer <= 0) {
      WalkTimer = Random() * MaxWalkTime;
      Speed = 0;
    }
  }
  TurnTimer -= dt;
  if (TurnTimer <= 0) {
    TurnTimer = Random() * (MaxWalkTime + MaxRestTime) / 2;
    Turn = (2 * Random() - 1) / 3;
  }
  Owner->Move(dt, Speed, Turn);
}

TEscapeMode::TEscapeMode(TEnvUnit* owner, double fleeSpeed, double phaseMin, double phaseMax,
                         double sideAngle)
    : TMoveMode(owner) {
  SidePhases = 1 + RandomInt(2);
  FleeSpeed = fleeSpeed;
  PhaseMin = phaseMin;
  PhaseMax = phaseMax;
  PhaseTimer = PhaseMin + Random() * (PhaseMax - PhaseMin);
  SideAngle = sideAngle;
}

void TEscapeMode::SetEnemy(TEnvUnit* enemy) {
  if (Enemy.Is(enemy)) return;
  Enemy = enemy;
  SidePhases = 1;
  PhaseTimer = 0;
}

void TEscapeMode::Step(double dt) {
  PhaseTimer -= dt;
  if (PhaseTimer <= 0) {
    PhaseTimer = PhaseMin + Random() * (PhaseMax - PhaseMin);
    SidePhases -= 1;
    if (SidePhases < 0) SidePhases = 1 + RandomInt(2);
    SideHeading = Owner->Direction;
    if (Random() < 0.5)
      SideHeading -= SideAngle;
    else
      SideHeading += SideAngle;
  }
  if (SidePhases > 0)
    Owner->TurnTowards(SideHeading, dt);
  else if (Owner->Env->Contains(Enemy))
    Owner->TurnAwayFrom(Enemy.Get(), dt);
  Owner->Move(dt, FleeSpeed, 0);
}

THuntingMode::THuntingMode(TEnvUnit* owner, double sprintSpeed, double chaseSpeed,
                           double sprintRange)
    : TMoveMode(owner), SprintSpeed(sprintSpeed), ChaseSpeed(chaseSpeed), SprintRange(sprintRange) {
  StepDistance = 0.1;
  Prey = nullptr;
  Sprinting = false;
  Killed = false;
}

void THuntingMode::SetPrey(TEnvUnit* prey) {
  Prey = prey;
  Target = prey;
  Sprinting = false;
  Killed = false;
}

void THuntingMode::Step(double dt) {
  TEnv* env = Owner->Env;
  if (!env->Contains(Prey)) return;
  // The prey's exact class, subclasses counting: a hunter of herbivores stays on herbivores.
  TEnvUnit* nearest = env->NearestOf(Owner, Prey.Get()->ClassType());
  if (!Prey.Is(nearest)) {
    Prey = nearest;
    Target = nearest;
  }
  if (!env->Contains(Prey)) return;
  TEnvUnit* prey = Prey.Get();
  Owner->TurnToUnit(prey, dt);
  if (!Sprinting && Owner->ClearanceTo(prey) <= SprintRange * SprintRange) Sprinting = true;
  const double v = Sprinting ? SprintSpeed : ChaseSpeed;
  StepDistance = v * dt;
  Owner->Move(dt, v, 0);
}

bool THuntingMode::IsFinished() {
  TEnv* env = Owner->Env;
  if (!env->Contains(Prey)) return true;
  TEnvUnit* prey = Prey.Get();
  if (Owner->ClearanceTo(prey) < (2 * StepDistance) * (2 * StepDistance)) {
    env->RemoveUnit(prey);
    Killed = true;
    return true;
  }
  if (Sprinting && Owner->ClearanceTo(prey) > SprintRange * SprintRange) return true;
  return false;
}
