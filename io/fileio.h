// The file I/O built-ins (open, close, gets, puts, print, printf, sprintf, read, write, chr,
// ord, format, ...) and the default files they share with the input-file driver.
//
// A function whose file argument is optional uses the file object held by the script
// variable `stdin` (reading) or `stdout` (writing), looked up by name at each call: first
// through the scopes of the current function, then the global scope, so that a script may
// redirect output by assigning its own `stdout`.  A variable holding anything but a file
// object counts as no file.
#pragma once

#include "io/file.h"

namespace ruvo {

enum class StdFile { In, Out };

// The file object `stdin` or `stdout` holds now, or null.
VFile* std_file(StdFile which);

} // namespace ruvo
