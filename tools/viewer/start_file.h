// The viewer's start file ("VtlStart.vtl"): a KRVF tagged file of the start-file type,
// usually installed as a KRVF compressed file. Its records:
//   "STGR"  the start group's path, relative to the start file's folder, NUL-terminated
//   "STFR"  u32 number of frames a headless run shows
//   "STFT"  float frame time of a headless frame, in 1/25 s
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plugin_frame/guid.h"

inline constexpr GUID kViewerStartFileType = MakeGuid("C3A1F0B2-6D4E-4B7A-9E21-5F8D0C7B3A64");

struct StartFile {
    std::string startGroup;   // e.g. "\start.cgr"
    uint32_t frames = 250;    // frames of a headless run
    float frameTime = 1.0f;   // 1/25 s per frame
};

// A start file holds three short records: one that says it unpacks to more than this is
// refused before anything is inflated.
inline constexpr uint32_t kStartFileUnpackedLimit = 1u << 20;

std::vector<uint8_t> WriteStartFile(const StartFile& start);
// Reads a plain or compressed start file; nothing when it is neither, is damaged or claims
// more than kStartFileUnpackedLimit unpacked.
std::optional<StartFile> ReadStartFile(std::span<const uint8_t> bytes);
