#include "manifest.h"

#include <charconv>
#include <map>
#include <sstream>

#include "os/native_path.h"

namespace projpack {
namespace {

std::string Trim(std::string s) {
    const char* space = " \t\r";
    size_t a = s.find_first_not_of(space);
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(space);
    return s.substr(a, b - a + 1);
}

// Splits off the first whitespace-delimited word.
std::string TakeWord(std::string& rest) {
    rest = Trim(rest);
    size_t end = rest.find_first_of(" \t");
    std::string word = rest.substr(0, end);
    rest = end == std::string::npos ? "" : Trim(rest.substr(end));
    return word;
}

bool ParseNumber(const std::string& s, uint64_t max, uint32_t& out) {
    uint64_t value = 0;
    int base = 10;
    const char* begin = s.data();
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    auto [end, ec] = std::from_chars(begin, s.data() + s.size(), value, base);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || value > max) return false;
    out = uint32_t(value);
    return true;
}

const std::map<std::string, EntryKind> kKeywords = {
    {"u32", EntryKind::U32},         {"byte", EntryKind::Byte},
    {"text", EntryKind::Text},       {"packed", EntryKind::Packed},
    {"compressed", EntryKind::Compressed}, {"channel", EntryKind::Channel},
    {"library", EntryKind::Library}, {"file", EntryKind::File},
};

const std::map<std::string, uint32_t> kProjectTypes = {
    {"run-in-place", 1}, {"standard", 2}, {"screensaver", 5}, {"winamp", 6}};

}  // namespace

bool ParseManifest(const std::string& text, Manifest& out, std::string& error) {
    out = Manifest{};
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    std::map<std::string, int> seen;  // upper-case item name -> line, per group
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNo) + ": " + what;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNo;
        std::string rest = Trim(raw);
        if (rest.empty() || rest[0] == '#') continue;
        std::string keyword = TakeWord(rest);
        // "raw" before a file line stores the source's bytes as they are, neither packed nor
        // compressed: a damaged entry, to try an installer against.
        const bool stored = keyword == "raw";
        if (stored) keyword = TakeWord(rest);

        if (keyword == "level") {
            uint32_t level;
            if (!ParseNumber(rest, 9, level)) return fail("level must be 0 to 9");
            out.level = int(level);
            continue;
        }
        ManifestEntry e;
        e.line = lineNo;
        e.raw = stored;
        if (keyword == "type") {
            e.kind = EntryKind::U32;
            e.name = "ProjectType";
            auto known = kProjectTypes.find(rest);
            if (known != kProjectTypes.end())
                e.number = known->second;
            else if (!ParseNumber(rest, UINT32_MAX, e.number))
                return fail("unknown project type \"" + rest + "\"");
        } else {
            auto kind = kKeywords.find(keyword);
            if (kind == kKeywords.end()) return fail("unknown keyword \"" + keyword + "\"");
            e.kind = kind->second;
            if (e.kind == EntryKind::U32 || e.kind == EntryKind::Byte ||
                e.kind == EntryKind::Text) {
                e.name = TakeWord(rest);
                if (e.name.empty() || rest.empty()) return fail("a setting needs a name and a value");
                if (e.kind == EntryKind::Text)
                    e.text = rest;
                else if (!ParseNumber(rest, e.kind == EntryKind::Byte ? 255 : UINT32_MAX, e.number))
                    return fail("\"" + rest + "\" is not a valid " + keyword);
            } else {
                // A file: its item name, then optionally "< source".
                size_t arrow = rest.find(" <");
                e.name = Trim(rest.substr(0, arrow));
                if (arrow != std::string::npos) e.source = Trim(rest.substr(arrow + 2));
                if (e.name.empty()) return fail("a file entry needs its path in the project");
                if (arrow != std::string::npos && e.source.empty()) return fail("empty source after '<'");
            }
        }
        if (e.raw && e.kind < EntryKind::Packed) return fail("\"raw\" goes before a file line only");
        // Names carry a NUL in a 260-byte record.
        if (e.name.size() > 259) return fail("name longer than 259 characters");
        if (e.kind == EntryKind::Text && e.text.size() > 258)
            return fail("text longer than 258 characters (the installer reads 259 bytes)");

        std::string key = e.name;
        for (char& c : key) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (auto dup = seen.find(key); dup != seen.end())
            return fail("\"" + e.name + "\" already given on line " + std::to_string(dup->second));
        seen[key] = lineNo;
        out.entries.push_back(std::move(e));
    }
    return true;
}

}  // namespace projpack
