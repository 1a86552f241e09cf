#include "plugin_frame/siblings/mesh_file.h"

#include <string>

#include "model_import.h"
#include "os/native_path.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/type_guids.h"

DEFINE_CHANNEL_EXPORTS(Kco_DX8_MeshFile,
                       (ChannelTypeInfo{"DX8 MeshFile", type_guids::kMeshFile, type_guids::kObjectDataChannel, 0}))

namespace {

// A relative name is taken from the folder of the channel group's file.
std::string ResolvePath(const std::string& name, Kel_ChannelGroup* group) {
    const bool absolute = !name.empty() && (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'));
    if (absolute || !group || !group->GetChannelGroupFileName()) return os::NativePath(name);
    const std::string groupFile = group->GetChannelGroupFileName();
    const size_t cut = groupFile.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? "." : groupFile.substr(0, cut);
    return os::NativePath(folder + "\\" + name);
}

}  // namespace

Kco_DX8_MeshFile::Kco_DX8_MeshFile() { SetChannelName("DX8 MeshFile"); }

Kco_DX8_MeshFile::~Kco_DX8_MeshFile() = default;

bool Kco_DX8_MeshFile::SaveChannel(KelFileSaver& saver) {
    if (!Kel_Channel::SaveChannel(saver)) return false;
    SaveObjectDataSettings(saver);
    saver.SaveTag("MFNM");
    saver.SaveBlockSize(uint32_t(fileName.size() + 1));
    saver.SaveDataToFile(fileName.c_str(), uint32_t(fileName.size() + 1));
    SaveField(saver, "MFPT", part);
    return true;
}

bool Kco_DX8_MeshFile::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    LoadObjectDataSettings(loader);
    std::string name = fileName;
    if (loader.GetInfoIfTag("MFNM")) {
        std::span<const uint8_t> data = loader.TakeTagData();
        name.assign(reinterpret_cast<const char*>(data.data()), data.size());
        name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    }
    int32_t p = part;
    LoadField(loader, "MFPT", p);
    SetMeshFile(name.c_str(), p);
    return true;
}

void Kco_DX8_MeshFile::UpdateData() {
    if (!loaded && !failed && !fileName.empty()) ReadMeshFile();
}

void Kco_DX8_MeshFile::StreamVertexData() {
    UpdateData();
    Kco_DX8_ObjectDataChannel::StreamVertexData();
}

void Kco_DX8_MeshFile::SetMeshFile(const char* name, int p) {
    fileName = name ? name : "";
    part = p < 0 ? 0 : p;
    loaded = failed = false;
}

const char* Kco_DX8_MeshFile::GetMeshFile() { return fileName.c_str(); }

int Kco_DX8_MeshFile::GetMeshPart() { return part; }

int Kco_DX8_MeshFile::GetMeshPartCount() {
    if (fileName.empty()) return 0;
    return int(model::ReadModel(ResolvePath(fileName, GetChannelGroup())).parts.size());
}

bool Kco_DX8_MeshFile::ReadMeshFile() {
    const model::Model m = model::ReadModel(ResolvePath(fileName, GetChannelGroup()));
    Release();
    if (!m.error.empty() || part >= int(m.parts.size())) {
        failed = true;
        if (engineInterface) {
            const std::string text = m.error.empty() ? "model " + fileName + " has no part" : m.error;
            engineInterface->ShowDebugMessage(text.c_str(), part);
        }
        return false;
    }
    const model::MeshPart& source = m.parts[part];
    SetPolygonType(kPolygonTriangleList);
    SetVertexCount(int(source.positions.size()));
    for (int i = 0; i < int(source.positions.size()); ++i) {
        SetVertexPosition(source.positions[i], i);
        if (!source.normals.empty()) SetVertexNormal(source.normals[i], i);
        if (!source.uvs.empty()) SetVertexTUCoord(0, source.uvs[i], i);
    }
    SetIndexCount(int(source.indices.size()));
    for (int i = 0; i < int(source.indices.size()); ++i) SetIndex(source.indices[i], i);
    RemapTexture();
    loaded = true;
    failed = false;
    SetTimeStamp();
    return true;
}
