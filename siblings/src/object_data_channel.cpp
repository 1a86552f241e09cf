#include "plugin_frame/siblings/object_data_channel.h"

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_ObjectDataChannel,
                       (ChannelTypeInfo{"DX8 ObjectData", type_guids::kObjectDataChannel, type_guids::kD3DDeviceUse, 0}))

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

bool ValidSet(int set) { return set >= 0 && set < 3; }

template <typename T>
void SaveArray(KelFileSaver& saver, const char* tag, const std::vector<T>& data) {
    saver.SaveTag(tag);
    saver.SaveBlockSize(uint32_t(data.size() * sizeof(T)));
    if (!data.empty()) saver.SaveDataToFile(data.data(), uint32_t(data.size() * sizeof(T)));
}

// Reads an array record of exactly `count` elements; a record of another size is skipped.
template <typename T>
bool LoadArray(KelFileLoader& loader, const char* tag, std::vector<T>& data, size_t count) {
    if (!loader.GetInfoIfTag(tag)) return false;
    if (loader.GetTagDataSize() != count * sizeof(T)) {
        loader.TakeTagData();
        return false;
    }
    data.resize(count);
    return count == 0 || loader.CopyTagDataToPointer(data.data(), uint32_t(count * sizeof(T)));
}

int PrimitiveCount(int type, int n) {
    switch (type) {
        case kPolygonPointList: return n;
        case kPolygonLineList: return n / 2;
        case kPolygonLineStrip: return std::max(n - 1, 0);
        case kPolygonTriangleList: return n / 3;
        case kPolygonTriangleStrip:
        case kPolygonTriangleFan: return std::max(n - 2, 0);
        default: return 0;
    }
}

}  // namespace

Kco_DX8_ObjectDataChannel::Kco_DX8_ObjectDataChannel() {
    SetChannelName("DX8 ObjectData");
    D3DXMatrixIdentity(&worldMatrix);
    SetChildCreationCount(2);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, 0, false, "Texture Matrix Set 0"), 0);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, 1, false, "Texture Matrix Set 1"), 1);
}

Kco_DX8_ObjectDataChannel::Kco_DX8_ObjectDataChannel(const Kco_DX8_ObjectDataChannel& other)
    : Kco_DX8_D3DDeviceUse(other) {
    *this = other;
}

Kco_DX8_ObjectDataChannel& Kco_DX8_ObjectDataChannel::operator=(const Kco_DX8_ObjectDataChannel& other) {
    if (this == &other) return *this;
    ReleaseVertexData();
    Kco_DX8_D3DDeviceUse::operator=(other);
    std::memcpy(textureMapping, other.textureMapping, sizeof(textureMapping));
    std::copy(std::begin(other.vertTUVOffset), std::end(other.vertTUVOffset), vertTUVOffset);
    std::memcpy(textureTransform, other.textureTransform, sizeof(textureTransform));
    boundingBoxValid = other.boundingBoxValid;
    positions = other.positions;
    normals = other.normals;
    for (int s = 0; s < 3; ++s) texCoords[s] = other.texCoords[s], texCoordUse[s] = other.texCoordUse[s];
    colors = other.colors;
    indices = other.indices;
    positionUse = other.positionUse;
    normalUse = other.normalUse;
    colorUse = other.colorUse;
    polygonType = other.polygonType;
    boxMin = other.boxMin;
    boxMax = other.boxMax;
    worldMatrix = other.worldMatrix;
    buffersStale = stampStale = true;
    return *this;
}

Kco_DX8_ObjectDataChannel::~Kco_DX8_ObjectDataChannel() { ReleaseVertexData(); }

// ---- Kel_Channel ----

// Only brings the data up to date: the frame renderer draws the mesh through the surface
// that shows it, after clearing the frame, so a draw here would only be cleared away.
void Kco_DX8_ObjectDataChannel::CallChannel() { UpdateData(); }

