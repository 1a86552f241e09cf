// Tick-count channel: a float channel whose value is the last frame's duration T in
// 1/25 s, at most 2 (T x 0.04 is seconds), as the engine's host set it for this frame.
#pragma once

#include "plugin_frame/siblings/float_channel.h"

class Kco_TickCountChannel : public Kco_FloatChannel {
public:
    Kco_TickCountChannel();
    ~Kco_TickCountChannel() override;

    float GetFloat() override;
};
