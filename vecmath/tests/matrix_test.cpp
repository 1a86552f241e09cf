#include <vecmath/d3dx_math.h>

#include <gtest/gtest.h>

#include <numbers>

namespace {

constexpr float kHalfPi = std::numbers::pi_v<float> / 2.0f;

void ExpectMatrixNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected, float tolerance = 1e-5f) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(actual.m[i][j], expected.m[i][j], tolerance) << "element " << i << "," << j;
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    return *D3DXMatrixIdentity(&m);
}

}  // namespace

TEST(MatrixInverse, RotationPlusTranslationInvertsToHandComputedMatrix) {
    D3DXMATRIX rotation, translation;
    D3DXMatrixRotationZ(&rotation, kHalfPi);
    D3DXMatrixTranslation(&translation, 1, 2, 3);
    const D3DXMATRIX m = rotation * translation;

    D3DXMATRIX inverse;
    float det = 0;
    ASSERT_EQ(D3DXMatrixInverse(&inverse, &det, &m), &inverse);
    EXPECT_NEAR(det, 1.0f, 1e-6f);
    // Undo the translation, then rotate back by -90 degrees about Z.
    ExpectMatrixNear(inverse, D3DXMATRIX(0, -1, 0, 0,
                                         1, 0, 0, 0,
                                         0, 0, 1, 0,
                                         -2, 1, -3, 1));
    ExpectMatrixNear(m * inverse, Identity());
    ExpectMatrixNear(inverse * m, Identity());
}

TEST(MatrixInverse, GeneralAffineMatrixTimesInverseIsIdentity) {
    D3DXMATRIX rotation, scaling, translation;
    D3DXMatrixRotationYawPitchRoll(&rotation, 0.3f, -1.1f, 2.0f);
    D3DXMatrixScaling(&scaling, 2.0f, 0.5f, 3.0f);
    D3DXMatrixTranslation(&translation, -4.0f, 7.5f, 0.25f);
    D3DXMATRIX m = scaling * rotation * translation;
    const D3DXMATRIX original = m;

    float det = 0;
    ASSERT_NE(D3DXMatrixInverse(&m, &det, &m), nullptr);  // in place
    EXPECT_NEAR(det, 3.0f, 1e-5f);                         // 2 * 0.5 * 3, rotations keep volume
    ExpectMatrixNear(original * m, Identity());

    // A point sent through the matrix and back returns where it started.
    const D3DXVECTOR3 p(1.5f, -2.0f, 8.0f);
    D3DXVECTOR3 q;
    D3DXVec3TransformCoord(&q, &p, &original);
    D3DXVec3TransformCoord(&q, &q, &m);
    EXPECT_NEAR(q.x, p.x, 1e-4f);
    EXPECT_NEAR(q.y, p.y, 1e-4f);
    EXPECT_NEAR(q.z, p.z, 1e-4f);
}

TEST(MatrixInverse, SingularMatrixReturnsNullAndLeavesOutputAlone) {
    // The third row is the sum of the first two.
    const D3DXMATRIX singular(1, 2, 3, 0,
                              4, 5, 6, 0,
                              5, 7, 9, 0,
                              0, 0, 0, 1);
    D3DXMATRIX out;
    D3DXMatrixTranslation(&out, 9, 9, 9);
    const D3DXMATRIX before = out;
    float det = 123.0f;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &singular), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_TRUE(out == before);

    D3DXMATRIX flat;
    D3DXMatrixScaling(&flat, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &flat), nullptr);
}

TEST(MatrixMultiply, RowVectorOrderAndAliasing) {
    D3DXMATRIX translate, scale, product;
    D3DXMatrixTranslation(&translate, 1, 0, 0);
    D3DXMatrixScaling(&scale, 2, 2, 2);

    // Translate first, then scale: the origin ends at (2, 0, 0).
    D3DXMatrixMultiply(&product, &translate, &scale);
    const D3DXVECTOR3 origin(0, 0, 0);
    D3DXVECTOR3 p;
    D3DXVec3TransformCoord(&p, &origin, &product);
    EXPECT_EQ(p, D3DXVECTOR3(2, 0, 0));

    D3DXMATRIX a = translate;
    D3DXMatrixMultiply(&a, &a, &scale);
    EXPECT_TRUE(a == product);
    D3DXMATRIX b = scale;
    D3DXMatrixMultiply(&b, &translate, &b);
    EXPECT_TRUE(b == product);
    D3DXMATRIX c = translate;
    c *= scale;
    EXPECT_TRUE(c == product);
}

