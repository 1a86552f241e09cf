// Base of every channel that draws with the unique direct-graphics channel's device.
#pragma once

#include "plugin_frame/kel_channel.h"

class Kco_DX8_DirectGraphicsChannel;
class IDirect3DDevice8;

class Kco_DX8_D3DDeviceUse : public Kel_Channel {
public:
    // Finds the unique direct-graphics channel of the current engine (null without one).
    Kco_DX8_D3DDeviceUse();
    Kco_DX8_D3DDeviceUse(const Kco_DX8_D3DDeviceUse&) = default;
    Kco_DX8_D3DDeviceUse& operator=(const Kco_DX8_D3DDeviceUse&) = default;
    ~Kco_DX8_D3DDeviceUse() override;

    // ---- Kel_Channel slot 11 ----
    void DoDependencyInit(Kel_List* list) override;

    // ---- added, in this order ----
    // Releases every device object (buffers) the channel made; they are made again on use.
    virtual void InvalidateDeviceObjects();
    // The direct-graphics channel is going away: releases device objects and forgets it.
    virtual void InvalidateDirectGraphics();

    // Not virtual: shorthands for what derived classes reach through `directGraphics`.
    Kco_DX8_DirectGraphicsChannel* GetDirectGraphics() const { return directGraphics; }
    // The device, or null without a direct-graphics channel.
    IDirect3DDevice8* GetDevice() const;

protected:
    Kco_DX8_DirectGraphicsChannel* directGraphics = nullptr;  // unique channel, not owned; may be null
};
