// TSnowflake: a flake that falls at 20 units per second from height 200, drifts with a wind
// drawn anew every 0.5 s, lies for 10 s and falls again from above the same spot. Not a unit.
#pragma once

#include <cstddef>

class TEnv;

class TSnowflake {
 public:
  // phase in [0, 1) spreads the flakes evenly over their 20-second cycle.
  TSnowflake(TEnv* env, double phase);
  void Step(double dt);
  void ApplyVelocity(double dt);

  TEnv* Env;
  double X;  // world units
  double Y;
  double Z;        // height above the plain; 0 is lying on the ground
  double LieTime;  // seconds still to lie once on the ground
  double DriftX;   // world units per second
  double DriftY;
  double VelZ;       // world units per second, negative downward
  double DriftTime;  // seconds until the next wind change
};

// Steps flakes[0] to flakes[count - 1] by dt in index order, with the same results and the same
// random draws, in the same order, as calling Step on each in turn; the world's step uses it
// because it runs several times faster over the whole table.
void StepSnowflakes(TSnowflake* flakes, size_t count, double dt);
