// The preprocessor driver: files, directives, conditionals (see preprocessor.h).
#include "pp/preprocessor.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "io/ostext.h"
#include "pp/expr.h"

namespace ruvopp {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

bool is_word_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The scanner's line directive: '#', blanks, "line" in any case, blanks, digits, and
// optionally blanks and a double-quoted name of at least one character.
bool match_line_directive(std::string_view s, int64_t& number, std::string& name) {
    size_t i = 0;
    auto blanks = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    };
    blanks();
    if (i >= s.size() || s[i] != '#') return false;
    ++i;
    blanks();
    if (s.size() - i < 4) return false;
    for (size_t k = 0; k < 4; ++k)
        if ((s[i + k] | 0x20) != "line"[k]) return false;
    i += 4;
    blanks();
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
    number = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        number = std::min<int64_t>(number * 10 + (s[i] - '0'), INT32_MAX);
        ++i;
    }
    blanks();
    name.clear();
    if (i < s.size() && s[i] == '"') {
        size_t close = s.find_first_of("\"\n", i + 1);
        if (close != std::string_view::npos && s[close] == '"' && close > i + 1)
            name = s.substr(i + 1, close - i - 1);
    }
    return true;
}

// "name" or <name> at the start of [operand].
bool include_name(std::string_view operand, std::string& name) {
    if (operand.empty() || (operand[0] != '"' && operand[0] != '<')) return false;
    size_t close = operand.find(operand[0] == '"' ? '"' : '>', 1);
    if (close == std::string_view::npos) return false;
    name = operand.substr(1, close - 1);
    return true;
}

