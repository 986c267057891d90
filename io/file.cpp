#include "io/file.h"
#include "io/stdstream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/sjis.h"
#include "core/string.h"
#include "core/text.h"
#include "io/codec.h"
#include "io/interrupt.h"
#include "io/ostext.h"

namespace ruvo {

FileLimits file_limits;

namespace {

// A line read goes into a buffer kept from a dead string when there is one: most lines are
// longer than what a string holds inline.
constexpr size_t kLineGuess = 64;

// Translates a mode string of the C library ("r", "w", "a", then any of "+", "b", "t", "x")
// into what fopen gets; false for anything else.  "e" is always added: child processes of
// system() do not inherit the script's files.
bool fopen_mode(std::string_view mode, std::string& out, bool& binary) {
    if (mode.empty() || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) return false;
    bool plus = false, excl = false;
    binary = false;
    for (char c : mode.substr(1)) {
        switch (c) {
        case '+': plus = true; break;
        case 'b': binary = true; break;
        case 't': break;
        case 'x': excl = true; break;
        default: return false;
        }
    }
    out.assign(1, mode[0]);
    if (plus) out += '+';
    if (excl) out += 'x';
    out += 'e';
    return true;
}

// The position the next write lands at.  A stream opened with "a+" reports 0 before its first
// write, although its writes go to the end.
off_t write_position(FILE* f) {
    off_t pos = ftello(f);
    if (pos != 0) return pos;
    int flags = fcntl(fileno(f), F_GETFL);
    struct stat st;
    if (flags != -1 && (flags & O_APPEND) && std::fflush(f) == 0 && fstat(fileno(f), &st) == 0)
        return st.st_size;
    return pos;
}

// Every encoding keeps ASCII as it is: such text needs no conversion.
bool is_ascii(std::string_view s) {
    return ascii_prefix(s) == s.size();
}

} // namespace

VFile::~VFile() {
    if (!stream_ || !owned_) return;
    bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!closed && guard_) guard_->failed(*this, false);
}

bool VFile::open(std::string_view name, std::string_view mode) {
    close();
    std::string cmode;
    bool binary_mode;
    // A NUL inside the name would open a shorter name than the script gave.
    if (!fopen_mode(mode, cmode, binary_mode) || name.find('\0') != std::string_view::npos)
        return false;
    FILE* f = std::fopen(name_to_os(name).c_str(), cmode.c_str());
    if (!f) return false;
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        errno = EISDIR;
        return false;
    }
    stream_ = f;
    owned_ = true;
    terminal_ = false;
    stream_binary_ = binary_mode || binary_;
    last_ = LastOp::None;
    return true;
}

int VFile::close() {
    if (!stream_) return -1;
    int status = -1;
    bool failed = false;
    if (owned_) {
        status = std::fclose(stream_) == 0 ? 0 : -1;
        failed = status != 0;
    } else if (last_ == LastOp::Write && std::fflush(stream_) != 0) {
        write_failed(stream_); // borrowed: what was written still goes out, the stream stays
    }
    std::unique_ptr<StreamGuard> guard = std::move(guard_);
    forget_stream();
    if (failed && guard) guard->failed(*this, true);
    return status;
}

void VFile::attach(FILE* stream) {
    if (stream_ != stream) close();
    stream_ = stream;
    owned_ = false;
    terminal_ = false;
    stream_binary_ = binary_;
    note_stream_mode(stream_, stream_binary_);
    last_ = LastOp::None;
}

void VFile::write_error() {
    write_failed(stream_);
    if (guard_) {
        std::unique_ptr<StreamGuard> guard = std::move(guard_);
        guard->failed(*this, true);
    }
}

void VFile::forget_stream() {
    guard_.reset();
    stream_ = nullptr;
    last_ = LastOp::None;
}

void VFile::before_read() {
    if (last_ == LastOp::Write) fseeko(stream_, 0, SEEK_CUR);
    last_ = LastOp::Read;
}

void VFile::before_write() {
    if (last_ == LastOp::Read) fseeko(stream_, 0, SEEK_CUR);
    last_ = LastOp::Write;
}

int VFile::get_byte() {
    return get_translated(stream_, stream_binary_);
}

