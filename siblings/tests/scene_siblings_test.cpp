// The scene siblings as the plug-ins and the viewer use them: saved settings, boxes,
// skinning, frustum planes from a camera, primitives and model files.
#include <gtest/gtest.h>

#include <vecmath/d3dx_math.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "engine_host.h"
#include "model_import.h"
#include "plugin_frame/siblings/camera_channel.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/siblings/mesh_file.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/object_data_channel.h"
#include "plugin_frame/siblings/primitive_mesh.h"
#include "plugin_frame/siblings/skinned_object_data.h"
#include "plugin_frame/siblings/stencil_shadow_base_object.h"
#include "plugin_frame/siblings/surface_channel.h"
#include "plugin_frame/type_guids.h"
#include "scene_builder.h"

namespace fs = std::filesystem;

namespace {

struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("scene_siblings_" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(dir); }
    ~Scratch() { fs::remove_all(dir); }
    std::string File(const char* name) const { return (dir / name).string(); }
};

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float tolerance, const std::string& what) {
    EXPECT_NEAR(a.x, b.x, tolerance) << what;
    EXPECT_NEAR(a.y, b.y, tolerance) << what;
    EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

}  // namespace

// The order of the virtual operations is the binary interface between libraries: each
// listed operation sits in the slot after the previous one (Itanium C++ ABI: a pointer to
// a virtual member holds 1 + its byte offset in the virtual table).
template <typename... Members>
std::vector<ptrdiff_t> SlotOffsets(Members... members) {
    std::vector<ptrdiff_t> offsets;
    auto offsetOf = [&offsets](auto member) {
        ptrdiff_t word;
        std::memcpy(&word, &member, sizeof(word));
        offsets.push_back(word - 1);
    };
    (offsetOf(members), ...);
    return offsets;
}

void ExpectConsecutive(const std::vector<ptrdiff_t>& offsets, const char* what) {
    for (size_t k = 1; k < offsets.size(); ++k)
        EXPECT_EQ(offsets[k], offsets[k - 1] + ptrdiff_t(sizeof(void*))) << what << " operation " << k;
}

TEST(SlotOrder, OperationsFollowEachOtherAsDeclaredForThePlugIns) {
    using D = Kco_DX8_ObjectDataChannel;
    using BoxWith = void (D::*)(const D3DXMATRIX&, D3DXVECTOR3*, D3DXVECTOR3*);
    using BoxWithout = void (D::*)(D3DXVECTOR3*, D3DXVECTOR3*);
    ExpectConsecutive(SlotOffsets(&Kel_Channel::DoDependencyInit, &D::InvalidateDeviceObjects, &D::InvalidateDirectGraphics,
                                  &D::Release, &D::ReleaseVertexData, &D::UpdateData, &D::StreamVertexData,
                                  &D::StreamTextureMatrices, &D::CreateVertexBuffer, &D::SetVertexCount, &D::GetVertexCount,
                                  &D::SetIndexCount, &D::GetIndexCount, &D::SetIndex, &D::GetIndexes, &D::SetVertexPosition,
                                  &D::GetVertexPosition, &D::SetVertexNormal, &D::GetVertexNormals, &D::SetVertexTUCoord,
                                  &D::GetVertexTUV, &D::SetVertexColor, &D::GetVertexColor, &D::SetPolygonType,
                                  &D::GetPolygonType, &D::MapTexture, &D::GetTextureMapping, &D::MakeSphereTexture,
                                  &D::MakeCylinderTexture, &D::CubicTexture, &D::PlanarTexture, &D::MakeObjectSizeBoundrys),
                      "object data, first part");
    ExpectConsecutive(SlotOffsets(&D::MakeObjectSizeBoundrys, &D::GetVertexPositionUse, &D::GetVertexNormalUse,
                                  &D::GetVertexTUUse, &D::GetVertexColorUse, &D::GetFVFlags, &D::GetVertexSize,
                                  &D::NormalizeTexture, &D::RemapTexture, &D::CalculateTextureCoords, &D::GetTUVOffSet,
                                  &D::SetTUVOffSet, &D::GetBoundingBoxMin, &D::GetBoundingBoxMax, &D::CalculateBoundingBox,
                                  &D::GetIfObjectIsVisible, static_cast<BoxWith>(&D::GetObjectTransformedMinMaxBox),
                                  static_cast<BoxWithout>(&D::GetObjectTransformedMinMaxBox), &D::SetDataToStream,
                                  &D::DoCustomPreRenderStates, &D::SetWorldMatrix, &D::GetWorldMatrix,
                                  &D::SetTextureTransform, &D::GetTextureTransform),
                      "object data, second part");
    using S = Kco_DX8_StencilShadowBaseObject;
    ExpectConsecutive(SlotOffsets(&S::InvalidateDirectGraphics, &S::CreateShadowVolume, &S::DrawCurrentVolume),
                      "stencil shadow base");
    using K = Kco_DX8_SkinnedObjectData;
    ExpectConsecutive(SlotOffsets(&D::GetTextureTransform, &K::GetVertexBlend, &K::GetBlendWeightCount, &K::GetBlendMatrix),
                      "skinned kinds");
    using O = Kco_DX8_ObjectChannel;
    ExpectConsecutive(SlotOffsets(&Kel_Channel::DoDependencyInit, &O::GetObjectMatrix, &O::GetIfObjectIsVisible,
                                  &O::GetBoundingBoxMinMax),
                      "3D object");
    using G = Kco_DX8_DirectGraphicsChannel;
    ExpectConsecutive(SlotOffsets(&Kel_Channel::DoDependencyInit, &G::GetDirect3dDevice, &G::GetCameraMatrix,
                                  &G::GetWorldMatrix, &G::GetViewFrustumPlane, &G::GetProjectionInformation),
                      "direct graphics");
}

