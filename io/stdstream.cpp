#include "io/stdstream.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <pthread.h>
#include <signal.h>
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
    bool failed[3] = {false, false, false}; // a write or flush failed
};
StdStreamModes std_modes;

int index_of(FILE* f) {
    if (f == stdin) return 0;
    if (f == stdout) return 1;
    if (f == stderr) return 2;
    return -1;
}
} // namespace

// A write to a pipe whose reader has gone ends the process as it ends a Unix filter: by
// SIGPIPE.  We only get here when SIGPIPE was ignored or blocked, so the other streams can
// still be flushed first without the signal striking halfway.
[[noreturn]] void end_on_closed_pipe() {
    std::fflush(nullptr);
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(SIGPIPE);
    std::_Exit(128 + SIGPIPE);
}

void write_failed(FILE* f) {
    if (errno == EPIPE) end_on_closed_pipe();
    int i = index_of(f);
    if (i > 0) std_modes.failed[i] = true;
}

void std_flush(FILE* f) {
    if (std::fflush(f) != 0) write_failed(f);
}

// The stream's error indicator is not asked: a read from standard output (gets(stdout) on a
// file opened for writing) sets it too, and every write and flush is checked where it happens.
bool finish_standard_streams() {
    std_flush(stdout);
    std_flush(stderr);
    bool out = std_modes.failed[1];
    bool err = std_modes.failed[2];
    if (out && !err) {
        std_write(stderr, "error: Cannot write standard output\n");
        std::fflush(stderr);
    }
    return out || err;
}

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
    auto put = [f](const char* p, size_t n) {
        if (std::fwrite(p, 1, n, f) < n) write_failed(f);
    };
    if (stream_is_binary(f)) {
        put(text.data(), text.size());
        return;
    }
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') {
            put(text.data() + start, i - start);
            put("\r\n", 2);
            start = i + 1;
        }
    put(text.data() + start, text.size() - start);
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
