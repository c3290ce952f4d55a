// The views of the full-screen run and the pace of its frames: which part of the window each
// monitor shows, and when the next frame is due when the driver does not wait for the display.
// Pure decisions on plain numbers, so every monitor layout can be tested without a display.
#pragma once

#include <vector>

#include "energy.h"
#include "forms.h"

// The views of a window at window (screen pixels) over the given monitors (screen pixels): each
// monitor's part of the window, in the window's own pixels from its top-left corner, in the
// monitors' order. Monitors that miss the window, or show what an earlier one shows (mirrored
// outputs), get no view; a window that no monitor meets gets one view over all of it.
std::vector<TScreenRect> LayoutViews(const std::vector<TScreenRect>& monitors,
                                     const TScreenRect& window);

// The smallest rectangle around every monitor: the virtual screen. Empty without monitors.
TScreenRect VirtualScreen(const std::vector<TScreenRect>& monitors);

// Frames at a steady rate on a timer of whole milliseconds: the frame due times are kept in
// exact seconds, so the rounding of one wait is made up by the next and the rate comes out
// right on average. A frame that comes more than a whole period late starts the count afresh
// instead of hurrying to catch up.
class TFramePacer {
 public:
  // Frames per second; DefaultFrameRate when the display does not say (0 or less).
  explicit TFramePacer(double rate = 0);
  double Rate() const { return 1.0 / Period; }
  // A frame starts at now (seconds of a monotonic clock): the milliseconds, rounded up, until
  // the next one is due; at least 1.
  int FrameStarted(double now);

 private:
  double Period;     // seconds
  double Next = -1;  // when the next frame is due, seconds; none yet
};
