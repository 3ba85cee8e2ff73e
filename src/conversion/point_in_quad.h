#pragma once

#include <cstdint>

namespace mosaikon {

// The winding test of the full conversion, in single precision: its roundings decide which grid
// points on the slanted edge of a quadrilateral count as covered, so they are kept exactly.

float DotAt(float x1, float y1, float x2, float y2, float x3, float y3);
float CrossAt(float x1, float y1, float x2, float y2, float x3, float y3);
// The angle whose tangent is y / x, in the quadrant of (x, y); a zero vector gives pi / 2.
float ArcTan2(float y, float x);
// The signed angle at (x2, y2) from the direction of (x1, y1) to that of (x3, y3).
float AngleAt(float x1, float y1, float x2, float y2, float x3, float y3);

inline constexpr double kWideMargin = 0.5;   // which grid points a candidate touches
inline constexpr double kTightMargin = 0.1;  // which grid points a placed quadrilateral covers

// A quadrilateral grown outwards by a margin, its corners rounded to single precision, in the
// order top-left, top-right, bottom-right, bottom-left.
struct GrownQuad {
    float x[4];
    float y[4];
};

// Corners are given in the walk order top-left, top-right, bottom-right, bottom-left.
GrownQuad GrowQuad(const double cornerX[4], const double cornerY[4], double margin);

// The angle-sum test of a point against a grown quadrilateral.
bool InsideGrown(const GrownQuad& quad, std::int16_t col, std::int16_t row);

bool PointInQuad(std::int16_t col, std::int16_t row, const double cornerX[4],
                 const double cornerY[4], double margin);

}  // namespace mosaikon
