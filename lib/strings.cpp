// The string built-ins: line-end removal, case mapping, byte-counted substrings and searches,
// their character-counted counterparts (the j names), trimming, tab expansion and compression,
// and transliteration.
//
// Text is Shift_JIS.  Functions that care about characters walk the string from its first
// byte, taking a lead byte followed by a trail byte as one character and any other byte as a
// character of its own; walking from the front is the only way to know where a character
// starts.  Blanks are the space, the tab and the full-width space 0x81 0x40.  Every function
// returns a new value and leaves its argument strings untouched.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/sjis.h"
#include "core/string.h"
#include "core/text.h"
#include "lib/args.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

using Text = std::string_view;
using Args = std::span<Value>;

// The largest string detab() may build: wide tab stops would otherwise let a short text
// demand gigabytes.
constexpr size_t kMaxExpandedText = size_t(1) << 28;

unsigned char byte_at(Text s, size_t i) {
    return static_cast<unsigned char>(s[i]);
}

// Bytes of the blank that starts at i (1 for space or tab, 2 for the full-width space), or 0.
size_t blank_len(Text s, size_t i) {
    if (i >= s.size()) return 0;
    if (s[i] == ' ' || s[i] == '\t') return 1;
    if (byte_at(s, i) == 0x81 && i + 1 < s.size() && byte_at(s, i + 1) == 0x40) return 2;
    return 0;
}

// The number of characters that begin before byte offset `end`.
int64_t chars_before(Text s, size_t end) {
    int64_t n = 0;
    for (size_t i = 0; i < end && i < s.size(); i += sjis_char_len(s, i)) ++n;
    return n;
}

// The byte offset of character `index` (the byte length when the text has fewer characters).
size_t char_offset(Text s, int64_t index) {
    size_t i = 0;
    for (int64_t k = 0; k < index && i < s.size(); ++k) i += sjis_char_len(s, i);
    return i;
}

// Up to `count` characters from character `start`.
Text take_chars(Text s, int64_t start, int64_t count) {
    if (count <= 0) return {};
    size_t from = char_offset(s, start);
    size_t to = from;
    for (int64_t k = 0; k < count && to < s.size(); ++k) to += sjis_char_len(s, to);
    return s.substr(from, to - from);
}

// The last position a backward search tries.  It is one before the last position where the
// needle still fits, so a match that ends on the text's final byte is never found
// (rindex("abc", "c") is -1); scripts written for this language depend on that limit.
int64_t last_candidate(int64_t text_len, int64_t needle_len) {
    return text_len - needle_len - 1;
}

// ---- line ends and case -------------------------------------------------------------------

// chop, chomp and ltrim keep a piece of their argument: they give the piece, and the handler
// copies it once into the new string (a kept buffer for a long line).
Text chop(Text s) {
    if (s.empty()) return {};
    size_t last = 0; // start of the final character
    for (size_t i = 0; i < s.size(); i += sjis_char_len(s, i)) last = i;
    if (s.size() - last == 2) return s.substr(0, last);
    if (s.ends_with("\r\n")) return s.substr(0, s.size() - 2);
    return s.substr(0, s.size() - 1);
}

Text chomp(Text s) {
    if (s.ends_with('\n')) {
        s.remove_suffix(1);
        if (s.ends_with('\r')) s.remove_suffix(1);
    }
    return s;
}

// Maps the single-byte letters from..from+25 by `shift`; double-byte characters are copied
// whole, so a trail byte that happens to be a letter code stays.
std::string map_ascii_case(Text s, char from, int shift) {
    std::string out(s);
    for (size_t i = 0; i < out.size();) {
        size_t k = sjis_char_len(s, i);
        if (k == 1 && out[i] >= from && out[i] <= from + 25) out[i] = char(out[i] + shift);
        i += k;
    }
    return out;
}

std::string to_upper(Text s) {
    return map_ascii_case(s, 'a', 'A' - 'a');
}
std::string to_lower(Text s) {
    return map_ascii_case(s, 'A', 'a' - 'A');
}

// ---- trimming -----------------------------------------------------------------------------

Text ltrim(Text s) {
    size_t i = 0;
    while (size_t b = blank_len(s, i)) i += b;
    return s.substr(i);
}

// Blanks before a final "\n" or "\r\n" go; the line end stays.
std::string rtrim(Text s) {
    size_t end = s.size();
    if (end > 0 && s[end - 1] == '\n') {
        --end;
        if (end > 0 && s[end - 1] == '\r') --end;
    }
    size_t keep = 0; // just after the last character that is not blank
    for (size_t i = 0; i < end;) {
        if (size_t b = blank_len(s, i)) {
            i += b;
        } else {
            i += sjis_char_len(s, i);
            keep = std::min(i, end);
        }
    }
    std::string out(s.substr(0, keep));
    out.append(s.substr(end));
    return out;
}

