// Snowfall: a flake falls from height 200 at 20 units per second, drifts with a wind drawn
// every 0.5 s while in the air, lies 10 s, then falls again from above the same spot. The table
// steps the falls that flakes share, then the flakes, each without a branch on the state; on x86
// two at once in SSE2 registers (four in AVX on Linux x86-64 where the processor has it),
// elsewhere one by one. The scan for flakes near a view goes the same way.
#include "snowflake.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

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
  for (std::vector<double>* field : {&X, &Y, &DriftX, &DriftY}) field->reserve(padded);
  Fall.reserve(padded);
}

void TSnowflakes::SetFall(size_t g, const TSnowflake& flake) {
  Falls.Z[g] = flake.Z;
  Falls.LieTime[g] = flake.LieTime;
  Falls.VelZ[g] = flake.VelZ;
  Falls.DriftTime[g] = flake.DriftTime;
  // A new fall's flakes may still carry drifts on the ground.
  std::memset(&Falls.Unsettled[g], 0xff, sizeof(double));
}

uint32_t TSnowflakes::NewFall(const TSnowflake& flake) {
  if (Falls.Count == Falls.Z.size()) {
    // A pack of falls without flakes that lie on the ground for ever.
    for (size_t lane = 0; lane < Lanes; ++lane) {
      Falls.Z.push_back(0);
      Falls.LieTime.push_back(std::numeric_limits<double>::infinity());
      Falls.VelZ.push_back(-20.0);
      Falls.DriftTime.push_back(0);
      Falls.Unsettled.push_back(0);
      Falls.Members.push_back(0);
      Falls.Steps.push_back(0);
    }
  }
  const size_t g = Falls.Count++;
  SetFall(g, flake);
  Falls.Members[g] = 1;
  return static_cast<uint32_t>(g);
}

void TSnowflakes::Add(const TSnowflake& flake) {
  if (Count == X.size()) {
    // A pack of flakes that lie on the ground for ever: their lying time never runs out, and
    // they are never in the air, so they never draw a wind.
    TSnowflake forever;
    forever.LieTime = std::numeric_limits<double>::infinity();
    forever.VelZ = -20.0;
    for (size_t lane = 0; lane < Lanes; ++lane) {
      X.push_back(0);
      Y.push_back(0);
      DriftX.push_back(0);
      DriftY.push_back(0);
      Fall.push_back(NewFall(forever));
    }
  }
  Set(Count++, flake);
}

TSnowflake TSnowflakes::Get(size_t i) const {
  const size_t g = Fall[i];
  TSnowflake flake;
  flake.Env = Env;
  flake.X = X[i];
  flake.Y = Y[i];
  flake.Z = Falls.Z[g];
  flake.LieTime = Falls.LieTime[g];
  flake.DriftX = DriftX[i];
  flake.DriftY = DriftY[i];
  flake.VelZ = Falls.VelZ[g];
  flake.DriftTime = Falls.DriftTime[g];
  return flake;
}

void TSnowflakes::Set(size_t i, const TSnowflake& flake) {
  X[i] = flake.X;
  Y[i] = flake.Y;
  DriftX[i] = flake.DriftX;
  DriftY[i] = flake.DriftY;
  Cells.Invalidate();
  const size_t g = Fall[i];
  if (Falls.Members[g] == 1) {
    SetFall(g, flake);
    return;
  }
  if (--Falls.Members[g] == 0) ++Falls.Empty;
  Fall[i] = NewFall(flake);
}

