// Shared body of the two launchers: run ruvo_main with a stack large enough for the
// evaluator's recursion (the main thread's when its limit allows 8 MiB, else a thread of
// that size), and hand back its exit code.
#pragma once

int launch_interpreter(int argc, char** argv, int windowed);
