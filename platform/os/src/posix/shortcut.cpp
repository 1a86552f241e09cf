#include "os/shortcut.h"

#include <string_view>

#include "os/native_path.h"
#include "os/folder_tree.h"

namespace os {
namespace {

bool EndsWithIgnoreCase(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && EqualsIgnoreCase(s.substr(s.size() - end.size()), end);
}

// Quotes one Exec argument as desktop entries want: in double quotes, with the quote,
// backquote, dollar and backslash escaped by a backslash, and % doubled.
std::string QuoteArgument(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

// A value of a desktop entry key: one line, with the backslash escapes the format knows.
std::string EntryValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

}  // namespace

std::string ShortcutFilePath(const std::string& linkPath) {
    std::string base = EndsWithIgnoreCase(linkPath, ".lnk") ? linkPath.substr(0, linkPath.size() - 4) : linkPath;
    return base + ".desktop";
}

int CreateShortcut(const std::string& target, const std::string& linkPath, const std::string& description,
                   const char* arguments, const std::string& workingFolder) {
    std::string file = ShortcutFilePath(linkPath);
    std::string normal = NormalizeSeparators(file);
    size_t slash = normal.find_last_of('/');
    std::string name = normal.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.size() - 8);  // without ".desktop"

    std::string exec = QuoteArgument(NativePath(target));
    if (arguments && *arguments) exec += " " + QuoteArgument(arguments);
    std::string entry = "[Desktop Entry]\nType=Application\nName=" + EntryValue(name) +
                        "\nExec=" + EntryValue(exec) + "\nPath=" + EntryValue(NativePath(workingFolder)) +
                        "\nComment=" + EntryValue(description) + "\nTerminal=false\n";
    // Never through a link planted at the entry's name.
    const auto bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(entry.data()), entry.size());
    return ReplaceFile(file, bytes) == WriteStatus::Written ? 0 : 1;
}

}  // namespace os
