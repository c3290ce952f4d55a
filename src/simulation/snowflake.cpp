// Snowfall: a flake falls from height 200 at 20 units per second, drifts with a wind drawn
// every 0.5 s while in the air, lies 10 s, then falls again from above the same spot. The table
// steps the falls that flakes share without a branch on their state, then the flakes in the
// air; on x86 two at once in SSE2 registers (four in AVX on Linux x86-64 where the processor has
// it), elsewhere one by one.
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

#include "in_place.h"
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

bool TSnowflakes::IsNear(size_t s, double x, double y, double rangeSq, const TPlainSide* sides,
                         size_t sideCount) const {
  const TPlainVector& place = Place(s);
  const double fx = place.X, fy = place.Y;
  const double dx = fx - x, dy = fy - y;
  if (dx * dx + dy * dy > rangeSq) return false;
  for (size_t k = 0; k < sideCount; ++k)
    if (sides[k].A * fx + sides[k].B * fy + sides[k].C < 0) return false;
  return true;
}

void TSnowflakes::reserve(size_t count) {
  Own.Places.reserve(count);
  Own.Drifts.reserve(count);
  for (std::vector<uint32_t>* field : {&Own.Index, &Fall, &Slot}) field->reserve(count);
  Own.Synced.reserve(count);
  // A fall a flake until they first join, in whole packs.
  const size_t falls = (count + Lanes - 1) / Lanes * Lanes;
  for (std::vector<double>* field :
       {&Falls.Z, &Falls.LieTime, &Falls.VelZ, &Falls.DriftTime, &Falls.Unsettled})
    field->reserve(falls);
  Falls.Members.reserve(falls);
  Falls.Steps.reserve(falls);
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
  Arranged = false;
  return static_cast<uint32_t>(g);
}

void TSnowflakes::Add(const TSnowflake& flake) {
  const uint32_t i = static_cast<uint32_t>(Count++);
  Own.Places.push_back(TPlainVector{});
  Own.Drifts.push_back(TPlainVector{});
  Own.Index.push_back(i);
  Own.Synced.push_back(0);
  Slot.push_back(i);
  Fall.push_back(NewFall(flake));
  Set(i, flake);
}

TSnowflake TSnowflakes::Get(size_t i) const {
  const size_t g = Fall[i];
  const size_t s = Slot[i];
  TSnowflake flake;
  flake.Env = Env;
  const TPlainVector& place = Place(s);
  flake.X = place.X;
  flake.Y = place.Y;
  flake.Z = Falls.Z[g];
  flake.LieTime = Falls.LieTime[g];
  flake.DriftX = Own.Drifts[s].X;
  flake.DriftY = Own.Drifts[s].Y;
  flake.VelZ = Falls.VelZ[g];
  flake.DriftTime = Falls.DriftTime[g];
  return flake;
}

void TSnowflakes::Set(size_t i, const TSnowflake& flake) {
  Own.Places[Slot[i]] = TPlainVector{flake.X, flake.Y};
  Own.Drifts[Slot[i]] = TPlainVector{flake.DriftX, flake.DriftY};
  Own.Synced[Slot[i]] = static_cast<uint8_t>(Log.size());
  Cells.Invalidate();
  const size_t g = Fall[i];
  if (Falls.Members[g] == 1) {
    SetFall(g, flake);
    return;
  }
  --Falls.Members[g];
  Fall[i] = NewFall(flake);
}

