// The input rules of the main window for both kinds of start.
#include "input_rules.h"

#include <cstdlib>

TMouseMoveOutcome MouseMoveOutcome(bool argumentMode, TPoint stored, TPoint current) {
  TMouseMoveOutcome outcome;
  if (argumentMode) {
    // Measured from the stored position, which never moves: a slow drift adds up.
    const int64_t dx = std::llabs(static_cast<int64_t>(current.X) - stored.X);
    const int64_t dy = std::llabs(static_cast<int64_t>(current.Y) - stored.Y);
    outcome.Close = dx > MouseTolerance || dy > MouseTolerance;
  } else {
    // Moving right turns the camera the other way round the animal.
    outcome.AngleChange =
        (static_cast<double>(stored.X) - static_cast<double>(current.X)) / MouseTurnRate;
    outcome.StorePosition = true;
  }
  return outcome;
}

TInputAction MouseDownAction(bool argumentMode) {
  return argumentMode ? TInputAction::Close : TInputAction::FollowNext;
}

TInputAction KeyDownAction(bool argumentMode, uint16_t key) {
  return argumentMode && key != VK::Space ? TInputAction::Close : TInputAction::Nothing;
}

TInputAction KeyPressAction(char key) {
  return key == 27 ? TInputAction::Close : TInputAction::FollowNext;
}
