// The 26 operations through the engine, with real sibling channels linked below the
// operator in mixed order: inputs are found by type and ordinal, not by link position.
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include "os/tick_count.h"
#include "plugin_frame/channel_internal.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "valueop_fixture.h"

using VO = Kco_ValueOperator;

TEST_F(ValueOperatorFixture, VectorOperationsTakeVectorsByOrdinalAmongOtherChildren) {
    Float(100.0f);
    String("noise");
    Vector({1.0f, 2.0f, 3.0f});
    Matrix(9.0f, 9.0f, 9.0f);
    Vector({4.0f, -6.0f, 15.0f});
    EXPECT_FLOAT_EQ(1 * 4 - 2 * 6 + 3 * 15, Evaluate(VO::kDotProduct));
    EXPECT_FLOAT_EQ(1.0f, Evaluate(VO::kVectorX));
    EXPECT_FLOAT_EQ(2.0f, Evaluate(VO::kVectorY));
    EXPECT_FLOAT_EQ(3.0f, Evaluate(VO::kVectorZ));
    EXPECT_FLOAT_EQ(std::sqrt(14.0f), Evaluate(VO::kVectorLength));
    EXPECT_FLOAT_EQ(std::sqrt(9.0f + 64.0f + 144.0f), Evaluate(VO::kVectorDistance));
    EXPECT_FLOAT_EQ(9.0f + 64.0f + 144.0f, Evaluate(VO::kVectorDistanceSquared));
}

TEST_F(ValueOperatorFixture, MissingInputsGiveZero) {
    for (int type = 0; type < VO::kOperationCount; ++type) {
        if (type == VO::kHeldToggle || type == VO::kRisingEdgeToggle) continue;  // give the toggle
        EXPECT_FLOAT_EQ(0.0f, Evaluate(type)) << "operation " << type;
    }
    Vector({1.0f, 2.0f, 3.0f});
    EXPECT_FLOAT_EQ(0.0f, Evaluate(VO::kDotProduct));  // V1 missing
    EXPECT_FLOAT_EQ(3.0f, Evaluate(VO::kVectorZ));
}

TEST_F(ValueOperatorFixture, InputsFollowLinkChangesAndReplacedChannels) {
    EngineInterface& engine = host->Engine();
    op->SetOperationType(VO::kVectorX);
    // A child destroyed and a channel of another type linked in its place, possibly at the
    // same address: what was found among the children must not outlive the link.
    for (int round = 0; round < 8; ++round) {
        auto* vector = static_cast<Kco_VectorChannel*>(engine.InitChannelFromType(type_guids::kVectorChannel, nullptr, false));
        vector->SetVector({float(round) + 0.5f, 0.0f, 0.0f});
        ASSERT_TRUE(op->LinkChild(vector, 0));
        EXPECT_FLOAT_EQ(float(round) + 0.5f, Frame());
        delete vector;
        EXPECT_FLOAT_EQ(0.0f, Frame());
        auto* value = static_cast<Kco_FloatChannel*>(engine.InitChannelFromType(type_guids::kFloatChannel, nullptr, false));
        ASSERT_TRUE(op->LinkChild(value, 0));
        EXPECT_FLOAT_EQ(0.0f, Frame());  // a float is no vector
        delete value;
    }
    // Changing the operation type looks for the other type among the same children.
    Float(7.0f);
    Vector({1.0f, 2.0f, 3.0f});
    EXPECT_FLOAT_EQ(1.0f, Evaluate(VO::kVectorX));
    EXPECT_FLOAT_EQ(1.0f, Evaluate(VO::kHeldToggle));  // F0 = 7 flips the toggle on
}

TEST_F(ValueOperatorFixture, OutOfRangeOperationTypesGiveZero) {
    Vector({1.0f, 2.0f, 3.0f});
    Vector({1.0f, 2.0f, 3.0f});
    Float(5.0f);
    for (int type : {26, -1, 1000, INT32_MIN}) {
        EXPECT_FLOAT_EQ(0.0f, Evaluate(type)) << type;
        EXPECT_EQ(type, op->GetOperationType());
    }
}