bool regular_file(const std::string& path) {
    struct stat st;
    return ::stat(ruvo::name_to_os(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file to preprocess may also be a pipe or a device ("ruvo <(...)", /dev/stdin): it is
// read up to its end or the size limit.  Included files must be ordinary files, so that an
// #include never waits on a pipe.
bool readable_input(const std::string& path) {
    struct stat st;
    return ::stat(ruvo::name_to_os(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string spell(const TokenList& tokens) {
    std::string s;
    for (const Token& t : tokens) s += t.blank() ? std::string_view(" ") : t.text;
    return s;
}

} // namespace

Preprocessor::Preprocessor(Options options)
    : m_options(std::move(options)), m_expander(m_macros, *this, m_options.limits.expand),
      m_out(m_options.limits.max_output) {}

void Preprocessor::error(uint32_t line, std::string_view message) {
    if (m_files.empty()) {
        print(m_options.diagnostics, "<command line>", 0, message);
        return;
    }
    const SourceFile& f = *m_files.back();
    print(m_options.diagnostics, f.display, line ? line + f.delta : 0, message);
}

bool Preprocessor::define(std::string_view arg) {
    std::string def(arg);
    size_t eq = def.find('=');
    if (eq == std::string::npos)
        def += " 1";
    else
        def[eq] = ' ';
    std::string err;
    if (!m_macros.define(def, err)) {
        error(0, "-D" + std::string(arg) + ": " + err);
        return false;
    }
    return true;
}

bool Preprocessor::read_file(const std::string& path, std::string& text, uint32_t line) {
    bool may_open = m_files.empty() ? readable_input(path) : regular_file(path);
    FILE* f = may_open ? std::fopen(ruvo::name_to_os(path).c_str(), "rb") : nullptr;
    if (!f) {
        if (m_files.empty())
            print(m_options.diagnostics, path, 0, "cannot open input file");
        else
            error(line, "cannot open include file \"" + path + "\"");
        return false;
    }
    char buf[65536];
    size_t n;
    bool ok = true;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (text.size() + n > m_options.limits.max_file) {
            ok = false;
            break;
        }
        text.append(buf, n);
    }
    bool read_error = std::ferror(f) != 0;
    std::fclose(f);
    if (!ok || read_error) {
        std::string msg = read_error ? "cannot read file" : "file too large";
        if (m_files.empty())
            print(m_options.diagnostics, path, 0, msg);
        else
            error(line, msg + " \"" + path + "\"");
        return false;
    }
    return true;
}

bool Preprocessor::run_file(const std::string& path) {
    std::string text;
    if (!read_file(path, text, 0)) return false;
    return run_text(path, std::move(text));
}

bool Preprocessor::run_text(const std::string& name, std::string text) {
    push_file(name, std::move(text));
    run();
    return !failed();
}

void Preprocessor::push_file(std::string path, std::string text) {
    // A file that declares UTF-8 goes on as Shift_JIS, line for line.
    ruvo::script_text_result utf8 = ruvo::script_text_from_utf8(text);
    if (utf8.converted) text = std::move(utf8.text);
    m_files.push_back(
        std::make_unique<SourceFile>(std::move(path), std::move(text), m_conds.size()));
    SourceFile& f = *m_files.back();
    m_input.lexer = &f.lexer;
    if (!m_out.sync(f.line_name, 1)) overflow(1);
    if (utf8.bad_line) error(static_cast<uint32_t>(utf8.bad_line), ruvo::kNoShiftJisCode);
}

void Preprocessor::end_file() {
    SourceFile& f = *m_files.back();
    if (m_conds.size() > f.cond_base) {
        error(m_conds.back().line, "unterminated conditional directive");
        return;
    }
    m_files.pop_back();
    m_input.lexer = m_files.empty() ? nullptr : &m_files.back()->lexer;
    // Even when the included file's last line had no newline, what follows starts a line of
    // the including file.
    m_resync = true;
}

void Preprocessor::run() {
    Token t;
    while (!failed() && !m_files.empty() && m_input.next(t)) {
        switch (t.kind) {
        case Tok::End: end_file(); break;
        case Tok::Directive: directive(t); break;
        default:
            if (!active()) break;
            if (t.kind == Tok::Ident && m_expander.expand_at(t, m_input)) break;
            emit(t);
        }
    }
}

void Preprocessor::overflow(uint32_t line) {
    error(line, "preprocessed output too large (more than " + decimal(m_options.limits.max_output) +
                    " bytes)");
}

void Preprocessor::emit(const Token& t) {
    const SourceFile& f = *m_files.back();
    const bool sync = m_resync || m_out.at_line_start();
    m_resync = false;
    if ((sync && !m_out.sync(f.line_name, t.line + f.delta)) || !m_out.write(t.text)) {
        overflow(t.line);
        return;
    }
    if (m_input.stack.empty()) m_expander.clear_arena();
}

void Preprocessor::pass_through(const Token& t) {
    const SourceFile& f = *m_files.back();
    if (!m_out.sync(f.line_name, t.line + f.delta) || !m_out.write(t.text)) overflow(t.line);
}

void Preprocessor::directive(const Token& t) {
    const std::string logical = join_continued_lines(t.text);
    std::string_view d = logical;
    size_t i = d.find('#') + 1;
    while (i < d.size() && is_blank(d[i])) ++i;
    size_t e = i;
    while (e < d.size() && is_word_char(d[e])) ++e;
    const std::string_view name = d.substr(i, e - i);
    const std::string_view rest = d.substr(e);

    if (conditional(name, rest, t.line) || !active()) return;
    if (line_directive(t)) return;

    std::string err;
    if (name == "include") {
        include(rest, t.line);
    } else if (name == "define") {
        if (!m_macros.define(rest, err)) error(t.line, err + " in #define");
    } else if (name == "undef") {
        std::string_view macro = MacroTable::macro_name(rest, err);
        if (macro.empty())
            error(t.line, err + " in #undef");
        else
            m_macros.undef(macro);
    } else if (name == "error") {
        std::string_view text = trim(rest);
        error(t.line, text.empty() ? std::string("#error") : "#error " + std::string(text));
    } else if (!(name.empty() && trim(rest).empty())) {
        // Unknown directives, "#!" and the like are the scanner's business; a lone '#' is
        // dropped.
        pass_through(t);
    }
}

// #if, #ifdef, #ifndef, #elif, #else, #endif; false when [name] is none of them.
bool Preprocessor::conditional(std::string_view name, std::string_view rest, uint32_t line) {
    const SourceFile& f = *m_files.back();
    const bool open = m_conds.size() > f.cond_base;
    if (name == "if" || name == "ifdef" || name == "ifndef") {
        Cond c{line, active(), false, false, false};
        if (c.parent) {
            if (name == "if") {
                c.current = condition(rest, line);
            } else {
                std::string err;
                std::string_view macro = MacroTable::macro_name(rest, err);
                if (macro.empty()) error(line, err + " in #" + std::string(name));
                c.current = m_macros.defined(macro) == (name == "ifdef");
            }
            c.taken = c.current;
        } else {
            c.taken = true; // no branch of a group inside a skipped one is read
        }
        m_conds.push_back(c);
        return true;
    }
    if (name != "elif" && name != "else" && name != "endif") return false;
    if (!open) {
        error(line, "#" + std::string(name) + " without #if");
        return true;
    }
    Cond& c = m_conds.back();
    if (name == "endif") {
        m_conds.pop_back();
        return true;
    }
    if (c.seen_else) {
        error(line, "#" + std::string(name) + " after #else");
        return true;
    }
    if (name == "else") {
        c.current = c.parent && !c.taken;
        c.taken = true;
        c.seen_else = true;
    } else if (!c.parent || c.taken) {
        c.current = false;
    } else {
        c.current = condition(rest, line);
        c.taken = c.current;
    }
    return true;
}

// A #line already in the input is passed through, and from then on this file's lines are
// numbered (and named) as the scanner will number them.
bool Preprocessor::line_directive(const Token& t) {
    int64_t number;
    std::string name;
    if (!match_line_directive(t.text, number, name)) return false;
    pass_through(t);
    SourceFile& f = *m_files.back();
    if (!name.empty()) {
        f.display = name;
        f.line_name = Output::line_name(name);
    }
    const int64_t next = std::max<int64_t>(number, 1);
    const int64_t next_physical = t.line + std::count(t.text.begin(), t.text.end(), '\n');
    f.delta = next - next_physical;
    m_out.assume(f.line_name, next);
    return true;
}

void Preprocessor::replace_defined(TokenList& tokens, uint32_t line) {
    static constexpr std::string_view kOne = "1", kZero = "0";
    TokenList out;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Tok::Ident || tokens[i].text != "defined") {
            out.push_back(tokens[i]);
            continue;
        }
        auto skip = [&](size_t k) {
            while (k < tokens.size() && tokens[k].blank()) ++k;
            return k;
        };
        size_t k = skip(i + 1);
        bool paren = k < tokens.size() && tokens[k].is('(');
        if (paren) k = skip(k + 1);
        if (k >= tokens.size() || tokens[k].kind != Tok::Ident) {
            error(line, "operator \"defined\" requires an identifier");
            return;
        }
        Token v = tokens[k];
        v.kind = Tok::Number;
        v.text = m_macros.defined(tokens[k].text) ? kOne : kZero;
        if (paren) {
            k = skip(k + 1);
            if (k >= tokens.size() || !tokens[k].is(')')) {
                error(line, "missing ')' after \"defined\"");
                return;
            }
        }
        out.push_back(v);
        i = k;
    }
    tokens.swap(out);
}

bool Preprocessor::condition(std::string_view expr, uint32_t line) {
    Lexer lx(expr, Lexer::Mode::Directive, line);
    lx.disable_regex();
    TokenList raw;
    for (Token t = lx.next(); t.kind != Tok::End; t = lx.next()) raw.push_back(t);
    TokenList expanded;
    m_expander.expand_list(raw, expanded, 0, true);
    replace_defined(expanded, line);
    // Tokens that # and ## made point into the expander's arena: it is cleared only once the
    // expression has been read.
    int64_t value = 0;
    bool ok = !failed();
    if (ok) {
        std::string err;
        ok = eval_expression(expanded, value, err, m_options.limits.max_expr_depth);
        if (!ok) error(line, err);
    }
    m_expander.clear_arena();
    return ok && value != 0;
}

void Preprocessor::include(std::string_view rest, uint32_t line) {
    std::string_view operand = trim(rest);
    std::string name;
    if (!include_name(operand, name)) {
        // #include MACRO: the expansion must give one of the two forms.
        Lexer lx(operand, Lexer::Mode::Directive, line);
        TokenList raw, expanded;
        for (Token t = lx.next(); t.kind != Tok::End; t = lx.next()) raw.push_back(t);
        m_expander.expand_list(raw, expanded);
        std::string spelled = spell(expanded);
        m_expander.clear_arena();
        if (failed()) return;
        if (!include_name(trim(spelled), name)) {
            error(line, "#include expects \"FILENAME\" or <FILENAME>");
            return;
        }
    }
    if (name.empty()) {
        error(line, "empty file name in #include");
        return;
    }
    if (m_files.size() >= m_options.limits.max_include_depth) {
        error(line, "#include nested too deeply");
        return;
    }
    std::string path;
    if (!find_include(name, path)) {
        error(line, "cannot find include file \"" + name + "\"");
        return;
    }
    std::string text;
    if (read_file(path, text, line)) push_file(std::move(path), std::move(text));
}

// The including file's directory first, then the -I directories in order.
bool Preprocessor::find_include(const std::string& name, std::string& path) const {
    if (name[0] == '/') {
        path = name;
        return regular_file(path);
    }
    const std::string& from = m_files.back()->path;
    size_t slash = from.rfind('/');
    path = (slash == std::string::npos ? std::string() : from.substr(0, slash + 1)) + name;
    if (regular_file(path)) return true;
    for (const std::string& dir : m_options.include_dirs) {
        if (dir.empty()) continue;
        path = dir.back() == '/' ? dir + name : dir + "/" + name;
        if (regular_file(path)) return true;
    }
    return false;
}

} // namespace ruvopp
