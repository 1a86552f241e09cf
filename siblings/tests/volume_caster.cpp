// A stencil shadow object for tests of the render channel: its "volume" is the footprint
// of the source object's world box, from its underside down by `depth` (a light straight
// above), and it records what the render channel asked of it.
#include <d3d8/d3d8.h>

#include <cstring>

#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/stencil_shadow_base_object.h"
#include "plugin_frame/type_guids.h"
#include "volume_caster.h"

DEFINE_CHANNEL_EXPORTS(TestVolumeCaster, (ChannelTypeInfo{"Test VolumeCaster", kTestVolumeCasterGuid,
                                                          type_guids::kStencilShadowBaseObject, 0}))

TestVolumeCaster::TestVolumeCaster() {
    SetChannelName("Test VolumeCaster");
    SetChildCreationCount(1);
    SetChildCreateType(MakeChildCreation("DX8 3D Object", type_guids::kObjectChannel, 0, false, "Shadow Object"), 0);
}

TestVolumeCaster::~TestVolumeCaster() { InvalidateDeviceObjects(); }

void TestVolumeCaster::InvalidateDeviceObjects() {
    if (buffer) buffer->Release();
    buffer = nullptr;
}

void TestVolumeCaster::CreateShadowVolume(const D3DXVECTOR3& light, float extrusion, bool caps) {
    calls.push_back(Call{light, extrusion, caps});
    auto* source = static_cast<Kco_DX8_ObjectChannel*>(GetChild(0));
    IDirect3DDevice8* device = GetDevice();
    if (!source || !device) return;
    D3DXVECTOR3 lo, hi;
    source->GetBoundingBoxMinMax(&lo, &hi);
    // From the object's underside down, so the volume does not share the object's faces.
    hi.y = lo.y;
    lo.y -= depth;
    // 12 triangles, clockwise seen from outside.
    const D3DXVECTOR3 c[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z},
                              {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}};
    const int faces[12][3] = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 4, 2}, {2, 4, 6},
                              {1, 3, 5}, {3, 7, 5}, {2, 6, 3}, {3, 6, 7}, {0, 1, 4}, {1, 5, 4}};
    if (!buffer && device->CreateVertexBuffer(36 * 12, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_MANAGED, &buffer) != D3D_OK) {
        buffer = nullptr;
        return;
    }
    BYTE* data = nullptr;
    if (buffer->Lock(0, 0, &data, 0) != D3D_OK) return;
    for (int f = 0; f < 12; ++f)
        for (int k = 0; k < 3; ++k) std::memcpy(data + (f * 3 + k) * 12, &c[faces[f][k]].x, 12);
    buffer->Unlock();
}

void TestVolumeCaster::DrawCurrentVolume() {
    IDirect3DDevice8* device = GetDevice();
    if (!device || !buffer) return;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetVertexShader(D3DFVF_XYZ);
    device->SetStreamSource(0, buffer, 12);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 12);
    ++draws;
}
