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

// The first N children of one type (N at most 3), null where there are fewer.
template <typename T, int N>
class Inputs {
    static_assert(N >= 1 && N <= 3);

public:
    Inputs(Kco_ValueOperator& self, const GUID& type) {
        const Kco_ValueOperator::FoundInputs& found = self.FindInputs(type);
        complete_ = found.count >= N;
        // The type or base type matched, so the cast holds (a value operator is a float).
        for (int i = 0; i < N; ++i) at_[i] = static_cast<T*>(found.at[i]);
    }
    // Whether all N were found.
    bool Complete() const { return complete_; }
    // Input n, or null when there are fewer.
    T* operator[](int n) const { return at_[n]; }

private:
    T* at_[N] = {};
    bool complete_ = false;
};

template <int N>
struct Vectors : Inputs<Kco_VectorChannel, N> {
    explicit Vectors(Kco_ValueOperator& self) : Inputs<Kco_VectorChannel, N>(self, type_guids::kVectorChannel) {}
};
template <int N>
struct Matrices : Inputs<Kco_MatrixChannel, N> {
    explicit Matrices(Kco_ValueOperator& self) : Inputs<Kco_MatrixChannel, N>(self, type_guids::kMatrixChannel) {}
};
template <int N>
struct Floats : Inputs<Kco_FloatChannel, N> {
    explicit Floats(Kco_ValueOperator& self) : Inputs<Kco_FloatChannel, N>(self, type_guids::kFloatChannel) {}
};
template <int N>
struct Strings : Inputs<Kco_StringChannel, N> {
    explicit Strings(Kco_ValueOperator& self) : Inputs<Kco_StringChannel, N>(self, type_guids::kStringChannel) {}
};

// S0's text; null when the child is missing or has none.
const char* FirstText(Kco_ValueOperator& self) {
    Strings<1> s(self);
    return s.Complete() ? s[0]->GetString() : nullptr;
}

D3DXVECTOR3 Translation(const D3DXMATRIX& m) { return D3DXVECTOR3(m._41, m._42, m._43); }

float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 d = a - b;
    return D3DXVec3Length(&d);
}

}  // namespace

const Kco_ValueOperator::FoundInputs& Kco_ValueOperator::FindInputs(const GUID& type) {
    const uint64_t generation = GetLinkGeneration();
    if (foundInputs.linkGeneration == generation && foundInputs.type == type) return foundInputs;
    foundInputs = FoundInputs{generation, type};
    const int children = GetChildCount();
    for (int i = 0; i < children && foundInputs.count < 3; ++i) {
        Kel_Channel* child = GetChild(i);
        if (!child) continue;
        const ChannelType& t = child->Type();
        if (t.typeGuid == type || t.baseTypeGuid == type) foundInputs.at[foundInputs.count++] = child;
    }
    return foundInputs;
}

