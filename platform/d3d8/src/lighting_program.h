// Direct3D's fixed-function vertex lighting as GL programs: GL's own lighting has no light
// range, no soft spot-light edge, one colour-material slot and its non-local viewer on
// the wrong side of the eye, so the device lights vertices with its own small programs,
// one per arrangement of lights and material sources, fed with uniform values.
#pragma once

#include <d3d8/d3d8.h>

#include "gl_headers.h"

#include <array>
#include <cstdint>
#include <string>

namespace d3d8_detail {

struct GLFunctions;

constexpr int kMaxLights = 8;
constexpr int kVectorsPerLight = 7;

// Where a material colour comes from in the program.
enum class ColourSource : std::uint8_t { Material = 0, VertexDiffuse = 1, VertexSpecular = 2 };

// What decides a lighting program's code; the values it reads are LightingValues.
struct LightingSetup {
    int lightCount = 0;
    std::array<D3DLIGHTTYPE, kMaxLights> types{};
    bool specular = false;     // D3DRS_SPECULARENABLE
    bool localViewer = true;   // D3DRS_LOCALVIEWER
    bool normalize = false;    // D3DRS_NORMALIZENORMALS
    ColourSource diffuse = ColourSource::Material, ambient = ColourSource::Material,
                 specularColour = ColourSource::Material, emissive = ColourSource::Material;

    std::uint64_t Key() const;
};

// The uniform values, as vec4s: per enabled light (in view space) diffuse, specular,
// ambient, position, direction (unit, the way the light travels), (a0, a1, a2, range),
// (cos(theta / 2), cos(phi / 2), falloff, 0); then the material's diffuse, ambient,
// specular, emissive, (power, 0, 0, 0) and the ambient render state.
struct LightingValues {
    std::array<float, 4 * kVectorsPerLight * kMaxLights> lights{};
    std::array<float, 4 * 6> material{};
};

// Fills one light's seven vectors, its position and direction taken into view space.
void PackLight(const D3DLIGHT8& light, const D3DMATRIX& view, float* out);
void PackMaterial(const D3DMATERIAL8& material, D3DCOLOR ambient, float* out);

std::string LightingVertexShader(const LightingSetup& setup);

struct LightingProgram {
    std::uint64_t key = 0;
    GLuint name = 0;  // 0 when it could not be made
    GLint lights = -1, material = -1;
    unsigned lightsVersion = 0, materialVersion = 0;
};

// Compiles and links the program for a setup; its name is 0 when GL refused it.
LightingProgram MakeLightingProgram(const GLFunctions& gl, const LightingSetup& setup);

}  // namespace d3d8_detail
