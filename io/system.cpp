// The clock, pauses, the console keyboard and the file system: thin handlers over the C
// library and the kernel.  What they fix is the result shapes; every failure of the system is
// a result (-1, 0, null), never a script error.  Paths are byte strings; one holding a NUL
// byte names no file, so it fails instead of being cut short at the NUL.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "core/string.h"
#include "io/interrupt.h"
#include "io/ostext.h"
#include "io/stdstream.h"
#include "lib/args.h"
#include "lib/registry.h"

namespace ruvo {

namespace {

// ---- helpers ------------------------------------------------------------------------------

// A path argument in the system's form; false when it holds a NUL byte.
struct SysPath {
    std::string os;
    bool ok = false;
    explicit operator bool() const { return ok; }
    const char* c_str() const { return os.c_str(); }
};

SysPath path_arg(const Value& v, int line) {
    std::string_view s = arg_string(v, line);
    if (s.find('\0') != std::string_view::npos) return {};
    return {name_to_os(s), true};
}

Value status(bool ok) {
    return Value(ok ? 0 : -1);
}

void put(VHash* h, const char* key, double v) {
    h->set(key, Value(v));
}

std::string current_dir() {
    std::string b(256, '\0');
    while (!::getcwd(b.data(), b.size())) {
        if (errno != ERANGE || b.size() >= (size_t(1) << 20)) return {};
        b.resize(b.size() * 2);
    }
    b.resize(std::strlen(b.c_str()));
    return os_to_name(b);
}

// Closes a descriptor on every way out.
struct fd_guard {
    int fd;
    ~fd_guard() {
        if (fd >= 0) ::close(fd);
    }
};

// rename(2) that refuses to replace an existing target.  A file system without
// RENAME_NOREPLACE gets a hard link (which fails on an existing name) and an unlink.
int rename_noreplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::link(from, to) != 0) return -1;
    if (::unlink(from) != 0) {
        int e = errno;
        ::unlink(to);
        errno = e;
        return -1;
    }
    return 0;
}

bool write_all(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool copy_data(int in, int out) {
    std::vector<char> buf(64 * 1024);
    for (;;) {
        ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) return true;
        if (!write_all(out, buf.data(), static_cast<size_t>(r))) return false;
    }
}

// Copies the regular file src into a new file beside dst and only then puts it in dst's
// place, so that a copy that fails half-way leaves the old dst as it was.  The copy keeps the
// source's permission bits and times.  `replace`: an existing dst is replaced, else refused.
bool copy_file(const char* src, const char* dst, bool replace) {
    fd_guard in{::open(src, O_RDONLY | O_CLOEXEC)};
    struct stat st;
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::string tmp(dst);
    size_t slash = tmp.rfind('/');
    tmp.resize(slash == std::string::npos ? 0 : slash + 1);
    tmp += ".fcopy-XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = copy_data(in.fd, fd);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && ::fchmod(fd, st.st_mode & 07777) == 0;
    if (ok) ::futimens(fd, times); // times are a courtesy: no failure of the copy
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = (replace ? ::rename(tmp.c_str(), dst) : rename_noreplace(tmp.c_str(), dst)) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

bool list_dir(const SysPath& path, std::vector<std::string>& names) {
    DIR* d = path ? ::opendir(path.c_str()) : nullptr;
    if (!d) return false;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.push_back(os_to_name(e->d_name));
    }
    ::closedir(d);
    std::sort(names.begin(), names.end()); // byte order: readdir's own order is arbitrary
    return true;
}

// The entries of the directory (default "."), each prefixed with `full` ? the directory and
// "/" : nothing; null when it cannot be read.
void listing(std::span<Value> args, int line, bool full, Value& result) {
    SysPath path = args.empty() ? SysPath{".", true} : path_arg(args[0], line);
    std::vector<std::string> names;
    if (!list_dir(path, names)) return;
    std::string prefix;
    if (full) {
        prefix = args.empty() ? std::string_view(".") : args[0].as_string()->view();
        while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
        prefix += '/';
    }
    auto* a = new VArray();
    result = Value(a);
    a->cells.reserve(names.size());
    for (const std::string& n : names) a->push(make_string(prefix + n));
}