std::string trim(Text s) {
    return std::string(ltrim(rtrim(s)));
}

// ---- tabs ---------------------------------------------------------------------------------

// Rewrites every run of blanks for tab stops every w columns: as spaces only (detab), or as
// tabs for the stops the run crosses followed by the spaces after the last stop (entab).
// The column counts bytes from the start of the text; a line feed does not reset it.
std::string retab(Text s, int64_t w, bool use_tabs, int line, const char* name) {
    if (w <= 0) raise(line, "Bad argument in %s()", name);
    std::string out;
    out.reserve(s.size());
    int64_t col = 0;
    for (size_t i = 0; i < s.size();) {
        if (blank_len(s, i) == 0) {
            size_t k = sjis_char_len(s, i);
            out.append(s.substr(i, k));
            col += static_cast<int64_t>(k);
            i += k;
            continue;
        }
        int64_t to = col;
        while (size_t b = blank_len(s, i)) {
            to = s[i] == '\t' ? (to / w + 1) * w : to + static_cast<int64_t>(b);
            i += b;
        }
        int64_t tabs = use_tabs ? to / w - col / w : 0;
        int64_t spaces = tabs > 0 ? to % w : to - col;
        if (out.size() + static_cast<uint64_t>(tabs + spaces) > kMaxExpandedText)
            raise(line, "Bad argument in %s()", name);
        out.append(static_cast<size_t>(tabs), '\t');
        out.append(static_cast<size_t>(spaces), ' ');
        col = to;
    }
    return out;
}

// ---- substrings ---------------------------------------------------------------------------

// A start before the beginning or past the end gives the empty string.
Text substr(Text s, int64_t pos, int64_t len) {
    int64_t size = static_cast<int64_t>(s.size());
    int64_t start = pos >= 0 ? pos : size + pos;
    if (start < 0 || start > size) return {};
    int64_t count = len >= 0 ? len : size - start;
    return s.substr(static_cast<size_t>(start), static_cast<size_t>(std::min(count, size - start)));
}

// The len bytes before position end; an end before the beginning or past the end gives the
// empty string.
Text rsubstr(Text s, int64_t pos, int64_t len) {
    int64_t size = static_cast<int64_t>(s.size());
    int64_t end = pos >= 0 ? pos : size + pos;
    if (end < 0 || end > size) return {};
    if (len < 0 || end - len < 0) return s.substr(0, static_cast<size_t>(end));
    return s.substr(static_cast<size_t>(end - len), static_cast<size_t>(len));
}

Text jsubstr(Text s, int64_t pos, int64_t len) {
    int64_t n = chars_before(s, s.size());
    int64_t start = pos >= 0 ? pos : std::max<int64_t>(n + pos, 0);
    return take_chars(s, start, len >= 0 ? len : n - start);
}

Text jrsubstr(Text s, int64_t pos, int64_t len) {
    int64_t n = chars_before(s, s.size());
    int64_t end = pos >= 0 ? pos : std::max<int64_t>(n + pos, 0);
    if (len < 0) len = end;
    if (end - len < 0) return take_chars(s, 0, end);
    return take_chars(s, end - len, len);
}

// ---- searches -----------------------------------------------------------------------------

int64_t found_at(size_t p) {
    return p == Text::npos ? -1 : static_cast<int64_t>(p);
}

int64_t index_of(Text s, Text t, int64_t start) {
    if (s.empty()) return -1;
    int64_t size = static_cast<int64_t>(s.size());
    int64_t p = start < 0 ? size + start : start;
    if (p < 0 || p > size - static_cast<int64_t>(t.size())) return -1;
    return found_at(find_bytes(s, t, static_cast<size_t>(p)));
}

int64_t rindex_of(Text s, Text t, int64_t start) {
    if (s.empty()) return -1;
    int64_t size = static_cast<int64_t>(s.size());
    int64_t p = start < 0 ? size + start : start;
    p = std::min(p, last_candidate(size, static_cast<int64_t>(t.size())));
    if (p < 0) return -1;
    return found_at(s.rfind(t, static_cast<size_t>(p)));
}

// Matches at any byte offset, so a match that begins on the second byte of a double-byte
// character reports the index of the character after it.
int64_t jindex_of(Text s, Text t, int64_t start) {
    if (s.empty()) return -1;
    size_t from = char_offset(s, std::max<int64_t>(start, 0));
    size_t p = find_bytes(s, t, from);
    return p == Text::npos ? -1 : chars_before(s, p);
}

