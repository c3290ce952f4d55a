// The monitor layout of the full-screen window and the frame pacer.
#include "views.h"

#include <algorithm>
#include <cmath>

namespace {

bool SameRect(const TScreenRect& a, const TScreenRect& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Width == b.Width && a.Height == b.Height;
}

// The common part of a and b; Width or Height is 0 or less when they do not meet.
TScreenRect Intersection(const TScreenRect& a, const TScreenRect& b) {
  const int left = std::max(a.Left, b.Left);
  const int top = std::max(a.Top, b.Top);
  const int right = std::min(a.Left + a.Width, b.Left + b.Width);
  const int bottom = std::min(a.Top + a.Height, b.Top + b.Height);
  return TScreenRect{left, top, right - left, bottom - top};
}

}  // namespace

std::vector<TScreenRect> LayoutViews(const std::vector<TScreenRect>& monitors,
                                     const TScreenRect& window) {
  std::vector<TScreenRect> views;
  for (const TScreenRect& monitor : monitors) {
    TScreenRect part = Intersection(monitor, window);
    if (part.Width <= 0 || part.Height <= 0) continue;
    part.Left -= window.Left;
    part.Top -= window.Top;
    const bool shown = std::any_of(views.begin(), views.end(),
                                   [&](const TScreenRect& view) { return SameRect(view, part); });
    if (!shown) views.push_back(part);
  }
  if (views.empty()) views.push_back(TScreenRect{0, 0, window.Width, window.Height});
  return views;
}

TScreenRect VirtualScreen(const std::vector<TScreenRect>& monitors) {
  if (monitors.empty()) return TScreenRect{};
  int left = monitors[0].Left, top = monitors[0].Top;
  int right = left + monitors[0].Width, bottom = top + monitors[0].Height;
  for (const TScreenRect& m : monitors) {
    left = std::min(left, m.Left);
    top = std::min(top, m.Top);
    right = std::max(right, m.Left + m.Width);
    bottom = std::max(bottom, m.Top + m.Height);
  }
  return TScreenRect{left, top, right - left, bottom - top};
}

TFramePacer::TFramePacer(double rate) : Period(1.0 / (rate > 0 ? rate : DefaultFrameRate)) {}

int TFramePacer::FrameStarted(double now) {
  if (Next < 0 || now - Next > Period)
    Next = now + Period;
  else
    Next += Period;
  // Never 0: a timer of interval 0 is switched off, and the frames would stop for good.
  return std::max(1, static_cast<int>(std::ceil((Next - now) * 1000.0 - 1e-9)));
}
