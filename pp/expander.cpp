// Macro expansion with hide sets (see expander.h).
#include "pp/expander.h"

#include <algorithm>

#include "pp/sjis.h"

namespace ruvopp {

namespace {

void trim(TokenList& arg) {
    while (!arg.empty() && arg.back().blank()) arg.pop_back();
    auto first = std::find_if(arg.begin(), arg.end(), [](const Token& t) { return !t.blank(); });
    arg.erase(arg.begin(), first);
}

bool boundary(const Token& t) {
    return t.kind == Tok::End || t.kind == Tok::Directive;
}

} // namespace

std::string_view Expander::keep(std::string&& s) {
    m_arena_bytes += s.size();
    m_arena.push_back(std::move(s));
    return m_arena.back();
}

void Expander::clear_arena() {
    m_arena.clear();
    m_arena_bytes = 0;
}

bool Expander::too_large() {
    m_reporter.error(m_line, "macro expansion too large");
    return true;
}

bool Expander::expand_at(const Token& t, TokenInput& in, int depth) {
    const Macro* m = m_macros.find(t.text);
    if (!m || HideSets::contains(t.hide, m->id)) return false;
    m_line = t.line;
    std::vector<TokenList> args;
    HideSet hs;
    if (m->function_like) {
        // Look for the argument list behind blanks and newlines; give them back when there
        // is none, so that the name stays a plain identifier.
        TokenList skipped;
        Token p;
        bool got = in.next(p);
        while (got && p.blank()) {
            skipped.push_back(p);
            got = in.next(p);
        }
        if (!got || !p.is('(')) {
            if (got) in.unget(p);
            for (auto it = skipped.rbegin(); it != skipped.rend(); ++it) in.unget(*it);
            return false;
        }
        Token rparen;
        if (!collect_args(*m, t, in, args, rparen)) return true;
        hs = m_hide.add(m_hide.intersect(t.hide, rparen.hide), m->id);
    } else {
        hs = m_hide.add(t.hide, m->id);
    }
    if (++m_expansions > m_limits.max_expansions) return too_large();
    // The replacement is built right on the stack and then turned round, so that its first
    // token is the next one taken.
    const size_t base = in.stack.size();
    substitute(*m, args, hs, t.line, in.stack, depth);
    std::reverse(in.stack.begin() + static_cast<ptrdiff_t>(base), in.stack.end());
    if (in.stack.size() > m_limits.max_tokens) return too_large();
    return true;
}

// Arguments up to the matching ')'; newlines in them count as blanks.  False (with the error
// reported) when the list is not closed before a directive or the end of the input, or when
// the count does not fit the macro.
bool Expander::collect_args(const Macro& m, const Token& name, TokenInput& in,
                            std::vector<TokenList>& args, Token& rparen) {
    args.emplace_back();
    int nesting = 0;
    size_t total = 0;
    Token p;
    while (true) {
        if (!in.next(p) || boundary(p)) {
            if (boundary(p)) in.unget(p);
            m_reporter.error(name.line,
                             "unterminated argument list invoking macro \"" + m.name + "\"");
            return false;
        }
        if (p.is('(')) {
            ++nesting;
        } else if (p.is(')')) {
            if (nesting == 0) break;
            --nesting;
        } else if (p.is(',') && nesting == 0 &&
                   !(m.variadic && static_cast<int>(args.size()) == m.params)) {
            args.emplace_back();
            continue;
        }
        if (p.kind == Tok::Newline) {
            p.kind = Tok::Space;
            p.text = " ";
        }
        if (++total > m_limits.max_tokens) {
            too_large();
            return false;
        }
        args.back().push_back(p);
    }
    rparen = p;
    for (TokenList& a : args) trim(a);
    if (m.params == 0 && args.size() == 1 && args[0].empty()) args.clear();
    // A variadic macro may be called without any variable arguments.
    if (m.variadic && static_cast<int>(args.size()) == m.params - 1) args.emplace_back();
    int given = static_cast<int>(args.size());
    if (given != m.params) {
        std::string msg = "macro \"" + m.name + "\" ";
        if (given < m.params)
            msg += "requires " + decimal(m.params) + " arguments, but only " + decimal(given) +
                   " given";
        else
            msg += "passed " + decimal(given) + " arguments, but takes just " + decimal(m.params);
        m_reporter.error(name.line, msg);
        return false;
    }
    return true;
}

// Appends the replacement of [m] to [out] (what [out] held before is left alone).
void Expander::substitute(const Macro& m, const std::vector<TokenList>& args, HideSet hs,
                          uint32_t line, TokenList& out, int depth) {
    const size_t base = out.size();
    std::vector<TokenList> expanded(args.size());
    std::vector<bool> done(args.size(), false);
    const TokenList& body = m.body;
    for (size_t i = 0; i < body.size() && !m_reporter.failed(); ++i) {
        const Token& b = body[i];
        if (b.aux == Token::kStringize) {
            out.push_back(stringize(args[static_cast<size_t>(body[++i].aux)]));
        } else if (b.aux == Token::kPaste) {
            const Token& r = body[++i];
            TokenList rhs;
            if (r.aux >= 0) {
                rhs = args[static_cast<size_t>(r.aux)];
            } else if (r.aux == Token::kStringize) {
                rhs.push_back(stringize(args[static_cast<size_t>(body[++i].aux)]));
            } else {
                rhs.push_back(r);
            }
            paste(out, base, rhs);
        } else if (b.aux >= 0) {
            const size_t a = static_cast<size_t>(b.aux);
            if (i + 1 < body.size() && body[i + 1].aux == Token::kPaste) {
                // The left operand of ## is the argument as written; an empty one leaves a
                // placemarker so that "x ## y" with an empty x gives y.
                if (args[a].empty()) {
                    Token pm;
                    pm.kind = Tok::Placemarker;
                    out.push_back(pm);
                } else {
                    out.insert(out.end(), args[a].begin(), args[a].end());
                }
            } else {
                if (!done[a]) {
                    if (depth + 1 > m_limits.max_depth) {
                        m_reporter.error(line, "macro expansion nested too deeply");
                        return;
                    }
                    expand_list(args[a], expanded[a], depth + 1);
                    done[a] = true;
                }
                out.insert(out.end(), expanded[a].begin(), expanded[a].end());
            }
        } else {
            out.push_back(b);
        }
        if (out.size() - base > m_limits.max_tokens) {
            too_large();
            return;
        }
    }
    auto first = out.begin() + static_cast<ptrdiff_t>(base);
    out.erase(
        std::remove_if(first, out.end(), [](const Token& t) { return t.kind == Tok::Placemarker; }),
        out.end());
    for (auto it = out.begin() + static_cast<ptrdiff_t>(base); it != out.end(); ++it) {
        it->hide = m_hide.unite(it->hide, hs);
        it->line = line;
        it->aux = -1;
    }
}

// The argument as a double-quoted string literal whose value is the argument's text: blanks
// between tokens become one space, and every backslash, double quote and newline is escaped
// (a Shift_JIS trail byte 0x5C is part of its character and is not).
Token Expander::stringize(const TokenList& arg) {
    std::string s = "\"";
    bool blank = false;
    for (const Token& t : arg) {
        if (t.blank()) {
            blank = true;
            continue;
        }
        if (blank && s.size() > 1) s += ' ';
        blank = false;
        std::string_view text = t.text;
        for (size_t k = 0; k < text.size();) {
            size_t len = sjis_char_len(text, k);
            char c = text[k];
            if (len == 2) {
                s.append(text.substr(k, 2));
            } else if (c == '\\' || c == '"') {
                s += '\\';
                s += c;
            } else if (c == '\n') {
                s += "\\n";
            } else if (c == '\r') {
                s += "\\r";
            } else if (c == '\0') {
                s += "\\0";
            } else {
                s += c;
            }
            k += len;
        }
    }
    s += '"';
    Token t;
    t.kind = Tok::String;
    t.text = keep(std::move(s));
    if (m_arena_bytes > m_limits.max_arena_bytes) too_large();
    return t;
}

// Joins the last token of [out] (after [base]) with the first of [rhs] and lexes the spelling
// again.
void Expander::paste(TokenList& out, size_t base, const TokenList& rhs) {
    if (rhs.empty()) return;
    if (out.size() == base || out.back().kind == Tok::Placemarker) {
        if (out.size() > base) out.pop_back();
        out.insert(out.end(), rhs.begin(), rhs.end());
        return;
    }
    Token left = out.back();
    out.pop_back();
    std::string joined(left.text);
    joined += rhs.front().text;
    std::string_view text = keep(std::move(joined));
    if (m_arena_bytes > m_limits.max_arena_bytes) {
        too_large();
        return;
    }
    HideSet hs = m_hide.unite(left.hide, rhs.front().hide);
    Lexer lx(text, Lexer::Mode::Directive);
    for (Token t = lx.next(); t.kind != Tok::End; t = lx.next()) {
        t.hide = hs;
        out.push_back(t);
    }
    out.insert(out.end(), rhs.begin() + 1, rhs.end());
}

// Copies the blanks, '(' and name after "defined" unexpanded.
void Expander::copy_defined_operand(TokenInput& in, TokenList& out) {
    Token t;
    while (in.next(t)) {
        out.push_back(t);
        if (t.kind == Tok::Ident) return;
        if (!t.blank() && !t.is('(')) return;
    }
}

void Expander::expand_list(const TokenList& list, TokenList& out, int depth, bool in_condition) {
    TokenInput in;
    in.stack.assign(list.rbegin(), list.rend());
    Token t;
    while (!m_reporter.failed() && in.next(t)) {
        if (in_condition && t.kind == Tok::Ident && t.text == "defined") {
            out.push_back(t);
            copy_defined_operand(in, out);
            continue;
        }
        if (t.kind == Tok::Ident && expand_at(t, in, depth)) continue;
        out.push_back(t);
        if (out.size() > m_limits.max_tokens) {
            too_large();
            return;
        }
    }
}

} // namespace ruvopp
