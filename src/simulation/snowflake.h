// TSnowflake: a flake that falls at 20 units per second from height 200, drifts with a wind
// drawn anew every 0.5 s, lies for 10 s and falls again from above the same spot. Not a unit.
// TSnowflakes: the world's table of flakes, a structure of arrays stepped with packed arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plain_side.h"

class TEnv;

class TSnowflake {
 public:
  // phase in [0, 1) spreads the flakes evenly over their 20-second cycle.
  TSnowflake(TEnv* env, double phase);
  // A flake with every field 0, to be filled in; draws nothing.
  TSnowflake() = default;
  void Step(double dt);
  void ApplyVelocity(double dt);

  TEnv* Env = nullptr;
  double X = 0;  // world units
  double Y = 0;
  double Z = 0;        // height above the plain; 0 is lying on the ground
  double LieTime = 0;  // seconds still to lie once on the ground
  double DriftX = 0;   // world units per second
  double DriftY = 0;
  double VelZ = 0;       // world units per second, negative downward
  double DriftTime = 0;  // seconds until the next wind change
};

// Flakes by field: flake i is X[i], Y[i], Z[i] and so on, for i below size(). Each array holds
// up to Lanes - 1 more entries, flakes that lie for ever and draw nothing, so that the step
// always takes whole packs of Lanes flakes.
class TSnowflakes {
 public:
  static constexpr size_t Lanes = 4;

  explicit TSnowflakes(TEnv* env) : Env(env) {}
  size_t size() const { return Count; }
  void reserve(size_t count);
  // Appends a flake; its Env must be this table's.
  void Add(const TSnowflake& flake);
  TSnowflake Get(size_t i) const;
  void Set(size_t i, const TSnowflake& flake);
  // Steps every flake by dt in index order, with the same results and the same random draws, in
  // the same order, as calling TSnowflake::Step on each in turn.
  void Step(double dt);
  // Writes to near, in index order, the index of every flake whose squared plain distance
  // (X - x)^2 + (Y - y)^2 is not greater than rangeSq and that lies on the given side of each of
  // the lines, and returns how many it wrote; near has room for size() indices.
  size_t Near(double x, double y, double rangeSq, const TPlainSide* sides, size_t sideCount,
              uint32_t* near) const;

  TEnv* Env;
  std::vector<double> X, Y, Z, LieTime, DriftX, DriftY, VelZ, DriftTime;

 private:
  // Near's test of one flake.
  bool IsNear(size_t i, double x, double y, double rangeSq, const TPlainSide* sides,
              size_t sideCount) const;

  size_t Count = 0;
};
