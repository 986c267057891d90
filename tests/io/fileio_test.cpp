// The file I/O built-ins: formatted printing, the number format, binary values, chr/ord,
// default files and their messages, input files read as one stream, in-place editing and
// wildcard expansion of input file names.
#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "core/array.h"
#include "core/convert.h"
#include "core/string.h"
#include "eval/func.h"
#include "eval/scope.h"
#include "host/input.h"
#include "io/fileio.h"
#include "io_harness.h"

using namespace ruvo;
using namespace std::string_literals;
using iotest::call;
using iotest::slurp;
using iotest::spit;
using ruvo::test::raised;
using ruvo::test::str;

namespace {

void set_global(const char* name, const Value& v) {
    scopes.declareGlobal(intern(name))->set(v);
}

std::string global_text(const char* name) {
    Cell* c = scopes.lookupGlobal(intern(name));
    return c ? plain_form(*c) : "(none)";
}

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        scopes.pushGlobalScope();
        out_ = Value(make_file("sjis"));
        ASSERT_TRUE(as_file(out_)->open(dir / "stdout", "w"));
        set_global("stdout", out_);
        in_ = Value(make_file("sjis")); // closed until an input file is opened on it
        set_global("stdin", in_);
        input_files = InputFileState();
    }
    void TearDown() override {
        scopes.popAll();
        input_files = InputFileState();
        set_number_format("%.10g");
    }
    std::string output() {
        as_file(out_)->flush();
        return slurp(dir / "stdout");
    }
    std::string sprintf(std::vector<Value> args) { return plain_form(call("sprintf", args)); }
    // A binary file of the given bytes, opened for reading.
    Value bytes_file(const std::string& bytes) {
        spit(dir / "bin", bytes);
        return call("open", {str(dir / "bin"), str("rb")});
    }

    iotest::ScratchDir dir;
    Value out_, in_;
};

} // namespace

TEST_F(FileIoTest, printing_to_stdout_and_to_files) {
    Value r = call("printf", {str("%5.2f|%-4d|%s|%x"), Value(3.14159), Value(7), str("s")});
    EXPECT_TRUE(to_bool(r));
    EXPECT_FALSE(to_bool(call("printf", {str("")}))) << "nothing written";
    EXPECT_TRUE(to_bool(call("puts", {str("abc")})));
    EXPECT_TRUE(to_bool(call("print", {Value(1), str("a"), Value(2)})));
    EXPECT_EQ(output(), " 3.14|7   |s|abc1a2\r\n") << "standard output is in text mode too";

    Value f = call("open", {str(dir / "p"), str("wb")});
    call("print", {f, Value::null(), Value::boolean(false)});
    call("puts", {f, str("z")});
    call("printf", {f, str("%d\n"), Value(5)});
    call("close", {f});
    EXPECT_EQ(slurp(dir / "p"), "nullfalse\nz5\n");
}

TEST_F(FileIoTest, sprintf_directives) {
    EXPECT_EQ(sprintf({str("%b"), Value(5)}), "101");
    EXPECT_EQ(sprintf({str("%08b"), Value(5)}), "00000101");
    EXPECT_EQ(sprintf({str("%-5b|%5b"), Value(2), Value(0)}), "   10|    0");
    EXPECT_EQ(sprintf({str("%b"), Value(-1)}), std::string(32, '1'));
    EXPECT_EQ(sprintf({str("%q")}), "q");
    EXPECT_EQ(sprintf({str("100%%")}), "100%");
    EXPECT_EQ(sprintf({str("%u"), Value(-1)}), "4294967295");
    EXPECT_EQ(sprintf({str("%c%c"), Value(65 + 256), Value(0)}), "A\0"s);
    EXPECT_EQ(sprintf({str("%.2s|%5s|%-3s|"), str("abc"), Value(1.5), Value::boolean(true)}),
              "ab|  1.5|true|");
    EXPECT_EQ(sprintf({str("%*d"), Value(3)}), "*d") << "no '*' reaches the C library";
    EXPECT_EQ(sprintf({str("ab%5")}), "ab");
    EXPECT_EQ(sprintf({str("%099999d"), Value(1)}).size(), 2047u) << "one directive is cut";
    EXPECT_EQ(sprintf({str("%-3000s|"), str("a")}), "a" + std::string(2046, ' ') + "|");
}

