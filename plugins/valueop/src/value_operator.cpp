// Kco_ValueOperator: construction, ownership, per-frame caching, saving and loading.
// The operations themselves are in calculate_value.cpp.
#include "valueop/value_operator.h"

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/plugin_exports.h"
#include "plugin_frame/siblings/direct_graphics_channel.h"
#include "plugin_frame/siblings/tick_count_channel.h"
#include "plugin_frame/type_guids.h"

namespace {
constexpr const char* kTypeName = "ValueOperator";
}  // namespace

DEFINE_CHANNEL_EXPORTS(Kco_ValueOperator,
                       (ChannelTypeInfo{kTypeName, type_guids::kValueOperator,
                                        type_guids::kFloatChannel, 1}))

Kco_ValueOperator::Kco_ValueOperator() {
    SetChannelName(kTypeName);
    SetChildCreationCount(1);
    SetChildCreateType(MakeChildCreation("All types", kAnyTypeGuid, -1, false, "Different types"), 0);
    TakeTickCountChannel();
    if (engineInterface) {
        Kel_Channel* graphics = engineInterface->GetUniqueChannel(type_guids::kDirectGraphicsChannel, nullptr);
        if (graphics && graphics->IsOfType(type_guids::kDirectGraphicsChannel))
            directGraphicsChannel = static_cast<Kco_DX8_DirectGraphicsChannel*>(graphics);
    }
}

Kco_ValueOperator::Kco_ValueOperator(const Kco_ValueOperator& other)
    : Kco_FloatChannel(other),
      previousValue(other.previousValue),
      operationType(other.operationType),
      storedVector(other.storedVector),
      firstMeasureDone(other.firstMeasureDone),
      toggleState(other.toggleState),
      directGraphicsChannel(other.directGraphicsChannel),
      stringStamps{other.stringStamps[0], other.stringStamps[1]},
      storeCurrentValue(other.storeCurrentValue),
      stringStampsTaken(other.stringStampsTaken),
      stringCount(other.stringCount) {
    TakeTickCountChannel();  // a clock of its own
}

Kco_ValueOperator& Kco_ValueOperator::operator=(const Kco_ValueOperator& other) {
    if (this == &other) return *this;
    Kco_FloatChannel::operator=(other);
    previousValue = other.previousValue;
    operationType = other.operationType;
    storedVector = other.storedVector;
    firstMeasureDone = other.firstMeasureDone;
    toggleState = other.toggleState;  // the tick-count channel stays our own
    directGraphicsChannel = other.directGraphicsChannel;
    stringStamps[0] = other.stringStamps[0];
    stringStamps[1] = other.stringStamps[1];
    storeCurrentValue = other.storeCurrentValue;
    stringStampsTaken = other.stringStampsTaken;
    stringCount = other.stringCount;
    tickCountChannel = other.tickCountChannel;  // keeps our own channel
    return *this;
}

Kco_ValueOperator::~Kco_ValueOperator() = default;

void Kco_ValueOperator::TakeTickCountChannel() { tickCountChannel.Take(engineInterface); }

namespace {
// Each operator that reads another nests one call deeper. No real project comes near this;
// a chain past it (a damaged or hostile file) would run the stack out, so the operator
// that would go deeper keeps its last value and the engine is told once.
thread_local int evaluationDepth = 0;
thread_local bool depthReported = false;
}  // namespace

float Kco_ValueOperator::GetFloat() {
    if (!CheckRenderCount()) return currentFloat;
    if (evaluationDepth >= kMaxEvaluationDepth) {
        if (!depthReported && engineInterface)
            engineInterface->ShowDebugMessage("Value operators nested deeper than the limit of", kMaxEvaluationDepth);
        depthReported = true;
        return currentFloat;
    }
    ++evaluationDepth;
    currentFloat = CalculateValue();
    --evaluationDepth;
    return currentFloat;
}

void Kco_ValueOperator::CallChannel() {
    if (operationType == kHeldToggle)
        FlipToggle();
    else
        GetFloat();
}

void Kco_ValueOperator::SetOperationType(int type) { operationType = type; }
int Kco_ValueOperator::GetOperationType() { return operationType; }
void Kco_ValueOperator::SetStoreCurrentValue(bool store) { storeCurrentValue = store; }
bool Kco_ValueOperator::GetStoreCurrentValue() { return storeCurrentValue; }

void Kco_ValueOperator::DoDependencyInit(Kel_List* list) {
    AddChannelGuidDepend(type_guids::kTickCountChannel, list);
    AddChannelGuidDepend(type_guids::kDirectGraphicsChannel, list);
}

// Records: "VEOT" operation type (int32); with the stored state also "VEFF" toggle,
// "VECF" current value (floats) and "VECV" stored vector (three floats x, y, z).
bool Kco_ValueOperator::SaveChannel(KelFileSaver& saver) {
    // The float base's own record is not used: the stored state replaces it.
    if (!Kel_Channel::SaveChannel(saver)) return false;
    SaveField(saver, "VEOT", operationType);
    if (storeCurrentValue) {
        SaveField(saver, "VEFF", toggleState);
        SaveField(saver, "VECF", currentFloat);
        const float vector[3] = {storedVector.x, storedVector.y, storedVector.z};
        SaveField(saver, "VECV", vector);
    }
    return true;
}

bool Kco_ValueOperator::LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) {
    if (!Kel_Channel::LoadChannel(loader, group)) return false;
    LoadField(loader, "VEOT", operationType);
    // The toggle's record is what says the stored state was saved.
    storeCurrentValue = LoadField(loader, "VEFF", toggleState);
    if (storeCurrentValue) {
        LoadField(loader, "VECF", currentFloat);
        float vector[3] = {storedVector.x, storedVector.y, storedVector.z};
        if (LoadField(loader, "VECV", vector)) storedVector = D3DXVECTOR3(vector[0], vector[1], vector[2]);
    }
    return true;
}
