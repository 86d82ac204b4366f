#include "coverflow/QXTransform3D.h"

#include <QStringList>

#include <cmath>
#include <cstring>
#include <functional>

QXTransform3D QXTransform3D::makeTranslation(double tx, double ty, double tz) {
    QXTransform3D t;
    t.m[3][0] = tx;
    t.m[3][1] = ty;
    t.m[3][2] = tz;
    return t;
}

QXTransform3D QXTransform3D::makeScale(double sx, double sy, double sz) {
    QXTransform3D t;
    t.m[0][0] = sx;
    t.m[1][1] = sy;
    t.m[2][2] = sz;
    return t;
}

QXTransform3D QXTransform3D::makeRotation(double angle, double x, double y, double z) {
    const double length = std::sqrt(x * x + y * y + z * z);
    if (length == 0)
        return {};
    x /= length;
    y /= length;
    z /= length;
    const double c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    QXTransform3D t;
    // The transpose of the column-vector rotation, for row vectors.
    t.m[0][0] = c + x * x * k;
    t.m[0][1] = y * x * k + z * s;
    t.m[0][2] = z * x * k - y * s;
    t.m[1][0] = x * y * k - z * s;
    t.m[1][1] = c + y * y * k;
    t.m[1][2] = z * y * k + x * s;
    t.m[2][0] = x * z * k + y * s;
    t.m[2][1] = y * z * k - x * s;
    t.m[2][2] = c + z * z * k;
    return t;
}

QXTransform3D QXTransform3D::makePerspective(double eyeDistance) {
    QXTransform3D t;
    if (eyeDistance != 0)
        t.m[2][3] = -1 / eyeDistance;
    return t;
}

QXTransform3D QXTransform3D::fromAffine(const QTransform& a) {
    QXTransform3D t;
    t.m[0][0] = a.m11();
    t.m[0][1] = a.m12();
    t.m[1][0] = a.m21();
    t.m[1][1] = a.m22();
    t.m[3][0] = a.dx();
    t.m[3][1] = a.dy();
    return t;
}

QXTransform3D QXTransform3D::concat(const QXTransform3D& a, const QXTransform3D& b) {
    QXTransform3D r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a.m[i][k] * b.m[k][j];
            r.m[i][j] = sum;
        }
    return r;
}

bool QXTransform3D::isIdentity() const {
    return *this == QXTransform3D();
}

bool operator==(const QXTransform3D& a, const QXTransform3D& b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (a.m[i][j] != b.m[i][j])
                return false;
    return true;
}

QXVector4 QXTransform3D::map(const QXVector4& p) const {
    return {p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + p.w * m[3][0],
            p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + p.w * m[3][1],
            p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + p.w * m[3][2],
            p.x * m[0][3] + p.y * m[1][3] + p.z * m[2][3] + p.w * m[3][3]};
}

QPointF QXTransform3D::mapPoint(const QPointF& p) const {
    const QXVector4 v = map({p.x(), p.y(), 0, 1});
    if (v.w <= 0)
        return {qInf(), qInf()};
    return {v.x / v.w, v.y / v.w};
}

QTransform QXTransform3D::toQTransform() const {
    // QTransform is row-vector too: rows x, y and the translation, columns x, y and w.
    return QTransform(m[0][0], m[0][1], m[0][3], m[1][0], m[1][1], m[1][3], m[3][0], m[3][1],
                      m[3][3]);
}

QXTransform3D QXTransform3D::flattened() const {
    QXTransform3D t = *this;
    for (auto& row : t.m)
        row[2] = 0;
    return t;
}

