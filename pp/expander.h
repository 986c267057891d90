// Macro expansion.  Tokens come from a TokenInput: a stack of pending tokens (the next one at
// the back) in front of an optional lexer.  Expanding a macro pushes its replacement back onto
// the stack, so the replacement is rescanned together with the rest of the input, which is how
// a function-like macro name at the end of a replacement finds its arguments after it.
//
// The rule that stops recursion is the hide-set rule: every token of a replacement carries the
// hide set of the macro name (for a function-like macro: the names hidden at both the name and
// the closing parenthesis) plus that macro, and a name is never expanded from a token whose
// hide set holds it.  Arguments are fully expanded on their own before substitution, except
// next to # and ##.
//
// Nothing here recurses on the native stack per token: only expanding an argument that itself
// holds macro calls nests, and that nesting is capped.  The work, the number of pending tokens
// and the bytes made by # and ## are capped too, so exponential definitions end in an error.
#pragma once

#include <deque>
#include <string>

#include "pp/diag.h"
#include "pp/hideset.h"
#include "pp/lexer.h"
#include "pp/macro.h"

namespace ruvopp {

struct ExpandLimits {
    int max_depth = 200;                        // nested argument expansions
    size_t max_tokens = size_t{1} << 20;        // pending tokens, or tokens of one list
    size_t max_expansions = size_t{1} << 25;    // macro expansions in one run
    size_t max_arena_bytes = size_t{256} << 20; // spellings made by # and ##, between clears
};

struct TokenInput {
    TokenList stack;
    Lexer* lexer = nullptr;

    bool next(Token& t) {
        if (!stack.empty()) {
            t = stack.back();
            stack.pop_back();
            return true;
        }
        if (!lexer) return false;
        t = lexer->next();
        return true;
    }
    void unget(const Token& t) { stack.push_back(t); }
};

class Expander {
public:
    Expander(MacroTable& macros, Reporter& reporter, const ExpandLimits& limits)
        : m_macros(macros), m_reporter(reporter), m_limits(limits) {}

    // [t], an identifier just taken from [in], is expanded when it names a macro that is not
    // hidden from it (and, for a function-like macro, is followed by an argument list): the
    // replacement goes back onto [in] and the result is true.  False leaves [in] as it was.
    bool expand_at(const Token& t, TokenInput& in, int depth = 0);

    // Expands every macro in [in] (nothing is read beyond it) and appends the result to [out].
    // With [in_condition] (an #if line) the operand of "defined" is never expanded, also
    // where "defined" comes out of a macro.
    void expand_list(const TokenList& in, TokenList& out, int depth = 0, bool in_condition = false);

    // Frees the spellings made by # and ##; only when no token may still point at them.
    void clear_arena();

private:
    bool collect_args(const Macro& m, const Token& name, TokenInput& in,
                      std::vector<TokenList>& args, Token& rparen);
    void substitute(const Macro& m, const std::vector<TokenList>& args, HideSet hs, uint32_t line,
                    TokenList& out, int depth);
    Token stringize(const TokenList& arg);
    void paste(TokenList& out, size_t base, const TokenList& rhs);
    std::string_view keep(std::string&& s);
    bool too_large();
    void copy_defined_operand(TokenInput& in, TokenList& out);

    MacroTable& m_macros;
    Reporter& m_reporter;
    ExpandLimits m_limits;
    HideSets m_hide;
    std::deque<std::string> m_arena;
    size_t m_arena_bytes = 0;
    size_t m_expansions = 0;
    uint32_t m_line = 0; // line of the macro name being expanded, for errors
};

} // namespace ruvopp
