// TPlainSide: one side of a line on the plain, the shape in which a view tells the snow table
// where it may look.
#pragma once

// Where A * x + B * y + C >= 0, x and y in world units.
struct TPlainSide {
  double A, B, C;
};
