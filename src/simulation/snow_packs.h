// The snow table's steps over packs of falls and of flakes, written once for any width of vector
// register: TOps gives the pack type and its operations. A file that compiles them for one
// instruction set includes this header; it declares nothing inline of its own but the steps.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Moves the places of flakes in the air by their drifts for dt, as TSnowflake::ApplyVelocity
// does: place[k] += drift[k] * dt for each of count numbers, X and Y of each flake in turn.
template <class TOps>
inline void DriftPacks(double* place, const double* drift, size_t count, double dt) {
  const typename TOps::TPack step = TOps::All(dt);
  size_t k = 0;
  for (; k + TOps::Width <= count; k += TOps::Width)
    TOps::Store(place + k,
                TOps::Add(TOps::Load(place + k), TOps::Mul(TOps::Load(drift + k), step)));
  for (; k < count; ++k) place[k] += drift[k] * dt;
}

// Brings the places of count flakes up to date with the steps logged since each was last: flake
// f, its X and Y at 2f and 2f + 1 of place and drift, has counted the steps of log before
// synced[f] and counts those up to to, in order, as DriftPacks would have moved it in each:
// place += drift * log[k]. Flakes that share a pack and have counted different steps catch up
// one by one to the last of them first.
inline void ReplayFlake(double* place, const double* drift, const double* log, uint32_t from,
                        uint32_t to) {
  for (uint32_t k = from; k < to; ++k) {
    place[0] += drift[0] * log[k];
    place[1] += drift[1] * log[k];
  }
}

template <class TOps>
inline void ReplayPacks(double* place, const double* drift, const uint8_t* synced, size_t count,
                        const double* log, uint32_t to) {
  size_t f = 0;
  constexpr size_t PerPack = TOps::Width / 2;
  if constexpr (PerPack > 0) {
    for (; f + PerPack <= count; f += PerPack) {
      uint32_t from = synced[f];
      for (size_t j = 1; j < PerPack; ++j) from = synced[f + j] > from ? synced[f + j] : from;
      for (size_t j = 0; j < PerPack; ++j)
        ReplayFlake(place + 2 * (f + j), drift + 2 * (f + j), log, synced[f + j], from);
      typename TOps::TPack p = TOps::Load(place + 2 * f);
      const typename TOps::TPack d = TOps::Load(drift + 2 * f);
      for (uint32_t k = from; k < to; ++k) p = TOps::Add(p, TOps::Mul(d, TOps::All(log[k])));
      TOps::Store(place + 2 * f, p);
    }
  }
  for (; f < count; ++f) ReplayFlake(place + 2 * f, drift + 2 * f, log, synced[f], to);
}

// The steps in AVX registers, four at once, where the build has them (Linux on
// x86-64) and the processor too.
size_t StepFallPacksAvx2(const TFallFields& f, size_t padded, double dt, uint32_t* meeting);
void DriftPacksAvx2(double* place, const double* drift, size_t count, double dt);
void ReplayPacksAvx2(double* place, const double* drift, const uint8_t* synced, size_t count,
                     const double* log, uint32_t to);
