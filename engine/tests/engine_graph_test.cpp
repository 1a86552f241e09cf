// The link graph, frames and events.
#include <gtest/gtest.h>

#include "engine_host.h"
#include "link_test_channel.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/siblings/vector_channel.h"

class EngineGraph : public ::testing::Test {
protected:
    EngineHost host{CHANNELS_DIR};
    LinkTestChannel* parent = host.Create<LinkTestChannel>(kLinkTestType);
};

TEST_F(EngineGraph, AutoCreateLinksAChildNamedAfterTheLink) {
    ASSERT_NE(parent, nullptr);
    Kel_Channel* made = parent->GetChildFromLinkPosition(2, 0);
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(made->GetChannelName(), "Made with me");
    EXPECT_TRUE(made->IsOfType(type_guids::kVectorChannel));
    EXPECT_EQ(host.Group().GetChannelCount(), 2);
}

TEST_F(EngineGraph, LinksAreCheckedAgainstTheirDeclarations) {
    Kel_Channel* f1 = host.Create(type_guids::kFloatChannel);
    Kel_Channel* f2 = host.Create(type_guids::kFloatChannel);
    Kel_Channel* text = host.Create(type_guids::kStringChannel);
    EXPECT_FALSE(parent->LinkChild(f1, 3));    // undeclared
    EXPECT_FALSE(parent->LinkChild(text, 0));  // a string is no float
    EXPECT_TRUE(parent->LinkChild(f1, 0));
    EXPECT_FALSE(parent->LinkChild(f2, 0));    // one-child link already taken
    EXPECT_TRUE(parent->LinkChild(f2, 1));
    EXPECT_TRUE(parent->LinkChild(text, 1));
    EXPECT_FALSE(parent->LinkChild(parent, 1));
    EXPECT_EQ(parent->GetChildLinkPositionCount(1), 2);
    EXPECT_EQ(parent->GetChildFromLinkPosition(1, 1), text);
    EXPECT_EQ(parent->GetChildFromLinkPosition(1, 2), nullptr);
}

TEST_F(EngineGraph, ChildrenAreCountedInLinkOrderByTypeOrBaseType) {
    Kel_Channel* tick = host.Create(type_guids::kTickCountChannel);  // base type: float
    Kel_Channel* f = host.Create(type_guids::kFloatChannel);
    Kel_Channel* v = host.Create(type_guids::kVectorChannel);
    ASSERT_TRUE(parent->LinkChild(tick, 1));
    ASSERT_TRUE(parent->LinkChild(v, 1));
    ASSERT_TRUE(parent->LinkChild(f, 0));  // link 0 comes before link 1
    EXPECT_EQ(parent->GetChild(0), f);
    EXPECT_EQ(parent->GetChildFromLinkGuid(type_guids::kFloatChannel, 0), f);
    EXPECT_EQ(parent->GetChildFromLinkGuid(type_guids::kFloatChannel, 1), tick);
    EXPECT_EQ(parent->GetChildFromLinkGuid(type_guids::kFloatChannel, 2), nullptr);
    EXPECT_EQ(parent->GetChildTypeCount(type_guids::kFloatChannel), 2);
    // The auto-created vector on link 2 comes after the one on link 1.
    EXPECT_EQ(parent->GetChildFromLinkGuid(type_guids::kVectorChannel, 0), v);
    EXPECT_EQ(parent->GetChildTypeCount(type_guids::kVectorChannel), 2);
}

TEST_F(EngineGraph, DestroyedChildLeavesNoDanglingLink) {
    Kel_Channel* f = host.Engine().InitChannelFromType(type_guids::kFloatChannel, nullptr, false);
    ASSERT_TRUE(parent->LinkChild(f, 0));
    delete f;
    EXPECT_EQ(parent->GetChildFromLinkPosition(0, 0), nullptr);
    EXPECT_EQ(parent->GetChildTypeCount(type_guids::kFloatChannel), 0);
}

TEST_F(EngineGraph, SecondDeclarationOfAPositionIsRefused) {
    LinkTestChannel c;
    ChildCreation again = MakeChildCreation("Value", type_guids::kFloatChannel, 0, false, "again");
    EXPECT_FALSE(c.SetChildCreateType(again, 5));
    ChildCreation many = MakeChildCreation("All", kAnyTypeGuid, -1, false, "many");
    EXPECT_TRUE(c.SetChildCreateType(many, 5));  // -1 may repeat
    EXPECT_TRUE(c.SetChildCreateType(many, 6));
    c.SetChildCreationCount(0);
    EXPECT_EQ(c.GetChildCreationCount(), 0);
    EXPECT_TRUE(c.SetChildCreateType(again, 0));  // also accepted without a count
}

TEST_F(EngineGraph, RenderCountIsTrueOncePerFrame) {
    host.Engine().BeginFrame(1.0f);
    EXPECT_TRUE(parent->Fresh());
    EXPECT_FALSE(parent->Fresh());
    EXPECT_FALSE(parent->Fresh());
    host.Engine().BeginFrame(1.0f);
    EXPECT_TRUE(parent->Fresh());
    EXPECT_FALSE(parent->Fresh());
}

TEST_F(EngineGraph, EventsReachRegisteredChannelsOnly) {
    EngineInterface& e = host.Engine();
    e.AddChannelToEvent(parent, 0);
    e.AddChannelToEvent(parent, 0);  // once is enough
    e.BeginFrame(1.0f);
    EXPECT_EQ(parent->eventCount, 1);
    EXPECT_EQ(parent->lastEvent, 0);
    e.DoEvent(3, 0);
    EXPECT_EQ(parent->eventCount, 1);
    e.AddChannelToEvent(parent, 3);
    e.DoEvent(3, 9);
    EXPECT_EQ(parent->eventCount, 2);
    EXPECT_EQ(parent->lastEvent, 3);
    e.RemoveChannelFromEvent(parent, 0);
    e.BeginFrame(1.0f);
    EXPECT_EQ(parent->eventCount, 2);
}

TEST_F(EngineGraph, DebugMessagesOfBothOutletsAreKept) {
    EngineInterface& e = host.Engine();
    e.ClearDebugMessages();
    e.ShowDebugMessage("plain");
    e.ShowDebugMessage("with value", -4);
    ASSERT_EQ(e.GetDebugMessages().size(), 2u);
    EXPECT_EQ(e.GetDebugMessages()[0], "plain");
    EXPECT_EQ(e.GetDebugMessages()[1], "with value -4");
}

TEST_F(EngineGraph, TimeStampsMoveOnWhenDataChanges) {
    auto* f = host.Create<Kco_FloatChannel>(type_guids::kFloatChannel);
    uint32_t before = f->GetTimeStamp();
    f->SetFloat(2.0f);
    uint32_t after = f->GetTimeStamp();
    EXPECT_NE(before, after);
    f->SetFloat(3.0f);
    EXPECT_GT(f->GetTimeStamp(), after);
}
