// Kco_ValueOperator: a float channel whose value is computed from the channels linked
// below it by one of 26 operations, chosen by the operation type. Inputs are taken by type
// and ordinal over all children in link order (the second vector child is "V1" wherever
// it hangs), so the user may link the inputs in any order.
#pragma once

#include <cstdint>

#include <vecmath/d3dx_types.h>

#include "plugin_frame/frame_clock.h"
#include "plugin_frame/siblings/float_channel.h"

class Kco_TickCountChannel;
class Kco_DX8_DirectGraphicsChannel;

class Kco_ValueOperator : public Kco_FloatChannel {
public:
    // Operation types. Values outside 0..25 are kept as set and yield 0.
    enum Operation : int32_t {
        kDotProduct = 0,
        kVectorX = 1,
        kVectorY = 2,
        kVectorZ = 3,
        kVectorLength = 4,
        kVectorDistance = 5,
        kVectorDistanceSquared = 6,
        kMatrixSpeed = 7,
        kMatrixDistance = 8,
        kWrapAccumulator = 9,
        kClampAccumulator = 10,
        kLimit = 11,
        kStringLength = 12,
        kStringFindFirst = 13,
        kStringFindLast = 14,
        kStringToInteger = 15,
        kStringToFloat = 16,
        kObjectVisible = 17,
        kHeldToggle = 18,
        kStringEqualIgnoreCase = 19,
        kFileSize = 20,
        kPublicFloat = 21,
        kCameraDistance = 22,
        kSeedRandom = 23,
        kStringCount = 24,
        kRisingEdgeToggle = 25,
        kOperationCount = 26,
    };

    Kco_ValueOperator();
    // A copy takes its own tick-count channel from the engine; everything else is copied.
    Kco_ValueOperator(const Kco_ValueOperator& other);
    Kco_ValueOperator& operator=(const Kco_ValueOperator& other);
    ~Kco_ValueOperator() override;

    void CallChannel() override;
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void DoDependencyInit(Kel_List* list) override;
    // Computes the value at most once per frame; later reads in the frame get it stored.
    // Operators reading operators nest at most kMaxEvaluationDepth deep (see the README).
    float GetFloat() override;
    static constexpr int kMaxEvaluationDepth = 1000;

    // ---- own virtual operations, in slot order after the float channel's ----
    virtual float CalculateValue();
    virtual void SetOperationType(int type);
    virtual int GetOperationType();
    virtual void SetStoreCurrentValue(bool store);
    virtual bool GetStoreCurrentValue();

    // Not part of the interface between libraries; for hosts and tests.
    const D3DXVECTOR3& GetStoredVector() const { return storedVector; }
    void SetStoredVector(const D3DXVECTOR3& v) { storedVector = v; }
    float GetToggleState() const { return toggleState; }
    Kco_TickCountChannel* GetTickCountChannel() const {
        return static_cast<Kco_TickCountChannel*>(tickCountChannel.Channel());  // only ever taken from the engine
    }

    // Up to three children of one type, in link order: what GetChildFromLinkGuid(type, 0..2)
    // names. Kept until a link changes anywhere, so a frame reads no child's type record.
    struct FoundInputs {
        uint64_t linkGeneration = 0;  // 0: nothing found yet
        GUID type = kNullGuid;
        int count = 0;
        Kel_Channel* at[3] = {};
    };
    const FoundInputs& FindInputs(const GUID& type);

private:
    float CalculateSpeed();
    float CalculateWrap();
    float CalculateClamp();
    float CalculateLimit();
    float CalculateObjectVisible();
    float CalculatePublicFloat();
    float CalculateCameraDistance();
    float CalculateSeed();
    float CalculateStringCount();
    float CalculateHeldToggle();
    float CalculateRisingEdgeToggle();
    void FlipToggle() { toggleState = toggleState < 1.0f ? 1.0f : 0.0f; }
    void TakeTickCountChannel();

    float previousValue = 0.0f;         // last distance (op 7) or last trigger value (op 25)
    int32_t operationType = kDotProduct;
    D3DXVECTOR3 storedVector;           // saved with the stored state; no operation uses it
    bool firstMeasureDone = false;      // op 7 has measured once
    FrameClock tickCountChannel;  // private tick-count channel: frame time, in 1/25 s
    float toggleState = 0.0f;           // 0 or 1 (ops 18, 25)
    Kco_DX8_DirectGraphicsChannel* directGraphicsChannel = nullptr;  // unique, not owned
    uint32_t stringStamps[2] = {0, 0};  // time stamps of S0, S1 seen by op 24
    bool storeCurrentValue = false;     // whether toggle, value and vector are saved
    // Op 24's own memory: the stamps above are meaningful only once taken, and the count
    // they belong to is kept apart from the current value, which other frames overwrite.
    bool stringStampsTaken = false;
    float stringCount = 0.0f;
    FoundInputs foundInputs;
};