float Kco_ValueOperator::CalculateValue() {
    using namespace valueop;
    Kco_ValueOperator& self = *this;
    switch (operationType) {
        case kDotProduct: {
            Vectors<2> v(self);
            if (!v.Complete()) return 0.0f;
            const D3DXVECTOR3 a = v[0]->GetVector(), b = v[1]->GetVector();
            return D3DXVec3Dot(&a, &b);
        }
        case kVectorX:
        case kVectorY:
        case kVectorZ: {
            Vectors<1> v(self);
            if (!v.Complete()) return 0.0f;
            const D3DXVECTOR3 a = v[0]->GetVector();
            return operationType == kVectorX ? a.x : operationType == kVectorY ? a.y : a.z;
        }
        case kVectorLength: {
            Vectors<1> v(self);
            if (!v.Complete()) return 0.0f;
            const D3DXVECTOR3 a = v[0]->GetVector();
            return D3DXVec3Length(&a);
        }
        case kVectorDistance:
        case kVectorDistanceSquared: {
            Vectors<2> v(self);
            if (!v.Complete()) return 0.0f;
            const D3DXVECTOR3 d = v[0]->GetVector() - v[1]->GetVector();
            return operationType == kVectorDistance ? D3DXVec3Length(&d) : D3DXVec3LengthSq(&d);
        }
        case kMatrixSpeed:
            return CalculateSpeed();
        case kMatrixDistance: {
            Matrices<2> m(self);
            if (!m.Complete()) return 0.0f;
            return Distance(Translation(m[0]->GetMatrix()), Translation(m[1]->GetMatrix()));
        }
        case kWrapAccumulator:
            return CalculateWrap();
        case kClampAccumulator:
            return CalculateClamp();
        case kLimit:
            return CalculateLimit();
        case kStringLength: {
            const char* text = FirstText(self);
            return text ? float(std::strlen(text)) : 0.0f;
        }
        case kStringFindFirst:
        case kStringFindLast: {
            Strings<2> s(self);
            if (!s.Complete()) return 0.0f;
            const char* needle = s[0]->GetString();
            const char* hay = s[1]->GetString();
            if (!needle || !hay) return 0.0f;
            return operationType == kStringFindFirst ? FindFirst(needle, hay) : FindLast(needle, hay);
        }
        case kStringToInteger: {
            const char* text = FirstText(self);
            return text ? ParseInteger(text) : 0.0f;
        }
        case kStringToFloat: {
            const char* text = FirstText(self);
            return text ? ParseFloat(text) : 0.0f;
        }
        case kObjectVisible:
            return CalculateObjectVisible();
        case kHeldToggle:
            return CalculateHeldToggle();
        case kStringEqualIgnoreCase: {
            Strings<2> s(self);
            if (!s.Complete()) return 0.0f;
            const char* a = s[0]->GetString();
            const char* b = s[1]->GetString();
            if (!a || !b) return !a && !b ? 1.0f : 0.0f;
            return os::EqualsIgnoreCase(a, b) ? 1.0f : 0.0f;
        }
        case kFileSize: {
            const char* name = FirstText(self);
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
    Matrices<2> m(*this);
    if (!m[0]) return 0.0f;
    const D3DXVECTOR3 other = m[1] ? Translation(m[1]->GetMatrix()) : D3DXVECTOR3();
    const float d = Distance(Translation(m[0]->GetMatrix()), other);
    if (!firstMeasureDone) {
        previousValue = d;
        firstMeasureDone = true;
    }
    float delta = d - previousValue;
    previousValue = d;
    if (tickCountChannel.Channel()) {
        const float seconds = tickCountChannel.Seconds();
        if (seconds != 0.0f) delta = delta / seconds;
    }
    return std::fabs(delta);
}

float Kco_ValueOperator::CalculateWrap() {
    Floats<3> f(*this);
    if (!f.Complete()) return 0.0f;
    const float low = f[0]->GetFloat();
    const float high = f[1]->GetFloat();
    const float step = f[2]->GetFloat();
    return valueop::WrapAccumulate(currentFloat, low, high, step).value_or(0.0f);
}

float Kco_ValueOperator::CalculateClamp() {
    Floats<3> f(*this);
    if (!f.Complete()) return 0.0f;
    const float low = f[0]->GetFloat();
    const float high = f[1]->GetFloat();
    const float step = f[2]->GetFloat();
    return valueop::ClampAccumulate(currentFloat, low, high, step);
}

float Kco_ValueOperator::CalculateLimit() {
    Floats<3> f(*this);
    if (!f.Complete()) return 0.0f;
    const float low = f[0]->GetFloat();
    const float high = f[1]->GetFloat();
    const float input = f[2]->GetFloat();
    return valueop::Limit(input, low, high);
}

// Visibility is tested with the device's world transform set to the object's matrix; the
// transform other channels set is put back afterwards.
float Kco_ValueOperator::CalculateObjectVisible() {
    Inputs<Kco_DX8_ObjectChannel, 1> objects(*this, type_guids::kObjectChannel);
    Kco_DX8_ObjectChannel* object = objects[0];
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
    Matrices<1> m(*this);
    Kco_MatrixChannel* m0 = m[0];
    if (!m0 || !directGraphicsChannel) return 0.0f;
    const D3DXMATRIX view = directGraphicsChannel->GetCameraMatrix();
    D3DXMATRIX cameraWorld;
    // A singular view matrix places the camera nowhere.
    if (!D3DXMatrixInverse(&cameraWorld, nullptr, &view)) return 0.0f;
    return Distance(Translation(cameraWorld), Translation(m0->GetMatrix()));
}

// Seeds the process-wide generator every user of rand() shares.
float Kco_ValueOperator::CalculateSeed() {
    Kco_FloatChannel* f0 = Floats<1>(*this)[0];
    const unsigned seed = f0 ? unsigned(valueop::TruncateToInt(f0->GetFloat())) : unsigned(os::GetTickCount());
    std::srand(seed);
    return 0.0f;
}

float Kco_ValueOperator::CalculateStringCount() {
    Strings<2> s(*this);
    if (!s.Complete()) return 0.0f;
    Kco_StringChannel* s0 = s[0];
    Kco_StringChannel* s1 = s[1];
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
    Kco_FloatChannel* f0 = Floats<1>(*this)[0];
    if (f0 && f0->GetFloat() >= 1.0f) FlipToggle();
    return toggleState;
}

float Kco_ValueOperator::CalculateRisingEdgeToggle() {
    Kco_FloatChannel* f0 = Floats<1>(*this)[0];
    if (f0) {
        const float value = f0->GetFloat();
        if (value >= 1.0f && previousValue < 1.0f) FlipToggle();
        previousValue = value;
    }
    return toggleState;
}
