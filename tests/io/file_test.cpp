// File objects: line reading, line-end translation, the UTF-16 rules, encodings on the way in
// and out, closed and attached streams, special files, write errors and closed pipes.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "io/file.h"
#include "io_harness.h"

using namespace ruvo;
using namespace std::string_literals;
using iotest::slurp;
using iotest::spit;

namespace {

class FileTest : public ::testing::Test {
protected:
    // A file object of `enc` opened on `name` in the scratch directory.
    Value opened(const std::string& name, const char* mode, const char* enc = "sjis") {
        Value v(make_file(enc));
        EXPECT_TRUE(as_file(v)->open(dir / name, mode)) << name << " " << mode;
        return v;
    }
    std::vector<std::string> all_lines(VFile* f) {
        std::vector<std::string> lines;
        for (std::string l; !(l = f->gets()).empty();) lines.push_back(l);
        return lines;
    }
    iotest::ScratchDir dir;
};

} // namespace

TEST_F(FileTest, last_line_without_lf_then_empty_text_at_eof) {
    spit(dir / "a.txt", "one\ntwo");
    Value v = opened("a.txt", "r");
    VFile* f = as_file(v);
    EXPECT_EQ(f->gets(), "one\n");
    EXPECT_FALSE(f->eof());
    EXPECT_EQ(f->gets(), "two");
    EXPECT_TRUE(f->eof());
    EXPECT_EQ(f->gets(), "");
    EXPECT_TRUE(f->eof());
}

TEST_F(FileTest, eof_of_a_fresh_empty_file_waits_for_a_read) {
    spit(dir / "empty", "");
    Value v = opened("empty", "r");
    EXPECT_FALSE(as_file(v)->eof());
    EXPECT_EQ(as_file(v)->gets(), "");
    EXPECT_TRUE(as_file(v)->eof());
    EXPECT_TRUE(as_file(v)->rewind());
    EXPECT_FALSE(as_file(v)->eof()) << "rewind clears the end-of-file indicator";
}

TEST_F(FileTest, long_lines_come_back_whole) {
    std::string big(2000, 'x');
    // 510 bytes then CR LF: the pair straddles the 511-byte piece boundary.
    std::string edge = std::string(510, 'e') + "\r\n";
    spit(dir / "long", big + "\n" + edge + big);
    Value v = opened("long", "r");
    VFile* f = as_file(v);
    EXPECT_EQ(f->gets(), big + "\n");
    EXPECT_EQ(f->gets(), std::string(510, 'e') + "\n");
    EXPECT_EQ(f->gets(), big);
}

TEST_F(FileTest, text_mode_joins_cr_lf_across_the_stream_buffer) {
    // The C library reads in blocks of 4096 (or more): put CR and LF on both sides of every
    // plausible boundary.
    std::string text;
    for (size_t pos : {4095u, 8191u, 65535u}) {
        text.resize(pos, 'a');
        text += "\r\n";
    }
    spit(dir / "edge", text);
    Value v = opened("edge", "r");
    std::string joined;
    for (std::string l : all_lines(as_file(v))) joined += l;
    EXPECT_EQ(joined.find('\r'), std::string::npos);
    EXPECT_EQ(joined.size(), text.size() - 3);

    Value w = opened("edge", "r");
    std::string raw = as_file(w)->read(1 << 20);
    EXPECT_EQ(raw, joined) << "read(n) follows the same translation";
}

TEST_F(FileTest, cr_lf_is_translated_in_text_mode_and_kept_in_binary_mode) {
    spit(dir / "crlf", "a\r\nb\rc\r\n\r");
    {
        Value v = opened("crlf", "r");
        EXPECT_EQ(all_lines(as_file(v)), (std::vector<std::string>{"a\n", "b\rc\n", "\r"}));
    }
    {
        Value v = opened("crlf", "rb");
        EXPECT_EQ(all_lines(as_file(v)), (std::vector<std::string>{"a\r\n", "b\rc\r\n", "\r"}));
    }
    {
        Value v = opened("out", "w");
        EXPECT_TRUE(as_file(v)->puts("x\ny\n"));
        EXPECT_EQ(as_file(v)->write("\n"), 1u) << "counts the bytes given, not those written";
        EXPECT_EQ(as_file(v)->close(), 0);
        EXPECT_EQ(slurp(dir / "out"), "x\r\ny\r\n\r\n");
    }
    {
        Value v = opened("out", "wb");
        EXPECT_TRUE(as_file(v)->puts("x\ny\n"));
        as_file(v)->close();
        EXPECT_EQ(slurp(dir / "out"), "x\ny\n");
    }
}

