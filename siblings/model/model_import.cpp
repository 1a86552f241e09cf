#include "model_import.h"

#include <assimp/BaseImporter.h>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <set>
#include <unordered_map>

namespace model {

namespace {

// Area-weighted vertex normals of clockwise-front triangles. (The importer's own normal
// generation runs before its winding flip and would point them inwards.)
std::vector<D3DXVECTOR3> SmoothNormals(const std::vector<D3DXVECTOR3>& positions, const std::vector<uint32_t>& triangles) {
    std::vector<D3DXVECTOR3> normals(positions.size());
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        const D3DXVECTOR3& a = positions[triangles[t]];
        const D3DXVECTOR3 e1 = positions[triangles[t + 1]] - a, e2 = positions[triangles[t + 2]] - a;
        const D3DXVECTOR3 n(e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x);
        for (int k = 0; k < 3; ++k) normals[triangles[t + k]] += n;
    }
    for (D3DXVECTOR3& n : normals) {
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        n = length > 0.0f ? n / length : D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    }
    return normals;
}

// The kinds of model file read: those whose readers in the importer library held under
// fuzzing. Its PLY reader never returns on some damaged headers, and the others were not
// tried; a project names its model files, so a hostile one could pick any reader.
constexpr const char* kReadKinds[] = {"obj", "gltf", "glb", "stl", "off"};

// Empty when a reader of one of those kinds, picked by the name's ending, takes the file;
// otherwise why not. When no reader of the ending takes it, the importer would hand the file
// to every reader it has, one after the other, and some of them read past the end of a
// damaged file or never return.
std::string WhyNotReadable(const Assimp::Importer& importer, const std::string& nativePath) {
    const size_t slash = nativePath.find_last_of('/');
    const size_t dot = nativePath.find_last_of('.');
    std::string ending = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                             ? std::string()
                             : nativePath.substr(dot + 1);
    for (char& c : ending) c = char(std::tolower(static_cast<unsigned char>(c)));
    bool known = false;
    for (const char* kind : kReadKinds) known = known || ending == kind;
    if (!known) return "model files are read as .obj, .gltf, .glb, .stl or .off";
    for (size_t i = 0; i < importer.GetImporterCount(); ++i) {
        Assimp::BaseImporter* reader = importer.GetImporter(i);
        std::set<std::string> endings;
        reader->GetExtensionList(endings);
        if (endings.count(ending) && reader->CanRead(nativePath, importer.GetIOHandler(), false)) return {};
    }
    return "not a ." + ending + " file";
}

}  // namespace

std::vector<MeshPart> SplitPart(const MeshPart& whole, const std::vector<uint32_t>& triangles, size_t vertexLimit) {
    std::vector<MeshPart> parts;
    std::unordered_map<uint32_t, uint16_t> remap;
    auto start = [&] {
        parts.push_back(MeshPart{});
        parts.back().name = whole.name;
        parts.back().color = whole.color;
        remap.clear();
    };
    start();
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        size_t fresh = 0;
        for (int k = 0; k < 3; ++k) fresh += remap.count(triangles[t + k]) ? 0 : 1;
        if (parts.back().positions.size() + fresh > vertexLimit) start();
        MeshPart& part = parts.back();
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = triangles[t + k];
            auto [it, added] = remap.try_emplace(v, uint16_t(part.positions.size()));
            if (added) {
                part.positions.push_back(whole.positions[v]);
                if (!whole.normals.empty()) part.normals.push_back(whole.normals[v]);
                if (!whole.uvs.empty()) part.uvs.push_back(whole.uvs[v]);
            }
            part.indices.push_back(it->second);
        }
    }
    if (parts.back().positions.empty() && parts.size() > 1) parts.pop_back();
    return parts;
}