TEST_F(ValueOperatorFixture, MatrixDistanceAndSpeedPerSecond) {
    Kco_MatrixChannel* a = Matrix(3.0f, 4.0f, 0.0f);
    EXPECT_FLOAT_EQ(0.0f, Evaluate(VO::kMatrixDistance));  // needs two
    op->SetOperationType(VO::kMatrixSpeed);
    EXPECT_FLOAT_EQ(0.0f, Frame(1.0f));  // first measure, from the origin: 5
    Move(a, 6.0f, 8.0f, 0.0f);           // 10 from the origin: 5 in one frame of 0.04 s
    EXPECT_NEAR(5.0f / 0.04f, Frame(1.0f), 1e-3f);
    Move(a, 3.0f, 4.0f, 0.0f);           // back again in a frame of 2 x 0.04 s: speed, not velocity
    EXPECT_NEAR(5.0f / 0.08f, Frame(2.0f), 1e-3f);
    // A frame time of 0 leaves the change per frame.
    Move(a, 0.0f, 0.0f, 0.0f);
    EXPECT_NEAR(5.0f, Frame(0.0f), 1e-5f);

    Matrix(0.0f, 0.0f, 2.0f);
    EXPECT_FLOAT_EQ(2.0f, Evaluate(VO::kMatrixDistance));
}

TEST_F(ValueOperatorFixture, WrapAccumulatorWorkedValues) {
    Kco_FloatChannel* low = Float(0.0f);
    Kco_FloatChannel* high = Float(10.0f);
    Kco_FloatChannel* step = Float(3.0f);
    op->SetOperationType(VO::kWrapAccumulator);
    op->SetFloat(9.0f);
    EXPECT_FLOAT_EQ(2.0f, Frame());
    EXPECT_FLOAT_EQ(2.0f, op->GetFloat());  // once per frame
    EXPECT_FLOAT_EQ(5.0f, Frame());
    step->SetFloat(-3.0f);
    op->SetFloat(1.0f);
    EXPECT_FLOAT_EQ(8.0f, Frame());
    step->SetFloat(23.5f);
    op->SetFloat(0.0f);
    EXPECT_FLOAT_EQ(3.5f, Frame());
    // An empty range gives 0, and 0 becomes the value the next frames build on.
    high->SetFloat(0.0f);
    EXPECT_FLOAT_EQ(0.0f, Frame());
    high->SetFloat(10.0f);
    step->SetFloat(1.0f);
    EXPECT_FLOAT_EQ(1.0f, Frame());
    // The mended case: a step above a range below 1 no longer divides by zero.
    low->SetFloat(0.0f);
    high->SetFloat(0.5f);
    step->SetFloat(1.3f);
    op->SetFloat(0.1f);
    EXPECT_NEAR(0.4f, Frame(), 1e-6f);
    EXPECT_NEAR(0.2f, Frame(), 1e-6f);  // 0.4 + 0.3 wraps past 0.5
}

TEST_F(ValueOperatorFixture, AccumulatorRestartsFromZeroAfterAFrameWithoutInputs) {
    Float(0.0f);
    Float(10.0f);
    Kco_FloatChannel* step = Float(4.0f);
    op->SetOperationType(VO::kClampAccumulator);
    EXPECT_FLOAT_EQ(4.0f, Frame());
    EXPECT_FLOAT_EQ(8.0f, Frame());
    EXPECT_FLOAT_EQ(10.0f, Frame());  // held at high
    ASSERT_TRUE(op->UnlinkChild(step));
    EXPECT_FLOAT_EQ(0.0f, Frame());
    ASSERT_TRUE(host->Link(op, step, 0));
    step->SetFloat(-4.0f);
    EXPECT_FLOAT_EQ(0.0f, Frame());  // held at low
    step->SetFloat(3.0f);
    EXPECT_FLOAT_EQ(3.0f, Frame());
}

