// The physics body channel: a matrix channel whose value follows an ODE rigid body (or,
// without dynamics, the start matrix that places its static geometries). It owns a list
// of geometry items, the shapes it collides with. The virtual operations below are in the
// order other libraries call them; the world calls CollideSphere, CollideBox and
// SetPenetrationOfBody through it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <ode/ode.h>
#include <vecmath/d3dx_types.h>

#include "plugin_frame/frame_clock.h"
#include "plugin_frame/kel_list.h"
#include "plugin_frame/siblings/matrix_channel.h"

class Kco_ODE_World;
class Kco_ODE_BodyCollision;

// One collision shape of a body. Every geometry it creates carries the item as ODE user
// data; the world's contact rule reads the surface fields through it.
class ODE_GeometryItem {
public:
    enum Kind : uint8_t { kBox = 0, kSphere = 1, kCollisionObject = 2, kPlane = 3 };

    ODE_GeometryItem();
    // A copy takes every field but the geometries: a geometry has exactly one owner, and
    // a copy starts without any.
    ODE_GeometryItem(const ODE_GeometryItem& other);
    ODE_GeometryItem& operator=(const ODE_GeometryItem& other);
    // Destroys `geom` (and with a transform the inner geometry) when set.
    virtual ~ODE_GeometryItem();
    // Rz(-c) x Rx(-b) x Ry(-a) of the rotation angles a, b, c.
    virtual D3DXMATRIX GetRotationMatrix();

    // Destroys the geometries and clears both handles.
    void DestroyGeometry();

    dGeomID geom = nullptr;       // geometry in the world's space (a transform when dynamic)
    dGeomID innerGeom = nullptr;  // box or sphere inside the transform; freed with it
    dMass massProperties;         // mass distribution, filled when the body is built
    uint8_t kind = kBox;
    float mass = 5.0f;            // total mass, the argument of dMassAdjust
    float radius = 1.0f;          // sphere radius
    D3DXVECTOR3 size{1.0f, 1.0f, 1.0f};      // box side lengths
    D3DXVECTOR3 offset{0.0f, 0.0f, 0.0f};    // position in body space
    D3DXVECTOR3 rotation{0.0f, 0.0f, 0.0f};  // angles a, b, c, radians
    uint8_t bounceEnabled = 1;    // 1 turns bounce on in contacts
    float bounce = 0.5f;          // restitution
    float bounceVelocity = 0.1f;  // bounce velocity threshold
    float friction = 1.0f;        // contact mu
    float slip = 1.0f;            // contact slip, used when both items' slip is above 0
    char name[40] = "Unnamed";
    Kco_ODE_BodyCollision* owner = nullptr;
};

// The geometry item of older files ("BDIG"); only ever read, then converted.
struct ODE_OLD2GeometryItem {
    static constexpr uint32_t kRecordSize = 288;
    uint8_t kind = 0;
    float mass = 0.0f;
    float radius = 0.0f;
    D3DXVECTOR3 size;
    D3DXVECTOR3 offset;
    D3DXVECTOR3 rotationAngles;  // not carried over: the new item starts unrotated
    int32_t bounceEnabled = 0;   // 1 enables
    float bounce = 0.0f;
    float bounceVelocity = 0.0f;
    float friction = 0.0f;
    float slip = 0.0f;
    char name[40] = {};
};

// Byte images of the two item records, field by field at their file offsets.
namespace geometry_item_record {
inline constexpr uint32_t kSize = 264;
void Write(const ODE_GeometryItem& item, uint8_t (&out)[kSize]);
// Fills the record fields of `item`; geometries and owner are left alone.
void Read(const uint8_t (&in)[kSize], ODE_GeometryItem& item);
void ReadOld(const uint8_t (&in)[ODE_OLD2GeometryItem::kRecordSize], ODE_OLD2GeometryItem& old);
// The old record as a new item: no mass distribution, no rotation, no geometries.
void Convert(const ODE_OLD2GeometryItem& old, ODE_GeometryItem& item);
}  // namespace geometry_item_record

