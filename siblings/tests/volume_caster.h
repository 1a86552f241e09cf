#pragma once

#include <vector>

#include <vecmath/d3dx_math.h>

#include "plugin_frame/siblings/stencil_shadow_base_object.h"

inline constexpr GUID kTestVolumeCasterGuid = MakeGuid("6F0D5C55-2B1A-4C7E-9E43-5D2B0C8A7E11");

class IDirect3DVertexBuffer8;

class TestVolumeCaster : public Kco_DX8_StencilShadowBaseObject {
public:
    struct Call {
        D3DXVECTOR3 light;
        float extrusion;
        bool caps;
    };

    TestVolumeCaster();
    ~TestVolumeCaster() override;
    void InvalidateDeviceObjects() override;
    void CreateShadowVolume(const D3DXVECTOR3& light, float extrusion, bool caps) override;
    void DrawCurrentVolume() override;

    std::vector<Call> calls;
    int draws = 0;
    float depth = 100.0f;  // how far the volume reaches below the object
    IDirect3DVertexBuffer8* buffer = nullptr;
};
