#include <vecmath/d3dx_math.h>

D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s) {
    *out = *a + (*b - *a) * s;
    return out;
}

D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, float s) {
    const float s2 = s * s, s3 = s2 * s;
    const float h1 = 2.0f * s3 - 3.0f * s2 + 1.0f;
    const float h2 = s3 - 2.0f * s2 + s;
    const float h3 = -2.0f * s3 + 3.0f * s2;
    const float h4 = s3 - s2;
    *out = *v1 * h1 + *t1 * h2 + *v2 * h3 + *t2 * h4;
    return out;
}

D3DXVECTOR3* D3DXVec3CatmullRom(D3DXVECTOR3* out, const D3DXVECTOR3* v0, const D3DXVECTOR3* v1,
                                const D3DXVECTOR3* v2, const D3DXVECTOR3* v3, float s) {
    // The Hermite curve from v1 to v2 with tangents (v2 - v0) / 2 and (v3 - v1) / 2, expanded.
    const float s2 = s * s, s3 = s2 * s;
    const float w0 = -s3 + 2.0f * s2 - s;
    const float w1 = 3.0f * s3 - 5.0f * s2 + 2.0f;
    const float w2 = -3.0f * s3 + 4.0f * s2 + s;
    const float w3 = s3 - s2;
    *out = (*v0 * w0 + *v1 * w1 + *v2 * w2 + *v3 * w3) * 0.5f;
    return out;
}

D3DXVECTOR3* D3DXVec3BaryCentric(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                                 const D3DXVECTOR3* v3, float f, float g) {
    *out = *v1 + (*v2 - *v1) * f + (*v3 - *v1) * g;
    return out;
}
