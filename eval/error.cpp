#include "eval/error.h"

#include <cstdarg>
#include <cstdio>

namespace ruvo {

std::string error_text(int line, const std::string& message) {
    std::string out;
    if (line >= 1) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "error [%d]: ", line);
        out = prefix;
    } else {
        out = "error: ";
    }
    out += message;
    return out;
}

void raise_text(int line, const std::string& message) {
    throw ScriptError{error_text(line, message)};
}

void raise(int line, const char* format, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    raise_text(line, buf);
}

} // namespace ruvo
