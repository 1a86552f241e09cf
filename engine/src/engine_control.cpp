// The objects a program loading the engine at run time uses: the engine control, its
// services, the file loader and saver, and the decompression component.
#include "plugin_frame/engine_control.h"

#include <cstring>
#include <string>
#include <vector>

#include "plugin_frame/channel_type.h"
#include "plugin_frame/engine_interface.h"
#include "plugin_frame/file_saver.h"
#include "plugin_frame/plugin_exports.h"
#include "tagfile/compressed_file.h"

namespace {

class MemoryFileLoader final : public EngineFileLoader {
public:
    void AttachMemory(uint8_t* data, uint32_t size, int attach) override {
        content_.assign(data, data + (data ? size : 0));
        // The loader keeps its own copy either way; owning the caller's bytes only means
        // freeing them once they are no longer needed.
        if (attach == 1) delete[] data;
    }
    bool OpenContainer(const char* magic, int) override {
        return magic && std::strcmp(magic, "KRVF") == 0 && tagfile::IsCompressedFile(content_);
    }
    const uint8_t* GetData() override { return content_.data(); }
    uint32_t GetSize() override { return uint32_t(content_.size()); }
    void Destroy() override { delete this; }

    std::vector<uint8_t>& Content() { return content_; }

private:
    std::vector<uint8_t> content_;
};

class TaggedFileSaver final : public EngineFileSaver {
public:
    bool OpenFile(const char* path, int writeHeader) override {
        return saver_.OpenFile(path, writeHeader, nullptr);
    }
    void SaveTag(const char* tag) override { saver_.SaveTag(tag); }
    void SaveBlockSize(uint32_t bytes) override { saver_.SaveBlockSize(bytes); }
    void SaveDataToFile(const void* data, uint32_t bytes) override { saver_.SaveDataToFile(data, bytes); }
    bool CloseFile() override { return saver_.CloseFile(); }
    void Destroy() override { delete this; }

private:
    KelFileSaver saver_;
};

class Decompression final : public EngineDecompression {
public:
    bool Unpack(EngineFileLoader* loader) override {
        auto* memory = dynamic_cast<MemoryFileLoader*>(loader);
        if (!memory) return false;
        auto unpacked = tagfile::UnpackCompressedFile(memory->Content());
        if (!unpacked) return false;
        memory->Content() = std::move(*unpacked);
        return true;
    }
};

class Services final : public EngineServices {
public:
    void* CreateObject(GUID classGuid, int, int) override {
        if (classGuid == kFileLoaderClass) return static_cast<EngineFileLoader*>(new MemoryFileLoader);
        if (classGuid == kFileSaverClass) return static_cast<EngineFileSaver*>(new TaggedFileSaver);
        return nullptr;
    }
    EngineDecompression* GetDecompression() override { return &decompression_; }

private:
    Decompression decompression_;
};

class Control final : public EngineControl {
public:
    void SetInstallPath(const char* path) override { installPath_ = path ? path : ""; }
    bool Initialize(void*, const char* windowClassName, void*) override {
        if (!windowClassName) return false;
        engine_ = std::make_unique<EngineInterface>();
        engine_->SetChannelsFolder(installPath_.empty() ? "channels" : installPath_ + "\\channels");
        return true;
    }
    EngineServices* GetEngineServices() override { return engine_ ? &services_ : nullptr; }
    void Destroy() override { delete this; }

private:
    std::string installPath_;
    std::unique_ptr<EngineInterface> engine_;
    Services services_;
};

}  // namespace

CHANNEL_EXPORT EngineControl* GetEngineControlInstance() {
    return new (std::nothrow) Control;
}
