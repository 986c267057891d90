// The formatted-print engine behind printf, sprintf, errorf, gprintf and the conversion of
// numbers to text.  Directives take their values from `args` starting at `first`; a directive
// without a value left produces nothing, values left over are ignored, and one directive
// yields at most 2047 characters.  Every directive is rebuilt from its parsed parts before it
// reaches the C library, so no format text can make the library read a wrong argument type.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/value.h"

namespace ruvo {

void format_print(std::string& out, std::string_view fmt, std::span<const Value> args,
                  size_t first);

} // namespace ruvo
