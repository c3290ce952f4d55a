// The world: unit list, spatial queries (linear scans), the trail ring and the world step.
#include "world.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define TUNDREL_PLACES_SSE2 1
#endif

#include "clock.h"
#include "random.h"

TEnv::TEnv(double worldSize) : WorldSize(worldSize) {
  TrailIndex = 0;
  Snowflakes.reserve(SnowflakeCount);
  for (int32_t i = 0; i < SnowflakeCount; ++i) {
    // The phase is drawn before the flake draws its own position.
    const double phase = Random();
    Snowflakes.Add(TSnowflake(this, phase));
  }
  LastStepTime = ClockNow();
}

TEnv::~TEnv() {
  // Units go in list order; each destroys its own modes.
  for (auto& unit : Units) unit.reset();
}

double TEnv::Step() {
  const double now = ClockNow();
  // A frame that comes late (a stalled or stopped process, a machine that slept) moves the world
  // by MaxStep at most, so that no animal crosses the plain or starves in one step.
  double dt = ElapsedSeconds(LastStepTime, now);
  if (dt > MaxStep) dt = MaxStep;
  // Units added during the loop lie beyond n and are first stepped next time; units removed
  // during it leave empty slots.
  const size_t n = Units.size();
  NoteAllPlaces();
  // The places are kept until the loop ends, also when a step throws; Compact moves the units.
  PlacesKept = true;
  struct TKeptUntilEnd {
    bool& Kept;
    ~TKeptUntilEnd() { Kept = false; }
  } keptUntilEnd{PlacesKept};
  for (size_t i = 0; i < n; ++i) {
    if (TEnvUnit* unit = Units[i].get()) {
      Stepping = i;
      unit->Step(dt);
      NotePlace(i);
    }
  }
  Compact();
  Snowflakes.Step(dt);
  LastStepTime = now;
  return dt;
}

const TUnitClass& TEnv::ClassOf(const TEnvUnit& unit) {
  return unit.JoinedClass ? *unit.JoinedClass : unit.ClassType();
}

void TEnv::RemoveUnit(const TEnvUnit* unit) {
  if (unit == nullptr) return;
  for (size_t i = 0; i < Units.size(); ++i) {
    if (Units[i].get() == unit) {
      if (PlacesKept && i < Places.Unit.size()) Places.Unit[i] = nullptr;
      Units[i].reset();
      return;
    }
  }
}

void TEnv::NotePlace(size_t slot) const {
  TEnvUnit* unit = Units[slot].get();
  Places.X[slot] = unit ? unit->X : 0;
  Places.Y[slot] = unit ? unit->Y : 0;
  Places.RadiusSq[slot] = unit ? unit->Radius * unit->Radius : 0;
  Places.Unit[slot] = unit;
}

void TEnv::NoteAllPlaces() const {
  const size_t n = Units.size();
  Places.X.resize(n);
  Places.Y.resize(n);
  Places.RadiusSq.resize(n);
  Places.Unit.resize(n);
  for (size_t i = 0; i < n; ++i) NotePlace(i);
}

void TEnv::UpdatePlaces() const {
  if (!PlacesKept) return NoteAllPlaces();
  // Units that joined during the step.
  for (size_t i = Places.Unit.size(); i < Units.size(); ++i) {
    Places.X.emplace_back();
    Places.Y.emplace_back();
    Places.RadiusSq.emplace_back();
    Places.Unit.emplace_back();
    NotePlace(i);
  }
  if (Stepping < Units.size()) NotePlace(Stepping);
}

namespace {

// The slots below n, in order, whose place passes the test of TEnv::ScanPlaces, written to passed;
// returns how many.
template <bool AtMost>
size_t PassingPlaces(const double* X, const double* Y, const double* R, size_t n, double x,
                     double y, double radiusSq, double limit, uint32_t* passed) {
  size_t count = 0, i = 0;
#ifdef TUNDREL_PLACES_SSE2
  // Two places at once, each lane the same operations on the same operands as one at a time.
  const __m128d qx = _mm_set1_pd(x), qy = _mm_set1_pd(y), r = _mm_set1_pd(radiusSq);
  const __m128d bound = _mm_set1_pd(limit);
  for (; i + 2 <= n; i += 2) {
    const __m128d dx = _mm_sub_pd(qx, _mm_loadu_pd(X + i));
    const __m128d dy = _mm_sub_pd(qy, _mm_loadu_pd(Y + i));
    const __m128d q = _mm_sub_pd(
        _mm_sub_pd(_mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(dy, dy)), _mm_loadu_pd(R + i)), r);
    const int lanes = _mm_movemask_pd(AtMost ? _mm_cmple_pd(q, bound) : _mm_cmplt_pd(q, bound));
    if (lanes == 0) continue;
    passed[count] = static_cast<uint32_t>(i);
    count += lanes & 1;
    passed[count] = static_cast<uint32_t>(i + 1);
    count += (lanes >> 1) & 1;
  }
#endif
  for (; i < n; ++i) {
    const double q = TEnv::DistanceSq(x, y, X[i], Y[i]) - R[i] - radiusSq;
    if (AtMost ? q <= limit : q < limit) passed[count++] = static_cast<uint32_t>(i);
  }
  return count;
}

}  // namespace

size_t TEnv::ScanPlaces(double x, double y, double radiusSq, double limit, bool atMost) const {
  UpdatePlaces();
  const size_t n = Units.size();
  // Only ever grown, so that a scan does not fill it first.
  if (Passed.size() < n) Passed.resize(n);
  const auto scan = atMost ? PassingPlaces<true> : PassingPlaces<false>;
  return scan(Places.X.data(), Places.Y.data(), Places.RadiusSq.data(), n, x, y, radiusSq, limit,
              Passed.data());
}