TEST_F(FileIoTest, wide_binary_fields_keep_their_digits) {
    std::string s = sprintf({str("%3000b"), Value(5)});
    EXPECT_EQ(s, std::string(2997, ' ') + "101");
    EXPECT_EQ(sprintf({str("%03000b"), Value(5)}), std::string(2997, '0') + "101");
    EXPECT_EQ(sprintf({str("%-2100b|"), Value(6)}), std::string(2097, ' ') + "110|")
        << "'-' does not move the digits";
    // A width beyond the bound (or beyond any integer) counts as the bound; the digits stay.
    s = sprintf({str("%099999999999999999999b"), Value(-1)});
    EXPECT_EQ(s.size(), 100000u);
    EXPECT_EQ(s.substr(s.size() - 33), "0" + std::string(32, '1'));
    EXPECT_EQ(raised([&] { sprintf({}); }), "error [7]: Too few arguments in sprintf()");
}

TEST_F(FileIoTest, format_replaces_the_number_format) {
    EXPECT_EQ(plain_form(call("format", {str("%.3f")})), "%.10g");
    EXPECT_EQ(plain_form(Value(1.0 / 3)), "0.333");
    EXPECT_EQ(plain_form(call("format", {str("%.10g")})), "%.3f");
    EXPECT_EQ(plain_form(Value(1.0 / 3)), "0.3333333333");
}

TEST_F(FileIoTest, open_close_and_the_messages_of_missing_files) {
    EXPECT_TRUE(call("open", {str(dir / "missing"), str("r")}).is_null());
    Value u = call("open", {str(dir / "u"), str("w"), str("UTF8")});
    EXPECT_NE(dynamic_cast<VFileUtf8*>(as_file(u)), nullptr);
    EXPECT_EQ(plain_form(call("close", {u})), "0");
    EXPECT_EQ(plain_form(call("close", {u})), "-1");
    EXPECT_EQ(raised([&] {
                  call("open", {str(dir / "u"), str("w"), str("latin1")});
              }),
              "error [7]: Unknown encoding string in open()");
    for (const char* fn : {"close", "gets", "eof", "rewind", "flush", "binmode", "txtmode"})
        EXPECT_EQ(raised([&] { call(fn, {str("not a file")}); }),
                  "error [7]: Bad argument type in "s + fn + "()");
    EXPECT_EQ(raised([] {
                  call("puts", {Value(5), str("x")});
              }),
              "error [7]: Bad argument type in puts()");
    EXPECT_EQ(raised([] { call("printf", {}); }), "error [7]: Too few arguments in printf()");
    EXPECT_EQ(raised([&] { call("printf", {out_}); }), "error [7]: Too few arguments in printf()");

    set_global("stdout", Value(1));
    set_global("stdin", str("text"));
    EXPECT_EQ(raised([] { call("print", {str("x")}); }),
              "error [7]: Cannot retrieve file handle in print()");
    EXPECT_EQ(raised([] { call("gets", {}); }), "error [7]: Cannot retrieve file handle in gets()");
    EXPECT_EQ(raised([] { call("read", {Value(1)}); }),
              "error [7]: Cannot retrieve file handle in read()");
    EXPECT_TRUE(to_bool(call("eof", {}))) << "no stdin: nothing more to read";
}

TEST_F(FileIoTest, a_function_may_redirect_output_with_its_own_stdout) {
    func_data fn;
    scopes.enterFunction(&fn);
    call("puts", {str("global ")});
    Value mine = call("open", {str(dir / "mine"), str("wb")});
    scopes.declare(intern("stdout"), SymMan::Function)->set(mine);
    call("print", {str("local")});
    call("close", {mine});
    EXPECT_EQ(slurp(dir / "mine"), "local\n");
    scopes.lookup(intern("stdout"))->set_num(1);
    EXPECT_EQ(raised([] { call("puts", {str("x")}); }),
              "error [7]: Cannot retrieve file handle in puts()")
        << "a local stdout that holds no file hides the global one";
    scopes.popAll();
    EXPECT_EQ(output(), "global ");
}