TEST_F(ValueOperatorFixture, LimitWithLowAboveHighGivesLow) {
    Float(5.0f);
    Float(3.0f);
    Kco_FloatChannel* input = Float(0.0f);
    for (float v : {-10.0f, 4.0f, 10.0f}) {
        input->SetFloat(v);
        EXPECT_FLOAT_EQ(5.0f, Evaluate(VO::kLimit)) << v;
    }
}

TEST_F(ValueOperatorFixture, StringMeasuresAndSearches) {
    Kco_StringChannel* s0 = String("b");
    Vector({0, 0, 0});  // other types between the strings change nothing
    Kco_StringChannel* s1 = String("abcb");
    EXPECT_FLOAT_EQ(1.0f, Evaluate(VO::kStringLength));
    EXPECT_FLOAT_EQ(1.0f, Evaluate(VO::kStringFindFirst));
    EXPECT_FLOAT_EQ(3.0f, Evaluate(VO::kStringFindLast));
    EXPECT_FLOAT_EQ(2.0f, Evaluate(VO::kStringCount));
    s0->SetString("aa");
    s1->SetString("aaaa");
    EXPECT_FLOAT_EQ(3.0f, Evaluate(VO::kStringCount));
    EXPECT_FLOAT_EQ(2.0f, Evaluate(VO::kStringFindLast));
    s0->SetString("  -17.75xyz");
    EXPECT_FLOAT_EQ(-17.0f, Evaluate(VO::kStringToInteger));
    EXPECT_FLOAT_EQ(-17.75f, Evaluate(VO::kStringToFloat));
    s0->SetString(nullptr);
    for (int type : {VO::kStringLength, VO::kStringFindFirst, VO::kStringFindLast, VO::kStringToInteger,
                     VO::kStringToFloat, VO::kFileSize, VO::kStringCount})
        EXPECT_FLOAT_EQ(0.0f, Evaluate(type)) << type;
}

namespace {
// Changes a string channel's text without a new time stamp, to see whether a reader
// looks at the text again or trusts the stamp.
struct QuietString : Kco_StringChannel {
    static void Set(Kco_StringChannel* s, const char* t) { static_cast<QuietString*>(s)->text.SetString(t); }
};
}  // namespace

TEST_F(ValueOperatorFixture, StringCountIsKeptWhileTheStampsStay) {
    Kco_StringChannel* s0 = String("b");
    Kco_StringChannel* s1 = String("abcb");
    EXPECT_FLOAT_EQ(2.0f, Evaluate(VO::kStringCount));
    QuietString::Set(s1, "bbbb");
    EXPECT_FLOAT_EQ(2.0f, Frame());  // same stamps: not counted again
    s1->SetString("bbbb");
    EXPECT_FLOAT_EQ(4.0f, Frame());
    // The kept count answers even when the value was overwritten meanwhile: by a write
    // from outside, or by the 0 of a frame that lacked S1.
    op->SetFloat(7.0f);
    EXPECT_FLOAT_EQ(4.0f, Frame());
    ASSERT_TRUE(op->UnlinkChild(s1));
    EXPECT_FLOAT_EQ(0.0f, Frame());
    ASSERT_TRUE(host->Link(op, s1, 0));
    EXPECT_FLOAT_EQ(4.0f, Frame());
    s0->SetString("bb");
    EXPECT_FLOAT_EQ(3.0f, Frame());
    s1->SetString("");
    EXPECT_FLOAT_EQ(0.0f, Frame());
}

TEST_F(ValueOperatorFixture, CaseInsensitiveComparisonAndNullTexts) {
    Kco_StringChannel* s0 = String("ABC");
    Kco_StringChannel* s1 = String("abc");
    EXPECT_FLOAT_EQ(1.0f, Evaluate(VO::kStringEqualIgnoreCase));
    s1->SetString("abd");
    EXPECT_FLOAT_EQ(0.0f, Frame());
    s1->SetString(nullptr);
    EXPECT_FLOAT_EQ(0.0f, Frame());
    s0->SetString(nullptr);
    EXPECT_FLOAT_EQ(1.0f, Frame());
    ASSERT_TRUE(op->UnlinkChild(s1));
    EXPECT_FLOAT_EQ(0.0f, Frame());  // a missing child is not a null text
}

