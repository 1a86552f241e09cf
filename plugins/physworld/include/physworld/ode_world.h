// The physics world channel: one ODE world, its hash space and the joint group of one
// step's contacts. Bodies find it through the engine by its type GUID and call the
// virtual operations below; their order is the binary interface towards body, joint and
// settings channels of other libraries.
#pragma once

#include <ode/ode.h>
#include <vecmath/d3dx_types.h>

#include "plugin_frame/frame_clock.h"
#include "plugin_frame/kel_channel.h"

class Kco_ODE_BodyCollision;
class ODE_GeometryItem;

class Kco_ODE_World : public Kel_Channel {
public:
    Kco_ODE_World();
    // A copy owns an ODE world, space and contact group of its own and takes over the
    // settings; ODE handles are never shared between two channels.
    Kco_ODE_World(const Kco_ODE_World& other);
    Kco_ODE_World& operator=(const Kco_ODE_World& other);

    ~Kco_ODE_World() override;
    void CallChannel() override;
    void OneTimeInitialize() override;
    void DoEvent(int event, unsigned long data) override;

    // ---- world and geometry services ----
    virtual dBodyID GetNewBody();
    virtual dSpaceID GetSpaceID();
    virtual dWorldID GetWorldID();
    virtual dJointGroupID GetContactGroupID();
    virtual dGeomID CreateGeomTransform();
    virtual dGeomID CreateBox(float lx, float ly, float lz, bool addToSpace);
    virtual dGeomID CreateSphere(float radius, bool addToSpace);
    virtual dGeomID CreatePlane(float a, float b, float c, float d);
    virtual dGeomID CreateCollisionObject(Kco_ODE_BodyCollision* owner);

    // ---- settings ----
    virtual void SetTimeFrameStep(float step);
    virtual void SetGravityVector(D3DXVECTOR3 gravity);
    virtual void SetFrameFrequency(int frequency);
    virtual void SetSoftERP(float erp);
    virtual float GetSoftERP();
    virtual void SetSoftCFM(float cfm);
    virtual float GetSoftCFM();
    virtual void SetWorldERP(float erp);
    virtual void SetWorldCFM(float cfm);

    // ---- joints; a null joint is ignored ----
    virtual void JointDestroy(dJointID joint);
    virtual void JointSetSliderParam(dJointID joint, int parameter, double value);
    virtual void JointSetHinge2Param(dJointID joint, int parameter, double value);
    virtual void JointSetBallAnchor(dJointID joint, double x, double y, double z);
    virtual void JointSetSliderAxis(dJointID joint, double x, double y, double z);
    virtual void JointSetHingeAxis(dJointID joint, double x, double y, double z);
    virtual void JointSetHinge2Anchor(dJointID joint, double x, double y, double z);
    virtual void JointSetHinge2Axis1(dJointID joint, double x, double y, double z);
    virtual void JointSetHinge2Axis2(dJointID joint, double x, double y, double z);
    virtual void JointAttach(dJointID joint, dBodyID b1, dBodyID b2);
    virtual void JointSetHingeAnchor(dJointID joint, double x, double y, double z);
    virtual dJointID JointCreateHinge2(dWorldID world, dJointGroupID group);
    virtual dJointID JointCreateSlider(dWorldID world, dJointGroupID group);
    virtual dJointID JointCreateHinge(dWorldID world, dJointGroupID group);
    // Always in this world and in no group, whatever is passed.
    virtual dJointID JointCreateBall(dWorldID world, dJointGroupID group);
    virtual void JointSetHingeParam(dJointID joint, int parameter, double value);
    virtual void JointGetHingeAxis(dJointID joint, dVector3 result);
    virtual void JointGetHingeAnchor(dJointID joint, dVector3 result);
    virtual void JointGetBallAnchor(dJointID joint, dVector3 result);
    virtual void JointGetSliderAxis(dJointID joint, dVector3 result);
    virtual void JointGetHinge2Axis2(dJointID joint, dVector3 result);
    virtual void JointGetHinge2Axis1(dJointID joint, dVector3 result);
    virtual void JointGetHinge2Anchor(dJointID joint, dVector3 result);
    virtual double JointGetHinge2Angle1(dJointID joint);
    virtual double JointGetHinge2Angle1Rate(dJointID joint);
    virtual double JointGetHinge2Angle2Rate(dJointID joint);

    // ---- what the last frame did ----
    virtual int GetFrameCalculateCount();
    virtual float GetFrameResolution();

    // ---- not virtual: the contact rule, open to tests and derived worlds ----
    // The surface the contact rule gives every contact between items i1 and i2.
    static dSurfaceParameters ComposeContactSurface(const ODE_GeometryItem& i1,
                                                    const ODE_GeometryItem& i2,
                                                    float softERP, float softCFM);
    // The near callback handed to dSpaceCollide; `data` is the world.
    static void NearCallback(void* data, dGeomID o1, dGeomID o2);
    // The collision-object geometry class number (registered once per process).
    static int CollisionObjectClass();
    // Seconds the step under way simulates (collision runs before it): how far a body will
    // move, for the colliders' sweep of fast bodies. Inline, so that a body reads it without
    // linking the world.
    dReal GetStepLength() const { return stepLength; }
    // The solver of every step: 0 (the default) ODE's exact step (dWorldStep), whose cost
    // grows with the cube of an island's contacts; a count above 0 ODE's iterative step
    // (dWorldQuickStep) with that many iterations, for large stacks and piles the exact
    // step cannot solve in time. Not saved; a copy takes it over.
    void SetQuickStepIterations(int iterations) { quickStepIterations = iterations > 0 ? iterations : 0; }
    int GetQuickStepIterations() const { return quickStepIterations; }

protected:
    // Frees the ODE objects and the tick-count channel, in the order the world's bodies
    // and geometries expect.
    void DestroyOwned();
    void CreateOwned();
    void CopySettings(const Kco_ODE_World& other);
    void StepOnce(dReal seconds);

    FrameClock frameTimeChannel;              // private tick-count channel: frame time, in 1/25 s
    dWorldID worldID = nullptr;
    dSpaceID spaceID = nullptr;               // hash space, levels -3..10
    dJointGroupID contactGroupID = nullptr;   // contact joints of one step
    int collisionObjectClass = -1;            // ODE class of the collision-object geometry
    float timeFrameStep = 0.05f;              // time scale of one step
    int frameFrequency = 0;                   // fixed steps per second, 0..200; 0: one step per frame
    float timeAccumulator = 0.0f;             // seconds of frame time not yet simulated
    float softERP = 0.1f;                     // contact soft error reduction
    float softCFM = 0.1f;                     // contact soft constraint force mixing
    float frameResolution = 0.0f;             // step length reported to bodies
    int frameCalculateCount = 0;              // steps made by the last CallChannel
    dReal stepLength = 0.05;                  // seconds of the step under way (or the last one)
    int quickStepIterations = 0;              // 0: exact step; else the iterative step's iterations
};
