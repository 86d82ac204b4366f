#include "coverflow/QXTransform3D.h"

#include <gtest/gtest.h>

#include <numbers>

namespace {
void expectNear(const QXTransform3D& a, const QXTransform3D& b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(a.m[i][j], b.m[i][j], 1e-9) << i << "," << j;
}
} // namespace

TEST(QXTransform3DTest, ConcatAppliesTheFirstTransformFirst) {
    const auto scale = QXTransform3D::makeScale(2, 2, 2);
    const auto move = QXTransform3D::makeTranslation(10, 0, 0);
    EXPECT_DOUBLE_EQ(scale.then(move).map({1, 0, 0, 1}).x, 12);
    EXPECT_DOUBLE_EQ(move.then(scale).map({1, 0, 0, 1}).x, 22);
    EXPECT_TRUE(QXTransform3D().isIdentity());
    EXPECT_FALSE(move.isIdentity());
}

TEST(QXTransform3DTest, PerspectiveShrinksWhatLiesBehindThePlane) {
    const auto p = QXTransform3D::makePerspective(1500);
    const QXVector4 far = p.map({300, 0, -1500, 1});
    EXPECT_DOUBLE_EQ(far.x / far.w, 150);
    // The plane homography agrees with the 4 x 4 map for flat points.
    const auto m = QXTransform3D::makeRotation(0.7, 0, 1, 0)
                       .then(QXTransform3D::makeTranslation(5, 7, -300))
                       .then(p);
    const QPointF viaQt = m.toQTransform().map(QPointF(40, 25));
    const QPointF direct = m.mapPoint(QPointF(40, 25));
    EXPECT_NEAR(viaQt.x(), direct.x(), 1e-9);
    EXPECT_NEAR(viaQt.y(), direct.y(), 1e-9);
}

TEST(QXTransform3DTest, InterpolationTurnsRigidlyBetweenRotations) {
    const double angle = 70 * std::numbers::pi / 180;
    const auto from = QXTransform3D();
    const auto to = QXTransform3D::makeRotation(angle, 0, 1, 0)
                        .then(QXTransform3D::makeTranslation(0, 0, -300));
    const auto half = QXTransform3D::interpolate(from, to, 0.5);
    expectNear(half, QXTransform3D::makeRotation(angle / 2, 0, 1, 0)
                         .then(QXTransform3D::makeTranslation(0, 0, -150)));
    expectNear(QXTransform3D::interpolate(from, to, 1), to);
    // A mirror decomposes and recomposes unchanged.
    const auto mirror =
        QXTransform3D::makeScale(1, -1, 1).then(QXTransform3D::makeTranslation(0, -200, 0));
    expectNear(QXTransform3D::interpolate(mirror, mirror, 0.3), mirror);
}
