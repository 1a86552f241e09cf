// The 26 operations of Kco_ValueOperator. Inputs are found by type and ordinal over all
// children in link order; a missing input, or a null text where a text is needed, gives 0
// and leaves the operation's state alone.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include <d3d8/d3d8.h>
#include <vecmath/d3dx_math.h>

#include "os/file_size.h"
#include "os/native_path.h"
#include "os/tick_count.h"
#include "plugin_frame/channel_internal.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/matrix_channel.h"
#include "plugin_frame/siblings/object_channel.h"
#include "plugin_frame/siblings/string_channel.h"
#include "plugin_frame/siblings/tick_count_channel.h"
#include "plugin_frame/siblings/vector_channel.h"
#include "plugin_frame/type_guids.h"
#include "valueop/operations.h"
#include "valueop/value_operator.h"

namespace {

// The n-th child of the type; GetChildFromLinkGuid matches the type or the base type, so
// the cast holds (a value operator is a float channel).
template <typename T>
T* Input(const Kel_Channel& self, const GUID& type, int n) {
    return static_cast<T*>(self.GetChildFromLinkGuid(type, n));
}
Kco_VectorChannel* Vector(const Kel_Channel& self, int n) {
    return Input<Kco_VectorChannel>(self, type_guids::kVectorChannel, n);
}
Kco_MatrixChannel* Matrix(const Kel_Channel& self, int n) {
    return Input<Kco_MatrixChannel>(self, type_guids::kMatrixChannel, n);
}
Kco_FloatChannel* Float(const Kel_Channel& self, int n) {
    return Input<Kco_FloatChannel>(self, type_guids::kFloatChannel, n);
}
Kco_StringChannel* String(const Kel_Channel& self, int n) {
    return Input<Kco_StringChannel>(self, type_guids::kStringChannel, n);
}
// S<n>'s text; null when the child is missing or has none.
const char* Text(const Kel_Channel& self, int n) {
    Kco_StringChannel* s = String(self, n);
    return s ? s->GetString() : nullptr;
}

D3DXVECTOR3 Translation(const D3DXMATRIX& m) { return D3DXVECTOR3(m._41, m._42, m._43); }

float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 d = a - b;
    return D3DXVec3Length(&d);
}

}  // namespace

float Kco_ValueOperator::CalculateValue() {
    using namespace valueop;
    const Kel_Channel& self = *this;
    switch (operationType) {
        case kDotProduct: {
            Kco_VectorChannel* v0 = Vector(self, 0);
            Kco_VectorChannel* v1 = Vector(self, 1);
            if (!v0 || !v1) return 0.0f;
            const D3DXVECTOR3 a = v0->GetVector(), b = v1->GetVector();
            return D3DXVec3Dot(&a, &b);
        }
        case kVectorX:
        case kVectorY:
        case kVectorZ: {
            Kco_VectorChannel* v0 = Vector(self, 0);
            if (!v0) return 0.0f;
            const D3DXVECTOR3 a = v0->GetVector();
            return operationType == kVectorX ? a.x : operationType == kVectorY ? a.y : a.z;
        }
        case kVectorLength: {
            Kco_VectorChannel* v0 = Vector(self, 0);
            if (!v0) return 0.0f;
            const D3DXVECTOR3 a = v0->GetVector();
            return D3DXVec3Length(&a);
        }
        case kVectorDistance:
        case kVectorDistanceSquared: {
            Kco_VectorChannel* v0 = Vector(self, 0);
            Kco_VectorChannel* v1 = Vector(self, 1);
            if (!v0 || !v1) return 0.0f;
            const D3DXVECTOR3 d = v0->GetVector() - v1->GetVector();
            return operationType == kVectorDistance ? D3DXVec3Length(&d) : D3DXVec3LengthSq(&d);
        }
        case kMatrixSpeed:
            return CalculateSpeed();
        case kMatrixDistance: {
            Kco_MatrixChannel* m0 = Matrix(self, 0);
            Kco_MatrixChannel* m1 = Matrix(self, 1);
            if (!m0 || !m1) return 0.0f;
            return Distance(Translation(m0->GetMatrix()), Translation(m1->GetMatrix()));
        }
        case kWrapAccumulator:
            return CalculateWrap();
        case kClampAccumulator:
            return CalculateClamp();
        case kLimit:
            return CalculateLimit();
        case kStringLength: {
            const char* text = Text(self, 0);
            return text ? float(std::strlen(text)) : 0.0f;
        }
        case kStringFindFirst:
        case kStringFindLast: {
            const char* needle = Text(self, 0);
            const char* hay = Text(self, 1);
            if (!needle || !hay) return 0.0f;
            return operationType == kStringFindFirst ? FindFirst(needle, hay) : FindLast(needle, hay);
        }
        case kStringToInteger: {
            const char* text = Text(self, 0);
            return text ? ParseInteger(text) : 0.0f;
        }
        case kStringToFloat: {
            const char* text = Text(self, 0);
            return text ? ParseFloat(text) : 0.0f;
        }
        case kObjectVisible:
            return CalculateObjectVisible();
        case kHeldToggle:
            return CalculateHeldToggle();
        case kStringEqualIgnoreCase: {
            Kco_StringChannel* s0 = String(self, 0);
            Kco_StringChannel* s1 = String(self, 1);
            if (!s0 || !s1) return 0.0f;
            const char* a = s0->GetString();
            const char* b = s1->GetString();
            if (!a || !b) return !a && !b ? 1.0f : 0.0f;
            return os::EqualsIgnoreCase(a, b) ? 1.0f : 0.0f;
        }
        case kFileSize: {
            const char* name = Text(self, 0);
            if (!name) return 0.0f;
            return float(os::FileSizeLow32(name).value_or(0));
        }
        case kPublicFloat:
            return CalculatePublicFloat();
        case kCameraDistance:
            return CalculateCameraDistance();
        case kSeedRandom:
            return CalculateSeed();
        case kStringCount:
            return CalculateStringCount();
        case kRisingEdgeToggle:
            return CalculateRisingEdgeToggle();
        default:
            return 0.0f;
    }
}

