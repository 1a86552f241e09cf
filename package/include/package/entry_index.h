// Finding a package entry by its group and item name in constant time: the names compare
// ignoring ASCII case, and the first entry of a name wins, as a walk of the directory in
// order would find it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

class EntryIndex {
public:
    struct Place {
        int32_t index;          // in directory order
        uint64_t dataOffset;    // of its data, from the start of the entries' data
    };

    // Records an entry; a later entry of the same names is not recorded (the first wins).
    void Add(std::string_view group, std::string_view item, Place place) {
        places_.try_emplace(Key(group, item), place);
    }
    const Place* Find(std::string_view group, std::string_view item) const {
        const auto it = places_.find(Key(group, item));
        return it == places_.end() ? nullptr : &it->second;
    }
    void Clear() { places_.clear(); }

private:
    static std::string Key(std::string_view group, std::string_view item) {
        std::string key;
        key.reserve(group.size() + item.size() + 1);
        for (char c : group) key += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        key += '\0';  // never part of a name
        for (char c : item) key += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        return key;
    }

    std::unordered_map<std::string, Place> places_;
};
