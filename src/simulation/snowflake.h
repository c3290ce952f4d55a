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

// The table of flakes. Flakes whose height and timers are equal, bit for bit, step alike for
// ever (only their winds are drawn one by one), so a fall keeps them once for all its flakes:
// flakes that land together, and so start again together, share one. The flakes' own fields, X,
// Y and the drifts, lie fall by fall, each fall's flakes in index order. A flake's place is
// brought up to date only when it is read or its drift changes: the table logs the length of
// each step, and the flake then adds its drift times each step since it was last brought up to
// date, in order, as if it had been moved in every step. A step thus moves the falls and touches
// only the flakes whose wind changes or that have just landed.
class TSnowflakes {
 public:
  // The fall arrays hold up to Lanes - 1 more falls, without flakes, that lie for ever, so that
  // their step always takes whole packs of Lanes.
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
  // Flake i's position and height.
  double X(size_t i) const { return Place(Slot[i]).X; }
  double Y(size_t i) const { return Place(Slot[i]).Y; }
  double Height(size_t i) const { return Falls.Z[Fall[i]]; }
  // Steps every flake by dt in index order, with the same results and the same random draws, in
  // the same order, as calling TSnowflake::Step on each in turn.
  void Step(double dt);
  // A flake that Near found.
  struct TNearFlake {
    uint32_t Index;
    double X, Y, Z;
  };
  // Fills near, in index order, with every flake whose squared plain distance (X - x)^2 +
  // (Y - y)^2 is not greater than rangeSq and that lies on the given side of each of the lines,
  // and returns how many that is; near keeps its storage between calls, as long as the most
  // found so far.
  size_t Near(double x, double y, double rangeSq, const TPlainSide* sides, size_t sideCount,
              std::vector<TNearFlake>& near) const;
  // Falls in use.
  size_t FallCount() const { return Falls.Count; }

  TEnv* Env;

 private:
  struct TFalls {
    std::vector<double> Z, LieTime, VelZ, DriftTime;
    // All bits set while its flakes on the ground may still need their drift set to 0 and
    // their position moved by it: it has been in the air since, or is new.
    std::vector<double> Unsettled;
    std::vector<uint32_t> Members;  // its flakes; 0 once they have joined another fall
    std::vector<int32_t> Steps;     // what its flakes do in this step
    size_t Count = 0;               // falls below the padding
  };
  // Slots of flakes of one fall: run r holds slots First[r] to First[r + 1] - 1, of fall
  // Fall[r]. Arranged, each fall has one run; falls that join keep theirs.
  struct TRuns {
    std::vector<uint32_t> First{0};
    std::vector<uint32_t> Fall;
  };
  // The flakes' own fields by slot.
  struct TOwn {
    std::vector<TPlainVector> Places, Drifts;
    std::vector<uint32_t> Index;  // of the flake in the slot
    std::vector<uint8_t> Synced;  // the logged steps its place counts: those before this one
  };

  // The place of the flake in slot s, brought up to date.
  const TPlainVector& Place(size_t s) const;
  // Brings the places of the flakes in slots first to end - 1 up to date.
  void Replay(size_t first, size_t end) const;
  // Brings every place up to date and empties the log.
  void CatchUp() const;
  // Near's test of the flake in slot s.
  bool IsNear(size_t s, double x, double y, double rangeSq, const TPlainSide* sides,
              size_t sideCount) const;
  // A new fall of one flake with the flake's height and timers.
  uint32_t NewFall(const TSnowflake& flake);
  void SetFall(size_t g, const TSnowflake& flake);
  // Joins the pending falls that are equal; once their runs are many, the flakes are arranged
  // again.
  void JoinFalls();
  // Closes up the falls, those in the air first, and puts the flakes in slots fall by fall, a
  // run a fall.
  void Arrange();
  // Draws the winds of the falls' flakes whose wind changes, in index order, and moves them.
  // synced is the count of logged steps, this one included.
  void ChangeWinds(double dt, uint32_t synced);

  std::vector<uint32_t> Fall;  // by flake: its fall
  std::vector<uint32_t> Slot;  // by flake: where its own fields lie
  // Places are brought up to date as they are read.
  mutable TOwn Own;
  // The lengths of the steps since the log was last emptied, in order; emptied once it holds
  // LogSteps, so that a flake whose wind does not change (lying, or steps of no length) catches
  // up on a bounded number of them.
  mutable std::vector<double> Log;
  static constexpr size_t LogSteps = 128;
  static_assert(LogSteps < 256, "a flake's count of logged steps is a byte");
  TFalls Falls;
  TRuns Runs;
  bool Arranged = false;                // the runs hold every flake of its fall
  std::vector<uint32_t> Meeting;        // falls that landed or started again in a step
  std::vector<uint32_t> Pending;        // those since the falls were last joined
  static constexpr int JoinEvery = 64;  // steps
  int StepsSinceJoin = 0;
  std::vector<uint64_t> Changing;        // by flake, the flakes whose wind changes in this step
  std::vector<uint32_t> ChangingBefore;  // by word of Changing, the marks in the words before it
  std::vector<double> Draws;             // the winds' draws of this step, in order
  // The slots by cells of the plain, made when Near first needs them.
  mutable TSnowCells Cells;
  mutable std::vector<TSnowCells::TFound> Found, FoundSpare;  // Near's flakes and work space
  size_t Count = 0;
};