// Every saved setting and the mesh come back through a group file; the settings the 3D
// text shares with the base keep their byte layout.
TEST(ObjectData, SavedSettingsAndMeshRoundTrip) {
    Scratch scratch;
    {
        EngineHost host(CHANNELS_DIR);
        auto* data = host.Create<Kco_DX8_ObjectDataChannel>(type_guids::kObjectDataChannel, "mesh");
        ASSERT_NE(data, nullptr);
        data->SetVertexCount(3);
        for (int i = 0; i < 3; ++i) {
            data->SetVertexPosition(D3DXVECTOR3(float(i), float(i * i), -1.0f), i);
            data->SetVertexNormal(D3DXVECTOR3(0, 0, -1), i);
            data->SetVertexTUCoord(1, D3DXVECTOR2{0.25f * i, 1.0f}, i);
            data->SetVertexColor(0xFF102030u + i, i);
        }
        data->SetIndexCount(3);
        for (int i = 0; i < 3; ++i) data->SetIndex(uint16_t(2 - i), i);
        data->SetPolygonType(kPolygonTriangleStrip);
        data->MapTexture(0, kTextureMappingPlanar);
        data->MapTexture(2, kTextureMappingCubic);
        data->SetTUVOffSet(1, VertTUVOffset{0.5f, -0.25f, 1.0f, 0.0f, 2.0f, 3.0f});
        data->SetTextureTransform(1, 2);

        KelFileSaver saver;
        ASSERT_TRUE(data->SaveChannel(saver));
        const std::vector<uint8_t>& bytes = saver.Bytes();
        // "VTO2": tag, length 24, six little-endian floats.
        const uint8_t vto2[] = {'V', 'T', 'O', '2', 24, 0, 0, 0, 0, 0, 0, 0x3F, 0, 0, 0x80, 0xBE, 0, 0, 0x80, 0x3F};
        EXPECT_NE(std::search(bytes.begin(), bytes.end(), std::begin(vto2), std::end(vto2)), bytes.end());
        const uint8_t potm[] = {'P', 'O', 'T', 'M', 12, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0};
        EXPECT_NE(std::search(bytes.begin(), bytes.end(), std::begin(potm), std::end(potm)), bytes.end());
        ASSERT_TRUE(host.Save(scratch.File("mesh.cgr")));
    }
    EngineHost host(CHANNELS_DIR);
    ASSERT_TRUE(host.Load(scratch.File("mesh.cgr")));
    auto* data = static_cast<Kco_DX8_ObjectDataChannel*>(host.Group().FindChannel("mesh"));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->GetTextureMapping(0), kTextureMappingPlanar);
    EXPECT_EQ(data->GetTextureMapping(1), kTextureMappingNone);
    EXPECT_EQ(data->GetTextureMapping(2), kTextureMappingCubic);
    EXPECT_EQ(data->GetTextureTransform(1), 2);
    const VertTUVOffset* offset = data->GetTUVOffSet(1);
    ASSERT_NE(offset, nullptr);
    EXPECT_EQ(offset->offsetU, 0.5f);
    EXPECT_EQ(offset->scaleV, 3.0f);
    EXPECT_EQ(data->GetTUVOffSet(0)->scaleU, 1.0f);
    ASSERT_EQ(data->GetVertexCount(), 3);
    ASSERT_EQ(data->GetIndexCount(), 3);
    EXPECT_EQ(data->GetPolygonType(), kPolygonTriangleStrip);
    for (int i = 0; i < 3; ++i) {
        ExpectNear(data->GetVertexPosition(i), D3DXVECTOR3(float(i), float(i * i), -1.0f), 0.0f, "position");
        EXPECT_EQ(data->GetVertexTUV(1, i).x, 0.25f * i);
        EXPECT_EQ(data->GetVertexColor(i), 0xFF102030u + i);
        EXPECT_EQ(data->GetIndexes(i), 2 - i);
    }
    EXPECT_TRUE(data->GetVertexNormalUse());
    EXPECT_TRUE(data->GetVertexTUUse(0));  // made by the planar mapping
    EXPECT_EQ(data->GetFVFlags(), DWORD(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX3));
    EXPECT_EQ(data->GetVertexSize(), 12 + 12 + 4 + 3 * 8);
}

