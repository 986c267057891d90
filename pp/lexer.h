// The RUVO-aware tokenizer.  It cuts script text into preprocessing tokens so that nothing
// inside a string, here-string, regular-expression literal or comment is ever seen as a
// directive, a macro name or a quote: each literal and comment comes back as one token whose
// spelling is exactly the source text.  Shift_JIS pairs are stepped over whole, so a trail
// byte 0x5C never escapes anything.
//
// In File mode a '#' line at the start of a line comes back whole as a Directive token; a '#'
// later in a line is, as for the interpreter's scanner, the start of a skipped rest of line
// (a Comment token).  In Directive mode (macro bodies, #if expressions, include operands) '#'
// and '##' are operators and there are no directives.
//
// Division or regular expression.  A '/' that does not open a comment starts a regular
// expression literal where an operand is expected: at the start of the text, after an
// operator or punctuation character such as ( [ { , ; : ? = ! & | ^ ~ + - * % < >, and after
// the keywords return, case, else and do.  After an identifier, a number, a string, a
// regular expression or one of ) ] } it is division, and a postfix ++ or -- keeps that state.
// Comments and white space do not change it.  A candidate regular expression that meets the
// end of the line before its closing '/' is taken as a plain '/' instead, so that a misjudged
// division cannot swallow the rest of the file.  The decision is made on the source text,
// before any macro expansion.
#pragma once

#include <string>
#include <string_view>

#include "pp/token.h"

namespace ruvopp {

class Lexer {
public:
    enum class Mode { File, Directive };

    Lexer(std::string_view text, Mode mode, uint32_t first_line = 1)
        : m_text(text), m_mode(mode), m_line(first_line) {}

    // The next token; Tok::End (empty spelling) once the text is used up.
    Token next();

    // #if expressions have no regular expressions: every '/' there is division.
    void disable_regex() { m_regex = false; }

    // Physical line of the next character.
    uint32_t line() const { return m_line; }

private:
    size_t scan_logical_line(size_t from, bool keep_newline) const;
    size_t scan_string(size_t from, char quote) const;
    size_t scan_here_string(size_t body) const;
    size_t scan_regex(size_t from) const;
    size_t scan_number(size_t from) const;
    size_t scan_ident(size_t from) const;
    size_t scan_operator(size_t from) const;
    size_t scan_dollar(size_t from) const;
    size_t here_string_body(size_t from) const;
    void update_operand_state(const Token& t);

    std::string_view m_text;
    Mode m_mode;
    size_t m_pos = 0;
    uint32_t m_line;
    bool m_line_start = true;
    bool m_operand_expected = true;
    bool m_regex = true;
};

// The logical line of a directive without its backslash-newline continuations and without
// the final newline (and a carriage return before it).
std::string join_continued_lines(std::string_view directive);

// Whether [c] may start an identifier, and continue one (bytes from 0x80 count as letters).
bool ident_start(unsigned char c);
bool ident_char(unsigned char c);

} // namespace ruvopp
