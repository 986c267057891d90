// Colour arguments of the graphics built-ins, and colours given back as [r, g, b].
#pragma once

#include "core/value.h"
#include "gfx/picture.h"

namespace ruvo::gfx {

// One colour argument: [r, g, b] (truncated, not clamped), "#RRGGBB", or a number read as
// 0xRRGGBB.  Raises "Cannot convert arg to color" for another string and "Cannot convert arg
// to number" for anything else.
Colour arg_colour(const CellData& v, int line);
// Three arguments r, g, b: numbers, truncated and clamped to 0..255.
Colour arg_rgb(const CellData& r, const CellData& g, const CellData& b, int line);
// The new array [r, g, b].
Value colour_array(Colour c);

} // namespace ruvo::gfx
