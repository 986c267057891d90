// The one entry point the interpreter library exports.  The launchers call it once per
// process; everything else in libruvo.so is hidden.
#pragma once

#define RUVO_EXPORT __attribute__((visibility("default")))

extern "C" RUVO_EXPORT int ruvo_main(int argc, char** argv, char** envp, int windowed);