TEST_F(FileIoTest, write_binary_values) {
    Value f = call("open", {str(dir / "w"), str("wb")});
    EXPECT_EQ(plain_form(call("write", {f, str("short"), ruvo::test::arr({1, -1, 65535})})), "6");
    EXPECT_EQ(plain_form(call("write", {f, str("INT16"), Value::boolean(true)})), "2");
    call("write", {f, str("float"), Value(1.5)});
    call("write", {f, str("float"), Value(1e300)});
    call("write", {f, str("long"), Value(-2.9)});
    call("write", {f, str("double"), Value(0.1)});
    EXPECT_EQ(plain_form(call("write", {f, str("raw")})), "3");
    call("close", {f});
    std::string d01;
    double tenth = 0.1;
    d01.assign(reinterpret_cast<const char*>(&tenth), 8);
    EXPECT_EQ(slurp(dir / "w"), "\x01\0\xFF\xFF\xFF\xFF\x01\0"
                                "\0\0\xC0\x3F\0\0\x80\x7F\xFE\xFF\xFF\xFF"s +
                                    d01 + "raw");

    auto err = [&](std::vector<Value> a) { return raised([&] { call("write", a); }); };
    EXPECT_EQ(err({str("byte"), Value(256)}), "error [7]: Bad argument range in write()");
    EXPECT_EQ(err({str("long"), Value(ruvo_nan())}), "error [7]: Bad argument range in write()");
    EXPECT_EQ(err({str("byte"), str("x")}), "error [7]: Bad argument type in write()");
    EXPECT_EQ(err({str("byte"), ruvo::test::arr({1, str("x")})}),
              "error [7]: Bad argument type in write()");
    EXPECT_EQ(err({str("quad"), Value(1)}), "error [7]: Bad argument in write()");
    EXPECT_EQ(err({out_}), "error [7]: Bad argument in write()");
    EXPECT_EQ(output(), "") << "a refused array writes none of its elements";

    EXPECT_EQ(plain_form(call("write", {str("float"), Value(ruvo_nan())})), "4");
    EXPECT_EQ(plain_form(call("write", {str("byte"), Value(10)})), "1");
    EXPECT_EQ(output().substr(4), "\r\n") << "text mode applies to binary values too";
}

TEST_F(FileIoTest, read_binary_values) {
    Value f = bytes_file("\xFF\xFF\xFF\xFF\x07");
    EXPECT_EQ(plain_form(call("read", {f, str("ushort")})), "65535");
    EXPECT_EQ(plain_form(call("read", {f, str("Short")})), "-1");
    EXPECT_TRUE(call("read", {f, str("short")}).is_null()) << "one byte left";
    EXPECT_TRUE(call("read", {f, str("byte")}).is_null()) << "at the end";

    f = bytes_file("\x05\x06");
    Value a = call("read", {f, Value(3), str("byte")});
    ASSERT_TRUE(a.as_array());
    EXPECT_EQ(display_form(a), "[ 5, 6 ]");
    EXPECT_EQ(call("read", {f, Value(-2), str("byte")}).as_array()->size(), 0u);

    f = bytes_file("\xFE\xFF\xFF\xFF\0\0\xC0\x3F"
                   "abcdef"s);
    EXPECT_EQ(plain_form(call("read", {f, str("ulong")})), "4294967294");
    EXPECT_EQ(plain_form(call("read", {f, str("float")})), "1.5");
    EXPECT_EQ(plain_form(call("read", {f, Value(4)})), "abcd");
    EXPECT_EQ(plain_form(call("read", {f, Value(-1)})), "");
    EXPECT_EQ(plain_form(call("read", {f, Value(1e12)})), "ef");

    auto err = [&](std::vector<Value> a) { return raised([&] { call("read", a); }); };
    EXPECT_EQ(err({f, str("nope")}), "error [7]: Bad argument in read()");
    EXPECT_EQ(err({f}), "error [7]: Bad argument in read()");
    EXPECT_EQ(err({str("x"), str("byte")}), "error [7]: Cannot convert arg to number");
    EXPECT_EQ(err({Value(1), Value(2), Value(3)}), "error [7]: Bad argument in read()");
}

TEST_F(FileIoTest, chr_and_ord) {
    auto chr = [](Value v) { return plain_form(call("chr", {v})); };
    EXPECT_EQ(chr(Value(65)), "A");
    EXPECT_EQ(chr(Value(-1)), "\xFF");
    EXPECT_EQ(chr(Value(0)), "\0"s);
    EXPECT_EQ(chr(Value(0x82A0)), "\x82\xA0");
    EXPECT_EQ(chr(Value(0x1234)), "");
    EXPECT_EQ(chr(Value(70000)), "");
    EXPECT_EQ(chr(Value(ruvo_nan())), "");
    EXPECT_EQ(raised([] { call("chr", {str("a")}); }), "error [7]: Cannot convert arg to number");

    auto ord = [](const std::string& s) { return call("ord", {str(s)}); };
    EXPECT_EQ(plain_form(ord("A")), "65");
    EXPECT_EQ(plain_form(ord("\xFF")), "255");
    EXPECT_EQ(plain_form(ord("\x82\xA0")), std::to_string(0x82A0));
    EXPECT_TRUE(ord("ab").is_null());
    EXPECT_TRUE(ord("\x82\xA0x").is_null());
}

