// A small host for physics tests: an engine with the channels folder, a channel group for
// bodies, start-matrix and enable channels, the unique world and a frame loop.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <vecmath/d3dx_math.h>

#include "physbody/ode_body.h"
#include "physworld/ode_world.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/type_guids.h"

class PhysicsScene : public ::testing::Test {
protected:
    PhysicsScene() {
        engine.SetChannelsFolder(CHANNELS_DIR);
        group = std::make_unique<Kel_ChannelGroup>();
    }

    Kco_ODE_World* World() {
        if (!world) {
            world = static_cast<Kco_ODE_World*>(engine.GetUniqueChannel(type_guids::kPhysicsWorld, nullptr));
            if (world) world->OneTimeInitialize();  // the host's part: events reach the world
        }
        return world;
    }

    Kco_ODE_BodyCollision* NewBody(const char* name = "body") {
        World();
        auto* body = static_cast<Kco_ODE_BodyCollision*>(
            engine.CreateChannelInGroup(type_guids::kPhysicsBody, *group, name));
        EXPECT_NE(body, nullptr);
        bodies.push_back(body);
        return body;
    }

    Kco_MatrixChannel* StartAt(Kco_ODE_BodyCollision* body, const D3DXMATRIX& m) {
        auto* start = static_cast<Kco_MatrixChannel*>(
            engine.CreateChannelInGroup(type_guids::kMatrixChannel, *group, "start"));
        start->SetMatrix(m);
        EXPECT_TRUE(body->LinkChild(start, 0));
        return start;
    }

    Kco_MatrixChannel* StartAt(Kco_ODE_BodyCollision* body, float x, float y, float z) {
        D3DXMATRIX m;
        D3DXMatrixTranslation(&m, x, y, z);
        return StartAt(body, m);
    }

    Kco_FloatChannel* EnableWith(Kco_ODE_BodyCollision* body, float value) {
        auto* enable = static_cast<Kco_FloatChannel*>(
            engine.CreateChannelInGroup(type_guids::kFloatChannel, *group, "enable"));
        enable->SetFloat(value);
        EXPECT_TRUE(body->LinkChild(enable, 1));
        return enable;
    }

    // A static body holding one plane through the origin, normal +Y (turned by `start`).
    Kco_ODE_BodyCollision* Ground(const D3DXMATRIX* start = nullptr) {
        Kco_ODE_BodyCollision* ground = NewBody("ground");
        ODE_GeometryItem plane;
        plane.kind = ODE_GeometryItem::kPlane;
        ground->SetGeometryItem(plane, 0);
        if (start) StartAt(ground, *start);
        return ground;
    }

    // One engine frame: the world steps on event 0, then every body is evaluated.
    void Frame(float t = 1.0f) {
        engine.BeginFrame(t);
        for (Kco_ODE_BodyCollision* body : bodies) body->GetMatrix();
    }

    EngineInterface engine;
    std::unique_ptr<Kel_ChannelGroup> group;  // destroyed before the engine and its world
    Kco_ODE_World* world = nullptr;
    std::vector<Kco_ODE_BodyCollision*> bodies;
};
