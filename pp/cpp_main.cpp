// The exported entry point: option parsing and writing the output file (see cpp_main.h).
#include "pp/cpp_main.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "io/ostext.h"
#include "pp/preprocessor.h"

namespace {

void complain(const std::string& message) {
    std::string text = "ruvopp: " + message + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// Removes [path] when it is an ordinary file; a device such as /dev/null is left alone.
void remove_output(const std::string& path) {
    struct stat st;
    std::string os = ruvo::name_to_os(path);
    if (::lstat(os.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(os.c_str());
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(ruvo::name_to_os(a).c_str(), &sa) == 0 &&
           ::stat(ruvo::name_to_os(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Writes [text] to [path] whole; a file that could not be written completely is removed.
bool write_output(const std::string& path, const std::string& text) {
    int fd = ::open(ruvo::name_to_os(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        complain("cannot open output file " + path + ": " + std::strerror(errno));
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    int err = errno;
    bool ok = done == text.size();
    if (::close(fd) != 0) ok = false;
    if (!ok) {
        remove_output(path);
        complain("cannot write output file " + path + ": " + std::strerror(err));
    }
    return ok;
}

bool write_stdout(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
}

int preprocess_main(int argc, char** argv) {
    // Names in the arguments and in #include lines are Shift_JIS, like the script text.
    ruvo::os_text_init();
    ruvopp::Options options;
    std::string input, output;
    bool have_output = false;
    // First pass: the paths and -I; -D and -U are applied below, in their order.
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        if (arg.size() >= 2 && arg[0] == '-') {
            std::string value = arg.substr(2);
            switch (arg[1]) {
            case 'D':
            case 'U': break;
            case 'I':
                if (!value.empty()) options.include_dirs.push_back(value);
                break;
            case 'o':
                if (value.empty()) {
                    if (i + 1 >= argc || !argv[i + 1]) {
                        complain("-o needs a file name");
                        return 2;
                    }
                    value = argv[++i];
                }
                output = value;
                have_output = true;
                break;
            default: complain("unknown option " + arg); return 2;
            }
        } else if (arg == "-") {
            complain("reading standard input is not supported");
            return 2;
        } else if (!arg.empty()) {
            input = arg;
        }
    }
    if (input.empty()) {
        complain("no input file");
        return 2;
    }

    ruvopp::Preprocessor pp(std::move(options));
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        std::string_view arg = argv[i] ? argv[i] : "";
        if (arg == "-o") ++i;
        if (arg.size() <= 2 || arg[0] != '-') continue;
        if (arg[1] == 'D')
            ok = pp.define(arg.substr(2));
        else if (arg[1] == 'U')
            pp.undefine(arg.substr(2));
    }
    ok = ok && pp.run_file(input);
    if (!have_output) return ok && write_stdout(pp.output()) ? 0 : 1;
    if (ok) return write_output(output, pp.output()) ? 0 : 1;
    // Leave nothing at the output path that could pass for this run's result.
    if (!same_file(output, input)) remove_output(output);
    return 1;
}

} // namespace

extern "C" int cpp_main(int argc, char** argv) {
    // Nothing may leave this library as an exception: its caller has a C++ runtime of its own.
    // Running out of memory is the caller's to report (it unwinds everything built here).
    try {
        return preprocess_main(argc, argv);
    } catch (const std::bad_alloc&) {
        return kPreprocessOutOfMemory;
    }
}
