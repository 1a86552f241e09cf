// Cubic outline segments (CFF/OpenType faces) as the quadratic segments native outlines
// carry.
#pragma once

#include <vector>

namespace gdi {

struct OutlinePoint {
    double x, y;
};

// A quadratic segment: its control point and its end (it starts where the one before ends).
struct QuadraticPiece {
    OutlinePoint control, end;
};

// Largest distance allowed between a cubic and its quadratic pieces, in font units.
constexpr double kCubicTolerance = 0.25;

// The cubic p0, c1, c2, p3 as n quadratic pieces of equal parameter length, each with the
// control that best matches the piece's end tangents (the mean of the two candidates). Each
// piece is within |p3 - 3c2 + 3c1 - p0| * √3/36 / n³ of the cubic; n is the smallest count
// (at most 64) that brings that within kCubicTolerance.
std::vector<QuadraticPiece> CubicToQuadratics(OutlinePoint p0, OutlinePoint c1, OutlinePoint c2, OutlinePoint p3);

}  // namespace gdi
