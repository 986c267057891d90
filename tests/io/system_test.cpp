// Time, pauses, the console without a terminal, and the file system in a scratch directory.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/array.h"
#include "core/convert.h"
#include "core/hash.h"
#include "lib/builtin_call.h"

using namespace ruvo;
using ruvo::test::str;
using ruvo::test::text;

namespace {
const test::Family call(system_builtins());

double num(const Value& v) {
    return v.num();
}
double key(const Value& h, const char* k) {
    return h.as_hash()->find(k)->num();
}
std::string skey(const Value& h, const char* k) {
    return text(Value(*h.as_hash()->find(k)));
}
std::vector<std::string> names(const Value& a) {
    std::vector<std::string> out;
    for (const Cell& c : a.as_array()->cells) out.push_back(text(Value(c)));
    return out;
}

void set_tz(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A fresh directory, removed with everything in it afterwards; the current directory is
// put back too.
class SystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/ruvo-system-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        char* cwd = getcwd(nullptr, 0);
        saved_cwd = cwd;
        free(cwd);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(saved_cwd.c_str()), 0);
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string at(const std::string& name) const { return dir + "/" + name; }
    Value path(const std::string& name) const { return str(at(name)); }

    std::string dir, saved_cwd;
};
} // namespace

TEST(SystemTime, dates_are_local_and_normalised) {
    set_tz("JST-9");
    Value t = call("time", {Value(2007), Value(1), Value(1)});
    EXPECT_EQ(num(t), 1167577200); // 2006-12-31 15:00 UTC
    Value lt = call("localtime", {t});
    EXPECT_EQ(key(lt, "year"), 2007);
    EXPECT_EQ(key(lt, "mon"), 1);
    EXPECT_EQ(key(lt, "day"), 1);
    EXPECT_EQ(key(lt, "hour"), 0);
    EXPECT_EQ(key(lt, "wday"), 1);
    EXPECT_EQ(key(lt, "yday"), 0);
    EXPECT_EQ(lt.as_hash()->size(), 9u);
    EXPECT_EQ(num(call("time", {Value(2007), Value(13), Value(1)})),
              num(call("time", {Value(2008), Value(1), Value(1)})));
    EXPECT_EQ(num(call("time", {Value(2007), Value(1), Value(1), Value(1), Value(2), Value(3)})),
              1167577200 + 3723);
    EXPECT_NEAR(num(call("time")), std::time(nullptr), 2);
}

TEST(SystemTime, summer_dates_keep_the_hour_asked_for) {
    set_tz("CET-1CEST,M3.5.0,M10.5.0/3");
    Value lt = call("localtime", {call("time", {Value(2007), Value(7), Value(1), Value(12)})});
    EXPECT_EQ(key(lt, "hour"), 12);
    EXPECT_GT(key(lt, "isdst"), 0);
    set_tz("JST-9");
}

TEST(SystemTime, unrepresentable_times_are_null) {
    EXPECT_TRUE(call("time", {Value(1e300), Value(1), Value(1)}).is_null());
    EXPECT_TRUE(call("time", {Value(2147485548.0), Value(1), Value(1)}).is_null());
    EXPECT_FALSE(call("time", {Value(2147485547.0), Value(1), Value(1)}).is_null());
    EXPECT_TRUE(call("localtime", {Value(1e18)}).is_null()); // the year overflows
    EXPECT_TRUE(call("time", {Value(ruvo_nan()), Value(1), Value(1)}).is_null());
    EXPECT_TRUE(call("localtime", {Value(1e300)}).is_null());
    EXPECT_EQ(call.raised("time", {str("2007"), Value(1), Value(1)}),
              "error [7]: Cannot convert arg to number");
    EXPECT_EQ(call.raised("localtime", {Value()}), "error [7]: Cannot convert arg to number");
}

namespace {
void on_alarm(int) {}
} // namespace

TEST(SystemTime, sleep_waits_and_a_signal_ends_it) {
    double t0 = num(call("tick"));
    call("sleep", {Value(-100)});
    call("sleep", {Value(ruvo_nan())});
    call("sleep", {Value(30)});
    double waited = num(call("tick")) - t0;
    EXPECT_GE(waited, 29);
    EXPECT_LT(waited, 1000);

    struct sigaction sa = {}, old;
    sa.sa_handler = on_alarm;
    sigaction(SIGALRM, &sa, &old);
    struct itimerval it = {{0, 50000}, {0, 50000}}, off = {};
    setitimer(ITIMER_REAL, &it, nullptr); // repeats, in case the first fires before the sleep
    t0 = num(call("tick"));
    call("sleep", {Value(HUGE_VAL)});
    setitimer(ITIMER_REAL, &off, nullptr);
    EXPECT_LT(num(call("tick")) - t0, 5000);
    sigaction(SIGALRM, &old, nullptr);
    EXPECT_EQ(call.raised("sleep", {str("1")}), "error [7]: Cannot convert arg to number");
}