namespace {

uint64_t Bits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

// The widest packs this processor steps.
struct TSnowPasses {
  size_t (*StepFalls)(const TFallFields&, size_t, double, uint32_t*);
  void (*Drift)(double*, const double*, size_t, double);
  void (*Replay)(double*, const double*, const uint8_t*, size_t, const double*, uint32_t);
  static const TSnowPasses& Widest();
};

const TPlainVector& TSnowflakes::Place(size_t s) const {
  TPlainVector& place = Own.Places[s];
  const uint32_t logged = static_cast<uint32_t>(Log.size());
  if (Own.Synced[s] != logged) {
    ReplayFlake(&place.X, &Own.Drifts[s].X, Log.data(), Own.Synced[s], logged);
    Own.Synced[s] = static_cast<uint8_t>(logged);
  }
  return place;
}

void TSnowflakes::Replay(size_t first, size_t end) const {
  static_assert(sizeof(TPlainVector) == 2 * sizeof(double), "a run is an array of doubles");
  const uint32_t logged = static_cast<uint32_t>(Log.size());
  TSnowPasses::Widest().Replay(reinterpret_cast<double*>(&Own.Places[first]),
                               reinterpret_cast<const double*>(&Own.Drifts[first]),
                               &Own.Synced[first], end - first, Log.data(), logged);
  std::fill(Own.Synced.begin() + static_cast<ptrdiff_t>(first),
            Own.Synced.begin() + static_cast<ptrdiff_t>(end), static_cast<uint8_t>(logged));
}

void TSnowflakes::CatchUp() const {
  if (Log.empty()) return;
  // Flakes of falls on the ground caught up when they landed and have not moved since; those of
  // a fall that landed in the last step were still in the air in it.
  for (size_t r = 0; r < Runs.Fall.size(); ++r)
    if (Falls.Steps[Runs.Fall[r]] & InAir) Replay(Runs.First[r], Runs.First[r + 1]);
  Log.clear();
  std::fill(Own.Synced.begin(), Own.Synced.end(), 0);
}

void TSnowflakes::JoinFalls() {
  // Falls with the same height and timers, bit for bit, become one: the first of them in this
  // order takes the others' flakes. Having stepped alike, they are alike unsettled too.
  auto state = [this](uint32_t g) {
    return std::array<uint64_t, 4>{Bits(Falls.Z[g]), Bits(Falls.LieTime[g]), Bits(Falls.VelZ[g]),
                                   Bits(Falls.DriftTime[g])};
  };
  Pending.erase(std::remove_if(Pending.begin(), Pending.end(),
                               [this](uint32_t g) { return Falls.Members[g] == 0; }),
                Pending.end());
  // A fall may have met others in several steps: it appears once. Each fall's state is read
  // once, not at every comparison.
  std::vector<std::pair<std::array<uint64_t, 4>, uint32_t>> keyed(Pending.size());
  for (size_t k = 0; k < Pending.size(); ++k) keyed[k] = {state(Pending[k]), Pending[k]};
  std::sort(keyed.begin(), keyed.end());
  for (size_t k = 0; k < keyed.size(); ++k) Pending[k] = keyed[k].second;
  Pending.erase(std::unique(Pending.begin(), Pending.end()), Pending.end());
  std::vector<uint32_t> moves(Falls.Z.size());
  for (size_t g = 0; g < moves.size(); ++g) moves[g] = static_cast<uint32_t>(g);
  bool moving = false;
  for (size_t k = 1; k < Pending.size(); ++k) {
    const uint32_t g = Pending[k];
    const uint32_t into = moves[Pending[k - 1]];
    if (state(g) != state(into)) continue;
    Falls.Members[into] += Falls.Members[g];
    Falls.Members[g] = 0;
    moves[g] = into;
    moving = true;
  }
  Pending.clear();
  if (!moving) return;
  for (uint32_t& fall : Fall) fall = moves[fall];
  for (uint32_t& fall : Runs.Fall) fall = moves[fall];
  // Once a fifth of the runs belong to falls that have others, the flakes are arranged again:
  // in the first cycle, as flakes that start at every height meet, at nearly every joining;
  // later every few minutes.
  const size_t falls = static_cast<size_t>(std::count_if(
      Falls.Members.begin(), Falls.Members.end(), [](uint32_t members) { return members > 0; }));
  if (Runs.Fall.size() * 4 > falls * 5) Arranged = false;
}

void TSnowflakes::Arrange() {
  // The falls that have flakes, those in the air first, so that the flakes in the air lie in
  // few runs of slots.
  std::vector<uint32_t> order;
  order.reserve(Falls.Count);
  for (int airborne = 1; airborne >= 0; --airborne)
    for (size_t g = 0; g < Falls.Count; ++g)
      if (Falls.Members[g] > 0 && (Falls.Z[g] > 0) == (airborne == 1))
        order.push_back(static_cast<uint32_t>(g));
  const size_t count = order.size();
  const size_t padded = (count + Lanes - 1) / Lanes * Lanes;
  // Where each fall goes: those with flakes by order, the others after them.
  constexpr uint32_t Unplaced = UINT32_MAX;
  std::vector<uint32_t> place(Falls.Z.size(), Unplaced);
  for (size_t k = 0; k < count; ++k) place[order[k]] = static_cast<uint32_t>(k);
  order = std::vector<uint32_t>();
  uint32_t after = static_cast<uint32_t>(count);
  for (uint32_t& to : place)
    if (to == Unplaced) to = after++;
  // Pending falls that are gone have nothing to join.
  Pending.erase(std::remove_if(Pending.begin(), Pending.end(),
                               [this](uint32_t g) { return Falls.Members[g] == 0; }),
                Pending.end());
  for (uint32_t& fall : Fall) fall = place[fall];
  for (uint32_t& g : Pending) g = place[g];
  MoveInPlace(place, Falls.Z, Falls.LieTime, Falls.VelZ, Falls.DriftTime, Falls.Unsettled,
              Falls.Members);
  // The padding: falls without flakes that lie on the ground for ever.
  auto pad = [&](auto& field, auto padding) {
    FitLength(field, padded);
    std::fill(field.begin() + static_cast<ptrdiff_t>(count), field.end(), padding);
  };
  pad(Falls.Z, 0.0);
  pad(Falls.LieTime, std::numeric_limits<double>::infinity());
  pad(Falls.VelZ, -20.0);
  pad(Falls.DriftTime, 0.0);
  pad(Falls.Unsettled, 0.0);
  pad(Falls.Members, 0u);
  FitLength(Falls.Steps, padded);
  std::fill(Falls.Steps.begin(), Falls.Steps.end(), 0);
  Falls.Count = count;

  // The flakes by fall, in index order within each.
  FitLength(Runs.First, count + 1);
  FitLength(Runs.Fall, count);
  Runs.First[0] = 0;
  for (size_t g = 0; g < count; ++g) {
    Runs.First[g + 1] = Runs.First[g] + Falls.Members[g];
    Runs.Fall[g] = static_cast<uint32_t>(g);
  }
  // Each flake's new slot, then its fields moved there in place: no second copy of the table is
  // made.
  std::vector<uint32_t> next(Runs.First);
  std::vector<uint32_t> to = std::move(place);  // by slot, where its flake goes
  to.resize(Count);
  for (size_t i = 0; i < Count; ++i) {
    const uint32_t s = next[Fall[i]]++;
    to[Slot[i]] = s;
    Slot[i] = s;
  }
  MoveInPlace(to, Own.Places, Own.Drifts, Own.Synced);
  for (size_t i = 0; i < Count; ++i) Own.Index[Slot[i]] = static_cast<uint32_t>(i);
  Cells.Invalidate();
  Arranged = true;
}

void TSnowflakes::Step(double dt) {
  // A step of negative, infinite or no-number length moves the flakes on the ground too (their
  // drift +0 times it is not +0) and is not logged: every flake catches up first, and every
  // flake in the air moves in it.
  const bool eager = !(dt >= 0 && dt <= std::numeric_limits<double>::max());
  if (eager) CatchUp();
  // Falls that came out of a step equal stay equal for ever, so they are joined now and then
  // rather than in every step: each joining puts every flake in a new slot.
  if (StepsSinceJoin >= JoinEvery) {
    StepsSinceJoin = 0;
    JoinFalls();
  }
  ++StepsSinceJoin;
  if (!Arranged) Arrange();
  const size_t padded = Falls.Z.size();
  FitLength(Meeting, padded);
  const size_t met = TSnowPasses::Widest().StepFalls(
      TFallFields{Falls.Z.data(), Falls.LieTime.data(), Falls.VelZ.data(), Falls.DriftTime.data(),
                  Falls.Unsettled.data(), Falls.Steps.data()},
      padded, dt, Meeting.data());
  Pending.insert(Pending.end(), Meeting.begin(), Meeting.begin() + static_cast<ptrdiff_t>(met));

  // The flakes whose drift changes catch up and move in this step; so do those of falls that
  // have just landed, whose drift becomes +0: from then on a finite step that is not negative
  // adds +0 to their places, which leaves a place that is not -0 as it is.
  const uint32_t synced = static_cast<uint32_t>(Log.size()) + (eager ? 0 : 1);
  bool windChanges = false;
  // The flakes in the air of adjacent falls move as one run of slots.
  size_t runFirst = 0, runEnd = 0;
  auto moveRun = [&] {
    if (runEnd > runFirst)
      TSnowPasses::Widest().Drift(reinterpret_cast<double*>(&Own.Places[runFirst]),
                                  reinterpret_cast<const double*>(&Own.Drifts[runFirst]),
                                  2 * (runEnd - runFirst), dt);
  };
  for (size_t r = 0; r < Runs.Fall.size(); ++r) {
    const size_t first = Runs.First[r], end = Runs.First[r + 1];
    const int32_t step = Falls.Steps[Runs.Fall[r]];
    if ((step & (InAir | WindChange)) == InAir) {
      if (!eager) continue;
      if (first != runEnd) {
        moveRun();
        runFirst = first;
      }
      runEnd = end;
    } else if (step & WindChange) {
      windChanges = true;
    } else if ((step & DriftStops) || eager) {
      Replay(first, end);
      for (size_t s = first; s < end; ++s) {
        TPlainVector &place = Own.Places[s], &drift = Own.Drifts[s];
        drift = TPlainVector{0, 0};
        place.X += drift.X * dt;
        place.Y += drift.Y * dt;
        Own.Synced[s] = static_cast<uint8_t>(synced);
      }
    }
  }
  moveRun();
  if (eager) std::memset(Falls.Unsettled.data(), 0xff, padded * sizeof(double));
  if (windChanges) ChangeWinds(dt, synced);
  if (!eager) {
    Log.push_back(dt);
    if (Log.size() >= LogSteps) CatchUp();
  }
  Cells.Moved(dt);
}

namespace {

// The set bits of a word, without the processor's own count, which x86-64 does not promise.
uint32_t Ones(uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555u;
  bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
  bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0fu;
  return static_cast<uint32_t>((bits * 0x0101010101010101u) >> 56);
}

}  // namespace

void TSnowflakes::ChangeWinds(double dt, uint32_t synced) {
  const size_t words = (Count + 63) / 64;
  Changing.resize(words);
  ChangingBefore.resize(words);
  size_t changing = 0;
  for (size_t r = 0; r < Runs.Fall.size(); ++r) {
    if (!(Falls.Steps[Runs.Fall[r]] & WindChange)) continue;
    Replay(Runs.First[r], Runs.First[r + 1]);
    for (size_t s = Runs.First[r]; s < Runs.First[r + 1]; ++s)
      Changing[Own.Index[s] / 64] |= uint64_t{1} << (Own.Index[s] % 64);
    changing += Runs.First[r + 1] - Runs.First[r];
  }
  // The flakes draw their winds in index order, X then Y: the k-th of them takes the draws 2k
  // and 2k + 1, k counted from the marks of the flakes before it.
  Draws.resize(2 * changing);
  for (double& draw : Draws) draw = Random();
  uint32_t before = 0;
  for (size_t word = 0; word < words; ++word) {
    ChangingBefore[word] = before;
    before += Ones(Changing[word]);
  }
  for (size_t r = 0; r < Runs.Fall.size(); ++r) {
    if (!(Falls.Steps[Runs.Fall[r]] & WindChange)) continue;
    for (size_t s = Runs.First[r]; s < Runs.First[r + 1]; ++s) {
      const uint32_t i = Own.Index[s];
      const uint64_t earlier = Changing[i / 64] & ((uint64_t{1} << (i % 64)) - 1);
      const size_t k = ChangingBefore[i / 64] + Ones(earlier);
      TPlainVector &place = Own.Places[s], &drift = Own.Drifts[s];
      drift.X = (Draws[2 * k] - 0.5) * 5;
      drift.Y = (Draws[2 * k + 1] - 0.5) * 5;
      place.X += drift.X * dt;
      place.Y += drift.Y * dt;
      Own.Synced[s] = static_cast<uint8_t>(synced);
    }
  }
  std::fill(Changing.begin(), Changing.end(), 0);
}

namespace {

// Sorts the found flakes by index, stably, a digit of 9 bits at a time from the lowest; highest
// is the largest index among them. spare is the sort's work space.
void SortByFlake(std::vector<TSnowCells::TFound>& found, std::vector<TSnowCells::TFound>& spare,
                 uint32_t highest) {
  constexpr int Bits = 9;
  constexpr uint32_t Digit = (1u << Bits) - 1;
  spare.resize(found.size());
  for (int shift = 0; shift < 32 && (highest >> shift) != 0; shift += Bits) {
    uint32_t starts[Digit + 2] = {};
    for (const TSnowCells::TFound& f : found) ++starts[((f.Flake >> shift) & Digit) + 1];
    for (uint32_t d = 0; d <= Digit; ++d) starts[d + 1] += starts[d];
    for (const TSnowCells::TFound& f : found) spare[starts[(f.Flake >> shift) & Digit]++] = f;
    found.swap(spare);
  }
}

}  // namespace

size_t TSnowflakes::Near(double x, double y, double rangeSq, const TPlainSide* sides,
                         size_t sideCount, std::vector<TNearFlake>& near) const {
  // The near flakes' indices and slots first, in index order; their places after.
  Found.clear();
  if (!(std::isfinite(x) && std::isfinite(y) && std::isfinite(rangeSq))) {
    for (size_t i = 0; i < Count; ++i)
      if (IsNear(Slot[i], x, y, rangeSq, sides, sideCount))
        Found.push_back(TSnowCells::TFound{static_cast<uint32_t>(i), Slot[i]});
  } else {
    if (Cells.NeedsBuilding()) {
      CatchUp();
      Cells.Build(Own.Places.data(), Own.Drifts.data(), Own.Index.data(), Count);
    }
    // The flakes of the cells that may hold near ones are tested, where the cells cannot tell,
    // and the near ones sorted, so that they come out in index order.
    uint32_t highest = 0;
    Cells.Visit(x, y, rangeSq, sides, sideCount, [&](const TSnowCells::TEntry& entry, bool sure) {
      if (!sure && !IsNear(entry.Slot, x, y, rangeSq, sides, sideCount)) return;
      Found.push_back(TSnowCells::TFound{entry.Flake, entry.Slot});
      highest = std::max(highest, entry.Flake);
    });
    SortByFlake(Found, FoundSpare, highest);
  }
  // The found flakes lie anywhere in the table: the fields of those a few places on are fetched
  // while one is read.
  constexpr size_t Ahead = 8;
  const size_t count = Found.size();
  near.resize(count);
  for (size_t k = 0; k < count; ++k) {
    if (k + Ahead < count) {
      const size_t ahead = Found[k + Ahead].Slot;
      __builtin_prefetch(&Own.Synced[ahead]);
      __builtin_prefetch(&Own.Places[ahead]);
      __builtin_prefetch(&Own.Drifts[ahead]);
      __builtin_prefetch(&Fall[Found[k + Ahead].Flake]);
    }
    const TPlainVector& place = Place(Found[k].Slot);
    near[k].Index = Found[k].Flake;
    near[k].X = place.X;
    near[k].Y = place.Y;
    near[k].Z = Falls.Z[Fall[Found[k].Flake]];
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
};

using TNarrowOps = TSse2Ops;

#else

// One at a time, a mask being a double with all bits set or none.
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
    TSnowPasses narrow{StepFallPacks<TNarrowOps>, DriftPacks<TNarrowOps>, ReplayPacks<TNarrowOps>};
#ifdef TUNDREL_SNOW_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
      return TSnowPasses{StepFallPacksAvx2, DriftPacksAvx2, ReplayPacksAvx2};
#endif
    return narrow;
  }();
  return passes;
}
