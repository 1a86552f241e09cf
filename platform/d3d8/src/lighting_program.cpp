#include "lighting_program.h"

#include "device_gl.h"

#include <algorithm>
#include <cmath>

namespace d3d8_detail {

std::uint64_t LightingSetup::Key() const {
    std::uint64_t key = static_cast<std::uint64_t>(lightCount);
    for (int i = 0; i < lightCount; ++i)
        key |= std::uint64_t{static_cast<std::uint64_t>(types[i]) & 3} << (4 + 2 * i);
    key |= std::uint64_t{specular} << 20 | std::uint64_t{localViewer} << 21 |
           std::uint64_t{normalize} << 22;
    key |= std::uint64_t{static_cast<std::uint8_t>(diffuse)} << 24 |
           std::uint64_t{static_cast<std::uint8_t>(ambient)} << 26 |
           std::uint64_t{static_cast<std::uint8_t>(specularColour)} << 28 |
           std::uint64_t{static_cast<std::uint8_t>(emissive)} << 30;
    return key;
}

namespace {

void Put(float* out, float a, float b, float c, float d) {
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = d;
}

void PutColour(float* out, const D3DCOLORVALUE& c) { Put(out, c.r, c.g, c.b, c.a); }

}  // namespace

void PackLight(const D3DLIGHT8& l, const D3DMATRIX& v, float* out) {
    PutColour(out, l.Diffuse);
    PutColour(out + 4, l.Specular);
    PutColour(out + 8, l.Ambient);
    const D3DVECTOR& p = l.Position;
    Put(out + 12, p.x * v.m[0][0] + p.y * v.m[1][0] + p.z * v.m[2][0] + v.m[3][0],
        p.x * v.m[0][1] + p.y * v.m[1][1] + p.z * v.m[2][1] + v.m[3][1],
        p.x * v.m[0][2] + p.y * v.m[1][2] + p.z * v.m[2][2] + v.m[3][2], 1.0f);
    const D3DVECTOR& d = l.Direction;
    float dir[3] = {d.x * v.m[0][0] + d.y * v.m[1][0] + d.z * v.m[2][0],
                    d.x * v.m[0][1] + d.y * v.m[1][1] + d.z * v.m[2][1],
                    d.x * v.m[0][2] + d.y * v.m[1][2] + d.z * v.m[2][2]};
    const float length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    for (float& c : dir) c = length > 0.0f ? c / length : 0.0f;
    Put(out + 16, dir[0], dir[1], dir[2], 0.0f);
    // All-zero attenuation would divide by zero; it is read as no attenuation.
    const bool none = l.Attenuation0 == 0 && l.Attenuation1 == 0 && l.Attenuation2 == 0;
    Put(out + 20, none ? 1.0f : l.Attenuation0, l.Attenuation1, l.Attenuation2, l.Range);
    // An inner cone wider than the outer one is taken as the outer one.
    const float phi = std::clamp(l.Phi, 0.0f, 3.14159265f);
    const float theta = std::clamp(l.Theta, 0.0f, phi);
    Put(out + 24, std::cos(theta * 0.5f), std::cos(phi * 0.5f), l.Falloff, 0.0f);
}

void PackMaterial(const D3DMATERIAL8& m, D3DCOLOR ambient, float* out) {
    PutColour(out, m.Diffuse);
    PutColour(out + 4, m.Ambient);
    PutColour(out + 8, m.Specular);
    PutColour(out + 12, m.Emissive);
    Put(out + 16, std::max(m.Power, 0.0f), 0, 0, 0);
    Put(out + 20, static_cast<float>((ambient >> 16) & 0xFF) / 255.0f,
        static_cast<float>((ambient >> 8) & 0xFF) / 255.0f,
        static_cast<float>(ambient & 0xFF) / 255.0f, 1.0f);
}

namespace {

const char* SourceOf(ColourSource source, const char* material) {
    switch (source) {
        case ColourSource::VertexDiffuse: return "gl_Color";
        case ColourSource::VertexSpecular: return "gl_SecondaryColor";
        default: return material;
    }
}

// Adds one light's share; L points from the vertex to the light, f is its attenuation
// times its spot factor. Specular light only reaches sides the light faces.
constexpr const char* kPrelude = R"(#version 120
uniform vec4 uLight[56];
uniform vec4 uMaterial[6];
vec3 N, V, ambientSum, diffuseSum, specularSum;
void Add(int k, vec3 L, float f) {
    ambientSum += f * uLight[k + 2].rgb;
    float NdotL = dot(N, L);
    if (NdotL <= 0.0) return;
    diffuseSum += f * NdotL * uLight[k].rgb;
#ifdef SPECULAR
    float NdotH = dot(N, normalize(V + L));
    if (NdotH > 0.0) specularSum += f * pow(NdotH, uMaterial[4].x) * uLight[k + 1].rgb;
#endif
}
)";

}  // namespace

