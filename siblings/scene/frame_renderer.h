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

// Gives the render target a new size and the cameras' projection the matching aspect.
bool ResizeScene(EngineInterface& engine, unsigned width, unsigned height);

// Draws the frame; false without a device or when the device cannot draw.
bool RenderFrame(EngineInterface& engine, Kel_ChannelGroup& group, const FrameSettings& settings = {});

}  // namespace scene