TEST_F(ValueOperatorFixture, FileSizeOfARealFile) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::string path =
        (folder / ("valueop_size" + std::to_string(std::random_device{}()))).string();
    {
        std::ofstream out(path, std::ios::binary);
        out << "hello world";
        ASSERT_TRUE(out.good());
    }
    Kco_StringChannel* name = String(path.c_str());
    EXPECT_FLOAT_EQ(11.0f, Evaluate(VO::kFileSize));
    std::filesystem::remove(path);
    EXPECT_FLOAT_EQ(0.0f, Frame());  // name unchanged, file gone
    name->SetString(folder.string().c_str());
    EXPECT_FLOAT_EQ(0.0f, Frame());
}

TEST_F(ValueOperatorFixture, HeldToggleFlipsEveryFrameRisingEdgeOnce) {
    Kco_FloatChannel* trigger = Float(0.0f);
    Kco_ValueOperator* edge = NewOperator(VO::kRisingEdgeToggle);
    ASSERT_TRUE(host->Link(edge, trigger, 0));
    op->SetOperationType(VO::kHeldToggle);
    auto frame = [&] {
        host->Engine().BeginFrame(1.0f);
        return std::pair(op->GetFloat(), edge->GetFloat());
    };
    EXPECT_EQ(std::pair(0.0f, 0.0f), frame());
    trigger->SetFloat(1.0f);
    EXPECT_EQ(std::pair(1.0f, 1.0f), frame());
    EXPECT_EQ(std::pair(0.0f, 1.0f), frame());  // still held
    EXPECT_EQ(std::pair(1.0f, 1.0f), frame());
    trigger->SetFloat(0.5f);
    EXPECT_EQ(std::pair(1.0f, 1.0f), frame());
    trigger->SetFloat(2.0f);
    EXPECT_EQ(std::pair(0.0f, 0.0f), frame());  // a new rising edge
    // CallChannel flips the held toggle without evaluating; for the others it evaluates.
    trigger->SetFloat(0.0f);
    host->Engine().BeginFrame(1.0f);
    op->CallChannel();
    EXPECT_FLOAT_EQ(1.0f, op->GetToggleState());
    op->CallChannel();
    EXPECT_FLOAT_EQ(0.0f, op->GetToggleState());
    edge->CallChannel();  // evaluates: the trigger fell
    trigger->SetFloat(1.0f);
    EXPECT_FLOAT_EQ(0.0f, edge->GetFloat()) << "evaluated twice in one frame";
    host->Engine().BeginFrame(1.0f);
    EXPECT_FLOAT_EQ(1.0f, edge->GetFloat());
    // Without F0 both give their state and keep it.
    ASSERT_TRUE(op->UnlinkChild(trigger));
    op->CallChannel();
    EXPECT_FLOAT_EQ(1.0f, Frame());
    EXPECT_FLOAT_EQ(1.0f, Frame());
}

TEST_F(ValueOperatorFixture, OneEvaluationPerFrameHoweverManyParentsRead) {
    Float(0.0f);
    Float(1000.0f);
    Float(1.0f);
    op->SetOperationType(VO::kClampAccumulator);
    // Two parents read the accumulator as their float input, and a third reads them.
    Kco_ValueOperator* first = NewOperator(VO::kLimit);
    Kco_ValueOperator* second = NewOperator(VO::kLimit);
    for (Kco_ValueOperator* parent : {first, second}) {
        Float(-1e9f, parent);
        Float(1e9f, parent);
        ASSERT_TRUE(host->Link(parent, op, 0));
    }
    for (int frame = 1; frame <= 3; ++frame) {
        host->Engine().BeginFrame(1.0f);
        EXPECT_FLOAT_EQ(float(frame), first->GetFloat());
        EXPECT_FLOAT_EQ(float(frame), second->GetFloat());
        op->CallChannel();
        EXPECT_FLOAT_EQ(float(frame), op->GetFloat());
    }
}

