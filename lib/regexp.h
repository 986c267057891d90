// Compiled regular expressions (Oniguruma, Shift_JIS text, Perl syntax) and the script values
// that carry them.
//
// `RegExp` holds one compiled pattern and the engine's match record, reused by every search.
// It has its own reference count, apart from the object counts of VRef: a regular-expression
// literal node keeps one, and every `VRegExp` value made from it keeps one, so that all values
// of one literal share the compiled form.  A pattern that does not compile leaves `compiled`
// null: such an expression never matches, and sub and gsub with it give "".
//
// Texts and patterns are byte strings of explicit length (NUL bytes are ordinary bytes), so
// the engine is driven through its length-taking entry points.  Every search sees the text it
// is given as a whole string: "^" matches at its start and nothing before it is visible.
//
// The match variables "$0", "$&", "$1".."$9", "$`", "$'", "$+" are global variables, set after
// match, sub, gsub, =~, !~ and == with a regexp straight from the searched text and the spans
// of the last search (groups, prematch and postmatch are pieces of that text).  The text is
// always held by a transient value (an operand or an argument) while they are set, so a match
// variable that held the text gets a new string instead of being overwritten in place.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/value.h"

namespace ruvo {

// The spans of one search: entry i is group i; `count` groups took part, counting from 0 and
// stopping at the first group that did not (so later groups are lost).  Offsets are bytes
// from the start of the searched text.
struct regexp_spans {
    static constexpr int kMax = 10;
    int count = 0;
    int beg[kMax];
    int end[kMax];
};

class RegExp {
public:
    // The compile flags of the engine's POSIX-style options, kept for what they mean.
    enum : int32_t { ICASE = 1, NEWLINE = 2, EXTENDED = 16 };

    // [multiline] is the "m" letter: "^" and "$" then match only at the ends of the text.
    RegExp(std::string_view pattern, bool icase, bool multiline);
    virtual ~RegExp();
    RegExp(const RegExp&) = delete;
    RegExp& operator=(const RegExp&) = delete;

    void addref() { ++refs; }
    void release();

    // Searches [text] and sets the match variables from the search; true if found.  What
    // match(), =~, !~ and == with a regexp do.
    bool match(std::string_view text);
    // [text] with its first match replaced by the expansion of [tmpl]; sets the match
    // variables.
    std::string sub(std::string_view text, std::string_view tmpl);
    // [text] with every match replaced; each search runs on the remainder after the previous
    // match, as a string of its own.  The match variables come from the last search.
    std::string gsub(std::string_view text, std::string_view tmpl);

    // The search alone, for split: true with the spans when found; leaves the match
    // variables alone.
    bool find(std::string_view text, regexp_spans& m);

    void* compiled = nullptr; // the engine's pattern object; null when compilation failed
    int32_t refs = 0;
    std::string pattern;
    int32_t cflags = 0;

private:
    void* region_ = nullptr; // the engine's reusable match record
};

// The script value of a regular expression: holds one reference on its RegExp.
class VRegExp final : public VRef {
public:
    explicit VRegExp(RegExp* r) : VRef(VKind::RegExp), re(r) { re->addref(); }
    ~VRegExp() override { re->release(); }
    const char* type_name() const override { return "regexp"; }

    RegExp* const re;
};

inline VRegExp* as_regexp(const CellData& v) {
    return v.kind() == VKind::RegExp ? static_cast<VRegExp*>(v.obj()) : nullptr;
}
inline Value make_regexp(RegExp* r) {
    return Value(new VRegExp(r));
}

// Sets the match variables from the search [m] in [text] (no match: every one empty).
void regexp_publish(std::string_view text, const regexp_spans& m);

// Appends the expansion of the replacement template [tmpl] for the match [m] in [text]:
// "$n" (all digits read) group n, "$&" group 0, "$+" the last group when more than one took
// part, "$`" and "$'" the text before and after the match, "$$" one "$", any other "$" itself.
void regexp_expand(std::string& out, std::string_view tmpl, std::string_view text,
                   const regexp_spans& m);

} // namespace ruvo
