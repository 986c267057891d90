// The routines behind the language's operators: arithmetic with element-wise application to
// arrays, string concatenation, comparison, loose and strict equality, bit operations and
// shifts, and matching.  Each takes its operands and the line for error messages and returns
// a new value; none changes its operands.  Failures are script errors with the operator's
// own message ("Bad type operation in operator +").
#pragma once

#include <string_view>

#include "core/value.h"

namespace ruvo {

enum class ArithOp { Add, Sub, Mul, Div, Mod, IDiv, Pow };
enum class CmpOp { Lt, Le, Gt, Ge };
enum class BitOp { And, Or, Xor, Shl, Shr, UShr };

Value op_arith(ArithOp op, const Value& a, const Value& b, int line);
Value op_neg(const Value& a, int line);
// `+` of two operands, neither an array, at least one a string: the plain forms joined.
Value concat_plain(const CellData& a, const CellData& b);
// `<` `<=` `>` `>=`: false when either is NaN; strings compare by plain form bytes.
bool op_compare(CmpOp op, const Value& a, const Value& b, int line);
bool op_equal(const Value& a, const Value& b);        // ==
// The byte order of two strings: negative, zero or positive (a proper prefix first).
int compare_bytes(std::string_view x, std::string_view y);
bool op_strict_equal(const Value& a, const Value& b); // ===
Value op_bitnot(const Value& a, int line);
Value op_bit(BitOp op, const Value& a, const Value& b, int line);
class VArray;
// True when some array object is reachable from [root] twice: it contains itself, or one
// array is held in two places of the structure.
bool has_repeated_array(const VArray* root);

// =~ (negate false) and !~ (negate true): one operand a regexp, the other a string.
bool op_match(const Value& a, const Value& b, bool negate, int line);

} // namespace ruvo
