// Conversions of values: to boolean, to number, to text (the plain form used by printing,
// str() and concatenation) and the display form with quoting and nesting that talk mode
// shows; the three argument conversions of built-ins; and the process-wide number format
// ("%.10g" until format() changes it) through which numbers become text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/value.h"

namespace ruvo {

struct NumberFormatState {
    std::string format = "%.10g";
    bool is_default = true; // the format is "%.10g": the fast path applies
};
extern NumberFormatState number_format;

// Replaces the number format; returns the previous one.
std::string set_number_format(std::string_view fmt);

// The quiet NaN of failed conversions: every bit but the sign bit set.
double ruvo_nan();

bool to_bool(const CellData& v);
double to_number(const CellData& v);
// Like to_number, but false for what matches no form (null, objects, bad strings).
bool to_number_checked(const CellData& v, double& out);
// The string-to-number forms: decimal, 0x hex, 0 octal, 0b binary, blanks around allowed.
bool string_to_number(std::string_view s, double& out);

// Appends the plain form of v.
void append_plain(std::string& out, const CellData& v);
std::string plain_form(const CellData& v);
void append_number(std::string& out, double d);
// The default-format text of d ("%.10g", "NaN", "+Inf", "-Inf") into buf; its length.
constexpr size_t kNumberTextMax = 40;
size_t default_number_text(double d, char* buf);
// The plain form of v as a view, without building a string: a string's own bytes, a number in
// the default format (text in buf, kNumberTextMax bytes), the words for booleans and null.
// False for what needs append_plain (other objects, a number format set by the script).
bool short_plain(const CellData& v, char* buf, std::string_view& out);
// The display form at nesting depth `depth` (strings quoted, containers shown, "..." from
// depth 11 on).
std::string display_form(const CellData& v, int depth = 0);
// "<type:xxxxxxxx>" for objects without a text form.
void append_object_form(std::string& out, const VRef* o);

// Argument conversions of built-ins; each raises its message at `line`.
int32_t arg_int(const CellData& v, int line);             // "Cannot convert arg to integer"
double arg_number(const CellData& v, int line);           // "Cannot convert arg to number"
std::string_view arg_string(const CellData& v, int line); // "Cannot convert arg to string"

// The number truncated toward zero to a signed 64-bit integer (0 for NaN and out of range).
int64_t to_int64(double d);
// The number truncated toward zero, of which the low 32 bits are read as signed.
int32_t to_int32_wrap(double d);

} // namespace ruvo
