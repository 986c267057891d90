// What the interpreter itself writes to the standard streams (error messages, the usage
// text, talk mode's prompt and results) follows the stream's translation mode like the
// script's own output: in text mode every LF goes out as CR LF.  The mode of a standard
// stream belongs to the stream, so a file object attached to it that switches with binmode
// or txtmode switches it for these writes too.
#pragma once

#include <cstdio>
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

// Writes `text` to `f`, LF as CR LF unless the stream is in binary mode.
void std_write(FILE* f, std::string_view text);
void std_printf(FILE* f, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace ruvo
