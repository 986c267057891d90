// The off-screen picture: a 24-bit bottom-up bitmap, the form the window copies to the screen,
// the clipboard receives and a saved file holds.  Each row is width x 3 bytes blue, green,
// red, padded to a multiple of 4 (the stride); row 0 of the memory is the picture's bottom
// row, so pixel (x, y) with y counted from the top lies at (height - y - 1) x stride + 3x.
//
// Colours are 0x00BBGGRR (red in the low byte), the form the script functions take and give.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ruvo::gfx {

using Colour = uint32_t;

inline int colour_red(Colour c) { return static_cast<int>(c & 0xFF); }
inline int colour_green(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int colour_blue(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

class Picture {
public:
    Picture() { reset(1, 1); }

    // A new w x h picture, all black.  Throws std::bad_alloc when the memory is not there
    // (the old picture then stays).
    void reset(int w, int h);

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // The first byte of row y counted from the top.
    unsigned char* row(int y) { return bytes_.data() + offset(0, y); }
    const unsigned char* row(int y) const { return bytes_.data() + offset(0, y); }
    const unsigned char* bytes() const { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }

    // Pixel access; (x, y) must lie inside.
    void set(int x, int y, Colour c) {
        unsigned char* p = bytes_.data() + offset(x, y);
        p[0] = static_cast<unsigned char>(colour_blue(c));
        p[1] = static_cast<unsigned char>(colour_green(c));
        p[2] = static_cast<unsigned char>(colour_red(c));
    }
    Colour get(int x, int y) const {
        const unsigned char* p = bytes_.data() + offset(x, y);
        return static_cast<Colour>(p[2]) | static_cast<Colour>(p[1]) << 8 |
               static_cast<Colour>(p[0]) << 16;
    }

private:
    size_t offset(int x, int y) const {
        return static_cast<size_t>(height_ - y - 1) * static_cast<size_t>(stride_) +
               static_cast<size_t>(x) * 3;
    }

    int width_ = 0, height_ = 0, stride_ = 0;
    std::vector<unsigned char> bytes_;
};

// The 40-byte bitmap info header followed by the pixel bytes: the clipboard's bitmap form.
std::string picture_dib(const Picture& p);
// A BMP file: the 14-byte file header ("BM", size field 0, reserved 0, pixel offset 54), the
// info header (size 40, width, positive height, 1 plane, 24 bits, no compression, every other
// field 0: image size and resolutions included), then stride x height pixel bytes.
std::string picture_bmp(const Picture& p);

} // namespace ruvo::gfx
