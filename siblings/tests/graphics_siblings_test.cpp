// The direct-graphics and object siblings as the plug-ins read them.
#include <gtest/gtest.h>

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include "engine_host.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/type_guids.h"

class GraphicsSiblings : public ::testing::Test {
protected:
    EngineHost host{CHANNELS_DIR};
    Kco_DX8_ObjectChannel* object = host.Create<Kco_DX8_ObjectChannel>(type_guids::kObjectChannel);
    Kco_DX8_DirectGraphicsChannel* graphics = object ? object->GetDirectGraphicsChannel() : nullptr;
};

TEST_F(GraphicsSiblings, ObjectSharesTheUniqueDevice) {
    ASSERT_NE(graphics, nullptr);
    EXPECT_EQ(graphics, host.Engine().GetUniqueChannel(type_guids::kDirectGraphicsChannel, nullptr));
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 1, 2, 3);
    graphics->GetDirect3dDevice()->SetTransform(D3DTS_WORLD, &world);
    EXPECT_FLOAT_EQ(graphics->GetWorldMatrix()._42, 2.0f);
}

TEST_F(GraphicsSiblings, VisibilityFollowsTheWorldTransform) {
    ASSERT_NE(graphics, nullptr);
    // Camera at the origin looking down +z; the unit box placed 10 ahead is seen, behind is not.
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 0, 0, 10);
    graphics->GetDirect3dDevice()->SetTransform(D3DTS_WORLD, &world);
    EXPECT_TRUE(object->GetIfObjectIsVisible());
    D3DXMatrixTranslation(&world, 0, 0, -10);
    graphics->GetDirect3dDevice()->SetTransform(D3DTS_WORLD, &world);
    EXPECT_FALSE(object->GetIfObjectIsVisible());
    D3DXMatrixTranslation(&world, 0, 0, 5000);  // beyond the far plane
    graphics->GetDirect3dDevice()->SetTransform(D3DTS_WORLD, &world);
    EXPECT_FALSE(object->GetIfObjectIsVisible());
}

TEST_F(GraphicsSiblings, FrustumPlanesFaceInwards) {
    ASSERT_NE(graphics, nullptr);
    D3DXVECTOR3 ahead(0, 0, 10), behind(0, 0, -10);
    for (int p = 0; p < 6; ++p) {
        D3DXPLANE plane = graphics->GetViewFrustumPlane(p);
        EXPECT_GT(D3DXPlaneDotCoord(&plane, &ahead), 0.0f) << "plane " << p;
    }
    D3DXPLANE nearPlane = graphics->GetViewFrustumPlane(5);
    EXPECT_LT(D3DXPlaneDotCoord(&nearPlane, &behind), 0.0f);
    EXPECT_FLOAT_EQ(graphics->GetProjectionInformation()->farClip, 1000.0f);
}

TEST_F(GraphicsSiblings, BoundingBoxIsPlacedByTheObjectMatrix) {
    D3DXMATRIX m;
    D3DXMatrixRotationY(&m, 1.5707964f);
    m._41 = 10.0f;
    object->SetLocalBoundingBox({0, 0, 0}, {2, 1, 1});
    object->SetObjectMatrix(m);
    D3DXVECTOR3 lo, hi;
    object->GetBoundingBoxMinMax(&lo, &hi);
    // A quarter turn about y sends +x to -z.
    EXPECT_NEAR(lo.z, -2.0f, 1e-5f);
    EXPECT_NEAR(hi.z, 0.0f, 1e-5f);
    EXPECT_NEAR(lo.x, 10.0f, 1e-5f);
    EXPECT_NEAR(hi.x, 11.0f, 1e-5f);
}
