#include "plugin_frame/file_loader.h"

#include <algorithm>
#include <cstring>

bool KelFileLoader::GetInfoIfTag(const char* tag) {
    if (!tag) return false;
    tagfile::Record next;
    if (!reader_.Peek(next)) {
        hasPending_ = false;
        return false;
    }
    hasPending_ = std::memcmp(next.tag.data(), tag, 4) == 0;
    if (hasPending_) pending_ = next;
    return hasPending_;
}

uint32_t KelFileLoader::GetTagDataSize() const {
    return hasPending_ ? uint32_t(pending_.data.size()) : 0;
}

std::span<const uint8_t> KelFileLoader::TakeTagData() {
    if (!hasPending_) return {};
    hasPending_ = false;
    tagfile::Record consumed;
    reader_.Next(consumed);
    return consumed.data;
}

bool KelFileLoader::CopyTagDataToPointer(void* dest, uint32_t capacity) {
    if (!hasPending_) return false;
    std::span<const uint8_t> data = TakeTagData();
    size_t n = std::min<size_t>(data.size(), capacity);
    if (dest && n) std::memcpy(dest, data.data(), n);
    return true;
}
