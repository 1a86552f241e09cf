// Reads the tagged records of one channel, strictly in order: GetInfoIfTag is true only
// when the next unread record carries that tag, and CopyTagDataToPointer never writes past
// the field it is given (a longer record is cut, a shorter one leaves the rest as it was).
#pragma once

#include <cstdint>
#include <span>
#include <type_traits>

#include "tagfile/records.h"

class KelFileLoader {
public:
    KelFileLoader() = default;
    explicit KelFileLoader(std::span<const uint8_t> records) : reader_(records) {}

    // True when the next unread record has `tag` (four characters).
    bool GetInfoIfTag(const char* tag);
    // Length of the record GetInfoIfTag accepted; 0 when none is pending.
    uint32_t GetTagDataSize() const;
    // Copies the accepted record's data, at most `capacity` bytes, and moves past it.
    // False when no record is pending.
    bool CopyTagDataToPointer(void* dest, uint32_t capacity);
    template <typename T>
    bool CopyTagDataToPointer(T* field) {
        static_assert(std::is_trivially_copyable_v<T> && !std::is_pointer_v<T>);
        return CopyTagDataToPointer(static_cast<void*>(field), uint32_t(sizeof(T)));
    }
    // The accepted record's data without copying, and moves past it.
    std::span<const uint8_t> TakeTagData();

    // Whether a record ran past the end of the data.
    bool Corrupt() const { return reader_.Corrupt(); }
    bool AtEnd() const { return reader_.AtEnd(); }

private:
    tagfile::RecordReader reader_;
    tagfile::Record pending_;
    bool hasPending_ = false;
};

// Reads one plain field when the next record carries `tag`; true when it did.
template <typename T>
bool LoadField(KelFileLoader& loader, const char* tag, T& field) {
    if (!loader.GetInfoIfTag(tag)) return false;
    return loader.CopyTagDataToPointer(&field);
}

// A bool is stored as one byte. A file may hold any byte there, and a bool holding
// anything but 0 or 1 is undefined, so the byte is read and any non-zero value is true.
inline bool LoadField(KelFileLoader& loader, const char* tag, bool& field) {
    uint8_t byte = field ? 1 : 0;
    if (!LoadField(loader, tag, byte)) return false;
    field = byte != 0;
    return true;
}
