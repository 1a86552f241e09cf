// Matrix channel: a 4x4 matrix, row-major, translation in the fourth row.
#pragma once

#include <vecmath/d3dx_types.h>

#include "plugin_frame/kel_channel.h"

class Kco_MatrixChannel : public Kel_Channel {
public:
    Kco_MatrixChannel();
    Kco_MatrixChannel(const Kco_MatrixChannel&) = default;
    Kco_MatrixChannel& operator=(const Kco_MatrixChannel&) = default;
    ~Kco_MatrixChannel() override;

    void CallChannel() override;
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void DoDependencyInit(Kel_List* list) override;

    virtual D3DXMATRIX GetMatrix();
    virtual void SetMatrix(const D3DXMATRIX& matrix);

protected:
    D3DXMATRIX matrix;  // identity until set
};
