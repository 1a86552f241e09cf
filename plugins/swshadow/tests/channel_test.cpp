// The shadow object loaded from its library: type record, link, build from a 3D object's
// surfaces, the refusals and their messages, skinning, the extrusion factor and drawing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "shadow_scene.h"

namespace {

using swshadow::VolumeVertex;

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

// A device that records the operations made on it and can refuse buffers.
class SpyDevice : public IDirect3DDevice8 {
public:
    std::vector<std::string> calls;
    bool refuseVertexBuffer = false, refuseIndexBuffer = false;
    DWORD maxVertexIndex = 0xFFFFFF;

    HRESULT GetDeviceCaps(D3DCAPS8* caps) override {
        const HRESULT result = IDirect3DDevice8::GetDeviceCaps(caps);
        caps->MaxVertexIndex = maxVertexIndex;
        return result;
    }

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* m) override {
        calls.push_back("SetTransform " + std::to_string(s));
        return IDirect3DDevice8::SetTransform(s, m);
    }
    HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
        calls.push_back("SetRenderState");
        return IDirect3DDevice8::SetRenderState(s, v);
    }
    HRESULT SetVertexShader(DWORD h) override {
        calls.push_back("SetVertexShader " + std::to_string(h));
        return IDirect3DDevice8::SetVertexShader(h);
    }
    HRESULT SetStreamSource(UINT n, IDirect3DVertexBuffer8* b, UINT stride) override {
        calls.push_back("SetStreamSource " + std::to_string(n) + " " + std::to_string(stride));
        return IDirect3DDevice8::SetStreamSource(n, b, stride);
    }
    HRESULT SetIndices(IDirect3DIndexBuffer8* b, UINT base) override {
        calls.push_back("SetIndices " + std::to_string(base));
        return IDirect3DDevice8::SetIndices(b, base);
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE t, UINT minIndex, UINT vertices, UINT start, UINT count) override {
        calls.push_back("DrawIndexedPrimitive " + std::to_string(t) + " " + std::to_string(minIndex) + " " +
                        std::to_string(vertices) + " " + std::to_string(start) + " " + std::to_string(count));
        return D3D_OK;  // nothing is looked at; the GL context stays with the scene's device
    }
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer8** out) override {
        calls.push_back("CreateVertexBuffer " + std::to_string(length) + " " + std::to_string(usage) + " " +
                        std::to_string(fvf) + " " + std::to_string(pool));
        if (refuseVertexBuffer) return D3DERR_INVALIDCALL;
        return IDirect3DDevice8::CreateVertexBuffer(length, usage, fvf, pool, out);
    }
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer8** out) override {
        calls.push_back("CreateIndexBuffer " + std::to_string(length) + " " + std::to_string(usage) + " " +
                        std::to_string(format) + " " + std::to_string(pool));
        if (refuseIndexBuffer) return D3DERR_INVALIDCALL;
        return IDirect3DDevice8::CreateIndexBuffer(length, usage, format, pool, out);
    }
};

// A graphics channel with the spy device and a frustum the test chooses.
class SpyGraphics : public Kco_DX8_DirectGraphicsChannel {
public:
    SpyGraphics() { device = d3d8host::DevicePtr(new SpyDevice()); }
    SpyDevice& Spy() { return static_cast<SpyDevice&>(*device); }
    D3DXPLANE GetViewFrustumPlane(int index) override {
        planeIndex = index;
        return farPlane;
    }
    ProjectionInformation* GetProjectionInformation() override { return &info; }

    D3DXPLANE farPlane{0, 0, -1, 10};  // z = 10, the inside below it
    ProjectionInformation info;
    int planeIndex = -1;
};

// The shadow object drawing with a graphics channel of the test's.
class ShadowOnSpy : public Kco_DX8_SoftwareStencilShadowObject {
public:
    explicit ShadowOnSpy(Kco_DX8_DirectGraphicsChannel* graphics) { directGraphics = graphics; }
};

class ShadowChannel : public ShadowScene {
protected:
    ~ShadowChannel() override { delete spyShadow; }

    // A shadow object drawing through the spy, linked to `object`.
    ShadowOnSpy* SpyShadow(Kco_DX8_ObjectChannel* object) {
        spyShadow = new ShadowOnSpy(&graphics);
        EXPECT_TRUE(spyShadow->LinkChild(object, 0));
        return spyShadow;
    }

    SpyGraphics graphics;
    ShadowOnSpy* spyShadow = nullptr;
};

}  // namespace

