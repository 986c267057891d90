// What the interpreter itself writes to the standard streams (error messages, the usage
// text, talk mode's prompt and results) follows the stream's translation mode like the
// script's own output: in text mode every LF goes out as CR LF.  The mode of a standard
// stream belongs to the stream, so a file object attached to it that switches with binmode
// or txtmode switches it for these writes too.
//
// A standard stream that is a terminal under a UTF-8 locale shows text as UTF-8: whatever
// the interpreter writes there is converted, and so is the script's output through an
// unfiltered (Shift_JIS) stdout or stderr.  A double-byte character whose lead byte ends one
// write waits for its trail byte, so no character is ever split across writes.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace ruvo {

// Records the translation mode of `f` when it is stdin, stdout or stderr.
void note_stream_mode(FILE* f, bool binary);
bool stream_is_binary(FILE* f);

// One byte of `f`, or EOF; unless [binary], a CR LF pair comes back as one LF.  The LF of the
// pair may be in the next buffer: a byte that is not LF is put back.
inline int get_translated(FILE* f, bool binary) {
    int c = getc_unlocked(f);
    if (c != '\r' || binary) return c;
    int d = getc_unlocked(f);
    if (d == '\n') return '\n';
    if (d != EOF) ungetc(d, f);
    return c;
}

// Notes which standard streams are terminals that want UTF-8 (after os_text_init).
void note_terminals();
bool stream_is_terminal(FILE* f);
// The bytes to send to terminal `f` for `text`: UTF-8, with a lead byte at the end of `text`
// kept back for the next call.
std::string terminal_bytes(FILE* f, std::string_view text);

// A write or flush of `f` failed, errno telling why.  On a pipe whose reader has gone
// (EPIPE) the process ends as a Unix filter ends, by SIGPIPE; a failure of standard output or
// standard error is noted for finish_standard_streams.
void write_failed(FILE* f);

// Flushes `f`; a failure goes to write_failed.
void std_flush(FILE* f);

// At exit: flushes standard output and standard error.  When a write or flush of either has
// failed, the failure is reported once on standard error while that still works ("error:
// Cannot write standard output"), and the result is true: the process then ends with a
// failure status whatever the script asked for.
bool finish_standard_streams();

// Writes `text` to `f`, LF as CR LF unless the stream is in binary mode.
void std_write(FILE* f, std::string_view text);
void std_printf(FILE* f, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace ruvo
