#include "lib/regexp.h"

#include <climits>
#include <cstdio>

// The native header first: the POSIX one then leaves out the declarations both share.  Its
// names are macros for onig_posix_* functions, so nothing here clashes with the C library's
// own POSIX regular expressions.
#include <oniguruma.h>
// (kept apart so that include sorting leaves this order)
#include <onigposix.h>

#include "core/atom.h"
#include "core/convert.h"
#include "core/sjis.h"
#include "core/string.h"
#include "eval/error.h"
#include "eval/scope.h"
#include "front/node.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

// Process-wide state of the regular-expression unit: the engine's set-up, done once before
// any script runs, and the interned names of the match variables.
struct RegexpState {
    RegexpState() {
        OnigEncoding encodings[] = {ONIG_ENCODING_SJIS};
        onig_initialize(encodings, 1);
        reg_set_encoding(REG_POSIX_ENCODING_SJIS);
        onig_set_default_syntax(ONIG_SYNTAX_PERL);
        // Limits that turn runaway patterns into "no match" or "does not compile" instead of
        // a hang or a native stack overflow: nesting of groups in a pattern, and the
        // backtracking one search may do over all its start positions.
        onig_set_parse_depth_limit(1000);
        onig_set_retry_limit_in_search(50'000'000);
    }

    // "$0" "$&" "$1".."$9" "$`" "$'" "$+", interned on first use (the atom table may not
    // exist yet while static objects are built).
    Atom vars[14] = {};
};

RegexpState state;

OnigRegex engine(void* p) {
    return static_cast<OnigRegex>(p);
}
OnigRegion* region(void* p) {
    return static_cast<OnigRegion*>(p);
}

const OnigUChar* bytes(std::string_view s) {
    // A default view has no data pointer; the engine wants one even for the empty text.
    return reinterpret_cast<const OnigUChar*>(s.data() ? s.data() : "");
}

std::string_view group_of(std::string_view text, const regexp_spans& m, int i) {
    return text.substr(m.beg[i], m.end[i] - m.beg[i]);
}

} // namespace

RegExp::RegExp(std::string_view p, bool icase, bool multiline) : pattern(p) {
    cflags = EXTENDED | NEWLINE;
    if (icase) cflags |= ICASE;
    if (multiline) cflags &= ~NEWLINE;

    // The options the engine's POSIX layer derives from these flags; the pattern goes in
    // with its length so that NUL bytes in it are ordinary characters.
    OnigSyntaxType* syntax = ONIG_SYNTAX_DEFAULT;
    OnigOptionType options = syntax->options;
    if (cflags & ICASE) ONIG_OPTION_ON(options, ONIG_OPTION_IGNORECASE);
    if (cflags & NEWLINE) {
        ONIG_OPTION_ON(options, ONIG_OPTION_NEGATE_SINGLELINE);
        ONIG_OPTION_OFF(options, ONIG_OPTION_SINGLELINE);
    }
    OnigRegex reg = nullptr;
    OnigErrorInfo info;
    const OnigUChar* s = bytes(pattern);
    if (onig_new(&reg, s, s + pattern.size(), options, ONIG_ENCODING_SJIS, syntax, &info) ==
        ONIG_NORMAL) {
        compiled = reg;
        region_ = onig_region_new();
    }
}

RegExp::~RegExp() {
    if (region_) onig_region_free(region(region_), 1);
    if (compiled) onig_free(engine(compiled));
}

void RegExp::release() {
    if (--refs == 0)
        delete this;
    else if (refs < 0)
        std::fputs("Internal error in RegExp::release()\n", stdout);
}

bool RegExp::find(std::string_view text, regexp_spans& m) {
    m.count = 0;
    if (!compiled || !region_ || text.size() > static_cast<size_t>(INT_MAX)) return false;
    const OnigUChar* s = bytes(text);
    const OnigUChar* e = s + text.size();
    OnigRegion* r = region(region_);
    // Errors of the engine (a retry limit reached, say) count as no match.
    if (onig_search(engine(compiled), s, e, s, e, r, ONIG_OPTION_NONE) < 0) return false;
    // A group that did not take part has both ends at -1.
    int n = r->num_regs < regexp_spans::kMax ? r->num_regs : regexp_spans::kMax;
    int i = 0;
    for (; i < n && r->beg[i] >= 0 && r->end[i] >= 0; ++i) {
        m.beg[i] = r->beg[i];
        m.end[i] = r->end[i];
    }
    m.count = i;
    return true;
}

bool RegExp::match(std::string_view text) {
    regexp_spans m;
    bool found = find(text, m);
    regexp_publish(text, m);
    return found;
}

std::string RegExp::sub(std::string_view text, std::string_view tmpl) {
    regexp_spans m;
    bool found = find(text, m);
    regexp_publish(text, m);
    if (!compiled) return std::string();
    if (!found) return std::string(text);
    std::string out(text.substr(0, m.beg[0]));
    regexp_expand(out, tmpl, text, m);
    out.append(text.substr(m.end[0]));
    return out;
}