void Kco_DX8_ObjectDataChannel::SaveObjectDataSettings(KelFileSaver& saver) {
    SaveField(saver, "POTM", textureMapping);
    static const char* const kOffsetTags[3] = {"VTOP", "VTO2", "VTO3"};
    for (int s = 0; s < 3; ++s) {
        const VertTUVOffset& o = vertTUVOffset[s];
        const float values[6] = {o.offsetU, o.offsetV, o.rotation, o.axisRotation, o.scaleU, o.scaleV};
        SaveField(saver, kOffsetTags[s], values);
    }
    SaveField(saver, "POTT", textureTransform);
}

void Kco_DX8_ObjectDataChannel::LoadObjectDataSettings(KelFileLoader& loader) {
    LoadField(loader, "POTM", textureMapping);
    static const char* const kOffsetTags[3] = {"VTOP", "VTO2", "VTO3"};
    for (int s = 0; s < 3; ++s) {
        VertTUVOffset& o = vertTUVOffset[s];
        float values[6] = {o.offsetU, o.offsetV, o.rotation, o.axisRotation, o.scaleU, o.scaleV};
        if (LoadField(loader, kOffsetTags[s], values))
            o = VertTUVOffset{values[0], values[1], values[2], values[3], values[4], values[5]};
    }
    LoadField(loader, "POTT", textureTransform);
}

// Mesh records: "ODPT" polygon type, "ODVC"/"ODIC" counts, then the arrays in use.
void Kco_DX8_ObjectDataChannel::SaveMeshData(KelFileSaver& saver) {
    SaveField(saver, "ODPT", int32_t(polygonType));
    SaveField(saver, "ODVC", uint32_t(positions.size()));
    SaveField(saver, "ODIC", uint32_t(indices.size()));
    if (positionUse) SaveArray(saver, "ODPO", positions);
    if (normalUse) SaveArray(saver, "ODNO", normals);
    static const char* const kSetTags[3] = {"ODT0", "ODT1", "ODT2"};
    for (int s = 0; s < 3; ++s)
        if (texCoordUse[s]) SaveArray(saver, kSetTags[s], texCoords[s]);
    if (colorUse) SaveArray(saver, "ODCO", colors);
    if (!indices.empty()) SaveArray(saver, "ODIN", indices);
}

void Kco_DX8_ObjectDataChannel::LoadMeshData(KelFileLoader& loader) {
    int32_t type = polygonType;
    if (LoadField(loader, "ODPT", type)) polygonType = type;
    uint32_t vertexCount = 0, indexCount = 0;
    LoadField(loader, "ODVC", vertexCount);
    LoadField(loader, "ODIC", indexCount);
    // A count larger than 16-bit indices can address is a damaged record.
    if (vertexCount > 65536u || indexCount > (1u << 24)) vertexCount = indexCount = 0;
    SetVertexCount(int(vertexCount));
    SetIndexCount(int(indexCount));
    positionUse = LoadArray(loader, "ODPO", positions, vertexCount);
    normalUse = LoadArray(loader, "ODNO", normals, vertexCount);
    static const char* const kSetTags[3] = {"ODT0", "ODT1", "ODT2"};
    for (int s = 0; s < 3; ++s) texCoordUse[s] = LoadArray(loader, kSetTags[s], texCoords[s], vertexCount);
    colorUse = LoadArray(loader, "ODCO", colors, vertexCount);
    LoadArray(loader, "ODIN", indices, indexCount);
    // Indices naming vertices the data does not hold would read past the buffers.
    for (uint16_t& i : indices)
        if (i >= vertexCount) i = 0;
    MarkDataChanged();
}

bool Kco_DX8_ObjectDataChannel::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    SaveObjectDataSettings(saver);
    SaveMeshData(saver);
    return true;
}

bool Kco_DX8_ObjectDataChannel::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    LoadObjectDataSettings(loader);
    LoadMeshData(loader);
    return true;
}

void Kco_DX8_ObjectDataChannel::DoDependencyInit(Kel_List* list) {
    Kco_DX8_D3DDeviceUse::DoDependencyInit(list);
    AddChannelGuidDepend(type_guids::kMatrixChannel, list);
}

void Kco_DX8_ObjectDataChannel::InvalidateDeviceObjects() { ReleaseVertexData(); }

