// What every channel library compiles in: its static type record, the two exported
// functions GetType and InitDLL, and the template every child-link declaration starts from.
#pragma once

#include <cstring>
#include <new>

#include "os/library_export.h"
#include "plugin_frame/channel_type.h"

#define CHANNEL_EXPORT OS_LIBRARY_EXPORT

// Fills the library's type record as GetType reports it.
struct ChannelTypeInfo {
    const char* typeName;
    GUID typeGuid;
    GUID baseTypeGuid;
    int32_t typeOption;
    int32_t typeFlags = 0;
    const char* typeCode = nullptr;  // four characters or null
};

inline void FillChannelType(ChannelType& record, const ChannelTypeInfo& info) {
    std::strncpy(record.typeName, info.typeName, sizeof(record.typeName) - 1);
    record.typeGuid = info.typeGuid;
    record.baseTypeGuid = info.baseTypeGuid;
    record.typeOption = info.typeOption;
    if (info.typeFlags != 0) record.typeFlags = info.typeFlags;
    if (info.typeCode) std::memcpy(record.typeCode, info.typeCode, 4);
}

// Declares GetType and InitDLL for a channel class. InitDLL gives null, and constructs
// nothing, when memory runs out; no exception leaves the library.
// `info` is a ChannelTypeInfo expression; the class must be default-constructible.
#define DEFINE_CHANNEL_EXPORTS(ClassName, info)                        \
    static ChannelType g_channelTypeRecord;                            \
    CHANNEL_EXPORT ChannelType* GetType() {                            \
        FillChannelType(g_channelTypeRecord, info);                    \
        return &g_channelTypeRecord;                                   \
    }                                                                  \
    CHANNEL_EXPORT ClassName* InitDLL() {                              \
        try {                                                          \
            return new (std::nothrow) ClassName();                     \
        } catch (...) {                                                \
            return nullptr;                                            \
        }                                                              \
    }

// A child-link declaration from the common template: default link type with the any-type
// base GUID, engine fields 0, linkSetting 1, then the link's own values.
inline ChildCreation MakeChildCreation(const char* typeName, const GUID& typeGuid,
                                       int32_t linkPosition, bool autoCreate,
                                       const char* linkName) {
    ChildCreation record;
    record.linkType.baseTypeGuid = kAnyTypeGuid;
    std::strncpy(record.linkType.typeName, typeName, sizeof(record.linkType.typeName) - 1);
    record.linkType.typeGuid = typeGuid;
    record.linkPosition = linkPosition;
    record.autoCreate = autoCreate;
    std::strncpy(record.linkName, linkName, sizeof(record.linkName) - 1);
    return record;
}