// Generated texture coordinates at known vertices of a unit box (corners at +-0.5), for
// each mapping, then placed by a VertTUVOffset (scale 2, offset 0.25).
TEST(ObjectData, TextureMappingsAtKnownVertices) {
    EngineHost host(CHANNELS_DIR);
    auto* data = host.Create<Kco_DX8_ObjectDataChannel>(type_guids::kObjectDataChannel);
    ASSERT_NE(data, nullptr);
    const D3DXVECTOR3 corners[3] = {{-0.5f, 0.5f, -0.5f}, {0.5f, -0.5f, 0.5f}, {0.5f, 0.5f, 0.0f}};
    data->SetVertexCount(3);
    for (int i = 0; i < 3; ++i) data->SetVertexPosition(corners[i], i);
    struct Case {
        int mapping;
        D3DXVECTOR2 expected[3];
    };
    const Case cases[] = {
        // Planar: x left to right, y top to bottom.
        {kTextureMappingPlanar, {{0, 0}, {1, 1}, {1, 0}}},
        // Cylinder: angle about y from -x round through +z, height top to bottom.
        {kTextureMappingCylinder, {{0.125f, 0}, {0.625f, 1}, {0.5f, 0}}},
        // Sphere: longitude as the cylinder, latitude from the top pole (0) to the bottom (1).
        {kTextureMappingSphere, {{0.125f, 0.3040867f}, {0.625f, 0.6959133f}, {0.5f, 0.25f}}},
    };
    for (const Case& c : cases) {
        data->SetTUVOffSet(0, VertTUVOffset{});
        data->MapTexture(0, c.mapping);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(data->GetVertexTUV(0, i).x, c.expected[i].x, 1e-5f) << "mapping " << c.mapping << " vertex " << i;
            EXPECT_NEAR(data->GetVertexTUV(0, i).y, c.expected[i].y, 1e-5f) << "mapping " << c.mapping << " vertex " << i;
        }
        data->SetTUVOffSet(0, VertTUVOffset{0.25f, 0.25f, 0.0f, 0.0f, 2.0f, 2.0f});
        data->RemapTexture();
        EXPECT_NEAR(data->GetVertexTUV(0, 1).x, 0.25f + 2.0f * c.expected[1].x, 1e-5f) << "placed, mapping " << c.mapping;
    }
    // Normalising brings any range back to 0..1.
    data->NormalizeTexture(0);
    EXPECT_NEAR(data->GetVertexTUV(0, 0).x, 0.0f, 1e-6f);
    EXPECT_NEAR(data->GetVertexTUV(0, 1).y, 1.0f, 1e-6f);
}