// ---- data ----

void Kco_DX8_ObjectDataChannel::MarkDataChanged() {
    boundingBoxValid = false;
    buffersStale = true;
    stampStale = true;
}

uint32_t Kco_DX8_ObjectDataChannel::GetTimeStamp() {
    if (stampStale) {
        stampStale = false;
        SetTimeStamp();
    }
    return Kel_Channel::GetTimeStamp();
}

void Kco_DX8_ObjectDataChannel::Release() {
    ReleaseVertexData();
    positions.clear();
    normals.clear();
    for (auto& set : texCoords) set.clear();
    colors.clear();
    indices.clear();
    positionUse = normalUse = colorUse = false;
    std::fill(std::begin(texCoordUse), std::end(texCoordUse), false);
    MarkDataChanged();
}

void Kco_DX8_ObjectDataChannel::ReleaseVertexData() {
    if (vertexBuffer) vertexBuffer->Release();
    if (indexBuffer) indexBuffer->Release();
    vertexBuffer = nullptr;
    indexBuffer = nullptr;
    buffersStale = true;
}

void Kco_DX8_ObjectDataChannel::UpdateData() {}

void Kco_DX8_ObjectDataChannel::SetVertexCount(int count) {
    count = std::max(count, 0);
    positions.resize(count);
    normals.resize(count);
    for (auto& set : texCoords) set.resize(count);
    colors.resize(count, 0xFFFFFFFFu);
    MarkDataChanged();
}

int Kco_DX8_ObjectDataChannel::GetVertexCount() { return int(positions.size()); }

void Kco_DX8_ObjectDataChannel::SetIndexCount(int count) {
    indices.resize(std::max(count, 0));
    buffersStale = stampStale = true;
}

int Kco_DX8_ObjectDataChannel::GetIndexCount() { return int(indices.size()); }

void Kco_DX8_ObjectDataChannel::SetIndex(uint16_t index, int i) {
    if (i < 0 || i >= int(indices.size())) return;
    indices[i] = index;
    buffersStale = stampStale = true;
}

uint16_t Kco_DX8_ObjectDataChannel::GetIndexes(int i) {
    return i >= 0 && i < int(indices.size()) ? indices[i] : uint16_t(0);
}

void Kco_DX8_ObjectDataChannel::SetVertexPosition(const D3DXVECTOR3& p, int i) {
    if (i < 0 || i >= int(positions.size())) return;
    positions[i] = p;
    positionUse = true;
    MarkDataChanged();
}

D3DXVECTOR3 Kco_DX8_ObjectDataChannel::GetVertexPosition(int i) {
    return i >= 0 && i < int(positions.size()) ? positions[i] : D3DXVECTOR3();
}

void Kco_DX8_ObjectDataChannel::SetVertexNormal(const D3DXVECTOR3& n, int i) {
    if (i < 0 || i >= int(normals.size())) return;
    normals[i] = n;
    normalUse = true;
    buffersStale = true;
}

D3DXVECTOR3 Kco_DX8_ObjectDataChannel::GetVertexNormals(int i) {
    return i >= 0 && i < int(normals.size()) ? normals[i] : D3DXVECTOR3();
}

void Kco_DX8_ObjectDataChannel::SetVertexTUCoord(int set, const D3DXVECTOR2& uv, int i) {
    if (!ValidSet(set) || i < 0 || i >= int(texCoords[set].size())) return;
    texCoords[set][i] = uv;
    texCoordUse[set] = true;
    buffersStale = true;
}

D3DXVECTOR2 Kco_DX8_ObjectDataChannel::GetVertexTUV(int set, int i) {
    if (!ValidSet(set) || i < 0 || i >= int(texCoords[set].size())) return D3DXVECTOR2{0.0f, 0.0f};
    return texCoords[set][i];
}

void Kco_DX8_ObjectDataChannel::SetVertexColor(DWORD color, int i) {
    if (i < 0 || i >= int(colors.size())) return;
    colors[i] = color;
    colorUse = true;
    buffersStale = true;
}

