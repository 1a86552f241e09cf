// Vector and matrix types with the Direct3D 8 layouts: row vectors, a 4x4 single-precision
// matrix whose fourth row holds the translation, planes as a, b, c, d.
#pragma once

#if defined(_WIN32)
// On Windows the system's Direct3D headers define the vector and the matrix (same layouts).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef _NO_SYS_GUID_OPERATOR_EQ_
#define _NO_SYS_GUID_OPERATOR_EQ_
#endif
#include <windows.h>
#include <d3d8types.h>
// The old pointer words and the IDL's `small` would take these names from the code beside.
#undef near
#undef far
#undef small
#else
struct D3DVECTOR {
    float x, y, z;
};

struct D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};
#endif

struct D3DXVECTOR2 {
    float x, y;
};

struct D3DXVECTOR3 : D3DVECTOR {
    D3DXVECTOR3() : D3DVECTOR{0.0f, 0.0f, 0.0f} {}
    D3DXVECTOR3(float x_, float y_, float z_) : D3DVECTOR{x_, y_, z_} {}
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}

    D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) { x += v.x; y += v.y; z += v.z; return *this; }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
    D3DXVECTOR3& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
    D3DXVECTOR3& operator/=(float s) { const float inv = 1.0f / s; return *this *= inv; }

    D3DXVECTOR3 operator+() const { return *this; }
    D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
    D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    D3DXVECTOR3 operator*(float s) const { return {x * s, y * s, z * s}; }
    D3DXVECTOR3 operator/(float s) const { const float inv = 1.0f / s; return {x * inv, y * inv, z * inv}; }

    // Exact comparison, component by component, as the extension library's operator does.
    bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const D3DXVECTOR3& v) const { return !(*this == v); }
};

inline D3DXVECTOR3 operator*(float s, const D3DXVECTOR3& v) { return v * s; }

struct D3DXVECTOR4 {
    float x, y, z, w;
};


struct D3DXMATRIX : D3DMATRIX {
    D3DXMATRIX() : D3DMATRIX{} {}
    D3DXMATRIX(const D3DMATRIX& other) : D3DMATRIX(other) {}
    D3DXMATRIX(float m11, float m12, float m13, float m14,
               float m21, float m22, float m23, float m24,
               float m31, float m32, float m33, float m34,
               float m41, float m42, float m43, float m44)
        : D3DMATRIX{} {
        _11 = m11; _12 = m12; _13 = m13; _14 = m14;
        _21 = m21; _22 = m22; _23 = m23; _24 = m24;
        _31 = m31; _32 = m32; _33 = m33; _34 = m34;
        _41 = m41; _42 = m42; _43 = m43; _44 = m44;
    }
    float& operator()(int row, int col) { return m[row][col]; }
    float operator()(int row, int col) const { return m[row][col]; }

    // Row-vector product: a point transformed by (*this * b) is transformed by *this first.
    D3DXMATRIX operator*(const D3DMATRIX& b) const {
        D3DXMATRIX r;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j] +
                            m[i][3] * b.m[3][j];
        return r;
    }
    D3DXMATRIX& operator*=(const D3DMATRIX& b) { return *this = *this * b; }

    // All sixteen values compared exactly.
    bool operator==(const D3DMATRIX& b) const {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                if (m[i][j] != b.m[i][j]) return false;
        return true;
    }
    bool operator!=(const D3DMATRIX& b) const { return !(*this == b); }
};

struct D3DXPLANE {
    float a, b, c, d;
};

static_assert(sizeof(D3DVECTOR) == 12);
static_assert(sizeof(D3DXVECTOR3) == 12);
static_assert(sizeof(D3DMATRIX) == 64);
static_assert(sizeof(D3DXMATRIX) == 64);
static_assert(sizeof(D3DXPLANE) == 16);
