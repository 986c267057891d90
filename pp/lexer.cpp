// Tokenizing of RUVO text for the preprocessor (see lexer.h for the rules it keeps).
#include "pp/lexer.h"

#include <algorithm>
#include <array>

#include "pp/sjis.h"

namespace ruvopp {

namespace {

bool is_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool is_alpha(unsigned char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}
bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Operators of more than one character, longest first so that the first match is the longest.
constexpr std::array<std::string_view, 29> kOperators = {
    ">>>=", "===", "!==", ">>>", "**=", "<<=", ">>=", "==", "!=",  ">=",
    "<=",   "=~",  "!~",  "&&",  "||",  "+=",  "-=",  "*=", "/=",  "%=",
    "<<",   ">>",  "&=",  "|=",  "^=",  "++",  "--",  "**", "\\=",
};

bool keyword_before_operand(std::string_view w) {
    return w == "return" || w == "case" || w == "else" || w == "do";
}

} // namespace

bool ident_start(unsigned char c) {
    return is_alpha(c) || c == '_' || c >= 0x80;
}
bool ident_char(unsigned char c) {
    return ident_start(c) || is_digit(c);
}

// End of a logical line starting at [from]: a backslash directly before a newline continues
// it.  With [keep_newline] the final newline is part of the line.
size_t Lexer::scan_logical_line(size_t from, bool keep_newline) const {
    const size_t n = m_text.size();
    size_t k = from;
    while (k < n) {
        char c = m_text[k];
        if (c == '\n') return keep_newline ? k + 1 : k;
        if (c == '\\' && k + 1 < n && m_text[k + 1] == '\n') {
            k += 2;
        } else if (c == '\\' && k + 2 < n && m_text[k + 1] == '\r' && m_text[k + 2] == '\n') {
            k += 3;
        } else {
            k += sjis_char_len(m_text, k);
        }
    }
    return n;
}

// A "..." or '...' literal from the opening quote at [from]; ends after the closing quote,
// or before the newline (or at the end) that breaks it off.
size_t Lexer::scan_string(size_t from, char quote) const {
    const size_t n = m_text.size();
    size_t k = from + 1;
    while (k < n) {
        unsigned char c = static_cast<unsigned char>(m_text[k]);
        if (c == '\n') return k;
        if (c == static_cast<unsigned char>(quote)) return k + 1;
        if (c == '\\' && k + 1 < n) {
            unsigned char e = static_cast<unsigned char>(m_text[k + 1]);
            // In a double-quoted string a backslash takes the next ASCII character with it;
            // in a single-quoted one only a quote is escaped.  A newline is never taken.
            bool takes = quote == '"' ? (e < 0x80 && e != '\n') : e == '\'';
            k += takes ? 2 : 1;
            continue;
        }
        k += sjis_char_len(m_text, k);
    }
    return n;
}

// Where the body of a here-string begins when three double quotes at [from] open one (three
// quotes, optional blanks, a newline), else 0.
size_t Lexer::here_string_body(size_t from) const {
    if (m_text.compare(from, 3, "\"\"\"") != 0) return 0;
    size_t k = from + 3;
    while (k < m_text.size() && is_blank(m_text[k])) ++k;
    if (k < m_text.size() && m_text[k] == '\r') ++k;
    if (k < m_text.size() && m_text[k] == '\n') return k + 1;
    return 0;
}

// A here-string closes with three double quotes at the very start of a line.
size_t Lexer::scan_here_string(size_t body) const {
    size_t p = body;
    while (p < m_text.size()) {
        if (m_text.compare(p, 3, "\"\"\"") == 0) return p + 3;
        p = m_text.find('\n', p);
        if (p == std::string_view::npos) break;
        ++p;
    }
    return m_text.size();
}

// A regular-expression literal from the '/' at [from]: the end after its flags, or 0 when the
// line ends first.  "\/" is an escaped slash; any other backslash stands alone.
size_t Lexer::scan_regex(size_t from) const {
    const size_t n = m_text.size();
    size_t k = from + 1;
    while (k < n) {
        char c = m_text[k];
        if (c == '\n') return 0;
        if (c == '/') {
            ++k;
            while (k < n && (m_text[k] == 'i' || m_text[k] == 'm')) ++k;
            return k;
        }
        if (c == '\\') {
            k += (k + 1 < n && m_text[k + 1] == '/') ? 2 : 1;
            continue;
        }
        k += sjis_char_len(m_text, k);
    }
    return 0;
}

// A preprocessing number: digits, letters, '_' and '.', and a sign after the exponent letter
// of a decimal number (in 0xE+1 the '+' is an operator).
size_t Lexer::scan_number(size_t from) const {
    const size_t n = m_text.size();
    const bool hex = m_text.compare(from, 2, "0x") == 0;
    size_t k = from;
    while (k < n) {
        unsigned char c = static_cast<unsigned char>(m_text[k]);
        if (!hex && (c == 'e' || c == 'E') && k + 1 < n &&
            (m_text[k + 1] == '+' || m_text[k + 1] == '-')) {
            k += 2;
        } else if (is_alpha(c) || is_digit(c) || c == '_' || c == '.') {
            ++k;
        } else {
            break;
        }
    }
    return k;
}

size_t Lexer::scan_ident(size_t from) const {
    size_t k = from;
    while (k < m_text.size() && ident_char(static_cast<unsigned char>(m_text[k])))
        k += sjis_char_len(m_text, k);
    return k;
}

// $1, $&, $', $+, $_, $`, $name; a lone '$' is one character.
size_t Lexer::scan_dollar(size_t from) const {
    size_t k = from + 1;
    if (k >= m_text.size()) return k;
    unsigned char c = static_cast<unsigned char>(m_text[k]);
    if (is_digit(c)) {
        while (k < m_text.size() && is_digit(static_cast<unsigned char>(m_text[k]))) ++k;
        return k;
    }
    if (ident_start(c)) return scan_ident(k);
    if (c == '&' || c == '\'' || c == '+' || c == '`') return k + 1;
    return k;
}

size_t Lexer::scan_operator(size_t from) const {
    std::string_view rest = m_text.substr(from);
    if (m_mode == Mode::Directive) {
        if (rest.starts_with("##")) return from + 2;
        if (rest.starts_with("...")) return from + 3;
    }
    for (std::string_view op : kOperators)
        if (rest.starts_with(op)) return from + op.size();
    return from + sjis_char_len(m_text, from);
}

void Lexer::update_operand_state(const Token& t) {
    switch (t.kind) {
    case Tok::Ident: m_operand_expected = keyword_before_operand(t.text); break;
    case Tok::Number:
    case Tok::String:
    case Tok::Regex: m_operand_expected = false; break;
    case Tok::Punct:
        if (t.text == "++" || t.text == "--") break;
        m_operand_expected = !(t.is(')') || t.is(']') || t.is('}'));
        break;
    default: break;
    }
}

Token Lexer::next() {
    Token t;
    t.line = m_line;
    const size_t n = m_text.size();
    if (m_pos >= n) {
        t.kind = Tok::End;
        return t;
    }
    const size_t from = m_pos;
    size_t end = from + 1;
    const unsigned char c = static_cast<unsigned char>(m_text[from]);
    const unsigned char c1 = from + 1 < n ? static_cast<unsigned char>(m_text[from + 1]) : 0;
    bool line_start = m_line_start;
    m_line_start = false;

    size_t hash = from;
    if (line_start && m_mode == Mode::File) {
        while (hash < n && is_blank(m_text[hash])) ++hash;
    }
    if (line_start && m_mode == Mode::File && hash < n && m_text[hash] == '#') {
        t.kind = Tok::Directive;
        end = scan_logical_line(hash, true);
        m_line_start = true;
    } else if (is_blank(static_cast<char>(c))) {
        t.kind = Tok::Space;
        while (end < n && is_blank(m_text[end])) ++end;
        m_line_start = line_start; // blanks do not end the start of a line
    } else if (c == '\n') {
        t.kind = Tok::Newline;
        m_line_start = true;
    } else if (c == '/' && c1 == '*') {
        t.kind = Tok::Comment;
        size_t close = m_text.find("*/", from + 2);
        end = close == std::string_view::npos ? n : close + 2;
    } else if (c == '/' && c1 == '/') {
        t.kind = Tok::Comment;
        size_t nl = m_text.find('\n', from);
        end = nl == std::string_view::npos ? n : nl;
    } else if (c == '/' && m_regex && m_operand_expected && (end = scan_regex(from)) != 0) {
        t.kind = Tok::Regex;
    } else if (c == '"' && here_string_body(from) != 0) {
        t.kind = Tok::String;
        end = scan_here_string(here_string_body(from));
    } else if (c == '"' || c == '\'') {
        t.kind = Tok::String;
        end = scan_string(from, static_cast<char>(c));
    } else if (c == '#' && m_mode == Mode::File) {
        t.kind = Tok::Comment;
        end = scan_logical_line(from, false);
    } else if (c == '$' && end < n && scan_dollar(from) > from + 1) {
        t.kind = Tok::Ident;
        end = scan_dollar(from);
    } else if (c == '@' && ident_start(c1)) {
        t.kind = Tok::Ident;
        end = scan_ident(from + 1);
    } else if (is_digit(c) || (c == '.' && is_digit(c1))) {
        t.kind = Tok::Number;
        end = scan_number(from);
    } else if (ident_start(c)) {
        t.kind = Tok::Ident;
        end = scan_ident(from);
    } else {
        t.kind = Tok::Punct;
        end = scan_operator(from);
    }
    t.text = m_text.substr(from, end - from);
    m_line += static_cast<uint32_t>(std::count(t.text.begin(), t.text.end(), '\n'));
    m_pos = end;
    update_operand_state(t);
    return t;
}

std::string join_continued_lines(std::string_view d) {
    std::string out;
    out.reserve(d.size());
    size_t k = 0;
    while (k < d.size()) {
        char c = d[k];
        if (c == '\\' && k + 1 < d.size() && d[k + 1] == '\n') {
            k += 2;
        } else if (c == '\\' && k + 2 < d.size() && d[k + 1] == '\r' && d[k + 2] == '\n') {
            k += 3;
        } else if (c == '\n') {
            break;
        } else {
            size_t len = sjis_char_len(d, k);
            out.append(d.substr(k, len));
            k += len;
        }
    }
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return out;
}

} // namespace ruvopp
