// Text at the operating system's edge.  Inside, all text is Shift_JIS; outside, the locale's
// character set decides.  This unit makes that decision once per process and owns every
// conversion across the edge: command-line arguments, the environment, command text for the
// shell, file and directory names, the UTF-8 script reader.
//
// The decision: LC_CTYPE (only that category: numbers never follow the locale) is set from the
// environment.  When its codeset is UTF-8 the edge converts; any other codeset is treated as
// the C locale (a Latin-1 locale must not change toupper for bytes 0x80-0xFF), and nothing is
// converted.  When the locale named by the environment is not installed (LANG=ja_JP.UTF-8
// without a generated locale) the codeset is taken from the name itself.
//
// Names keep their identity: a name read from the system comes back to the system as the
// same bytes.  A name component that does not survive the round trip through Shift_JIS (bytes
// that are not UTF-8, characters code page 932 lacks) stays as the system's bytes, and such a
// component, should it also look like convertible Shift_JIS, is remembered so that it goes
// back unconverted.  Text (arguments, the environment) follows the code page instead: a
// character it lacks becomes "?", a byte that is not UTF-8 passes unchanged.
#pragma once

#include <string>
#include <string_view>

namespace ruvo {

// Sets LC_CTYPE and decides whether the edge converts; repeated calls change nothing.
void os_text_init();
// True when the locale's character set is UTF-8 (after os_text_init).
bool os_text_utf8();
// For tests: the decision is taken as given, whatever the environment says.
void os_text_assume(bool utf8);

// Text from the system (arguments, environment, typed lines) into Shift_JIS, and back.
std::string os_to_text(std::string_view text);
std::string text_to_os(std::string_view text);

// A path from the system (a listing, the current directory) into Shift_JIS, and a path from
// a script to the system.  Both work component by component ("/" is kept).
std::string os_to_name(std::string_view path);
std::string name_to_os(std::string_view path);

// What a UTF-8 script file becomes.
struct script_text_result {
    bool converted = false; // the file declared UTF-8 (byte-order mark or coding comment)
    std::string text;       // Shift_JIS text, line for line
    int bad_line = 0;       // the first line with a character code page 932 lacks (0: none)
};

// A script or included file is read as UTF-8 when it starts with the byte-order mark or when
// its first or second line says "coding: utf-8" or "coding=utf-8" (any case).  The text is
// then converted to Shift_JIS with the line breaks where they were; the characters that code
// page 932 writes with other code points (wave dash, double vertical line, minus sign, cent,
// pound, not sign) take their code page 932 codes; any other character the code page lacks
// is dropped inside a comment and reported by its line elsewhere.
script_text_result script_text_from_utf8(std::string_view raw);

// The message for such a line.
inline constexpr char kNoShiftJisCode[] = "Character without a Shift_JIS code in a UTF-8 script";

} // namespace ruvo