DWORD Kco_DX8_ObjectDataChannel::GetVertexColor(int i) {
    return i >= 0 && i < int(colors.size()) ? colors[i] : 0xFFFFFFFFu;
}

void Kco_DX8_ObjectDataChannel::SetPolygonType(int type) {
    if (type != polygonType) stampStale = true;
    polygonType = type;
}

int Kco_DX8_ObjectDataChannel::GetPolygonType() { return polygonType; }

// ---- texture coordinates ----

void Kco_DX8_ObjectDataChannel::MapTexture(int set, int mapping) {
    if (!ValidSet(set)) return;
    textureMapping[set] = mapping;
    CalculateTextureCoords(set);
}

int Kco_DX8_ObjectDataChannel::GetTextureMapping(int set) { return ValidSet(set) ? textureMapping[set] : 0; }

namespace {

// Position relative to the box centre, turned about y by the set's axis rotation, and the
// box's half extents (never zero, so flat meshes divide safely).
struct MappingFrame {
    D3DXVECTOR3 centre;
    D3DXVECTOR3 half;
    float cosA, sinA;

    D3DXVECTOR3 Local(const D3DXVECTOR3& p) const {
        D3DXVECTOR3 d = p - centre;
        return {cosA * d.x - sinA * d.z, d.y, sinA * d.x + cosA * d.z};
    }
};

D3DXVECTOR2 Place(D3DXVECTOR2 uv, const VertTUVOffset& o) {
    const float c = std::cos(o.rotation), s = std::sin(o.rotation);
    const float u = uv.x - 0.5f, v = uv.y - 0.5f;
    return {o.offsetU + o.scaleU * (c * u - s * v + 0.5f), o.offsetV + o.scaleV * (s * u + c * v + 0.5f)};
}

}  // namespace

// Every mapping ends here: `project` gives the raw (u, v) of a vertex in the mapping frame.
template <typename Project>
static void FillSet(Kco_DX8_ObjectDataChannel& data, int set, const VertTUVOffset& offset, Project project) {
    data.CalculateBoundingBox();
    const D3DXVECTOR3 lo = data.GetBoundingBoxMin(), hi = data.GetBoundingBoxMax();
    MappingFrame frame{(lo + hi) * 0.5f, (hi - lo) * 0.5f, std::cos(offset.axisRotation), std::sin(offset.axisRotation)};
    const float floor = 1e-6f;
    frame.half = D3DXVECTOR3(std::max(frame.half.x, floor), std::max(frame.half.y, floor), std::max(frame.half.z, floor));
    for (int i = 0; i < data.GetVertexCount(); ++i) {
        const D3DXVECTOR3 local = frame.Local(data.GetVertexPosition(i));
        data.SetVertexTUCoord(set, Place(project(local, frame.half, data.GetVertexNormals(i)), offset), i);
    }
}

void Kco_DX8_ObjectDataChannel::PlanarTexture(int set) {
    if (!ValidSet(set)) return;
    FillSet(*this, set, vertTUVOffset[set], [](const D3DXVECTOR3& p, const D3DXVECTOR3& h, const D3DXVECTOR3&) {
        return D3DXVECTOR2{0.5f + 0.5f * p.x / h.x, 0.5f - 0.5f * p.y / h.y};
    });
}

void Kco_DX8_ObjectDataChannel::MakeCylinderTexture(int set) {
    if (!ValidSet(set)) return;
    FillSet(*this, set, vertTUVOffset[set], [](const D3DXVECTOR3& p, const D3DXVECTOR3& h, const D3DXVECTOR3&) {
        return D3DXVECTOR2{std::atan2(p.z, p.x) / (2.0f * kPi) + 0.5f, 0.5f - 0.5f * p.y / h.y};
    });
}

void Kco_DX8_ObjectDataChannel::MakeSphereTexture(int set) {
    if (!ValidSet(set)) return;
    FillSet(*this, set, vertTUVOffset[set], [](const D3DXVECTOR3& p, const D3DXVECTOR3&, const D3DXVECTOR3&) {
        const float length = D3DXVec3Length(&p);
        const float y = length > 0.0f ? std::clamp(p.y / length, -1.0f, 1.0f) : 0.0f;
        return D3DXVECTOR2{std::atan2(p.z, p.x) / (2.0f * kPi) + 0.5f, std::acos(y) / kPi};
    });
}

