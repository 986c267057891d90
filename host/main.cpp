// ruvo_main: the driver.  Until the run units land it only knows the usage text.
#include <cstdio>
#include <cstdlib>

#include "host/ruvo_main.h"

namespace {
const char kBanner[] = "RUVO - Small Scripting Language - v0.46";
const char kUsage[] =
    "%s\nUsage: %s [<options>] script [infile...] [-a args...]\n\n<options>\n"
    "    -a            : set script arguments\n"
    "    -e \"command\"  : execute one-line script\n"
    "    -i enc        : set input  encoding (sjis/euc/utf8/utf16)\n"
    "    -o enc        : set output encoding (sjis/euc/utf8/utf16)\n"
    "    -t            : talk mode\n"
    "    -x            : in place file edit (backup file will be created)\n"
    "    -Dxxx         : define symbol for pre-processor\n"
    "    -Uxxx         : undefine symbol for pre-processor\n"
    "    -Ixxx         : set include search path\n";
} // namespace

extern "C" int ruvo_main(int argc, char** argv, char** envp, int windowed) {
    (void)argc;
    (void)envp;
    (void)windowed;
    std::printf(kUsage, kBanner, argv[0] ? argv[0] : "ruvo");
    std::fflush(stdout);
    std::exit(1);
}
