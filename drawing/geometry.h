#pragma once

// Plain 3D geometry for drawings: points, boxes, affine transforms and the DXF object coordinate
// system (OCS). Coordinates are drawing units; angles are radians unless a name says Deg.

#include <algorithm>
#include <cmath>
#include <limits>

namespace kw::drawing {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    friend Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    friend Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    friend Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
    friend Vec3 operator*(double s, Vec3 a) { return {a.x * s, a.y * s, a.z * s}; }
    bool operator==(const Vec3&) const = default;
};

inline double Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(Vec3 a) {
    return std::sqrt(Dot(a, a));
}
// The unit vector along a; a zero vector stays zero.
inline Vec3 Normalized(Vec3 a) {
    const double length = Length(a);
    return length > 0.0 ? a * (1.0 / length) : a;
}

// An axis-aligned box. A default box is empty (min > max) and absorbs whatever is added to it.
struct Box {
    Vec3 min{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
             std::numeric_limits<double>::infinity()};
    Vec3 max{-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
             -std::numeric_limits<double>::infinity()};

    bool IsEmpty() const { return !(min.x <= max.x); }
    void Add(Vec3 p) {
        min = {std::fmin(min.x, p.x), std::fmin(min.y, p.y), std::fmin(min.z, p.z)};
        max = {std::fmax(max.x, p.x), std::fmax(max.y, p.y), std::fmax(max.z, p.z)};
    }
    void Add(const Box& other) {
        if (!other.IsEmpty()) {
            Add(other.min);
            Add(other.max);
        }
    }
    bool operator==(const Box&) const = default;
};

// An affine transform p' = L p + t, stored row-major as three rows of (L | t).
struct Transform {
    double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

    static Transform Identity() { return {}; }
    static Transform Translation(Vec3 t);
    static Transform Scaling(Vec3 s);
    static Transform RotationZ(double radians);
    // Columns are the images of the x, y and z axes; origin is the image of (0, 0, 0).
    static Transform FromAxes(Vec3 xAxis, Vec3 yAxis, Vec3 zAxis, Vec3 origin = {});

    Vec3 Apply(Vec3 p) const {
        return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
                m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
                m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
    }
    // Applies the linear part only (directions, axis vectors).
    Vec3 ApplyVector(Vec3 v) const {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
                m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
    // this ∘ other: applies other first.
    Transform operator*(const Transform& other) const;
};

// The OCS → WCS rotation of an extrusion direction by the DXF arbitrary axis algorithm. Identity
// for (0, 0, 1) and for a zero vector.
Transform OcsToWcs(Vec3 extrusion);

inline constexpr double kPi = 3.14159265358979323846;
inline double DegToRad(double degrees) {
    return degrees * (kPi / 180.0);
}

// An angle (radians) as it can be computed with: itself where it is of a sane size, else the same
// direction within one turn (a sine of 1e300 radians is noise); 0 for infinity and NaN.
inline double TurnAngle(double a) {
    constexpr double kTurn = 2.0 * kPi;
    if (std::fabs(a) <= 1e3 * kTurn) {
        return a;
    }
    return std::isfinite(a) ? std::fmod(a, kTurn) : 0.0;
}

// The sweep from angle a0 to a1 (radians) in the given direction: in (0, 2π] counter-clockwise,
// in [-2π, 0) clockwise; equal angles make a full turn, and more than a turn is one turn. Angles
// as a damaged file may hold them (huge, infinite, NaN) give a full turn, never a loop of turns.
inline double ArcSweep(double a0, double a1, bool counterClockwise) {
    constexpr double kTurn = 2.0 * kPi;
    double sweep = counterClockwise ? a1 - a0 : a0 - a1;
    if (sweep <= 0.0) {
        sweep += kTurn * std::ceil(-sweep / kTurn);
    }
    if (!(sweep > 0.0) || sweep > kTurn) { // NaN too
        sweep = kTurn;
    }
    return counterClockwise ? sweep : -sweep;
}

// Liang-Barsky: narrows [t0, t1] to the part of the line (x, y) + t·(dx, dy) that lies in the
// rectangle [minX, maxX] × [minY, maxY], its edges included; false when no part of it does. An
// endless line passes infinite bounds.
inline bool ClipToRectangle(double x, double y, double dx, double dy, double minX, double minY,
                            double maxX, double maxY, double& t0, double& t1) {
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x - minX, maxX - x, y - minY, maxY - y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false; // parallel to this edge, outside it
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    return true;
}

} // namespace kw::drawing