// Release drops the data, and accessors out of range neither crash nor write.
TEST(ObjectData, ReleaseAndOutOfRangeAccess) {
    EngineHost host(CHANNELS_DIR);
    auto* data = host.Create<Kco_DX8_ObjectDataChannel>(type_guids::kObjectDataChannel);
    ASSERT_NE(data, nullptr);
    data->SetVertexCount(2);
    data->SetVertexPosition(D3DXVECTOR3(1, 2, 3), 5);
    data->SetIndex(7, 0);
    EXPECT_EQ(data->GetIndexes(0), 0);
    ExpectNear(data->GetVertexPosition(-1), D3DXVECTOR3(), 0.0f, "out of range");
    data->Release();
    EXPECT_EQ(data->GetVertexCount(), 0);
    EXPECT_EQ(data->GetIndexCount(), 0);
    EXPECT_FALSE(data->GetVertexPositionUse());
}

// Boxes of primitives placed by object matrices, against hand-computed corners; one sweep
// over shapes and placements.
TEST(ObjectBounds, PrimitiveBoxesUnderTheObjectMatrix) {
    D3DXMATRIX quarterTurn;
    D3DXMatrixRotationY(&quarterTurn, 1.5707964f);  // +x goes to -z, +z to +x
    quarterTurn._41 = 10.0f;
    D3DXMATRIX scaled;
    D3DXMatrixScaling(&scaled, 2.0f, 3.0f, 0.5f);
    scaled._42 = -1.0f;
    struct Case {
        const char* name;
        int shape;
        D3DXVECTOR3 size;
        D3DXMATRIX placement;
        D3DXVECTOR3 min, max;
    };
    const Case cases[] = {
        {"box, identity", kPrimitiveBox, {2, 1, 4}, Identity(), {-1, -0.5f, -2}, {1, 0.5f, 2}},
        {"box, quarter turn", kPrimitiveBox, {2, 1, 4}, quarterTurn, {8, -0.5f, -1}, {12, 0.5f, 1}},
        {"sphere, scaled", kPrimitiveSphere, {1, 1, 1}, scaled, {-2, -4, -0.5f}, {2, 2, 0.5f}},
        {"plane, moved", kPrimitivePlane, {6, 0, 2}, Translation(0, 1, 5), {-3, 1, 4}, {3, 1, 6}},
        {"torus, identity", kPrimitiveTorus, {2, 0.5f, 0}, Identity(), {-2.5f, -0.5f, -2.5f}, {2.5f, 0.5f, 2.5f}},
    };
    for (const Case& c : cases) {
        EngineHost host(CHANNELS_DIR);
        scene::SceneBuilder builder(host);
        // Round shapes with 4 x 2 cells put vertices on the axes, so their boxes are exact.
        Kco_DX8_ObjectChannel* object = builder.AddPrimitive("object", c.shape, c.size, 4, 4, {1, 1, 1, 1}, c.placement);
        ASSERT_NE(object, nullptr) << c.name;
        D3DXVECTOR3 lo, hi;
        object->GetBoundingBoxMinMax(&lo, &hi);
        ExpectNear(lo, c.min, 1e-4f, c.name);
        ExpectNear(hi, c.max, 1e-4f, c.name);
        // The mesh measures the same box when given the object's matrix.
        Kco_DX8_ObjectDataChannel* mesh = object->GetSurface(0)->GetMesh();
        mesh->GetObjectTransformedMinMaxBox(c.placement, &lo, &hi);
        ExpectNear(lo, c.min, 1e-4f, c.name);
    }
}

