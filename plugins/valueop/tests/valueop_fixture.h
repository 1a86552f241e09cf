// A host with one value operator created from its library file, and helpers that create
// real sibling channels and link them below it.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "engine_host.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/siblings/string_channel.h"
#include "plugin_frame/siblings/vector_channel.h"
#include "plugin_frame/type_guids.h"
#include "valueop/value_operator.h"

class ValueOperatorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<EngineHost>(CHANNELS_DIR);
        op = host->Create<Kco_ValueOperator>(type_guids::kValueOperator, "op");
        ASSERT_NE(op, nullptr) << "value operator library not loaded";
    }
    void TearDown() override { host.reset(); }

    Kco_ValueOperator* NewOperator(int type) {
        auto* o = host->Create<Kco_ValueOperator>(type_guids::kValueOperator);
        o->SetOperationType(type);
        return o;
    }
    Kco_VectorChannel* Vector(D3DXVECTOR3 v, Kel_Channel* parent = nullptr) {
        auto* c = host->Create<Kco_VectorChannel>(type_guids::kVectorChannel);
        c->SetVector(v);
        EXPECT_TRUE(host->Link(parent ? parent : op, c, 0));
        return c;
    }
    Kco_FloatChannel* Float(float f, Kel_Channel* parent = nullptr) {
        auto* c = host->Create<Kco_FloatChannel>(type_guids::kFloatChannel);
        c->SetFloat(f);
        EXPECT_TRUE(host->Link(parent ? parent : op, c, 0));
        return c;
    }
    Kco_StringChannel* String(const char* s, Kel_Channel* parent = nullptr) {
        auto* c = host->Create<Kco_StringChannel>(type_guids::kStringChannel);
        c->SetString(s);
        EXPECT_TRUE(host->Link(parent ? parent : op, c, 0));
        return c;
    }
    Kco_MatrixChannel* Matrix(float x, float y, float z, Kel_Channel* parent = nullptr) {
        auto* c = host->Create<Kco_MatrixChannel>(type_guids::kMatrixChannel);
        Move(c, x, y, z);
        EXPECT_TRUE(host->Link(parent ? parent : op, c, 0));
        return c;
    }
    static void Move(Kco_MatrixChannel* c, float x, float y, float z) {
        D3DXMATRIX m = c->GetMatrix();
        m._41 = x, m._42 = y, m._43 = z;
        c->SetMatrix(m);
    }
    // A new frame of frame time T (1/25 s), then the operator's value.
    float Frame(float frameTime = 1.0f) {
        host->Engine().BeginFrame(frameTime);
        return op->GetFloat();
    }
    float Evaluate(int type) {
        op->SetOperationType(type);
        return Frame();
    }

    std::unique_ptr<EngineHost> host;
    Kco_ValueOperator* op = nullptr;
};
