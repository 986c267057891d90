#include "gfx/picture.h"

namespace ruvo::gfx {

void Picture::reset(int w, int h) {
    int stride = (w * 3 + 3) & ~3;
    std::vector<unsigned char> bytes(static_cast<size_t>(stride) * static_cast<size_t>(h));
    bytes_.swap(bytes);
    width_ = w;
    height_ = h;
    stride_ = stride;
}

namespace {

void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void append_info_header(std::string& out, const Picture& p) {
    put32(out, 40); // header size
    put32(out, static_cast<uint32_t>(p.width()));
    put32(out, static_cast<uint32_t>(p.height())); // positive: bottom-up rows
    put16(out, 1);                                 // planes
    put16(out, 24);                                // bits per pixel
    for (int i = 0; i < 6; ++i) put32(out, 0);     // compression, image size, resolutions, colours
}

} // namespace

std::string picture_dib(const Picture& p) {
    std::string out;
    out.reserve(40 + p.size());
    append_info_header(out, p);
    out.append(reinterpret_cast<const char*>(p.bytes()), p.size());
    return out;
}

std::string picture_bmp(const Picture& p) {
    std::string out;
    out.reserve(54 + p.size());
    out += "BM";
    put32(out, 0);  // file size: left 0
    put32(out, 0);  // two reserved words
    put32(out, 54); // offset of the pixel bytes
    append_info_header(out, p);
    out.append(reinterpret_cast<const char*>(p.bytes()), p.size());
    return out;
}

} // namespace ruvo::gfx
