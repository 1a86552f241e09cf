// Stand-in for the Direct3D extension library's mesh and buffer objects, as far as the
// 3D text uses them: a mesh of one flexible vertex format with 16-bit indices, locked for
// reading or filling, reference counted like the original's interfaces.
#pragma once

#include <d3d8/d3d8.h>

#include <cstdint>
#include <vector>

constexpr DWORD D3DXMESH_32BIT = 0x001;
constexpr DWORD D3DXMESH_MANAGED = 0x220;

// Six floats a character, in the mesh's units (the system's own on Windows, whose origin is
// a POINTFLOAT of the same x, y).
#if !defined(_WIN32)
struct GLYPHMETRICSFLOAT {
    float gmfBlackBoxX;
    float gmfBlackBoxY;
    D3DXVECTOR2 gmfptGlyphOrigin;
    float gmfCellIncX;
    float gmfCellIncY;
};
#endif
static_assert(sizeof(GLYPHMETRICSFLOAT) == 24);

class ID3DXBuffer {
public:
    explicit ID3DXBuffer(DWORD size) : data_(size) {}
    DWORD AddRef() { return ++references_; }
    DWORD Release();
    void* GetBufferPointer() { return data_.empty() ? nullptr : data_.data(); }
    DWORD GetBufferSize() const { return DWORD(data_.size()); }

private:
    ~ID3DXBuffer() = default;
    std::vector<BYTE> data_;
    DWORD references_ = 1;
};
using LPD3DXBUFFER = ID3DXBuffer*;

class ID3DXMesh {
public:
    DWORD AddRef() { return ++references_; }
    // Frees the mesh when the last reference goes; returns the references left.
    DWORD Release();

    DWORD GetNumFaces() const { return faces_; }
    DWORD GetNumVertices() const { return vertices_; }
    DWORD GetFVF() const { return fvf_; }
    DWORD GetOptions() const { return options_; }
    DWORD GetNumBytesPerVertex() const { return stride_; }
    HRESULT GetDevice(IDirect3DDevice8** device);

    // One lock at a time per buffer; a second lock, or an unlock without a lock, is refused.
    HRESULT LockVertexBuffer(DWORD flags, BYTE** data);
    HRESULT UnlockVertexBuffer();
    HRESULT LockIndexBuffer(DWORD flags, BYTE** data);
    HRESULT UnlockIndexBuffer();

    // Three entries per face: the face across each edge, 0xFFFFFFFF for none. Two faces are
    // neighbours when they share an edge whose end positions lie within `epsilon` of each
    // other in every coordinate (0: equal positions).
    HRESULT GenerateAdjacency(float epsilon, DWORD* adjacency);

private:
    friend HRESULT D3DXCreateMeshFVF(DWORD, DWORD, DWORD, DWORD, IDirect3DDevice8*, ID3DXMesh**);
    ID3DXMesh() = default;
    ~ID3DXMesh() = default;

    IDirect3DDevice8* device_ = nullptr;
    DWORD faces_ = 0, vertices_ = 0, fvf_ = 0, options_ = 0, stride_ = 0;
    std::vector<BYTE> vertexData_;
    std::vector<BYTE> indexData_;
    bool vertexLocked_ = false, indexLocked_ = false;
    DWORD references_ = 1;
};
using LPD3DXMESH = ID3DXMesh*;

// Bytes of one vertex of the given format; 0 for a format this stand-in cannot lay out.
DWORD D3DXGetFVFVertexSize(DWORD fvf);
// D3DERR_INVALIDCALL for a null device or out-pointer, a format without a known size, or more vertices than 16-bit indices reach (without
// D3DXMESH_32BIT); E_OUTOFMEMORY when the buffers cannot be had. A mesh without faces or
// vertices is allowed: it is how a text of spaces comes back.
HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf,
                          IDirect3DDevice8* device, ID3DXMesh** mesh);
HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer);
