// The engine's type record and child-link declaration. Field order and widths are the
// binary contract with the engine; the static_asserts pin them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin_frame/guid.h"

inline constexpr int32_t kEngineInterfaceVersion = 43;

struct ChannelType {
    char typeName[80] = {};         // NUL-terminated name shown for the channel
    GUID typeGuid = kNullGuid;      // the type's own GUID
    GUID baseTypeGuid = kNullGuid;  // the type it derives from
    int32_t recordKind = 1;
    int32_t engineVersion = kEngineInterfaceVersion;
    int32_t typeOption = 1;
    int32_t typeFlags = 0;
    char typeCode[4] = {};          // four characters, no terminator
};
static_assert(offsetof(ChannelType, typeGuid) == 80);
static_assert(offsetof(ChannelType, baseTypeGuid) == 96);
static_assert(offsetof(ChannelType, recordKind) == 112);
static_assert(offsetof(ChannelType, engineVersion) == 116);
static_assert(offsetof(ChannelType, typeCode) == 128);
static_assert(sizeof(ChannelType) == 132);

struct ChildCreation {
    ChannelType linkType;           // the type the link accepts
    int32_t linkPosition = 0;       // the link's index for a one-child link, -1 for any number
    uint8_t engineByte = 0;         // filled by the engine
    bool autoCreate = false;        // the engine creates the child with the channel
    char linkName[100] = {};        // the link's description; also names an auto-created child
    GUID defaultChildGuid = kNullGuid;  // type of an auto-created child; null: linkType
    int32_t engineInt = 0;          // filled by the engine
    int32_t linkSetting = 1;
};
static_assert(offsetof(ChildCreation, linkPosition) == 132);
static_assert(offsetof(ChildCreation, engineByte) == 136);
static_assert(offsetof(ChildCreation, autoCreate) == 137);
static_assert(offsetof(ChildCreation, linkName) == 138);
static_assert(offsetof(ChildCreation, defaultChildGuid) == 240);
static_assert(offsetof(ChildCreation, engineInt) == 256);
static_assert(offsetof(ChildCreation, linkSetting) == 260);
static_assert(sizeof(ChildCreation) == 264);
