#include "installer/item_name.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool IsItemNameInside(std::string_view name) {
    if (name.empty()) return false;
    if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) return false;
    // A colon is a drive letter ("C:") or a stream of a file on Windows; neither belongs here.
    if (name.find(':') != std::string_view::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        std::string_view part = name.substr(start, end - start);
        // Windows drops trailing dots and spaces, so ".. " and "..." name the parent too.
        while (!part.empty() && (part.back() == ' ' || part.back() == '.') && part.size() > 2 &&
               part.find_first_not_of(". ") == std::string_view::npos)
            part.remove_suffix(1);
        if (part == "..") return false;
        start = end + 1;
    }
    return true;
}
