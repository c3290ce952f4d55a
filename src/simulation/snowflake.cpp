// Snowfall: a flake falls from height 200 at 20 units per second, drifts with a wind drawn
// every 0.5 s while in the air, lies 10 s, then falls again from above the same spot.
#include "snowflake.h"

#include "random.h"
#include "world.h"

TSnowflake::TSnowflake(TEnv* env, double phase) : Env(env) {
  X = (3 * Random() - 1) * Env->WorldSize;
  Y = (3 * Random() - 1) * Env->WorldSize;
  double q = 2 * phase - 1;
  if (q < 0) {
    LieTime = -10 * q;
    q = 0;
  } else {
    LieTime = 10.0;
  }
  Z = 200 * q;
  DriftX = 0;
  DriftY = 0;
  VelZ = -20.0;
  DriftTime = 0;
}

void TSnowflake::Step(double dt) {
  VelZ -= 1.0 * dt;
  if (VelZ < -20) VelZ = -20;
  if (Z > 0) {
    DriftTime -= dt;
    if (DriftTime < 0) {
      DriftTime = 0.5;
      DriftX = (Random() - 0.5) * 5;
      DriftY = (Random() - 0.5) * 5;
    }
  } else {
    LieTime -= dt;
    DriftX = 0;
    DriftY = 0;
    if (LieTime < 0) {
      Z = 200.0;
      LieTime = 10.0;
    }
  }
  ApplyVelocity(dt);
}

void TSnowflake::ApplyVelocity(double dt) {
  X += DriftX * dt;
  Y += DriftY * dt;
  Z += VelZ * dt;
  if (Z < 0) Z = 0;
}
