// The GL context the device draws into, buffer uploads and read-back.
#include <d3d8/d3d8.h>

#include "device_gl.h"

#include <GL/osmesa.h>

#include <algorithm>
#include <bit>

namespace {

void* OSMesaLoader(const char* name) {
    return reinterpret_cast<void*>(OSMesaGetProcAddress(name));
}

bool MakeCurrent(d3d8_detail::DeviceGL& gl, UINT width, UINT height) {
    return OSMesaMakeCurrent(gl.context, gl.colour.data(), GL_UNSIGNED_BYTE,
                             static_cast<GLsizei>(width), static_cast<GLsizei>(height));
}

// In a window's context the device draws into a framebuffer object of its size; false
// when GL cannot make one.
bool SizeFramebuffer(d3d8_detail::DeviceGL& g, UINT width, UINT height) {
    auto& f = g.gl;
    if (!g.framebuffer) {
        f.GenFramebuffers(1, &g.framebuffer);
        f.GenRenderbuffers(2, g.renderbuffers);
    }
    f.BindFramebuffer(GL_FRAMEBUFFER, g.framebuffer);
    const GLenum formats[2] = {GL_RGBA8, GL_DEPTH24_STENCIL8};
    for (int i = 0; i < 2; ++i) {
        f.BindRenderbuffer(GL_RENDERBUFFER, g.renderbuffers[i]);
        f.RenderbufferStorage(GL_RENDERBUFFER, formats[i], static_cast<GLsizei>(width),
                              static_cast<GLsizei>(height));
    }
    f.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              g.renderbuffers[0]);
    f.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              g.renderbuffers[1]);
    return f.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void ClearTarget(d3d8_detail::GLFunctions& f) {
    f.ClearColor(0, 0, 0, 0);
    f.ClearDepth(1.0);
    f.ClearStencil(0);
    f.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

}  // namespace

d3d8_detail::DeviceGL* IDirect3DDevice8::CurrentGL() {
    if (gl_ && gl_->context && OSMesaGetCurrentContext() != gl_->context &&
        !MakeCurrent(*gl_, backBufferWidth_, backBufferHeight_))
        return nullptr;
    return gl_.get();
}

d3d8_detail::DeviceGL* IDirect3DDevice8::GL() {
    if (gl_) return CurrentGL();
    if (glFailed_) return nullptr;
    auto gl = std::make_unique<d3d8_detail::DeviceGL>();
    if (!externalLoader_) {
        const int attributes[] = {OSMESA_FORMAT,       OSMESA_RGBA,           OSMESA_DEPTH_BITS,
                                  24,                  OSMESA_STENCIL_BITS,   8,
                                  OSMESA_PROFILE,      OSMESA_COMPAT_PROFILE, 0};
        gl->context = OSMesaCreateContextAttribs(attributes, nullptr);
        if (gl->context) {
            gl->colour.assign(std::size_t{backBufferWidth_} * backBufferHeight_, 0);
            if (gl->colour.empty() || !MakeCurrent(*gl, backBufferWidth_, backBufferHeight_)) {
                OSMesaDestroyContext(gl->context);
                gl->context = nullptr;
            }
        }
        if (!gl->context) {
            glFailed_ = true;
            return nullptr;
        }
    }
    if (!gl->gl.Load(externalLoader_ ? externalLoader_ : OSMesaLoader)) {
        if (gl->context) OSMesaDestroyContext(gl->context);
        glFailed_ = true;
        return nullptr;
    }
    if (!gl->context && !SizeFramebuffer(*gl, backBufferWidth_, backBufferHeight_)) {
        gl_ = std::move(gl);
        ReleaseGL();
        glFailed_ = true;
        return nullptr;
    }
    gl_ = std::move(gl);
    ResetGLState(*gl_);
    // A fresh target starts black, at the far depth, with stencil 0.
    ClearTarget(gl_->gl);
    return gl_.get();
}

void IDirect3DDevice8::ResetGLState(d3d8_detail::DeviceGL& g) {
    auto& f = g.gl;
    if (g.framebuffer) f.BindFramebuffer(GL_FRAMEBUFFER, g.framebuffer);
    // Front faces are the clockwise ones on screen; drawn upside down they turn.
    f.FrontFace(GL_CCW);
    f.PixelStorei(GL_PACK_ALIGNMENT, 1);
    f.Disable(GL_DITHER);
    f.Disable(GL_SCISSOR_TEST);
    f.Disable(GL_TEXTURE_2D);
    f.Disable(GL_LIGHTING);
    f.Disable(GL_COLOR_MATERIAL);
    f.EnableClientState(GL_VERTEX_ARRAY);
    f.LightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
    // Flat shading takes the first vertex's colour, as on the original.
    if (f.ProvokingVertex) f.ProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    g.appliedValid = false;
    g.transformsDirty = g.lightsDirty = g.materialDirty = true;
    g.lastTransformed = g.scissorOn = false;
    g.lastNudge = -1;
    f.UseProgram(0);
    g.currentProgram = 0;
    g.lastFvf = ~0u;
    g.pointerBuffer = g.boundArray = g.boundElement = ~0u;
}

HRESULT IDirect3DDevice8::BeginScene() {
    // A window's context may have been used by others since the last frame.
    if (externalLoader_ && gl_) ResetGLState(*gl_);
    return D3D_OK;
}

void IDirect3DDevice8::ReleaseGL() {
    if (gl_ && !gl_->context) {
        // The window's context is current (see README): what the device made there goes.
        auto& f = gl_->gl;
        for (const auto& program : gl_->programs)
            if (program.name) f.DeleteProgram(program.name);
        if (gl_->framebuffer) {
            f.BindFramebuffer(GL_FRAMEBUFFER, 0);
            f.DeleteFramebuffers(1, &gl_->framebuffer);
            f.DeleteRenderbuffers(2, gl_->renderbuffers);
        }
    }
    if (gl_ && gl_->context) {
        // Mesa frees a context's framebuffer only once no context is current with it.
        if (OSMesaGetCurrentContext() == gl_->context) OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
        OSMesaDestroyContext(gl_->context);
    }
    gl_.reset();
}

