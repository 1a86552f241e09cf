// The tables of known channel types and their saved records, in the order each type saves
// them, and of the other tagged files a project holds. A new type is one entry here.
#include "record_types.h"

#include "plugin_frame/type_guids.h"
#include "start_file.h"

namespace cgr {

namespace {

RecordLayout Field(const char* tag, const char* field, Scalar s, uint32_t count = 1, uint32_t columns = 0) {
    return {tag, field, ScalarSize(s) * count, {{"", 0, s, count, columns}}};
}

RecordLayout Text(const char* tag, const char* field) { return {tag, field, kAnySize, {{"", 0, Scalar::Text}}}; }

RecordLayout Empty(const char* tag, const char* field) { return {tag, field, 0, {}}; }

RecordLayout Matrix(const char* tag, const char* field) { return Field(tag, field, Scalar::F32, 16, 4); }

// The physics body's geometry item ("BDI2"). Reserved bytes, padding and the owner slot
// are written as zeros; a record with anything else there stays hex.
RecordLayout GeometryItem() {
    return {"BDI2", "geometryItem", 264,
            {{"massProperties.mass", 16, Scalar::F64},
             {"massProperties.c", 24, Scalar::F64, 4},
             {"massProperties.I", 56, Scalar::F64, 12, 4},
             {"kind", 152, Scalar::U8},
             {"mass", 156, Scalar::F32},
             {"radius", 160, Scalar::F32},
             {"size", 164, Scalar::F32, 3},
             {"offset", 176, Scalar::F32, 3},
             {"rotation", 188, Scalar::F32, 3},
             {"bounceEnabled", 200, Scalar::U8},
             {"bounce", 204, Scalar::F32},
             {"bounceVelocity", 208, Scalar::F32},
             {"friction", 212, Scalar::F32},
             {"slip", 216, Scalar::F32},
             {"name", 220, Scalar::Text, 1, 0, 40}}};
}

std::vector<RecordLayout> FloatRecords() {
    return {Field("FLVA", "currentFloat", Scalar::F32), Field("FLDF", "defaultFloat", Scalar::F32),
            Field("FLDS", "useDefaultFloat", Scalar::Bool)};
}

std::vector<ChannelTypeLayout> MakeTable() {
    using namespace type_guids;
    return {
        {kFloatChannel, "Value", FloatRecords()},
        {kTickCountChannel, "TickCount", FloatRecords()},
        {kMatrixChannel, "Matrix", {Matrix("MXMA", "matrix")}},
        {kVectorChannel, "Vector", {Field("VCXY", "vector", Scalar::F32, 3)}},
        {kStringChannel, "String", {Text("STTX", "text")}},
        {kDirectGraphicsChannel, "DX8 DirectGraphics", {}},
        {kObjectChannel, "DX8 Object",
         {Matrix("OBMA", "objectMatrix"), Field("OBBX", "boundingBox", Scalar::F32, 6, 3)}},
        {kValueOperator, "ValueOperator",
         {Field("VEOT", "operationType", Scalar::I32), Field("VEFF", "toggleState", Scalar::F32),
          Field("VECF", "currentValue", Scalar::F32), Field("VECV", "storedVector", Scalar::F32, 3)}},
        {kPhysicsWorld, "ODE World", {}},
        {kPhysicsBody, "ODE Body",
         {Matrix("MXMA", "matrix"), Field("BDIC", "geometryItemCount", Scalar::I32), GeometryItem(),
          Empty("BDEG", "emptyGeometryItem"), Field("BDAV", "angularVelocityDampenValue", Scalar::F32),
          Field("BDDF", "disableForces", Scalar::Bool), Field("BDDD", "dynamicDisableForces", Scalar::Bool),
          Field("BDUD", "useDynamics", Scalar::Bool)}},
        {k3DText, "DX8 3DText",
         {Field("POTM", "textureMapping", Scalar::I32, 3), Field("VTOP", "texCoordOffset0", Scalar::F32, 6),
          Field("VTO2", "texCoordOffset1", Scalar::F32, 6), Field("VTO3", "texCoordOffset2", Scalar::F32, 6),
          Field("VTUT", "useTexCoordSet0", Scalar::Bool), Field("VTU2", "useTexCoordSet1", Scalar::Bool),
          Field("POTT", "textureTransform", Scalar::I32, 3)}},
        // Saves nothing beyond what every channel saves.
        {kSoftwareStencilShadow, "DX8 SoftwareStencilShadowObject", {}},
        // Its records are not described yet: every one is shown as hex.
        {kCollisionObject, "DX8 CollisionObject", {}},
        // The scene siblings and the sample's float-placed matrix.
        {kSurfaceChannel, "DX8 Surface", {Field("SMCO", "materialColor", Scalar::F32, 4), Field("SMAM", "ambientFactor", Scalar::F32)}},
        {kPrimitiveMesh, "DX8 PrimitiveMesh",
         {Field("POTM", "textureMapping", Scalar::I32, 3), Field("VTOP", "texCoordOffset0", Scalar::F32, 6),
          Field("VTO2", "texCoordOffset1", Scalar::F32, 6), Field("VTO3", "texCoordOffset2", Scalar::F32, 6),
          Field("POTT", "textureTransform", Scalar::I32, 3), Field("PRSH", "shape", Scalar::I32),
          Field("PRSZ", "size", Scalar::F32, 3), Field("PRTS", "segmentsAndRings", Scalar::I32, 2)}},
        {kPointLight, "DX8 PointLight",
         {Field("LPOS", "position", Scalar::F32, 3), Field("LCOL", "color", Scalar::F32, 4),
          Field("LRNG", "range", Scalar::F32), Field("LATT", "attenuation", Scalar::F32, 3)}},
        {kCamera, "DX8 Camera",
         {Field("CEYE", "eye", Scalar::F32, 3), Field("CTAR", "target", Scalar::F32, 3), Field("CUPV", "up", Scalar::F32, 3),
          Field("CFOV", "fieldOfView", Scalar::F32), Field("CNEA", "nearClip", Scalar::F32),
          Field("CFAR", "farClip", Scalar::F32)}},
        {kStencilShadow, "DX8 StencilShadow",
         {Field("SSDA", "shadowDarkness", Scalar::F32), Field("SSEX", "extrusion", Scalar::F32),
          Field("SSMO", "shadowMethod", Scalar::I32)}},
        {MakeGuid("5A3D9C61-0E27-4F8B-B1C4-7D20E6A39F15"), "Float Matrix", {Matrix("MXMA", "matrix")}},
    };
}

std::vector<ChannelTypeLayout> MakeFileTable() {
    return {
        {kViewerStartFileType, "viewer start",
         {Text("STGR", "startGroup"), Field("STFR", "frames", Scalar::U32), Field("STFT", "frameTime", Scalar::F32)}},
    };
}

const ChannelTypeLayout* Find(const std::vector<ChannelTypeLayout>& table, const GUID& guid) {
    for (const ChannelTypeLayout& t : table)
        if (t.guid == guid) return &t;
    return nullptr;
}

const ChannelTypeLayout* FindByName(const std::vector<ChannelTypeLayout>& table, std::string_view name) {
    for (const ChannelTypeLayout& t : table)
        if (name == t.name) return &t;
    return nullptr;
}

}  // namespace

uint32_t ScalarSize(Scalar s) {
    switch (s) {
        case Scalar::U8:
        case Scalar::Bool:
        case Scalar::Text:
            return 1;
        case Scalar::U32:
        case Scalar::I32:
        case Scalar::F32:
            return 4;
        case Scalar::F64:
            return 8;
        case Scalar::Guid:
            return 16;
    }
    return 1;
}

const std::vector<ChannelTypeLayout>& ChannelTypes() {
    static const std::vector<ChannelTypeLayout> table = MakeTable();
    return table;
}

const std::vector<ChannelTypeLayout>& FileTypes() {
    static const std::vector<ChannelTypeLayout> table = MakeFileTable();
    return table;
}

const ChannelTypeLayout* FindType(const GUID& guid) { return Find(ChannelTypes(), guid); }
const ChannelTypeLayout* FindTypeByName(std::string_view name) { return FindByName(ChannelTypes(), name); }
const ChannelTypeLayout* FindFileType(const GUID& guid) { return Find(FileTypes(), guid); }
const ChannelTypeLayout* FindFileTypeByName(std::string_view name) { return FindByName(FileTypes(), name); }

const RecordLayout* FindRecord(const ChannelTypeLayout& type, std::string_view tag) {
    for (const RecordLayout& r : type.records)
        if (tag == r.tag) return &r;
    return nullptr;
}

}  // namespace cgr
