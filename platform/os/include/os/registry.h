// Stand-in for the system registry: a small file-backed store of keys and string values.
// The file is "<config>/vantrel/registry" (config: $XDG_CONFIG_HOME, else ~/.config), or
// the file named by VANTREL_REGISTRY_FILE. One line a value:
//   <root> TAB <key path> TAB <value name> TAB REG_SZ TAB <data, escaped>
// where \\, \t, \n and \xHH escape the bytes that would break the line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// <root> is written HKLM, HKCU or HKCR; a value's default (unnamed) value has an empty name.
enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot };

struct RegistryValue {
    RegistryRoot root;
    std::string key;
    std::string name;
    std::string data;  // exactly the bytes stored
};

// Stores `byteCount` bytes of `data` as the REG_SZ value `name` of `key`, creating the key
// (key and value names compare ignoring case). False when the store cannot be written.
bool RegistrySetString(RegistryRoot root, std::string_view key, std::string_view name,
                       const char* data, uint32_t byteCount);
// The stored bytes of a value, or nothing.
std::optional<std::string> RegistryGetString(RegistryRoot root, std::string_view key, std::string_view name);
// Every value in the store, in the order they were first written.
std::vector<RegistryValue> RegistryAllValues();
// Removes a key and its values; false when there was none.
bool RegistryDeleteKey(RegistryRoot root, std::string_view key);
std::string RegistryFilePath();

}  // namespace os
