#include "front/source.h"

#include <cstdio>
#include <cstring>

#include "core/sjis.h"
#include "io/ostext.h"

namespace ruvo {

FrontState frontend;

namespace {

// Windows text mode reads CR LF as LF; a lone CR stays.
void crlf_to_lf(std::string& s) {
    size_t out = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        s[out++] = s[i];
    }
    s.resize(out);
}

std::string_view cut_at_nul(std::string_view s) {
    size_t z = s.find('\0');
    return z == std::string_view::npos ? s : s.substr(0, z);
}

} // namespace

std::string front_sjis_to_euc(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (is_sjis_lead(c) && i + 1 < s.size() &&
            is_sjis_trail(static_cast<unsigned char>(s[i + 1]))) {
            unsigned t = static_cast<unsigned char>(s[++i]);
            unsigned e1 = c <= 0x9F ? 2 * c + 0x1F : 2 * c - 0x61;
            if (t >= 0x9F) ++e1;
            unsigned e2 = t < 0x7F ? t - 0x1F : t <= 0x9E ? t - 0x20 : t - 0x7E;
            out += static_cast<char>((e1 & 0xFF) | 0x80);
            out += static_cast<char>((e2 & 0xFF) | 0x80);
        } else if (c >= 0xA1 && c <= 0xDF) {
            out += '\x8E';
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string front_euc_to_sjis(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80 || i + 1 == s.size()) {
            out += static_cast<char>(c); // ASCII, or a lone high byte left at the end
        } else if (c == 0x8E) {
            out += s[++i];
        } else if (c == 0x8F) {
            i += 2; // three-byte characters (JIS X 0212) have no Shift_JIS form
        } else {
            unsigned e1 = c & 0x7F, e2 = static_cast<unsigned char>(s[++i]) & 0x7F;
            unsigned s1 = e1 < 0x5F ? (e1 + 0xE1) / 2 : (e1 + 0x161) / 2;
            unsigned s2 = (c % 2 == 0) ? e2 + 0x7E : e2 < 0x60 ? e2 + 0x1F : e2 + 0x20;
            out += static_cast<char>(s1 & 0xFF);
            out += static_cast<char>(s2 & 0xFF);
        }
    }
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

bool EucFile::openFile(const char* path, bool utf8_scripts) {
    FILE* f = std::fopen(name_to_os(path).c_str(), "rb");
    if (!f) return false;
    std::string raw;
    char piece[1024];
    size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, f)) > 0) raw.append(piece, got);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    crlf_to_lf(raw);
    if (failed || raw.empty()) return false;
    if (utf8_scripts) {
        script_text_result utf8 = script_text_from_utf8(raw);
        if (utf8.converted) {
            raw = std::move(utf8.text);
            bad_line_ = utf8.bad_line;
        }
    }
    text_ = front_sjis_to_euc(cut_at_nul(raw));
    pos_ = 0;
    return true;
}

void EucFile::openText(std::string_view text) {
    text_ = front_sjis_to_euc(cut_at_nul(text));
    pos_ = 0;
}

size_t EucFile::read(char* buffer, size_t n) {
    size_t k = std::min(n, text_.size() - pos_);
    std::memcpy(buffer, text_.data() + pos_, k);
    pos_ += k;
    return k;
}

namespace {
void new_source(const char* name) {
    scan_pos.line = 1;
    scan_pos.file = frontend.fids.intern(name);
    frontend.reader.reset();
    resetScanner();
}
} // namespace

bool setSourceFile(const char* name, bool utf8_scripts) {
    new_source(name);
    if (!name) return false;
    auto r = std::make_unique<EucFile>();
    if (!r->openFile(name, utf8_scripts)) return false;
    frontend.reader = std::move(r);
    return true;
}

void setSourceText(std::string_view text) {
    new_source(nullptr);
    frontend.reader = std::make_unique<EucFile>();
    frontend.reader->openText(text);
}

} // namespace ruvo
