#include <vecmath/d3dx_math.h>

#include <cmath>

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out) {
    *out = D3DXMATRIX(1, 0, 0, 0,
                      0, 1, 0, 0,
                      0, 0, 1, 0,
                      0, 0, 0, 1);
    return out;
}

bool D3DXMatrixIsIdentity(const D3DXMATRIX* m) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (m->m[i][j] != (i == j ? 1.0f : 0.0f)) return false;
    return true;
}

D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2) {
    // The product is formed in a temporary, so out may be m1 or m2.
    *out = *m1 * *m2;
    return out;
}

namespace {

// 2x2 minors of the upper two rows (s) and the lower two rows (c); the determinant and every
// cofactor of a 4x4 matrix are sums of their products (Laplace expansion along row pairs).
struct Minors {
    float s0, s1, s2, s3, s4, s5;
    float c0, c1, c2, c3, c4, c5;

    explicit Minors(const float (&m)[4][4]) {
        s0 = m[0][0] * m[1][1] - m[0][1] * m[1][0];
        s1 = m[0][0] * m[1][2] - m[0][2] * m[1][0];
        s2 = m[0][0] * m[1][3] - m[0][3] * m[1][0];
        s3 = m[0][1] * m[1][2] - m[0][2] * m[1][1];
        s4 = m[0][1] * m[1][3] - m[0][3] * m[1][1];
        s5 = m[0][2] * m[1][3] - m[0][3] * m[1][2];
        c0 = m[2][0] * m[3][1] - m[2][1] * m[3][0];
        c1 = m[2][0] * m[3][2] - m[2][2] * m[3][0];
        c2 = m[2][0] * m[3][3] - m[2][3] * m[3][0];
        c3 = m[2][1] * m[3][2] - m[2][2] * m[3][1];
        c4 = m[2][1] * m[3][3] - m[2][3] * m[3][1];
        c5 = m[2][2] * m[3][3] - m[2][3] * m[3][2];
    }

    float Determinant() const {
        return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
    }
};

}  // namespace

float D3DXMatrixDeterminant(const D3DXMATRIX* m) {
    return Minors(m->m).Determinant();
}

D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* in) {
    const auto& m = in->m;
    const Minors k(m);
    const float det = k.Determinant();
    if (determinant) *determinant = det;
    if (det == 0.0f || !std::isfinite(det)) return nullptr;

    const float r = 1.0f / det;
    D3DXMATRIX inv;
    inv.m[0][0] = ( m[1][1] * k.c5 - m[1][2] * k.c4 + m[1][3] * k.c3) * r;
    inv.m[0][1] = (-m[0][1] * k.c5 + m[0][2] * k.c4 - m[0][3] * k.c3) * r;
    inv.m[0][2] = ( m[3][1] * k.s5 - m[3][2] * k.s4 + m[3][3] * k.s3) * r;
    inv.m[0][3] = (-m[2][1] * k.s5 + m[2][2] * k.s4 - m[2][3] * k.s3) * r;
    inv.m[1][0] = (-m[1][0] * k.c5 + m[1][2] * k.c2 - m[1][3] * k.c1) * r;
    inv.m[1][1] = ( m[0][0] * k.c5 - m[0][2] * k.c2 + m[0][3] * k.c1) * r;
    inv.m[1][2] = (-m[3][0] * k.s5 + m[3][2] * k.s2 - m[3][3] * k.s1) * r;
    inv.m[1][3] = ( m[2][0] * k.s5 - m[2][2] * k.s2 + m[2][3] * k.s1) * r;
    inv.m[2][0] = ( m[1][0] * k.c4 - m[1][1] * k.c2 + m[1][3] * k.c0) * r;
    inv.m[2][1] = (-m[0][0] * k.c4 + m[0][1] * k.c2 - m[0][3] * k.c0) * r;
    inv.m[2][2] = ( m[3][0] * k.s4 - m[3][1] * k.s2 + m[3][3] * k.s0) * r;
    inv.m[2][3] = (-m[2][0] * k.s4 + m[2][1] * k.s2 - m[2][3] * k.s0) * r;
    inv.m[3][0] = (-m[1][0] * k.c3 + m[1][1] * k.c1 - m[1][2] * k.c0) * r;
    inv.m[3][1] = ( m[0][0] * k.c3 - m[0][1] * k.c1 + m[0][2] * k.c0) * r;
    inv.m[3][2] = (-m[3][0] * k.s3 + m[3][1] * k.s1 - m[3][2] * k.s0) * r;
    inv.m[3][3] = ( m[2][0] * k.s3 - m[2][1] * k.s1 + m[2][2] * k.s0) * r;

    // A determinant so small that its reciprocal overflows (a nearly singular matrix) would
    // hand back infinities; the caller is better served by the singular answer.
    for (const auto& row : inv.m)
        for (float v : row)
            if (!std::isfinite(v)) return nullptr;
    *out = inv;
    return out;
}

