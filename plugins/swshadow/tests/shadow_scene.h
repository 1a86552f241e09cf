// A host for shadow object tests: an engine with the channels folder, 3D objects made of
// surfaces whose meshes hold given triangles, and shadow objects linked to them.
#pragma once

#include <gtest/gtest.h>

#include <d3d8/d3d8.h>
#include <d3d8/device_host.h>
#include <vecmath/d3dx_math.h>

#include <vector>

#include "engine_host.h"
#include "frame_renderer.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/object_data_channel.h"
#include "plugin_frame/siblings/skinned_object_data.h"
#include "plugin_frame/type_guids.h"
#include "swshadow/software_stencil_shadow_object.h"
#include "test_meshes.h"

class ShadowScene : public ::testing::Test {
protected:
    void SetUp() override {
        device = scene::SceneDevice(host.Engine());
        if (!d3d8host::CanDraw(device)) GTEST_SKIP() << "no device to draw with";
    }

    // A mesh channel of `type` (plain object data or a skinned kind) holding `mesh`.
    Kco_DX8_ObjectDataChannel* Mesh(const test_meshes::Mesh& mesh, const GUID& type = type_guids::kObjectDataChannel,
                                    int polygonType = kPolygonTriangleList) {
        auto* data = host.Create<Kco_DX8_ObjectDataChannel>(type);
        EXPECT_NE(data, nullptr);
        data->SetVertexCount(int(mesh.positions.size()));
        for (size_t i = 0; i < mesh.positions.size(); ++i) data->SetVertexPosition(mesh.positions[i], int(i));
        data->SetIndexCount(int(mesh.indices.size()));
        for (size_t i = 0; i < mesh.indices.size(); ++i) data->SetIndex(mesh.indices[i], int(i));
        data->SetPolygonType(polygonType);
        return data;
    }

    // A 3D object with one surface per mesh, in order.
    Kco_DX8_ObjectChannel* Object(const std::vector<Kco_DX8_ObjectDataChannel*>& meshes) {
        auto* object = host.Create<Kco_DX8_ObjectChannel>(type_guids::kObjectChannel);
        for (Kco_DX8_ObjectDataChannel* mesh : meshes) {
            Kel_Channel* surface = host.Create(type_guids::kSurfaceChannel);
            EXPECT_TRUE(host.Link(surface, mesh, 0));
            EXPECT_TRUE(host.Link(object, surface, 0));
        }
        return object;
    }

    Kco_DX8_SoftwareStencilShadowObject* Shadow(Kco_DX8_ObjectChannel* object) {
        auto* shadow =
            host.Create<Kco_DX8_SoftwareStencilShadowObject>(type_guids::kSoftwareStencilShadow);
        EXPECT_NE(shadow, nullptr);
        if (object) {
            EXPECT_TRUE(host.Link(shadow, object, 0));
        }
        return shadow;
    }

    const std::vector<std::string>& Messages() { return host.Engine().GetDebugMessages(); }

    EngineHost host{CHANNELS_DIR};
    IDirect3DDevice8* device = nullptr;
};