// ---- time ---------------------------------------------------------------------------------

void bi_time(VContext&, int, std::span<Value>, Value& result) {
    result = Value(static_cast<double>(std::time(nullptr)));
}

// A broken-down field: truncated, less `offset`, and within int (else false).
bool tm_field(double d, double offset, int& out) {
    d = std::trunc(d) - offset;
    if (!(d >= INT_MIN && d <= INT_MAX)) return false;
    out = static_cast<int>(d);
    return true;
}

void bi_time_at(VContext&, int line, std::span<Value> args, Value& result) {
    double f[6] = {0, 1, 1, 0, 0, 0};
    for (size_t i = 0; i < args.size(); ++i) f[i] = arg_number(args[i], line);
    struct tm tm = {};
    if (!tm_field(f[0], 1900, tm.tm_year) || !tm_field(f[1], 1, tm.tm_mon) ||
        !tm_field(f[2], 0, tm.tm_mday) || !tm_field(f[3], 0, tm.tm_hour) ||
        !tm_field(f[4], 0, tm.tm_min) || !tm_field(f[5], 0, tm.tm_sec))
        return;
    // The library decides whether daylight saving applies, so that the result is the local
    // time asked for in summer too.
    tm.tm_isdst = -1;
    tm.tm_wday = -1; // mktime sets it on success: -1 is no valid result
    time_t t = std::mktime(&tm);
    if (t == static_cast<time_t>(-1) && tm.tm_wday == -1) return;
    result = Value(static_cast<double>(t));
}

void bi_localtime(VContext&, int line, std::span<Value> args, Value& result) {
    double d = args.empty() ? static_cast<double>(std::time(nullptr)) : arg_number(args[0], line);
    d = std::trunc(d);
    if (!(d >= -9.2e18 && d <= 9.2e18)) return; // beyond time_t: no time
    time_t t = static_cast<time_t>(d);
    struct tm tm;
    if (!::localtime_r(&t, &tm)) return; // the year does not fit: null
    auto* h = new VHash();
    result = Value(h);
    put(h, "sec", tm.tm_sec);
    put(h, "min", tm.tm_min);
    put(h, "hour", tm.tm_hour);
    put(h, "day", tm.tm_mday);
    put(h, "mon", tm.tm_mon + 1.0);
    put(h, "year", tm.tm_year + 1900.0);
    put(h, "wday", tm.tm_wday);
    put(h, "yday", tm.tm_yday);
    put(h, "isdst", tm.tm_isdst);
}

void bi_tick(VContext&, int, std::span<Value>, Value& result) {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
    result = Value(static_cast<double>(static_cast<uint32_t>(ms)));
}

// A pause of any length; Ctrl-C in talk mode ends it early.
void bi_sleep(VContext&, int line, std::span<Value> args, Value&) {
    interruptible_sleep(std::trunc(arg_number(args[0], line)));
}

// ---- console ------------------------------------------------------------------------------

// Standard input's terminal in non-canonical mode (keys arrive one by one, echoed only when
// asked) while the object lives; signals from keys like ^C stay on.  Nothing happens when
// standard input is not a terminal.
class RawTerminal {
public:
    explicit RawTerminal(bool echo) {
        if (::tcgetattr(0, &saved_) != 0) return;
        active_ = true;
        struct termios t = saved_;
        t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        if (echo) t.c_lflag |= ECHO;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(0, TCSANOW, &t);
    }
    ~RawTerminal() {
        if (active_) ::tcsetattr(0, TCSANOW, &saved_);
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;
    bool active() const { return active_; }

private:
    struct termios saved_ = {};
    bool active_ = false;
};

bool input_waiting() {
    struct pollfd p = {0, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP)) != 0;
}

