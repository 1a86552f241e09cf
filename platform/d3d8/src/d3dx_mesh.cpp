#include "d3d8/d3dx_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <tuple>

DWORD ID3DXBuffer::Release() {
    DWORD left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    try {
        *buffer = new ID3DXBuffer(size);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

DWORD D3DXGetFVFVertexSize(DWORD fvf) {
    DWORD size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case 0: break;
    case D3DFVF_XYZ: size += 12; break;
    default: return 0;  // blended and transformed positions are not laid out here
    }
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & ~(D3DFVF_POSITION_MASK | D3DFVF_NORMAL)) return 0;
    return size;
}

HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf,
                          IDirect3DDevice8* device, ID3DXMesh** mesh) {
    if (!mesh) return D3DERR_INVALIDCALL;
    *mesh = nullptr;
    DWORD stride = D3DXGetFVFVertexSize(fvf);
    if (!device || stride == 0) return D3DERR_INVALIDCALL;
    bool wide = options & D3DXMESH_32BIT;
    if (!wide && numVertices > 0xFFFFu) return D3DERR_INVALIDCALL;
    size_t indexBytes = size_t(numFaces) * 3 * (wide ? 4 : 2);
    ID3DXMesh* created = nullptr;
    try {
        created = new ID3DXMesh();
        created->vertexData_.resize(size_t(numVertices) * stride);
        created->indexData_.resize(indexBytes);
    } catch (const std::bad_alloc&) {
        delete created;
        return E_OUTOFMEMORY;
    }
    created->device_ = device;
    created->faces_ = numFaces;
    created->vertices_ = numVertices;
    created->fvf_ = fvf;
    created->options_ = options;
    created->stride_ = stride;
    *mesh = created;
    return D3D_OK;
}

DWORD ID3DXMesh::Release() {
    DWORD left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT ID3DXMesh::GetDevice(IDirect3DDevice8** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = device_;
    return D3D_OK;
}

HRESULT ID3DXMesh::LockVertexBuffer(DWORD, BYTE** data) {
    if (!data || vertexLocked_) return D3DERR_INVALIDCALL;
    vertexLocked_ = true;
    *data = vertexData_.data();
    return D3D_OK;
}

HRESULT ID3DXMesh::UnlockVertexBuffer() {
    if (!vertexLocked_) return D3DERR_INVALIDCALL;
    vertexLocked_ = false;
    return D3D_OK;
}

HRESULT ID3DXMesh::LockIndexBuffer(DWORD, BYTE** data) {
    if (!data || indexLocked_) return D3DERR_INVALIDCALL;
    indexLocked_ = true;
    *data = indexData_.data();
    return D3D_OK;
}

HRESULT ID3DXMesh::UnlockIndexBuffer() {
    if (!indexLocked_) return D3DERR_INVALIDCALL;
    indexLocked_ = false;
    return D3D_OK;
}

HRESULT ID3DXMesh::GenerateAdjacency(float epsilon, DWORD* adjacency) {
    if (!adjacency || !(epsilon >= 0) || (fvf_ & D3DFVF_POSITION_MASK) != D3DFVF_XYZ)
        return D3DERR_INVALIDCALL;
    bool wide = options_ & D3DXMESH_32BIT;
    auto index = [&](size_t i) -> DWORD {
        if (wide) {
            uint32_t v;
            std::memcpy(&v, &indexData_[i * 4], 4);
            return v;
        }
        uint16_t v;
        std::memcpy(&v, &indexData_[i * 2], 2);
        return v;
    };
    auto position = [&](DWORD v) {
        float p[3] = {0, 0, 0};
        if (v < vertices_) std::memcpy(p, &vertexData_[size_t(v) * stride_], 12);
        return std::make_tuple(p[0], p[1], p[2]);
    };
    // Each vertex stands for the first vertex whose position lies within epsilon of it, so
    // edges between equal (or near) positions meet whatever vertex copies they use.
    std::vector<DWORD> representative(vertices_);
    std::map<std::tuple<float, float, float>, DWORD> exact;
    for (DWORD v = 0; v < vertices_; ++v) {
        auto p = position(v);
        representative[v] = exact.emplace(p, v).first->second;
    }
    if (epsilon > 0) {
        for (DWORD v = 0; v < vertices_; ++v) {
            if (representative[v] != v) continue;
            auto [x, y, z] = position(v);
            for (DWORD w = 0; w < v; ++w) {
                if (representative[w] != w) continue;
                auto [a, b, c] = position(w);
                if (std::fabs(a - x) <= epsilon && std::fabs(b - y) <= epsilon && std::fabs(c - z) <= epsilon) {
                    representative[v] = w;
                    break;
                }
            }
        }
        for (DWORD v = 0; v < vertices_; ++v) representative[v] = representative[representative[v]];
    }
    auto rep = [&](DWORD v) { return v < vertices_ ? representative[v] : v; };
    // Directed edge (a, b) of face f; a neighbour runs the same edge the other way.
    std::map<std::pair<DWORD, DWORD>, DWORD> edges;
    for (DWORD f = 0; f < faces_; ++f)
        for (int e = 0; e < 3; ++e)
            edges.emplace(std::make_pair(rep(index(f * 3 + e)), rep(index(f * 3 + (e + 1) % 3))), f);
    for (DWORD f = 0; f < faces_; ++f)
        for (int e = 0; e < 3; ++e) {
            DWORD a = rep(index(f * 3 + e)), b = rep(index(f * 3 + (e + 1) % 3));
            auto found = edges.find({b, a});
            adjacency[f * 3 + e] = found != edges.end() && found->second != f ? found->second : 0xFFFFFFFFu;
        }
    return D3D_OK;
}
