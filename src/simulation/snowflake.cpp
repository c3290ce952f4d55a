// Snowfall: a flake falls from height 200 at 20 units per second, drifts with a wind drawn
// every 0.5 s while in the air, lies 10 s, then falls again from above the same spot. The table
// step does the same work for every flake without a branch on the flake's state; on x86 it
// steps two flakes at once in SSE2 registers, elsewhere it steps the flakes one by one.
#include "snowflake.h"

#include <cstdint>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define TUNDREL_SNOW_SSE2 1
#endif

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

bool TSnowflakes::IsNear(size_t i, double x, double y, double rangeSq, const TPlainSide* sides,
                         size_t sideCount) const {
  const double dx = X[i] - x, dy = Y[i] - y;
  if (dx * dx + dy * dy > rangeSq) return false;
  for (size_t s = 0; s < sideCount; ++s)
    if (sides[s].A * X[i] + sides[s].B * Y[i] + sides[s].C < 0) return false;
  return true;
}

void TSnowflakes::reserve(size_t count) {
  const size_t padded = (count + Lanes - 1) / Lanes * Lanes;
  for (std::vector<double>* field : {&X, &Y, &Z, &LieTime, &DriftX, &DriftY, &VelZ, &DriftTime})
    field->reserve(padded);
}

void TSnowflakes::Add(const TSnowflake& flake) {
  if (Count == X.size()) {
    // A pack of flakes that lie on the ground for ever: their lying time never runs out, and
    // they are never in the air, so they never draw a wind.
    constexpr double Forever = std::numeric_limits<double>::infinity();
    for (size_t lane = 0; lane < Lanes; ++lane) {
      X.push_back(0);
      Y.push_back(0);
      Z.push_back(0);
      LieTime.push_back(Forever);
      DriftX.push_back(0);
      DriftY.push_back(0);
      VelZ.push_back(-20.0);
      DriftTime.push_back(0);
    }
  }
  Set(Count++, flake);
}

TSnowflake TSnowflakes::Get(size_t i) const {
  TSnowflake flake;
  flake.Env = Env;
  flake.X = X[i];
  flake.Y = Y[i];
  flake.Z = Z[i];
  flake.LieTime = LieTime[i];
  flake.DriftX = DriftX[i];
  flake.DriftY = DriftY[i];
  flake.VelZ = VelZ[i];
  flake.DriftTime = DriftTime[i];
  return flake;
}

void TSnowflakes::Set(size_t i, const TSnowflake& flake) {
  X[i] = flake.X;
  Y[i] = flake.Y;
  Z[i] = flake.Z;
  LieTime[i] = flake.LieTime;
  DriftX[i] = flake.DriftX;
  DriftY[i] = flake.DriftY;
  VelZ[i] = flake.VelZ;
  DriftTime[i] = flake.DriftTime;
}

#ifdef TUNDREL_SNOW_SSE2

namespace {

// Flakes are stepped in runs of this many; a run's wind changes wait in a small list until the
// run's pass is done.
constexpr size_t RunLength = 1024;

// (mask & a) | (~mask & b), mask being all ones or all zeros in each lane.
inline __m128d Choose(__m128d mask, __m128d a, __m128d b) {
  return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}

}  // namespace

