#include "io/stdstream.h"

#include <cstdarg>
#include <string>
#include <unistd.h>

#include "core/sjis.h"
#include "io/codec.h"
#include "io/ostext.h"

namespace ruvo {

namespace {
struct StdStreamModes {
    bool binary[3] = {false, false, false};
    bool terminal[3] = {false, false, false};
    // A lead byte waiting for its trail byte.  Plain data, so that the table is ready
    // before any constructor runs.
    char held[3] = {0, 0, 0};
    bool holding[3] = {false, false, false};
};
StdStreamModes std_modes;

int index_of(FILE* f) {
    if (f == stdin) return 0;
    if (f == stdout) return 1;
    if (f == stderr) return 2;
    return -1;
}
} // namespace

void note_stream_mode(FILE* f, bool binary) {
    int i = index_of(f);
    if (i >= 0) std_modes.binary[i] = binary;
}

bool stream_is_binary(FILE* f) {
    int i = index_of(f);
    return i >= 0 && std_modes.binary[i];
}

void note_terminals() {
    for (int fd = 0; fd < 3; ++fd) std_modes.terminal[fd] = os_text_utf8() && isatty(fd) == 1;
}

bool stream_is_terminal(FILE* f) {
    int i = index_of(f);
    return i >= 0 && std_modes.terminal[i];
}

std::string terminal_bytes(FILE* f, std::string_view text) {
    int k = index_of(f);
    std::string whole;
    if (std_modes.holding[k]) {
        whole.reserve(text.size() + 1);
        whole.push_back(std_modes.held[k]);
        whole.append(text);
        std_modes.holding[k] = false;
        text = whole;
    }
    // A lead byte that ends the text waits: its trail byte comes with the next write.
    size_t end = text.size();
    for (size_t i = 0; i < text.size(); i += sjis_char_len(text, i))
        if (i + 1 == text.size() && is_sjis_lead(static_cast<unsigned char>(text[i]))) end = i;
    if (end < text.size()) {
        std_modes.held[k] = text[end];
        std_modes.holding[k] = true;
    }
    return sjis_to_utf8(text.substr(0, end));
}

void std_write(FILE* f, std::string_view text) {
    std::string shown;
    if (stream_is_terminal(f)) {
        shown = terminal_bytes(f, text);
        text = shown;
    }
    if (stream_is_binary(f)) {
        std::fwrite(text.data(), 1, text.size(), f);
        return;
    }
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') {
            std::fwrite(text.data() + start, 1, i - start, f);
            std::fwrite("\r\n", 1, 2, f);
            start = i + 1;
        }
    std::fwrite(text.data() + start, 1, text.size() - start, f);
}

void std_printf(FILE* f, const char* format, ...) {
    va_list ap, again;
    va_start(ap, format);
    va_copy(again, ap);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, format, ap);
    va_end(ap);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        va_end(again);
        std_write(f, std::string_view(small, static_cast<size_t>(n)));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, again);
    va_end(again);
    big.resize(static_cast<size_t>(n));
    std_write(f, big);
}

} // namespace ruvo
