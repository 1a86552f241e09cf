// The private tick-count channel a time-driven channel owns (the value operator, the
// physics world and body): created through the engine, deleted with the clock. Its value
// T is the last frame's duration in 1/25 s.
#pragma once

#include "plugin_frame/engine_interface.h"
#include "plugin_frame/siblings/tick_count_channel.h"
#include "plugin_frame/type_guids.h"

class FrameClock {
public:
    static constexpr float kSecondsPerTick = 0.04f;  // one unit of T, in seconds

    FrameClock() = default;
    // A copy owns a channel of its own: sharing one would free it twice.
    FrameClock(const FrameClock& other) { Take(other.engine_); }
    // An assigned clock keeps its own channel (or takes one when it has none).
    FrameClock& operator=(const FrameClock& other) {
        if (!channel_) Take(other.engine_);
        return *this;
    }
    ~FrameClock() { Drop(); }

    // Creates the private channel through `engine`; without an engine, or when the engine
    // gives something else, the clock stands at 0.
    void Take(EngineInterface* engine) {
        Drop();
        engine_ = engine;
        if (!engine) return;
        Kel_Channel* channel = engine->InitChannelFromType(type_guids::kTickCountChannel, nullptr, false);
        if (channel && !channel->IsOfType(type_guids::kTickCountChannel)) {
            delete channel;
            channel = nullptr;
        }
        channel_ = static_cast<Kco_TickCountChannel*>(channel);
    }
    // A clock supplied otherwise (any float channel whose value is T), owned from now on.
    void Adopt(Kco_FloatChannel* channel) {
        Drop();
        channel_ = channel;
    }
    void Drop() {
        delete channel_;
        channel_ = nullptr;
    }

    float Ticks() const { return channel_ ? channel_->GetFloat() : 0.0f; }  // frame time T, in 1/25 s
    float Seconds() const { return Ticks() * kSecondsPerTick; }
    Kco_FloatChannel* Channel() const { return channel_; }

private:
    EngineInterface* engine_ = nullptr;
    Kco_FloatChannel* channel_ = nullptr;
};