TEST_F(ShadowChannel, TypeRecordLinkAndNothingLinked) {
    const ChannelType* type = host.Engine().GetRegisteredType(type_guids::kSoftwareStencilShadow);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type->typeName, "DX8 SoftwareStencilShadowObject");
    EXPECT_EQ(type->baseTypeGuid, type_guids::kStencilShadowBaseObject);
    EXPECT_EQ(type->typeOption, 0);
    EXPECT_EQ(type->typeFlags, 8);
    EXPECT_EQ(std::memcmp(type->typeCode, "Shad", 4), 0);

    Kco_DX8_SoftwareStencilShadowObject* shadow = Shadow(nullptr);
    EXPECT_STREQ(shadow->GetChannelName(), "DX8 SoftwareStencilShadowObject");
    ASSERT_EQ(shadow->GetChildCreationCount(), 1);
    const ChildCreation* link = shadow->GetChildCreateType(0);
    ASSERT_NE(link, nullptr);
    EXPECT_STREQ(link->linkType.typeName, "DX8 3D Object");
    EXPECT_EQ(link->linkType.typeGuid, type_guids::kObjectChannel);
    EXPECT_EQ(link->linkType.baseTypeGuid, kAnyTypeGuid);
    EXPECT_EQ(link->linkPosition, 0);
    EXPECT_FALSE(link->autoCreate);
    EXPECT_STREQ(link->linkName, "Shadow Object");
    EXPECT_EQ(link->linkSetting, 1);

    // Nothing on the link: nothing built, nothing said, nothing drawn.
    ShadowOnSpy lonely(&graphics);
    lonely.CreateShadowVolume(D3DXVECTOR3(0, 5, 0), 1.0f, true);
    lonely.DrawCurrentVolume();
    EXPECT_FALSE(lonely.IsInitialized());
    EXPECT_TRUE(graphics.Spy().calls.empty());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ShadowChannel, WeldsWithinEachSurfaceOnly) {
    const test_meshes::Mesh cube = test_meshes::SoupCube();
    Kco_DX8_SoftwareStencilShadowObject* one = Shadow(Object({Mesh(cube)}));
    one->InitializeObjectInfo();
    EXPECT_EQ(one->Geometry().vertexCount, 8);
    EXPECT_EQ(one->Geometry().EdgeCount(), 18);
    EXPECT_EQ(one->Geometry().triangleCount, 12);

    // The same cube with one surface per face: nothing welds across surfaces, and each
    // face keeps its four sides and its diagonal.
    std::vector<Kco_DX8_ObjectDataChannel*> faces;
    for (int f = 0; f < 6; ++f) {
        test_meshes::Mesh face;
        face.positions.assign(cube.positions.begin() + 4 * f, cube.positions.begin() + 4 * f + 4);
        for (int k = 0; k < 6; ++k) face.indices.push_back(uint16_t(cube.indices[size_t(6 * f + k)] - 4 * f));
        faces.push_back(Mesh(face));
    }
    // A line list and an empty mesh take no part.
    faces.push_back(Mesh(cube, type_guids::kObjectDataChannel, kPolygonLineList));
    faces.push_back(Mesh(test_meshes::Mesh{}));
    Kco_DX8_SoftwareStencilShadowObject* six = Shadow(Object(faces));
    six->InitializeObjectInfo();
    EXPECT_EQ(six->Geometry().vertexCount, 24);
    EXPECT_EQ(six->Geometry().EdgeCount(), 30);
    EXPECT_EQ(six->Geometry().sourceIndexCount, 36);

    // The tolerance through the channel's own weld: 0.001 apart stays, 0.0009 welds.
    Kco_DX8_ObjectDataChannel* pair = Mesh({{{1, 2, 3}, {1.001f, 2, 3}, {1.0009f, 2, 3}}, {2, 1, 0}});
    int count = 3;
    D3DXVECTOR3 out[3];
    uint16_t indices[3];
    one->WeldObjectdata(&count, out, indices, pair);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(std::vector<int>(indices, indices + 3), (std::vector<int>{0, 1, 0}));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ShadowChannel, VertexLimits) {
    // 65,535 raw vertices (three copies of 21,845 points) are built.
    test_meshes::Mesh big;
    for (int j = 0; j < 65535; ++j) big.positions.emplace_back(float(j % 21845 % 150), float(j % 21845 / 150), 0.0f);
    big.indices = {0, 1, 150, 1, 151, 150};
    Kco_DX8_SoftwareStencilShadowObject* built = Shadow(Object({Mesh(big)}));
    built->CreateShadowVolume(D3DXVECTOR3(0, 0, 5), 1.0f, false);
    EXPECT_TRUE(built->Geometry().HasGeometry());
    EXPECT_EQ(built->Geometry().vertexCount, 21845);
    EXPECT_TRUE(Messages().empty());

    // 65,536 are refused with the count.
    big.positions.emplace_back(0.5f, 0.5f, 0.0f);
    Kco_DX8_SoftwareStencilShadowObject* refused = Shadow(Object({Mesh(big)}));
    refused->CreateShadowVolume(D3DXVECTOR3(0, 0, 5), 1.0f, false);
    EXPECT_TRUE(refused->IsInitialized());
    EXPECT_FALSE(refused->Geometry().HasGeometry());
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0],
              "You tried to create a software stencil shadow object of an object that has more than 65536 vertexes "
              "which is not possible. Please use a dummy object with as few polygons/vertexes as possible. Count: "
              "65536");

    // 32,769 distinct vertices put extruded copies past slot 65535: a device with 32-bit
    // indices gets a 32-bit index buffer and the volume is drawn.
    host.Engine().ClearDebugMessages();
    test_meshes::Mesh wide;
    for (int j = 0; j < 32769; ++j) wide.positions.emplace_back(float(j % 200), float(j / 200), 0.0f);
    wide.indices = {0, 1, 200};
    ShadowOnSpy* spy = SpyShadow(Object({Mesh(wide)}));
    spy->CreateShadowVolume(D3DXVECTOR3(0, 0, -5), 1.0f, true);  // the triangle faces -z: lit
    spy->DrawCurrentVolume();
    EXPECT_TRUE(Messages().empty());
    ASSERT_TRUE(spy->Geometry().HasGeometry());
    EXPECT_TRUE(spy->Geometry().wideIndices);
    const std::vector<std::string>& calls = graphics.Spy().calls;
    EXPECT_NE(std::find(calls.begin(), calls.end(), "CreateIndexBuffer 84 8 102 0"), calls.end());  // 21 × 4 bytes
    EXPECT_EQ(calls.back(), "DrawIndexedPrimitive 4 0 65538 0 7");
    // The lit triangle's quads and cap reach the copies' slots N + v.
    EXPECT_EQ(spy->Geometry().VolumeIndex(1), 32769u + spy->Geometry().VolumeIndex(0));

    // A device whose indices stop at 16 bits refuses it, naming the welded count and its limit.
    delete spyShadow;
    graphics.Spy().calls.clear();
    graphics.Spy().maxVertexIndex = 0xFFFF;
    spy = SpyShadow(Object({Mesh(wide)}));
    spy->CreateShadowVolume(D3DXVECTOR3(0, 0, 5), 1.0f, true);
    spy->DrawCurrentVolume();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0],
              "You tried to create a software stencil shadow object of an object with more than 32768 vertexes after "
              "welding, the most this device can draw a shadow volume of. Please use a dummy object with as few "
              "polygons/vertexes as possible. Count: 32769");
    EXPECT_FALSE(spy->Geometry().HasGeometry());
    EXPECT_EQ(spy->GetVolumeVertexBuffer(), nullptr);
    for (const std::string& call : graphics.Spy().calls) EXPECT_EQ(call.rfind("Create", 0), 0u) << call;
}

