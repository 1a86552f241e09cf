// Collision of spheres and boxes against the polygon meshes of linked collision objects.
// The operations hold their slots in the virtual table now; the mesh routines themselves
// come with the collision object channel. Until then a mesh yields no contacts and the
// helpers give neutral results.
#include "physbody/ode_body.h"

unsigned long Kco_ODE_BodyCollision::CollideSphere(dGeomID, unsigned long, dContactGeom*, unsigned long) {
    return 0;
}

unsigned long Kco_ODE_BodyCollision::CollideBox(dGeomID, unsigned long, dContactGeom*, unsigned long, dGeomID) {
    return 0;
}

bool Kco_ODE_BodyCollision::SphereTriangleCollision(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&,
                                                    D3DXVECTOR3&) {
    return false;
}

bool Kco_ODE_BodyCollision::SphereEdgeCollision(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, float) {
    return false;
}

void Kco_ODE_BodyCollision::CalculateSphereBounds(D3DXMATRIX, D3DXVECTOR3, float) {}

bool Kco_ODE_BodyCollision::GetIfPlaneContainsPoint(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3, D3DXVECTOR3&) {
    return false;
}

float Kco_ODE_BodyCollision::GetPointEdgeDistance(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3& out) {
    out = D3DXVECTOR3();
    return 0.0f;
}

void Kco_ODE_BodyCollision::CreateBoxFromPoly(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, double*, double*,
                                              double*, D3DXVECTOR3&) {}

void Kco_ODE_BodyCollision::CalculateBoxBounds(D3DXMATRIX, D3DXMATRIX, const double*) {}

int Kco_ODE_BodyCollision::dBoxBox(const double*, const double*, const double*, const double*, const double*,
                                   const double*, double*, double*, int*, int, dContactGeom*, int) {
    return 0;
}

void Kco_ODE_BodyCollision::lineClosestApproach(const double*, const double*, const double*, const double*,
                                                double* alpha, double* beta) {
    if (alpha) *alpha = 0.0;
    if (beta) *beta = 0.0;
}
