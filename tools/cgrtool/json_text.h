// Reading cgrtool's text: JSON parsed with the line of every value kept, so that an error
// found while building a file names the line it stems from.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

#include <nlohmann/json.hpp>

namespace cgr {

using Json = nlohmann::ordered_json;

// A fault in the text: where (a JSON pointer into the document) and what.
class TextError : public std::runtime_error {
public:
    TextError(std::string pointer, const std::string& message)
        : std::runtime_error(message), pointer_(std::move(pointer)) {}
    const std::string& Pointer() const { return pointer_; }

private:
    std::string pointer_;
};

struct ParsedText {
    Json doc;
    std::unordered_map<std::string, size_t> lines;  // JSON pointer -> line of the value

    // The line of the value at `pointer`, or of the nearest enclosing value the text has.
    size_t LineOf(std::string pointer) const;
};

// Parses `text` (comments allowed); a syntax error throws std::runtime_error "line N: ...".
ParsedText ParseText(std::string_view text);

}  // namespace cgr
