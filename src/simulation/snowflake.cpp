// Snowfall: a flake falls from height 200 at 20 units per second, drifts with a wind drawn
// every 0.5 s while in the air, lies 10 s, then falls again from above the same spot. The table
// step does the same work for every flake without a branch on the flake's state; on x86 it
// steps two flakes at once in SSE2 registers (four in AVX on Linux x86-64 where the processor
// has it), elsewhere the flakes one by one. The scan for flakes near a view goes the same way.
#include "snowflake.h"

#include <cstdint>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define TUNDREL_SNOW_SSE2 1
#endif

#include "random.h"
#include "snow_packs.h"
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

struct TSse2Ops {
  using TPack = __m128d;
  static constexpr size_t Width = 2;
  static TPack All(double v) { return _mm_set1_pd(v); }
  static TPack Load(const double* p) { return _mm_loadu_pd(p); }
  static void Store(double* p, TPack v) { _mm_storeu_pd(p, v); }
  static TPack Add(TPack a, TPack b) { return _mm_add_pd(a, b); }
  static TPack Sub(TPack a, TPack b) { return _mm_sub_pd(a, b); }
  static TPack Mul(TPack a, TPack b) { return _mm_mul_pd(a, b); }
  // b where either is not a number, as the scalar step keeps a VelZ that is not one.
  static TPack Max(TPack a, TPack b) { return _mm_max_pd(a, b); }
  static TPack Greater(TPack a, TPack b) { return _mm_cmpgt_pd(a, b); }
  static TPack Less(TPack a, TPack b) { return _mm_cmplt_pd(a, b); }
  // Also true where either is not a number.
  static TPack NotGreater(TPack a, TPack b) { return _mm_cmpngt_pd(a, b); }
  static TPack NotLess(TPack a, TPack b) { return _mm_cmpnlt_pd(a, b); }
  static TPack And(TPack a, TPack b) { return _mm_and_pd(a, b); }
  static TPack AndNot(TPack a, TPack b) { return _mm_andnot_pd(a, b); }
  // (mask & a) | (~mask & b), mask being all ones or all zeros in each lane.
  static TPack Choose(TPack mask, TPack a, TPack b) {
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
  }
  static unsigned Lanes(TPack mask) { return static_cast<unsigned>(_mm_movemask_pd(mask)); }
};

void StepSnowPacksSse2(const TSnowFields& f, size_t padded, double dt) {
  StepSnowPacks<TSse2Ops>(f, padded, dt);
}

// The widest packs this processor steps and scans.
struct TWidest {
  void (*Step)(const TSnowFields&, size_t, double) = StepSnowPacksSse2;
  size_t (*Near)(const double*, const double*, size_t, double, double, double, const TPlainSide*,
                 size_t, uint32_t*) = NearPacks<TSse2Ops>;
  TWidest() {
#ifdef TUNDREL_SNOW_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
      Step = StepSnowPacksAvx2;
      Near = NearPacksAvx2;
    }
#endif
  }
};

const TWidest& Widest() {
  static const TWidest widest;
  return widest;
}

}  // namespace

void TSnowflakes::Step(double dt) {
  static_assert(Lanes % 4 == 0, "the arrays hold whole packs of two and of four");
  Widest().Step(TSnowFields{X.data(), Y.data(), Z.data(), LieTime.data(), DriftX.data(),
                            DriftY.data(), VelZ.data(), DriftTime.data()},
                X.size(), dt);
}

size_t TSnowflakes::Near(double x, double y, double rangeSq, const TPlainSide* sides,
                         size_t sideCount, uint32_t* near) const {
  // Whole packs of four, then the rest one by one: the padding is not the table's.
  const size_t packed = Count / 4 * 4;
  size_t count = Widest().Near(X.data(), Y.data(), packed, x, y, rangeSq, sides, sideCount, near);
  for (size_t i = packed; i < Count; ++i)
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