TEST(MatrixTranspose, InPlace) {
    D3DXMATRIX m(1, 2, 3, 4,
                 5, 6, 7, 8,
                 9, 10, 11, 12,
                 13, 14, 15, 16);
    D3DXMatrixTranspose(&m, &m);
    EXPECT_TRUE(m == D3DXMATRIX(1, 5, 9, 13,
                                2, 6, 10, 14,
                                3, 7, 11, 15,
                                4, 8, 12, 16));
}

TEST(MatrixRotation, YawPitchRollAppliesRollThenPitchThenYaw) {
    D3DXMATRIX m;
    // Roll 90 (x -> y), then pitch 90 (y -> z).
    D3DXMatrixRotationYawPitchRoll(&m, 0, kHalfPi, kHalfPi);
    ExpectMatrixNear(m, D3DXMATRIX(0, 0, 1, 0,
                                   -1, 0, 0, 0,
                                   0, -1, 0, 0,
                                   0, 0, 0, 1));
    // Pitch 90, then yaw 90 (z -> x).
    D3DXMatrixRotationYawPitchRoll(&m, kHalfPi, kHalfPi, 0);
    ExpectMatrixNear(m, D3DXMATRIX(0, 0, -1, 0,
                                   1, 0, 0, 0,
                                   0, -1, 0, 0,
                                   0, 0, 0, 1));
    // All three: x -> y -> z -> x, y -> z, z -> -y. Yaw-first order would give another matrix.
    D3DXMatrixRotationYawPitchRoll(&m, kHalfPi, kHalfPi, kHalfPi);
    ExpectMatrixNear(m, D3DXMATRIX(1, 0, 0, 0,
                                   0, 0, 1, 0,
                                   0, -1, 0, 0,
                                   0, 0, 0, 1));
}

TEST(MatrixRotation, AxisRotation) {
    D3DXMATRIX m, expected;
    const D3DXVECTOR3 longZ(0, 0, 2);
    D3DXMatrixRotationAxis(&m, &longZ, 0.7f);
    ExpectMatrixNear(m, *D3DXMatrixRotationZ(&expected, 0.7f));

    // A third of a turn about the diagonal cycles the axes x -> y -> z -> x.
    const D3DXVECTOR3 diagonal(1, 1, 1);
    D3DXMatrixRotationAxis(&m, &diagonal, 2.0f * std::numbers::pi_v<float> / 3.0f);
    ExpectMatrixNear(m, D3DXMATRIX(0, 1, 0, 0,
                                   0, 0, 1, 0,
                                   1, 0, 0, 0,
                                   0, 0, 0, 1));

    const D3DXVECTOR3 zero(0, 0, 0);
    D3DXMatrixRotationAxis(&m, &zero, 1.0f);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&m));
}

TEST(MatrixView, LookAtAndPerspective) {
    // Standing at +x looking at the origin with y up: +z is to the right.
    const D3DXVECTOR3 eye(5, 0, 0), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXVECTOR3 p;
    const D3DXVECTOR3 origin(0, 0, 0), right(0, 0, 1), above(0, 1, 0);
    D3DXVec3TransformCoord(&p, &origin, &view);
    EXPECT_NEAR(p.x, 0, 1e-6f);
    EXPECT_NEAR(p.y, 0, 1e-6f);
    EXPECT_NEAR(p.z, 5, 1e-6f);
    D3DXVec3TransformCoord(&p, &right, &view);
    EXPECT_NEAR(p.x, 1, 1e-6f);
    EXPECT_NEAR(p.y, 0, 1e-6f);
    EXPECT_NEAR(p.z, 5, 1e-6f);
    D3DXVec3TransformCoord(&p, &above, &view);
    EXPECT_NEAR(p.x, 0, 1e-6f);
    EXPECT_NEAR(p.y, 1, 1e-6f);

    // 90 degrees vertical, twice as wide as high, depth 1..11 mapped to 0..1.
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, kHalfPi, 2.0f, 1.0f, 11.0f);
    const D3DXVECTOR3 nearCorner(2, 1, 1), farCorner(22, 11, 11);
    D3DXVec3TransformCoord(&p, &nearCorner, &projection);
    EXPECT_NEAR(p.x, 1, 1e-5f);
    EXPECT_NEAR(p.y, 1, 1e-5f);
    EXPECT_NEAR(p.z, 0, 1e-5f);
    D3DXVec3TransformCoord(&p, &farCorner, &projection);
    EXPECT_NEAR(p.x, 1, 1e-5f);
    EXPECT_NEAR(p.y, 1, 1e-5f);
    EXPECT_NEAR(p.z, 1, 1e-5f);
}
