#include "json_text.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace cgr {

namespace {

constexpr size_t kMaxNesting = 100;

// Walks the text for the parser and remembers how far it has read, which is how the
// handler below learns where each value lies.
struct CountingIterator {
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    const char* at = nullptr;
    const char* begin = nullptr;
    size_t* read = nullptr;

    reference operator*() const { return *at; }
    CountingIterator& operator++() {
        ++at;
        *read = std::max(*read, size_t(at - begin));
        return *this;
    }
    CountingIterator operator++(int) {
        CountingIterator old = *this;
        ++*this;
        return old;
    }
    bool operator==(const CountingIterator& o) const { return at == o.at; }
};

// Line numbers of offsets that mostly move forward: the newlines are counted from the last
// offset asked, not from the start each time, so a whole text costs one pass.
class LineCounter {
public:
    explicit LineCounter(std::string_view text) : text_(text) {}

    size_t LineAt(size_t offset) {
        offset = std::min(offset, text_.size());
        // The parser may have read one character past the token; step back over blanks.
        while (offset > 0 && std::string_view(" \t\r\n,").find(text_[offset - 1]) != std::string_view::npos) --offset;
        for (; at_ < offset; ++at_) line_ += text_[at_] == '\n';
        for (; at_ > offset; --at_) line_ -= text_[at_ - 1] == '\n';
        return line_;
    }

private:
    std::string_view text_;
    size_t at_ = 0;
    size_t line_ = 1;
};

std::string EscapePointerToken(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '~') out += "~0";
        else if (c == '/') out += "~1";
        else out += c;
    }
    return out;
}

// Builds the document with the library's own handler and notes the line of each value.
class LineSax {
public:
    using Dom = nlohmann::detail::json_sax_dom_parser<Json>;

    LineSax(std::string_view text, ParsedText& out, const size_t& read)
        : lines_(text), out_(out), read_(read), dom_(out.doc, false) {}

    bool null() { return Scalar([&] { return dom_.null(); }); }
    bool boolean(bool v) { return Scalar([&] { return dom_.boolean(v); }); }
    bool number_integer(Json::number_integer_t v) { return Scalar([&] { return dom_.number_integer(v); }); }
    bool number_unsigned(Json::number_unsigned_t v) { return Scalar([&] { return dom_.number_unsigned(v); }); }
    bool number_float(Json::number_float_t v, const Json::string_t& s) {
        return Scalar([&] { return dom_.number_float(v, s); });
    }
    bool string(Json::string_t& v) { return Scalar([&] { return dom_.string(v); }); }
    bool binary(Json::binary_t& v) { return Scalar([&] { return dom_.binary(v); }); }
    bool start_object(std::size_t n) {
        if (!Enter()) return false;
        Note();
        frames_.push_back({false, 0, {}});
        return dom_.start_object(n);
    }
    bool key(Json::string_t& k) {
        frames_.back().key = k;
        return dom_.key(k);
    }
    bool end_object() {
        frames_.pop_back();
        Advance();
        return dom_.end_object();
    }
    bool start_array(std::size_t n) {
        if (!Enter()) return false;
        Note();
        frames_.push_back({true, 0, {}});
        return dom_.start_array(n);
    }
    bool end_array() {
        frames_.pop_back();
        Advance();
        return dom_.end_array();
    }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& ex) {
        std::string what = ex.what();
        // The library's text reads "[json...] parse error at line L, column C: reason".
        size_t colon = what.find(": ");
        errorMessage_ = colon == std::string::npos ? what : what.substr(colon + 2);
        errorLine_ = lines_.LineAt(position);
        return false;
    }

    size_t ErrorLine() const { return errorLine_; }
    const std::string& ErrorMessage() const { return errorMessage_; }

private:
    struct Frame {
        bool array;
        size_t index;
        std::string key;
    };

    // A project nests a few levels; text nested deeper is refused before its pointers (one
    // per value, each as long as the nesting is deep) could take memory by the gigabyte.
    bool Enter() {
        if (frames_.size() < kMaxNesting) return true;
        errorMessage_ = "nested deeper than " + std::to_string(kMaxNesting) + " levels";
        errorLine_ = lines_.LineAt(read_);
        return false;
    }

    template <typename F>
    bool Scalar(F forward) {
        Note();
        bool ok = forward();
        Advance();
        return ok;
    }
    void Note() {
        std::string pointer;
        for (const Frame& f : frames_) pointer += "/" + (f.array ? std::to_string(f.index) : EscapePointerToken(f.key));
        out_.lines.emplace(std::move(pointer), lines_.LineAt(read_));
    }
    void Advance() {
        if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
    }

    LineCounter lines_;
    ParsedText& out_;
    const size_t& read_;
    Dom dom_;
    std::vector<Frame> frames_;
    size_t errorLine_ = 0;
    std::string errorMessage_;
};

}  // namespace

size_t ParsedText::LineOf(std::string pointer) const {
    for (;;) {
        auto it = lines.find(pointer);
        if (it != lines.end()) return it->second;
        if (pointer.empty()) return 1;
        pointer.erase(pointer.rfind('/'));
    }
}

ParsedText ParseText(std::string_view text) {
    ParsedText out;
    size_t read = 0;
    LineSax sax(text, out, read);
    CountingIterator first{text.data(), text.data(), &read};
    CountingIterator last{text.data() + text.size(), text.data(), &read};
    // Comments are allowed, so that a project written by hand can say what it does.
    if (!Json::sax_parse(first, last, &sax, nlohmann::json::input_format_t::json, true, true)) {
        throw std::runtime_error("line " + std::to_string(sax.ErrorLine()) + ": " + sax.ErrorMessage());
    }
    return out;
}

}  // namespace cgr