// One pass over the run does everything but the wind changes, which are rare (a falling flake
// changes its wind every 0.5 s) and draw random numbers: the pass notes those flakes and leaves
// their X and Y as they were, and a second pass, in index order, draws their winds and moves them.
// The state of a flake picks its branch with masks, so that half the flakes lying and half
// falling, in no order, cost no mispredicted jumps. Each result is the same operation on the same
// operands as in TSnowflake::Step, so the same double.
void TSnowflakes::Step(double dt) {
  static_assert(Lanes == 2, "an SSE2 register holds two doubles");
  const __m128d step = _mm_set1_pd(dt);
  const __m128d zero = _mm_setzero_pd();
  const __m128d fastest = _mm_set1_pd(-20.0);
  const __m128d top = _mm_set1_pd(200.0);
  const __m128d lieTime = _mm_set1_pd(10.0);
  double* const x = X.data();
  double* const y = Y.data();
  double* const z = Z.data();
  double* const lie = LieTime.data();
  double* const driftX = DriftX.data();
  double* const driftY = DriftY.data();
  double* const velZ = VelZ.data();
  double* const driftTime = DriftTime.data();
  const size_t padded = X.size();
  uint32_t windChanges[RunLength];
  for (size_t first = 0; first < padded; first += RunLength) {
    const size_t last = padded - first < RunLength ? padded : first + RunLength;
    size_t changes = 0;
    for (size_t i = first; i < last; i += Lanes) {
      // VelZ -= dt, then no faster than 20 downward: (-20 > v) ? -20 : v.
      const __m128d vz = _mm_max_pd(fastest, _mm_sub_pd(_mm_loadu_pd(velZ + i), step));
      const __m128d height = _mm_loadu_pd(z + i);
      const __m128d inAir = _mm_cmpgt_pd(height, zero);
      // In the air the drift timer runs and the drift stays; on the ground the lying timer runs
      // and the drift is +0. Subtracting +0 leaves a timer exactly as it was.
      const __m128d wind = _mm_sub_pd(_mm_loadu_pd(driftTime + i), _mm_and_pd(inAir, step));
      const __m128d lying = _mm_sub_pd(_mm_loadu_pd(lie + i), _mm_andnot_pd(inAir, step));
      const __m128d dx = _mm_and_pd(inAir, _mm_loadu_pd(driftX + i));
      const __m128d dy = _mm_and_pd(inAir, _mm_loadu_pd(driftY + i));
      const __m128d windChange = _mm_and_pd(inAir, _mm_cmplt_pd(wind, zero));
      const __m128d restart = _mm_andnot_pd(inAir, _mm_cmplt_pd(lying, zero));
      _mm_storeu_pd(velZ + i, vz);
      _mm_storeu_pd(driftTime + i, wind);
      _mm_storeu_pd(lie + i, Choose(restart, lieTime, lying));
      _mm_storeu_pd(driftX + i, dx);
      _mm_storeu_pd(driftY + i, dy);
      // ApplyVelocity, except X and Y of a flake whose wind changes.
      const __m128d px = _mm_loadu_pd(x + i);
      const __m128d py = _mm_loadu_pd(y + i);
      _mm_storeu_pd(x + i, Choose(windChange, px, _mm_add_pd(px, _mm_mul_pd(dx, step))));
      _mm_storeu_pd(y + i, Choose(windChange, py, _mm_add_pd(py, _mm_mul_pd(dy, step))));
      const __m128d fallen = _mm_add_pd(Choose(restart, top, height), _mm_mul_pd(vz, step));
      _mm_storeu_pd(z + i, _mm_andnot_pd(_mm_cmplt_pd(fallen, zero), fallen));
      const int lanes = _mm_movemask_pd(windChange);
      windChanges[changes] = static_cast<uint32_t>(i - first);
      changes += static_cast<size_t>(lanes & 1);
      windChanges[changes] = static_cast<uint32_t>(i - first + 1);
      changes += static_cast<size_t>(lanes >> 1);
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

size_t TSnowflakes::Near(double x, double y, double rangeSq, const TPlainSide* sides,
                         size_t sideCount, uint32_t* near) const {
  const __m128d eyeX = _mm_set1_pd(x), eyeY = _mm_set1_pd(y), range = _mm_set1_pd(rangeSq);
  const __m128d zero = _mm_setzero_pd();
  size_t count = 0, i = 0;
  for (; i + Lanes <= Count; i += Lanes) {
    const __m128d px = _mm_loadu_pd(X.data() + i), py = _mm_loadu_pd(Y.data() + i);
    const __m128d dx = _mm_sub_pd(px, eyeX), dy = _mm_sub_pd(py, eyeY);
    const __m128d d2 = _mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(dy, dy));
    __m128d keep = _mm_cmpngt_pd(d2, range);
    // Most flakes are out of range: the lines are only asked about the rest.
    if (_mm_movemask_pd(keep) == 0) continue;
    for (size_t s = 0; s < sideCount; ++s) {
      const __m128d a = _mm_set1_pd(sides[s].A), b = _mm_set1_pd(sides[s].B);
      const __m128d side =
          _mm_add_pd(_mm_add_pd(_mm_mul_pd(a, px), _mm_mul_pd(b, py)), _mm_set1_pd(sides[s].C));
      keep = _mm_and_pd(keep, _mm_cmpnlt_pd(side, zero));
    }
    const int lanes = _mm_movemask_pd(keep);
    near[count] = static_cast<uint32_t>(i);
    count += static_cast<size_t>(lanes & 1);
    near[count] = static_cast<uint32_t>(i + 1);
    count += static_cast<size_t>(lanes >> 1);
  }
  for (; i < Count; ++i)
    if (IsNear(i, x, y, rangeSq, sides, sideCount)) near[count++] = static_cast<uint32_t>(i);
  return count;
}

#else

size_t TSnowflakes::Near(double x, double y, double rangeSq, const TPlainSide* sides,
                         size_t sideCount, uint32_t* near) const {
  size_t count = 0;
  for (size_t i = 0; i < Count; ++i)
    if (IsNear(i, x, y, rangeSq, sides, sideCount)) near[count++] = static_cast<uint32_t>(i);
  return count;
}

void TSnowflakes::Step(double dt) {
  for (size_t i = 0; i < Count; ++i) {
    TSnowflake flake = Get(i);
    flake.Step(dt);
    Set(i, flake);
  }
}

#endif