TEST_F(FileTest, binary_setting_survives_reopening_and_txtmode_clears_it) {
    Value v = opened("b", "w");
    VFile* f = as_file(v);
    EXPECT_TRUE(f->binmode());
    EXPECT_TRUE(f->open(dir / "b", "w"));
    EXPECT_FALSE(f->text_mode());
    f->puts("1\n");
    EXPECT_TRUE(f->txtmode());
    f->puts("2\n");
    f->close();
    EXPECT_EQ(slurp(dir / "b"), "1\n2\r\n");
    EXPECT_TRUE(f->open(dir / "b", "rb"));
    EXPECT_FALSE(f->binary_setting()) << "a \"b\" in the mode is not remembered";
    EXPECT_TRUE(f->open(dir / "b", "r"));
    EXPECT_TRUE(f->text_mode());
}

TEST_F(FileTest, reading_then_writing_an_update_stream_lands_in_place) {
    spit(dir / "rw", "abcdef");
    Value v = opened("rw", "r+b");
    VFile* f = as_file(v);
    EXPECT_EQ(f->read(2), "ab");
    EXPECT_EQ(f->write("XY"), 2u);
    EXPECT_EQ(f->read(2), "ef");
    f->close();
    EXPECT_EQ(slurp(dir / "rw"), "abXYef");
}

TEST_F(FileTest, utf16_writes_bom_and_cr_lf_units_and_reads_them_back) {
    Value v = opened("u16", "w", "utf16");
    EXPECT_TRUE(as_file(v)->puts("abc\n"));
    EXPECT_TRUE(as_file(v)->puts("d"));
    as_file(v)->close();
    EXPECT_EQ(slurp(dir / "u16"), "\xFF\xFE"
                                  "a\0b\0c\0\r\0\n\0d\0"s);
    EXPECT_TRUE(as_file(v)->open(dir / "u16", "r"));
    EXPECT_EQ(as_file(v)->gets(), "abc\n");
    EXPECT_EQ(as_file(v)->gets(), "d");
    EXPECT_EQ(as_file(v)->gets(), "");

    // Appending to a file that has text adds no second byte-order mark, "a" and "a+" alike.
    for (const char* mode : {"a", "a+"}) {
        spit(dir / "app", "\xFF\xFEx\0"s);
        Value a = opened("app", mode, "utf16");
        as_file(a)->puts("y");
        as_file(a)->close();
        EXPECT_EQ(slurp(dir / "app"), "\xFF\xFEx\0y\0"s) << mode;
    }
}

TEST_F(FileTest, utf16_line_rules) {
    // BOM units anywhere are dropped; CR LF, a lone CR and a lone LF each end a line in text
    // mode, and the unit after a lone CR is kept.
    spit(dir / "u", "\xFF\xFEp\0\xFF\xFEq\0\r\0\n\0r\0\r\0s\0\n\0t\0\r\0"s);
    Value v = opened("u", "r", "utf16");
    EXPECT_EQ(all_lines(as_file(v)), (std::vector<std::string>{"pq\n", "r\n", "s\n", "t\n"}));
    EXPECT_TRUE(as_file(v)->eof());

    Value b = opened("u", "rb", "utf16");
    EXPECT_EQ(all_lines(as_file(b)), (std::vector<std::string>{"pq\r\n", "r\rs\n", "t\r"}));

    Value w = opened("ub", "wb", "utf16");
    as_file(w)->puts("a\n");
    as_file(w)->close();
    EXPECT_EQ(slurp(dir / "ub"), "\xFF\xFE"
                                 "a\0\n\0"s);

    spit(dir / "odd", "\xFF\xFEz\0\x41"s);
    Value o = opened("odd", "r", "utf16");
    EXPECT_EQ(as_file(o)->gets(), "z") << "an odd last byte is no unit";
}

TEST_F(FileTest, utf8_and_euc_convert_on_the_way_to_shift_jis) {
    // Cyrillic Zhe, the euro sign (not in code page 932), a four-byte emoji, a kanji.
    spit(dir / "u8", "\xD0\x96|\xE2\x82\xAC|\xF0\x9F\x98\x80|\xE3\x81\x82\n");
    Value v = opened("u8", "r", "utf8");
    EXPECT_EQ(as_file(v)->gets(), "\x84\x47|?||\x82\xA0\n");

    Value w = opened("out8", "wb", "UTF8");
    EXPECT_TRUE(as_file(w)->puts("\x82\xA0"));
    as_file(w)->close();
    EXPECT_EQ(slurp(dir / "out8"), "\xE3\x81\x82");

    spit(dir / "euc", "\xA4\xA2\x8E\xB1\n");
    Value e = opened("euc", "r", "euc");
    EXPECT_EQ(as_file(e)->gets(), "\x82\xA0\xB1\n");
    EXPECT_TRUE(as_file(e)->open(dir / "euc", "wb"));
    as_file(e)->puts("\x82\xA0\xB1");
    as_file(e)->close();
    EXPECT_EQ(slurp(dir / "euc"), "\xA4\xA2\x8E\xB1");
}