// One byte of standard input, -1 at its end or on failure.
int read_key(bool echo) {
    RawTerminal raw(echo);
    if (!wait_for_input(0)) return -1; // Ctrl-C in talk mode
    unsigned char c;
    ssize_t n = ::read(0, &c, 1);
    if (n == 1 && echo && !raw.active()) {
        // No terminal to echo it: show it on standard output.
        if (std::fputc(c, stdout) == EOF) write_failed(stdout);
        std_flush(stdout);
    }
    return n == 1 ? c : -1;
}

void bi_kbhit(VContext&, int, std::span<Value>, Value& result) {
    RawTerminal raw(false); // on a terminal, typed keys count before the line is finished
    result = Value(input_waiting() ? 1 : 0);
}

void bi_getch(VContext&, int, std::span<Value>, Value& result) {
    result = Value(read_key(false));
}
void bi_getche(VContext&, int, std::span<Value>, Value& result) {
    result = Value(read_key(true));
}

// The bell goes to the controlling terminal, never into standard output's data.
void bi_beep(VContext&, int, std::span<Value>, Value&) {
    fd_guard tty{::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC)};
    if (tty.fd >= 0) write_all(tty.fd, "\a", 1);
}

// ---- file system --------------------------------------------------------------------------

void bi_getcwd(VContext&, int, std::span<Value>, Value& result) {
    result = make_string(current_dir());
}

void bi_chdir(VContext&, int line, std::span<Value> args, Value& result) {
    SysPath p = path_arg(args[0], line);
    result = status(p && ::chdir(p.c_str()) == 0);
}

void bi_mkdir(VContext&, int line, std::span<Value> args, Value& result) {
    SysPath p = path_arg(args[0], line);
    result = status(p && ::mkdir(p.c_str(), 0777) == 0);
}

void bi_rmdir(VContext&, int line, std::span<Value> args, Value& result) {
    SysPath p = path_arg(args[0], line);
    result = status(p && ::rmdir(p.c_str()) == 0);
}

void bi_unlink(VContext&, int line, std::span<Value> args, Value& result) {
    SysPath p = path_arg(args[0], line);
    result = status(p && ::unlink(p.c_str()) == 0);
}

void bi_rename(VContext&, int line, std::span<Value> args, Value& result) {
    SysPath from = path_arg(args[0], line);
    SysPath to = path_arg(args[1], line);
    result = status(from && to && rename_noreplace(from.c_str(), to.c_str()) == 0);
}

void bi_chmod(VContext&, int line, std::span<Value> args, Value& result) {
    SysPath p = path_arg(args[0], line);
    auto mode = static_cast<mode_t>(arg_trunc64(args[1], line));
    result = status(p && ::chmod(p.c_str(), mode) == 0);
}

void bi_fcopy(VContext&, int line, std::span<Value> args, Value& result) {
    SysPath src = path_arg(args[0], line);
    SysPath dst = path_arg(args[1], line);
    result = Value(src && dst && copy_file(src.c_str(), dst.c_str(), true) ? 1 : 0);
}

// A rename; across file systems a copy and a delete.  An existing dst is never replaced.
bool move_file(const char* src, const char* dst) {
    if (rename_noreplace(src, dst) == 0) return true;
    if (errno != EXDEV || !copy_file(src, dst, false)) return false;
    if (::unlink(src) == 0) return true;
    ::unlink(dst); // the source stays: undo the copy rather than leave two files
    return false;
}

void bi_fmove(VContext&, int line, std::span<Value> args, Value& result) {
    SysPath src = path_arg(args[0], line);
    SysPath dst = path_arg(args[1], line);
    result = Value(src && dst && move_file(src.c_str(), dst.c_str()) ? 1 : 0);
}

