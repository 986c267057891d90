// Process-wide state of the host driver: what the command line set for the rest of the
// process (the preprocessor options, the executable's directory, whether the caller has a
// console).  The input files and the in-place flag live in host/input.h.
#pragma once

#include <string>
#include <vector>

namespace ruvo {

struct DriverState {
    bool preprocess = true;              // -N clears it
    std::vector<std::string> pp_options; // -D, -U, -I arguments as given
    std::string exe_dir;                 // with its trailing "/"
    bool windowed = false;
};

extern DriverState driver;

extern const char kBanner[];

// Talk mode: reads lines from standard input until its end or ".quit".
void talk_mode();

} // namespace ruvo
