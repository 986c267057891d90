// ruvo_main: the driver.  It reads the command line, builds the global environment of a run
// (standard streams, __arg, __env, every built-in), runs the start-up scripts and the user's
// script, calls `main` when the script defines a suitable one, enters talk mode when asked,
// and tears the runtime down again in a fixed order.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "core/string.h"
#include "core/text.h"
#include "eval/error.h"
#include "eval/evaluate.h"
#include "eval/func.h"
#include "eval/scope.h"
#include "ext/dotnet.h"
#include "front/source.h"
#include "gfx/graphics.h"
#include "host/driver.h"
#include "host/input.h"
#include "host/run.h"
#include "host/ruvo_main.h"
#include "io/file.h"
#include "io/ostext.h"
#include "io/stdstream.h"
#include "lib/registry.h"

namespace ruvo {

DriverState driver;
const char kBanner[] = "RUVO - Small Scripting Language - v0.46";

namespace {

// A process started with descriptor 0, 1 or 2 closed would hand that number to the first file
// the script opens, and print() would then write into that file.  Each closed one is opened
// on /dev/null instead (open returns the lowest free descriptor, so they fill in order).
void open_closed_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int got = open("/dev/null", O_RDWR);
        if (got != fd && got >= 0) close(got); // not closed after all: a race with another thread
    }
}

// The exit status of a script run that failed.
constexpr int kFailedRunStatus = 255;

const char kUsage[] = "%s\nUsage: %s [<options>] script [infile...] [-a args...]\n\n<options>\n"
                      "    -a            : set script arguments\n"
                      "    -e \"command\"  : execute one-line script\n"
                      "    -i enc        : set input  encoding (sjis/euc/utf8/utf16)\n"
                      "    -o enc        : set output encoding (sjis/euc/utf8/utf16)\n"
                      "    -t            : talk mode\n"
                      "    -x            : in place file edit (backup file will be created)\n"
                      "    -Dxxx         : define symbol for pre-processor\n"
                      "    -Uxxx         : undefine symbol for pre-processor\n"
                      "    -Ixxx         : set include search path\n";

[[noreturn]] void usage(const char* argv0) {
    std_printf(stdout, kUsage, kBanner, os_to_text(argv0 ? argv0 : "").c_str());
    std::exit(finish_standard_streams() ? kFailedRunStatus : 1);
}

// "--help" or "--version" as the only argument: the usage text with the long options, or
// the banner, and exit status 0.  Anywhere else they are ordinary (bad) options.
void long_option(int argc, char** argv) {
    if (argc != 2) return;
    if (std::strcmp(argv[1], "--version") == 0) {
        std_printf(stdout, "%s\n", kBanner);
    } else if (std::strcmp(argv[1], "--help") == 0) {
        std_printf(stdout, kUsage, kBanner, os_to_text(argv[0] ? argv[0] : "").c_str());
        std_printf(stdout, "    --help        : show this text and exit\n"
                           "    --version     : show the version and exit\n");
    } else {
        return;
    }
    std::exit(finish_standard_streams() ? kFailedRunStatus : 0);
}

struct Options {
    std::string input_enc = "sjis";
    std::string output_enc = "sjis";
    std::string script;
    bool one_liner = false;
    bool talk = false;
    std::vector<std::string> script_args;
};

Options parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] != '-') {
            // File names keep their identity across the conversion (io/ostext.h).
            if (o.script.empty())
                o.script = os_to_name(a);
            else
                add_input_file(os_to_name(a));
            continue;
        }
        // Only the second character selects the option (so -tx is -t).
        auto value = [&]() -> std::string {
            if (std::strlen(a) > 2) return a + 2;
            if (i + 1 >= argc) usage(argv[0]);
            return argv[++i];
        };
        switch (a[1]) {
        case 'a':
            for (++i; i < argc; ++i) o.script_args.push_back(os_to_text(argv[i]));
            break;
        case 'e':
            o.script = os_to_text(value()) + ";";
            o.one_liner = true;
            break;
        case 'i': o.input_enc = value(); break;
        case 'o': o.output_enc = value(); break;
        case 't': o.talk = true; break;
        case 'x': input_files.inplace = true; break;
        case 'D':
        case 'U': driver.pp_options.push_back(os_to_text(a)); break;
        case 'I': driver.pp_options.push_back(os_to_name(a)); break;
        case 'N': driver.preprocess = false; break;
        default: usage(argv[0]);
        }
    }
    if (!o.talk && o.script.empty()) usage(argv[0]);
    return o;
}

std::string executable_directory() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string p = os_to_name(std::string_view(buf, static_cast<size_t>(n)));
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? "" : p.substr(0, slash + 1);
}

