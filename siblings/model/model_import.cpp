#include "model_import.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <unordered_map>

namespace model {

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

Model ReadModel(const std::string& nativePath, SplitRule rule) {
    Model result;
    Assimp::Importer importer;
    // Triangles in the device's convention; node transforms baked in so parts need no
    // hierarchy of their own.
    const aiScene* scene = importer.ReadFile(
        nativePath, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals |
                        aiProcess_PreTransformVertices | aiProcess_SortByPType | aiProcess_ConvertToLeftHanded);
    if (!scene || !scene->mRootNode) {
        result.error = "can't read model " + nativePath + ": " + importer.GetErrorString();
        return result;
    }
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
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
            const aiVector3D& p = mesh->mVertices[v];
            whole.positions.emplace_back(p.x, p.y, p.z);
            if (mesh->HasNormals()) whole.normals.emplace_back(mesh->mNormals[v].x, mesh->mNormals[v].y, mesh->mNormals[v].z);
            if (mesh->HasTextureCoords(0)) whole.uvs.push_back(D3DXVECTOR2{mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y});
        }
        std::vector<uint32_t> triangles;
        triangles.reserve(size_t(mesh->mNumFaces) * 3);
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3) continue;
            triangles.insert(triangles.end(), face.mIndices, face.mIndices + 3);
        }
        if (whole.positions.size() > kMaxPartVertices && rule == SplitRule::kRefuse) {
            result.parts.clear();
            result.error = "model " + nativePath + ": mesh \"" + whole.name + "\" has " +
                           std::to_string(whole.positions.size()) +
                           " vertices, more than the 65535 that 16-bit indices can address";
            return result;
        }
        for (MeshPart& part : SplitPart(whole, triangles, kMaxPartVertices)) result.parts.push_back(std::move(part));
    }
    if (result.parts.empty()) result.error = "model " + nativePath + " holds no triangle mesh";
    return result;
}

}  // namespace model
