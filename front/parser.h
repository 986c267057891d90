// The parser's entry points.
//
// A parse is all-or-nothing: it returns the program's statement list, and commits the
// top-level function definitions to the function table in source order, only when the whole
// source parsed without a syntax error.  On failure it returns null, every node it built is
// freed and no function is defined.  Syntax errors go to standard error through
// report_parse_error, as "error [file:line]: message" or "error [line]: message".
#pragma once

#include <string_view>

#include "front/node.h"

namespace ruvo {

// Parses the source set with setSourceFile or setSourceText (front/source.h).
Context* parse();
// setSourceFile(path) and parse(); a file that cannot be read is reported as
// "Cannot open input file: <path>".  A file that declares UTF-8 is read as such unless
// [utf8_scripts] is false (the preprocessor's output is Shift_JIS already); a character it
// holds that Shift_JIS lacks is a syntax error at its line.
Context* parseFile(const char* path, bool utf8_scripts = true);
// setSourceText(text) and parse().
Context* parseText(std::string_view text);
// The number of syntax errors reported by the last parse.
int parseErrorCount();

// Writes a front-end error with the current file name and line to standard error.
void report_parse_error(const char* message);

} // namespace ruvo
