// The type record and link declaration, saving and loading (literal records and group
// file round trips), and copies that own their private channels.
#include <cstring>
#include <filesystem>
#include <random>

#include "plugin_frame/file_loader.h"
#include "plugin_frame/file_saver.h"
#include "valueop_fixture.h"

using VO = Kco_ValueOperator;

namespace {
std::vector<uint8_t> Record(const char* tag, std::initializer_list<uint8_t> data) {
    std::vector<uint8_t> r(tag, tag + 4);
    uint32_t n = uint32_t(data.size());
    for (int i = 0; i < 4; ++i) r.push_back(uint8_t(n >> (8 * i)));
    r.insert(r.end(), data);
    return r;
}
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(std::random_device{}()))).string();
}
}  // namespace

TEST_F(ValueOperatorFixture, TypeRecordLinkAndDependencies) {
    const ChannelType* type = host->Engine().GetRegisteredType(type_guids::kValueOperator);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ("ValueOperator", type->typeName);
    EXPECT_EQ(type_guids::kFloatChannel, type->baseTypeGuid);
    EXPECT_EQ(1, type->typeOption);
    EXPECT_EQ(0, type->typeFlags);
    EXPECT_STREQ("ValueOperator", NewOperator(0)->GetChannelName());  // unnamed by the host
    ASSERT_EQ(1, op->GetChildCreationCount());
    const ChildCreation* link = op->GetChildCreateType(0);
    ASSERT_NE(link, nullptr);
    EXPECT_STREQ("All types", link->linkType.typeName);
    EXPECT_EQ(kAnyTypeGuid, link->linkType.typeGuid);
    EXPECT_EQ(kAnyTypeGuid, link->linkType.baseTypeGuid);
    EXPECT_EQ(-1, link->linkPosition);
    EXPECT_FALSE(link->autoCreate);
    EXPECT_STREQ("Different types", link->linkName);
    EXPECT_EQ(1, link->linkSetting);

    Kel_List list;
    op->DoDependencyInit(&list);
    ASSERT_EQ(2, list.GetItemCount());
    EXPECT_EQ(type_guids::kTickCountChannel, *static_cast<GUID*>(list.GetItem(0)));
    EXPECT_EQ(type_guids::kDirectGraphicsChannel, *static_cast<GUID*>(list.GetItem(1)));

    // Defaults of a new channel.
    EXPECT_EQ(VO::kDotProduct, op->GetOperationType());
    EXPECT_FALSE(op->GetStoreCurrentValue());
    EXPECT_NE(op->GetTickCountChannel(), nullptr);
}

TEST_F(ValueOperatorFixture, SavesOnlyTheOperationTypeUnlessAskedForTheState) {
    op->SetOperationType(0x01020304);
    op->SetFloat(1.5f);
    op->SetStoredVector({1.0f, 2.0f, -2.0f});
    {
        KelFileSaver saver;
        ASSERT_TRUE(op->SaveChannel(saver));
        EXPECT_EQ(Record("VEOT", {4, 3, 2, 1}), saver.Bytes());
    }
    op->SetStoreCurrentValue(true);
    op->SetOperationType(VO::kHeldToggle);
    op->CallChannel();  // toggle on
    KelFileSaver saver;
    ASSERT_TRUE(op->SaveChannel(saver));
    EXPECT_EQ(Join({Record("VEOT", {18, 0, 0, 0}), Record("VEFF", {0x00, 0x00, 0x80, 0x3F}),
                    Record("VECF", {0x00, 0x00, 0xC0, 0x3F}),
                    Record("VECV", {0, 0, 0x80, 0x3F, 0, 0, 0, 0x40, 0, 0, 0, 0xC0})}),
              saver.Bytes());
}

TEST_F(ValueOperatorFixture, LoadingSwitchesTheStoredStateByItsToggleRecord) {
    const auto full = Join({Record("VEOT", {9, 0, 0, 0}), Record("VEFF", {0x00, 0x00, 0x80, 0x3F}),
                            Record("VECF", {0x00, 0x00, 0x20, 0x41}),
                            Record("VECV", {0, 0, 0x80, 0x3F, 0, 0, 0, 0x40, 0, 0, 0x40, 0x40})});
    KelFileLoader loader(full);
    ASSERT_TRUE(op->LoadChannel(loader, nullptr));
    EXPECT_EQ(VO::kWrapAccumulator, op->GetOperationType());
    EXPECT_TRUE(op->GetStoreCurrentValue());
    EXPECT_FLOAT_EQ(1.0f, op->GetToggleState());
    EXPECT_FLOAT_EQ(10.0f, op->Kco_FloatChannel::GetFloat());  // the stored value, not computed
    EXPECT_EQ(D3DXVECTOR3(1.0f, 2.0f, 3.0f), op->GetStoredVector());

    // Only "VEOT": the stored state is off again and its fields stay as they were.
    const auto bare = Record("VEOT", {3, 0, 0, 0});
    KelFileLoader second(bare);
    ASSERT_TRUE(op->LoadChannel(second, nullptr));
    EXPECT_EQ(VO::kVectorZ, op->GetOperationType());
    EXPECT_FALSE(op->GetStoreCurrentValue());
    EXPECT_FLOAT_EQ(1.0f, op->GetToggleState());

    // Value and vector records without the toggle record are not read.
    const auto noToggle = Join({Record("VEOT", {3, 0, 0, 0}), Record("VECF", {0, 0, 0, 0}),
                                Record("VECV", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})});
    KelFileLoader third(noToggle);
    ASSERT_TRUE(op->LoadChannel(third, nullptr));
    EXPECT_FALSE(op->GetStoreCurrentValue());
    EXPECT_EQ(D3DXVECTOR3(1.0f, 2.0f, 3.0f), op->GetStoredVector());

    // A record without any of our tags keeps everything.
    KelFileLoader empty;
    ASSERT_TRUE(op->LoadChannel(empty, nullptr));
    EXPECT_EQ(VO::kVectorZ, op->GetOperationType());
}

