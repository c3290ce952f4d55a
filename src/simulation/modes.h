// The concrete movement modes: wandering with rests (TFindMode), flight with side steps
// (TEscapeMode) and the chase that sprints and kills (THuntingMode). A mode steers its owner
// with the turning operations and moves it with Move; it never switches the owner's mode.
#pragma once

#include <cstdint>

#include "unit.h"

class TFindMode : public TMoveMode {
 public:
  TFindMode(TEnvUnit* owner, double minSpeed, double maxSpeed, double maxRestTime,
            double maxWalkTime);
  void Step(double dt) override;

  double Speed = 0;     // world units per second; exactly 0 while resting
  double MinSpeed;
  double MaxSpeed;
  double MaxRestTime;   // seconds
  double MaxWalkTime;   // seconds
  double WalkTimer = 0;
  double RestTimer = 0;
  double TurnTimer = 0;
  double Turn = 0;      // radians per second
};

class TEscapeMode : public TMoveMode {
 public:
  TEscapeMode(TEnvUnit* owner, double fleeSpeed, double phaseMin, double phaseMax,
              double sideAngle);
  // Names the unit to flee from; a new enemy restarts the pattern with a straight phase.
  void SetEnemy(TEnvUnit* enemy);
  void Step(double dt) override;

  TUnitRef Enemy;
  double FleeSpeed;
  double PhaseMin;          // seconds
  double PhaseMax;          // seconds, exclusive
  double PhaseTimer = 0;    // seconds left in the current phase
  int32_t SidePhases = 0;   // side-step phases before the next straight one
  double SideHeading = 0;   // radians
  double SideAngle;         // radians
};

class THuntingMode : public TMoveMode {
 public:
  THuntingMode(TEnvUnit* owner, double sprintSpeed, double chaseSpeed, double sprintRange);
  void SetPrey(TEnvUnit* prey);
  // Whether the hunt is over; a prey within reach is caught (removed from the world) here.
  bool IsFinished();
  void Step(double dt) override;

  double SprintSpeed;
  double ChaseSpeed;
  double SprintRange;
  TUnitRef Prey;
  bool Sprinting = false;
  double StepDistance = 0.1;  // speed times dt of the last chase step
  bool Killed = false;
};
