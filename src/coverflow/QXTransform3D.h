#pragma once

// A 4 x 4 transform in row-vector order (a point p maps to p * m), in doubles. Composition reads
// in application order: concat(a, b) applies a first, then b. Flattened to a projective
// QTransform only when painting or hit testing.

#include <QPointF>
#include <QString>
#include <QTransform>

#include <array>
#include <cstddef>

struct QXVector4 {
    double x = 0, y = 0, z = 0, w = 1;
};

class QXTransform3D {
public:
    // m[row][column]; m[3][0..2] is the translation, m[2][3] the perspective term (m34).
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    static QXTransform3D identity() { return {}; }
    static QXTransform3D makeTranslation(double tx, double ty, double tz);
    static QXTransform3D makeScale(double sx, double sy, double sz);
    // Rotation by angle radians about the axis (x, y, z); a positive angle about +y turns +x
    // towards -z (away from a viewer on +z).
    static QXTransform3D makeRotation(double angle, double x, double y, double z);
    static QXTransform3D makePerspective(double eyeDistance);
    // Embeds a 2D affine transform.
    static QXTransform3D fromAffine(const QTransform& affine);

    // a then b.
    static QXTransform3D concat(const QXTransform3D& a, const QXTransform3D& b);
    QXTransform3D then(const QXTransform3D& b) const { return concat(*this, b); }

    bool isIdentity() const;
    bool isAffine() const { return m[0][3] == 0 && m[1][3] == 0 && m[2][3] == 0 && m[3][3] == 1; }
    friend bool operator==(const QXTransform3D& a, const QXTransform3D& b);

    QXVector4 map(const QXVector4& p) const;
    // Maps a point of the z = 0 plane and divides by w (w <= 0 gives a point at infinity).
    QPointF mapPoint(const QPointF& p) const;

    // The homography of the z = 0 plane: what the transform does to a flat layer.
    QTransform toQTransform() const;
    // Drops the z output, as a flat layer does with the depth of what it holds.
    QXTransform3D flattened() const;

    // Interpolates by decomposing into scale, rotation and translation (what the animation of a
    // rigid turn needs); transforms with a perspective part are blended element-wise.
    static QXTransform3D interpolate(const QXTransform3D& from, const QXTransform3D& to, double t);

    std::size_t hash() const;
    QString description() const;
};
