// The bridge to the preprocessor library: runs cpp_main on one script and writes the text the
// scanner reads.  The output goes to a private temporary file (mkstemp in TMPDIR), so that a
// script in a read-only directory works and two runs of one script do not share a file.
#pragma once

#include <string>

#include "pp/cpp_main.h"

namespace ruvo {

// Runs the preprocessor on `input`, writing `output`; 0 means success, and
// kPreprocessOutOfMemory that memory ran out (the preprocessor printed nothing then).
int preprocess(const char* input, const char* output);

// A new empty private file for preprocessed text; its path, or "" when none can be made.
std::string make_preprocess_temp();

} // namespace ruvo
