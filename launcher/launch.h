// Shared body of the two launchers: run ruvo_main on a thread with a stack large enough for
// the evaluator's recursion, and hand back its exit code.
#pragma once

int launch_interpreter(int argc, char** argv, int windowed);
