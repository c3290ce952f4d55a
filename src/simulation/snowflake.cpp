// Snowfall: a flake falls from height 200 at 20 units per second, drifts with a wind drawn
// every 0.5 s while in the air, lies 10 s, then falls again from above the same spot. The table
// step does the same work for every flake without a branch on the flake's state; on x86 it
// keeps its choices in SSE2 registers, elsewhere it steps the flakes one by one.
#include "snowflake.h"

#include <cstdint>

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

#ifdef TUNDREL_SNOW_SSE2

namespace {

// Flakes are stepped in runs of this many; a run's wind changes wait in a small list until the
// run's pass is done.
constexpr size_t RunLength = 1024;

// (mask & a) | (~mask & b), mask being all ones or all zeros.
inline __m128d Choose(__m128d mask, __m128d a, __m128d b) {
  return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}

}  // namespace

// One pass over the run does everything but the wind changes, which are rare (a falling flake
// changes its wind every 0.5 s) and draw random numbers: the pass notes those flakes and leaves
// their X and Y as they were, and a second pass, in index order, draws their winds and moves them.
// The state of a flake picks its branch with masks, so that half the flakes lying and half
// falling, in no order, cost no mispredicted jumps. Each result is the same operation on the same
// operands as in Step, so the same double.
void StepSnowflakes(TSnowflake* flakes, size_t count, double dt) {
  const __m128d step = _mm_set_sd(dt);
  const __m128d zero = _mm_setzero_pd();
  const __m128d fastest = _mm_set_sd(-20.0);
  const __m128d top = _mm_set_sd(200.0);
  const __m128d lieTime = _mm_set_sd(10.0);
  uint32_t windChanges[RunLength];
  for (size_t first = 0; first < count; first += RunLength) {
    const size_t last = count - first < RunLength ? count : first + RunLength;
    size_t changes = 0;
    for (size_t i = first; i < last; ++i) {
      TSnowflake& f = flakes[i];
      // VelZ -= dt, then no faster than 20 downward: (-20 > v) ? -20 : v.
      const __m128d velZ = _mm_max_sd(fastest, _mm_sub_sd(_mm_load_sd(&f.VelZ), step));
      const __m128d z = _mm_load_sd(&f.Z);
      const __m128d inAir = _mm_cmpgt_sd(z, zero);
      // In the air the drift timer runs and the drift stays; on the ground the lying timer runs
      // and the drift is +0. Subtracting +0 leaves a timer exactly as it was.
      const __m128d driftTime = _mm_sub_sd(_mm_load_sd(&f.DriftTime), _mm_and_pd(inAir, step));
      const __m128d lying = _mm_sub_sd(_mm_load_sd(&f.LieTime), _mm_andnot_pd(inAir, step));
      const __m128d driftX = _mm_and_pd(inAir, _mm_load_sd(&f.DriftX));
      const __m128d driftY = _mm_and_pd(inAir, _mm_load_sd(&f.DriftY));
      const __m128d windChange = _mm_and_pd(inAir, _mm_cmplt_sd(driftTime, zero));
      const __m128d restart = _mm_andnot_pd(inAir, _mm_cmplt_sd(lying, zero));
      _mm_store_sd(&f.VelZ, velZ);
      _mm_store_sd(&f.DriftTime, driftTime);
      _mm_store_sd(&f.LieTime, Choose(restart, lieTime, lying));
      _mm_store_sd(&f.DriftX, driftX);
      _mm_store_sd(&f.DriftY, driftY);
      // ApplyVelocity, except X and Y of a flake whose wind changes.
      const __m128d x = _mm_load_sd(&f.X);
      const __m128d y = _mm_load_sd(&f.Y);
      _mm_store_sd(&f.X, Choose(windChange, x, _mm_add_sd(x, _mm_mul_sd(driftX, step))));
      _mm_store_sd(&f.Y, Choose(windChange, y, _mm_add_sd(y, _mm_mul_sd(driftY, step))));
      const __m128d fallen = _mm_add_sd(Choose(restart, top, z), _mm_mul_sd(velZ, step));
      _mm_store_sd(&f.Z, _mm_andnot_pd(_mm_cmplt_sd(fallen, zero), fallen));
      windChanges[changes] = static_cast<uint32_t>(i - first);
      changes += static_cast<size_t>(_mm_movemask_pd(windChange) & 1);
    }
    for (size_t k = 0; k < changes; ++k) {
      TSnowflake& f = flakes[first + windChanges[k]];
      f.DriftTime = 0.5;
      f.DriftX = (Random() - 0.5) * 5;
      f.DriftY = (Random() - 0.5) * 5;
      f.X += f.DriftX * dt;
      f.Y += f.DriftY * dt;
    }
  }
}

#else

void StepSnowflakes(TSnowflake* flakes, size_t count, double dt) {
  for (size_t i = 0; i < count; ++i) flakes[i].Step(dt);
}

#endif