void TEnv::Compact() {
  const auto end = std::remove(Units.begin(), Units.end(), nullptr);
  if (end == Units.end()) return;
  Units.erase(end, Units.end());
  ++ListChanges;
}

const std::vector<uint32_t>* TEnv::SlotsOf(const TUnitClass& cls) const {
  if (cls.Id >= IndexedClassIds) return nullptr;
  TClassSlots& index = ClassSlots;
  if (index.Changes != ListChanges || index.Size != Units.size() ||
      index.Storage != static_cast<const void*>(Units.data())) {
    for (auto& slots : index.Slots) slots.clear();
    for (size_t i = 0; i < Units.size(); ++i) {
      if (!Units[i]) continue;
      // A unit counts for its own class and every class it derives from.
      for (const TUnitClass* c = &ClassOf(*Units[i]); c; c = c->Parent)
        if (c->Id < IndexedClassIds) index.Slots[c->Id].push_back(static_cast<uint32_t>(i));
    }
    index.Changes = ListChanges;
    index.Size = Units.size();
    index.Storage = Units.data();
  }
  return &index.Slots[cls.Id];
}

TUnits TEnv::UnitsNear(const TEnvUnit* unit, double range) const {
  TUnits list;
  UnitsNear(unit, range, list);
  return list;
}

// The scans' clearances are TEnvUnit::ClearanceTo's: the same operations in the same order.
void TEnv::UnitsNear(const TEnvUnit* unit, double range, TUnits& list) const {
  list.clear();
  const double range2 = range * range;
  const size_t passed = ScanPlaces(unit->X, unit->Y, unit->Radius * unit->Radius, range2, true);
  for (size_t k = 0; k < passed; ++k) {
    TEnvUnit* other = Places.Unit[Passed[k]];
    if (other != nullptr && other != unit) list.push_back(other);
  }
}

TEnvUnit* TEnv::NearestOf(const TEnvUnit* unit, const TUnitClass& cls) const {
  double best = (10 * WorldSize) * (10 * WorldSize);
  TEnvUnit* nearest = nullptr;
  const double x = unit->X, y = unit->Y, radiusSq = unit->Radius * unit->Radius;
  UpdatePlaces();
  const auto consider = [&](size_t i) {
    TEnvUnit* other = Places.Unit[i];
    if (other == nullptr || other == unit || !ClassOf(*other).InheritsFrom(cls)) return;
    const double q = DistanceSq(x, y, Places.X[i], Places.Y[i]) - Places.RadiusSq[i] - radiusSq;
    if (q < best) {
      best = q;
      nearest = other;
    }
  };
  // The units of the class are visited in list order, as a scan of the whole list would meet
  // them, so the first of equally near units still wins.
  if (const std::vector<uint32_t>* slots = SlotsOf(cls)) {
    for (uint32_t i : *slots) consider(i);
  } else {
    for (size_t i = 0; i < Units.size(); ++i) consider(i);
  }
  return nearest;
}

bool TEnv::IsPlaceFree(const TEnvUnit* unit, double x, double y) const {
  const size_t passed = ScanPlaces(x, y, unit->Radius * unit->Radius, 0, false);
  for (size_t k = 0; k < passed; ++k) {
    const TEnvUnit* other = Places.Unit[Passed[k]];
    if (other != nullptr && other != unit) return false;
  }
  return true;
}

bool TEnv::IsInside(const TEnvUnit* unit) const {
  return 0 < unit->X && unit->X < WorldSize && 0 < unit->Y && unit->Y < WorldSize;
}

bool TEnv::Contains(const TEnvUnit* unit) const {
  if (unit == nullptr) return false;
  for (const auto& slot : Units)
    if (slot.get() == unit) return true;
  return false;
}

bool TEnv::Contains(const TUnitRef& unit) const {
  if (unit.IsNone()) return false;
  // The slot that holds the address is the only candidate; the serial then tells whether it is
  // still the unit that was referred to or a later one at the same address.
  const TEnvUnit* address = unit.Get();
  for (const auto& slot : Units)
    if (slot.get() == address) return unit.Is(address);
  return false;
}

int32_t TEnv::CountOf(const TUnitClass& cls) const {
  int32_t count = 0;
  if (const std::vector<uint32_t>* slots = SlotsOf(cls)) {
    for (uint32_t i : *slots) count += Units[i] != nullptr;
    return count;
  }
  for (const auto& slot : Units)
    if (slot && ClassOf(*slot).InheritsFrom(cls)) ++count;
  return count;
}

void TEnv::AddTrail(double x1, double y1, double x2, double y2) {
  Trails[TrailIndex] = TTrailSegment{x1, x2, y1, y2};
  TrailIndex += 1;
  if (TrailIndex > TrailCount - 1) TrailIndex = 0;
}

namespace {
constexpr uint64_t FnvOffset = 14695981039346656037ull;
constexpr uint64_t FnvPrime = 1099511628211ull;

template <class T>
void HashBytes(uint64_t& hash, const T& value) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  for (unsigned char b : bytes) {
    hash ^= b;
    hash *= FnvPrime;
  }
}
}  // namespace

uint64_t WorldHash(const TEnv& env) {
  uint64_t hash = FnvOffset;
  for (const auto& slot : env.Units) {
    if (!slot) continue;
    HashBytes(hash, slot->ClassType().Id);
    HashBytes(hash, slot->X);
    HashBytes(hash, slot->Y);
    HashBytes(hash, slot->Radius);
    HashBytes(hash, slot->Direction);
  }
  return hash;
}
