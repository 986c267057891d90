// Macro definitions (see macro.h).
#include "pp/macro.h"

#include <algorithm>

#include "pp/lexer.h"

namespace ruvopp {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

size_t skip_blanks(std::string_view s, size_t i) {
    while (i < s.size() && is_blank(s[i])) ++i;
    return i;
}

size_t ident_end(std::string_view s, size_t i) {
    Lexer lx(s.substr(i), Lexer::Mode::Directive);
    Token t = lx.next();
    return t.kind == Tok::Ident ? i + t.text.size() : i;
}

} // namespace

const Macro* MacroTable::find(std::string_view name) const {
    auto it = m_names.find(name);
    return it == m_names.end() ? nullptr : it->second.current;
}

std::string_view MacroTable::macro_name(std::string_view text, std::string& error) {
    size_t i = skip_blanks(text, 0);
    if (i == text.size()) {
        error = "no macro name given";
        return {};
    }
    size_t e = ident_end(text, i);
    // $names and @constants are identifiers of the language, but not macro names.
    if (e == i || !ident_start(static_cast<unsigned char>(text[i]))) {
        error = "macro names must be identifiers";
        return {};
    }
    std::string_view name = text.substr(i, e - i);
    if (name == "defined") {
        error = "\"defined\" cannot be used as a macro name";
        return {};
    }
    return name;
}

void MacroTable::undef(std::string_view name) {
    auto it = m_names.find(name);
    if (it != m_names.end()) it->second.current = nullptr;
}

bool MacroTable::define(std::string_view definition, std::string& error) {
    auto m = std::make_unique<Macro>();
    m->text = definition;
    std::string_view text = m->text;
    std::string_view name = macro_name(text, error);
    if (name.empty()) return false;
    m->name = name;
    size_t pos = static_cast<size_t>(name.data() - text.data()) + name.size();
    std::vector<std::string_view> names;
    // Only a parenthesis directly after the name makes a function-like macro.
    if (pos < text.size() && text[pos] == '(') {
        m->function_like = true;
        if (!parse_params(*m, text, pos, names, error)) return false;
    }
    if (!prepare_body(*m, text.substr(pos), names, error)) return false;
    auto it = m_names.find(m->name);
    if (it == m_names.end())
        it = m_names.emplace(m->name, Entry{static_cast<int>(m_names.size()), nullptr}).first;
    m->id = it->second.id;
    it->second.current = m.get();
    m_all.push_back(std::move(m));
    return true;
}

// Parameter list from the '(' at [pos]; leaves [pos] after the ')'.
bool MacroTable::parse_params(Macro& m, std::string_view text, size_t& pos,
                              std::vector<std::string_view>& names, std::string& error) {
    ++pos;
    pos = skip_blanks(text, pos);
    if (pos < text.size() && text[pos] == ')') {
        ++pos;
        return true;
    }
    while (true) {
        pos = skip_blanks(text, pos);
        if (text.compare(pos, 3, "...") == 0) {
            names.push_back("__VA_ARGS__");
            m.variadic = true;
            pos = skip_blanks(text, pos + 3);
            if (pos < text.size() && text[pos] == ')') break;
            error = "missing ')' in macro parameter list";
            return false;
        }
        size_t e = ident_end(text, pos);
        if (e == pos || !ident_start(static_cast<unsigned char>(text[pos]))) {
            error = "expected parameter name in macro parameter list";
            return false;
        }
        std::string_view p = text.substr(pos, e - pos);
        if (std::find(names.begin(), names.end(), p) != names.end()) {
            error = "duplicate macro parameter \"" + std::string(p) + "\"";
            return false;
        }
        names.push_back(p);
        pos = skip_blanks(text, e);
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
            continue;
        }
        if (pos < text.size() && text[pos] == ')') break;
        error = "missing ')' in macro parameter list";
        return false;
    }
    ++pos;
    m.params = static_cast<int>(names.size());
    return true;
}

bool MacroTable::prepare_body(Macro& m, std::string_view body,
                              const std::vector<std::string_view>& names, std::string& error) {
    Lexer lx(body, Lexer::Mode::Directive);
    TokenList& out = m.body;
    bool pending_blank = false;
    for (Token t = lx.next(); t.kind != Tok::End; t = lx.next()) {
        if (t.blank()) {
            pending_blank = !out.empty();
            continue;
        }
        t.line = 0;
        if (t.kind == Tok::Punct && t.text == "##") {
            t.aux = Token::kPaste;
            pending_blank = false;
        } else if (pending_blank && !(out.back().aux == Token::kPaste) &&
                   !(out.back().aux == Token::kStringize)) {
            Token blank;
            blank.kind = Tok::Space;
            blank.text = " ";
            out.push_back(blank);
        }
        pending_blank = false;
        if (t.kind == Tok::Ident) {
            auto p = std::find(names.begin(), names.end(), t.text);
            if (p != names.end()) t.aux = static_cast<int16_t>(p - names.begin());
        }
        if (t.aux == Token::kPaste && !out.empty() && out.back().kind == Tok::Space) out.pop_back();
        if (!out.empty() && out.back().aux == Token::kStringize && t.aux < 0) {
            error = "'#' is not followed by a macro parameter";
            return false;
        }
        if (m.function_like && t.is('#')) t.aux = Token::kStringize;
        out.push_back(t);
    }
    if (!out.empty() && out.back().aux == Token::kStringize) {
        error = "'#' is not followed by a macro parameter";
        return false;
    }
    if (!out.empty() && (out.front().aux == Token::kPaste || out.back().aux == Token::kPaste)) {
        error = "'##' cannot appear at either end of a macro expansion";
        return false;
    }
    return true;
}

} // namespace ruvopp
