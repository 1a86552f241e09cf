// Channel type GUIDs: 16 bytes in the Windows binary layout (u32, u16, u16, 8 bytes).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

// The same type as the system headers' GUID where they exist (struct _GUID, whose first field
// is an unsigned long of 32 bits): whichever is read first defines it (GUID_DEFINED), so
// every file names one type. The comparisons below are ours there too.
#ifndef GUID_DEFINED
#define GUID_DEFINED
using GuidData1 = std::conditional_t<sizeof(unsigned long) == 4, unsigned long, uint32_t>;
typedef struct _GUID {
    GuidData1 Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
#endif
#ifndef _NO_SYS_GUID_OPERATOR_EQ_
#define _NO_SYS_GUID_OPERATOR_EQ_
#endif
static_assert(sizeof(GUID) == 16);

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool operator<(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }

inline constexpr GUID kNullGuid{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (braces optional, either case).
std::optional<GUID> ParseGuid(std::string_view text);
// Upper-case text without braces: the form plug-in file names use.
std::string FormatGuid(const GUID& guid);

// Compile-time GUID from its text, for the constants below and in plug-ins.
consteval GUID MakeGuid(const char (&s)[37]) {
    auto hex = [](char c) -> uint32_t {
        return c >= '0' && c <= '9' ? uint32_t(c - '0')
             : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
             : c >= 'A' && c <= 'F' ? uint32_t(c - 'A' + 10)
                                    : throw "bad hex digit";
    };
    auto field = [&](int at, int digits) {
        uint32_t v = 0;
        for (int i = 0; i < digits; ++i) v = v << 4 | hex(s[at + i]);
        return v;
    };
    GUID g{};
    g.Data1 = field(0, 8);
    g.Data2 = uint16_t(field(9, 4));
    g.Data3 = uint16_t(field(14, 4));
    g.Data4[0] = uint8_t(field(19, 2));
    g.Data4[1] = uint8_t(field(21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = uint8_t(field(24 + 2 * i, 2));
    return g;
}

// A link whose accepted type is this GUID takes channels of every type.
inline constexpr GUID kAnyTypeGuid = MakeGuid("B2683C83-60F9-5DA3-9472-29190EBADB01");