TEST_F(ValueOperatorFixture, ObjectVisibilityRestoresTheWorldTransform) {
    auto* object = host->Create<Kco_DX8_ObjectChannel>(type_guids::kObjectChannel);
    ASSERT_NE(object, nullptr);
    ASSERT_TRUE(host->Link(op, object, 0));
    Kco_DX8_DirectGraphicsChannel* graphics = object->GetDirectGraphicsChannel();
    ASSERT_NE(graphics, nullptr);
    // Some other channel left a world transform that would hide the object.
    D3DXMATRIX away;
    D3DXMatrixTranslation(&away, 0.0f, 0.0f, -500.0f);
    graphics->GetDirect3dDevice()->SetTransform(D3DTS_WORLD, &away);

    D3DXMATRIX place;
    D3DXMatrixTranslation(&place, 0.0f, 0.0f, 10.0f);  // in front of the camera
    object->SetObjectMatrix(place);
    EXPECT_FLOAT_EQ(1.0f, Evaluate(VO::kObjectVisible));
    D3DXMATRIX after = graphics->GetWorldMatrix();
    EXPECT_FLOAT_EQ(-500.0f, after._43);
    D3DXMatrixTranslation(&place, 0.0f, 0.0f, -10.0f);  // behind it
    object->SetObjectMatrix(place);
    EXPECT_FLOAT_EQ(0.0f, Frame());
    EXPECT_FLOAT_EQ(-500.0f, graphics->GetWorldMatrix()._43);
}

TEST_F(ValueOperatorFixture, CameraDistanceUsesTheInverseViewMatrix) {
    auto* graphics = static_cast<Kco_DX8_DirectGraphicsChannel*>(
        host->Engine().GetUniqueChannel(type_guids::kDirectGraphicsChannel, nullptr));
    ASSERT_NE(graphics, nullptr);
    D3DXVECTOR3 eye(0.0f, 3.0f, -4.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    graphics->SetCameraMatrix(view);
    EXPECT_FLOAT_EQ(0.0f, Evaluate(VO::kCameraDistance));  // no matrix child
    Matrix(0.0f, 0.0f, 0.0f);
    EXPECT_NEAR(5.0f, Frame(), 1e-5f);
    D3DXMATRIX singular;  // all zeros: no camera position
    graphics->SetCameraMatrix(singular);
    EXPECT_FLOAT_EQ(0.0f, Frame());
}

TEST_F(ValueOperatorFixture, PublicFloatThroughTheInternalChild) {
    host->Group().SetChannelGroupFileName("/projects/demo/scene.cgr");
    auto* published = static_cast<Kco_FloatChannel*>(
        host->Engine().GetUniqueChannel(type_guids::kFloatChannel, "/projects/demo\\speed.cgr"));
    ASSERT_NE(published, nullptr);
    published->SetFloat(4.25f);

    Kco_FloatChannel* internal = Float(0.0f);
    EXPECT_FLOAT_EQ(0.0f, Evaluate(VO::kPublicFloat));  // not a public-call channel
    channelInternal::SetPublicCallInfo(internal, "speed.cgr");
    EXPECT_FLOAT_EQ(4.25f, Frame());
    channelInternal::SetPublicCallInfo(internal, "other.cgr");
    EXPECT_FLOAT_EQ(0.0f, Frame());  // a fresh unique channel holds 0
}

TEST_F(ValueOperatorFixture, SeedsTheSharedGenerator) {
    auto sequence = [] { return std::array{std::rand(), std::rand(), std::rand()}; };
    std::srand(1234);
    const auto seeded1234 = sequence();
    std::srand(777);
    const auto seeded777 = sequence();

    Kco_FloatChannel* seed = Float(1234.9f);
    std::srand(1);
    EXPECT_FLOAT_EQ(0.0f, Evaluate(VO::kSeedRandom));
    EXPECT_EQ(seeded1234, sequence());

    // Without F0 the seed is the millisecond tick count.
    ASSERT_TRUE(op->UnlinkChild(seed));
    os::SetTickCountSourceForTesting([] { return 777u; });
    std::srand(1);
    EXPECT_FLOAT_EQ(0.0f, Frame());
    os::SetTickCountSourceForTesting({});
    EXPECT_EQ(seeded777, sequence());
}