namespace {
// Standard input taken from another descriptor while the object lives.
struct StdinFrom {
    explicit StdinFrom(int fd) : saved(dup(0)) { dup2(fd, 0); }
    ~StdinFrom() {
        dup2(saved, 0);
        close(saved);
    }
    int saved;
};

// What the terminal side of a pseudo-terminal shows within 100 ms.
std::string shown(int master) {
    std::string out;
    struct pollfd p = {master, POLLIN, 0};
    char buf[64];
    while (poll(&p, 1, 100) > 0) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}
} // namespace

TEST(SystemConsole, without_a_terminal_keys_come_from_standard_input) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    {
        StdinFrom in(fds[0]);
        EXPECT_EQ(num(call("kbhit")), 0);
        ASSERT_EQ(write(fds[1], "xy", 2), 2);
        close(fds[1]);
        EXPECT_NE(num(call("kbhit")), 0);
        EXPECT_EQ(num(call("getch")), 'x');
        EXPECT_EQ(num(call("getche")), 'y');
        EXPECT_EQ(num(call("getch")), -1);
    }
    close(fds[0]);
}

TEST(SystemConsole, on_a_terminal_keys_count_before_the_line_ends) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    {
        StdinFrom in(slave);
        EXPECT_EQ(num(call("kbhit")), 0);
        ASSERT_EQ(write(master, "k", 1), 1);
        EXPECT_NE(num(call("kbhit")), 0); // no newline yet
        EXPECT_EQ(num(call("getch")), 'k');
        shown(master); // typed before the call: the line discipline echoed it
        // Keys typed while the call waits are echoed only by getche.
        auto type_later = [master](char c) {
            return std::thread([master, c] {
                usleep(50000);
                EXPECT_EQ(write(master, &c, 1), 1);
            });
        };
        std::thread typist = type_later('g');
        EXPECT_EQ(num(call("getch")), 'g');
        typist.join();
        EXPECT_EQ(shown(master), "");
        typist = type_later('e');
        EXPECT_EQ(num(call("getche")), 'e');
        typist.join();
        EXPECT_EQ(shown(master), "e");
        struct termios t;
        ASSERT_EQ(tcgetattr(0, &t), 0);
        EXPECT_TRUE((t.c_lflag & ICANON) && (t.c_lflag & ECHO)); // the mode is put back
    }
    close(slave);
    close(master);
}

TEST_F(SystemTest, dir_lists_sorted_and_null_when_missing) {
    EXPECT_EQ(names(call("dir", {str(dir)})).size(), 0u);
    EXPECT_TRUE(call("dir", {path("missing")}).is_null());
    for (const char* n : {"b", "a", "C", "\xE0x", ".hidden"}) write_file(at(n), "");
    ASSERT_EQ(mkdir(at("d").c_str(), 0755), 0);
    std::vector<std::string> sorted = {".hidden", "C", "a", "b", "d", "\xE0x"};
    EXPECT_EQ(names(call("dir", {str(dir)})), sorted);
    EXPECT_TRUE(call("dir", {path("a")}).is_null()); // a file is no directory
    std::vector<std::string> full;
    for (const std::string& n : sorted) full.push_back(dir + "/" + n);
    EXPECT_EQ(names(call("fulldir", {str(dir + "/")})), full);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EQ(names(call("dir")), sorted);
    EXPECT_EQ(names(call("fulldir"))[0], "./.hidden");
    EXPECT_TRUE(call("dir", {str(std::string(".\0x", 3))}).is_null());
}

