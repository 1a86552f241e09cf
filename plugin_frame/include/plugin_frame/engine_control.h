// The engine objects a program that loads Corvane.dll at run time uses (the installer):
// it looks up the export "GetEngineControlInstance" and talks to the objects only through
// these virtual operations, so it never links the engine.
#pragma once

#include <cstdint>

#include "plugin_frame/guid.h"

// Class GUIDs for EngineServices::CreateObject.
inline constexpr GUID kFileLoaderClass = MakeGuid("4E514FF3-3E79-593B-A73E-FBF0DB07D6EE");
inline constexpr GUID kFileSaverClass = MakeGuid("A1B1CB4C-22F3-58A9-AFD3-3D879D11A1F0");

// A file loader over memory handed to it.
class EngineFileLoader {
public:
    // Takes the bytes. With attach 1 the loader owns them from now on and frees them with
    // delete[]; with 0 it copies them and the caller keeps its own.
    virtual void AttachMemory(uint8_t* data, uint32_t size, int attach) = 0;
    // True when the attached content is a KRVF compressed file ("KRVF" is the only magic
    // it knows); the second argument is reserved and 0.
    virtual bool OpenContainer(const char* magic, int reserved) = 0;
    // The loader's current content.
    virtual const uint8_t* GetData() = 0;
    virtual uint32_t GetSize() = 0;
    virtual void Destroy() = 0;

protected:
    virtual ~EngineFileLoader() = default;
};

// A writer of tagged records into one file.
class EngineFileSaver {
public:
    // With writeHeader 0 the file holds nothing but the records it is given.
    virtual bool OpenFile(const char* path, int writeHeader) = 0;
    virtual void SaveTag(const char* tag) = 0;
    virtual void SaveBlockSize(uint32_t bytes) = 0;
    virtual void SaveDataToFile(const void* data, uint32_t bytes) = 0;
    // Writes the file; false when that fails.
    virtual bool CloseFile() = 0;
    virtual void Destroy() = 0;

protected:
    virtual ~EngineFileSaver() = default;
};

// Turns a loader's KRVF compressed file into the stored file.
class EngineDecompression {
public:
    // Replaces the loader's content with the unpacked file; false (content unchanged) when
    // the content is not a well-formed compressed file.
    virtual bool Unpack(EngineFileLoader* loader) = 0;

protected:
    virtual ~EngineDecompression() = default;
};

class EngineServices {
public:
    // A new object of the class (kFileLoaderClass or kFileSaverClass), owned by the caller
    // (free it with its Destroy); null for an unknown class. Both further arguments are 0.
    virtual void* CreateObject(GUID classGuid, int reserved1, int reserved2) = 0;
    virtual EngineDecompression* GetDecompression() = 0;

protected:
    virtual ~EngineServices() = default;
};

class EngineControl {
public:
    // The folder the engine runs from; called before Initialize.
    virtual void SetInstallPath(const char* path) = 0;
    // Starts the engine for a program instance, its window class name and main window;
    // false when the engine cannot run.
    virtual bool Initialize(void* instance, const char* windowClassName, void* mainWindow) = 0;
    // Null before Initialize succeeded.
    virtual EngineServices* GetEngineServices() = 0;
    virtual void Destroy() = 0;

protected:
    virtual ~EngineControl() = default;
};

// The export's type: "GetEngineControlInstance" returns a new control object, or null.
using GetEngineControlInstanceFunction = EngineControl* (*)();
