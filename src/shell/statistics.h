// The statistics caption of the main window: frame rate, cost per unit and the share of drawing
// against simulation over the last interval, as a code-page-1251 string. A figure that cannot be
// computed (no frames, no units, no measured time) shows as "-", never as nan or inf.
#pragma once

#include <cstdint>
#include <string>

// The caption is refreshed on the first tick more than this many seconds after the last refresh.
constexpr double StatisticsInterval = 0.5;

// What one interval measured.
struct TFrameStatistics {
  int32_t FrameCount = 0;  // frames presented in the interval
  double RateElapsed = 0;  // seconds since the last refresh, read for the frame rate
  double CostElapsed = 0;  // the same, read again for the cost per unit
  int32_t Units = 0;       // units in the world (trees and animals)
  double DrawTime = 0;     // seconds in camera update and rendering
  double CalcTime = 0;     // seconds in world steps
};

// Whether a refresh is due: strictly more than StatisticsInterval since statTime.
bool StatisticsDue(double statTime, double now);

// value rounded to the nearest 64-bit integer, halves to the even neighbour; false when value is
// not finite or out of range.
bool RoundHalfEven(double value, int64_t& result);

// value as a plain decimal number with at most 15 significant digits: trailing zeros dropped, no
// separator for whole values, never an exponent.
std::string PlainNumber(double value, char decimalSeparator);

// The eleven pieces, "FPS: 62.5   Units: 323   0.049мс/юнит   Draw: 97%   Calc: 3%" in
// code page 1251.
std::string StatisticsCaption(const TFrameStatistics& stats, char decimalSeparator);