// Only offsets where a character begins are tried.
int64_t jrindex_of(Text s, Text t, int64_t start) {
    if (s.empty()) return -1;
    if (start < 0) {
        start += chars_before(s, s.size());
        if (start < 0) return -1;
    }
    int64_t limit =
        std::min(static_cast<int64_t>(char_offset(s, start)),
                 last_candidate(static_cast<int64_t>(s.size()), static_cast<int64_t>(t.size())));
    int64_t found = -1;
    int64_t k = 0;
    for (size_t i = 0; static_cast<int64_t>(i) <= limit; i += sjis_char_len(s, i), ++k)
        if (s.compare(i, t.size(), t) == 0) found = k;
    return found;
}

// ---- transliteration ----------------------------------------------------------------------

// The code of a character: its byte, or lead * 256 + trail.
uint32_t code_at(Text s, size_t i, size_t len) {
    return len == 2 ? byte_at(s, i) << 8 | byte_at(s, i + 1) : byte_at(s, i);
}

// One element of an expanded tr() list: the codes first, first±1, ..., last, counting down
// when last < first.  Lists are kept as runs, so "\x81\x40-\xfc\xfc" costs one entry.
struct CodeRun {
    uint32_t first, last;
    int64_t pos; // the list position of `first`

    uint32_t lo() const { return std::min(first, last); }
    uint32_t hi() const { return std::max(first, last); }
    int64_t size() const { return int64_t(hi()) - lo() + 1; }
    int64_t position_of(uint32_t c) const { return pos + (first <= last ? c - first : first - c); }
    uint32_t nth(int64_t p) const {
        uint32_t k = static_cast<uint32_t>(p - pos);
        return first <= last ? first + k : first - k;
    }
};

// "a-e" is a range, a "-" with nothing after it stands for itself.
std::vector<CodeRun> expand_list(Text s) {
    std::vector<uint32_t> chars;
    for (size_t i = 0; i < s.size();) {
        size_t k = sjis_char_len(s, i);
        chars.push_back(code_at(s, i, k));
        i += k;
    }
    std::vector<CodeRun> runs;
    int64_t pos = 0;
    auto add = [&](uint32_t first, uint32_t last) {
        runs.push_back({first, last, pos});
        pos += runs.back().size();
    };
    for (size_t i = 0; i < chars.size();) {
        if (i + 2 < chars.size() && chars[i + 1] == '-') {
            add(chars[i], chars[i + 2]);
            i += 3;
        } else {
            add(chars[i], chars[i]);
            ++i;
        }
    }
    return runs;
}

// Finds, for any code, the first position it has in the from-list.  The runs are cut into
// disjoint pieces, each owned by the earliest run that covers it, so a lookup is one binary
// search however long the list and however much its runs overlap.
class FirstPositions {
public:
    explicit FirstPositions(const std::vector<CodeRun>& runs) : runs_(runs) {
        std::map<uint32_t, uint32_t> covered; // disjoint intervals already owned
        for (uint32_t r = 0; r < runs.size(); ++r) claim(covered, runs[r].lo(), runs[r].hi(), r);
        std::sort(pieces_.begin(), pieces_.end(),
                  [](const Piece& a, const Piece& b) { return a.lo < b.lo; });
    }

    // -1 when the code is not in the list.
    int64_t find(uint32_t c) const {
        auto it = std::upper_bound(pieces_.begin(), pieces_.end(), c,
                                   [](uint32_t v, const Piece& p) { return v < p.lo; });
        if (it == pieces_.begin() || std::prev(it)->hi < c) return -1;
        return runs_[std::prev(it)->run].position_of(c);
    }

private:
    struct Piece {
        uint32_t lo, hi, run;
    };

    void claim(std::map<uint32_t, uint32_t>& covered, uint32_t lo, uint32_t hi, uint32_t run) {
        auto it = covered.upper_bound(lo);
        if (it != covered.begin() && std::prev(it)->second >= lo) --it;
        uint32_t next = lo, merged_lo = lo, merged_hi = hi;
        while (it != covered.end() && it->first <= hi) {
            if (it->first > next) pieces_.push_back({next, it->first - 1, run});
            next = std::max(next, it->second + 1); // codes stay below 2^16: no overflow
            merged_lo = std::min(merged_lo, it->first);
            merged_hi = std::max(merged_hi, it->second);
            it = covered.erase(it);
        }
        if (next <= hi) pieces_.push_back({next, hi, run});
        covered[merged_lo] = merged_hi;
    }

    const std::vector<CodeRun>& runs_;
    std::vector<Piece> pieces_;
};

// The code at position p of the to-list; past its end the list's last code.
uint32_t code_at_position(const std::vector<CodeRun>& runs, int64_t p) {
    auto it = std::upper_bound(runs.begin(), runs.end(), p,
                               [](int64_t v, const CodeRun& r) { return v < r.pos; });
    const CodeRun& r = *std::prev(it);
    return p < r.pos + r.size() ? r.nth(p) : runs.back().last;
}