// Iterative form of "prematch + expansion + gsub(rest)".  An empty match at the start of a
// remainder is replaced and then one character (one or two bytes) is copied, so that the
// search goes on after it, as split does.  An empty match found right where the previous
// empty match was (the remainder after /$/ is searched again, say) is not replaced a second
// time.  Only the spans of each search are kept while the loop runs; the match variables are
// set once, from the last search.
std::string RegExp::gsub(std::string_view text, std::string_view tmpl) {
    regexp_spans m;
    std::string out;
    if (!compiled) {
        regexp_publish(text, m);
        return out;
    }
    // A template without "$" (gsub(s, re, "") among them) is copied as it is.
    const bool plain = tmpl.find('$') == std::string_view::npos;
    auto expand = [&](std::string_view piece) {
        if (!plain)
            regexp_expand(out, tmpl, piece, m);
        else if (!tmpl.empty())
            out.append(tmpl);
    };
    std::string_view rest = text;
    bool after_empty = false; // [rest] starts where an empty match was replaced
    for (;;) {
        if (!find(rest, m)) {
            out.append(rest);
            break;
        }
        if (m.end[0] > 0) {
            out.append(rest.substr(0, m.beg[0]));
            expand(rest);
            after_empty = m.beg[0] == m.end[0];
            rest.remove_prefix(m.end[0]);
            continue;
        }
        if (!after_empty) expand(rest);
        if (rest.empty()) break;
        size_t k = sjis_char_len(rest);
        out.append(rest.substr(0, k));
        rest.remove_prefix(k);
        after_empty = false;
    }
    regexp_publish(rest, m);
    return out;
}

void regexp_expand(std::string& out, std::string_view tmpl, std::string_view text,
                   const regexp_spans& m) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0, n = tmpl.size();
    while (i < n) {
        char c = tmpl[i];
        if (c != '$' || i + 1 == n) {
            out.push_back(c);
            ++i;
            continue;
        }
        char d = tmpl[i + 1];
        i += 2;
        if (digit(d)) {
            // Every digit is read; a number past the groups (however long) gives nothing.
            long num = d - '0';
            for (; i < n && digit(tmpl[i]); ++i)
                if (num < regexp_spans::kMax) num = num * 10 + (tmpl[i] - '0');
            if (num < m.count) out.append(group_of(text, m, static_cast<int>(num)));
        } else if (d == '&') {
            if (m.count > 0) out.append(group_of(text, m, 0));
        } else if (d == '+') {
            if (m.count > 1) out.append(group_of(text, m, m.count - 1));
        } else if (d == '`') {
            if (m.count > 0) out.append(text.substr(0, m.beg[0]));
        } else if (d == '\'') {
            if (m.count > 0) out.append(text.substr(m.end[0]));
        } else if (d == '$') {
            out.push_back('$');
        } else {
            out.push_back('$');
            --i; // the character after "$" is read normally
        }
    }
}

void regexp_publish(std::string_view text, const regexp_spans& m) {
    static const char* const names[14] = {"$0", "$&", "$1", "$2", "$3", "$4", "$5",
                                          "$6", "$7", "$8", "$9", "$`", "$'", "$+"};
    if (!state.vars[0])
        for (int i = 0; i < 14; ++i) state.vars[i] = intern(names[i]);
    auto group = [&](int i) { return i < m.count ? group_of(text, m, i) : std::string_view(); };
    auto assign = [](Atom name, std::string_view piece) {
        Cell* c = scopes.lookupGlobal(name);
        if (!c) c = scopes.declareGlobal(name);
        store_string(*c, piece);
    };
    assign(state.vars[0], group(0));
    assign(state.vars[1], group(0));
    for (int i = 1; i <= 9; ++i) assign(state.vars[i + 1], group(i));
    bool found = m.count > 0;
    assign(state.vars[11], found ? text.substr(0, m.beg[0]) : std::string_view());
    assign(state.vars[12], found ? text.substr(m.end[0]) : std::string_view());
    assign(state.vars[13], m.count > 1 ? group(m.count - 1) : std::string_view());
}

void regexp_release(RegExp* r) {
    r->release();
}

// ---- built-ins ----------------------------------------------------------------------------

namespace {

RegExp& regexp_arg(const Value& v, const char* fn, int line) {
    VRegExp* r = as_regexp(v);
    if (!r) raise(line, "Bad argument type in %s()", fn);
    return *r->re;
}

void bi_match(VContext&, int line, std::span<Value> args, Value& result) {
    std::string_view s = arg_string(args[0], line);
    RegExp& re = regexp_arg(args[1], "match", line);
    result = Value::boolean(re.match(s));
}

// sub and gsub: the arguments in order, then the replacement (which sets the match variables).
template <std::string (RegExp::*Replace)(std::string_view, std::string_view)>
void replace_handler(const char* fn, int line, std::span<Value> args, Value& result) {
    std::string_view s = arg_string(args[0], line);
    RegExp& re = regexp_arg(args[1], fn, line);
    std::string_view t = arg_string(args[2], line);
    result = make_string((re.*Replace)(s, t));
}

void bi_sub(VContext&, int line, std::span<Value> args, Value& result) {
    replace_handler<&RegExp::sub>("sub", line, args, result);
}

void bi_gsub(VContext&, int line, std::span<Value> args, Value& result) {
    replace_handler<&RegExp::gsub>("gsub", line, args, result);
}

void bi_regexp1(VContext&, int line, std::span<Value> args, Value& result) {
    std::string_view p = arg_string(args[0], line);
    result = make_regexp(new RegExp(p, false, false));
}

void bi_regexp2(VContext&, int line, std::span<Value> args, Value& result) {
    std::string_view p = arg_string(args[0], line);
    std::string_view flags = arg_string(args[1], line);
    bool icase = false, multiline = false;
    for (char c : flags) {
        if (c == 'i')
            icase = true;
        else if (c == 'm')
            multiline = true;
        else
            raise(line, "Bad flag string in regexp()");
    }
    result = make_regexp(new RegExp(p, icase, multiline));
}

const BuiltinDef kRegexpBuiltins[] = {
    {"match", 2, bi_match},    {"sub", 3, bi_sub},        {"gsub", 3, bi_gsub},
    {"regexp", 1, bi_regexp1}, {"regexp", 2, bi_regexp2},
};

} // namespace

std::span<const BuiltinDef> regexp_builtins() {
    return kRegexpBuiltins;
}

} // namespace ruvo
