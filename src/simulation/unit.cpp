// The unit base: construction at a random free place, clearance, limited-rate turning and the
// motion integrator Move with obstacle avoidance, walls and drift.
#include "unit.h"

#include <cmath>

#include "portable_math.h"
#include "random.h"
#include "world.h"

const TUnitClass TEnvUnit::ClassInfo{0, "TEnvUnit", nullptr};

TUnitRef::TUnitRef(TEnvUnit* unit) : Unit(unit), Serial(unit ? unit->Serial : 0) {}

TEnvUnit::TEnvUnit(TEnv* env) : Env(env), Serial(env->TakeSerial()) {
  Direction = Random() * 2 * Pi;
  Radius = Random() + 1;
  MaxVelocity = 20.0;
  VelX = 0;
  VelY = 0;
  do {
    X = Radius + Random() * (Env->WorldSize - 2 * Radius);
    Y = Radius + Random() * (Env->WorldSize - 2 * Radius);
  } while (!Env->IsPlaceFree(this, X, Y));
  TurnRate = 5.0;
  SightRange = 30.0;
  IdleMode = std::make_unique<TStopMode>(this);
  Mode = IdleMode.get();
}

TEnvUnit::~TEnvUnit() = default;

void TEnvUnit::MoveTo(double x, double y) {
  if (Env->IsPlaceFree(this, x, y)) {
    X = x;
    Y = y;
  }
}

void TEnvUnit::TurnTowards(double angle, double dt) {
  if (dt == 0) return;
  if (std::fabs(Direction - angle) / dt > TurnRate) {
    if (Direction <= angle)
      Direction += TurnRate * dt;
    else
      Direction -= TurnRate * dt;
  } else {
    Direction = angle;
  }
}

double TEnvUnit::BearingOf(const TEnvUnit* other) const {
  const double dx = other->X - X;
  const double dy = other->Y - Y;
  // dx = 0 divides by zero on purpose: the infinity's arctangent is +-pi/2.
  double bearing = PortableAtan(dy / dx);
  if (dx < 0) bearing += Pi;
  return bearing;
}

void TEnvUnit::TurnToUnit(const TEnvUnit* other, double dt) {
  if (other == this) return;
  TurnTowards(BearingOf(other), dt);
}

void TEnvUnit::TurnAwayFrom(const TEnvUnit* other, double dt) {
  if (other == this) return;
  TurnTowards(BearingOf(other) + Pi, dt);
}

void TEnvUnit::Move(double dt, double speed, double turn) {
  Direction += turn * dt;

  TUnits& list = Env->NeighbourList;
  Env->UnitsNear(this, SightRange, list);

  // The obstacle: the nearest unit (by clearance) ahead whose widened disc crosses the path.
  // A hunter's prey (the mode's Target) is never its obstacle. The heading does not change until
  // an obstacle is chosen, so its cosine and sine serve the whole search and the avoidance.
  const double heading = Direction;
  double sinD, cosD;
  PortableSinCos(heading, sinD, cosD);
  const TUnitRef& target = Mode->Target;
  double best = Env->WorldSize * Env->WorldSize;
  const TEnvUnit* chosen = nullptr;
  for (const TEnvUnit* u : list) {
    if (u == this || target.Is(u)) continue;
    const double dx = u->X - X;
    const double dy = u->Y - Y;
    const double ahead = dx * cosD + dy * sinD;
    if (ahead < 0) continue;
    const double side = dx * sinD - dy * cosD;
    const double reach = 1.5 * u->Radius + Radius;
    if (std::fabs(side) >= reach) continue;
    const double k = ClearanceTo(u);
    if (k < best) {
      best = k;
      chosen = u;
    }
  }

  if (chosen) {
    const double dx = chosen->X - X;
    const double dy = chosen->Y - Y;
    const double ahead = dx * cosD + dy * sinD;
    const double side = dx * sinD - dy * cosD;
    const double reach = 1.5 * chosen->Radius + Radius;
    const double dist2 = ahead * ahead + side * side;
    if (dist2 < reach * reach) {
      // Too close for a tangent: turn away hard, positive side turns up.
      if (side > 0)
        Direction += 2.5 * TurnRate * dt;
      else
        Direction -= 2.5 * TurnRate * dt;
    } else {
      const double dist = std::sqrt(dist2);
      const double beta = PortableAtan(side / ahead);
      const double alpha = PortableAsin(reach / dist);
      const double goal = side <= 0 ? Direction - beta - alpha : Direction - beta + alpha;
      TurnTowards(goal, 2 * dt);
    }
  }

  if (X < 0) VelX += 2 * dt;
  if (X > Env->WorldSize) VelX -= 2 * dt;
  if (Y < 0) VelY += 2 * dt;
  if (Y > Env->WorldSize) VelY -= 2 * dt;

  // The heading is final from here on: one cosine and sine for the drift and the step, those of
  // the search when no obstacle turned it.
  double sinFinal = sinD, cosFinal = cosD;
  if (Direction != heading || std::signbit(Direction) != std::signbit(heading))
    PortableSinCos(Direction, sinFinal, cosFinal);
  MaxVelocity = speed / 3;
  VelX += cosFinal * speed * dt / 5;
  VelY += sinFinal * speed * dt / 5;
  if (std::fabs(VelX) > MaxVelocity) VelX = VelX > 0 ? MaxVelocity : -MaxVelocity;
  if (std::fabs(VelY) > MaxVelocity) VelY = VelY > 0 ? MaxVelocity : -MaxVelocity;
  if (VelX > 0)
    VelX -= dt;
  else
    VelX += dt;
  if (VelY > 0)
    VelY -= dt;
  else
    VelY += dt;

  const double own = speed - std::sqrt(VelX * VelX + VelY * VelY);
  const double x = X + (cosFinal * own + VelX) * dt;
  const double y = Y + (sinFinal * own + VelY) * dt;
  MoveTo(x, y);
  list.clear();
}

void TEnvUnit::Step(double dt) {
  const double oldX = X;
  const double oldY = Y;
  Mode->Step(dt);
  if (Mode != IdleMode.get()) Env->AddTrail(oldX, oldY, X, Y);
}
