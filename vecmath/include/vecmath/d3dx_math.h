// Vector, matrix and plane routines with the names and meaning of the Direct3D 8 extension
// library: row vectors (v' = v * M), translation in the fourth row, left-handed views,
// single precision. Every routine returning a pointer returns its output argument (or null
// where noted), and the output may be the same object as an input.
//
//   matrix.cpp         identity, multiply, inverse, transpose, the transform builders
//   vector.cpp         3D vector arithmetic and transforms
//   plane.cpp          planes from points, plane distances, line intersection
//   interpolation.cpp  lerp, Hermite, Catmull-Rom, barycentric
#pragma once

#include <vecmath/d3dx_types.h>

// ---- Matrices -----------------------------------------------------------------------------

D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
bool D3DXMatrixIsIdentity(const D3DXMATRIX* m);
// out = m1 * m2: a point transformed by out is transformed by m1, then by m2.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2);
float D3DXMatrixDeterminant(const D3DXMATRIX* m);
// Null, with out untouched, when m has no inverse. determinant (if not null) receives m's
// determinant in every case.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz);
// Rotations by an angle in radians, clockwise when looking along the axis towards the origin.
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
// Roll about Z first, then pitch about X, then yaw about Y: out = Rz(roll) * Rx(pitch) * Ry(yaw).
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll);
// The axis need not be unit length; a zero axis gives the identity.
D3DXMATRIX* D3DXMatrixRotationAxis(D3DXMATRIX* out, const D3DXVECTOR3* axis, float angle);
D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up);
// Maps view-space depth zn..zf to 0..1; fovy is the vertical field of view in radians and
// aspect is width / height.
D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovy, float aspect, float zn,
                                       float zf);

// ---- 3D vectors ---------------------------------------------------------------------------

D3DXVECTOR3* D3DXVec3Add(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Subtract(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Scale(D3DXVECTOR3* out, const D3DXVECTOR3* v, float s);
float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
float D3DXVec3Length(const D3DXVECTOR3* v);
float D3DXVec3LengthSq(const D3DXVECTOR3* v);
// A zero vector stays zero rather than turning into NaNs.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
D3DXVECTOR3* D3DXVec3Minimize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* D3DXVec3Maximize(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);
// v as a point (w = 1), the result divided by its w. A w of 0 (a point sent to infinity by a
// projection) gives non-finite components, as with the original.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// v as a direction (w = 0): the fourth row does not apply.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
// v as a point (w = 1), the full homogeneous result.
D3DXVECTOR4* D3DXVec3Transform(D3DXVECTOR4* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);

// ---- Interpolation ------------------------------------------------------------------------

// a + s * (b - a).
D3DXVECTOR3* D3DXVec3Lerp(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b, float s);
// Cubic from position v1 with tangent t1 (s = 0) to position v2 with tangent t2 (s = 1).
D3DXVECTOR3* D3DXVec3Hermite(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* t1,
                             const D3DXVECTOR3* v2, const D3DXVECTOR3* t2, float s);
// Spline through v1 (s = 0) and v2 (s = 1), shaped by the neighbours v0 and v3.
D3DXVECTOR3* D3DXVec3CatmullRom(D3DXVECTOR3* out, const D3DXVECTOR3* v0, const D3DXVECTOR3* v1,
                                const D3DXVECTOR3* v2, const D3DXVECTOR3* v3, float s);
// v1 + f * (v2 - v1) + g * (v3 - v1).
D3DXVECTOR3* D3DXVec3BaryCentric(D3DXVECTOR3* out, const D3DXVECTOR3* v1, const D3DXVECTOR3* v2,
                                 const D3DXVECTOR3* v3, float f, float g);

// ---- Planes -------------------------------------------------------------------------------
// A plane (a, b, c, d) holds the points p with a*p.x + b*p.y + c*p.z + d = 0.

// Normal (p2 - p1) x (p3 - p1), normalised; a degenerate triangle gives a zero normal.
D3DXPLANE* D3DXPlaneFromPoints(D3DXPLANE* out, const D3DXVECTOR3* p1, const D3DXVECTOR3* p2,
                               const D3DXVECTOR3* p3);
// The normal is used as given, not normalised.
D3DXPLANE* D3DXPlaneFromPointNormal(D3DXPLANE* out, const D3DXVECTOR3* point,
                                    const D3DXVECTOR3* normal);
// Scales all four values so that (a, b, c) has unit length; a zero normal stays zero.
D3DXPLANE* D3DXPlaneNormalize(D3DXPLANE* out, const D3DXPLANE* p);
float D3DXPlaneDot(const D3DXPLANE* p, const D3DXVECTOR4* v);
// Signed distance of a point when the plane is normalised.
float D3DXPlaneDotCoord(const D3DXPLANE* p, const D3DXVECTOR3* v);
float D3DXPlaneDotNormal(const D3DXPLANE* p, const D3DXVECTOR3* v);
// The point where the infinite line through v1 and v2 meets the plane; null when the line
// is parallel to the plane (or v1 == v2).
D3DXVECTOR3* D3DXPlaneIntersectLine(D3DXVECTOR3* out, const D3DXPLANE* p, const D3DXVECTOR3* v1,
                                    const D3DXVECTOR3* v2);
// (a, b, c, d) * m. To move a plane by a transform T, pass the inverse transpose of T.
D3DXPLANE* D3DXPlaneTransform(D3DXPLANE* out, const D3DXPLANE* p, const D3DXMATRIX* m);