class Kco_ODE_BodyCollision : public Kco_MatrixChannel {
public:
    Kco_ODE_BodyCollision();
    // A copy gets copies of the items without geometries, no ODE body and a tick-count
    // channel of its own; it builds itself on its first frame.
    Kco_ODE_BodyCollision(const Kco_ODE_BodyCollision& other);
    Kco_ODE_BodyCollision& operator=(const Kco_ODE_BodyCollision& other);

    ~Kco_ODE_BodyCollision() override;
    void CallChannel() override;
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void DoDependencyInit(Kel_List* list) override;
    D3DXMATRIX GetMatrix() override;

    virtual void Release();
    virtual D3DXMATRIX GetBodyMatrix(bool sized);
    virtual D3DXMATRIX GetNonSizedBodyMatrix();
    virtual void InitializeBody();
    virtual void SetBodyPositionFromMatrix();
    virtual int GetGeometryCount();
    virtual ODE_GeometryItem* GetGeometryItem(int index);
    virtual void SetGeometryItem(ODE_GeometryItem item, int index);
    virtual void AddGeometryItem();
    virtual void RemoveGeometryItem(int index);
    virtual dBodyID GetBodyID();
    virtual void SetIfUseDynamics(bool use);
    virtual bool GetIfUseDynamics();
    virtual void UpdateGeometryPositions();
    virtual D3DXMATRIX GetOldMatrix();
    virtual D3DXMATRIX GetMatrixRotation(D3DXMATRIX m);
    virtual void GetODERotationMatrix(D3DXMATRIX m, double* rotation);

    // ---- collision against polygon meshes ----
    virtual unsigned long CollideSphere(dGeomID sphere, unsigned long flags, dContactGeom* contact,
                                        unsigned long skip);
    virtual unsigned long CollideBox(dGeomID box, unsigned long flags, dContactGeom* contact,
                                     unsigned long skip, dGeomID collisionGeom);
    virtual bool SphereTriangleCollision(D3DXVECTOR3& target, D3DXVECTOR3& origin, D3DXVECTOR3& e1,
                                         D3DXVECTOR3& e2, D3DXVECTOR3& v0);
    virtual bool SphereEdgeCollision(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& centre,
                                     D3DXVECTOR3& push, float radius);
    virtual void CalculateSphereBounds(D3DXMATRIX world, D3DXVECTOR3 centre, float extent);
    virtual bool GetIfPlaneContainsPoint(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3 c, D3DXVECTOR3& p);
    virtual float GetPointEdgeDistance(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& p, D3DXVECTOR3& out);
    virtual void CreateBoxFromPoly(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& c, double position[3],
                                   double rotation[12], double sides[3], D3DXVECTOR3& n);
    virtual void CalculateBoxBounds(D3DXMATRIX world, D3DXMATRIX box, const double* sides);
    virtual int dBoxBox(const double* p1, const double* R1, const double* side1, const double* p2,
                        const double* R2, const double* side2, double* normal, double* depth, int* code,
                        int maxc, dContactGeom* contact, int skip);
    virtual void lineClosestApproach(const double* pa, const double* ua, const double* pb, const double* ub,
                                     double* alpha, double* beta);

    virtual void SetAngularVelocityDampenValue(float value);
    virtual float GetAngularVelocityDampenValue();
    virtual void SetIfDisableForces(bool disable);
    virtual bool GetIfDisableForces();
    virtual bool GetIfRunningDynamics();
    virtual D3DXVECTOR3 GetLinearVelocityVector();
    virtual D3DXVECTOR3 GetAngularVelocityVector();
    virtual D3DXVECTOR3 GetForceVector();
    virtual D3DXVECTOR3 GetTorqueVector();
    virtual D3DXVECTOR3 GetBodyGetRelPointVel(D3DXVECTOR3 point);
    virtual void SetPenetrationOfBody(float depth);
    virtual void SetBodyPositionFromOldMatrix();
    virtual void SetIfDynamicDisableForces(bool disable);
    virtual bool GetIfDynamicDisableForces();

