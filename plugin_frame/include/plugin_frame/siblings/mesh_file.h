// A mesh read from a model file (OBJ, glTF 2.0 and the other formats the importer reads).
// The file is a project file named relative to the channel group's folder; part `part` of
// the model is taken, where a model's meshes are numbered in file order and a mesh with
// more than 65,535 vertices is split into parts of at most 65,535 (indices are 16-bit).
// The vertices are not saved: the file is read again after loading.
#pragma once

#include <string>

#include "plugin_frame/siblings/object_data_channel.h"

class Kco_DX8_MeshFile : public Kco_DX8_ObjectDataChannel {
public:
    Kco_DX8_MeshFile();
    ~Kco_DX8_MeshFile() override;

    // Settings of the base, then "MFNM" (file name with its NUL) and "MFPT" (part).
    bool SaveChannel(KelFileSaver& saver) override;
    bool LoadChannel(KelFileLoader& loader, Kel_ChannelGroup* group) override;
    void UpdateData() override;
    void StreamVertexData() override;

    // ---- added, in this order ----
    // Names the file (relative names are taken from the channel group's folder) and part.
    virtual void SetMeshFile(const char* fileName, int part);
    virtual const char* GetMeshFile();
    virtual int GetMeshPart();
    // Number of parts the file holds (reads it), 0 when it cannot be read.
    virtual int GetMeshPartCount();
    // Reads the part now; false (and a debug message) when the file or part is missing.
    virtual bool ReadMeshFile();

protected:
    std::string fileName;
    int32_t part = 0;
    bool loaded = false;  // the data holds the named part
    bool failed = false;  // the last read failed; not tried again until the name changes
};
