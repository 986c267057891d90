// Text drawing: walks Shift_JIS text from its start point and draws each character's glyph
// into the canvas in the current colour, 1 bit deep on a transparent background.
//
// The walk (x along the baseline from the start, y the line's offset below the start line):
// - a lead byte followed by a trail byte is one character; a half-width katakana byte
//   (0xA1-0xDF) is one character too, drawn with its half-width glyph;
// - LF returns x to 0 and moves down one font height; CR is ignored; TAB moves x to the next
//   multiple of 4 average character widths;
// - a printable ASCII byte or a character is measured; when it would end beyond the view's
//   right edge it starts a new line first; it is drawn and x moves on by its width;
// - other bytes are skipped.
// With an angle the whole block turns about the start point: the baseline runs at the angle
// (counter-clockwise on the screen), LF moves along the baseline's perpendicular and TAB
// along the baseline; a character wraps when its end on the screen would pass the view's
// right edge.
#pragma once

#include <string_view>

#include "gfx/backend.h"
#include "gfx/canvas.h"

namespace ruvo::gfx {

struct TextFont {
    const gfx_backend* ops = nullptr;
    void* face = nullptr;
    double angle = 0; // radians
    int height = 0, ascent = 0, average_width = 0;
};

// Draws text with its top-left at world point (x, y).
void draw_text(Canvas& canvas, const TextFont& font, double x, double y, std::string_view text);

} // namespace ruvo::gfx
