#pragma once

// A B-spline's curve, evaluated by de Boor's algorithm in homogeneous coordinates, so that rational
// splines come out right. What a file gives need not describe a curve (a degree out of range, a
// knot vector of the wrong length or out of order): such a spline is not valid, and its control
// polygon — or, without control points, its fit points — stands for it wherever it is drawn,
// measured or picked.

#include <cstddef>
#include <vector>

#include "drawing/entities.h"

namespace kw::drawing {

class SplineCurve {
public:
    explicit SplineCurve(const SplineGeometry& spline);

    bool Valid() const { return m_valid; }
    // The points that stand for the spline when it is not valid.
    const std::vector<Vec3>& Polygon() const;

    // The knot spans k of the curve are FirstSpan() <= k < EndSpan(), each from Knot(k) to
    // Knot(k + 1); a span of zero length has no points of its own. Valid splines only.
    std::size_t FirstSpan() const { return static_cast<std::size_t>(m_spline.degree); }
    std::size_t EndSpan() const { return m_spline.controlPoints.size(); }
    double Knot(std::size_t i) const { return m_spline.knots[i]; }
    // The length of the control polygon over span k: a measure of how finely to sample it.
    double SpanHullLength(std::size_t k) const;

    // The point at parameter t of span k (Knot(k) <= t <= Knot(k + 1)).
    Vec3 At(double t, std::size_t k) const;

private:
    const SplineGeometry& m_spline;
    bool m_valid = false;
    bool m_rational = false;
};

} // namespace kw::drawing