// A 3D object's time stamp tells readers (the shadow object) when to read its geometry
// again: after a mesh changed or a surface was linked, not after the object moved.
TEST(ObjectBounds, TimeStampFollowsGeometryNotPlacement) {
    EngineHost host(CHANNELS_DIR);
    scene::SceneBuilder builder(host);
    Kco_DX8_ObjectChannel* object = builder.AddPrimitive("object", kPrimitiveBox, {1, 1, 1}, 1, 1, {1, 1, 1, 1}, Identity());
    ASSERT_NE(object, nullptr);
    const uint32_t first = object->GetTimeStamp();
    EXPECT_EQ(object->GetTimeStamp(), first);
    object->SetObjectMatrix(Translation(3, 0, 0));
    EXPECT_EQ(object->GetTimeStamp(), first);

    auto* mesh = static_cast<Kco_DX8_PrimitiveMesh*>(object->GetSurface(0)->GetMesh());
    mesh->SetShape(kPrimitiveSphere);
    mesh->UpdateData();
    const uint32_t rebuilt = object->GetTimeStamp();
    EXPECT_NE(rebuilt, first);

    auto* surface = host.Create<Kco_DX8_SurfaceChannel>(type_guids::kSurfaceChannel);
    ASSERT_TRUE(host.Link(object, surface, 0));
    EXPECT_NE(object->GetTimeStamp(), rebuilt);
    EXPECT_EQ(object->GetSurfaceCount(), 2);
}

// Triangles of every primitive face the way their normals do (clockwise seen from there,
// the front side under the default culling), and a closed shape's normals point outwards.
TEST(Primitives, WindingFollowsTheNormals) {
    EngineHost host(CHANNELS_DIR);
    for (int shape : {kPrimitiveBox, kPrimitiveSphere, kPrimitivePlane, kPrimitiveTorus}) {
        auto* mesh = host.Create<Kco_DX8_PrimitiveMesh>(type_guids::kPrimitiveMesh);
        ASSERT_NE(mesh, nullptr);
        mesh->SetShape(shape);
        mesh->SetSize(D3DXVECTOR3(2, 0.5f, 2));
        mesh->SetTessellation(12, 6);
        mesh->UpdateData();
        ASSERT_GT(mesh->GetIndexCount(), 0) << shape;
        ASSERT_EQ(mesh->GetIndexCount() % 3, 0);
        for (int t = 0; t < mesh->GetIndexCount(); t += 3) {
            const D3DXVECTOR3 a = mesh->GetVertexPosition(mesh->GetIndexes(t));
            const D3DXVECTOR3 b = mesh->GetVertexPosition(mesh->GetIndexes(t + 1));
            const D3DXVECTOR3 c = mesh->GetVertexPosition(mesh->GetIndexes(t + 2));
            D3DXVECTOR3 e1 = b - a, e2 = c - a, n;
            D3DXVec3Cross(&n, &e1, &e2);
            const D3DXVECTOR3 facing = mesh->GetVertexNormals(mesh->GetIndexes(t));
            ASSERT_GT(D3DXVec3Dot(&n, &facing), 0.0f) << "shape " << shape << " triangle " << t / 3;
            if (shape == kPrimitiveBox || shape == kPrimitiveSphere) {
                const D3DXVECTOR3 centroid = (a + b + c) / 3.0f;
                ASSERT_GT(D3DXVec3Dot(&n, &centroid), 0.0f) << "shape " << shape;
            }
        }
    }
}

