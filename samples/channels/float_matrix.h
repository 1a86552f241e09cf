// "Float Matrix": a matrix channel placed by float channels, so that value operators can
// move what a matrix places (the sample's light and its spinning block). Links: 0 "Turn"
// (radians about y), 1 "X", 2 "Y", 3 "Z" (a translation); a missing float counts as 0.
// The matrix is the stored one ("MXMA"), then the turn, then the translation.
#pragma once

#include "plugin_frame/guid.h"
#include "plugin_frame/siblings/matrix_channel.h"

inline constexpr GUID kFloatMatrixType = MakeGuid("5A3D9C61-0E27-4F8B-B1C4-7D20E6A39F15");

class Kco_FloatMatrix : public Kco_MatrixChannel {
public:
    Kco_FloatMatrix();
    D3DXMATRIX GetMatrix() override;
};