bool IDirect3DDevice8::HasGL() { return GL() != nullptr; }

HRESULT IDirect3DDevice8::ResizeBackBuffer(UINT backBufferWidth, UINT backBufferHeight) {
    if (backBufferWidth == 0 || backBufferHeight == 0 ||
        std::uint64_t{backBufferWidth} * backBufferHeight > (1u << 28))
        return D3DERR_INVALIDCALL;
    backBufferWidth_ = backBufferWidth;
    backBufferHeight_ = backBufferHeight;
    viewport_ = {0, 0, backBufferWidth, backBufferHeight, 0.0f, 1.0f};
    if (!gl_) return D3D_OK;
    gl_->transformsDirty = true;
    if (gl_->context) {
        gl_->colour.assign(std::size_t{backBufferWidth} * backBufferHeight, 0);
        if (!MakeCurrent(*gl_, backBufferWidth, backBufferHeight)) return D3DERR_NOTAVAILABLE;
    } else {
        if (!SizeFramebuffer(*gl_, backBufferWidth, backBufferHeight)) return D3DERR_NOTAVAILABLE;
        ClearTarget(gl_->gl);
        gl_->appliedValid = false;  // the clear opened the write masks
    }
    return D3D_OK;
}

void IDirect3DDevice8::UploadBuffer(d3d8_detail::BufferStorage& storage, bool indices) {
    d3d8_detail::DeviceGL* gl = GL();
    if (!gl) return;  // drawing will report it
    auto& f = gl->gl;
    const GLenum target = indices ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER;
    const GLenum usage = (storage.usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW;
    const auto size = static_cast<GLsizeiptr>(storage.bytes.size());
    const bool whole = storage.glName == 0 || (storage.lockFlags & D3DLOCK_DISCARD) ||
                       (storage.lockOffset == 0 && storage.lockSize == storage.bytes.size());
    if (storage.glName == 0) f.GenBuffers(1, &storage.glName);
    f.BindBuffer(target, storage.glName);
    (indices ? gl->boundElement : gl->boundArray) = storage.glName;
    if (whole)
        f.BufferData(target, size, storage.bytes.data(), usage);
    else
        f.BufferSubData(target, storage.lockOffset, storage.lockSize,
                        storage.bytes.data() + storage.lockOffset);
}

void IDirect3DDevice8::ForgetBuffer(d3d8_detail::BufferStorage& storage) {
    liveBuffers_.erase(std::remove(liveBuffers_.begin(), liveBuffers_.end(), &storage),
                       liveBuffers_.end());
    if (!storage.glName) return;
    if (d3d8_detail::DeviceGL* gl = CurrentGL()) {
        gl->gl.DeleteBuffers(1, &storage.glName);
        // GL unbinds a deleted buffer; the pointers set from it must be set again.
        if (gl->pointerBuffer == storage.glName) gl->pointerBuffer = ~0u;
        if (gl->boundArray == storage.glName) gl->boundArray = ~0u;
        if (gl->boundElement == storage.glName) gl->boundElement = ~0u;
    }
    storage.glName = 0;
}

HRESULT IDirect3DDevice8::Present(const void*, const void*, void*, const void*) {
    d3d8_detail::DeviceGL* gl = CurrentGL();
    if (!gl) return D3D_OK;
    auto& f = gl->gl;
    if (gl->context) {
        f.Finish();
        return D3D_OK;
    }
    // Into the window's back buffer, turned the right way up.
    const auto w = static_cast<GLint>(backBufferWidth_), h = static_cast<GLint>(backBufferHeight_);
    if (gl->scissorOn) f.Disable(GL_SCISSOR_TEST);
    f.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    f.BlitFramebuffer(0, 0, w, h, 0, h, w, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    f.BindFramebuffer(GL_FRAMEBUFFER, gl->framebuffer);
    if (gl->scissorOn) f.Enable(GL_SCISSOR_TEST);
    f.Flush();
    return D3D_OK;
}

namespace {

// The device's read-back runs top to bottom: GL's row order, as drawn upside down.
template <typename T>
HRESULT ReadRows(d3d8_detail::DeviceGL* gl, UINT width, UINT height, GLenum format, GLenum type,
                 std::vector<T>& out) {
    if (!gl) return D3DERR_NOTAVAILABLE;
    out.resize(std::size_t{width} * height);
    gl->gl.ReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), format,
                      type, out.data());
    return D3D_OK;
}

}  // namespace

HRESULT IDirect3DDevice8::ReadBackColor(std::vector<D3DCOLOR>& pixels) {
    // BGRA bytes are 0xAARRGGBB read as a little-endian 32-bit value.
    static_assert(std::endian::native == std::endian::little);
    return ReadRows(GL(), backBufferWidth_, backBufferHeight_, GL_BGRA, GL_UNSIGNED_BYTE,
                    pixels);
}

HRESULT IDirect3DDevice8::ReadBackDepth(std::vector<float>& depths) {
    return ReadRows(GL(), backBufferWidth_, backBufferHeight_, GL_DEPTH_COMPONENT, GL_FLOAT,
                    depths);
}

HRESULT IDirect3DDevice8::ReadBackStencil(std::vector<BYTE>& stencils) {
    return ReadRows(GL(), backBufferWidth_, backBufferHeight_, GL_STENCIL_INDEX,
                    GL_UNSIGNED_BYTE, stencils);
}
