// Colour arguments of the graphics built-ins, and colours given back as [r, g, b].
#pragma once

#include "core/value.h"
#include "gfx/picture.h"

namespace ruvo::gfx {

// One colour argument: [r, g, b] (truncated, not clamped), "#RRGGBB", or a number read as
// 0xRRGGBB.  Any seven characters after a "#" are a colour (a pair that is not two hex digits
// reads as its leading digit, or 0); another string raises "Cannot convert arg to color" and
// anything else "Cannot convert arg to number".
Colour arg_colour(const CellData& v, int line);
// Three arguments r, g, b: numbers, truncated and clamped to 0..255.
Colour arg_rgb(const CellData& r, const CellData& g, const CellData& b, int line);
// The new array [r, g, b].
Value colour_array(Colour c);

} // namespace ruvo::gfx
