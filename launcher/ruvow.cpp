// The windowed launcher: the same interpreter, but talk mode is never entered.
#include "launcher/launch.h"

int main(int argc, char** argv) {
    return launch_interpreter(argc, argv, 1);
}
