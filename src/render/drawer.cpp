// The renderer's set-up and tear-down, the scene coordinate map, the projection and the camera:
// its acceleration-limited chase of the followed animal and the choice of the next one.
#include "drawer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "random.h"
#include "species.h"
#include "world.h"

bool PreviewMode = false;

TDrawer::TDrawer(TGLSurface& targetWindow, TEnv& env)
    : TargetWindow(targetWindow),
      Env(env),
      MaxAccel(100.0),
      EyeX(env.WorldSize / 3),
      EyeY(env.WorldSize / 3),
      EyeZ(80.0),
      LookX(env.WorldSize / 2),
      LookY(env.WorldSize / 2),
      LookZ(10.0),
      UpX(0.0),
      UpY(0.0),
      EyeVelX(0.0),
      EyeVelY(0.0),
      EyeVelZ(0.0),
      LookVelX(0.0),
      LookVelY(0.0),
      LookVelZ(0.0) {
  // The clock is written without a background box.
  TargetWindow.Text().SetTransparentBackground(true);

  // The surface was created with the pixel format; drawing without its context would crash.
  if (!TargetWindow.MakeCurrent())
    throw std::runtime_error("the OpenGL context of the window cannot be made current");

  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_NORMALIZE);
  glEnable(GL_COLOR_MATERIAL);

  // Linear fog into the black sky, in scene units: 50 to 750 world units from the eye.
  glEnable(GL_FOG);
  const GLfloat fogColor[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  glFogfv(GL_FOG_COLOR, fogColor);
  glFogi(GL_FOG_MODE, GL_LINEAR);
  glFogf(GL_FOG_START, 0.1f);
  glFogf(GL_FOG_END, 1.5f);

  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);

  // The first projection: the window's resize handler replaces it with 30 degrees later.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const TTextRect rect = TargetWindow.WindowRect();
  const double aspect =
      static_cast<double>(rect.Right - rect.Left) / static_cast<double>(rect.Bottom - rect.Top);
  gluPerspective(PreviewMode ? 30.0 : 150.0, aspect, 0.001, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

TDrawer::~TDrawer() {
  for (const TShapeList& list : ShapeLists) glDeleteLists(list.Name, 1);
  TargetWindow.ReleaseCurrent();
}

double TDrawer::Approach(double dt, double offset, double current, double accel, double gain) {
  const double desired = gain * offset / 3.0;
  const double limit = accel * dt;
  if (limit >= std::fabs(desired - current)) return desired;
  if (desired - current > 0) return current + limit;
  return current - limit;
}

void TDrawer::UpdateCameras(const std::vector<TDrawer*>& views, double dt) {
  for (TDrawer* view : views) {
    std::vector<const TEnvUnit*> taken;
    if (!view->Env.Contains(view->FollowedUnit))
      for (const TDrawer* other : views)
        // A unit no longer in the world is no one's; its address may be a newborn's.
        if (other != view && other->Env.Contains(other->FollowedUnit))
          taken.push_back(other->FollowedUnit.Get());
    view->UpdateCamera(dt, taken);
  }
}

void TDrawer::FollowNextPredators(const std::vector<TDrawer*>& views) {
  std::vector<const TEnvUnit*> taken;
  for (TDrawer* view : views) {
    view->FollowNext(TPredator::ClassInfo, taken);
    if (view->Env.Contains(view->FollowedUnit)) taken.push_back(view->FollowedUnit.Get());
  }
}

void TDrawer::UpdateCamera(double dt, const std::vector<const TEnvUnit*>& taken) {
  if (!Env.Contains(FollowedUnit)) FollowNext(TPredator::ClassInfo, taken);
  // No predator anywhere: the camera holds still until one is born.
  if (!Env.Contains(FollowedUnit)) return;

  const TEnvUnit& p = *FollowedUnit.Get();
  const double a = p.Direction + OrbitAngle;
  const double tx = p.X + std::cos(a) * OrbitDistance;
  const double ty = p.Y + std::sin(a) * OrbitDistance;

  EyeVelX = Approach(dt, tx - EyeX, EyeVelX, MaxAccel, 1.0);
  EyeVelY = Approach(dt, ty - EyeY, EyeVelY, MaxAccel, 1.0);
  // The faster the eye travels, the higher it rises: 20 plus a tenth of its plain speed.
  EyeVelZ = Approach(dt, (std::sqrt(EyeVelX * EyeVelX + EyeVelY * EyeVelY) / 10.0 + 20.0) - EyeZ,
                     EyeVelZ, MaxAccel, 1.0);
  LookVelX = Approach(dt, p.X - LookX, LookVelX, 7.0 * MaxAccel, 7.0);
  LookVelY = Approach(dt, p.Y - LookY, LookVelY, 7.0 * MaxAccel, 7.0);
  LookVelZ = Approach(dt, 15.0 - LookZ, LookVelZ, 7.0 * MaxAccel, 7.0);

  EyeX += EyeVelX * dt;
  EyeY += EyeVelY * dt;
  EyeZ += EyeVelZ * dt;
  LookX += LookVelX * dt;
  LookY += LookVelY * dt;
  LookZ += LookVelZ * dt;

  UpX = EyeX;
  UpY = EyeY;
}

void TDrawer::FollowNext(const TUnitClass& cls, const std::vector<const TEnvUnit*>& taken) {
  const auto& units = Env.Units;
  const size_t count = units.size();
  bool passTaken = !taken.empty();
  // Scans from slot `from` for a unit of cls (not taken while passTaken); count when none.
  auto firstOfClass = [&](size_t from) {
    for (size_t i = from; i < count; ++i)
      if (units[i] && units[i]->InheritsFrom(cls) &&
          !(passTaken && std::find(taken.begin(), taken.end(), units[i].get()) != taken.end()))
        return i;
    return count;
  };
  // The next in list order after the followed unit, wrapping round; the first without one.
  auto nextOfClass = [&] {
    if (!Env.Contains(FollowedUnit)) return firstOfClass(0);
    size_t k = 0;
    while (k < count && !FollowedUnit.Is(units[k].get())) ++k;
    const size_t after = firstOfClass(k + 1);
    return after < count ? after : firstOfClass(0);
  };

  size_t next = nextOfClass();
  if (next == count && passTaken) {
    // Too few: the views share.
    passTaken = false;
    next = nextOfClass();
  }

  if (next < count)
    FollowedUnit = units[next].get();
  else if (!Env.Contains(FollowedUnit))
    FollowedUnit = TUnitRef();  // nothing of cls in the world: no followed unit until there is

  OrbitAngle = Pi * Random() + Pi / 2;
}

void TDrawer::Resize(int width, int height) {
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(30.0, static_cast<double>(width) / static_cast<double>(height), 0.001, 1000.0);
  glMatrixMode(GL_MODELVIEW);
}

void TDrawer::UseSwitches(const bool* showTrail, const bool* showTime) {
  ShowTrail = showTrail ? showTrail : &DefaultSwitch;
  ShowTime = showTime ? showTime : &DefaultSwitch;
}
