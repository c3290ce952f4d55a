// The snow table's step over packs of flakes, written once for any width of vector register:
// TOps gives the pack type and its operations. A file that compiles it for one instruction set
// includes this header; it declares nothing inline of its own but the step.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plain_side.h"
#include "random.h"

// The table's arrays, each padded to whole packs with flakes that never move.
struct TSnowFields {
  double *X, *Y, *Z, *LieTime, *DriftX, *DriftY, *VelZ, *DriftTime;
};

// One pass over a run of flakes does everything but the wind changes, which are rare (a falling
// flake changes its wind every 0.5 s) and draw random numbers: the pass notes those flakes and
// leaves their X and Y as they were, and a second pass, in index order, draws their winds and
// moves them. The state of a flake picks its branch with masks, so that half the flakes lying
// and half falling, in no order, cost no mispredicted jumps. Each result is the same operation
// on the same operands as in TSnowflake::Step, so the same double, whatever the width.
template <class TOps>
inline void StepSnowPacks(const TSnowFields& f, size_t padded, double dt) {
  using P = typename TOps::TPack;
  constexpr size_t Width = TOps::Width;
  constexpr size_t RunLength = 1024;  // flakes whose wind changes wait in one list
  const P step = TOps::All(dt), zero = TOps::All(0.0), fastest = TOps::All(-20.0);
  const P top = TOps::All(200.0), lieTime = TOps::All(10.0);
  double* const x = f.X;
  double* const y = f.Y;
  double* const z = f.Z;
  double* const lie = f.LieTime;
  double* const driftX = f.DriftX;
  double* const driftY = f.DriftY;
  double* const velZ = f.VelZ;
  double* const driftTime = f.DriftTime;
  uint32_t windChanges[RunLength];
  for (size_t first = 0; first < padded; first += RunLength) {
    const size_t last = padded - first < RunLength ? padded : first + RunLength;
    size_t changes = 0;
    for (size_t i = first; i < last; i += Width) {
      // VelZ -= dt, then no faster than 20 downward: (-20 > v) ? -20 : v.
      const P vz = TOps::Max(fastest, TOps::Sub(TOps::Load(velZ + i), step));
      const P height = TOps::Load(z + i);
      const P inAir = TOps::Greater(height, zero);
      // In the air the drift timer runs and the drift stays; on the ground the lying timer runs
      // and the drift is +0. Subtracting +0 leaves a timer exactly as it was.
      const P wind = TOps::Sub(TOps::Load(driftTime + i), TOps::And(inAir, step));
      const P lying = TOps::Sub(TOps::Load(lie + i), TOps::AndNot(inAir, step));
      const P dx = TOps::And(inAir, TOps::Load(driftX + i));
      const P dy = TOps::And(inAir, TOps::Load(driftY + i));
      const P windChange = TOps::And(inAir, TOps::Less(wind, zero));
      const P restart = TOps::AndNot(inAir, TOps::Less(lying, zero));
      TOps::Store(velZ + i, vz);
      TOps::Store(driftTime + i, wind);
      TOps::Store(lie + i, TOps::Choose(restart, lieTime, lying));
      TOps::Store(driftX + i, dx);
      TOps::Store(driftY + i, dy);
      // ApplyVelocity, except X and Y of a flake whose wind changes.
      const P px = TOps::Load(x + i), py = TOps::Load(y + i);
      TOps::Store(x + i, TOps::Choose(windChange, px, TOps::Add(px, TOps::Mul(dx, step))));
      TOps::Store(y + i, TOps::Choose(windChange, py, TOps::Add(py, TOps::Mul(dy, step))));
      const P fallen = TOps::Add(TOps::Choose(restart, top, height), TOps::Mul(vz, step));
      TOps::Store(z + i, TOps::AndNot(TOps::Less(fallen, zero), fallen));
      const unsigned lanes = TOps::Lanes(windChange);
      for (size_t k = 0; k < Width; ++k) {
        windChanges[changes] = static_cast<uint32_t>(i - first + k);
        changes += (lanes >> k) & 1;
      }
    }
    for (size_t k = 0; k < changes; ++k) {
      const size_t i = first + windChanges[k];
      driftTime[i] = 0.5;
      driftX[i] = (Random() - 0.5) * 5;
      driftY[i] = (Random() - 0.5) * 5;
      x[i] += driftX[i] * dt;
      y[i] += driftY[i] * dt;
    }
  }
}

// Writes to near, in index order, the index of every flake of the first count whose squared
// plain distance from (x, y) is not greater than rangeSq and that lies on the given side of each
// line; returns how many. count is a whole number of packs.
template <class TOps>
inline size_t NearPacks(const double* px, const double* py, size_t count, double x, double y,
                        double rangeSq, const TPlainSide* sides, size_t sideCount, uint32_t* near) {
  using P = typename TOps::TPack;
  const P eyeX = TOps::All(x), eyeY = TOps::All(y), range = TOps::All(rangeSq);
  const P zero = TOps::All(0.0);
  size_t found = 0;
  for (size_t i = 0; i < count; i += TOps::Width) {
    const P fx = TOps::Load(px + i), fy = TOps::Load(py + i);
    const P dx = TOps::Sub(fx, eyeX), dy = TOps::Sub(fy, eyeY);
    P keep = TOps::NotGreater(TOps::Add(TOps::Mul(dx, dx), TOps::Mul(dy, dy)), range);
    // Most flakes are out of range: the lines are only asked about the rest.
    if (TOps::Lanes(keep) == 0) continue;
    for (size_t s = 0; s < sideCount; ++s) {
      const P side = TOps::Add(
          TOps::Add(TOps::Mul(TOps::All(sides[s].A), fx), TOps::Mul(TOps::All(sides[s].B), fy)),
          TOps::All(sides[s].C));
      keep = TOps::And(keep, TOps::NotLess(side, zero));
    }
    const unsigned lanes = TOps::Lanes(keep);
    for (size_t k = 0; k < TOps::Width; ++k) {
      near[found] = static_cast<uint32_t>(i + k);
      found += (lanes >> k) & 1;
    }
  }
  return found;
}

// The step and the scan in AVX registers, four flakes at once, where the build has them (Linux on
// x86-64) and the processor too.
void StepSnowPacksAvx2(const TSnowFields& f, size_t padded, double dt);
size_t NearPacksAvx2(const double* px, const double* py, size_t count, double x, double y,
                     double rangeSq, const TPlainSide* sides, size_t sideCount, uint32_t* near);
