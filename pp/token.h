// Preprocessing tokens.  A token is a kind, a view of its spelling and the bookkeeping the
// macro expander needs.  The spelling always points into storage that outlives the token: the
// text of a source file, the definition text of a macro (kept until the run ends) or the
// expander's arena of pasted and stringized spellings.  Tokens are small values, copied freely.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace ruvopp {

enum class Tok : uint8_t {
    Space,       // blanks and tabs
    Newline,     // "\n" or "\r\n"
    Comment,     // /* */, // to the end of the line, or a '#' in the middle of a line
    Ident,       // identifier, keyword, $name or @constant
    Number,      // numeric literal
    String,      // "..." , '...' or a here-string
    Regex,       // /body/flags
    Punct,       // operator or any other single character
    Directive,   // a whole '#' line at the start of a line, continuations and newline included
    Placemarker, // stands for an empty macro argument next to ##; never leaves the expander
    End,         // end of the token source
};

// A hide set: the sorted ids of the macros a token must not be expanded by again (nullptr
// is the empty set).  Sets are interned by HideSets, so equal sets share one pointer.
using HideSet = const std::vector<int>*;

struct Token {
    std::string_view text;
    HideSet hide = nullptr;
    uint32_t line = 0; // physical line where the token starts
    Tok kind = Tok::End;
    // In a macro body: the parameter index (>= 0), or one of the operator marks below.
    int16_t aux = -1;

    static constexpr int16_t kStringize = -2; // '#' before a parameter
    static constexpr int16_t kPaste = -3;     // '##'

    bool is(char c) const { return kind == Tok::Punct && text.size() == 1 && text[0] == c; }
    bool blank() const {
        return kind == Tok::Space || kind == Tok::Newline || kind == Tok::Comment;
    }
};

using TokenList = std::vector<Token>;

} // namespace ruvopp
