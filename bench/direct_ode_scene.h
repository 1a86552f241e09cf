// The baseline both physics benchmarks measure against: the plug-ins' contact rule and
// frame written directly on ODE, without the engine or the plug-ins in between. A scene adds
// its own geometry and bodies; every shape carries the default surface.
#pragma once

#include <ode/ode.h>

#include <algorithm>
#include <vector>

#include <vecmath/d3dx_types.h>

struct DirectOdeScene {
    struct Surface {
        float bounce = 0.5f, bounceVelocity = 0.1f, friction = 1.0f, slip = 1.0f;
    };
    dWorldID world;
    dSpaceID space;
    dJointGroupID contacts;
    Surface surface;
    std::vector<dBodyID> bodies;
    std::vector<D3DXMATRIX> matrices;  // the matrices a renderer would read, one per body

    // The contact rule of the world: smaller friction, larger slip, mean bounce.
    static void Near(void* data, dGeomID o1, dGeomID o2) {
        auto* scene = static_cast<DirectOdeScene*>(data);
        dBodyID b1 = dGeomGetBody(o1), b2 = dGeomGetBody(o2);
        if (b1 && b2 && dAreConnected(b1, b2)) return;
        auto* s1 = static_cast<Surface*>(dGeomGetData(o1));
        auto* s2 = static_cast<Surface*>(dGeomGetData(o2));
        dContact contact[6];
        const int n = dCollide(o1, o2, 6, &contact[0].geom, sizeof(dContact));
        for (int i = 0; i < n; ++i) {
            dSurfaceParameters& s = contact[i].surface;
            s.mode = dContactApprox1_1 | dContactApprox1_2 | dContactSlip1 | dContactSlip2 | dContactBounce;
            s.mu = std::min(s1->friction, s2->friction);
            s.mu2 = 0.0;
            s.soft_erp = 0.1;
            s.soft_cfm = 0.1;
            s.slip1 = s.slip2 = std::max(s1->slip, s2->slip);
            s.bounce = (s1->bounce + s2->bounce) * 0.5f;
            s.bounce_vel = (s1->bounceVelocity + s2->bounceVelocity) * 0.5f;
            dJointAttach(dJointCreateContact(scene->world, scene->contacts, &contact[i]), b1, b2);
        }
    }

    // One frame of 0.05 s, then the bodies' matrices.
    void Frame() {
        dSpaceCollide(space, this, &Near);
        dWorldStep(world, 0.05);
        dJointGroupEmpty(contacts);
        matrices.resize(bodies.size());
        for (size_t i = 0; i < bodies.size(); ++i) {
            const dReal* p = dBodyGetPosition(bodies[i]);
            const dReal* r = dBodyGetRotation(bodies[i]);
            matrices[i] = D3DXMATRIX(float(r[0]), float(r[4]), float(r[8]), 0.0f, float(r[1]), float(r[5]),
                                     float(r[9]), 0.0f, float(r[2]), float(r[6]), float(r[10]), 0.0f,
                                     float(p[0]), float(p[1]), float(p[2]), 1.0f);
        }
    }
};