TEST_F(ShadowChannel, MixedSurfacesAreRefusedInEitherOrder) {
    const test_meshes::Mesh cube = test_meshes::SoupCube();
    for (bool skinnedFirst : {true, false}) {
        host.Engine().ClearDebugMessages();
        Kco_DX8_ObjectDataChannel* skin = Mesh(cube, type_guids::kSkinnedObjectData);
        Kco_DX8_ObjectDataChannel* plain = Mesh(cube);
        Kco_DX8_SoftwareStencilShadowObject* shadow =
            Shadow(Object(skinnedFirst ? std::vector{skin, plain} : std::vector{plain, skin}));
        shadow->CreateShadowVolume(D3DXVECTOR3(0, 5, 0), 1.0f, true);
        shadow->CreateShadowVolume(D3DXVECTOR3(0, 5, 0), 1.0f, true);  // not retried
        EXPECT_TRUE(shadow->IsInitialized());
        EXPECT_TRUE(shadow->IsSkinned());
        EXPECT_EQ(shadow->Geometry().triangleCount, 0);
        EXPECT_EQ(Messages(), std::vector<std::string>{"Error stencil shadow has skinning object can't mix with normal surface"});
    }
    // A skinned mesh that takes no part (a line list) still sets the kind.
    host.Engine().ClearDebugMessages();
    Kco_DX8_SoftwareStencilShadowObject* shadow = Shadow(
        Object({Mesh(cube, type_guids::kSkinnedObjectData, kPolygonLineList), Mesh(cube)}));
    shadow->InitializeObjectInfo();
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_EQ(shadow->Geometry().triangleCount, 0);
}