// Speed of the distance between two matrices' positions, per second when the frame time
// is known, else per frame.
float Kco_ValueOperator::CalculateSpeed() {
    Kco_MatrixChannel* m0 = Matrix(*this, 0);
    if (!m0) return 0.0f;
    Kco_MatrixChannel* m1 = Matrix(*this, 1);
    const D3DXVECTOR3 other = m1 ? Translation(m1->GetMatrix()) : D3DXVECTOR3();
    const float d = Distance(Translation(m0->GetMatrix()), other);
    if (!firstMeasureDone) {
        previousValue = d;
        firstMeasureDone = true;
    }
    float delta = d - previousValue;
    previousValue = d;
    if (tickCountChannel) {
        const float seconds = tickCountChannel->GetFloat() * 0.04f;
        if (seconds != 0.0f) delta = delta / seconds;
    }
    return std::fabs(delta);
}

float Kco_ValueOperator::CalculateWrap() {
    Kco_FloatChannel* f0 = Float(*this, 0);
    Kco_FloatChannel* f1 = Float(*this, 1);
    Kco_FloatChannel* f2 = Float(*this, 2);
    if (!f0 || !f1 || !f2) return 0.0f;
    const float low = f0->GetFloat();
    const float high = f1->GetFloat();
    const float step = f2->GetFloat();
    return valueop::WrapAccumulate(currentFloat, low, high, step).value_or(0.0f);
}

float Kco_ValueOperator::CalculateClamp() {
    Kco_FloatChannel* f0 = Float(*this, 0);
    Kco_FloatChannel* f1 = Float(*this, 1);
    Kco_FloatChannel* f2 = Float(*this, 2);
    if (!f0 || !f1 || !f2) return 0.0f;
    const float low = f0->GetFloat();
    const float high = f1->GetFloat();
    const float step = f2->GetFloat();
    return valueop::ClampAccumulate(currentFloat, low, high, step);
}

float Kco_ValueOperator::CalculateLimit() {
    Kco_FloatChannel* f0 = Float(*this, 0);
    Kco_FloatChannel* f1 = Float(*this, 1);
    Kco_FloatChannel* f2 = Float(*this, 2);
    if (!f0 || !f1 || !f2) return 0.0f;
    const float low = f0->GetFloat();
    const float high = f1->GetFloat();
    const float input = f2->GetFloat();
    return valueop::Limit(input, low, high);
}