// With one weight in use, a vertex follows blend matrix 0 alone, whatever its other
// weights and matrix numbers say; bones come from the matrix channels on the "Bones" link.
TEST(SkinnedObjectData, OneWeightFollowsBoneZeroAlone) {
    EngineHost host(CHANNELS_DIR);
    for (const GUID& kind : {type_guids::kSkinnedObjectData, type_guids::kBoneOffsetObjectData}) {
        auto* skin = host.Create<Kco_DX8_SkinnedObjectData>(kind);
        ASSERT_NE(skin, nullptr);
        EXPECT_TRUE(skin->IsOfType(type_guids::kObjectDataChannel));
        auto* bone0 = host.Create<Kco_MatrixChannel>(type_guids::kMatrixChannel);
        auto* bone1 = host.Create<Kco_MatrixChannel>(type_guids::kMatrixChannel);
        bone0->SetMatrix(Translation(5, 0, 0));
        bone1->SetMatrix(Translation(0, 100, 0));
        ASSERT_TRUE(host.Link(skin, bone0, 2));
        ASSERT_TRUE(host.Link(skin, bone1, 2));
        skin->SetVertexCount(2);
        skin->SetVertexPosition(D3DXVECTOR3(1, 2, 3), 0);
        skin->SetVertexPosition(D3DXVECTOR3(-1, 0, 0), 1);
        // Vertex 0 names bone 1 second with a large weight; vertex 1 is split evenly.
        skin->SetVertexBlend(VertexBlend{{0.25f, 0.5f, 0.25f}, 0x03020100u}, 0);
        skin->SetVertexBlend(VertexBlend{{0.5f, 0.0f, 0.0f}, 0x00000100u}, 1);
        skin->SetBlendWeightCount(1);
        ExpectNear(skin->GetBlendedVertexPosition(0), D3DXVECTOR3(6, 2, 3), 1e-5f, "one weight");
        ExpectNear(skin->GetBlendedVertexPosition(1), D3DXVECTOR3(4, 0, 0), 1e-5f, "one weight");
        // Two weights: the second takes what the first leaves.
        skin->SetBlendWeightCount(2);
        ExpectNear(skin->GetBlendedVertexPosition(1), D3DXVECTOR3(1.5f, 50, 0), 1e-4f, "two weights");
        // A bone with no channel on the link uses the stored matrix.
        skin->SetBlendMatrix(3, Translation(0, 0, 7));
        D3DXMATRIX m = skin->GetBlendMatrix(3);
        EXPECT_FLOAT_EQ(m._43, 7.0f);
        EXPECT_EQ(skin->GetVertexBlend(0).matrixNumbers, 0x03020100u);
    }
}

// The second kind puts the bone's offset before the bone's matrix.
TEST(SkinnedObjectData, BoneOffsetComesFirst) {
    EngineHost host(CHANNELS_DIR);
    auto* skin = host.Create<Kco_DX8_BoneOffsetObjectData>(type_guids::kBoneOffsetObjectData);
    ASSERT_NE(skin, nullptr);
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, 1.5707964f);  // +x goes to +y
    skin->SetBlendMatrix(0, turn);
    skin->SetBoneOffset(0, Translation(1, 0, 0));
    skin->SetVertexCount(1);
    skin->SetVertexPosition(D3DXVECTOR3(1, 0, 0), 0);
    // Offset first: (2, 0, 0), then the quarter turn: (0, 2, 0).
    ExpectNear(skin->GetBlendedVertexPosition(0), D3DXVECTOR3(0, 2, 0), 1e-5f, "offset then bone");
}

// A camera 10 before the origin looking along +z with a 90 degree vertical field of view,
// near 1 and far 100, on a 4:3 target: the six planes by hand.
TEST(CameraFrustum, PlanesMatchHandComputedOnes) {
    EngineHost host(CHANNELS_DIR);
    scene::SceneBuilder builder(host);
    Kco_DX8_Camera* camera = builder.AddCamera("camera", {0, 0, -10}, {0, 0, 0}, 1.5707964f, 1.0f, 100.0f);
    ASSERT_NE(camera, nullptr);
    ASSERT_TRUE(camera->Apply());
    Kco_DX8_DirectGraphicsChannel* graphics = camera->GetDirectGraphics();
    ASSERT_NE(graphics, nullptr);
    const float r = 1.0f / std::sqrt(2.0f);
    // Left and right open at atan(4/3) about the view axis: normals (+-3/5, 0, 4/5).
    const D3DXPLANE expected[6] = {
        {0.6f, 0, 0.8f, 8.0f}, {-0.6f, 0, 0.8f, 8.0f},  // left, right
        {0, -r, r, 10 * r},    {0, r, r, 10 * r},       // top, bottom
        {0, 0, -1, 90.0f},     {0, 0, 1, 9.0f},         // far (z = 90), near (z = -9)
    };
    for (int p = 0; p < 6; ++p) {
        const D3DXPLANE plane = graphics->GetViewFrustumPlane(p);
        EXPECT_NEAR(plane.a, expected[p].a, 1e-4f) << "plane " << p;
        EXPECT_NEAR(plane.b, expected[p].b, 1e-4f) << "plane " << p;
        EXPECT_NEAR(plane.c, expected[p].c, 1e-4f) << "plane " << p;
        EXPECT_NEAR(plane.d, expected[p].d, 1e-3f) << "plane " << p;
    }
    EXPECT_FLOAT_EQ(graphics->GetProjectionInformation()->farClip, 100.0f);
    EXPECT_FLOAT_EQ(reinterpret_cast<const float*>(graphics->GetProjectionInformation())[1], 100.0f);
}

