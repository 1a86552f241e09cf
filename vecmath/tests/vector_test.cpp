#include <vecmath/d3dx_math.h>

#include <gtest/gtest.h>

TEST(Vector3, OperatorsAndArithmetic) {
    const D3DXVECTOR3 a(1, 2, 3), b(4, 5, 6);
    EXPECT_EQ(a + b, D3DXVECTOR3(5, 7, 9));
    EXPECT_EQ(b - a, D3DXVECTOR3(3, 3, 3));
    EXPECT_EQ(a * 2.0f, D3DXVECTOR3(2, 4, 6));
    EXPECT_EQ(2.0f * a, D3DXVECTOR3(2, 4, 6));
    EXPECT_EQ(-a, D3DXVECTOR3(-1, -2, -3));
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(a != b);

    EXPECT_EQ(D3DXVec3Dot(&a, &b), 32.0f);
    D3DXVECTOR3 c = a;
    D3DXVec3Cross(&c, &c, &b);  // out aliases the first input
    EXPECT_EQ(c, D3DXVECTOR3(-3, 6, -3));

    const D3DXVECTOR3 seven(2, 3, 6);
    EXPECT_EQ(D3DXVec3LengthSq(&seven), 49.0f);
    EXPECT_EQ(D3DXVec3Length(&seven), 7.0f);

    D3DXVECTOR3 lo, hi;
    const D3DXVECTOR3 m(3, -1, 6);
    D3DXVec3Minimize(&lo, &a, &m);
    D3DXVec3Maximize(&hi, &a, &m);
    EXPECT_EQ(lo, D3DXVECTOR3(1, -1, 3));
    EXPECT_EQ(hi, D3DXVECTOR3(3, 2, 6));
}

TEST(Vector3, NormalizeKeepsZeroVectorZero) {
    D3DXVECTOR3 v(3, 0, 4);
    D3DXVec3Normalize(&v, &v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.y, 0.0f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);

    const D3DXVECTOR3 zero(0, 0, 0);
    D3DXVECTOR3 out(1, 1, 1);
    EXPECT_EQ(D3DXVec3Normalize(&out, &zero), &out);
    EXPECT_EQ(out, zero);
}

TEST(Vector3Transform, CoordDividesByWNormalIgnoresTranslation) {
    // The third column feeds w: w = z + 1 for a point.
    const D3DXMATRIX m(1, 0, 0, 0,
                       0, 1, 0, 0,
                       0, 0, 1, 1,
                       2, 4, 6, 1);
    const D3DXVECTOR3 v(1, 2, 3);

    D3DXVECTOR4 h;
    D3DXVec3Transform(&h, &v, &m);
    EXPECT_EQ(h.x, 3.0f);
    EXPECT_EQ(h.y, 6.0f);
    EXPECT_EQ(h.z, 9.0f);
    EXPECT_EQ(h.w, 4.0f);

    D3DXVECTOR3 p;
    D3DXVec3TransformCoord(&p, &v, &m);
    EXPECT_EQ(p, D3DXVECTOR3(0.75f, 1.5f, 2.25f));

    D3DXVECTOR3 n = v;
    D3DXVec3TransformNormal(&n, &n, &m);
    EXPECT_EQ(n, D3DXVECTOR3(1, 2, 3));
}
