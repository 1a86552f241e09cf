#include <d3d8/d3d8.h>

#include "largest_index.h"

#include <algorithm>
#include <cstring>

namespace {

HRESULT LockStorage(d3d8_detail::BufferStorage& s, UINT offset, UINT size, BYTE** out,
                    DWORD flags) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    const UINT length = static_cast<UINT>(s.bytes.size());
    if (s.locked || offset > length) return D3DERR_INVALIDCALL;
    if (size == 0) size = length - offset;
    if (size == 0 || std::uint64_t{offset} + size > length) return D3DERR_INVALIDCALL;
    s.locked = true;
    s.lockOffset = offset;
    s.lockSize = size;
    s.lockFlags = flags;
    *out = s.bytes.data() + offset;
    return D3D_OK;
}

}  // namespace

IDirect3DVertexBuffer8::IDirect3DVertexBuffer8(IDirect3DDevice8* device, UINT length,
                                               DWORD usage, DWORD fvf, D3DPOOL pool)
    : fvf_(fvf) {
    storage_.bytes.assign(length, 0);
    storage_.usage = usage;
    storage_.pool = pool;
    storage_.device = device;
}

IDirect3DVertexBuffer8::~IDirect3DVertexBuffer8() {
    if (storage_.device) storage_.device->ForgetBuffer(storage_);
}

ULONG IDirect3DVertexBuffer8::AddRef() { return ++storage_.references; }

ULONG IDirect3DVertexBuffer8::Release() {
    const ULONG left = --storage_.references;
    if (left == 0) delete this;
    return left;
}

D3DRESOURCETYPE IDirect3DVertexBuffer8::GetType() { return D3DRTYPE_VERTEXBUFFER; }

HRESULT IDirect3DVertexBuffer8::Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData,
                                     DWORD Flags) {
    return LockStorage(storage_, OffsetToLock, SizeToLock, ppbData, Flags);
}

HRESULT IDirect3DVertexBuffer8::Unlock() {
    if (!storage_.locked) return D3DERR_INVALIDCALL;
    storage_.locked = false;
    if (storage_.device && !(storage_.lockFlags & D3DLOCK_READONLY))
        storage_.device->UploadBuffer(storage_, false);
    return D3D_OK;
}

HRESULT IDirect3DVertexBuffer8::GetDesc(D3DVERTEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    *pDesc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, storage_.usage, storage_.pool,
              static_cast<UINT>(storage_.bytes.size()), fvf_};
    return D3D_OK;
}

IDirect3DIndexBuffer8::IDirect3DIndexBuffer8(IDirect3DDevice8* device, UINT length, DWORD usage,
                                             D3DFORMAT format, D3DPOOL pool)
    : format_(format) {
    storage_.bytes.assign(length, 0);
    storage_.usage = usage;
    storage_.pool = pool;
    storage_.device = device;
}

IDirect3DIndexBuffer8::~IDirect3DIndexBuffer8() {
    if (storage_.device) storage_.device->ForgetBuffer(storage_);
}

ULONG IDirect3DIndexBuffer8::AddRef() { return ++storage_.references; }

ULONG IDirect3DIndexBuffer8::Release() {
    const ULONG left = --storage_.references;
    if (left == 0) delete this;
    return left;
}

D3DRESOURCETYPE IDirect3DIndexBuffer8::GetType() { return D3DRTYPE_INDEXBUFFER; }

HRESULT IDirect3DIndexBuffer8::Lock(UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData,
                                    DWORD Flags) {
    return LockStorage(storage_, OffsetToLock, SizeToLock, ppbData, Flags);
}

HRESULT IDirect3DIndexBuffer8::Unlock() {
    if (!storage_.locked) return D3DERR_INVALIDCALL;
    storage_.locked = false;
    if (storage_.lockFlags & D3DLOCK_READONLY) return D3D_OK;
    // Drawing checks indices against the vertex buffer through this bound; a lock that
    // only raised some indices can raise it without a scan of the whole buffer.
    const std::size_t size = IndexSize();
    const std::size_t count = storage_.bytes.size() / size;
    const bool whole = storage_.lockOffset == 0 && storage_.lockSize == storage_.bytes.size();
    const std::size_t first = whole ? 0 : storage_.lockOffset / size;
    const std::size_t last =
        whole ? count
              : std::min(count, (std::size_t{storage_.lockOffset} + storage_.lockSize + size - 1) / size);
    const DWORD largest =
        d3d8_detail::LargestIndex(storage_.bytes.data(), first, last - first, size == 4);
    largestIndex_ = whole ? largest : std::max(largestIndex_, largest);
    if (storage_.device) storage_.device->UploadBuffer(storage_, true);
    return D3D_OK;
}

HRESULT IDirect3DIndexBuffer8::GetDesc(D3DINDEXBUFFER_DESC* pDesc) {
    if (!pDesc) return D3DERR_INVALIDCALL;
    *pDesc = {format_, D3DRTYPE_INDEXBUFFER, storage_.usage, storage_.pool,
              static_cast<UINT>(storage_.bytes.size())};
    return D3D_OK;
}
