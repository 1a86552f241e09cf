#include "os/shortcut.h"

#include <string_view>

#include "os/native_path.h"
#include "os/folder_tree.h"

namespace os {
namespace {

// The first argument of a desktop entry's Exec line: the value unescaped, then the quoted
// argument unescaped, as the installer wrote them.
std::string ExecTarget(const std::string& entry) {
    const size_t at = entry.find("\nExec=");
    if (at == std::string::npos) return {};
    const size_t end = entry.find('\n', at + 6);
    const std::string raw = entry.substr(at + 6, end == std::string::npos ? std::string::npos : end - at - 6);
    std::string value;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            const char c = raw[++i];
            value += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
        } else {
            value += raw[i];
        }
    }
    if (value.empty() || value[0] != '"') return {};
    std::string target;
    for (size_t i = 1; i < value.size(); ++i) {
        if (value[i] == '"') return target;
        // A quoted argument escapes with a backslash, and writes a percent sign doubled.
        if (i + 1 < value.size() && (value[i] == '\\' || (value[i] == '%' && value[i + 1] == '%'))) ++i;
        target += value[i];
    }
    return {};
}


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

std::string ShortcutTarget(const std::vector<uint8_t>& bytes) {
    return ExecTarget(std::string(bytes.begin(), bytes.end()));
}

}  // namespace os