// The absolute form of a path, "." and ".." taken out by the text alone (the file need not
// exist); null when the path is relative and the current directory cannot be read.
void bi_fullpath(VContext&, int line, std::span<Value> args, Value& result) {
    std::string_view p = arg_string(args[0], line);
    std::string whole;
    if (p.empty() || p[0] != '/') {
        whole = current_dir();
        if (whole.empty()) return;
        whole += '/';
    }
    whole += p;
    std::vector<std::string_view> parts;
    std::string_view rest = whole;
    while (!rest.empty()) {
        size_t slash = rest.find('/');
        std::string_view seg = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (seg.empty() || seg == ".") continue;
        if (seg == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(seg);
    }
    std::string out;
    for (std::string_view s : parts) (out += '/') += s;
    result = make_string(out.empty() ? std::string("/") : std::move(out));
}

void bi_splitpath(VContext&, int line, std::span<Value> args, Value& result) {
    std::string_view p = arg_string(args[0], line);
    size_t slash = p.rfind('/');
    size_t base = slash == std::string_view::npos ? 0 : slash + 1;
    std::string_view file = p.substr(base);
    size_t dot = file.rfind('.');
    if (file == "." || file == "..") dot = std::string_view::npos;
    if (dot == std::string_view::npos) dot = file.size();
    auto* h = new VHash();
    result = Value(h);
    h->set("drive", make_string(""));
    h->set("dir", make_string(p.substr(0, base)));
    h->set("name", make_string(file.substr(0, dot)));
    h->set("ext", make_string(file.substr(dot)));
}

void bi_stat(VContext&, int line, std::span<Value> args, Value& result) {
    SysPath p = path_arg(args[0], line);
    struct stat st;
    if (!p || ::stat(p.c_str(), &st) != 0) return;
    auto* h = new VHash();
    result = Value(h);
    put(h, "mode", st.st_mode);
    put(h, "gid", st.st_gid);
    put(h, "uid", st.st_uid);
    put(h, "mtime", static_cast<double>(st.st_mtime));
    put(h, "atime", static_cast<double>(st.st_atime));
    put(h, "ctime", static_cast<double>(st.st_ctime));
    put(h, "size", static_cast<double>(st.st_size));
    put(h, "dev", static_cast<double>(st.st_dev));
    put(h, "rdev", static_cast<double>(st.st_rdev));
    put(h, "ino", static_cast<double>(st.st_ino));
    put(h, "nlink", static_cast<double>(st.st_nlink));
}

void bi_dir(VContext&, int line, std::span<Value> args, Value& result) {
    listing(args, line, false, result);
}

void bi_fulldir(VContext&, int line, std::span<Value> args, Value& result) {
    listing(args, line, true, result);
}

constexpr BuiltinDef kSystem[] = {
    {"time", 0, bi_time},
    {"time", 3, bi_time_at},
    {"time", 4, bi_time_at},
    {"time", 5, bi_time_at},
    {"time", 6, bi_time_at},
    {"localtime", 0, bi_localtime},
    {"localtime", 1, bi_localtime},
    {"stat", 1, bi_stat},
    {"mkdir", 1, bi_mkdir},
    {"rmdir", 1, bi_rmdir},
    {"chdir", 1, bi_chdir},
    {"getcwd", 0, bi_getcwd},
    {"unlink", 1, bi_unlink},
    {"rename", 2, bi_rename},
    {"fcopy", 2, bi_fcopy},
    {"fmove", 2, bi_fmove},
    {"chmod", 2, bi_chmod},
    {"dir", 0, bi_dir},
    {"dir", 1, bi_dir},
    {"fulldir", 0, bi_fulldir},
    {"fulldir", 1, bi_fulldir},
    {"fullpath", 1, bi_fullpath},
    {"splitpath", 1, bi_splitpath},
    {"tick", 0, bi_tick},
    {"sleep", 1, bi_sleep},
    {"beep", 0, bi_beep},
    {"kbhit", 0, bi_kbhit},
    {"getch", 0, bi_getch},
    {"getche", 0, bi_getche},
};

} // namespace

std::span<const BuiltinDef> system_builtins() {
    return kSystem;
}

} // namespace ruvo