// A model file becomes one part per mesh, with the device's handedness: an OBJ triangle
// that faces +z in the file (counter-clockwise seen from +z) faces -z after reading.
TEST(ModelFile, ObjReadsIntoPartsAndMeshChannels) {
    Scratch scratch;
    {
        std::ofstream obj(scratch.File("two.obj"));
        obj << "o first\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
               "o second\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\nf 4 5 6 7\n";
    }
    const model::Model m = model::ReadModel(scratch.File("two.obj"));
    ASSERT_TRUE(m.error.empty()) << m.error;
    ASSERT_EQ(m.parts.size(), 2u);
    EXPECT_EQ(m.parts[0].indices.size(), 3u);
    EXPECT_EQ(m.parts[1].indices.size(), 6u);  // the quad, triangulated
    const auto& p = m.parts[0].positions;
    const auto& i = m.parts[0].indices;
    D3DXVECTOR3 e1 = p[i[1]] - p[i[0]], e2 = p[i[2]] - p[i[0]], n;
    D3DXVec3Cross(&n, &e1, &e2);
    // Clockwise-front: the cross product points to the side the face is seen from, and
    // mirroring z turns the file's +z into -z.
    EXPECT_LT(n.z, 0.0f);
    ASSERT_FALSE(m.parts[0].normals.empty());
    EXPECT_NEAR(m.parts[0].normals[0].z, -1.0f, 1e-5f);

    // Refused rather than split when asked, with the mesh named.
    const model::Model refused = model::ReadModel(scratch.File("two.obj"), model::SplitRule::kRefuse, 3);
    EXPECT_TRUE(refused.parts.empty());
    EXPECT_NE(refused.error.find("second"), std::string::npos) << refused.error;
    EXPECT_NE(refused.error.find("4 vertices"), std::string::npos) << refused.error;

    // Through the channels, relative to a saved group's folder.
    EngineHost host(CHANNELS_DIR);
    scene::SceneBuilder builder(host);
    std::string error;
    Kco_DX8_ObjectChannel* object = builder.AddModel("model", scratch.File("two.obj"), Identity(), &error);
    ASSERT_NE(object, nullptr) << error;
    ASSERT_EQ(object->GetSurfaceCount(), 2);
    D3DXVECTOR3 lo, hi;
    object->GetBoundingBoxMinMax(&lo, &hi);
    EXPECT_NEAR(hi.x - lo.x, 1.0f, 1e-6f);
    EXPECT_NEAR(hi.z - lo.z, 1.0f, 1e-6f);
    auto* mesh = host.Create<Kco_DX8_MeshFile>(type_guids::kMeshFile, "missing");
    mesh->SetMeshFile("nothing-here.obj", 0);
    mesh->UpdateData();
    EXPECT_EQ(mesh->GetVertexCount(), 0);
    ASSERT_FALSE(host.Engine().GetDebugMessages().empty());

    // A project names its model files relative to its group file, which is read again
    // after loading (the vertices are not saved).
    auto* relative = host.Create<Kco_DX8_MeshFile>(type_guids::kMeshFile, "relative");
    relative->SetMeshFile("two.obj", 1);
    ASSERT_TRUE(host.Save(scratch.File("project.cgr")));
    EngineHost loaded(CHANNELS_DIR);
    ASSERT_TRUE(loaded.Load(scratch.File("project.cgr")));
    auto* again = static_cast<Kco_DX8_MeshFile*>(loaded.Group().FindChannel("relative"));
    ASSERT_NE(again, nullptr);
    EXPECT_STREQ(again->GetMeshFile(), "two.obj");
    again->UpdateData();
    EXPECT_EQ(again->GetVertexCount(), 4);
    EXPECT_EQ(again->GetIndexCount(), 6);
}

