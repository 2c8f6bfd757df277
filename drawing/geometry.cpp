#include "drawing/geometry.h"

namespace kw::drawing {

Transform Transform::Translation(Vec3 t) {
    Transform r;
    r.m[0][3] = t.x;
    r.m[1][3] = t.y;
    r.m[2][3] = t.z;
    return r;
}

Transform Transform::Scaling(Vec3 s) {
    Transform r;
    r.m[0][0] = s.x;
    r.m[1][1] = s.y;
    r.m[2][2] = s.z;
    return r;
}

Transform Transform::RotationZ(double radians) {
    Transform r;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    r.m[0][0] = c;
    r.m[0][1] = -s;
    r.m[1][0] = s;
    r.m[1][1] = c;
    return r;
}

Transform Transform::FromAxes(Vec3 xAxis, Vec3 yAxis, Vec3 zAxis, Vec3 origin) {
    Transform r;
    const Vec3 axes[3] = {xAxis, yAxis, zAxis};
    for (int c = 0; c < 3; ++c) {
        r.m[0][c] = axes[c].x;
        r.m[1][c] = axes[c].y;
        r.m[2][c] = axes[c].z;
    }
    r.m[0][3] = origin.x;
    r.m[1][3] = origin.y;
    r.m[2][3] = origin.z;
    return r;
}

Transform Transform::operator*(const Transform& o) const {
    Transform r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            double v = m[i][0] * o.m[0][j] + m[i][1] * o.m[1][j] + m[i][2] * o.m[2][j];
            if (j == 3)
                v += m[i][3];
            r.m[i][j] = v;
        }
    }
    return r;
}

Transform OcsToWcs(Vec3 extrusion) {
    const Vec3 az = Normalized(extrusion);
    if (Length(az) == 0.0 || (az.x == 0.0 && az.y == 0.0 && az.z > 0.0))
        return Transform::Identity();
    // The arbitrary axis algorithm of the DXF reference: near the world z axis take world y.
    constexpr double kLimit = 1.0 / 64.0;
    const Vec3 ax =
        Normalized(std::fabs(az.x) < kLimit && std::fabs(az.y) < kLimit ? Cross(Vec3{0, 1, 0}, az)
                                                                        : Cross(Vec3{0, 0, 1}, az));
    const Vec3 ay = Normalized(Cross(az, ax));
    return Transform::FromAxes(ax, ay, az);
}

} // namespace kw::drawing
