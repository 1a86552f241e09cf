// The Windows build has no off-screen GL context yet: every call here gives none, so the
// device reports no GL (HasGL is false) and draws nothing, while everything that does not
// draw (buffers, state, transforms, the D3DX mesh) works as on Linux. The Windows drawing
// path replaces this.
#pragma once

#include <GL/gl.h>

#define OSMESA_FORMAT 0x22
#define OSMESA_RGBA GL_RGBA
#define OSMESA_DEPTH_BITS 0x30
#define OSMESA_STENCIL_BITS 0x31
#define OSMESA_PROFILE 0x33
#define OSMESA_COMPAT_PROFILE 0x35

typedef struct osmesa_context* OSMesaContext;
typedef void (*OSMESAproc)();

inline OSMesaContext OSMesaCreateContextAttribs(const int*, OSMesaContext) { return nullptr; }
inline GLboolean OSMesaMakeCurrent(OSMesaContext, void*, GLenum, GLsizei, GLsizei) { return GL_FALSE; }
inline OSMesaContext OSMesaGetCurrentContext() { return nullptr; }
inline void OSMesaDestroyContext(OSMesaContext) {}
inline OSMESAproc OSMesaGetProcAddress(const char*) { return nullptr; }
