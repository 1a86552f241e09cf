// The engine core's objects as the installer calls them. The engine core is loaded at run
// time (InitEngine); until it is, the installer holds none of these and unpacks packed files
// itself with zlib.
#pragma once

#include <cstdint>

// The engine core's control object (GetEngineControlInstance); its calls come with the
// standard installation.
class EngineControl;

// The engine's file loader: content attached from memory, opened as a container, and read
// back after the engine has unpacked it.
class FileLoader {
public:
    virtual ~FileLoader() = default;
    // Attaches `size` bytes at `data`; with `ownership` 1 the loader takes the bytes (they
    // were allocated with new[]) and frees them when it lets go of them.
    virtual void Attach(uint8_t* data, uint32_t size, int ownership) = 0;
    // True when the attached content is a container with this magic ("KRVF").
    virtual bool OpenContainer(const char* magic, int flags) = 0;
    // The loader's current content.
    virtual uint8_t* GetData() = 0;
    virtual uint32_t GetSize() = 0;
};

// The engine's services object; the installer needs only its decompression component.
class EngineServices {
public:
    virtual ~EngineServices() = default;
    // Replaces the loader's content (a KRVF compressed file) with the file it holds.
    virtual void Unpack(FileLoader& loader) = 0;
};
