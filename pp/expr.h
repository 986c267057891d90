// Integer expressions of #if and #elif.  The tokens arrive with "defined" already replaced and
// macros expanded; identifiers that are left count as 0.  Arithmetic is 64-bit signed with
// wrap-around (never undefined behaviour), C operators with C precedence, the comma operator
// included.  Operands that are not evaluated (the right of a decided && or ||, the untaken arm
// of ?:) are parsed but cannot fail, so "0 && 1/0" is 0.  Nesting is capped instead of
// recursing without bound.
#pragma once

#include <cstdint>
#include <string>

#include "pp/token.h"

namespace ruvopp {

// Evaluates [tokens] into [value]; on a malformed expression returns false and sets [error].
bool eval_expression(const TokenList& tokens, int64_t& value, std::string& error,
                     int max_depth = 256);

} // namespace ruvopp
