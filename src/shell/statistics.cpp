// The statistics caption: rounding, number formatting and the eleven pieces.
#include "statistics.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "clock.h"

namespace {

// "мс/юнит" (milliseconds per unit) in code page 1251.
constexpr char UnitLabel[] = "\xEC\xF1/\xFE\xED\xE8\xF2";

// round(value) / divisor written plainly, or "-" when value cannot be computed.
std::string Rounded(double value, double divisor, char separator) {
  int64_t rounded = 0;
  if (!RoundHalfEven(value, rounded)) return "-";
  return PlainNumber(static_cast<double>(rounded) / divisor, separator);
}

}  // namespace

bool StatisticsDue(double statTime, double now) {
  return ElapsedSeconds(statTime, now) > StatisticsInterval;
}

bool RoundHalfEven(double value, int64_t& result) {
  if (!std::isfinite(value)) return false;
  // The default rounding mode rounds halves to even.
  const double rounded = std::nearbyint(value);
  if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0) return false;
  result = static_cast<int64_t>(rounded);
  return true;
}

std::string PlainNumber(double value, char decimalSeparator) {
  if (!std::isfinite(value)) return "-";
  if (value == 0) return "0";
  // 15 significant digits, then placed by the exponent.
  char text[40];
  std::snprintf(text, sizeof text, "%.14e", value);
  std::string out;
  const char* p = text;
  if (*p == '-') {
    out += '-';
    ++p;
  }
  std::string digits;
  for (; *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  const int exponent = std::atoi(p + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int count = static_cast<int>(digits.size());
  if (exponent >= count - 1) {
    out += digits;
    out.append(static_cast<size_t>(exponent - (count - 1)), '0');
  } else if (exponent >= 0) {
    out += digits.substr(0, static_cast<size_t>(exponent + 1));
    out += decimalSeparator;
    out += digits.substr(static_cast<size_t>(exponent + 1));
  } else {
    out += '0';
    out += decimalSeparator;
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  }
  return out;
}

std::string StatisticsCaption(const TFrameStatistics& stats, char decimalSeparator) {
  const double frames = stats.FrameCount;
  const double total = stats.CalcTime + stats.DrawTime;
  std::string caption = "FPS: ";
  caption += Rounded(frames * 100 / stats.RateElapsed, 100, decimalSeparator);
  caption += "   Units: ";
  caption += std::to_string(stats.Units);
  caption += "   ";
  caption += Rounded(stats.CostElapsed * 1000000 / frames / stats.Units, 1000, decimalSeparator);
  caption += UnitLabel;
  caption += "   Draw: ";
  caption += Rounded(stats.DrawTime / total * 100, 1, decimalSeparator);
  caption += "%   Calc: ";
  caption += Rounded(stats.CalcTime / total * 100, 1, decimalSeparator);
  caption += "%";
  return caption;
}
