// Output text with line tracking (see output.h).
#include "pp/output.h"

#include <algorithm>

#include "pp/diag.h"

namespace ruvopp {

namespace {
// Up to this many lines of drift are filled with empty lines rather than a #line.
constexpr int64_t kMaxFill = 8;
} // namespace

bool Output::write(std::string_view text) {
    if (text.empty()) return true;
    if (m_text.size() + text.size() > m_max) return false;
    m_text.append(text);
    m_line += std::count(text.begin(), text.end(), '\n');
    m_line_start = text.back() == '\n';
    return true;
}

bool Output::sync(std::string_view name, int64_t line) {
    if (!m_line_start && !write("\n")) return false;
    if (m_known && name == m_name && line >= m_line && line - m_line <= kMaxFill)
        return write(std::string(static_cast<size_t>(line - m_line), '\n'));
    std::string directive = "#line " + decimal(line) + " \"";
    directive.append(name);
    directive += "\"\n";
    if (!write(directive)) return false;
    assume(name, line);
    return true;
}

void Output::assume(std::string_view name, int64_t line) {
    m_name = name;
    m_line = line;
    m_known = true;
}

std::string Output::line_name(std::string_view name) {
    std::string out;
    for (char c : name)
        if (c != '"' && c != '\n') out += c;
    // The scanner only takes a name of at least one character.
    if (out.empty()) out = "-";
    return out;
}

} // namespace ruvopp