size_t VFile::put_bytes(std::string_view bytes, bool translate) {
    if (!stream_ || bytes.empty()) return 0;
    if (terminal_) {
        // What the terminal gets is UTF-8; the caller counts the bytes it gave.
        std::string shown = terminal_bytes(stream_, bytes);
        terminal_ = false;
        size_t done = shown.empty() ? bytes.size() : put_bytes(shown, translate);
        terminal_ = true;
        return done == shown.size() ? bytes.size() : std::min(done, bytes.size());
    }
    before_write();
    size_t done = 0;
    if (!translate || stream_binary_) {
        done = fwrite_unlocked(bytes.data(), 1, bytes.size(), stream_);
    } else {
        FILE* f = stream_;
        while (done < bytes.size()) {
#ifdef __GLIBC__
            // While the stream's buffer has room, a run up to the next LF goes straight into
            // it (what putc does byte by byte): a short line costs no call.  Line-buffered and
            // unbuffered streams keep no room, so they take the calls below.
            if (f->_IO_write_ptr < f->_IO_write_end) {
                size_t room = static_cast<size_t>(f->_IO_write_end - f->_IO_write_ptr);
                if (room >= 2) {
                    size_t n = std::min(bytes.size() - done, room - 1);
                    const char* from = bytes.data() + done;
                    const void* hit = std::memchr(from, '\n', n);
                    size_t len = hit ? static_cast<size_t>(static_cast<const char*>(hit) - from) : n;
                    std::memcpy(f->_IO_write_ptr, from, len);
                    f->_IO_write_ptr += len;
                    done += len;
                    if (hit) {
                        *f->_IO_write_ptr++ = '\r';
                        *f->_IO_write_ptr++ = '\n';
                        ++done;
                    }
                    continue;
                }
            }
#endif
            size_t lf = bytes.find('\n', done);
            size_t end = lf == std::string_view::npos ? bytes.size() : lf;
            size_t len = end - done;
            if (len) {
                size_t w = fwrite_unlocked(bytes.data() + done, 1, len, stream_);
                done += w;
                if (w < len) break;
            }
            if (lf == std::string_view::npos) break;
            if (fwrite_unlocked("\r\n", 1, 2, stream_) < 2) break;
            ++done;
        }
    }
    if (done < bytes.size()) write_error();
    return done;
}

// Appends up to `limit` bytes of the line to `line`: through LF, or to the end of the file.
// The stream's buffer is scanned in place with memchr, as getc_unlocked itself reads it, so
// a line costs no call per byte and the stream's own state (end of file, pushback, position)
// stays what the C library keeps.
void VFile::read_line(std::string& line, size_t limit) {
    FILE* f = stream_;
    while (line.size() < limit) {
#ifdef __GLIBC__
        if (f->_IO_read_ptr < f->_IO_read_end) {
            const char* p = f->_IO_read_ptr;
            size_t n =
                std::min<size_t>(static_cast<size_t>(f->_IO_read_end - p), limit - line.size());
            const void* lf = std::memchr(p, '\n', n);
            if (lf) n = static_cast<size_t>(static_cast<const char*>(lf) - p) + 1;
            line.append(p, n);
            f->_IO_read_ptr += n;
            if (lf) return;
            continue;
        }
#endif
        int c = getc_unlocked(f); // refills the buffer, or meets the end
        if (c == EOF) return;
        line.push_back(static_cast<char>(c));
        if (c == '\n') return;
    }
}

namespace {
// Whether the stream's buffer holds bytes not read yet (with another C library: assumed, so
// that no wait is made in front of them).
bool input_buffered(FILE* f) {
#ifdef __GLIBC__
    return f->_IO_read_ptr < f->_IO_read_end;
#else
    (void)f;
    return true;
#endif
}
} // namespace

std::string VFile::gets() {
    std::string line = string_buffers.take(kLineGuess);
    if (!stream_) return line;
    before_read();
    // Ctrl-C in talk mode ends the wait for a line with nothing read.
    if (!input_buffered(stream_) && !wait_for_input(fileno(stream_))) return line;
    read_line(line, file_limits.line);
    // Turning a final CR LF into LF is exactly the byte-wise translation: a CR elsewhere in
    // the line is not followed by LF, and a CR at the end of the file stays.
    size_t len = line.size();
    if (!stream_binary_ && len >= 2 && line[len - 1] == '\n' && line[len - 2] == '\r') {
        line[len - 2] = '\n';
        line.pop_back();
    }
    if (decoder_ && !is_ascii(line)) return decoder_(line);
    if (terminal_ && !is_ascii(line)) return os_to_text(line);
    return line;
}

