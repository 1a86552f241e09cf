#include <vecmath/d3dx_math.h>

#include <gtest/gtest.h>

namespace {

void ExpectPlane(const D3DXPLANE& p, float a, float b, float c, float d) {
    EXPECT_NEAR(p.a, a, 1e-6f);
    EXPECT_NEAR(p.b, b, 1e-6f);
    EXPECT_NEAR(p.c, c, 1e-6f);
    EXPECT_NEAR(p.d, d, 1e-6f);
}

}  // namespace

TEST(Plane, ConstructionAndDistances) {
    // Counter-clockwise seen from +z: the normal points along +z.
    const D3DXVECTOR3 p1(0, 0, 1), p2(3, 0, 1), p3(0, 2, 1);
    D3DXPLANE plane;
    D3DXPlaneFromPoints(&plane, &p1, &p2, &p3);
    ExpectPlane(plane, 0, 0, 1, -1);

    const D3DXVECTOR3 v(5, 5, 3);
    EXPECT_FLOAT_EQ(D3DXPlaneDotCoord(&plane, &v), 2.0f);
    EXPECT_FLOAT_EQ(D3DXPlaneDotNormal(&plane, &v), 3.0f);
    const D3DXVECTOR4 h{5, 5, 3, 0.5f};
    EXPECT_FLOAT_EQ(D3DXPlaneDot(&plane, &h), 2.5f);

    const D3DXVECTOR3 point(0, 0, 2), longNormal(0, 0, 2);
    D3DXPlaneFromPointNormal(&plane, &point, &longNormal);
    ExpectPlane(plane, 0, 0, 2, -4);
    D3DXPlaneNormalize(&plane, &plane);
    ExpectPlane(plane, 0, 0, 1, -2);

    const D3DXPLANE degenerate{0, 0, 0, 5};
    D3DXPlaneNormalize(&plane, &degenerate);
    ExpectPlane(plane, 0, 0, 0, 0);
}

TEST(PlaneIntersectLine, CrossingLineMeetsPlaneParallelLineReturnsNull) {
    const D3DXPLANE plane{0, 0, 1, -1};  // z = 1
    D3DXVECTOR3 hit;

    const D3DXVECTOR3 a(0, 0, 0), b(2, 4, 4);
    ASSERT_EQ(D3DXPlaneIntersectLine(&hit, &plane, &a, &b), &hit);
    EXPECT_FLOAT_EQ(hit.x, 0.5f);
    EXPECT_FLOAT_EQ(hit.y, 1.0f);
    EXPECT_FLOAT_EQ(hit.z, 1.0f);

    // The whole line counts, not only the segment between the two points.
    const D3DXVECTOR3 c(1, 1, 2), d(1, 1, 3);
    ASSERT_NE(D3DXPlaneIntersectLine(&hit, &plane, &c, &d), nullptr);
    EXPECT_EQ(hit, D3DXVECTOR3(1, 1, 1));

    hit = D3DXVECTOR3(7, 7, 7);
    const D3DXVECTOR3 e(0, 0, 0), f(1, 1, 0);
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &plane, &e, &f), nullptr);
    const D3DXVECTOR3 inPlane1(0, 0, 1), inPlane2(3, -2, 1);
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &plane, &inPlane1, &inPlane2), nullptr);
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &plane, &a, &a), nullptr);
    EXPECT_EQ(hit, D3DXVECTOR3(7, 7, 7));
}

TEST(PlaneTransform, InverseTransposeMovesPlaneWithTransform) {
    const D3DXPLANE plane{0, 0, 1, -1};  // z = 1
    D3DXMATRIX move, inverseTranspose;
    D3DXMatrixTranslation(&move, 0, 0, 3);
    ASSERT_NE(D3DXMatrixInverse(&inverseTranspose, nullptr, &move), nullptr);
    D3DXMatrixTranspose(&inverseTranspose, &inverseTranspose);

    D3DXPLANE moved;
    D3DXPlaneTransform(&moved, &plane, &inverseTranspose);
    ExpectPlane(moved, 0, 0, 1, -4);

    // Turning 90 degrees about X sends y to z, so the plane y = 2 becomes z = 2.
    D3DXMATRIX turn;
    D3DXMatrixRotationX(&turn, 1.5707964f);
    D3DXMatrixInverse(&inverseTranspose, nullptr, &turn);
    D3DXMatrixTranspose(&inverseTranspose, &inverseTranspose);
    const D3DXPLANE y2{0, 1, 0, -2};
    D3DXPlaneTransform(&moved, &y2, &inverseTranspose);
    ExpectPlane(moved, 0, 0, 1, -2);
}
