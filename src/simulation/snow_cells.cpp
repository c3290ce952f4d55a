// The snow table's cells: a counting sort of the flakes by cell, and the test that leaves out a
// cell no flake of which can be near an eye. Every test errs on the side of reading a cell.
#include "snow_cells.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool Finite(double a, double b, double c, double d) {
  return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

}  // namespace

void TSnowCells::Build(const TPlainVector* places, const TPlainVector* drifts,
                       const uint32_t* flake, size_t count) {
  auto finite = [&](size_t s) {
    return Finite(places[s].X, places[s].Y, drifts[s].X, drifts[s].Y);
  };
  Elsewhere.clear();
  double minX = std::numeric_limits<double>::infinity(), maxX = -minX;
  double minY = minX, maxY = maxX;
  // A wind drawn later is below 2.5 either way.
  double speed = 2.5;
  auto entry = [&](size_t s) {
    return TEntry{static_cast<float>(places[s].X), static_cast<float>(places[s].Y),
                  static_cast<uint32_t>(s), flake[s]};
  };
  for (size_t s = 0; s < count; ++s) {
    if (!finite(s)) {
      Elsewhere.push_back(entry(s));
      continue;
    }
    minX = std::min(minX, places[s].X);
    maxX = std::max(maxX, places[s].X);
    minY = std::min(minY, places[s].Y);
    maxY = std::max(maxY, places[s].Y);
    speed = std::max({speed, std::fabs(drifts[s].X), std::fabs(drifts[s].Y)});
  }
  Columns = Rows = 0;
  First.assign(1, 0);
  Entries.clear();
  Reach = FloatError = 0;
  if (Elsewhere.size() < count) {
    Left = minX;
    Bottom = minY;
    Size = std::max(maxX - minX, maxY - minY) / Side;
    if (!(Size > 0) || !std::isfinite(Size)) Size = 1;
    Columns = std::min(Side, static_cast<int>((maxX - minX) / Size) + 1);
    Rows = std::min(Side, static_cast<int>((maxY - minY) / Size) + 1);
    Reach = std::max({std::fabs(minX), std::fabs(maxX), std::fabs(minY), std::fabs(maxY)});
    // A float keeps 24 bits: rounding to it moves a number by at most 2^-24 of its size.
    FloatError = Reach / (1 << 23);
    const size_t cells = static_cast<size_t>(Columns) * static_cast<size_t>(Rows);
    auto cellOf = [&](size_t s) {
      const int column = std::min(Columns - 1, static_cast<int>((places[s].X - Left) / Size));
      const int row = std::min(Rows - 1, static_cast<int>((places[s].Y - Bottom) / Size));
      return static_cast<size_t>(row) * static_cast<size_t>(Columns) + static_cast<size_t>(column);
    };
    // Count, then place each flake after the earlier flakes of its cell.
    First.assign(cells + 1, 0);
    for (size_t s = 0; s < count; ++s)
      if (finite(s)) ++First[cellOf(s) + 1];
    for (size_t cell = 0; cell < cells; ++cell) First[cell + 1] += First[cell];
    Entries.resize(First[cells]);
    Next.assign(First.begin(), First.end() - 1);
    for (size_t s = 0; s < count; ++s)
      if (finite(s)) Entries[Next[cellOf(s)]++] = entry(s);
  }
  Speed = speed;
  Slack = 0;
  MaxSlack = Size / 8;
  Valid = true;
}

void TSnowCells::Moved(double dt) {
  Slack += Speed * std::fabs(dt);
}

namespace {

// A margin for the rounding of sums of numbers up to the given size, far above it.
double RoundingMargin(double magnitude) {
  return 1e-9 * magnitude;
}

}  // namespace

double TSnowCells::Pad() const {
  return Slack + Size * 1e-6 + RoundingMargin(std::fabs(Left) + std::fabs(Bottom));
}

bool TSnowCells::Span(double x, double y, double rangeSq, int* columns, int* rows) const {
  if (Columns == 0) return false;
  const double pad = Pad();
  const double reach = std::sqrt(rangeSq) * (1 + 1e-9) + pad;
  // Whole cell numbers, kept within the grid before they become integers.
  auto cell = [&](double at, double origin, int cells) {
    const double n = std::floor((at - origin) / Size);
    return static_cast<int>(std::max(-1.0, std::min(n, static_cast<double>(cells))));
  };
  columns[0] = std::max(0, cell(x - reach, Left, Columns));
  columns[1] = std::min(Columns - 1, cell(x + reach, Left, Columns));
  rows[0] = std::max(0, cell(y - reach, Bottom, Rows));
  rows[1] = std::min(Rows - 1, cell(y + reach, Bottom, Rows));
  return columns[0] <= columns[1] && rows[0] <= rows[1];
}

bool TSnowCells::MayHold(int column, int row, double x, double y, double rangeSq,
                         const TPlainSide* sides, size_t sideCount) const {
  const double pad = Pad();
  const double x0 = Left + column * Size - pad, x1 = Left + (column + 1) * Size + pad;
  const double y0 = Bottom + row * Size - pad, y1 = Bottom + (row + 1) * Size + pad;
  const double dx = std::max({x0 - x, 0.0, x - x1}), dy = std::max({y0 - y, 0.0, y - y1});
  if (dx * dx + dy * dy > rangeSq * (1 + 1e-9)) return false;
  // A line leaves a cell wholly on its wrong side when every corner is, the nearest corner by
  // more than the rounding of its value.
  const double farX = std::max(std::fabs(x0), std::fabs(x1));
  const double farY = std::max(std::fabs(y0), std::fabs(y1));
  for (size_t s = 0; s < sideCount; ++s) {
    const TPlainSide& side = sides[s];
    const double best = std::max(side.A * x0, side.A * x1) + std::max(side.B * y0, side.B * y1);
    const double margin =
        RoundingMargin(std::fabs(side.A) * farX + std::fabs(side.B) * farY + std::fabs(side.C));
    if (best + side.C < -margin) return false;
  }
  return true;
}
