#include <vecmath/d3dx_math.h>

#include <cmath>

D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point,
                                    const D3DXVECTOR3* normal) {
    *out = D3DXPLANE{normal->x, normal->y, normal->z, -D3DXVec3Dot(point, normal)};
    return out;
}

D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                               const D3DXVECTOR3* p3) {
    const D3DXVECTOR3 e1 = *p2 - *p1, e2 = *p3 - *p1;
    D3DXVECTOR3 normal;
    D3DXVec3Cross(&normal, &e1, &e2);
    D3DXVec3Normalize(&normal, &normal);
    return D3DXPlaneFromPointNormal(out, p1, &normal);
}

D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p) {
    const float length = std::sqrt(p->a * p->a + p->b * p->b + p->c * p->c);
    if (length == 0.0f) {
        *out = D3DXPLANE{0.0f, 0.0f, 0.0f, 0.0f};
        return out;
    }
    const float inv = 1.0f / length;
    *out = D3DXPLANE{p->a * inv, p->b * inv, p->c * inv, p->d * inv};
    return out;
}

float D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d * v->w;
}

float D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z + p->d;
}

float D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v) {
    return p->a * v->x + p->b * v->y + p->c * v->z;
}

D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* v1,
                                    const D3DXVECTOR3* v2) {
    const D3DXVECTOR3 direction = *v2 - *v1;
    const float along = D3DXPlaneDotNormal(p, &direction);
    if (along == 0.0f) return nullptr;
    const float t = -D3DXPlaneDotCoord(p, v1) / along;
    *out = *v1 + direction * t;
    return out;
}

D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* p, const D3DXMATRIX* m) {
    const float a = p->a, b = p->b, c = p->c, d = p->d;
    *out = D3DXPLANE{a * m->_11 + b * m->_21 + c * m->_31 + d * m->_41,
                     a * m->_12 + b * m->_22 + c * m->_32 + d * m->_42,
                     a * m->_13 + b * m->_23 + c * m->_33 + d * m->_43,
                     a * m->_14 + b * m->_24 + c * m->_34 + d * m->_44};
    return out;
}