Model ReadModel(const std::string& nativePath, SplitRule rule, size_t vertexLimit) {
    Model result;
    // The importer opens what it is given and would wait on a FIFO for ever.
    struct stat st;
    if (::stat(nativePath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        result.error = "can't read model " + nativePath + ": not a regular file";
        return result;
    }
    Assimp::Importer importer;
    if (const std::string why = WhyNotReadable(importer, nativePath); !why.empty()) {
        result.error = "can't read model " + nativePath + ": " + why;
        return result;
    }
    // Triangles in the device's convention. The importer's own check of what it read runs
    // first: its other steps would follow a face's vertex numbers wherever they point.
    const aiScene* scene = importer.ReadFile(
        nativePath, aiProcess_ValidateDataStructure | aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                        aiProcess_SortByPType | aiProcess_ConvertToLeftHanded);
    if (!scene || !scene->mRootNode) {
        result.error = "can't read model " + nativePath + ": " + importer.GetErrorString();
        return result;
    }
    // Meshes in node order, each placed by its node's transform from the root.
    struct Placed {
        const aiNode* node;
        aiMatrix4x4 transform;
    };
    std::vector<Placed> pending{{scene->mRootNode, scene->mRootNode->mTransformation}};
    while (!pending.empty()) {
        const Placed placed = pending.front();
        pending.erase(pending.begin());
        for (unsigned c = 0; c < placed.node->mNumChildren; ++c)
            pending.push_back({placed.node->mChildren[c], placed.transform * placed.node->mChildren[c]->mTransformation});
        aiMatrix3x3 normalTransform(placed.transform);
        normalTransform.Inverse().Transpose();
        for (unsigned k = 0; k < placed.node->mNumMeshes; ++k) {
            const unsigned m = placed.node->mMeshes[k];
            if (m >= scene->mNumMeshes) continue;
            const aiMesh* mesh = scene->mMeshes[m];
            if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) || mesh->mNumVertices == 0) continue;
            MeshPart whole;
            whole.name = mesh->mName.C_Str();
            if (mesh->mMaterialIndex < scene->mNumMaterials) {
                aiColor4D diffuse;
                if (scene->mMaterials[mesh->mMaterialIndex]->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS)
                    whole.color = D3DXVECTOR4{diffuse.r, diffuse.g, diffuse.b, diffuse.a};
            }
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                const aiVector3D p = placed.transform * mesh->mVertices[v];
                whole.positions.emplace_back(p.x, p.y, p.z);
                if (mesh->HasNormals()) {
                    aiVector3D n = normalTransform * mesh->mNormals[v];
                    n.NormalizeSafe();
                    whole.normals.emplace_back(n.x, n.y, n.z);
                }
                if (mesh->HasTextureCoords(0))
                    whole.uvs.push_back(D3DXVECTOR2{mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y});
            }
            std::vector<uint32_t> triangles;
            triangles.reserve(size_t(mesh->mNumFaces) * 3);
            for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
                const aiFace& face = mesh->mFaces[f];
                if (face.mNumIndices != 3) continue;
                // The file's own numbers: a face may name a vertex the mesh does not have.
                for (unsigned k = 0; k < 3; ++k) {
                    if (face.mIndices[k] >= mesh->mNumVertices) {
                        result.parts.clear();
                        result.error = "model " + nativePath + ": face " + std::to_string(f) + " of mesh \"" +
                                       whole.name + "\" names vertex " + std::to_string(face.mIndices[k]) +
                                       ", but the mesh has " + std::to_string(mesh->mNumVertices);
                        return result;
                    }
                }
                triangles.insert(triangles.end(), face.mIndices, face.mIndices + 3);
            }
            if (whole.normals.empty()) whole.normals = SmoothNormals(whole.positions, triangles);
            if (whole.positions.size() > vertexLimit && rule == SplitRule::kRefuse) {
                result.parts.clear();
                result.error = "model " + nativePath + ": mesh \"" + whole.name + "\" has " +
                               std::to_string(whole.positions.size()) + " vertices, more than the " +
                               std::to_string(vertexLimit) + " one mesh may have (indices are 16-bit)";
                return result;
            }
            for (MeshPart& part : SplitPart(whole, triangles, vertexLimit)) result.parts.push_back(std::move(part));
        }
    }
    if (result.parts.empty()) result.error = "model " + nativePath + " holds no triangle mesh";
    return result;
}

}  // namespace model
