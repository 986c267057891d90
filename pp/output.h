// The preprocessed text and the line numbering the interpreter's scanner will give it.  The
// writer knows, for the next output line, which file name and line number the scanner will
// assign (a "#line N "name"" makes the next line N; every newline adds one).  Before text that
// belongs to a given source line is written at the start of an output line, sync() makes the
// two agree: with a few empty lines when the output is slightly behind in the same file,
// otherwise with a #line directive.  So dropped lines (directives, skipped groups) and file
// boundaries never shift the line numbers of error messages.  The total size is capped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ruvopp {

class Output {
public:
    explicit Output(size_t max_bytes) : m_max(max_bytes) {}

    // Appends [text]; false once the size cap is passed (nothing more is kept then).
    bool write(std::string_view text);

    // Makes the next output line line [line] of [name] for the scanner.  [name] must already
    // be fit for a #line directive (line_name()).
    bool sync(std::string_view name, int64_t line);

    // The scanner has been told by a #line passed through unchanged that the next line is
    // [line] of [name].
    void assume(std::string_view name, int64_t line);

    bool at_line_start() const { return m_line_start; }
    std::string& text() { return m_text; }

    // [name] without the characters a #line directive cannot carry (double quote, newline).
    static std::string line_name(std::string_view name);

private:
    std::string m_text;
    size_t m_max;
    std::string m_name; // what the scanner takes as the current file
    int64_t m_line = 1; // the line number the scanner gives the next output line
    bool m_known = false;
    bool m_line_start = true;
};

} // namespace ruvopp
