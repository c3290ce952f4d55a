// TEnv, the world: the square plain with its units, the ring of the last 10001 trail segments
// and the table of 100001 snowflakes, and the spatial queries. Every query is a linear scan of
// the unit list, NearestOf's of the units of the class asked for; distances between units are
// clearances (TEnvUnit::ClearanceTo).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "snowflake.h"
#include "unit.h"

// A trail segment from (X1, Y1) to (X2, Y2); both X come before both Y.
struct TTrailSegment {
  double X1;
  double X2;
  double Y1;
  double Y2;
};

// A list of units handed out by the world; the caller owns the list, not the units.
using TUnits = std::vector<TEnvUnit*>;

class TEnv {
 public:
  static constexpr int32_t TrailCount = 10001;
  // The most one step advances the world, in seconds: half the shortest timer of the world (a
  // falling flake's 0.5 s wind change), so no timer runs out twice within one step. A frame that
  // comes later (a stalled or stopped process, a machine that slept) moves the world by this much
  // and no more: below 4 frames a second the world slows down instead of jumping.
  static constexpr double MaxStep = 0.25;
  static constexpr int32_t SnowflakeCount = 100001;

  explicit TEnv(double worldSize);
  ~TEnv();
  TEnv(const TEnv&) = delete;
  TEnv& operator=(const TEnv&) = delete;

  // Advances every unit and every snowflake by the clock time since the previous step, at most
  // MaxStep; returns that time in seconds.
  double Step();

  // The world takes ownership; returns the unit for the caller's convenience.
  template <class T>
  T* AddUnit(std::unique_ptr<T> unit) {
    static_assert(std::is_base_of<TEnvUnit, T>::value, "only units live in the world");
    T* raw = unit.get();
    raw->JoinedClass = &raw->ClassType();
    Units.emplace_back(std::move(unit));
    ++ListChanges;
    return raw;
  }
  // Empties the first slot holding this very unit and destroys the unit; others are ignored.
  void RemoveUnit(const TEnvUnit* unit);
  // Removes the empty slots, keeping the order of the units.
  void Compact();

  // Every other unit whose clearance from unit is at most range squared, in list order.
  TUnits UnitsNear(const TEnvUnit* unit, double range) const;
  // The same into a list the caller keeps for reuse (it is cleared first).
  void UnitsNear(const TEnvUnit* unit, double range, TUnits& list) const;
  // The other unit of class cls (or a subclass) with the smallest clearance; the first wins ties.
  TEnvUnit* NearestOf(const TEnvUnit* unit, const TUnitClass& cls) const;
  template <class T>
  T* NearestOf(const TEnvUnit* unit) const {
    return static_cast<T*>(NearestOf(unit, T::ClassInfo));
  }
  bool IsPlaceFree(const TEnvUnit* unit, double x, double y) const;
  bool IsInside(const TEnvUnit* unit) const;
  bool Contains(const TEnvUnit* unit) const;
  bool Contains(const TUnitRef& unit) const;
  int32_t CountOf(const TUnitClass& cls) const;
  template <class T>
  int32_t CountOf() const {
    return CountOf(T::ClassInfo);
  }
  void AddTrail(double x1, double y1, double x2, double y2);
  static double DistanceSq(double x1, double y1, double x2, double y2) {
    return (x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2);
  }

  double LastStepTime;  // clock reading at the end of the last step
  // Empty slots only between Remove and Compact. Units join at the end (through AddUnit, or
  // appended from outside); a slot is never refilled in place.
  std::vector<std::unique_ptr<TEnvUnit>> Units;
  double WorldSize;  // side of the plain, world units
  std::array<TTrailSegment, TrailCount> Trails{};
  TSnowflakes Snowflakes{this};  // SnowflakeCount flakes, allocated once
  int32_t TrailIndex = 0;        // the slot the next AddTrail writes

  // Serial numbers of units, for TUnitRef; the first unit gets 1.
  uint64_t TakeSerial() { return ++LastSerial; }
  // Storage reused by TEnvUnit::Move for its neighbourhood, so a step does not allocate.
  TUnits NeighbourList;

 private:
  // The unit's class as noted when it joined the world, without a virtual call.
  static const TUnitClass& ClassOf(const TEnvUnit& unit);
  // The slots, in list order, of the units that are of class cls or derive from it, as far as
  // the list is unchanged since they were noted (a slot may have been emptied since); nullptr
  // for a class the index does not keep.
  const std::vector<uint32_t>* SlotsOf(const TUnitClass& cls) const;

  // The slots of each class by class id, noted when a NearestOf or CountOf first needs them after
  // the list has changed: through AddUnit, a Compact that closed up empty slots, or from outside,
  // which shows in its size or storage.
  static constexpr uint32_t IndexedClassIds = 8;
  struct TClassSlots {
    uint64_t Changes = ~uint64_t{0};  // ListChanges when noted
    size_t Size = 0;
    const void* Storage = nullptr;
    std::array<std::vector<uint32_t>, IndexedClassIds> Slots;
  };
  mutable TClassSlots ClassSlots;
  uint64_t ListChanges = 0;

  // Where each unit stands, by slot, so that the scans read a few arrays instead of every unit.
  // While the units step, only the stepping unit moves or changes its size, so the places are
  // kept: its own is noted again before every scan and after its step, units that join are
  // noted at the next scan and units that leave as they do. Outside the step every scan notes
  // them all afresh.
  struct TPlaces {
    std::vector<double> X, Y, RadiusSq;
    std::vector<TEnvUnit*> Unit;  // nullptr for an empty slot
  };
  mutable TPlaces Places;
  bool PlacesKept = false;
  size_t Stepping = 0;  // the slot of the unit stepping
  void NotePlace(size_t slot) const;
  void NoteAllPlaces() const;
  // Brings the places of every slot up to date.
  void UpdatePlaces() const;
  // Brings the places up to date and writes to the start of Passed, in slot order, the slots
  // whose place passes a scan's test: (x - X)^2 + (y - Y)^2 - RadiusSq - radiusSq below limit, or
  // at most limit where atMost, the unit's own slot and empty ones among them; returns how many.
  // Valid until the next scan.
  size_t ScanPlaces(double x, double y, double radiusSq, double limit, bool atMost) const;
  mutable std::vector<uint32_t> Passed;
  uint64_t LastSerial = 0;
};

// A 64-bit FNV-1a hash of every unit's class id, X, Y, Radius and Direction, in list order.
uint64_t WorldHash(const TEnv& env);