    // Not virtual: what the frame rule last stored, for hosts and tests.
    float GetPenetration() const { return penetration; }
    bool GetRestFlag() const { return restFlag; }
    uint32_t GetRestTick() const { return restTick; }
    bool GetIfInitialized() const { return initialized; }
    D3DXVECTOR3 GetScale() const { return scale; }

protected:
    // An item's values as ODE takes them (see ode_bounds.h).
    struct Shape {
        D3DXVECTOR3 sides;    // box sides after the start scale, thick enough to collide
        bool solid = false;   // all three sides were above 0: the box has mass
        float radius = 0.0f;  // sphere radius; 0 is left to the world, which makes it 1
        float mass = 0.0f;
        D3DXVECTOR3 offset;
        D3DXMATRIX rotation;  // defined, or no rotation
    };
    Shape CheckedShape(ODE_GeometryItem& item) const;
    // The jobs of InitializeBody.
    void BuildStaticGeometries();
    void BuildDynamicShapes();
    void SetBodyMass(const dMass& total, double reach, const double across[3]);
    // Runs a change of the shape list, rebuilding a built body around it.
    void ChangeShapes(const std::function<void()>& change);

    Kel_Channel* StartChannel() const;
    Kel_Channel* EnableChannel() const;
    D3DXMATRIX StartMatrix() const;                     // identity without a start link
    void SetBodyPosition(const D3DXMATRIX& m);          // shared by both SetBodyPosition... operations
    void SetScaleFromMatrix(const D3DXMATRIX& m);
    void DeleteItems();
    void CopyItemsFrom(const Kco_ODE_BodyCollision& other);

    Kco_ODE_World* world = nullptr;          // the unique world, owned by the engine
    dBodyID bodyID = nullptr;                // the ODE body while dynamics run
    bool initialized = false;                // shapes (and body) exist in the world
    Kel_List geometryItems;                  // ODE_GeometryItem pointers, owned; entries may be null
    D3DXMATRIX oldMatrix;                    // the matrix returned last
    bool useDynamics = true;
    D3DXVECTOR3 boundsMin, boundsMax;        // query box of the last mesh test, mesh-local
    float angularVelocityDampenValue = 0.0f; // per-frame angular velocity factor; 0: off
    FrameClock frameTimeChannel;             // private tick-count channel: frame time, in 1/25 s
    bool disableForces = false;              // hold the body on its start matrix
    D3DXVECTOR3 scale;                       // lengths of the start matrix's first three rows
    bool dynamicDisableForces = false;       // allow the rest rule
    float penetration = 0.0f;                // deepest contact depth since the last frame
    bool restFlag = true;                    // the body is at rest
    uint32_t restTick = 0;                   // tick count (ms) when the rest timer restarted
    Kel_List polygonList;                    // mesh query results, reused by every collider call
    double reach = 0.0;                      // how far a dynamic body's shapes reach from its origin

    // What the mesh rules derive from a triangle alone (world vertices, normal, side planes,
    // edge directions), kept per collision object while its triangles and world matrix stay
    // as they are (mesh_collision.cpp). A copy starts without it.
    struct MeshCache;
    struct MeshCacheDeleter {
        void operator()(MeshCache* cache) const;
    };
    std::unique_ptr<MeshCache, MeshCacheDeleter> meshCache;
    MeshCache& Cache();
    // Calls visit(triangle) for every derived triangle the collision objects on the
    // "Collision object" link list for the query box setBounds(mesh world matrix, whether
    // it is the identity) sets in boundsMin/boundsMax; stops, returning false, when visit
    // returns false (mesh_collision.cpp).
    template <typename SetBounds, typename Visit>
    bool ForEachListedTriangle(SetBounds setBounds, Visit visit);
    // The contact ahead of a sphere or box of a fast body that meets no triangle yet but
    // would reach the mesh within the step under way (mesh_collision.cpp). The box adds
    // them after the `count` contacts written and returns the new count.
    unsigned long SweepSphereAhead(dGeomID sphere, dContactGeom* contact);
    unsigned long SweepBoxAhead(dGeomID box, const double corners[8][3], const double* p, const double* r,
                                const double* half, dContactGeom* contact, unsigned long skip, unsigned long max,
                                unsigned long count, dGeomID collisionGeom);
};
