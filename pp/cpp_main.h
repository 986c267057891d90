// Entry point of libruvopp.so, the RUVO preprocessor, which the interpreter calls before it
// parses a script.  Arguments: argv[0] (ignored), then -DNAME, -DNAME=VALUE, -UNAME, -IPATH
// (searched by #include after the including file's directory), -o<path> (the output file; "-o"
// alone takes the next argument; without it the text goes to standard output) and the input
// path (the last argument that is not an option).  -D, -U and -I with nothing after them are
// ignored.  Options take effect in the order given.  Returns 0 on success;
// kPreprocessOutOfMemory when memory ran out (nothing is printed: the caller says so in its
// own words); otherwise the errors were printed to standard error as "file:line: message".
// On failure nothing is left at the output path.
#pragma once

inline constexpr int kPreprocessOutOfMemory = 3;

extern "C" __attribute__((visibility("default"))) int cpp_main(int argc, char** argv);
