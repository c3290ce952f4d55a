// TSnowCells: the snow table's flakes by square cells of the plain, so that a view's search for
// the flakes near its eye reads the few cells that may hold them instead of the whole table.
// Flakes drift after the cells are made; the cells keep a bound of how far any may have gone and
// widen every cell by it, and are made again once it grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plain_side.h"

class TSnowCells {
 public:
  // Sorts the first count flakes into cells by their positions; the drifts bound how fast they
  // may move until the cells are made again, together with the winds still to be drawn.
  void Build(const double* x, const double* y, const double* driftX, const double* driftY,
             size_t count);
  // The flakes have moved by a step of dt.
  void Moved(double dt);
  // A flake was set or added: the cells no longer hold the table.
  void Invalidate() { Valid = false; }
  bool NeedsBuilding() const { return !Valid || !(Slack <= MaxSlack); }
  // Calls visit(i) for every flake that may lie within the squared distance rangeSq of (x, y)
  // and on the given side of each line, and for some others, never twice; x, y and rangeSq are
  // finite.
  template <class TVisit>
  void Visit(double x, double y, double rangeSq, const TPlainSide* sides, size_t sideCount,
             TVisit visit) const {
    for (uint32_t i : Elsewhere) visit(i);
    int columns[2], rows[2];
    if (!Span(x, y, rangeSq, columns, rows)) return;
    for (int row = rows[0]; row <= rows[1]; ++row)
      for (int column = columns[0]; column <= columns[1]; ++column) {
        const size_t cell = static_cast<size_t>(row) * static_cast<size_t>(Columns) +
                            static_cast<size_t>(column);
        if (First[cell] == First[cell + 1] ||
            !MayHold(column, row, x, y, rangeSq, sides, sideCount))
          continue;
        for (uint32_t k = First[cell]; k < First[cell + 1]; ++k) visit(Flakes[k]);
      }
  }

 private:
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
  std::vector<uint32_t> First;      // by cell, where its flakes start in Flakes; one more at the end
  std::vector<uint32_t> Flakes;     // cell by cell, each cell's flakes in index order
  std::vector<uint32_t> Elsewhere;  // flakes whose position or drift is not a finite number
  double Speed = 0;                 // the fastest a flake may move along either axis
  double Slack = 0;                 // how far any flake may have moved since the cells were made
  double MaxSlack = 0;
  bool Valid = false;
};
