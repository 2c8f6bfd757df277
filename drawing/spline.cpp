#include "drawing/spline.h"

#include <algorithm>

namespace kw::drawing {
namespace {

// de Boor works on degree + 1 points; a degree above this is no curve a drawing holds.
constexpr int kMaxDegree = 15;

} // namespace

SplineCurve::SplineCurve(const SplineGeometry& spline) : m_spline(spline) {
    const std::size_t n = spline.controlPoints.size();
    const int p = spline.degree;
    m_valid = n >= 2 && p >= 1 && p <= kMaxDegree && n > static_cast<std::size_t>(p) &&
              spline.knots.size() == n + static_cast<std::size_t>(p) + 1 &&
              std::is_sorted(spline.knots.begin(), spline.knots.end());
    // Weights count only when there is one per control point and all are positive; otherwise the
    // spline is drawn as the polynomial one its control points make.
    const auto& w = spline.weights;
    m_rational = w.size() == n &&
                 std::any_of(w.begin(), w.end(), [](double x) { return x != 1.0; }) &&
                 std::all_of(w.begin(), w.end(), [](double x) { return x > 0.0; });
}

const std::vector<Vec3>& SplineCurve::Polygon() const {
    return m_spline.controlPoints.empty() ? m_spline.fitPoints : m_spline.controlPoints;
}

double SplineCurve::SpanHullLength(std::size_t k) const {
    double length = 0.0;
    for (std::size_t j = k - FirstSpan(); j < k; ++j)
        length += Length(m_spline.controlPoints[j + 1] - m_spline.controlPoints[j]);
    return length;
}

Vec3 SplineCurve::At(double t, std::size_t k) const {
    const int p = m_spline.degree;
    double d[kMaxDegree + 1][4];
    for (int j = 0; j <= p; ++j) {
        const std::size_t index = j + k - p;
        const Vec3 c = m_spline.controlPoints[index];
        const double w = m_rational ? m_spline.weights[index] : 1.0;
        d[j][0] = c.x * w;
        d[j][1] = c.y * w;
        d[j][2] = c.z * w;
        d[j][3] = w;
    }
    for (int r = 1; r <= p; ++r) {
        for (int j = p; j >= r; --j) {
            const double left = m_spline.knots[j + k - p];
            const double right = m_spline.knots[j + 1 + k - r];
            const double alpha = right > left ? (t - left) / (right - left) : 0.0;
            for (int q = 0; q < 4; ++q)
                d[j][q] = (1.0 - alpha) * d[j - 1][q] + alpha * d[j][q];
        }
    }
    const double w = d[p][3] != 0.0 ? d[p][3] : 1.0;
    return {d[p][0] / w, d[p][1] / w, d[p][2] / w};
}

} // namespace kw::drawing