TEST_F(FileIoTest, gets_reads_the_input_files_as_one_stream) {
    spit(dir / "a", "1\n2");
    spit(dir / "e", "");
    spit(dir / "b", "3\n");
    input_files.names = {dir / "gone", dir / "a", dir / "e", dir / "b"};
    EXPECT_EQ(raised([] { call("gets", {}); }), "error: Cannot open input file " + dir / "gone");
    std::vector<std::string> lines;
    for (int i = 0; i < 4; ++i) lines.push_back(plain_form(call("gets", {})));
    EXPECT_EQ(lines, (std::vector<std::string>{"1\n", "2", "3\n", ""}));
    EXPECT_EQ(global_text("__filename"), dir / "b");
    EXPECT_TRUE(to_bool(call("eof", {})));
}

TEST_F(FileIoTest, a_fifo_at_the_end_of_the_input) {
    spit(dir / "a", "1\n");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    input_files.names = {dir / "a", dir / "fifo", "/dev/null"};
    std::thread writer([&] {
        int fd = ::open((dir / "fifo").c_str(), O_WRONLY);
        if (fd >= 0) {
            (void)!::write(fd, "x\r\ny", 4);
            ::close(fd);
        }
    });
    std::vector<std::string> lines;
    for (int i = 0; i < 4; ++i) lines.push_back(plain_form(call("gets", {})));
    writer.join();
    EXPECT_EQ(lines, (std::vector<std::string>{"1\n", "x\n", "y", ""}));
}

TEST_F(FileIoTest, in_place_editing_keeps_a_backup) {
    std::string x = dir / "x.txt";
    spit(x, "old\n");
    chmod(x.c_str(), 0751);
    input_files.inplace = true;
    input_files.names = {x};
    EXPECT_EQ(plain_form(call("gets", {})), "old\n");
    call("puts", {str("new\n")});
    EXPECT_EQ(plain_form(call("gets", {})), "");
    call("puts", {str("more")}); // stdout still writes the last output file
    call("flush", {out_});
    EXPECT_EQ(slurp(x + ".bak"), "old\n");
    EXPECT_EQ(slurp(x), "new\r\nmore");
    EXPECT_EQ(global_text("__filename"), x);
    struct stat st;
    ASSERT_EQ(stat(x.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u) << "the rewritten file keeps its permissions";
    EXPECT_EQ(output(), "") << "the console output is not written";
}

TEST_F(FileIoTest, in_place_failures_lose_nothing) {
    std::string x = dir / "x.txt";
    spit(x + ".bak", "");
    spit(x + ".0.bak", "");
    EXPECT_EQ(backup_name(x), x + ".1.bak");
    std::filesystem::create_directory(x + ".1.bak");
    EXPECT_EQ(backup_name(x), x + ".1.bak") << "a directory does not count as taken";

    spit(x, "keep");
    input_files.inplace = true;
    input_files.names = {x, dir / "none", dir.path()};
    EXPECT_EQ(raised([] { call("gets", {}); }), "error: Cannot create backup file for " + x);
    EXPECT_EQ(slurp(x), "keep") << "the rename onto the directory failed";
    EXPECT_EQ(raised([] { call("gets", {}); }), "error: Cannot open input file " + dir / "none");
    EXPECT_FALSE(std::filesystem::exists(dir / "none.bak")) << "a missing file has no backup";
    EXPECT_EQ(raised([] { call("gets", {}); }), "error: Cannot open input file " + dir.path());
    EXPECT_FALSE(std::filesystem::exists(dir.path() + ".bak")) << "directories are not renamed";

    // Without a stdout file object nothing is renamed.
    input_files.names = {x};
    input_files.next = 0;
    set_global("stdout", Value(0));
    EXPECT_EQ(plain_form(call("gets", {})), "");
    EXPECT_EQ(slurp(x), "keep");
}

TEST_F(FileIoTest, wildcards_expand_sorted_with_their_directory) {
    for (const char* n : {"b.log", "a.log", "c.txt", ".hidden.log", "[x]1.log", "x1.log"})
        spit(dir / n, "");
    std::filesystem::create_directory(dir / "d.log");
    add_input_file("plain.txt");
    add_input_file(dir / "*.log");
    add_input_file(dir / "l*gs/*.txt");
    add_input_file(dir / "*.none");
    add_input_file(dir / "[x]?.log");
    EXPECT_EQ(input_files.names,
              (std::vector<std::string>{"plain.txt", dir / "[x]1.log", dir / "a.log", dir / "b.log",
                                        dir / "d.log", dir / "x1.log", dir / "l*gs/*.txt",
                                        dir / "[x]1.log"}));
}