bool VFile::puts(std::string_view text) {
    if (!stream_ || text.empty()) return false;
    if (encoder_ && !is_ascii(text)) return put_bytes(encoder_(text), true) > 0;
    return put_bytes(text, true) > 0;
}

std::string VFile::read(size_t n) {
    std::string out;
    if (!stream_ || n == 0) return out;
    before_read();
    if (stream_binary_) {
        // Grow as the data comes, so that a huge count on a short file costs what is there.
        size_t chunk = 1 << 16;
        while (out.size() < n) {
            size_t want = std::min(n - out.size(), chunk);
            size_t old = out.size();
            out.resize(old + want);
            size_t got = fread_unlocked(out.data() + old, 1, want, stream_);
            out.resize(old + got);
            if (got < want) break;
            chunk = std::min<size_t>(chunk * 2, 1 << 24);
        }
    } else {
        while (out.size() < n) {
            int c = get_byte();
            if (c == EOF) break;
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

size_t VFile::write(std::string_view bytes) {
    return put_bytes(bytes, true);
}

bool VFile::eof() {
    // A read error counts as the end: a loop waiting for eof() must not spin forever.
    return !stream_ || feof(stream_) || ferror(stream_);
}

bool VFile::rewind() {
    if (!stream_ || fseeko(stream_, 0, SEEK_SET) != 0) return false;
    clearerr(stream_);
    last_ = LastOp::None;
    return true;
}

bool VFile::flush() {
    if (!stream_) return false;
    if (std::fflush(stream_) == 0) return true;
    write_error();
    return false;
}

bool VFile::binmode() {
    return set_translation(true);
}
bool VFile::txtmode() {
    return set_translation(false);
}

bool VFile::set_translation(bool binary) {
    if (!stream_) return false;
    if (last_ == LastOp::Write && std::fflush(stream_) != 0) {
        write_error();
        if (!stream_) return false;
    }
    stream_binary_ = binary;
    binary_ = binary;
    note_stream_mode(stream_, binary);
    return true;
}

VFileEuc::VFileEuc() : VFile(euc_to_sjis, sjis_to_euc) {}
VFileUtf8::VFileUtf8() : VFile(utf8_to_sjis, sjis_to_utf8) {}

std::string VFileUtf16::gets() {
    if (!stream_) return {};
    before_read();
    const bool text = text_mode();
    // The units are read raw: a byte pair 0D 0A inside UTF-16 text is no line end.
    std::string units;
    while (units.size() < file_limits.line) {
        int lo = get_raw();
        if (lo == EOF) break;
        int hi = get_raw();
        if (hi == EOF) break; // an odd last byte is no unit
        unsigned u = static_cast<unsigned>(lo) | static_cast<unsigned>(hi) << 8;
        if (u == 0xFEFF || u == 0xFFFE) continue;
        if (text && u == '\r') {
            units.append("\n\0", 2);
            // Consume the LF of a CR LF pair; any other unit is put back for the next read.
            int a = get_raw();
            if (a != EOF) {
                int b = get_raw();
                if (b != EOF && !(a == '\n' && b == 0)) {
                    ungetc(b, stream_);
                    ungetc(a, stream_);
                }
            }
            break;
        }
        units.push_back(static_cast<char>(lo));
        units.push_back(static_cast<char>(hi));
        if (u == '\n') break;
    }
    return utf16_to_sjis(units);
}

bool VFileUtf16::puts(std::string_view text) {
    if (!stream_) return false;
    std::string units = sjis_to_utf16(text);
    if (units.empty()) return false;
    const bool text_lines = text_mode();
    before_write();
    std::string out;
    out.reserve(units.size() + 16);
    if (write_position(stream_) == 0) out += "\xFF\xFE";
    for (size_t i = 0; i + 1 < units.size(); i += 2) {
        if (text_lines && units[i] == '\n' && units[i + 1] == 0) out.append("\r\0", 2);
        out.append(units, i, 2);
    }
    return put_bytes(out, false) > 0;
}

VFile* make_file(std::string_view encoding) {
    if (iequals_ascii(encoding, "sjis")) return new VFileSjis();
    if (iequals_ascii(encoding, "euc")) return new VFileEuc();
    if (iequals_ascii(encoding, "utf8")) return new VFileUtf8();
    if (iequals_ascii(encoding, "utf16")) return new VFileUtf16();
    return nullptr;
}

} // namespace ruvo
