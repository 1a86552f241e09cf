// The device's GL side: the functions it calls, resolved once through a loader so that the
// same code drives the owned off-screen context and a window's, and the GL state last set,
// so that a draw only sends what changed since the one before.
#pragma once

#include <d3d8/d3d8.h>

#include "gl_headers.h"

#include "lighting_program.h"

#include <array>
#include <cstdint>
#include <vector>

typedef struct osmesa_context* OSMesaContext;

namespace d3d8_detail {

// Every GL entry point the device uses; the X-macro keeps the list in one place.
#define D3D8_GL_FUNCTIONS(X)                                           \
    X(Enable, glEnable)                                                \
    X(Disable, glDisable)                                              \
    X(Clear, glClear)                                                  \
    X(ClearColor, glClearColor)                                        \
    X(ClearDepth, glClearDepth)                                        \
    X(ClearStencil, glClearStencil)                                    \
    X(Scissor, glScissor)                                              \
    X(Viewport, glViewport)                                            \
    X(DepthRange, glDepthRange)                                        \
    X(DepthFunc, glDepthFunc)                                          \
    X(DepthMask, glDepthMask)                                          \
    X(StencilFunc, glStencilFunc)                                      \
    X(StencilOp, glStencilOp)                                          \
    X(StencilMask, glStencilMask)                                      \
    X(ColorMask, glColorMask)                                          \
    X(BlendFunc, glBlendFunc)                                          \
    X(BlendEquation, glBlendEquation)                                  \
    X(CullFace, glCullFace)                                            \
    X(FrontFace, glFrontFace)                                          \
    X(ShadeModel, glShadeModel)                                        \
    X(PolygonMode, glPolygonMode)                                      \
    X(AlphaFunc, glAlphaFunc)                                          \
    X(MatrixMode, glMatrixMode)                                        \
    X(LoadMatrixf, glLoadMatrixf)                                      \
    X(Lightfv, glLightfv)                                              \
    X(Lightf, glLightf)                                                \
    X(LightModelfv, glLightModelfv)                                    \
    X(LightModeli, glLightModeli)                                      \
    X(Materialfv, glMaterialfv)                                        \
    X(Materialf, glMaterialf)                                          \
    X(ColorMaterial, glColorMaterial)                                  \
    X(Color4f, glColor4f)                                              \
    X(Normal3f, glNormal3f)                                            \
    X(EnableClientState, glEnableClientState)                          \
    X(DisableClientState, glDisableClientState)                        \
    X(VertexPointer, glVertexPointer)                                  \
    X(NormalPointer, glNormalPointer)                                  \
    X(ColorPointer, glColorPointer)                                    \
    X(GenBuffers, glGenBuffers)                                        \
    X(DeleteBuffers, glDeleteBuffers)                                  \
    X(BindBuffer, glBindBuffer)                                        \
    X(BufferData, glBufferData)                                        \
    X(BufferSubData, glBufferSubData)                                  \
    X(DrawArrays, glDrawArrays)                                        \
    X(DrawElements, glDrawElements)                                    \
    X(ReadPixels, glReadPixels)                                        \
    X(PixelStorei, glPixelStorei)                                      \
    X(Finish, glFinish)                                                \
    X(Flush, glFlush)                                                  \
    X(SecondaryColorPointer, glSecondaryColorPointer)                  \
    X(CreateShader, glCreateShader)                                    \
    X(ShaderSource, glShaderSource)                                    \
    X(CompileShader, glCompileShader)                                  \
    X(GetShaderiv, glGetShaderiv)                                      \
    X(DeleteShader, glDeleteShader)                                    \
    X(CreateProgram, glCreateProgram)                                  \
    X(AttachShader, glAttachShader)                                    \
    X(LinkProgram, glLinkProgram)                                      \
    X(GetProgramiv, glGetProgramiv)                                    \
    X(DeleteProgram, glDeleteProgram)                                  \
    X(UseProgram, glUseProgram)                                        \
    X(GetUniformLocation, glGetUniformLocation)                        \
    X(Uniform4fv, glUniform4fv)                                        \
    X(GenFramebuffers, glGenFramebuffers)                              \
    X(DeleteFramebuffers, glDeleteFramebuffers)                        \
    X(BindFramebuffer, glBindFramebuffer)                              \
    X(GenRenderbuffers, glGenRenderbuffers)                            \
    X(DeleteRenderbuffers, glDeleteRenderbuffers)                      \
    X(BindRenderbuffer, glBindRenderbuffer)                            \
    X(RenderbufferStorage, glRenderbufferStorage)                      \
    X(FramebufferRenderbuffer, glFramebufferRenderbuffer)              \
    X(CheckFramebufferStatus, glCheckFramebufferStatus)                \
    X(BlitFramebuffer, glBlitFramebuffer)

struct GLFunctions {
#define D3D8_GL_MEMBER(member, name) decltype(&::name) member = nullptr;
    D3D8_GL_FUNCTIONS(D3D8_GL_MEMBER)
#undef D3D8_GL_MEMBER
    decltype(&::glProvokingVertex) ProvokingVertex = nullptr;  // optional: flat shading's colour

    // False when any required function is missing.
    bool Load(IDirect3DDevice8::GLProcLoader loader);
};

// Where each vertex component sits, from a flexible vertex format code.
struct VertexLayout {
    bool valid = false;
    bool transformed = false;  // D3DFVF_XYZRHW: screen pixels, no transform or lighting
    UINT size = 0;             // bytes a vertex
    int normal = -1;           // byte offsets, -1 when absent
    int diffuse = -1;
    int specular = -1;
};
VertexLayout LayoutOf(DWORD fvf);

// Primitive count to vertex (or index) count, 0 for an unknown type.
UINT VerticesFor(D3DPRIMITIVETYPE type, UINT primitiveCount);
GLenum ModeFor(D3DPRIMITIVETYPE type);

struct DeviceGL {
    GLFunctions gl;
    OSMesaContext context = nullptr;    // owned off-screen context, or null
    std::vector<std::uint32_t> colour;  // its colour buffer
    // In a window, the device draws into a framebuffer object of its own, copied into the
    // window the right way up by Present. Either way the picture is drawn upside down, so
    // that GL's rows run top to bottom as Direct3D's do and GL's fill rule for pixel
    // centres on edges is Direct3D's top-left rule.
    GLuint framebuffer = 0;
    GLuint renderbuffers[2] = {};  // colour, depth and stencil

    // The lighting programs made so far (a handful: one per arrangement of lights and
    // material sources), the light and material values they take, and which version of
    // those each program was last given.
    std::vector<LightingProgram> programs;
    GLuint currentProgram = 0;
    std::size_t lastProgram = 0;
    LightingValues lightingValues;
    unsigned lightsVersion = 1, materialVersion = 1;

    // GL state as last set; appliedValid false forces everything to be sent again.
    bool appliedValid = false;
    std::array<DWORD, 256> applied{};
    bool transformsDirty = true;
    bool lightsDirty = true;
    bool materialDirty = true;
    bool lastTransformed = false;
    int lastNudge = -1;             // which pixel nudge the loaded projection has
    bool scissorOn = false;         // the viewport's scissor for pre-transformed vertices
    DWORD lastFvf = ~0u;
    // Vertex pointers as last set: buffer, byte offset into it (or the caller's memory).
    unsigned pointerBuffer = ~0u;
    const BYTE* pointerBase = nullptr;
    UINT pointerStride = 0;
    unsigned boundArray = ~0u;
    unsigned boundElement = ~0u;
    std::vector<GLuint> lineEnds;  // kept to draw lines' last pixels without allocating
};

}  // namespace d3d8_detail