TEST_F(SystemTest, fcopy_replaces_only_after_a_whole_copy) {
    std::string big(300000, 'q');
    write_file(at("src"), big);
    ASSERT_EQ(chmod(at("src").c_str(), 0640), 0);
    write_file(at("dst"), "old");
    EXPECT_NE(num(call("fcopy", {path("src"), path("dst")})), 0);
    EXPECT_EQ(read_file(at("dst")), big);
    struct stat st;
    ASSERT_EQ(stat(at("dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Failed copies leave dst as it was and no temporary file behind.
    EXPECT_EQ(num(call("fcopy", {path("missing"), path("dst")})), 0);
    ASSERT_EQ(mkdir(at("sub").c_str(), 0755), 0);
    EXPECT_EQ(num(call("fcopy", {path("sub"), path("dst")})), 0);
    EXPECT_EQ(num(call("fcopy", {path("src"), path("nodir/dst")})), 0);
    EXPECT_EQ(num(call("fcopy", {path("src"), path("sub")})), 0);
    EXPECT_EQ(read_file(at("dst")), big);
    EXPECT_EQ(names(call("dir", {str(dir)})), (std::vector<std::string>{"dst", "src", "sub"}));
    EXPECT_EQ(names(call("dir", {path("sub")})).size(), 0u);
}

TEST_F(SystemTest, rename_and_fmove_never_replace) {
    write_file(at("a"), "A");
    write_file(at("b"), "B");
    EXPECT_NE(num(call("rename", {path("a"), path("b")})), 0);
    EXPECT_EQ(num(call("fmove", {path("a"), path("b")})), 0);
    EXPECT_EQ(read_file(at("a")), "A");
    EXPECT_EQ(read_file(at("b")), "B");
    EXPECT_EQ(num(call("rename", {path("a"), path("c")})), 0);
    EXPECT_NE(num(call("fmove", {path("c"), path("d")})), 0);
    EXPECT_EQ(names(call("dir", {str(dir)})), (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(read_file(at("d")), "A");
    EXPECT_EQ(num(call("fmove", {path("missing"), path("e")})), 0);
}

TEST_F(SystemTest, directories_files_and_modes) {
    EXPECT_EQ(num(call("mkdir", {path("d")})), 0);
    EXPECT_EQ(num(call("mkdir", {path("d")})), -1);
    Value st = call("stat", {path("d")});
    EXPECT_NE(static_cast<int>(key(st, "mode")) & 0x4000, 0);
    EXPECT_EQ(st.as_hash()->size(), 11u);
    struct stat real;
    ASSERT_EQ(stat(at("d").c_str(), &real), 0);
    EXPECT_EQ(key(st, "ino"), real.st_ino);
    EXPECT_EQ(key(st, "uid"), real.st_uid);

    write_file(at("f"), "12345");
    EXPECT_EQ(num(call("chmod", {path("f"), Value(0600)})), 0);
    Value fs = call("stat", {path("f")});
    EXPECT_EQ(static_cast<int>(key(fs, "mode")), 0x8000 | 0600);
    EXPECT_EQ(key(fs, "size"), 5);
    EXPECT_TRUE(call("stat", {path("missing")}).is_null());
    EXPECT_EQ(num(call("chmod", {path("missing"), Value(0600)})), -1);

    EXPECT_EQ(num(call("unlink", {path("f")})), 0);
    EXPECT_EQ(num(call("unlink", {path("f")})), -1);
    EXPECT_EQ(num(call("chdir", {path("d")})), 0);
    EXPECT_EQ(text(call("getcwd")), at("d"));
    EXPECT_EQ(num(call("chdir", {str("..")})), 0);
    EXPECT_EQ(num(call("rmdir", {str("d")})), 0);
    // A NUL byte cuts no path short.
    EXPECT_EQ(num(call("mkdir", {str(std::string("x\0y", 3))})), -1);
    EXPECT_TRUE(call("stat", {str(std::string(".\0", 2))}).is_null());
    EXPECT_EQ(call.raised("mkdir", {Value(1)}), "error [7]: Cannot convert arg to string");
    EXPECT_EQ(call.raised("chmod", {path("d"), str("7")}),
              "error [7]: Cannot convert arg to number");
}

TEST_F(SystemTest, fullpath_is_absolute_and_normalised) {
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EQ(text(call("fullpath", {str("x/../y/./z/")})), dir + "/y/z");
    EXPECT_EQ(text(call("fullpath", {str("")})), dir);
    EXPECT_EQ(text(call("fullpath", {str("/a/../../b//c")})), "/b/c");
    EXPECT_EQ(text(call("fullpath", {str("/..")})), "/");
}

TEST(SystemPath, splitpath_forms) {
    struct {
        const char *path, *dir, *name, *ext;
    } cases[] = {
        {"/a/b.txt", "/a/", "b", ".txt"}, {"b.txt", "", "b", ".txt"}, {"a.b/c", "a.b/", "c", ""},
        {"x.tar.gz", "", "x.tar", ".gz"}, {"dir/", "dir/", "", ""},   {"/a/..", "/a/", "..", ""},
        {"a\\b.c", "", "a\\b", ".c"},     {"", "", "", ""},
    };
    for (auto& c : cases) {
        Value h = call("splitpath", {str(c.path)});
        EXPECT_EQ(skey(h, "drive"), "") << c.path;
        EXPECT_EQ(skey(h, "dir"), c.dir) << c.path;
        EXPECT_EQ(skey(h, "name"), c.name) << c.path;
        EXPECT_EQ(skey(h, "ext"), c.ext) << c.path;
    }
}