// A glTF 2.0 triangle under a node moved 5 along +z lands at z = -5 once mirrored, facing -z.
TEST(ModelFile, GltfNodeTransformsApply) {
    Scratch scratch;
    std::ofstream(scratch.File("tri.gltf")) << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0,"translation":[0,0,5],"name":"moved"}],"meshes":[{"name":"tri","primitives":[{"attributes":{"POSITION":0},"indices":1}]}],"buffers":[{"byteLength":44,"uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAAAAABAAIAAAA="}],"bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":6}],"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},{"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"}]})";
    const model::Model m = model::ReadModel(scratch.File("tri.gltf"));
    ASSERT_TRUE(m.error.empty()) << m.error;
    ASSERT_EQ(m.parts.size(), 1u);
    ASSERT_EQ(m.parts[0].positions.size(), 3u);
    for (const D3DXVECTOR3& p : m.parts[0].positions) EXPECT_FLOAT_EQ(p.z, -5.0f);
    EXPECT_NEAR(m.parts[0].normals[0].z, -1.0f, 1e-5f);
}

// A file is read only as the kind its name ends in, and only kinds whose readers hold up.
// Handed to every other reader in turn, this one (found by fuzzing) made one of them read
// past the end of the file; the damaged PLY header made the PLY reader loop for ever.
TEST(ModelFile, ContentOfAnotherKindIsRefusedByName) {
    Scratch scratch;
    const std::string notGltf = "geometrynode222222{nolgeom\xff" "de\xff" "2m2#";
    static const char kDamagedPly[] =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty floc\xf7 1\n"
        "property list uchar int vertex_indices\nend_h\x01\0der\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    std::ofstream(scratch.File("damaged.ply"), std::ios::binary) << std::string(kDamagedPly, sizeof kDamagedPly - 1);
    const model::Model ply = model::ReadModel(scratch.File("damaged.ply"));
    EXPECT_NE(ply.error.find("read as .obj, .gltf, .glb, .stl or .off"), std::string::npos) << ply.error;
    for (const char* name : {"other.gltf", "other.obj", "other.stl", "other.off", "other.x", "other"}) {
        std::ofstream(scratch.File(name), std::ios::binary) << notGltf;
        const model::Model m = model::ReadModel(scratch.File(name));
        EXPECT_TRUE(m.parts.empty()) << name;
        EXPECT_NE(m.error.find("can't read model"), std::string::npos) << name << ": " << m.error;
    }
    std::ofstream(scratch.File("real.off")) << "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    const model::Model off = model::ReadModel(scratch.File("real.off"));
    EXPECT_TRUE(off.error.empty()) << off.error;
    EXPECT_EQ(off.parts.size(), 1u);
}

// Splitting keeps every triangle, each part within the limit and naming its own vertices.
TEST(ModelFile, SplitKeepsTrianglesWithinTheLimit) {
    model::MeshPart strip;
    std::vector<uint32_t> triangles;
    for (int v = 0; v < 40; ++v) strip.positions.emplace_back(float(v), float(v % 2), 0.0f);
    for (uint32_t t = 0; t + 2 < 40; ++t) triangles.insert(triangles.end(), {t, t + 1, t + 2});
    const std::vector<model::MeshPart> parts = model::SplitPart(strip, triangles, 7);
    size_t triangleTotal = 0;
    size_t t = 0;
    for (const model::MeshPart& part : parts) {
        EXPECT_LE(part.positions.size(), 7u);
        for (size_t k = 0; k < part.indices.size(); ++k, ++t) {
            ASSERT_LT(part.indices[k], part.positions.size());
            EXPECT_EQ(part.positions[part.indices[k]].x, float(triangles[t]));
        }
        triangleTotal += part.indices.size() / 3;
    }
    EXPECT_EQ(triangleTotal, triangles.size() / 3);
    EXPECT_GT(parts.size(), 1u);
}
