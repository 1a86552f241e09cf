// The text outline mesh builder: glyph outlines in the native contour records to one
// extruded triangle mesh (side walls, front face at z = 0, back face at z = -extrusion),
// character after character. D3DXCreateText runs it over a GDI device context; tests and
// benchmarks can run it over any source of native outlines.
#pragma once

#include <d3d8/d3dx_mesh.h>
#include <gdi/wingdi.h>

#include <cstdint>
#include <span>
#include <vector>

namespace text3d {

// Where outlines come from: GetGlyphOutlineA with GGO_NATIVE and the identity transform,
// with its return values (GDI_ERROR on failure, the size for a null buffer).
class GlyphOutlineSource {
public:
    virtual ~GlyphOutlineSource() = default;
    virtual DWORD GlyphOutline(UINT code, GLYPHMETRICS* metrics, DWORD size, void* buffer) = 0;
    // Whether the byte starts a two-byte character of the source's code page.
    virtual bool IsLeadByte(BYTE byte) = 0;
};

struct ContourPoint {
    float x, y;
};

// One closed contour in mesh units: no two consecutive points equal, the last edge runs
// back to the first point. Edge k goes from points[k] to points[k + 1] (cyclically);
// curved[k] says it comes from a flattened QSPLINE run, run[k] which run it belongs to.
struct OutlineContour {
    std::vector<ContourPoint> points;
    std::vector<uint8_t> curved;
    std::vector<uint32_t> run;
};

// Reads native contour records, scaling 16.16 points by `scale` and flattening quadratic
// runs to within `deviation`. False for records that run past the data, a header that is
// not TT_POLYGON_TYPE, or a run that is neither a line nor a quadratic spline. Contours of
// fewer than three distinct points enclose nothing and are left out.
bool ParseNativeOutline(std::span<const uint8_t> data, double scale, double deviation,
                        std::vector<OutlineContour>& contours);

// True when the contour turns counter-clockwise (its turning angle is above 0). A turning
// angle of almost 0 writes the zero-angle message and counts as clockwise.
bool IsCounterClockwise(const OutlineContour& contour);

// The whole text: result codes and debugger lines as D3DXCreateText gives them. `scale` is
// 1 / em square; `deviation` and `extrusion` have been checked (not negative). Working
// storage is kept per thread between calls, so a source must not build text from within
// its own callback.
HRESULT BuildTextMesh(GlyphOutlineSource& source, IDirect3DDevice8* device, const char* text,
                      float deviation, float extrusion, double scale, ID3DXMesh** mesh,
                      ID3DXBuffer** adjacency, GLYPHMETRICSFLOAT* glyphMetrics);

}  // namespace text3d