bool is_regular_file(const std::string& path) {
    struct stat st;
    return stat(name_to_os(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void set_global(const char* name, const Value& v) {
    scopes.declareGlobal(intern(name))->set(v);
}

Value make_stream(const std::string& enc, FILE* stream) {
    VFile* f = make_file(enc);
    if (!f) {
        std_printf(stderr, "error: Unknown encoding %s for input/output filter\n", enc.c_str());
        std::fflush(stderr);
        std::exit(1);
    }
    Value v(f);
    f->attach(stream);
    // A terminal without a filter of its own shows Shift_JIS as the locale's UTF-8.
    if (iequals_ascii(enc, "sjis") && stream_is_terminal(stream)) f->show_on_terminal();
    return v;
}

void build_globals(const Options& o, char** envp) {
    // Both encodings are checked before any stream is made.
    for (const std::string* e : {&o.input_enc, &o.output_enc}) {
        VFile* f = make_file(*e);
        Value hold(f);
        if (!f) make_stream(*e, nullptr); // reports and exits
    }
    set_global("stdin", make_stream(o.input_enc, stdin));
    set_global("stdout", make_stream(o.output_enc, stdout));
    set_global("stderr", make_stream(o.output_enc, stderr));
    set_global("__filename", make_string(""));

    Value args(new VArray());
    args.as_array()->push(make_string(o.script));
    for (const std::string& a : o.script_args) args.as_array()->push(make_string(a));
    set_global("__arg", args);

    Value env(new VHash());
    for (char** e = envp; e && *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (!eq) continue;
        std::string key = os_to_text(std::string_view(*e, static_cast<size_t>(eq - *e)));
        env.as_hash()->set(key, make_string(os_to_text(eq + 1)));
    }
    set_global("__env", env);
}

int exit_code(const Value& result) {
    double d = to_number(result);
    if (std::isnan(d)) return 0;
    return to_int32_wrap(d);
}

} // namespace

} // namespace ruvo

extern "C" int ruvo_main(int argc, char** argv, char** envp, int windowed) {
    using namespace ruvo;
    open_closed_standard_descriptors();
    driver.windowed = windowed != 0;
    os_text_init();
    note_terminals();
    long_option(argc, argv);
    Options o = parse_options(argc, argv);

    // 1. The executable's directory, for the start-up scripts and the include path.
    driver.exe_dir = executable_directory();

    // 2. The script's directory becomes current.  The script is then opened by the path it
    // had before the change (its base name inside the new directory), while every message
    // and __arg[0] keep the name as given.
    std::string open_path = o.script;
    if (!o.one_liner && !o.script.empty()) {
        size_t slash = o.script.rfind('/');
        if (slash != std::string::npos) {
            std::string dir = o.script.substr(0, slash + 1);
            if (chdir(name_to_os(dir).c_str()) == 0) {
                open_path = o.script.substr(slash + 1);
                set_display_name(open_path, o.script);
            }
        }
    }

    // 3-6. The global scope, the standard streams, __filename, __arg, __env, the built-ins.
    // The collector learns its roots first: a script that fails to parse runs no code, and
    // the collections at start-up and shut-down must still see the globals.
    eval_init();
    scopes.pushGlobalScope();
    build_globals(o, envp);
    register_builtins();

    // 7. The first input file.
    input_files.next = 0;
    try {
        next_input_file();
    } catch (const ScriptError& e) {
        std_write(stderr, e.message + "\n");
    } catch (const VExit&) {
    }

    // 8. Start-up scripts from the executable's directory.
    for (const char* name : {"init.rv", "user.rv"}) {
        std::string p = driver.exe_dir + name;
        if (!driver.exe_dir.empty() && is_regular_file(p)) run_file(p.c_str());
    }

    // 9. The script, then main.  Only the run whose result fixes the exit code counts: the
    // script's, or main's when main replaces it.  A run that failed (a syntax error, an
    // uncaught error, a script that could not be opened or preprocessed) exits with 255, so
    // that a failure is never reported as success.
    bool ran = false;
    bool failed = false;
    Value result;
    if (!o.script.empty()) {
        ran = true;
        if (o.one_liner) {
            result = run_text(o.script, &failed);
        } else {
            result = driver.preprocess ? run_file(open_path.c_str(), &failed)
                                       : run_file_unprocessed(open_path.c_str(), &failed);
            int arity = funcman.mainArity();
            if (arity == 1)
                result = run_text("exit(main(__arg));", &failed);
            else if (arity == 0)
                result = run_text("exit(main());", &failed);
        }
    }

    // 11. The exit code is fixed before talk mode.
    int code = !ran ? 0 : failed ? kFailedRunStatus : exit_code(result);
    result.set_null();

    // 10. Talk mode.
    if (o.talk && !driver.windowed) talk_mode();

    // 12. Shut-down.
    gfx::end_of_run();
    dotnet_shutdown();
    objman.final_cleanup();
    scopes.popAll();
    funcman.clearFunctions();
    objman.collect(false);
    // Output that could not be written is a failure, whatever the script's exit code: the
    // last in-place output file (closed when its object went) and the standard streams.
    if (input_files.output_failed) code = kFailedRunStatus;
    if (finish_standard_streams()) code = kFailedRunStatus;
    return code;
}
