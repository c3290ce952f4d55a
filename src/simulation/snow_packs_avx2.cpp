// The snow table's step and scan four flakes at once in AVX registers. This file alone is
// compiled for AVX2; the table calls it only on a processor that has it.
#include <immintrin.h>

#include "snow_packs.h"

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
  // Also true where either is not a number, as the SSE2 instructions.
  static TPack NotGreater(TPack a, TPack b) { return _mm256_cmp_pd(a, b, _CMP_NGT_UQ); }
  static TPack NotLess(TPack a, TPack b) { return _mm256_cmp_pd(a, b, _CMP_NLT_UQ); }
  static TPack And(TPack a, TPack b) { return _mm256_and_pd(a, b); }
  static TPack AndNot(TPack a, TPack b) { return _mm256_andnot_pd(a, b); }
  static TPack Choose(TPack mask, TPack a, TPack b) { return _mm256_blendv_pd(b, a, mask); }
  static unsigned Lanes(TPack mask) { return static_cast<unsigned>(_mm256_movemask_pd(mask)); }
};

}  // namespace

void StepSnowPacksAvx2(const TSnowFields& f, size_t padded, double dt) {
  StepSnowPacks<TAvx2Ops>(f, padded, dt);
}

size_t NearPacksAvx2(const double* px, const double* py, size_t count, double x, double y,
                     double rangeSq, const TPlainSide* sides, size_t sideCount, uint32_t* near) {
  return NearPacks<TAvx2Ops>(px, py, count, x, y, rangeSq, sides, sideCount, near);
}
