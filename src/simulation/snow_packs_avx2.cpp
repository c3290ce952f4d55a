// The snow table's steps four falls or flake coordinates at once in AVX registers. This file alone
// is compiled for AVX2; the table calls it only on a processor that has it.
#include <immintrin.h>

#include "snow_packs.h"
#include "snowflake.h"

namespace {

struct TAvx2Ops {
  using TPack = __m256d;
  static constexpr size_t Width = 4;
  static TPack All(double v) { return _mm256_set1_pd(v); }
  static TPack Load(const double* p) { return _mm256_loadu_pd(p); }
  static void Store(double* p, TPack v) { _mm256_storeu_pd(p, v); }
  static TPack Add(TPack a, TPack b) { return _mm256_add_pd(a, b); }
  static TPack Sub(TPack a, TPack b) { return _mm256_sub_pd(a, b); }
  static TPack Mul(TPack a, TPack b) { return _mm256_mul_pd(a, b); }
  // As the SSE2 instruction: b where either is not a number.
  static TPack Max(TPack a, TPack b) { return _mm256_max_pd(a, b); }
  static TPack Greater(TPack a, TPack b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
  static TPack Less(TPack a, TPack b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
  static TPack And(TPack a, TPack b) { return _mm256_and_pd(a, b); }
  static TPack AndNot(TPack a, TPack b) { return _mm256_andnot_pd(a, b); }
  static TPack Or(TPack a, TPack b) { return _mm256_or_pd(a, b); }
  static TPack Choose(TPack mask, TPack a, TPack b) { return _mm256_blendv_pd(b, a, mask); }
  static unsigned Lanes(TPack mask) { return static_cast<unsigned>(_mm256_movemask_pd(mask)); }
  // The Steps entries of four falls from their masks.
  static void StoreSteps(int32_t* steps, TPack inAir, TPack windChange, TPack driftStops) {
    // The high halves of the lanes, each all ones or zero, as four 32-bit lanes.
    const __m256i high = _mm256_setr_epi32(1, 3, 5, 7, 1, 3, 5, 7);
    auto bits = [&](TPack mask, int32_t bit) {
      return _mm_and_si128(
          _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(mask), high)),
          _mm_set1_epi32(bit));
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(steps),
                     _mm_or_si128(_mm_or_si128(bits(inAir, TSnowflakes::InAir),
                                               bits(windChange, TSnowflakes::WindChange)),
                                  bits(driftStops, TSnowflakes::DriftStops)));
  }
};

}  // namespace

size_t StepFallPacksAvx2(const TFallFields& f, size_t padded, double dt, uint32_t* meeting) {
  return StepFallPacks<TAvx2Ops>(f, padded, dt, meeting);
}

void DriftPacksAvx2(double* place, const double* drift, size_t count, double dt) {
  DriftPacks<TAvx2Ops>(place, drift, count, dt);
}

void ReplayPacksAvx2(double* place, const double* drift, const uint8_t* synced, size_t count,
                     const double* log, uint32_t to) {
  ReplayPacks<TAvx2Ops>(place, drift, synced, count, log, to);
}
