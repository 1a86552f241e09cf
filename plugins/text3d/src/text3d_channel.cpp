#include "text3d/text3d_channel.h"

#include <cmath>
#include <cstring>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/siblings/string_channel.h"
#include "plugin_frame/siblings/win32_font.h"
#include "plugin_frame/type_guids.h"
#include "text3d/d3dx_text.h"

namespace {
constexpr const char* kTypeName = "DX8 3DText";
constexpr float kExtrusion = 0.15f;
constexpr int kTextLink = 2, kFontLink = 3, kComplexityLink = 4;
}  // namespace

DEFINE_CHANNEL_EXPORTS(Kco_DX8_3DText,
                       (ChannelTypeInfo{kTypeName, type_guids::k3DText, type_guids::kObjectDataChannel, 1}))

Kco_DX8_3DText::Kco_DX8_3DText() {
    SetChannelName(kTypeName);
    SetChildCreationCount(5);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, 0, false, "Texture Matrix Set 0"), 0);
    SetChildCreateType(MakeChildCreation("Matrix", type_guids::kMatrixChannel, 1, false, "Texture Matrix Set 1"), 1);
    SetChildCreateType(MakeChildCreation("Text", type_guids::kStringChannel, 2, true, "Text to convert to 3d text"), 2);
    SetChildCreateType(MakeChildCreation("Win32 Font", type_guids::kWin32Font, 3, false, "Font to use for the Text"), 3);
    SetChildCreateType(MakeChildCreation("Value", type_guids::kFloatChannel, 4, false, "Text Complexity"), 4);
}

Kco_DX8_3DText::~Kco_DX8_3DText() = default;

float Kco_DX8_3DText::DeviationFromComplexity(float complexity) {
    // Not-a-number would stick as the deviation and fail every build: it counts as 0.
    float k = std::isnan(complexity) ? 0.0f : complexity;
    if (k < 0.0f) k = 0.0f;
    if (k > 1.0f) k = 1.0f;
    return (1.0f - k) * 0.02f + 0.001f;
}

namespace {

template <typename T>
T* Child(const Kel_Channel& channel, int position, const GUID& type) {
    Kel_Channel* child = channel.GetChildFromLinkPosition(position, 0);
    return child && child->IsOfType(type) ? static_cast<T*>(child) : nullptr;
}

}  // namespace

// Builds only: the surface showing the text draws it once a frame, after the frame's clear,
// so streaming it here as well would draw it a second time into a picture about to be cleared.
void Kco_DX8_3DText::CallChannel() {
    if (CheckIfTextChange()) CreateText();
}

void Kco_DX8_3DText::UpdateData() {
    if (CheckIfTextChange()) CreateText();
}

bool Kco_DX8_3DText::CheckIfTextChange() {
    if (auto* text = Child<Kco_StringChannel>(*this, kTextLink, type_guids::kStringChannel)) {
        if (text->GetString()) {
            if (!lastText.GetString() || text->GetTimeStamp() != textStamp) return true;
        } else if (GetVertexCount() > 0) {
            Release();
        }
    }
    if (auto* complexity = Child<Kco_FloatChannel>(*this, kComplexityLink, type_guids::kFloatChannel)) {
        float wanted = DeviationFromComplexity(complexity->GetFloat());
        if (std::fabs(wanted - deviation) >= 0.0001f) return true;
    }
    if (!meshBuilt) return true;
    if (auto* font = Child<Kco_Win32_Font>(*this, kFontLink, type_guids::kWin32Font)) {
        LOGFONTA current = font->GetFont();
        if (std::memcmp(&current, &lastFont, sizeof(LOGFONTA)) != 0) return true;
    }
    return false;
}

