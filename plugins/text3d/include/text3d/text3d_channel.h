// Kco_DX8_3DText: the text of a linked string channel as an extruded mesh in a Windows
// font, handed to its object data base. The mesh is built again only when the text, the
// font or the complexity changes; it is never saved.
#pragma once

#include <cstdint>

#include <gdi/wingdi.h>

#include "plugin_frame/kel_string.h"
#include "plugin_frame/siblings/object_data_channel.h"

class Kco_DX8_3DText : public Kco_DX8_ObjectDataChannel {
public:
    Kco_DX8_3DText();
    Kco_DX8_3DText(const Kco_DX8_3DText& other) = default;
    Kco_DX8_3DText& operator=(const Kco_DX8_3DText& other) = default;
    ~Kco_DX8_3DText() override;

    // Builds when CheckIfTextChange says so; the surface showing the text draws it.
    void CallChannel() override;
    // "POTM", "VTOP", "VTO2", "VTO3", "VTUT", "VTU2", "POTT".
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void UpdateData() override;

    // ---- added, in this order ----
    // Builds the mesh from the text, font and deviation; any failure leaves the previous mesh.
    virtual void CreateText();
    // Whether the mesh must be built again; drops the data when the text became null.
    virtual bool CheckIfTextChange();

    // Not virtual: the settings and state, for tools and tests.
    bool GetUseTexCoordSet(int set) const { return set == 0 ? useTexCoordSet0 : useTexCoordSet1; }
    void SetUseTexCoordSet(int set, bool use) { (set == 0 ? useTexCoordSet0 : useTexCoordSet1) = use; }
    float GetDeviation() const { return deviation; }
    bool GetMeshBuilt() const { return meshBuilt; }

    // The outline precision a complexity value (0 coarsest .. 1 finest) stands for.
    static float DeviationFromComplexity(float complexity);

protected:
    bool meshBuilt = false;                // a build succeeded at least once
    LOGFONTA lastFont{};                   // font child's description at the last build
    float deviation = 0.005f;              // outline precision, em-square units
    Kel_String lastText;                   // text of the last build; null before one
    bool useTexCoordSet0 = true;           // "VTUT": vertices get coordinates in set 0
    bool useTexCoordSet1 = true;           // "VTU2": vertices get coordinates in set 1
    uint32_t textStamp = 0xFFFFFFFFu;      // text child's time stamp at the last build
};
