#include "host/preprocess.h"

#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "host/driver.h"
#include "io/ostext.h"
#include "pp/cpp_main.h"

namespace ruvo {

int preprocess(const char* input, const char* output) {
    // The argument vector: program name, the options as given, the executable's directory as
    // the last include path, the output, the input.
    std::vector<std::string> args;
    args.emplace_back("");
    for (const std::string& o : driver.pp_options) args.push_back(o);
    args.push_back("-I" + driver.exe_dir);
    args.push_back(std::string("-o") + output);
    args.emplace_back(input);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return cpp_main(static_cast<int>(args.size()), argv.data());
}

std::string make_preprocess_temp() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir && *dir) ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    path += "ruvo-XXXXXX";
    int fd = mkstemp(path.data());
    if (fd < 0) return "";
    close(fd);
    return os_to_name(path); // a name like any other from here on
}

} // namespace ruvo