namespace {

struct Quaternion {
    double w = 1, x = 0, y = 0, z = 0;
};

struct Decomposed {
    double scale[3];
    Quaternion rotation;
    double translation[3];
};

// Rigid-plus-scale decomposition of an affine transform (skew is not kept).
Decomposed decompose(const QXTransform3D& t) {
    Decomposed d{};
    double r[3][3];
    for (int i = 0; i < 3; ++i) {
        const double len =
            std::sqrt(t.m[i][0] * t.m[i][0] + t.m[i][1] * t.m[i][1] + t.m[i][2] * t.m[i][2]);
        d.scale[i] = len;
        for (int j = 0; j < 3; ++j)
            r[i][j] = len == 0 ? (i == j ? 1 : 0) : t.m[i][j] / len;
        d.translation[i] = t.m[3][i];
    }
    const double det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                       r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                       r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
    if (det < 0) {
        d.scale[0] = -d.scale[0];
        for (int j = 0; j < 3; ++j)
            r[0][j] = -r[0][j];
    }
    // R (column form) is the transpose of the row-vector rows.
    auto R = [&](int i, int j) { return r[j][i]; };
    Quaternion& q = d.rotation;
    const double trace = R(0, 0) + R(1, 1) + R(2, 2);
    if (trace > 0) {
        const double s = 0.5 / std::sqrt(trace + 1);
        q = {0.25 / s, (R(2, 1) - R(1, 2)) * s, (R(0, 2) - R(2, 0)) * s, (R(1, 0) - R(0, 1)) * s};
    } else if (R(0, 0) > R(1, 1) && R(0, 0) > R(2, 2)) {
        const double s = 2 * std::sqrt(1 + R(0, 0) - R(1, 1) - R(2, 2));
        q = {(R(2, 1) - R(1, 2)) / s, 0.25 * s, (R(0, 1) + R(1, 0)) / s, (R(0, 2) + R(2, 0)) / s};
    } else if (R(1, 1) > R(2, 2)) {
        const double s = 2 * std::sqrt(1 + R(1, 1) - R(0, 0) - R(2, 2));
        q = {(R(0, 2) - R(2, 0)) / s, (R(0, 1) + R(1, 0)) / s, 0.25 * s, (R(1, 2) + R(2, 1)) / s};
    } else {
        const double s = 2 * std::sqrt(1 + R(2, 2) - R(0, 0) - R(1, 1));
        q = {(R(1, 0) - R(0, 1)) / s, (R(0, 2) + R(2, 0)) / s, (R(1, 2) + R(2, 1)) / s, 0.25 * s};
    }
    return d;
}

Quaternion slerp(Quaternion a, Quaternion b, double t) {
    double dot = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
    if (dot < 0) {
        b = {-b.w, -b.x, -b.y, -b.z};
        dot = -dot;
    }
    double ka = 1 - t, kb = t;
    if (dot < 0.9995) {
        const double theta = std::acos(dot);
        const double sinTheta = std::sin(theta);
        ka = std::sin((1 - t) * theta) / sinTheta;
        kb = std::sin(t * theta) / sinTheta;
    }
    Quaternion q{ka * a.w + kb * b.w, ka * a.x + kb * b.x, ka * a.y + kb * b.y,
                 ka * a.z + kb * b.z};
    const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    return {q.w / n, q.x / n, q.y / n, q.z / n};
}

QXTransform3D recompose(const Decomposed& d) {
    const Quaternion& q = d.rotation;
    // Column-form rotation from the quaternion, stored transposed for row vectors.
    const double R[3][3] = {
        {1 - 2 * (q.y * q.y + q.z * q.z), 2 * (q.x * q.y - q.z * q.w), 2 * (q.x * q.z + q.y * q.w)},
        {2 * (q.x * q.y + q.z * q.w), 1 - 2 * (q.x * q.x + q.z * q.z), 2 * (q.y * q.z - q.x * q.w)},
        {2 * (q.x * q.z - q.y * q.w), 2 * (q.y * q.z + q.x * q.w),
         1 - 2 * (q.x * q.x + q.y * q.y)}};
    QXTransform3D t;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            t.m[i][j] = R[j][i] * d.scale[i];
        t.m[3][i] = d.translation[i];
    }
    return t;
}

} // namespace

QXTransform3D QXTransform3D::interpolate(const QXTransform3D& from, const QXTransform3D& to,
                                         double t) {
    if (t <= 0)
        return from;
    if (t >= 1)
        return to;
    if (!from.isAffine() || !to.isAffine()) {
        QXTransform3D r;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                r.m[i][j] = from.m[i][j] + (to.m[i][j] - from.m[i][j]) * t;
        return r;
    }
    const Decomposed a = decompose(from), b = decompose(to);
    Decomposed r{};
    for (int i = 0; i < 3; ++i) {
        r.scale[i] = a.scale[i] + (b.scale[i] - a.scale[i]) * t;
        r.translation[i] = a.translation[i] + (b.translation[i] - a.translation[i]) * t;
    }
    r.rotation = slerp(a.rotation, b.rotation, t);
    return recompose(r);
}

std::size_t QXTransform3D::hash() const {
    std::size_t h = 0;
    for (const auto& row : m)
        for (double v : row) {
            const double normal = v == 0 ? 0.0 : v; // -0 and 0 are equal, so hash alike
            h = h * 31 + std::hash<double>{}(normal);
        }
    return h;
}

QString QXTransform3D::description() const {
    QStringList rows;
    for (const auto& row : m)
        rows << QStringLiteral("%1 %2 %3 %4").arg(row[0]).arg(row[1]).arg(row[2]).arg(row[3]);
    return QStringLiteral("[") + rows.join(QStringLiteral("; ")) + QStringLiteral("]");
}