// With an empty to-list a character of the from-list is copied unchanged: there is nothing to
// map it to, and dropping it would lose text.
std::string transliterate(Text s, Text from, Text to) {
    std::vector<CodeRun> from_runs = expand_list(from);
    std::vector<CodeRun> to_runs = expand_list(to);
    FirstPositions positions(from_runs);
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t k = sjis_char_len(s, i);
        int64_t p = to_runs.empty() ? -1 : positions.find(code_at(s, i, k));
        if (p < 0) {
            out.append(s.substr(i, k));
        } else {
            // Codes from 256 up take two bytes, so no code collapses into a wrong single byte.
            uint32_t c = code_at_position(to_runs, p);
            if (c >= 256) out.push_back(char(c >> 8 & 0xFF));
            out.push_back(char(c & 0xFF));
        }
        i += k;
    }
    return out;
}

// ---- handlers -----------------------------------------------------------------------------

template <std::string (*F)(Text)> void string_map(VContext&, int line, Args args, Value& result) {
    result = make_string(F(arg_string(args[0], line)));
}
template <Text (*F)(Text)> void string_piece(VContext&, int line, Args args, Value& result) {
    result = make_string(F(arg_string(args[0], line)));
}

// (s, pos[, len = -1]) -> a piece of s.
template <Text (*F)(Text, int64_t, int64_t)>
void slice(VContext&, int line, Args args, Value& result) {
    Text s = arg_string(args[0], line);
    int32_t pos = arg_trunc32(args[1], line);
    int32_t len = opt_trunc32(args, 2, -1, line);
    result = make_string(F(s, pos, len));
}

// (s, t[, start = Default]) -> a position or -1.
template <int64_t (*F)(Text, Text, int64_t), int32_t Default>
void search(VContext&, int line, Args args, Value& result) {
    Text s = arg_string(args[0], line);
    Text t = arg_string(args[1], line);
    int32_t start = opt_trunc32(args, 2, Default, line);
    result.set_num(static_cast<double>(F(s, t, start)));
}

template <bool UseTabs> void tabs(VContext&, int line, Args args, Value& result) {
    Text s = arg_string(args[0], line);
    int32_t w = opt_trunc32(args, 1, 8, line);
    result = make_string(retab(s, w, UseTabs, line, UseTabs ? "entab" : "detab"));
}

void jlen(VContext&, int line, Args args, Value& result) {
    Text s = arg_string(args[0], line);
    result.set_num(static_cast<double>(chars_before(s, s.size())));
}

void tr(VContext&, int line, Args args, Value& result) {
    Text s = arg_string(args[0], line);
    Text from = arg_string(args[1], line);
    Text to = arg_string(args[2], line);
    result = make_string(transliterate(s, from, to));
}

constexpr BuiltinDef kStringBuiltins[] = {
    {"chop", 1, string_piece<chop>, kBorrowsArgs},
    {"chomp", 1, string_piece<chomp>, kBorrowsArgs},
    {"toupper", 1, string_map<to_upper>, kBorrowsArgs},
    {"tolower", 1, string_map<to_lower>, kBorrowsArgs},
    {"substr", 2, slice<substr>, kBorrowsArgs},
    {"substr", 3, slice<substr>, kBorrowsArgs},
    {"rsubstr", 2, slice<rsubstr>},
    {"rsubstr", 3, slice<rsubstr>},
    {"index", 2, search<index_of, 0>, kBorrowsArgs},
    {"index", 3, search<index_of, 0>, kBorrowsArgs},
    {"rindex", 2, search<rindex_of, -1>, kBorrowsArgs},
    {"rindex", 3, search<rindex_of, -1>, kBorrowsArgs},
    {"trim", 1, string_map<trim>, kBorrowsArgs},
    {"ltrim", 1, string_piece<ltrim>, kBorrowsArgs},
    {"rtrim", 1, string_map<rtrim>, kBorrowsArgs},
    {"entab", 1, tabs<true>},
    {"entab", 2, tabs<true>},
    {"detab", 1, tabs<false>},
    {"detab", 2, tabs<false>},
    {"jsubstr", 2, slice<jsubstr>},
    {"jsubstr", 3, slice<jsubstr>},
    {"jrsubstr", 2, slice<jrsubstr>},
    {"jrsubstr", 3, slice<jrsubstr>},
    {"jindex", 2, search<jindex_of, 0>},
    {"jindex", 3, search<jindex_of, 0>},
    {"jrindex", 2, search<jrindex_of, -1>},
    {"jrindex", 3, search<jrindex_of, -1>},
    {"jlen", 1, jlen},
    {"tr", 3, tr},
};

} // namespace

std::span<const BuiltinDef> string_builtins() {
    return kStringBuiltins;
}

} // namespace ruvo
