// Printing of errors (see diag.h).
#include "pp/diag.h"

#include <cstdio>
#include <unistd.h>

#include "io/ostext.h"

namespace ruvopp {

std::string decimal(int64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
    return buf;
}

void Reporter::print(std::string* sink, std::string_view file, int64_t line,
                     std::string_view message) {
    m_failed = true;
    std::string text(file);
    if (line > 0) text += ":" + decimal(line);
    text += ": ";
    text += message;
    text += '\n';
    if (sink) {
        *sink += text;
    } else {
        if (isatty(2)) text = ruvo::text_to_os(text); // a terminal shows the locale's text
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
}

} // namespace ruvopp