TEST_F(ValueOperatorFixture, GroupFileRoundTripWithAndWithoutStoredState) {
    const std::string path = TempPath("valueop_roundtrip");
    Kco_ValueOperator* plain = NewOperator(VO::kStringCount);
    plain->SetChannelName("plain");
    plain->SetFloat(6.0f);
    op->SetOperationType(VO::kClampAccumulator);
    op->SetStoreCurrentValue(true);
    op->SetStoredVector({-1.0f, 0.5f, 8.0f});
    Float(0.0f);
    Float(100.0f);
    Float(2.5f);
    EXPECT_FLOAT_EQ(2.5f, Frame());
    EXPECT_FLOAT_EQ(5.0f, Frame());
    ASSERT_TRUE(host->Save(path));

    EngineHost loaded(CHANNELS_DIR);
    ASSERT_TRUE(loaded.Load(path));
    std::filesystem::remove(path);
    auto* again = static_cast<Kco_ValueOperator*>(loaded.Group().FindChannel("op"));
    auto* plainAgain = static_cast<Kco_ValueOperator*>(loaded.Group().FindChannel("plain"));
    ASSERT_NE(again, nullptr);
    ASSERT_NE(plainAgain, nullptr);
    EXPECT_EQ(VO::kClampAccumulator, again->GetOperationType());
    EXPECT_TRUE(again->GetStoreCurrentValue());
    EXPECT_EQ(D3DXVECTOR3(-1.0f, 0.5f, 8.0f), again->GetStoredVector());
    EXPECT_EQ(3, again->GetChildCount());
    // The accumulator goes on from the stored value.
    loaded.Engine().BeginFrame(1.0f);
    EXPECT_FLOAT_EQ(7.5f, again->GetFloat());

    EXPECT_EQ(VO::kStringCount, plainAgain->GetOperationType());
    EXPECT_FALSE(plainAgain->GetStoreCurrentValue());
    EXPECT_FLOAT_EQ(0.0f, plainAgain->Kco_FloatChannel::GetFloat());  // value not stored
}

TEST_F(ValueOperatorFixture, CopiesOwnTheirTickCountChannel) {
    op->SetOperationType(VO::kMatrixSpeed);
    op->SetStoreCurrentValue(true);
    Kco_MatrixChannel* m = Matrix(1.0f, 0.0f, 0.0f);
    Frame();  // first measure done
    auto* copy = new Kco_ValueOperator(*op);
    EXPECT_NE(copy->GetTickCountChannel(), nullptr);
    EXPECT_NE(copy->GetTickCountChannel(), op->GetTickCountChannel());
    EXPECT_EQ(VO::kMatrixSpeed, copy->GetOperationType());
    EXPECT_TRUE(copy->GetStoreCurrentValue());
    EXPECT_EQ(1, copy->GetChildCount());  // hangs on the same children
    Move(m, 2.0f, 0.0f, 0.0f);
    host->Engine().BeginFrame(1.0f);
    EXPECT_NEAR(25.0f, copy->GetFloat(), 1e-4f);  // the copy had measured once too

    Kco_ValueOperator* other = NewOperator(VO::kLimit);
    Kco_TickCountChannel* ownTick = other->GetTickCountChannel();
    *other = *copy;
    EXPECT_EQ(ownTick, other->GetTickCountChannel());
    EXPECT_EQ(VO::kMatrixSpeed, other->GetOperationType());
    *other = *other;
    EXPECT_EQ(VO::kMatrixSpeed, other->GetOperationType());

    // Each is destroyed on its own; the original still works afterwards.
    delete copy;
    Move(m, 3.0f, 0.0f, 0.0f);
    host->Engine().BeginFrame(1.0f);
    EXPECT_NEAR(50.0f, op->GetFloat(), 1e-4f);  // 1 to 3 since its last measure
}
