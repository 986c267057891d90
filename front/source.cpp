#include "front/source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/sjis.h"
#include "io/ostext.h"

namespace ruvo {

FrontState frontend;

namespace {

// Windows text mode reads CR LF as LF; a lone CR stays.
void crlf_to_lf(std::string& s) {
    size_t i = s.find('\r');
    if (i == std::string::npos) return;
    size_t out = i;
    for (; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        s[out++] = s[i];
    }
    s.resize(out);
}

std::string_view cut_at_nul(std::string_view s) {
    size_t z = s.find('\0');
    return z == std::string_view::npos ? s : s.substr(0, z);
}

// Appends the converted form of [s] to [out], which has room reserved for it.  ASCII runs
// are copied whole; [convert] takes the rest one character at a time and returns the index
// after it.
template <class Convert>
void convert_runs(std::string_view s, std::string& out, Convert convert) {
    for (size_t i = 0; i < s.size();) {
        size_t run = ascii_prefix(s.substr(i));
        out.append(s.data() + i, run);
        i += run;
        if (i < s.size()) i = convert(i);
    }
}

} // namespace

std::string front_sjis_to_euc(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8 + 2);
    convert_runs(s, out, [&](size_t i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (is_sjis_lead(c) && i + 1 < s.size() &&
            is_sjis_trail(static_cast<unsigned char>(s[i + 1]))) {
            unsigned t = static_cast<unsigned char>(s[i + 1]);
            unsigned e1 = c <= 0x9F ? 2 * c + 0x1F : 2 * c - 0x61;
            if (t >= 0x9F) ++e1;
            unsigned e2 = t < 0x7F ? t - 0x1F : t <= 0x9E ? t - 0x20 : t - 0x7E;
            out += static_cast<char>((e1 & 0xFF) | 0x80);
            out += static_cast<char>((e2 & 0xFF) | 0x80);
            return i + 2;
        }
        if (c >= 0xA1 && c <= 0xDF) out += '\x8E';
        out += static_cast<char>(c);
        return i + 1;
    });
    return out;
}

std::string front_euc_to_sjis(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    convert_runs(s, out, [&](size_t i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (i + 1 == s.size()) {
            out += static_cast<char>(c); // a lone high byte left at the end
            return i + 1;
        }
        if (c == 0x8E) {
            out += s[i + 1];
            return i + 2;
        }
        if (c == 0x8F) return i + 3; // three-byte characters (JIS X 0212) have no Shift_JIS form
        unsigned e1 = c & 0x7F, e2 = static_cast<unsigned char>(s[i + 1]) & 0x7F;
        unsigned s1 = e1 < 0x5F ? (e1 + 0xE1) / 2 : (e1 + 0x161) / 2;
        unsigned s2 = (c % 2 == 0) ? e2 + 0x7E : e2 < 0x60 ? e2 + 0x1F : e2 + 0x20;
        out += static_cast<char>(s1 & 0xFF);
        out += static_cast<char>(s2 & 0xFF);
        return i + 2;
    });
    return out;
}

void FIDMan::alias(std::string_view path, std::string_view shown) {
    aliases_.emplace_back(std::string(path), std::string(shown));
}

std::string_view FIDMan::shown(std::string_view path) const {
    for (const auto& [p, s] : aliases_)
        if (p == path) return s;
    return path;
}

void set_display_name(std::string_view path, std::string_view shown) {
    frontend.fids.alias(path, shown);
}

int32_t FIDMan::intern(std::string_view name) {
    if (name.empty()) return -1;
    name = shown(name);
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i] == name) return static_cast<int32_t>(i);
    names_.emplace_back(name);
    return static_cast<int32_t>(names_.size() - 1);
}

const char* FIDMan::lookup(int32_t id) const {
    if (id < 0 || static_cast<size_t>(id) >= names_.size()) return nullptr;
    return names_[static_cast<size_t>(id)].c_str();
}

EucFile::Status EucFile::openFile(const char* path, bool utf8_scripts) {
    int fd = ::open(name_to_os(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Unreadable;
    // Closed on every way out, running out of memory while the text grows included.
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) ::close(fd);
        }
    } closer{fd};
    std::string raw;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        raw.reserve(std::min(static_cast<size_t>(st.st_size), kMaxSourceBytes));
    // A pipe, a terminal or a device is read like a file, up to its end or the bound.
    Status status = Ok;
    char piece[65536];
    for (;;) {
        ssize_t got = ::read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) status = Unreadable;
            break;
        }
        if (raw.size() + static_cast<size_t>(got) > kMaxSourceBytes) {
            status = TooLarge;
            break;
        }
        raw.append(piece, static_cast<size_t>(got));
    }
    ::close(fd);
    closer.fd = -1;
    if (status != Ok) return status;
    if (raw.empty()) return Unreadable;
    raw.resize(cut_at_nul(raw).size());
    crlf_to_lf(raw);
    if (utf8_scripts) {
        script_text_result utf8 = script_text_from_utf8(raw);
        if (utf8.converted) {
            raw = std::move(utf8.text);
            bad_line_ = utf8.bad_line;
        }
    }
    take(raw);
    return Ok;
}

bool EucFile::openText(std::string_view text) {
    text = cut_at_nul(text);
    if (text.size() > kMaxSourceBytes) return false;
    take(text);
    return true;
}

void EucFile::take(std::string_view sjis) {
    text_ = front_sjis_to_euc(sjis);
    text_.append(2, '\0');
}

namespace {
void new_source(const char* name) {
    scan_pos.line = 1;
    scan_pos.file = frontend.fids.intern(name);
    frontend.too_large = false;
    resetScanner();
    frontend.reader.reset();
}

void scan_reader(std::unique_ptr<EucFile> r) {
    frontend.reader = std::move(r);
    scanBuffer(frontend.reader->scan_base(), frontend.reader->scan_size());
}
} // namespace

bool setSourceFile(const char* name, bool utf8_scripts) {
    new_source(name);
    if (!name) return false;
    auto r = std::make_unique<EucFile>();
    EucFile::Status status = r->openFile(name, utf8_scripts);
    frontend.too_large = status == EucFile::TooLarge;
    if (status != EucFile::Ok) return false;
    scan_reader(std::move(r));
    return true;
}

bool setSourceText(std::string_view text) {
    new_source(nullptr);
    auto r = std::make_unique<EucFile>();
    frontend.too_large = !r->openText(text);
    if (frontend.too_large) return false;
    scan_reader(std::move(r));
    return true;
}

} // namespace ruvo
