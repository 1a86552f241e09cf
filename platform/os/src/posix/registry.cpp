#include "os/registry.h"

#include "os/folder_tree.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "os/native_path.h"

namespace os {
namespace {

const char* RootName(RegistryRoot root) {
    switch (root) {
    case RegistryRoot::LocalMachine: return "HKLM";
    case RegistryRoot::ClassesRoot: return "HKCR";
    default: return "HKCU";
    }
}

std::string Escape(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += char(c);
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        char e = text[++i];
        if (e == 't') out += '\t';
        else if (e == 'n') out += '\n';
        else if (e == 'x' && i + 2 < text.size()) {
            out += char(std::strtol(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        } else out += e;
    }
    return out;
}

std::vector<RegistryValue> Load() {
    std::vector<RegistryValue> values;
    std::ifstream in(RegistryFilePath());
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string_view> f;
        size_t start = 0;
        for (int k = 0; k < 4; ++k) {
            size_t tab = line.find('\t', start);
            if (tab == std::string::npos) break;
            f.emplace_back(line.data() + start, tab - start);
            start = tab + 1;
        }
        if (f.size() != 4 || f[3] != "REG_SZ") continue;  // not a line of ours
        RegistryRoot root = f[0] == "HKLM"   ? RegistryRoot::LocalMachine
                            : f[0] == "HKCR" ? RegistryRoot::ClassesRoot
                                             : RegistryRoot::CurrentUser;
        values.push_back({root, std::string(f[1]), std::string(f[2]), Unescape(std::string_view(line).substr(start))});
    }
    return values;
}

bool Save(const std::vector<RegistryValue>& values) {
    namespace fs = std::filesystem;
    fs::path file = RegistryFilePath();
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::string text;
    for (const RegistryValue& v : values)
        text += RootName(v.root) + ('\t' + v.key) + '\t' + v.name + "\tREG_SZ\t" + Escape(v.data) + '\n';
    // Replacing the file whole keeps the store intact if we stop half-way; a link at its
    // name is not written through.
    return ReplaceFile(file.string(), std::span<const uint8_t>(
                                          reinterpret_cast<const uint8_t*>(text.data()), text.size())) ==
           WriteStatus::Written;
}

bool Matches(const RegistryValue& v, RegistryRoot root, std::string_view key) {
    return v.root == root && EqualsIgnoreCase(v.key, key);
}

}  // namespace

std::string RegistryFilePath() {
    if (const char* file = std::getenv("VANTREL_REGISTRY_FILE"); file && *file) return file;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) config = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) config = std::string(home) + "/.config";
    else config = ".config";
    return config + "/vantrel/registry";
}

bool RegistrySetString(RegistryRoot root, std::string_view key, std::string_view name, const char* data,
                       uint32_t byteCount) {
    // A key or value name with a tab or line break could not be read back.
    if (key.find_first_of("\t\n") != std::string_view::npos || name.find_first_of("\t\n") != std::string_view::npos)
        return false;
    std::vector<RegistryValue> values = Load();
    std::string bytes(data ? data : "", data ? byteCount : 0);
    for (RegistryValue& v : values) {
        if (Matches(v, root, key) && EqualsIgnoreCase(v.name, name)) {
            v.data = bytes;
            return Save(values);
        }
    }
    values.push_back({root, std::string(key), std::string(name), bytes});
    return Save(values);
}

std::optional<std::string> RegistryGetString(RegistryRoot root, std::string_view key, std::string_view name) {
    for (const RegistryValue& v : Load())
        if (Matches(v, root, key) && EqualsIgnoreCase(v.name, name)) return v.data;
    return std::nullopt;
}

std::vector<RegistryValue> RegistryAllValues() { return Load(); }

bool RegistryDeleteKey(RegistryRoot root, std::string_view key) {
    std::vector<RegistryValue> values = Load();
    size_t before = values.size();
    std::erase_if(values, [&](const RegistryValue& v) { return Matches(v, root, key); });
    return values.size() != before && Save(values);
}

}  // namespace os