TEST_F(ShadowChannel, CopiesOwnTheirBuffers) {
    Kco_DX8_SoftwareStencilShadowObject* shadow = Shadow(Object({Mesh(test_meshes::SoupCube())}));
    shadow->CreateShadowVolume(D3DXVECTOR3(5, 6, 7), 2.0f, true);
    ASSERT_NE(shadow->GetVolumeVertexBuffer(), nullptr);
    {
        Kco_DX8_SoftwareStencilShadowObject copy(*shadow);
        EXPECT_EQ(copy.GetChild(0), shadow->GetChild(0));
        EXPECT_FALSE(copy.IsInitialized());  // builds its own on first use
        copy.CreateShadowVolume(D3DXVECTOR3(5, 6, 7), 2.0f, true);
        EXPECT_NE(copy.GetVolumeVertexBuffer(), nullptr);
        EXPECT_NE(copy.GetVolumeVertexBuffer(), shadow->GetVolumeVertexBuffer());
        EXPECT_EQ(copy.Geometry().volumeIndexCount, shadow->Geometry().volumeIndexCount);
        Kco_DX8_SoftwareStencilShadowObject assigned(copy);
        assigned = *shadow;
        assigned.CreateShadowVolume(D3DXVECTOR3(-5, 6, 7), 2.0f, false);
        EXPECT_GT(assigned.Geometry().volumeIndexCount, 0);
    }
    // The original is untouched by the copies' end.
    shadow->CreateShadowVolume(D3DXVECTOR3(5, 6, -7), 2.0f, true);
    shadow->DrawCurrentVolume();
    EXPECT_EQ(shadow->Geometry().volumeIndexCount, 6 * 6 + 3 * 12);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ShadowChannel, SkinnedPositionsFollowTheBlendMatrices) {
    const test_meshes::Mesh cube = test_meshes::SoupCube();
    for (const GUID& kind : {type_guids::kSkinnedObjectData, type_guids::kBoneOffsetObjectData}) {
        auto* skin = static_cast<Kco_DX8_SkinnedObjectData*>(Mesh(cube, kind));
        D3DXMATRIX bones[4];
        D3DXMatrixTranslation(&bones[0], 1, 2, 3);
        D3DXMatrixRotationY(&bones[1], 0.7f);
        D3DXMatrixScaling(&bones[2], 2, 0.5f, 1);
        D3DXMatrixTranslation(&bones[3], -4, 0, 1);
        for (int k = 0; k < 4; ++k) skin->SetBlendMatrix(10 + k, bones[k]);
        for (int j = 0; j < int(cube.positions.size()); ++j)
            skin->SetVertexBlend(VertexBlend{{0.5f, 0.3f, 0.1f}, 0x0D0C0B0Au}, j);
        Kco_DX8_SoftwareStencilShadowObject* shadow = Shadow(Object({skin}));
        for (int count = 1; count <= 4; ++count) {
            skin->SetBlendWeightCount(count);
            shadow->CreateShadowVolume(D3DXVECTOR3(0, 9, 0), 1.0f, false);
            const swshadow::ShadowGeometry& g = shadow->Geometry();
            ASSERT_EQ(g.vertexCount, 24);  // skinned vertices are never welded
            for (int j = 0; j < 24; ++j) {
                const D3DXVECTOR3 expected = skin->GetBlendedVertexPosition(j);
                EXPECT_NEAR(g.positions[size_t(j)].x, expected.x, 1e-5f) << count;
                EXPECT_NEAR(g.positions[size_t(j)].y, expected.y, 1e-5f) << count;
                EXPECT_NEAR(g.positions[size_t(j)].z, expected.z, 1e-5f) << count;
            }
            if (count == 1 && kind == type_guids::kSkinnedObjectData) {
                // Matrix 0 alone, whatever the stored weights say.
                D3DXVECTOR3 byFirst;
                D3DXVec3TransformCoord(&byFirst, &cube.positions[5], &bones[0]);
                EXPECT_EQ(g.positions[5], byFirst);
            }
            EXPECT_TRUE(D3DXMatrixIsIdentity(&shadow->GetVolumeWorldMatrix()));
        }
        // The skinned positions reach the vertex buffer's first N slots.
        BYTE* data = nullptr;
        ASSERT_EQ(shadow->GetVolumeVertexBuffer()->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
        const auto* slots = reinterpret_cast<const VolumeVertex*>(data);
        EXPECT_EQ(D3DXVECTOR3(slots[7].x, slots[7].y, slots[7].z), shadow->Geometry().positions[7]);
        EXPECT_EQ(slots[7].u, 0.0f);
        shadow->GetVolumeVertexBuffer()->Unlock();
    }
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ShadowChannel, VolumeInTheObjectsSpaceAndTheBuffers) {
    Kco_DX8_ObjectChannel* object = Object({Mesh(test_meshes::SoupCube())});
    object->SetObjectMatrix(Translation(0, 5, 0));
    Kco_DX8_SoftwareStencilShadowObject* shadow = Shadow(object);
    const D3DXVECTOR3 light(3, 12, 4), local(3, 7, 4);
    shadow->CreateShadowVolume(light, 2.0f, true);
    const swshadow::ShadowGeometry& g = shadow->Geometry();
    const int n = g.vertexCount;
    ASSERT_EQ(n, 8);
    EXPECT_EQ(shadow->GetVolumeWorldMatrix(), Translation(0, 5, 0));
    EXPECT_EQ(g.silhouetteCount, 2 * 6);
    EXPECT_EQ(g.volumeIndexCount, 6 * 6 + 3 * 12);

    BYTE* data = nullptr;
    ASSERT_EQ(shadow->GetVolumeVertexBuffer()->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    const auto* slots = reinterpret_cast<const VolumeVertex*>(data);
    for (int v = 0; v < n; ++v) {
        const D3DXVECTOR3 p = g.positions[size_t(v)];
        EXPECT_EQ(D3DXVECTOR3(slots[v].x, slots[v].y, slots[v].z), p);
    }
    for (int i = 0; i < g.extrudedCount; ++i) {
        const swshadow::ExtrudedVertex& x = g.extrudedVertices[size_t(i)];
        const D3DXVECTOR3 p = g.positions[x.slot - uint32_t(n)];
        EXPECT_EQ(D3DXVECTOR3(slots[x.slot].x, slots[x.slot].y, slots[x.slot].z), p + (p - local) * 2.0f);
        EXPECT_EQ(slots[x.slot].u, 1.0f);
    }
    shadow->GetVolumeVertexBuffer()->Unlock();
    ASSERT_EQ(shadow->GetVolumeIndexBuffer()->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(std::memcmp(data, g.VolumeIndexData(), size_t(g.volumeIndexCount) * 2), 0);
    shadow->GetVolumeIndexBuffer()->Unlock();

    // The volume follows a moved object.
    object->SetObjectMatrix(Translation(1, 5, 0));
    shadow->CreateShadowVolume(light, 2.0f, false);
    EXPECT_EQ(shadow->GetVolumeWorldMatrix(), Translation(1, 5, 0));
    EXPECT_EQ(g.volumeIndexCount, 6 * int(g.silhouetteCount / 2));

    // Released device objects come back with the next construction.
    shadow->InvalidateDeviceObjects();
    EXPECT_FALSE(shadow->IsInitialized());
    EXPECT_EQ(shadow->GetVolumeVertexBuffer(), nullptr);
    shadow->CreateShadowVolume(light, 2.0f, false);
    EXPECT_NE(shadow->GetVolumeVertexBuffer(), nullptr);
    EXPECT_TRUE(g.HasGeometry());
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ShadowChannel, DrawingIsExactlyFiveDeviceCalls) {
    ShadowOnSpy* shadow = SpyShadow(Object({Mesh(test_meshes::SoupCube())}));
    shadow->CreateShadowVolume(D3DXVECTOR3(5, 6, 7), 3.0f, false);
    std::vector<std::string>& calls = graphics.Spy().calls;
    ASSERT_EQ(calls.size(), 2u);
    // Two slots of 20 bytes per raw vertex; room for 7 indices per source index.
    EXPECT_EQ(calls[0], "CreateVertexBuffer 960 8 258 0");
    EXPECT_EQ(calls[1], "CreateIndexBuffer 504 8 101 0");
    calls.clear();
    shadow->DrawCurrentVolume();
    const std::vector<std::string> expected = {"SetTransform 256", "SetVertexShader 258", "SetStreamSource 0 20",
                                               "SetIndices 0", "DrawIndexedPrimitive 4 0 16 0 12"};
    EXPECT_EQ(calls, expected);
    calls.clear();
    shadow->DrawCurrentVolume();  // as often as the caller likes
    EXPECT_EQ(calls, expected);

    // An index buffer that cannot be locked: reported, and the stale indices are not drawn.
    BYTE* held = nullptr;
    ASSERT_EQ(shadow->GetVolumeIndexBuffer()->Lock(0, 0, &held, 0), D3D_OK);
    shadow->CreateShadowVolume(D3DXVECTOR3(5, 6, 7), 3.0f, false);
    shadow->GetVolumeIndexBuffer()->Unlock();
    EXPECT_EQ(Messages(), std::vector<std::string>{"Couldn't lock INDEX buffer"});
    calls.clear();
    shadow->DrawCurrentVolume();
    EXPECT_TRUE(calls.empty());
}

TEST_F(ShadowChannel, RefusedBuffersAreReported) {
    for (bool vertex : {true, false}) {
        host.Engine().ClearDebugMessages();
        graphics.Spy().refuseVertexBuffer = vertex;
        graphics.Spy().refuseIndexBuffer = !vertex;
        delete spyShadow;
        ShadowOnSpy* shadow = SpyShadow(Object({Mesh(test_meshes::SoupCube())}));
        shadow->CreateShadowVolume(D3DXVECTOR3(5, 6, 7), 3.0f, true);
        shadow->CreateShadowVolume(D3DXVECTOR3(5, 6, 7), 3.0f, true);  // not retried
        EXPECT_EQ(Messages(), std::vector<std::string>{vertex ? "Couldn't CreateVertexBuffer" : "Couldn't CreateIndexBuffer"});
        EXPECT_TRUE(shadow->IsInitialized());
        EXPECT_EQ(shadow->Geometry().volumeIndexCount, 0);
        graphics.Spy().calls.clear();
        shadow->DrawCurrentVolume();
        EXPECT_TRUE(graphics.Spy().calls.empty());
    }
}

namespace {

std::vector<D3DXVECTOR3> BoxCorners(Kco_DX8_ObjectChannel* box) {
    D3DXVECTOR3 lo, hi;
    box->GetBoundingBoxMinMax(&lo, &hi);
    return {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z},
            {lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
}

// The classic factor, written out step by step: the distance from the light to the far plane
// along the line through the farthest corner (the first of equals), at most `far`, over
// `offset` + that corner's distance; 1.0 when the line misses the plane.
float ClassicFactor(const std::vector<D3DXVECTOR3>& corners, const D3DXPLANE& plane, float far,
                    const D3DXVECTOR3& light, float offset) {
    float m = 0.0f;
    D3DXVECTOR3 farthest;
    for (const D3DXVECTOR3& c : corners) {
        const D3DXVECTOR3 v = light - c;
        if (D3DXVec3Length(&v) > m) m = D3DXVec3Length(&v), farthest = c;
    }
    D3DXVECTOR3 hit;
    if (!D3DXPlaneIntersectLine(&hit, &plane, &light, &farthest)) return 1.0f;
    const D3DXVECTOR3 reach = hit - light;
    return std::min(D3DXVec3Length(&reach), far) / (offset + m);
}

// How far along its way to the plane z = farZ (inside below) the extruded corner that gets
// nearest to it goes: 1 is on the plane; corners already beyond or moving away do not count.
float ShareTowardsFarPlane(const std::vector<D3DXVECTOR3>& corners, const D3DXVECTOR3& light, float e, float farZ) {
    float worst = 0.0f;
    for (const D3DXVECTOR3& c : corners)
        if (c.z < farZ && c.z > light.z) worst = std::max(worst, (c.z - light.z) * e / (farZ - c.z));
    return worst;
}

}  // namespace

// Lights all round boxes in front of the far plane z = 10, the eye at z = -30 (far distance 40).
// Where the classic factor keeps every extruded corner in front of the far plane and takes the
// copy of the box's nearest point as far as the far distance (or the far plane), it is the
// result; where it would leave the frustum, every corner stops in front of it, the nearest to
// leaving at 99%; where it would stop short, the result reaches, within the same limit.
TEST_F(ShadowChannel, ExtrusionFactorKeepsTheClassicValueWhereItWorks) {
    Kco_DX8_ObjectChannel* box = Object({});
    ShadowOnSpy* shadow = SpyShadow(box);
    D3DXMATRIX view;
    D3DXMatrixTranslation(&view, 0, 0, 30);  // eye at (0, 0, -30)
    graphics.SetCameraMatrix(view);
    graphics.info.farClip = 40.0f;
    const D3DXPLANE plane = graphics.farPlane;

    int kept = 0, lowered = 0, raised = 0;
    for (const D3DXVECTOR3& lo : {D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(3, 2, -6)}) {
        const D3DXVECTOR3 hi = lo + D3DXVECTOR3(2, 1, 3);
        box->SetLocalBoundingBox(lo, hi);
        const std::vector<D3DXVECTOR3> corners = BoxCorners(box);
        for (int i = 0; i < 54; ++i) {
            const float spread = i < 27 ? 1.0f : 3.0f;  // near the box, and farther out
            const D3DXVECTOR3 light =
                lo + D3DXVECTOR3(float(i % 3) * 7 - 6, float(i / 3 % 3) * 5 - 4, float(i / 9 % 3) * 4 - 7) * spread;
            // The copy of the box point nearest the light reaches the far distance, or 99% of
            // the way to the far plane along its ray.
            const D3DXVECTOR3 toBox = D3DXVECTOR3(std::clamp(light.x, lo.x, hi.x), std::clamp(light.y, lo.y, hi.y),
                                                  std::clamp(light.z, lo.z, hi.z)) - light;
            const float n = D3DXVec3Length(&toBox);
            const float target = toBox.z > 0 ? std::min(40.0f, 0.99f * (10 - light.z) * n / toBox.z) : 40.0f;
            const auto reaches = [&](float e) { return n * (1 + e) >= target * (1 - 1e-5f); };
            const auto share = [&](float e) { return ShareTowardsFarPlane(corners, light, e, 10.0f); };

            // The classic value, measured from the eye where the light is nearer to it than to
            // the origin.
            const D3DXVECTOR3 fromEye = light - D3DXVECTOR3(0, 0, -30);
            const float classic = ClassicFactor(corners, plane, 40.0f, light,
                                                std::min(D3DXVec3Length(&light), D3DXVec3Length(&fromEye)));
            const float e = shadow->CalculateMaxVolumeDistance(box, light);
            EXPECT_EQ(graphics.planeIndex, 4);
            EXPECT_LE(share(e), 0.99f + 1e-4f) << "light " << i;
            if (share(classic) < 0.99f && reaches(classic)) {
                EXPECT_EQ(e, classic) << "light " << i;
                ++kept;
            } else if (share(classic) >= 0.99f) {
                EXPECT_NEAR(share(e), 0.99f, 1e-4f) << "light " << i;
                ++lowered;
            } else {
                EXPECT_GT(e, classic) << "light " << i;
                EXPECT_TRUE(reaches(e) || std::fabs(share(e) - 0.99f) < 1e-4f) << "light " << i;
                ++raised;
            }
        }
    }
    EXPECT_GT(kept, 5);
    EXPECT_GT(lowered, 5);
    EXPECT_GT(raised, 5);

    box->SetLocalBoundingBox(D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1));
    const std::vector<D3DXVECTOR3> cube = BoxCorners(box);
    // A light farther than the far distance from the plane: far / (|light| + m).
    D3DXMatrixTranslation(&view, 0, 40, 30);  // eye at (0, -40, -30), farther from the light than the origin
    graphics.SetCameraMatrix(view);
    const D3DXVECTOR3 distant(0, 60, -20), toFarthest = cube[2] - distant;
    EXPECT_EQ(shadow->CalculateMaxVolumeDistance(box, distant),
              40.0f / (D3DXVec3Length(&distant) + D3DXVec3Length(&toFarthest)));
    // A light at the origin: d / m. The line through the first farthest corner, (-1, -1, -1),
    // meets the plane z = 30 52 away, so d is the far distance.
    graphics.farPlane = D3DXPLANE{0, 0, -1, 30};
    EXPECT_EQ(shadow->CalculateMaxVolumeDistance(box, D3DXVECTOR3(0, 0, 0)), 40.0f / std::sqrt(3.0f));
    // ... and with the plane near: every corner stays in front, the nearest to leaving at 99%.
    graphics.farPlane = D3DXPLANE{0, 0, -1, 10};
    const float e = shadow->CalculateMaxVolumeDistance(box, D3DXVECTOR3(0, 0, 0));
    EXPECT_LT(e, ClassicFactor(cube, graphics.farPlane, 40.0f, D3DXVECTOR3(0, 0, 0), 0.0f));
    EXPECT_FLOAT_EQ(ShareTowardsFarPlane(cube, D3DXVECTOR3(0, 0, 0), e, 10.0f), 0.99f);

    // Every corner at the light: 1.0.
    box->SetLocalBoundingBox(D3DXVECTOR3(0, -1, 0), D3DXVECTOR3(0, -1, 0));
    EXPECT_EQ(shadow->CalculateMaxVolumeDistance(box, D3DXVECTOR3(0, -1, 0)), 1.0f);
}

// The same scene, eye and far plane moved far from the world origin, gets the factor it had
// with the eye at the origin.
TEST_F(ShadowChannel, ExtrusionFactorDoesNotDependOnTheWorldOrigin) {
    Kco_DX8_ObjectChannel* box = Object({});
    ShadowOnSpy* shadow = SpyShadow(box);
    graphics.info.farClip = 60.0f;
    const D3DXVECTOR3 lo(-1, 0.5f, 2), size(2, 0.4f, 1.5f);
    for (int i = 0; i < 12; ++i) {
        const D3DXVECTOR3 light(float(i % 4) * 3 - 4, 4 + float(i % 3), float(i / 4) * 2 - 2);
        float atOrigin = 0.0f;
        for (const D3DXVECTOR3& shift : {D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(600, 0, 800), D3DXVECTOR3(-7000, 30, 2400)}) {
            D3DXMATRIX view;
            D3DXMatrixTranslation(&view, -shift.x, -shift.y, -shift.z);  // eye at `shift`
            graphics.SetCameraMatrix(view);
            graphics.farPlane = D3DXPLANE{0, 0, -1, 50 + shift.z};
            box->SetLocalBoundingBox(lo + shift, lo + shift + size);
            const float e = shadow->CalculateMaxVolumeDistance(box, light + shift);
            if (shift.x == 0.0f)
                atOrigin = e;
            else
                EXPECT_NEAR(e, atOrigin, atOrigin * 2e-3f) << "light " << i << " moved by " << shift.x;
        }
        // The classic value of the moved scene would have been a sliver of it.
        box->SetLocalBoundingBox(lo, lo + size);
        graphics.farPlane = D3DXPLANE{0, 0, -1, 50};
        const std::vector<D3DXVECTOR3> corners = BoxCorners(box);
        const D3DXVECTOR3 moved = light + D3DXVECTOR3(600, 0, 800);
        EXPECT_LT(ClassicFactor(corners, graphics.farPlane, 60.0f, light, D3DXVec3Length(&moved)), atOrigin / 50);
    }
}

// A long caster reaching towards the far plane: keeping all of its far cap inside would leave
// almost no volume, so the factor keeps every copy at least as far from the light as the
// farthest corner.
TEST_F(ShadowChannel, ExtrusionFactorNeverCollapsesForLongCasters) {
    Kco_DX8_ObjectChannel* box = Object({});
    ShadowOnSpy* shadow = SpyShadow(box);
    D3DXMATRIX view;
    D3DXMatrixTranslation(&view, 0, 0, 50);  // eye at (0, 0, -50), the far plane z = 10
    graphics.SetCameraMatrix(view);
    graphics.info.farClip = 60.0f;
    box->SetLocalBoundingBox(D3DXVECTOR3(-0.5f, 2, -40), D3DXVECTOR3(0.5f, 3, 8));  // 1 x 1 x 48
    const std::vector<D3DXVECTOR3> bar = BoxCorners(box);
    for (const D3DXVECTOR3& light : {D3DXVECTOR3(0.8f, 10, -41), D3DXVECTOR3(-3, 6, -30), D3DXVECTOR3(0, 12, -20)}) {
        const float e = shadow->CalculateMaxVolumeDistance(box, light);
        float m = 0.0f;
        for (const D3DXVECTOR3& c : bar) {
            const D3DXVECTOR3 v = c - light;
            m = std::max(m, D3DXVec3Length(&v));
        }
        const D3DXVECTOR3 toBar = D3DXVECTOR3(std::clamp(light.x, -0.5f, 0.5f), std::clamp(light.y, 2.0f, 3.0f),
                                              std::clamp(light.z, -40.0f, 8.0f)) - light;
        const float nearest = D3DXVec3Length(&toBar);
        const float classic = ClassicFactor(bar, graphics.farPlane, 60.0f, light, D3DXVec3Length(&light));
        EXPECT_GE(e * (1 + 1e-5f), std::min(classic, m / nearest - 1.0f)) << light.z;
        EXPECT_GT(e, 0.3f) << light.z;
    }
}

// −1.0 exactly asks for the automatic factor; −0.5 is used as it stands.
TEST_F(ShadowChannel, AutomaticExtrusionIsAskedForByMinusOneOnly) {
    Kco_DX8_ObjectChannel* cube = Object({Mesh(test_meshes::SoupCube())});
    ShadowOnSpy* shadow = SpyShadow(cube);
    const D3DXVECTOR3 lamp(0.5f, 0.25f, -6);
    for (float e : {-1.0f, -0.5f}) {
        shadow->CreateShadowVolume(lamp, e, false);
        const float used = e == -1.0f ? shadow->CalculateMaxVolumeDistance(cube, lamp) : e;
        const swshadow::ShadowGeometry& g = shadow->Geometry();
        ASSERT_GT(g.extrudedCount, 0);
        const swshadow::ExtrudedVertex& x = g.extrudedVertices[0];
        const D3DXVECTOR3 p = g.positions[x.slot - uint32_t(g.vertexCount)];
        EXPECT_EQ(x.position, p + (p - lamp) * used) << e;
    }
}