TEST_F(FileTest, closed_objects_report_their_closed_results) {
    for (const char* enc : {"sjis", "euc", "utf8", "utf16"}) {
        Value v(make_file(enc));
        VFile* f = as_file(v);
        ASSERT_TRUE(f) << enc;
        EXPECT_STREQ(f->type_name(), "file");
        EXPECT_EQ(f->clone(), nullptr);
        EXPECT_EQ(f->close(), -1);
        EXPECT_EQ(f->gets(), "");
        EXPECT_FALSE(f->puts("x"));
        EXPECT_EQ(f->read(5), "");
        EXPECT_EQ(f->write("x"), 0u);
        EXPECT_TRUE(f->eof());
        EXPECT_FALSE(f->rewind());
        EXPECT_FALSE(f->flush());
        EXPECT_FALSE(f->binmode());
        EXPECT_FALSE(f->txtmode());
    }
    EXPECT_EQ(make_file("latin1"), nullptr);
    Value u(make_file("UtF16"));
    EXPECT_NE(dynamic_cast<VFileUtf16*>(as_file(u)), nullptr);
}

TEST_F(FileTest, empty_puts_writes_nothing) {
    Value v = opened("e", "w");
    EXPECT_FALSE(as_file(v)->puts(""));
    Value u = opened("e16", "w", "utf16");
    EXPECT_FALSE(as_file(u)->puts(""));
    as_file(u)->close();
    EXPECT_EQ(slurp(dir / "e16"), "") << "no byte-order mark without text";
}

TEST_F(FileTest, closing_an_attached_stream_gives_minus_one_and_leaves_it_open) {
    FILE* s = std::fopen((dir / "att").c_str(), "w+");
    ASSERT_TRUE(s);
    {
        Value v(make_file("sjis"));
        VFile* f = as_file(v);
        f->attach(s);
        EXPECT_TRUE(f->puts("hi\n"));
        EXPECT_EQ(f->close(), -1);
        EXPECT_EQ(f->stream(), nullptr);
        f->attach(s);
    } // destroying the object leaves a borrowed stream alone
    EXPECT_GE(std::fputs("more", s), 0);
    EXPECT_EQ(std::fclose(s), 0);
    EXPECT_EQ(slurp(dir / "att"), "hi\r\nmore");
}

TEST_F(FileTest, special_and_missing_files) {
    Value v(make_file("sjis"));
    VFile* f = as_file(v);
    EXPECT_FALSE(f->open(dir / "missing", "r"));
    EXPECT_FALSE(f->open(dir.path(), "r")) << "a directory is no file";
    EXPECT_EQ(f->stream(), nullptr);
    EXPECT_FALSE(f->open(dir / "x", "q"));
    EXPECT_FALSE(f->open(dir / "x", "rw"));
    EXPECT_FALSE(f->open(dir / "x\0y"s, "w")) << "a NUL inside the name";
    EXPECT_FALSE(std::filesystem::exists(dir / "x"));

    ASSERT_TRUE(f->open("/dev/null", "r"));
    EXPECT_EQ(f->gets(), "");
    EXPECT_TRUE(f->eof());
    EXPECT_TRUE(f->rewind());
    EXPECT_FALSE(f->eof());
}

TEST_F(FileTest, write_errors_are_results) {
    Value v(make_file("sjis"));
    VFile* f = as_file(v);
    ASSERT_TRUE(f->open("/dev/full", "w"));
    std::string big(1 << 20, 'z');
    EXPECT_LT(f->write(big), big.size());
    EXPECT_TRUE(f->puts("x")) << "buffered: the failure shows at the flush";
    EXPECT_FALSE(f->flush());
    ASSERT_TRUE(f->open("/dev/full", "w"));
    f->puts("x");
    EXPECT_EQ(f->close(), -1);
}

TEST_F(FileTest, a_closed_pipe_ends_the_process_quietly) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    std::fflush(nullptr); // the child must not repeat what the parent has buffered
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGPIPE, SIG_IGN); // even when the parent ignored it
        FILE* s = fdopen(fds[1], "w");
        Value v(make_file("sjis"));
        as_file(v)->attach(s);
        std::string chunk(1 << 16, 'y');
        for (int i = 0; i < 100; ++i) as_file(v)->write(chunk);
        _exit(3); // not reached
    }
    close(fds[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGPIPE);
}
