// Process-wide state of the host driver: what the command line set for the rest of the
// process (the in-place flag, the preprocessor options, the input files and how far they
// have been read, the executable's directory, whether the caller has a console).
#pragma once

#include <string>
#include <vector>

namespace ruvo {

struct DriverState {
    bool inplace = false;                 // -x
    bool preprocess = true;               // -N clears it
    std::vector<std::string> pp_options;  // -D, -U, -I arguments as given
    std::vector<std::string> input_files; // after wildcard expansion
    size_t next_input = 0;
    std::string exe_dir;                  // with its trailing "/"
    bool windowed = false;
};

extern DriverState driver;

extern const char kBanner[];

// Talk mode: reads lines from standard input until its end or ".quit".
void talk_mode();

} // namespace ruvo
