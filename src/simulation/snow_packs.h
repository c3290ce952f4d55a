// The snow table's passes over packs of falls and of flakes, written once for any width of vector
// register: TOps gives the pack type and its operations. A file that compiles them for one
// instruction set includes this header; it declares nothing inline of its own but the passes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "random.h"

// The falls' arrays, padded to whole packs with falls of no flake that lie for ever.
struct TFallFields {
  double *Z, *LieTime, *VelZ, *DriftTime, *Unsettled;
  int32_t* Steps;
};

// Steps the falls: TSnowflake::Step but for the drifts and positions, each result the same
// operation on the same operands, so the same double. A fall's state picks its branch with
// masks. Fills each fall's Steps entry, writes to meeting the falls that landed or started again
// in this step, the only ones that may come out equal to another, and returns how many.
template <class TOps>
inline size_t StepFallPacks(const TFallFields& f, size_t padded, double dt, uint32_t* meeting) {
  using P = typename TOps::TPack;
  const P step = TOps::All(dt), zero = TOps::All(0.0), fastest = TOps::All(-20.0);
  const P top = TOps::All(200.0), lieTime = TOps::All(10.0), windTime = TOps::All(0.5);
  size_t met = 0;
  for (size_t g = 0; g < padded; g += TOps::Width) {
    // VelZ -= dt, then no faster than 20 downward: (-20 > v) ? -20 : v.
    const P vz = TOps::Max(fastest, TOps::Sub(TOps::Load(f.VelZ + g), step));
    const P height = TOps::Load(f.Z + g);
    const P inAir = TOps::Greater(height, zero);
    // In the air the drift timer runs; on the ground the lying timer runs. Subtracting +0 leaves
    // a timer exactly as it was.
    const P wind = TOps::Sub(TOps::Load(f.DriftTime + g), TOps::And(inAir, step));
    const P lying = TOps::Sub(TOps::Load(f.LieTime + g), TOps::AndNot(inAir, step));
    const P windChange = TOps::And(inAir, TOps::Less(wind, zero));
    const P restart = TOps::AndNot(inAir, TOps::Less(lying, zero));
    const P driftStops = TOps::AndNot(inAir, TOps::Load(f.Unsettled + g));
    TOps::Store(f.Unsettled + g, inAir);
    TOps::Store(f.VelZ + g, vz);
    TOps::Store(f.DriftTime + g, TOps::Choose(windChange, windTime, wind));
    TOps::Store(f.LieTime + g, TOps::Choose(restart, lieTime, lying));
    // ApplyVelocity's fall, never below the ground.
    const P fallen = TOps::Add(TOps::Choose(restart, top, height), TOps::Mul(vz, step));
    const P z = TOps::AndNot(TOps::Less(fallen, zero), fallen);
    TOps::Store(f.Z + g, z);
    TOps::StoreSteps(f.Steps + g, inAir, windChange, driftStops);
    const P landed = TOps::AndNot(TOps::Greater(z, zero), inAir);
    const unsigned lanes = TOps::Lanes(TOps::Or(restart, landed));
    for (size_t k = 0; k < TOps::Width; ++k) {
      meeting[met] = static_cast<uint32_t>(g + k);
      met += (lanes >> k) & 1;
    }
  }
  return met;
}

// The number of the lowest lane set in a non-zero mask of lanes.
inline uint32_t LowestLane(unsigned lanes) {
  uint32_t lane = 0;
  while (!((lanes >> lane) & 1)) ++lane;
  return lane;
}

// The flakes' own arrays, each padded to whole packs with flakes that never move, and what each
// fall does in this step.
struct TSnowFields {
  double *X, *Y, *DriftX, *DriftY;
  uint32_t* Fall;          // by flake: its fall
  const int32_t* Steps;    // by fall: the TSnowflakes::InAir, WindChange and DriftStops bits
  const uint32_t* Moves;   // by fall: the fall its flakes join, or null when none moves
};

// The pass over the flakes after their falls have stepped: one pass over a run of flakes moves
// them by their drifts, except those whose wind changes, which are rare (a falling flake changes
// its wind every 0.5 s) and draw random numbers: the pass notes those flakes and leaves their X
// and Y as they were, and a second pass, in index order, draws their winds and moves them. What
// a flake's fall does picks its branch with masks, so that half the flakes lying and half
// falling, in no order, cost no mispredicted jumps. Each result is the same operation on the
// same operands as in TSnowflake::Step, so the same double, whatever the width.
template <class TOps>
inline void StepSnowPacks(const TSnowFields& f, size_t padded, double dt) {
  using P = typename TOps::TPack;
  constexpr size_t Width = TOps::Width;
  constexpr size_t RunLength = 1024;  // flakes whose wind changes wait in one list
  const P step = TOps::All(dt);
  double* const x = f.X;
  double* const y = f.Y;
  double* const driftX = f.DriftX;
  double* const driftY = f.DriftY;
  uint32_t* const fall = f.Fall;
  const int32_t* const steps = f.Steps;
  const uint32_t* const moves = f.Moves;
  uint32_t windChanges[RunLength];
  for (size_t first = 0; first < padded; first += RunLength) {
    const size_t last = padded - first < RunLength ? padded : first + RunLength;
    size_t changes = 0;
    for (size_t i = first; i < last; i += Width) {
      P inAir, windChange;
      const unsigned driftStops = TOps::FallSteps(steps, fall + i, inAir, windChange);
      if (moves) TOps::MoveFalls(moves, fall + i);
      // In the air the drift stays; on the ground it is +0.
      const P dx = TOps::And(inAir, TOps::Load(driftX + i));
      const P dy = TOps::And(inAir, TOps::Load(driftY + i));
      if (driftStops) {
        TOps::Store(driftX + i, dx);
        TOps::Store(driftY + i, dy);
      }
      // ApplyVelocity, except X and Y of a flake whose wind changes.
      const P px = TOps::Load(x + i), py = TOps::Load(y + i);
      TOps::Store(x + i, TOps::Choose(windChange, px, TOps::Add(px, TOps::Mul(dx, step))));
      TOps::Store(y + i, TOps::Choose(windChange, py, TOps::Add(py, TOps::Mul(dy, step))));
      for (unsigned lanes = TOps::Lanes(windChange); lanes; lanes &= lanes - 1)
        windChanges[changes++] = static_cast<uint32_t>(i - first) + LowestLane(lanes);
    }
    for (size_t k = 0; k < changes; ++k) {
      const size_t i = first + windChanges[k];
      driftX[i] = (Random() - 0.5) * 5;
      driftY[i] = (Random() - 0.5) * 5;
      x[i] += driftX[i] * dt;
      y[i] += driftY[i] * dt;
    }
  }
}

// The steps in AVX registers, four at once, where the build has them (Linux on
// x86-64) and the processor too.
size_t StepFallPacksAvx2(const TFallFields& f, size_t padded, double dt, uint32_t* meeting);
void StepSnowPacksAvx2(const TSnowFields& f, size_t padded, double dt);
