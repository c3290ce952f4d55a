// TSnowCells: the snow table's flakes by square cells of the plain, so that a view's search for
// the flakes near its eye reads the few cells that may hold them instead of the whole table.
// Flakes drift after the cells are made; the cells keep a bound of how far any may have gone and
// widen every cell by it, and are made again once it grows.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "plain_side.h"

// A position on the plain, or a drift along it, of a flake as the snow table keeps it.
struct TPlainVector {
  double X, Y;
};

class TSnowCells {
 public:
  // A flake as the cells hold it: where it was when they were made, near enough to leave most
  // flakes in or out without reading where they are now.
  struct TEntry {
    float X, Y;
    uint32_t Slot, Flake;
  };
  // A flake found near an eye, and its slot.
  struct TFound {
    uint32_t Flake, Slot;
  };

  // Sorts the flakes of the first count slots into cells by their positions; flake gives the
  // index of each. The drifts bound how fast they may move until the cells are made again,
  // together with the winds still to be drawn.
  void Build(const TPlainVector* places, const TPlainVector* drifts, const uint32_t* flake,
             size_t count);
  // The flakes have moved by a step of dt.
  void Moved(double dt);
  // A flake was set or added, or moved to another slot: the cells no longer hold the table.
  void Invalidate() { Valid = false; }
  bool NeedsBuilding() const { return !Valid || !(Slack <= MaxSlack); }
  // Calls visit(entry, sure) for every flake that may lie within the squared distance rangeSq
  // of (x, y) and on the given side of each line, and for some others, never twice; sure is
  // true when the flake does, wherever it has drifted to. x, y and rangeSq are finite.
  template <class TVisit>
  void Visit(double x, double y, double rangeSq, const TPlainSide* sides, size_t sideCount,
             TVisit visit) const {
    for (const TEntry& entry : Elsewhere) visit(entry, false);
    int columns[2], rows[2];
    if (!Span(x, y, rangeSq, columns, rows)) return;
    // How far a flake may be from where its entry says, with the rounding of every sum here;
    // a flake within range or on the right side of a line by more is surely near.
    constexpr size_t MostSides = 8;
    const double error = (Slack + FloatError) * 1.4143 + 1e-6 * (1 + std::sqrt(rangeSq));
    const double range = std::sqrt(rangeSq);
    const double inside = range > error ? (range - error) * (range - error) : -1.0;
    const double outside = (range + error) * (range + error);
    double sideError[MostSides];
    for (size_t s = 0; s < sideCount && s < MostSides; ++s)
      sideError[s] =
          (std::fabs(sides[s].A) + std::fabs(sides[s].B)) * (Slack + FloatError) +
          1e-9 * ((std::fabs(sides[s].A) + std::fabs(sides[s].B)) * Reach + std::fabs(sides[s].C));
    for (int row = rows[0]; row <= rows[1]; ++row)
      for (int column = columns[0]; column <= columns[1]; ++column) {
        const size_t cell =
            static_cast<size_t>(row) * static_cast<size_t>(Columns) + static_cast<size_t>(column);
        if (First[cell] == First[cell + 1] ||
            !MayHold(column, row, x, y, rangeSq, sides, sideCount))
          continue;
        for (uint32_t k = First[cell]; k < First[cell + 1]; ++k) {
          const TEntry& entry = Entries[k];
          const double ex = entry.X, ey = entry.Y;
          const double distanceSq = (ex - x) * (ex - x) + (ey - y) * (ey - y);
          if (distanceSq > outside) continue;
          bool sure = distanceSq < inside && sideCount <= MostSides;
          bool out = false;
          for (size_t s = 0; s < sideCount && s < MostSides; ++s) {
            const double at = sides[s].A * ex + sides[s].B * ey + sides[s].C;
            out = out || at < -sideError[s];
            sure = sure && at > sideError[s];
          }
          if (!out) visit(entry, sure);
        }
      }
  }

 private:
  // How far beyond its sides a cell may hold flakes: their drift since the cells were made, and
  // the rounding of the cells' edges.
  double Pad() const;
  // The columns and rows of the cells that the square around the circle touches; false when
  // there are none.
  bool Span(double x, double y, double rangeSq, int* columns, int* rows) const;
  // False when no flake of the cell may be within range of (x, y) on the right side of the
  // lines.
  bool MayHold(int column, int row, double x, double y, double rangeSq, const TPlainSide* sides,
               size_t sideCount) const;

  static constexpr int Side = 64;  // cells along either axis at most
  double Left = 0, Bottom = 0, Size = 1;
  int Columns = 0, Rows = 0;
  std::vector<uint32_t> First;    // by cell, where its flakes start in Entries; one more at the end
  std::vector<TEntry> Entries;    // cell by cell
  std::vector<TEntry> Elsewhere;  // flakes whose position or drift is not a finite number
  double Reach = 0;               // the largest distance of a flake from 0 along either axis
  double FloatError = 0;          // the most an entry's X or Y is off by as a float
  double Speed = 0;               // the fastest a flake may move along either axis
  double Slack = 0;               // how far any flake may have moved since the cells were made
  double MaxSlack = 0;
  bool Valid = false;
  std::vector<uint32_t> Next;  // Build's, by cell, kept for the next
};
