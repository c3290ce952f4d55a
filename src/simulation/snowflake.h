// TSnowflake: a flake that falls at 20 units per second from height 200, drifts with a wind
// drawn anew every 0.5 s, lies for 10 s and falls again from above the same spot. Not a unit.
// TSnowflakes: the world's table of flakes, a structure of arrays stepped with packed arithmetic,
// the height and timers of flakes that fall together kept once for all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plain_side.h"
#include "snow_cells.h"

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

// Flakes by field: flake i is X[i], Y[i], DriftX[i] and DriftY[i], and the height and timers of
// its fall, fall Fall[i], for i below size(). Flakes whose height and timers are equal, bit for
// bit, step alike for ever (only their winds are drawn one by one), so a fall keeps them once for
// all its flakes: flakes that land together, and so start again together, share one. A step
// moves the falls, then every flake by its own drift. The flake arrays hold up to Lanes - 1 more
// entries, and the fall arrays up to Lanes - 1 more falls, that lie for ever and draw nothing, so
// that the step always takes whole packs of Lanes.
class TSnowflakes {
 public:
  static constexpr size_t Lanes = 4;

  // What a fall's flakes do in one step, as bits of its Steps entry.
  static constexpr int32_t InAir = INT32_MIN;     // the drift applies
  static constexpr int32_t WindChange = 1 << 30;  // a wind is drawn, in index order
  static constexpr int32_t DriftStops = 1 << 29;  // the first step on the ground: drift 0

  explicit TSnowflakes(TEnv* env) : Env(env) {}
  size_t size() const { return Count; }
  void reserve(size_t count);
  // Appends a flake; its Env must be this table's.
  void Add(const TSnowflake& flake);
  TSnowflake Get(size_t i) const;
  void Set(size_t i, const TSnowflake& flake);
  // Flake i's height.
  double Height(size_t i) const { return Falls.Z[Fall[i]]; }
  // Steps every flake by dt in index order, with the same results and the same random draws, in
  // the same order, as calling TSnowflake::Step on each in turn.
  void Step(double dt);
  // Writes to near, in index order, the index of every flake whose squared plain distance
  // (X - x)^2 + (Y - y)^2 is not greater than rangeSq and that lies on the given side of each of
  // the lines, and returns how many it wrote; near has room for size() indices.
  size_t Near(double x, double y, double rangeSq, const TPlainSide* sides, size_t sideCount,
              uint32_t* near) const;
  // Falls in use.
  size_t FallCount() const { return Falls.Count; }

  TEnv* Env;
  std::vector<double> X, Y, DriftX, DriftY;
  std::vector<uint32_t> Fall;

 private:
  struct TFalls {
    std::vector<double> Z, LieTime, VelZ, DriftTime;
    // All bits set while its flakes' drifts may not be 0 yet, on the ground: it has been in
    // the air since its last step on the ground, or is new.
    std::vector<double> Unsettled;
    std::vector<uint32_t> Members;  // its flakes; 0 once they have joined another fall
    std::vector<int32_t> Steps;     // what its flakes do in this step
    size_t Count = 0;               // falls below the padding
    size_t Empty = 0;               // of those, falls without flakes
  };

  // Near's test of one flake.
  bool IsNear(size_t i, double x, double y, double rangeSq, const TPlainSide* sides,
              size_t sideCount) const;
  // A new fall of one flake with the flake's height and timers.
  uint32_t NewFall(const TSnowflake& flake);
  void SetFall(size_t g, const TSnowflake& flake);
  // Steps the falls and fills their Steps, and now and then joins equal falls. True when
  // flakes must move to other falls, as Moves gives.
  bool StepFalls(double dt);
  // Joins the pending falls that are equal, and closes up the falls once many are empty. True
  // when flakes must move to other falls, as Moves gives.
  bool JoinFalls();

  TFalls Falls;
  // The flakes by cells of the plain, made when Near first needs them.
  mutable TSnowCells Cells;
  mutable std::vector<uint64_t> NearBits;  // Near's flakes by index, 0 between calls
  std::vector<uint32_t> Moves;    // by fall: the fall its flakes belong to after the step
  std::vector<uint32_t> Meeting;  // falls that landed or started again in this step
  std::vector<uint32_t> Pending;  // those since the falls were last joined
  static constexpr int JoinEvery = 64;  // steps
  int StepsSinceJoin = 0;
  size_t Count = 0;
};
