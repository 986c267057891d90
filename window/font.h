// Text faces for the window module: FreeType faces found through fontconfig, rendered 1 bit
// deep.  Called on the script thread under the graphics lock (gfx/backend.h).
#pragma once

#include "gfx/backend.h"

namespace ruvo::window {

void* font_open(const char* family_utf8, int height, double angle, int japanese_fallback);
void font_close(void* font);
void font_metrics(void* font, int* height, int* ascent, int* average_width);
int font_advance(void* font, unsigned int code);
int font_render(void* font, unsigned int code, double x, double y, gfx_glyph* out);

} // namespace ruvo::window