namespace {

uint64_t Bits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

// The widest packs this processor steps and scans.
struct TSnowPasses {
  size_t (*StepFalls)(const TFallFields&, size_t, double, uint32_t*);
  void (*StepFlakes)(const TSnowFields&, size_t, double);
  static const TSnowPasses& Widest();
};

bool TSnowflakes::StepFalls(double dt) {
  const size_t padded = Falls.Z.size();
  Meeting.resize(padded);
  const size_t met = TSnowPasses::Widest().StepFalls(
      TFallFields{Falls.Z.data(), Falls.LieTime.data(), Falls.VelZ.data(), Falls.DriftTime.data(),
                  Falls.Unsettled.data(), Falls.Steps.data()},
      padded, dt, Meeting.data());
  Pending.insert(Pending.end(), Meeting.begin(), Meeting.begin() + static_cast<ptrdiff_t>(met));
  // Falls that came out of a step equal stay equal for ever, so they are joined now and then
  // rather than in every step: each joining moves every flake to its new fall.
  if (++StepsSinceJoin < JoinEvery) return false;
  StepsSinceJoin = 0;
  return JoinFalls();
}

bool TSnowflakes::JoinFalls() {
  const size_t padded = Falls.Z.size();
  // Falls with the same height and timers, bit for bit, become one: the first of them in this
  // order takes the others' flakes. Having stepped alike, they are alike unsettled too.
  auto state = [this](uint32_t g) {
    return std::array<uint64_t, 4>{Bits(Falls.Z[g]), Bits(Falls.LieTime[g]),
                                   Bits(Falls.VelZ[g]), Bits(Falls.DriftTime[g])};
  };
  Pending.erase(std::remove_if(Pending.begin(), Pending.end(),
                               [this](uint32_t g) { return Falls.Members[g] == 0; }),
                Pending.end());
  // A fall may have met others in several steps: it appears once.
  std::sort(Pending.begin(), Pending.end(), [&](uint32_t a, uint32_t b) {
    return std::make_pair(state(a), a) < std::make_pair(state(b), b);
  });
  Pending.erase(std::unique(Pending.begin(), Pending.end()), Pending.end());
  bool moving = false;
  auto startMoving = [&] {
    if (moving) return;
    Moves.resize(padded);
    for (size_t g = 0; g < padded; ++g) Moves[g] = static_cast<uint32_t>(g);
    moving = true;
  };
  for (size_t k = 1; k < Pending.size(); ++k) {
    const uint32_t g = Pending[k];
    const uint32_t into = moving ? Moves[Pending[k - 1]] : Pending[k - 1];
    if (state(g) != state(into)) continue;
    startMoving();
    Falls.Members[into] += Falls.Members[g];
    Falls.Members[g] = 0;
    ++Falls.Empty;
    Moves[g] = into;
  }
  Pending.clear();

  // Once a quarter of the falls are empty, the others close up; the Steps entries stay where
  // they are until the flakes have read them.
  if (Falls.Empty * 4 <= Falls.Count) return moving;
  startMoving();
  std::vector<uint32_t> place(padded);
  size_t kept = 0;
  for (size_t g = 0; g < padded; ++g) {
    place[g] = static_cast<uint32_t>(kept);
    if (g >= Falls.Count || Falls.Members[g] == 0) continue;
    Falls.Z[kept] = Falls.Z[g];
    Falls.LieTime[kept] = Falls.LieTime[g];
    Falls.VelZ[kept] = Falls.VelZ[g];
    Falls.DriftTime[kept] = Falls.DriftTime[g];
    Falls.Unsettled[kept] = Falls.Unsettled[g];
    Falls.Members[kept] = Falls.Members[g];
    ++kept;
  }
  for (uint32_t& move : Moves) move = place[move];
  // The tail becomes padding again: falls without flakes that lie for ever.
  const size_t keptPadded = (kept + Lanes - 1) / Lanes * Lanes;
  for (size_t g = kept; g < keptPadded; ++g) {
    Falls.Z[g] = 0;
    Falls.LieTime[g] = std::numeric_limits<double>::infinity();
    Falls.VelZ[g] = -20.0;
    Falls.DriftTime[g] = 0;
    Falls.Unsettled[g] = 0;
    Falls.Members[g] = 0;
  }
  for (std::vector<double>* field :
       {&Falls.Z, &Falls.LieTime, &Falls.VelZ, &Falls.DriftTime, &Falls.Unsettled})
    field->resize(keptPadded);
  Falls.Members.resize(keptPadded);
  Falls.Count = kept;
  Falls.Empty = 0;
  return true;
}

void TSnowflakes::Step(double dt) {
  static_assert(Lanes % 4 == 0, "the arrays hold whole packs of one, two and four");
  const bool moving = StepFalls(dt);
  TSnowPasses::Widest().StepFlakes(
      TSnowFields{X.data(), Y.data(), DriftX.data(), DriftY.data(), Fall.data(),
                  Falls.Steps.data(), moving ? Moves.data() : nullptr},
      X.size(), dt);
  // The Steps entries are read: they may now close up with the falls.
  Falls.Steps.resize(Falls.Z.size());
  Cells.Moved(dt);
}

size_t TSnowflakes::Near(double x, double y, double rangeSq, const TPlainSide* sides,
                         size_t sideCount, uint32_t* near) const {
  size_t count = 0;
  if (!(std::isfinite(x) && std::isfinite(y) && std::isfinite(rangeSq))) {
    for (size_t i = 0; i < Count; ++i)
      if (IsNear(i, x, y, rangeSq, sides, sideCount)) near[count++] = static_cast<uint32_t>(i);
    return count;
  }
  if (Cells.NeedsBuilding()) Cells.Build(X.data(), Y.data(), DriftX.data(), DriftY.data(), Count);
  // The flakes of the cells that may hold near ones are tested, and the near ones marked, so
  // that they come out in index order.
  NearBits.resize((Count + 63) / 64);
  size_t lowest = NearBits.size(), highest = 0;
  Cells.Visit(x, y, rangeSq, sides, sideCount, [&](uint32_t i) {
    if (!IsNear(i, x, y, rangeSq, sides, sideCount)) return;
    const size_t word = i / 64;
    NearBits[word] |= uint64_t{1} << (i % 64);
    lowest = std::min(lowest, word);
    highest = std::max(highest, word);
  });
  for (size_t word = lowest; word <= highest && word < NearBits.size(); ++word) {
    for (uint64_t bits = NearBits[word]; bits; bits &= bits - 1)
      near[count++] = static_cast<uint32_t>(word * 64 + static_cast<size_t>(__builtin_ctzll(bits)));
    NearBits[word] = 0;
  }
  return count;
}

namespace {

#ifdef TUNDREL_SNOW_SSE2

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
  static TPack And(TPack a, TPack b) { return _mm_and_pd(a, b); }
  static TPack AndNot(TPack a, TPack b) { return _mm_andnot_pd(a, b); }
  static TPack Or(TPack a, TPack b) { return _mm_or_pd(a, b); }
  // (mask & a) | (~mask & b), mask being all ones or all zeros in each lane.
  static TPack Choose(TPack mask, TPack a, TPack b) {
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
  }
  static unsigned Lanes(TPack mask) { return static_cast<unsigned>(_mm_movemask_pd(mask)); }
  // The Steps entries of two falls from their masks.
  static void StoreSteps(int32_t* steps, TPack inAir, TPack windChange, TPack driftStops) {
    const unsigned air = Lanes(inAir), change = Lanes(windChange), stops = Lanes(driftStops);
    for (unsigned k = 0; k < 2; ++k)
      steps[k] = ((air >> k) & 1 ? TSnowflakes::InAir : 0) |
                 ((change >> k) & 1 ? TSnowflakes::WindChange : 0) |
                 ((stops >> k) & 1 ? TSnowflakes::DriftStops : 0);
  }
  // The masks of what the falls of two flakes do, and the lanes whose drift stops.
  static unsigned FallSteps(const int32_t* steps, const uint32_t* fall, TPack& inAir,
                            TPack& windChange) {
    const int32_t low = steps[fall[0]], high = steps[fall[1]];
    inAir = Mask(low & TSnowflakes::InAir, high & TSnowflakes::InAir);
    windChange = Mask(low & TSnowflakes::WindChange, high & TSnowflakes::WindChange);
    return ((low & TSnowflakes::DriftStops) ? 1u : 0u) |
           ((high & TSnowflakes::DriftStops) ? 2u : 0u);
  }
  // Two flakes join the falls their falls moved to.
  static void MoveFalls(const uint32_t* moves, uint32_t* fall) {
    fall[0] = moves[fall[0]];
    fall[1] = moves[fall[1]];
  }
  static TPack Mask(bool low, bool high) {
    return _mm_castsi128_pd(_mm_set_epi64x(high ? -1 : 0, low ? -1 : 0));
  }
};

using TNarrowOps = TSse2Ops;

#else

// One flake at a time, a mask being a double with all bits set or none.
struct TScalarOps {
  using TPack = double;
  static constexpr size_t Width = 1;
  static TPack All(double v) { return v; }
  static TPack Load(const double* p) { return *p; }
  static void Store(double* p, TPack v) { *p = v; }
  static TPack Add(TPack a, TPack b) { return a + b; }
  static TPack Sub(TPack a, TPack b) { return a - b; }
  static TPack Mul(TPack a, TPack b) { return a * b; }
  static TPack Max(TPack a, TPack b) { return a > b ? a : b; }
  static TPack Greater(TPack a, TPack b) { return Mask(a > b); }
  static TPack Less(TPack a, TPack b) { return Mask(a < b); }
  static TPack And(TPack a, TPack b) { return FromBits(Bits(a) & Bits(b)); }
  static TPack AndNot(TPack a, TPack b) { return FromBits(~Bits(a) & Bits(b)); }
  static TPack Or(TPack a, TPack b) { return FromBits(Bits(a) | Bits(b)); }
  static TPack Choose(TPack mask, TPack a, TPack b) { return Bits(mask) ? a : b; }
  static unsigned Lanes(TPack mask) { return Bits(mask) ? 1u : 0u; }
  static void StoreSteps(int32_t* steps, TPack inAir, TPack windChange, TPack driftStops) {
    *steps = (Lanes(inAir) ? TSnowflakes::InAir : 0) |
             (Lanes(windChange) ? TSnowflakes::WindChange : 0) |
             (Lanes(driftStops) ? TSnowflakes::DriftStops : 0);
  }
  static unsigned FallSteps(const int32_t* steps, const uint32_t* fall, TPack& inAir,
                            TPack& windChange) {
    const int32_t bits = steps[*fall];
    inAir = Mask(bits & TSnowflakes::InAir);
    windChange = Mask(bits & TSnowflakes::WindChange);
    return (bits & TSnowflakes::DriftStops) ? 1u : 0u;
  }
  static void MoveFalls(const uint32_t* moves, uint32_t* fall) { *fall = moves[*fall]; }
  static TPack Mask(bool set) { return FromBits(set ? ~uint64_t{0} : 0); }
  static TPack FromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
};

using TNarrowOps = TScalarOps;

#endif

}  // namespace

const TSnowPasses& TSnowPasses::Widest() {
  static const TSnowPasses passes = [] {
    TSnowPasses narrow{StepFallPacks<TNarrowOps>, StepSnowPacks<TNarrowOps>};
#ifdef TUNDREL_SNOW_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
      return TSnowPasses{StepFallPacksAvx2, StepSnowPacksAvx2};
#endif
    return narrow;
  }();
  return passes;
}
