// Run units: the three ways a piece of script text is parsed and executed at the top level
// (the driver's script and start-up files, talk mode, the eval() built-in).
//
// A run unit owns its syntax tree and frees it when the run ends; the functions the parse
// defined stay in the function table.  Whatever happens inside, it leaves the scope stack at
// the depth it found: script errors are printed to standard error (the message and a line
// feed) and give the result null, an exit request ends only this run unit and its value is
// the result, and a break or continue that escapes the program is reported as
// "Bad break or continue".
//
// [failed], when given, tells whether the run ended in failure: a syntax error, a file that
// could not be opened, a preprocessor failure, or an uncaught script error (the escaping
// break or continue and running out of memory included).  An exit request is not a failure.
// The driver turns a failed run of the user's script into exit status 255.
#pragma once

#include <string_view>

#include "core/value.h"

namespace ruvo {

// Parses and runs program text (no file name: errors say "error [line]: ...").
Value run_text(std::string_view text, bool* failed = nullptr);
// Parses and runs a file as it stands.
Value run_file_unprocessed(const char* path, bool* failed = nullptr);
// Preprocesses, parses and runs a file; a preprocessor failure (it reports its own errors)
// runs nothing and gives null.
Value run_file(const char* path, bool* failed = nullptr);

} // namespace ruvo
