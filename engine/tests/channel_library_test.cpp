// Loading channel libraries from their files, as the engine does.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "engine_host.h"
#include "link_test_channel.h"
#include "os/shared_library.h"
#include "plugin_frame/siblings/float_channel.h"
#include "plugin_frame/type_guids.h"

TEST(ChannelLibrary, GetTypeReturnsTheSameRecordEachCall) {
    os::LibraryHandle lib = os::LoadLibrary(std::string(CHANNELS_DIR) + "\\9f9ff213-ded7-599f-80d1-45463e6c473b.DLL");
    ASSERT_NE(lib, nullptr) << os::LastLibraryError();
    auto getType = reinterpret_cast<ChannelType* (*)()>(os::GetProcAddress(lib, "GetType"));
    ASSERT_NE(getType, nullptr);
    ChannelType* first = getType();
    ChannelType copy = *first;
    ChannelType* second = getType();
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::memcmp(&copy, second, sizeof copy), 0);
    EXPECT_STREQ(second->typeName, "Value");
    EXPECT_EQ(second->typeGuid, type_guids::kFloatChannel);
    EXPECT_EQ(second->engineVersion, 43);
    EXPECT_EQ(second->recordKind, 1);
}

TEST(ChannelLibrary, EngineRefusesAnotherInterfaceVersion) {
    EngineHost host(CHANNELS_DIR);
    const GUID old = MakeGuid("0D6B6C1E-7A51-4C43-9E0B-3F1A2B5C7D02");
    EXPECT_EQ(host.Engine().GetRegisteredType(old), nullptr);
    EXPECT_EQ(host.Engine().InitChannelFromType(old, nullptr, false), nullptr);
    const auto& messages = host.Engine().GetDebugMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.front().find("42"), std::string::npos);
}

TEST(ChannelLibrary, MissingLibraryGivesNullAndAMessage) {
    EngineHost host(CHANNELS_DIR);
    EXPECT_EQ(host.Create(MakeGuid("11111111-2222-3333-4444-555555555555")), nullptr);
    EXPECT_FALSE(host.Engine().GetDebugMessages().empty());
}

TEST(ChannelLibrary, InstancesCarryTheirTypeAndEngine) {
    EngineHost host(CHANNELS_DIR);
    Kel_Channel* tick = host.Engine().InitChannelFromType(type_guids::kTickCountChannel, nullptr, false);
    ASSERT_NE(tick, nullptr);
    EXPECT_EQ(tick->GetEngineInterface(), &host.Engine());
    EXPECT_TRUE(tick->IsOfType(type_guids::kTickCountChannel));
    EXPECT_TRUE(tick->IsOfType(type_guids::kFloatChannel));  // its base type
    EXPECT_EQ(tick->GetChannelType().typeGuid, type_guids::kTickCountChannel);
    host.Engine().BeginFrame(5.0f);  // clamped to 2
    EXPECT_FLOAT_EQ(static_cast<Kco_FloatChannel*>(tick)->GetFloat(), 2.0f);
    host.Engine().BeginFrame(0.5f);
    EXPECT_FLOAT_EQ(static_cast<Kco_FloatChannel*>(tick)->GetFloat(), 0.5f);
    host.Engine().BeginFrame(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(static_cast<Kco_FloatChannel*>(tick)->GetFloat(), 0.0f);
    delete tick;
}

TEST(ChannelLibrary, UniqueChannelsAreSharedPerTypeAndName) {
    EngineHost host(CHANNELS_DIR);
    EngineInterface& e = host.Engine();
    Kel_Channel* a = e.GetUniqueChannel(type_guids::kFloatChannel, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(e.GetUniqueChannel(type_guids::kFloatChannel, nullptr), a);
    Kel_Channel* named = e.GetUniqueChannel(type_guids::kFloatChannel, "c:\\p\\x.cgr");
    EXPECT_NE(named, a);
    EXPECT_EQ(e.GetUniqueChannel(type_guids::kFloatChannel, "c:\\p\\x.cgr"), named);
}

TEST(ChannelLibrary, CopyIsDestroyedIndependently) {
    EngineHost host(CHANNELS_DIR);
    auto* original = host.Create<Kco_FloatChannel>(type_guids::kFloatChannel);
    auto* child = host.Create(type_guids::kStringChannel);
    ASSERT_TRUE(original && child);
    original->SetFloat(3.5f);
    {
        Kco_FloatChannel copy(*original);
        EXPECT_FLOAT_EQ(copy.GetFloat(), 3.5f);
        copy.SetFloat(1.0f);
    }
    EXPECT_FLOAT_EQ(original->GetFloat(), 3.5f);
    EXPECT_STREQ(original->GetChannelName(), "Value");
}

TEST(ChannelLibrary, CoreLibrariesOfAnInstalledProjectLoad) {
    EngineHost host(CHANNELS_DIR);
    for (const char* guid : {"E0B80F4A-499F-5E75-87AD-5C21C81E2772", "4806DF8E-A410-5F04-A297-090D455D9BEE",
                             "491E783E-7E83-5F32-91C6-3823F2BBD53F"}) {
        Kel_Channel* c = host.Create(*ParseGuid(guid));
        ASSERT_NE(c, nullptr) << guid;
        EXPECT_EQ(FormatGuid(c->GetChannelType().typeGuid), guid);
    }
    for (const char* file : {"FileSaver.dll", "filesaver.dll", "Directory.dll", "FILELOADER.DLL"}) {
        os::LibraryHandle lib = os::LoadLibrary(std::string(CHANNELS_DIR) + "\\" + file);
        ASSERT_NE(lib, nullptr) << file << ": " << os::LastLibraryError();
        EXPECT_NE(os::GetProcAddress(lib, "InitDLL"), nullptr);
    }
}

TEST(ChannelLibrary, UniqueChannelIsInitialisedOnce) {
    EngineHost host(CHANNELS_DIR);
    auto* unique = static_cast<LinkTestChannel*>(host.Engine().GetUniqueChannel(kLinkTestType, nullptr));
    ASSERT_NE(unique, nullptr);
    host.Engine().GetUniqueChannel(kLinkTestType, nullptr);
    EXPECT_EQ(unique->initializeCount, 1);
}
