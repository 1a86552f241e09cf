// Draws one frame of a channel group's scene through the unique direct-graphics channel's
// device: the group's first camera, its point lights, every 3D object, then the shadows of
// every stencil shadow render channel. Used by the viewer and by image tests.
#pragma once

#include <d3d8/d3d8types.h>

class EngineInterface;
class Kel_ChannelGroup;
class IDirect3DDevice8;

namespace scene {

struct FrameSettings {
    D3DCOLOR background = 0xFF000000;  // cleared colour, 0xAARRGGBB
    D3DCOLOR ambient = 0xFF202020;     // ambient light added to every lit surface
};

// The device the group draws with (the engine's unique direct-graphics channel), made
// when there is none yet; null when the channel library cannot be loaded.
IDirect3DDevice8* SceneDevice(EngineInterface& engine);

// Every channel of the group that made device objects lets them go (they are made again on
// use), so the device can be reset or replaced: Reset fails while a buffer of the default
// pool is held.
void ReleaseDeviceObjects(Kel_ChannelGroup& group);

// Gives the render target a new size and the cameras' projection the matching aspect. The
// group's channels release their device objects first when the size changes (the device is
// reset).
bool ResizeScene(EngineInterface& engine, Kel_ChannelGroup& group, unsigned width, unsigned height);
// The same before anything was drawn (no channel holds device objects yet).
bool ResizeScene(EngineInterface& engine, unsigned width, unsigned height);

// Draws the frame; false without a device, when the device cannot draw, or while it is lost.
// A device that can be had again is reset first (the group's device objects are released and
// made again on use).
bool RenderFrame(EngineInterface& engine, Kel_ChannelGroup& group, const FrameSettings& settings = {});

}  // namespace scene
