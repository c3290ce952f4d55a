// What mouse and keyboard input asks of the main window. The rules depend on one fact: whether
// the program was started with arguments (the host's modes) or without (a user's run).
#pragma once

#include <cstdint>

#include "forms.h"

// Pixels of cursor travel on either axis that the host's modes tolerate before closing.
constexpr int32_t MouseTolerance = 5;
// Pixels of horizontal cursor travel per radian of camera turn in a user's run.
constexpr double MouseTurnRate = 60.0;

enum class TInputAction {
  Nothing,
  Close,       // ask the main window to close
  FollowNext,  // switch the camera to the next predator
};

// More than zero arguments is an argument mode.
inline bool IsArgumentMode(int paramCount) {
  return paramCount > 0;
}

struct TMouseMoveOutcome {
  bool Close = false;
  double AngleChange = 0.0;    // radians to add to the camera's orbit angle
  bool StorePosition = false;  // whether the current position becomes the stored one
};

// stored is the cursor position the window keeps, current the position read now.
TMouseMoveOutcome MouseMoveOutcome(bool argumentMode, TPoint stored, TPoint current);
// Any button.
TInputAction MouseDownAction(bool argumentMode);
// key is a virtual-key code.
TInputAction KeyDownAction(bool argumentMode, uint16_t key);
// The same in every mode.
TInputAction KeyPressAction(char key);
