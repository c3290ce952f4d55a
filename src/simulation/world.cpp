// The world: unit list, spatial queries (linear scans), the trail ring and the world step.
#include "world.h"

#include <algorithm>
#include <cstring>

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
      if (PlacesKept && i < Places.size()) Places[i].Unit = nullptr;
      Units[i].reset();
      return;
    }
  }
}

void TEnv::NotePlace(size_t slot) const {
  TEnvUnit* unit = Units[slot].get();
  Places[slot] =
      unit ? TPlace{unit->X, unit->Y, unit->Radius * unit->Radius, unit} : TPlace{0, 0, 0, nullptr};
}

void TEnv::NoteAllPlaces() const {
  Places.resize(Units.size());
  for (size_t i = 0; i < Units.size(); ++i) NotePlace(i);
}

const TEnv::TPlace* TEnv::CurrentPlaces() const {
  if (!PlacesKept) {
    NoteAllPlaces();
    return Places.data();
  }
  // Units that joined during the step.
  for (size_t i = Places.size(); i < Units.size(); ++i) {
    Places.emplace_back();
    NotePlace(i);
  }
  if (Stepping < Units.size()) NotePlace(Stepping);
  return Places.data();
}

void TEnv::Compact() {
  Units.erase(std::remove(Units.begin(), Units.end(), nullptr), Units.end());
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

namespace {

// TEnvUnit::ClearanceTo from one unit to others, with the unit's X, Y and squared radius read
// once for a whole scan instead of again after every store the scan makes. The operations and
// their order are ClearanceTo's, so are the results; the unit itself is never passed.
class TClearanceFrom {
 public:
  explicit TClearanceFrom(const TEnvUnit& unit)
      : X(unit.X), Y(unit.Y), RadiusSq(unit.Radius * unit.Radius) {}
  // From the other unit's place and squared radius.
  double To(double x, double y, double radiusSq) const {
    return (X - x) * (X - x) + (Y - y) * (Y - y) - radiusSq - RadiusSq;
  }

 private:
  double X, Y, RadiusSq;
};

}  // namespace

TUnits TEnv::UnitsNear(const TEnvUnit* unit, double range) const {
  TUnits list;
  UnitsNear(unit, range, list);
  return list;
}

void TEnv::UnitsNear(const TEnvUnit* unit, double range, TUnits& list) const {
  list.clear();
  const double range2 = range * range;
  const TClearanceFrom clearance(*unit);
  const TPlace* places = CurrentPlaces();
  for (size_t i = 0, n = Units.size(); i < n; ++i) {
    const TPlace& v = places[i];
    if (v.Unit == nullptr || v.Unit == unit) continue;
    if (clearance.To(v.X, v.Y, v.RadiusSq) <= range2) list.push_back(v.Unit);
  }
}

TEnvUnit* TEnv::NearestOf(const TEnvUnit* unit, const TUnitClass& cls) const {
  double best = (10 * WorldSize) * (10 * WorldSize);
  TEnvUnit* nearest = nullptr;
  const TClearanceFrom clearance(*unit);
  const TPlace* places = CurrentPlaces();
  const auto consider = [&](size_t i) {
    const TPlace& v = places[i];
    if (v.Unit == nullptr || v.Unit == unit || !ClassOf(*v.Unit).InheritsFrom(cls)) return;
    const double q = clearance.To(v.X, v.Y, v.RadiusSq);
    if (q < best) {
      best = q;
      nearest = v.Unit;
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
  const double unitRadiusSq = unit->Radius * unit->Radius;
  const TPlace* places = CurrentPlaces();
  for (size_t i = 0, n = Units.size(); i < n; ++i) {
    const TPlace& v = places[i];
    if (v.Unit == nullptr || v.Unit == unit) continue;
    if (DistanceSq(x, y, v.X, v.Y) - v.RadiusSq - unitRadiusSq < 0) return false;
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