void Kco_DX8_ObjectDataChannel::CubicTexture(int set) {
    if (!ValidSet(set)) return;
    const bool haveNormals = normalUse;
    FillSet(*this, set, vertTUVOffset[set], [haveNormals](const D3DXVECTOR3& p, const D3DXVECTOR3& h, const D3DXVECTOR3& n) {
        // The face is chosen by the normal, or by the position for meshes without normals.
        const D3DXVECTOR3 d = haveNormals ? n : D3DXVECTOR3(p.x / h.x, p.y / h.y, p.z / h.z);
        const float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
        if (ax >= ay && ax >= az) return D3DXVECTOR2{0.5f + 0.5f * p.z / h.z, 0.5f - 0.5f * p.y / h.y};
        if (ay >= az) return D3DXVECTOR2{0.5f + 0.5f * p.x / h.x, 0.5f - 0.5f * p.z / h.z};
        return D3DXVECTOR2{0.5f + 0.5f * p.x / h.x, 0.5f - 0.5f * p.y / h.y};
    });
}

void Kco_DX8_ObjectDataChannel::NormalizeTexture(int set) {
    if (!ValidSet(set) || texCoords[set].empty()) return;
    D3DXVECTOR2 lo = texCoords[set][0], hi = lo;
    for (const D3DXVECTOR2& uv : texCoords[set]) {
        lo = {std::min(lo.x, uv.x), std::min(lo.y, uv.y)};
        hi = {std::max(hi.x, uv.x), std::max(hi.y, uv.y)};
    }
    const float du = hi.x - lo.x, dv = hi.y - lo.y;
    for (D3DXVECTOR2& uv : texCoords[set])
        uv = {du > 0.0f ? (uv.x - lo.x) / du : 0.0f, dv > 0.0f ? (uv.y - lo.y) / dv : 0.0f};
    buffersStale = true;
}

void Kco_DX8_ObjectDataChannel::RemapTexture() {
    for (int s = 0; s < 3; ++s)
        if (textureMapping[s] != kTextureMappingNone) CalculateTextureCoords(s);
}

void Kco_DX8_ObjectDataChannel::CalculateTextureCoords(int set) {
    if (!ValidSet(set)) return;
    switch (textureMapping[set]) {
        case kTextureMappingPlanar: PlanarTexture(set); break;
        case kTextureMappingCylinder: MakeCylinderTexture(set); break;
        case kTextureMappingSphere: MakeSphereTexture(set); break;
        case kTextureMappingCubic: CubicTexture(set); break;
        default: break;
    }
}

VertTUVOffset* Kco_DX8_ObjectDataChannel::GetTUVOffSet(int set) { return ValidSet(set) ? &vertTUVOffset[set] : nullptr; }

void Kco_DX8_ObjectDataChannel::SetTUVOffSet(int set, const VertTUVOffset& offset) {
    if (ValidSet(set)) vertTUVOffset[set] = offset;
}

// ---- bounding box and visibility ----

void Kco_DX8_ObjectDataChannel::MakeObjectSizeBoundrys() {
    if (positions.empty()) {
        boxMin = boxMax = D3DXVECTOR3();
    } else {
        boxMin = boxMax = positions[0];
        for (const D3DXVECTOR3& p : positions) {
            D3DXVec3Minimize(&boxMin, &boxMin, &p);
            D3DXVec3Maximize(&boxMax, &boxMax, &p);
        }
    }
    boundingBoxValid = true;
}

D3DXVECTOR3 Kco_DX8_ObjectDataChannel::GetBoundingBoxMin() {
    CalculateBoundingBox();
    return boxMin;
}

D3DXVECTOR3 Kco_DX8_ObjectDataChannel::GetBoundingBoxMax() {
    CalculateBoundingBox();
    return boxMax;
}