D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m) {
    D3DXMATRIX t;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) t.m[i][j] = m->m[j][i];
    *out = t;
    return out;
}

D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z) {
    D3DXMatrixIdentity(out);
    out->_41 = x;
    out->_42 = y;
    out->_43 = z;
    return out;
}

D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz) {
    *out = D3DXMATRIX(sx, 0, 0, 0,
                      0, sy, 0, 0,
                      0, 0, sz, 0,
                      0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(1, 0, 0, 0,
                      0, c, s, 0,
                      0, -s, c, 0,
                      0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(c, 0, -s, 0,
                      0, 1, 0, 0,
                      s, 0, c, 0,
                      0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    *out = D3DXMATRIX(c, s, 0, 0,
                      -s, c, 0, 0,
                      0, 0, 1, 0,
                      0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll) {
    D3DXMATRIX rz, rx, ry;
    D3DXMatrixRotationZ(&rz, roll);
    D3DXMatrixRotationX(&rx, pitch);
    D3DXMatrixRotationY(&ry, yaw);
    *out = rz * rx * ry;
    return out;
}

D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle) {
    D3DXVECTOR3 a;
    D3DXVec3Normalize(&a, axis);
    if (a.x == 0.0f && a.y == 0.0f && a.z == 0.0f) return D3DXMatrixIdentity(out);

    // Rodrigues' rotation, transposed for row vectors; about the X axis it equals RotationX.
    const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
    const float x = a.x, y = a.y, z = a.z;
    *out = D3DXMATRIX(t * x * x + c,     t * x * y + s * z, t * x * z - s * y, 0,
                      t * x * y - s * z, t * y * y + c,     t * y * z + s * x, 0,
                      t * x * z + s * y, t * y * z - s * x, t * z * z + c,     0,
                      0, 0, 0, 1);
    return out;
}

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
    D3DXVECTOR3 zaxis = *at - *eye, xaxis, yaxis;
    D3DXVec3Normalize(&zaxis, &zaxis);
    D3DXVec3Cross(&xaxis, up, &zaxis);
    D3DXVec3Normalize(&xaxis, &xaxis);
    D3DXVec3Cross(&yaxis, &zaxis, &xaxis);
    *out = D3DXMATRIX(xaxis.x, yaxis.x, zaxis.x, 0,
                      xaxis.y, yaxis.y, zaxis.y, 0,
                      xaxis.z, yaxis.z, zaxis.z, 0,
                      -D3DXVec3Dot(&xaxis, eye), -D3DXVec3Dot(&yaxis, eye),
                      -D3DXVec3Dot(&zaxis, eye), 1);
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn,
                                       float zf) {
    const float yScale = 1.0f / std::tan(fovy * 0.5f);
    const float xScale = yScale / aspect;
    const float q = zf / (zf - zn);
    *out = D3DXMATRIX(xScale, 0, 0, 0,
                      0, yScale, 0, 0,
                      0, 0, q, 1,
                      0, 0, -zn * q, 0);
    return out;
}
