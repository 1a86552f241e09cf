// The system registry itself. Values are REG_SZ strings: the bytes a caller stores are
// UTF-8 and are kept as the wide string Windows programs read; reading gives the same
// bytes back.
#include "os/registry.h"

#include <mutex>

#include "os/native_path.h"
#include "win32_util.h"

namespace os {
namespace {

HKEY RootKey(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    }
    return HKEY_CURRENT_USER;
}

// The keys this process wrote, in order: what RegistryAllValues lists (the whole registry
// is not ours to list).
std::mutex g_mutex;
std::vector<std::pair<RegistryRoot, std::string>> g_keys;

void Remember(RegistryRoot root, std::string_view key) {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& [r, k] : g_keys)
        if (r == root && EqualsIgnoreCase(k, key)) return;
    g_keys.emplace_back(root, std::string(key));
}

}  // namespace

bool RegistrySetString(RegistryRoot root, std::string_view key, std::string_view name,
                       const char* data, uint32_t byteCount) {
    HKEY opened = nullptr;
    if (::RegCreateKeyExW(RootKey(root), win32::Widen(key).c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring wide = win32::Widen(std::string_view(data ? data : "", data ? byteCount : 0));
    // The stored size counts the terminating null, as every reader of REG_SZ expects.
    const LONG result = ::RegSetValueExW(opened, win32::Widen(name).c_str(), 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(wide.c_str()),
                                         DWORD((wide.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(opened);
    if (result == ERROR_SUCCESS) Remember(root, key);
    return result == ERROR_SUCCESS;
}

std::optional<std::string> RegistryGetString(RegistryRoot root, std::string_view key,
                                             std::string_view name) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(RootKey(root), win32::Widen(key).c_str(), 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring valueName = win32::Widen(name);
    DWORD type = 0, size = 0;
    std::optional<std::string> out;
    if (::RegQueryValueExW(opened, valueName.c_str(), nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::wstring wide(size / sizeof(wchar_t), L'\0');
        if (::RegQueryValueExW(opened, valueName.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(wide.data()), &size) == ERROR_SUCCESS) {
            wide.resize(size / sizeof(wchar_t));
            // The terminator is not part of the value (another program may have stored it,
            // or not).
            while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
            out = win32::Narrow(wide);
        }
    }
    ::RegCloseKey(opened);
    return out;
}

std::vector<RegistryValue> RegistryAllValues() {
    std::vector<std::pair<RegistryRoot, std::string>> keys;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        keys = g_keys;
    }
    std::vector<RegistryValue> values;
    for (const auto& [root, key] : keys) {
        HKEY opened = nullptr;
        if (::RegOpenKeyExW(RootKey(root), win32::Widen(key).c_str(), 0, KEY_QUERY_VALUE,
                            &opened) != ERROR_SUCCESS)
            continue;
        for (DWORD i = 0;; ++i) {
            wchar_t valueName[16384];
            DWORD nameSize = 16384, type = 0;
            if (::RegEnumValueW(opened, i, valueName, &nameSize, nullptr, &type, nullptr,
                                nullptr) != ERROR_SUCCESS)
                break;
            if (type != REG_SZ) continue;
            const std::string name = win32::Narrow(std::wstring_view(valueName, nameSize));
            if (auto data = RegistryGetString(root, key, name))
                values.push_back({root, key, name, *data});
        }
        ::RegCloseKey(opened);
    }
    return values;
}

bool RegistryDeleteKey(RegistryRoot root, std::string_view key) {
    const std::wstring wide = win32::Widen(key);
    // The key goes with whatever it holds, as the file-backed store removes it.
    const LONG result = ::RegDeleteTreeW(RootKey(root), wide.c_str());
    if (result != ERROR_SUCCESS) return false;
    ::RegDeleteKeyW(RootKey(root), wide.c_str());
    std::lock_guard<std::mutex> lock(g_mutex);
    std::erase_if(g_keys, [&](const auto& entry) {
        return entry.first == root && EqualsIgnoreCase(entry.second, key);
    });
    return true;
}

// There is no file: the registry is the system's.
std::string RegistryFilePath() { return {}; }

}  // namespace os