void Kco_DX8_3DText::CreateText() {
    if (auto* complexity = Child<Kco_FloatChannel>(*this, kComplexityLink, type_guids::kFloatChannel))
        deviation = DeviationFromComplexity(complexity->GetFloat());
    auto* textChild = Child<Kco_StringChannel>(*this, kTextLink, type_guids::kStringChannel);
    if (!textChild) return;
    textStamp = textChild->GetTimeStamp();
    lastText.SetString(textChild->GetString());

    IDirect3DDevice8* device = GetDevice();
    const char* text = lastText.GetString();
    if (!device || !text) return;
    if (*text == '\0') {
        SetVertexCount(0);
        CreateVertexBuffer();
        return;
    }

    HFONT font = nullptr;
    if (auto* fontChild = Child<Kco_Win32_Font>(*this, kFontLink, type_guids::kWin32Font)) {
        lastFont = fontChild->GetFont();
        if (lastFont.lfFaceName[0] == '\0') return;
        font = CreateFontIndirectA(&lastFont);
    } else {
        font = CreateFontA(0, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH, "Arial");
    }
    if (!font) return;

    ID3DXMesh* mesh = nullptr;
    HRESULT hr = E_FAIL;
    if (HDC dc = CreateCompatibleDC(nullptr)) {
        HGDIOBJ previous = SelectObject(dc, font);
        hr = D3DXCreateText(device, dc, text, deviation, kExtrusion, &mesh, nullptr, nullptr);
        SelectObject(dc, previous);
        DeleteDC(dc);
    }
    DeleteObject(font);
    if (hr != D3D_OK || !mesh) return;
    if (mesh->GetNumVertices() == 0) {
        mesh->Release();
        return;
    }

    Release();
    const int vertexCount = int(mesh->GetNumVertices());
    SetVertexCount(vertexCount);
    const DWORD fvf = mesh->GetFVF();
    const DWORD stride = mesh->GetNumBytesPerVertex();
    const bool hasPosition = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZ;
    const bool hasNormal = (fvf & D3DFVF_NORMAL) != 0;
    BYTE* vertices = nullptr;
    if (mesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices) != D3D_OK) {
        mesh->Release();
        return;
    }
    for (int i = 0; i < vertexCount; ++i) {
        const BYTE* at = vertices + size_t(i) * stride;
        float values[3];
        if (hasPosition) {
            std::memcpy(values, at, sizeof values);
            at += sizeof values;
            SetVertexPosition(D3DXVECTOR3(values[0], values[1], values[2]), i);
        }
        if (hasNormal) {
            std::memcpy(values, at, sizeof values);
            SetVertexNormal(D3DXVECTOR3(values[0], values[1], values[2]), i);
        }
        if (useTexCoordSet0) SetVertexTUCoord(0, D3DXVECTOR2{0.0f, 0.0f}, i);
        if (useTexCoordSet1) SetVertexTUCoord(1, D3DXVECTOR2{0.0f, 0.0f}, i);
    }
    mesh->UnlockVertexBuffer();

    boundingBoxValid = false;
    const int indexCount = int(mesh->GetNumFaces() * 3);
    SetIndexCount(indexCount);
    BYTE* indexBytes = nullptr;
    if (mesh->LockIndexBuffer(D3DLOCK_READONLY, &indexBytes) != D3D_OK) {
        mesh->Release();
        return;
    }
    for (int i = 0; i < indexCount; ++i) {
        uint16_t index;
        std::memcpy(&index, indexBytes + 2 * size_t(i), sizeof index);
        SetIndex(index, i);
    }
    mesh->UnlockIndexBuffer();

    CreateVertexBuffer();
    mesh->Release();
    meshBuilt = true;
    RemapTexture();
}

bool Kco_DX8_3DText::SaveChannel(KelFileSaver& saver) {
    // The object data's own saving is not used: the mesh is built, not stored.
    if (!Kel_Channel::SaveChannel(saver)) return false;
    SaveField(saver, "POTM", textureMapping);
    SaveField(saver, "VTOP", vertTUVOffset[0]);
    SaveField(saver, "VTO2", vertTUVOffset[1]);
    SaveField(saver, "VTO3", vertTUVOffset[2]);
    SaveField(saver, "VTUT", useTexCoordSet0);
    SaveField(saver, "VTU2", useTexCoordSet1);
    SaveField(saver, "POTT", textureTransform);
    return true;
}

bool Kco_DX8_3DText::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    LoadField(loader, "POTM", textureMapping);
    const char* offsetTags[3] = {"VTOP", "VTO2", "VTO3"};
    for (int set = 0; set < 3; ++set) {
        VertTUVOffset offset{0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f};
        LoadField(loader, offsetTags[set], offset);
        vertTUVOffset[set] = offset;
    }
    LoadField(loader, "VTUT", useTexCoordSet0);
    LoadField(loader, "VTU2", useTexCoordSet1);
    LoadField(loader, "POTT", textureTransform);
    meshBuilt = false;
    return true;
}