// Visibility is tested with the device's world transform set to the object's matrix; the
// transform other channels set is put back afterwards.
float Kco_ValueOperator::CalculateObjectVisible() {
    auto* object = Input<Kco_DX8_ObjectChannel>(*this, type_guids::kObjectChannel, 0);
    if (!object) return 0.0f;
    Kco_DX8_DirectGraphicsChannel* graphics = object->GetDirectGraphicsChannel();
    if (!graphics) return 0.0f;
    IDirect3DDevice8* device = graphics->GetDirect3dDevice();
    if (!device) return 0.0f;
    const D3DXMATRIX remembered = graphics->GetWorldMatrix();
    const D3DXMATRIX placed = object->GetObjectMatrix();
    device->SetTransform(D3DTS_WORLD, &placed);
    const bool visible = object->GetIfObjectIsVisible();
    device->SetTransform(D3DTS_WORLD, &remembered);
    return visible ? 1.0f : 0.0f;
}

// The unique float channel published under the file name of our first internal child,
// completed against our group's file.
float Kco_ValueOperator::CalculatePublicFloat() {
    Kel_Channel* internal = channelInternal::GetInternalChild(this, 0);
    if (!internal || internal->GetChannelInterfaceType() != 2 || !engineInterface) return 0.0f;
    PublicCallInfo* info = channelInternal::GetPublicCallInfo(internal);
    if (!info) return 0.0f;
    const std::string fileName(info->fileName, strnlen(info->fileName, sizeof info->fileName));
    FilePathFind finder;
    if (Kel_ChannelGroup* group = GetChannelGroup(); group && group->GetChannelGroupFileName())
        finder.SetSourcePath(group->GetChannelGroupFileName());
    const std::string path = finder.GetCompleteFilePath(fileName.c_str());
    Kel_Channel* published = engineInterface->GetUniqueChannel(type_guids::kFloatChannel, path.c_str());
    if (!published || !published->IsOfType(type_guids::kFloatChannel)) return 0.0f;
    return static_cast<Kco_FloatChannel*>(published)->GetFloat();
}

float Kco_ValueOperator::CalculateCameraDistance() {
    Kco_MatrixChannel* m0 = Matrix(*this, 0);
    if (!m0 || !directGraphicsChannel) return 0.0f;
    const D3DXMATRIX view = directGraphicsChannel->GetCameraMatrix();
    D3DXMATRIX cameraWorld;
    // A singular view matrix places the camera nowhere.
    if (!D3DXMatrixInverse(&cameraWorld, nullptr, &view)) return 0.0f;
    return Distance(Translation(cameraWorld), Translation(m0->GetMatrix()));
}

// Seeds the process-wide generator every user of rand() shares.
float Kco_ValueOperator::CalculateSeed() {
    Kco_FloatChannel* f0 = Float(*this, 0);
    const unsigned seed = f0 ? unsigned(valueop::TruncateToInt(f0->GetFloat())) : unsigned(os::GetTickCount());
    std::srand(seed);
    return 0.0f;
}

float Kco_ValueOperator::CalculateStringCount() {
    Kco_StringChannel* s0 = String(*this, 0);
    Kco_StringChannel* s1 = String(*this, 1);
    if (!s0 || !s1) return 0.0f;
    const char* needle = s0->GetString();
    const char* hay = s1->GetString();
    if (!needle || !hay) return 0.0f;
    const uint32_t stamp0 = s0->GetTimeStamp();
    const uint32_t stamp1 = s1->GetTimeStamp();
    if (stringStampsTaken && stamp0 == stringStamps[0] && stamp1 == stringStamps[1]) return stringCount;
    stringStamps[0] = stamp0;
    stringStamps[1] = stamp1;
    stringStampsTaken = true;
    stringCount = valueop::CountOccurrences(needle, hay);
    return stringCount;
}

float Kco_ValueOperator::CalculateHeldToggle() {
    Kco_FloatChannel* f0 = Float(*this, 0);
    if (f0 && f0->GetFloat() >= 1.0f) FlipToggle();
    return toggleState;
}

float Kco_ValueOperator::CalculateRisingEdgeToggle() {
    Kco_FloatChannel* f0 = Float(*this, 0);
    if (f0) {
        const float value = f0->GetFloat();
        if (value >= 1.0f && previousValue < 1.0f) FlipToggle();
        previousValue = value;
    }
    return toggleState;
}
