// The console launcher: the command users type.  Talk mode is available.
#include "launcher/launch.h"

int main(int argc, char** argv) {
    return launch_interpreter(argc, argv, 0);
}
