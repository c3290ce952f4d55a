// TEnvUnit, the base of everything that takes up room on the plain, with its motion integrator;
// TMoveMode, the abstract movement mode, and TStopMode; the class references and the non-owning
// unit references that the world's queries and the modes use.
#pragma once

#include <cstdint>
#include <memory>

class TEnv;
class TEnvUnit;
class TStopMode;

// Headings and turns are in radians.
inline constexpr double Pi = 3.141592653589793;

// A class reference of the unit family. Ids are stable: the world hash records them.
struct TUnitClass {
  uint32_t Id;
  const char* Name;
  const TUnitClass* Parent;

  // Whether this class is cls or derives from it.
  bool InheritsFrom(const TUnitClass& cls) const {
    for (const TUnitClass* c = this; c; c = c->Parent)
      if (c == &cls) return true;
    return false;
  }
};

// A reference to a unit that may leave the world before the holder does. It remembers the
// unit's serial as well as its address, so a unit created later at the address of a removed one
// is never taken for it. Dereference Get() only after TEnv::Contains said the unit is there.
class TUnitRef {
 public:
  TUnitRef() = default;
  TUnitRef(TEnvUnit* unit);  // NOLINT: converts implicitly, like the pointer it stands for
  TEnvUnit* Get() const { return Unit; }
  uint64_t GetSerial() const { return Serial; }
  bool IsNone() const { return Unit == nullptr; }
  // Whether this refers to `unit`, a unit that is alive (or nullptr, which matches none).
  inline bool Is(const TEnvUnit* unit) const;

 private:
  TEnvUnit* Unit = nullptr;
  uint64_t Serial = 0;
};

// The abstract movement mode: drives its Owner; Target is the unit it aims at, if any.
class TMoveMode {
 public:
  explicit TMoveMode(TEnvUnit* owner) : Owner(owner) {}
  virtual ~TMoveMode() = default;
  TMoveMode(const TMoveMode&) = delete;
  TMoveMode& operator=(const TMoveMode&) = delete;

  virtual void Step(double dt) = 0;

  TEnvUnit* Owner;
  TUnitRef Target;
};

// The do-nothing mode: its owner stands still.
class TStopMode : public TMoveMode {
 public:
  using TMoveMode::TMoveMode;
  void Step(double) override {}
};

class TEnvUnit {
 public:
  static const TUnitClass ClassInfo;

  // A unit at a random free place of the world, in IdleMode, not yet in the world's list.
  explicit TEnvUnit(TEnv* env);
  virtual ~TEnvUnit();
  TEnvUnit(const TEnvUnit&) = delete;
  TEnvUnit& operator=(const TEnvUnit&) = delete;

  virtual const TUnitClass& ClassType() const { return ClassInfo; }
  bool InheritsFrom(const TUnitClass& cls) const { return ClassType().InheritsFrom(cls); }
  template <class T>
  bool Is() const {
    return InheritsFrom(T::ClassInfo);
  }

  // Squared centre distance minus both squared radii; 0 with itself.
  inline double ClearanceTo(const TEnvUnit* other) const;
  // Takes the new position only if it is free.
  void MoveTo(double x, double y);
  // Turns Direction toward angle by at most TurnRate * dt (radians).
  void TurnTowards(double angle, double dt);
  // The bearing of other, in [-pi/2, 3pi/2).
  double BearingOf(const TEnvUnit* other) const;
  void TurnToUnit(const TEnvUnit* other, double dt);
  void TurnAwayFrom(const TEnvUnit* other, double dt);
  // The motion integrator: speed in world units per second, turn in radians per second.
  void Move(double dt, double speed, double turn);
  // One simulation step of dt seconds: the current mode's step, then a trail segment.
  virtual void Step(double dt);

  TEnv* Env;
  double X = 0;
  double Y = 0;
  double Radius = 0;
  double Direction = 0;  // radians, never reduced to one turn
  double TurnRate = 0;   // radians per second
  double VelX = 0;       // drift velocity, world units per second
  double VelY = 0;
  double SightRange = 0;   // world units
  double MaxVelocity = 0;  // world units per second
  std::unique_ptr<TStopMode> IdleMode;
  TMoveMode* Mode = nullptr;  // not owned through this field
  const uint64_t Serial;      // unique within the world, for TUnitRef

 private:
  friend class TEnv;
  // ClassType(), noted by the world when the unit joins it (complete by then), so that its scans
  // tell classes apart without a virtual call; none for a unit that got into the list otherwise.
  const TUnitClass* JoinedClass = nullptr;
};

// Inline: the world's queries call these once for every unit they look at.

bool TUnitRef::Is(const TEnvUnit* unit) const {
  if (unit == nullptr) return false;
  return Unit == unit && Serial == unit->Serial;
}

double TEnvUnit::ClearanceTo(const TEnvUnit* other) const {
  if (other == this) return 0;
  // TEnv::DistanceSq(X, Y, other->X, other->Y), spelled out here where the world is not known.
  return (X - other->X) * (X - other->X) + (Y - other->Y) * (Y - other->Y) -
         other->Radius * other->Radius - Radius * Radius;
}