void Kco_DX8_ObjectDataChannel::CalculateBoundingBox() {
    if (!boundingBoxValid) MakeObjectSizeBoundrys();
}

bool Kco_DX8_ObjectDataChannel::GetIfObjectIsVisible() {
    if (!directGraphics) return false;
    CalculateBoundingBox();
    const D3DXMATRIX world = directGraphics->GetWorldMatrix();
    // Outside when all eight corners lie behind one frustum plane.
    for (int p = 0; p < 6; ++p) {
        const D3DXPLANE plane = directGraphics->GetViewFrustumPlane(p);
        int behind = 0;
        for (int c = 0; c < 8; ++c) {
            D3DXVECTOR3 corner((c & 1) ? boxMax.x : boxMin.x, (c & 2) ? boxMax.y : boxMin.y, (c & 4) ? boxMax.z : boxMin.z);
            D3DXVec3TransformCoord(&corner, &corner, &world);
            if (D3DXPlaneDotCoord(&plane, &corner) < 0.0f) ++behind;
        }
        if (behind == 8) return false;
    }
    return true;
}

void Kco_DX8_ObjectDataChannel::GetObjectTransformedMinMaxBox(const D3DXMATRIX& matrix, D3DXVECTOR3* outMin, D3DXVECTOR3* outMax) {
    CalculateBoundingBox();
    D3DXVECTOR3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (int c = 0; c < 8; ++c) {
        D3DXVECTOR3 corner((c & 1) ? boxMax.x : boxMin.x, (c & 2) ? boxMax.y : boxMin.y, (c & 4) ? boxMax.z : boxMin.z);
        D3DXVec3TransformCoord(&corner, &corner, &matrix);
        D3DXVec3Minimize(&lo, &lo, &corner);
        D3DXVec3Maximize(&hi, &hi, &corner);
    }
    if (outMin) *outMin = lo;
    if (outMax) *outMax = hi;
}

void Kco_DX8_ObjectDataChannel::GetObjectTransformedMinMaxBox(D3DXVECTOR3* outMin, D3DXVECTOR3* outMax) {
    GetObjectTransformedMinMaxBox(worldMatrix, outMin, outMax);
}

// ---- device ----

DWORD Kco_DX8_ObjectDataChannel::GetFVFlags() {
    int sets = 0;
    for (int s = 0; s < 3; ++s)
        if (texCoordUse[s]) sets = s + 1;
    DWORD fvf = D3DFVF_XYZ;
    if (normalUse) fvf |= D3DFVF_NORMAL;
    if (colorUse) fvf |= D3DFVF_DIFFUSE;
    return fvf | (DWORD(sets) << D3DFVF_TEXCOUNT_SHIFT);
}

