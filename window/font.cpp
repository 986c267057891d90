// Face lookup: fontconfig always answers with some installed font, so a name counts as found
// only when one of the matched font's family names is the one asked for (case aside); else
// the caller keeps its font.  The default face, which Linux systems do not have, is stood in
// for by IPAGothic, or by whatever Japanese monospace face fontconfig offers.
//
// Sizes follow the desktop convention for a positive height: the height is the cell (ascent
// plus descent), and a line feed moves by exactly it; a negative height is the em size; 0
// means 12.
#include "window/font.h"

#include <cmath>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>
#include <string>

namespace ruvo::window {

namespace {

FT_Library library = nullptr;

struct Font {
    FT_Face face = nullptr;
    FT_Matrix turn{};
    bool turned = false;
    int height = 0, ascent = 0, average_width = 0;
};

// The file and face index of the installed font whose family is `family`; with `any`, of
// whatever font fontconfig matches best.
bool find_face(const char* family, const char* lang, bool any, std::string& file, int& index) {
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    if (lang) FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pat, &result);
    FcPatternDestroy(pat);
    if (!match) return false;
    bool found = any;
    FcChar8* name;
    for (int i = 0; !found && FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
        found = FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0;
    FcChar8* path;
    if (found && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        file = reinterpret_cast<const char*>(path);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    } else {
        found = false;
    }
    FcPatternDestroy(match);
    return found;
}

int pixels(FT_Pos v) {
    return static_cast<int>((v + 32) >> 6);
}

} // namespace

void* font_open(const char* family, int height, double angle, int japanese_fallback) {
    if (!library && (!FcInit() || FT_Init_FreeType(&library) != 0)) return nullptr;
    std::string file;
    int index = 0;
    bool found = find_face(family, nullptr, false, file, index);
    if (!found && japanese_fallback)
        found = find_face("IPAGothic", nullptr, false, file, index) ||
                find_face("monospace", "ja", true, file, index);
    if (!found) return nullptr;
    auto* f = new Font;
    if (FT_New_Face(library, file.c_str(), index, &f->face) != 0) {
        delete f;
        return nullptr;
    }
    int h = height == 0 ? 12 : std::abs(height);
    if (FT_IS_SCALABLE(f->face)) {
        FT_Size_RequestRec req{height > 0 ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL,
                               0, static_cast<FT_Long>(h) << 6, 0, 0};
        FT_Request_Size(f->face, &req);
    } else if (f->face->num_fixed_sizes > 0) {
        FT_Select_Size(f->face, 0);
    }
    const FT_Size_Metrics& m = f->face->size->metrics;
    f->ascent = pixels(m.ascender);
    f->height = pixels(m.ascender - m.descender);
    // The font's height is the one asked for, not the hinted metrics (which round the
    // ascender up and the descender down, a pixel more): a line feed of a 12-pixel font moves
    // 12 pixels.  An em size gives the cell it scales to.
    if (FT_FaceRec* fc = f->face; FT_IS_SCALABLE(fc) && fc->ascender - fc->descender > 0) {
        double cell = fc->ascender - fc->descender;
        double scale = height > 0 ? h / cell : static_cast<double>(h) / fc->units_per_EM;
        f->height = static_cast<int>(std::lround(cell * scale));
        f->ascent = static_cast<int>(std::lround(fc->ascender * scale));
    }
    f->average_width = font_advance(f, 'x');
    if (angle != 0) {
        f->turned = true;
        f->turn.xx = static_cast<FT_Fixed>(std::cos(angle) * 0x10000);
        f->turn.xy = static_cast<FT_Fixed>(-std::sin(angle) * 0x10000);
        f->turn.yx = static_cast<FT_Fixed>(std::sin(angle) * 0x10000);
        f->turn.yy = static_cast<FT_Fixed>(std::cos(angle) * 0x10000);
    }
    return f;
}

void font_close(void* font) {
    auto* f = static_cast<Font*>(font);
    FT_Done_Face(f->face);
    delete f;
}

void font_metrics(void* font, int* height, int* ascent, int* average_width) {
    auto* f = static_cast<Font*>(font);
    *height = f->height;
    *ascent = f->ascent;
    *average_width = f->average_width;
}

int font_advance(void* font, unsigned int code) {
    auto* f = static_cast<Font*>(font);
    FT_Set_Transform(f->face, nullptr, nullptr);
    if (FT_Load_Char(f->face, code, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return 0;
    return pixels(f->face->glyph->advance.x);
}

int font_render(void* font, unsigned int code, double x, double y, gfx_glyph* out) {
    auto* f = static_cast<Font*>(font);
    // The fractions of the pen position move the outline; FreeType's y runs upwards.
    FT_Vector delta{static_cast<FT_Pos>((x - std::floor(x)) * 64),
                    static_cast<FT_Pos>(-(y - std::floor(y)) * 64)};
    FT_Set_Transform(f->face, f->turned ? &f->turn : nullptr, &delta);
    if (FT_Load_Char(f->face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0)
        return 0;
    const FT_GlyphSlot g = f->face->glyph;
    if (g->bitmap.pixel_mode != FT_PIXEL_MODE_MONO || g->bitmap.pitch < 0) return 0;
    out->left = g->bitmap_left;
    out->top = g->bitmap_top;
    out->width = static_cast<int>(g->bitmap.width);
    out->rows = static_cast<int>(g->bitmap.rows);
    out->pitch = g->bitmap.pitch;
    out->bits = g->bitmap.buffer;
    return out->width > 0 && out->rows > 0;
}

} // namespace ruvo::window
