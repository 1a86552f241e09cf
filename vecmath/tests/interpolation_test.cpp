#include <vecmath/d3dx_math.h>

#include <gtest/gtest.h>

namespace {

void ExpectVectorNear(const D3DXVECTOR3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-6f);
    EXPECT_NEAR(v.y, y, 1e-6f);
    EXPECT_NEAR(v.z, z, 1e-6f);
}

}  // namespace

TEST(Interpolation, LerpAndBarycentric) {
    const D3DXVECTOR3 a(0, 0, 0), b(4, 0, 0), c(0, 4, 0);
    D3DXVECTOR3 out;
    ExpectVectorNear(*D3DXVec3Lerp(&out, &a, &b, 0.25f), 1, 0, 0);
    ExpectVectorNear(*D3DXVec3Lerp(&out, &a, &b, 1.5f), 6, 0, 0);

    ExpectVectorNear(*D3DXVec3BaryCentric(&out, &a, &b, &c, 0.25f, 0.5f), 1, 2, 0);
    ExpectVectorNear(*D3DXVec3BaryCentric(&out, &a, &b, &c, 1.0f, 0.0f), 4, 0, 0);
    ExpectVectorNear(*D3DXVec3BaryCentric(&out, &a, &b, &c, 0.0f, 1.0f), 0, 4, 0);
}

TEST(Interpolation, HermiteHitsEndsAndHandComputedMidpoint) {
    const D3DXVECTOR3 v1(0, 0, 0), t1(1, 0, 0), v2(1, 1, 0), t2(0, 1, 0);
    D3DXVECTOR3 out;
    ExpectVectorNear(*D3DXVec3Hermite(&out, &v1, &t1, &v2, &t2, 0.0f), 0, 0, 0);
    ExpectVectorNear(*D3DXVec3Hermite(&out, &v1, &t1, &v2, &t2, 1.0f), 1, 1, 0);
    // Basis at 0.5: 0.5, 0.125, 0.5, -0.125.
    ExpectVectorNear(*D3DXVec3Hermite(&out, &v1, &t1, &v2, &t2, 0.5f), 0.625f, 0.375f, 0);
}

TEST(Interpolation, CatmullRomPassesThroughInnerPoints) {
    const D3DXVECTOR3 v0(0, 0, 0), v1(1, 0, 0), v2(2, 1, 0), v3(3, 1, 0);
    D3DXVECTOR3 out;
    ExpectVectorNear(*D3DXVec3CatmullRom(&out, &v0, &v1, &v2, &v3, 0.0f), 1, 0, 0);
    ExpectVectorNear(*D3DXVec3CatmullRom(&out, &v0, &v1, &v2, &v3, 1.0f), 2, 1, 0);
    // y = (s + 3s^2 - 2s^3) / 2 for these points; x is evenly spaced, so linear.
    ExpectVectorNear(*D3DXVec3CatmullRom(&out, &v0, &v1, &v2, &v3, 0.25f), 1.25f, 0.203125f, 0);
}