int Kco_DX8_ObjectDataChannel::GetVertexSize() {
    const DWORD fvf = GetFVFlags();
    int size = 12;
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    return size + 8 * int((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
}

void Kco_DX8_ObjectDataChannel::WriteVertices(uint8_t* out, const std::vector<D3DXVECTOR3>& source) const {
    const int sets = int((bufferFVF & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    for (size_t i = 0; i < positions.size(); ++i) {
        const D3DXVECTOR3& p = i < source.size() ? source[i] : positions[i];
        std::memcpy(out, &p.x, 12);
        out += 12;
        if (bufferFVF & D3DFVF_NORMAL) std::memcpy(out, &normals[i].x, 12), out += 12;
        if (bufferFVF & D3DFVF_DIFFUSE) std::memcpy(out, &colors[i], 4), out += 4;
        for (int s = 0; s < sets; ++s) std::memcpy(out, &texCoords[s][i].x, 8), out += 8;
    }
}

bool Kco_DX8_ObjectDataChannel::CreateVertexBuffer() {
    ReleaseVertexData();
    IDirect3DDevice8* device = GetDevice();
    if (!device) return false;
    buffersStale = false;
    if (positions.empty()) return true;
    bufferFVF = GetFVFlags();
    bufferVertexSize = GetVertexSize();
    const UINT bytes = UINT(positions.size()) * UINT(bufferVertexSize);
    if (device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, bufferFVF, D3DPOOL_MANAGED, &vertexBuffer) != D3D_OK) {
        vertexBuffer = nullptr;
        buffersStale = true;
        return false;
    }
    BYTE* data = nullptr;
    if (vertexBuffer->Lock(0, 0, &data, 0) != D3D_OK || !data) {
        ReleaseVertexData();
        return false;
    }
    WriteVertices(data, positions);
    vertexBuffer->Unlock();
    if (indices.empty()) return true;
    const UINT indexBytes = UINT(indices.size() * 2);
    if (device->CreateIndexBuffer(indexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indexBuffer) != D3D_OK) {
        indexBuffer = nullptr;
        ReleaseVertexData();
        return false;
    }
    if (indexBuffer->Lock(0, 0, &data, 0) != D3D_OK || !data) {
        ReleaseVertexData();
        return false;
    }
    std::memcpy(data, indices.data(), indexBytes);
    indexBuffer->Unlock();
    return true;
}

void Kco_DX8_ObjectDataChannel::SetDataToStream() {
    IDirect3DDevice8* device = GetDevice();
    if (!device || !vertexBuffer) return;
    device->SetVertexShader(bufferFVF);
    device->SetStreamSource(0, vertexBuffer, UINT(bufferVertexSize));
    if (indexBuffer) device->SetIndices(indexBuffer, 0);
}

void Kco_DX8_ObjectDataChannel::DoCustomPreRenderStates() {}

void Kco_DX8_ObjectDataChannel::StreamTextureMatrices() {
    IDirect3DDevice8* device = GetDevice();
    if (!device) return;
    for (int set = 0; set < 2; ++set) {
        auto* child = static_cast<Kco_MatrixChannel*>(GetChildFromLinkPosition(set, 0));
        if (!child || !child->IsOfType(type_guids::kMatrixChannel)) continue;
        const D3DXMATRIX m = child->GetMatrix();
        device->SetTransform(set == 0 ? D3DTS_TEXTURE0 : D3DTS_TEXTURE1, &m);
    }
}

void Kco_DX8_ObjectDataChannel::StreamVertexData() {
    IDirect3DDevice8* device = GetDevice();
    if (!device || positions.empty()) return;
    if ((buffersStale || !vertexBuffer) && !CreateVertexBuffer()) return;
    if (!vertexBuffer) return;
    device->SetTransform(D3DTS_WORLD, &worldMatrix);
    StreamTextureMatrices();
    DoCustomPreRenderStates();
    SetDataToStream();
    const auto type = static_cast<D3DPRIMITIVETYPE>(polygonType);
    if (indexBuffer) {
        const int primitives = PrimitiveCount(polygonType, int(indices.size()));
        if (primitives > 0) device->DrawIndexedPrimitive(type, 0, UINT(positions.size()), 0, UINT(primitives));
    } else {
        const int primitives = PrimitiveCount(polygonType, int(positions.size()));
        if (primitives > 0) device->DrawPrimitive(type, 0, UINT(primitives));
    }
}

void Kco_DX8_ObjectDataChannel::SetWorldMatrix(const D3DXMATRIX& matrix) { worldMatrix = matrix; }

D3DXMATRIX Kco_DX8_ObjectDataChannel::GetWorldMatrix() { return worldMatrix; }

void Kco_DX8_ObjectDataChannel::SetTextureTransform(int set, int transform) {
    if (ValidSet(set)) textureTransform[set] = transform;
}

int Kco_DX8_ObjectDataChannel::GetTextureTransform(int set) { return ValidSet(set) ? textureTransform[set] : 0; }

bool Kco_DX8_ObjectDataChannel::GetVertexPositionUse() { return positionUse; }

bool Kco_DX8_ObjectDataChannel::GetVertexNormalUse() { return normalUse; }

bool Kco_DX8_ObjectDataChannel::GetVertexTUUse(int set) { return ValidSet(set) && texCoordUse[set]; }

bool Kco_DX8_ObjectDataChannel::GetVertexColorUse() { return colorUse; }
