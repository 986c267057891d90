// The tokens of the small declaration languages (pack templates, native function signatures).
//
// White space and commas separate tokens and are otherwise dropped.  A token is a name (a
// letter, "_" or "$", then letters, digits, "_" and "$"), a number (a digit, then digits,
// hex digits, "x", "X", "b", "B" and "_"), or any other single byte, NUL included.  Letters
// are the ASCII ones: no locale is involved.
#pragma once

#include <string_view>

namespace ruvo {

inline bool is_name_start(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}
inline bool is_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}
inline bool is_name_char(unsigned char c) {
    return is_name_start(c) || is_digit(c);
}
inline bool is_number_char(unsigned char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == 'x' ||
           c == 'X' || c == 'b' || c == 'B' || c == '_';
}
inline bool is_separator(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == ',';
}

class TemplateTokens {
public:
    explicit TemplateTokens(std::string_view s) : s_(s) {}

    // The next token; empty at the end.
    std::string_view next() {
        while (pos_ < s_.size() && is_separator(s_[pos_])) ++pos_;
        if (pos_ >= s_.size()) return {};
        size_t b = pos_;
        unsigned char c = s_[pos_++];
        if (is_name_start(c))
            while (pos_ < s_.size() && is_name_char(s_[pos_])) ++pos_;
        else if (is_digit(c))
            while (pos_ < s_.size() && is_number_char(s_[pos_])) ++pos_;
        return s_.substr(b, pos_ - b);
    }
    std::string_view peek() {
        size_t saved = pos_;
        std::string_view t = next();
        pos_ = saved;
        return t;
    }

private:
    std::string_view s_;
    size_t pos_ = 0;
};

} // namespace ruvo