std::string LightingVertexShader(const LightingSetup& s) {
    std::string text = kPrelude;
    if (s.specular) text.insert(text.find('\n') + 1, "#define SPECULAR 1\n");
    text += "void main() {\n"
            "    vec4 eye = gl_ModelViewMatrix * gl_Vertex;\n"
            // The fixed-function position exactly: unlit passes over the same surface (shadow
            // volumes' caps, depth-equal passes) must meet the same depths.
            "    gl_Position = ftransform();\n"
            "    vec3 P = eye.xyz;\n";
    text += s.normalize ? "    N = normalize(gl_NormalMatrix * gl_Normal);\n"
                        : "    N = gl_NormalMatrix * gl_Normal;\n";
    // Without a local viewer the eye looks along +z from far away.
    text += s.localViewer ? "    V = normalize(-P);\n" : "    V = vec3(0.0, 0.0, -1.0);\n";
    text += "    ambientSum = uMaterial[5].rgb;\n"
            "    diffuseSum = vec3(0.0);\n"
            "    specularSum = vec3(0.0);\n";
    for (int i = 0; i < s.lightCount; ++i) {
        const std::string k = std::to_string(i * kVectorsPerLight);
        const auto at = [&](int offset) {
            return "uLight[" + std::to_string(i * kVectorsPerLight + offset) + "]";
        };
        text += "    {\n";
        if (s.types[i] == D3DLIGHT_DIRECTIONAL) {
            text += "        Add(" + k + ", -" + at(4) + ".xyz, 1.0);\n";
        } else {
            // No light beyond the range; attenuation 1 / (a0 + a1 d + a2 d^2) within it.
            text += "        vec4 a = " + at(5) + ";\n"
                    "        vec3 d = " + at(3) + ".xyz - P;\n"
                    "        float r = length(d);\n"
                    "        vec3 L = r > 0.0 ? d / r : vec3(0.0);\n"
                    "        float f = r > a.w ? 0.0 : 1.0 / (a.x + a.y * r + a.z * r * r);\n";
            if (s.types[i] == D3DLIGHT_SPOT) {
                // Full light inside the inner cone, none outside the outer one, and between
                // them ((rho - cos(phi/2)) / (cos(theta/2) - cos(phi/2))) ^ falloff.
                text += "        vec4 c = " + at(6) + ";\n"
                        "        float rho = dot(-L, " + at(4) + ".xyz);\n"
                        "        f *= rho > c.x ? 1.0 : rho <= c.y ? 0.0 "
                        ": pow((rho - c.y) / (c.x - c.y), c.z);\n";
            }
            text += "        Add(" + k + ", L, f);\n";
        }
        text += "    }\n";
    }
    text += std::string("    vec4 Cd = ") + SourceOf(s.diffuse, "uMaterial[0]") + ";\n" +
            "    vec3 Ca = " + SourceOf(s.ambient, "uMaterial[1]") + ".rgb;\n" +
            "    vec3 Cs = " + SourceOf(s.specularColour, "uMaterial[2]") + ".rgb;\n" +
            "    vec3 Ce = " + SourceOf(s.emissive, "uMaterial[3]") + ".rgb;\n";
    // Diffuse and specular are clamped apart and interpolated apart; the fragment program
    // adds them.
    text += "    gl_FrontColor = vec4(clamp(Ca * ambientSum + Cd.rgb * diffuseSum + Ce, 0.0, 1.0),"
            " clamp(Cd.a, 0.0, 1.0));\n"
            "    gl_FrontSecondaryColor = vec4(clamp(Cs * specularSum, 0.0, 1.0), 0.0);\n"
            "}\n";
    return text;
}

namespace {

constexpr const char* kFragmentShader = R"(#version 120
void main() {
    gl_FragColor = vec4(min(gl_Color.rgb + gl_SecondaryColor.rgb, 1.0), gl_Color.a);
}
)";

GLuint Compile(const GLFunctions& f, GLenum type, const char* text) {
    const GLuint shader = f.CreateShader(type);
    f.ShaderSource(shader, 1, &text, nullptr);
    f.CompileShader(shader);
    GLint ok = GL_FALSE;
    f.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == GL_TRUE) return shader;
    f.DeleteShader(shader);
    return 0;
}

}  // namespace

LightingProgram MakeLightingProgram(const GLFunctions& f, const LightingSetup& setup) {
    LightingProgram program;
    program.key = setup.Key();
    const std::string vertexText = LightingVertexShader(setup);
    const GLuint vertex = Compile(f, GL_VERTEX_SHADER, vertexText.c_str());
    const GLuint fragment = Compile(f, GL_FRAGMENT_SHADER, kFragmentShader);
    if (vertex && fragment) {
        program.name = f.CreateProgram();
        f.AttachShader(program.name, vertex);
        f.AttachShader(program.name, fragment);
        f.LinkProgram(program.name);
        GLint ok = GL_FALSE;
        f.GetProgramiv(program.name, GL_LINK_STATUS, &ok);
        if (ok != GL_TRUE) {
            f.DeleteProgram(program.name);
            program.name = 0;
        }
    }
    // Shaders attached to a program live as long as it does.
    if (vertex) f.DeleteShader(vertex);
    if (fragment) f.DeleteShader(fragment);
    if (program.name) {
        program.lights = f.GetUniformLocation(program.name, "uLight");
        program.material = f.GetUniformLocation(program.name, "uMaterial");
    }
    return program;
}

}  // namespace d3d8_detail
