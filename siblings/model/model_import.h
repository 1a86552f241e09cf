// Reads a model file (OBJ, glTF 2.0, STL or OFF, chosen by the name's ending) into mesh parts that 16-bit indices can address. Node transforms are applied,
// polygons are triangulated, and the coordinates are turned into the left-handed,
// clockwise-front convention the device draws with.
#pragma once

#include <string>
#include <vector>

#include <vecmath/d3dx_types.h>

#include <cstdint>

namespace model {

inline constexpr size_t kMaxPartVertices = 65535;

struct MeshPart {
    std::string name;                 // the model's name of the mesh it came from
    std::vector<D3DXVECTOR3> positions;
    std::vector<D3DXVECTOR3> normals;  // empty when the file had none and none could be made
    std::vector<D3DXVECTOR2> uvs;      // empty when the mesh has no texture coordinates
    std::vector<uint16_t> indices;     // triangle list
    D3DXVECTOR4 color{0.8f, 0.8f, 0.8f, 1.0f};  // the material's diffuse colour
};

struct Model {
    std::vector<MeshPart> parts;
    std::string error;  // empty on success
};

enum class SplitRule {
    kSplit,   // a mesh over the vertex limit becomes several parts
    kRefuse,  // a mesh over the vertex limit fails the whole read
};

// `nativePath` is a path of this machine. Meshes that are not triangles (points, lines)
// are left out.
Model ReadModel(const std::string& nativePath, SplitRule rule = SplitRule::kSplit,
                size_t vertexLimit = kMaxPartVertices);

// Splits a triangle list over `vertexLimit` vertices into parts, triangle by triangle in
// order; each part holds the vertices its triangles use.
std::vector<MeshPart> SplitPart(const MeshPart& whole, const std::vector<uint32_t>& triangles, size_t vertexLimit);

}  // namespace model
