// File objects: line reading, line-end translation, the UTF-16 rules, encodings on the way in
// and out, closed and attached streams, special files, write errors and closed pipes.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "io/file.h"
#include "io_harness.h"

using namespace ruvo;
using namespace std::string_literals;
using iotest::slurp;
using iotest::spit;
using Lines = std::vector<std::string>;

namespace {

class FileTest : public ::testing::Test {
protected:
    VFile* opened(const std::string& name, const char* mode, const char* enc = "sjis") {
        keep_.emplace_back(make_file(enc));
        VFile* f = as_file(keep_.back());
        EXPECT_TRUE(f->open(dir / name, mode)) << name << " " << mode;
        return f;
    }
    static Lines all_lines(VFile* f) {
        Lines lines;
        for (std::string l; !(l = f->gets()).empty();) lines.push_back(l);
        return lines;
    }
    iotest::ScratchDir dir;
    std::vector<Value> keep_;
};

} // namespace

TEST_F(FileTest, end_of_file_comes_with_the_read_that_meets_it) {
    spit(dir / "a", "one\ntwo");
    spit(dir / "empty", "");
    VFile* f = opened("a", "r");
    EXPECT_EQ(f->gets(), "one\n");
    EXPECT_FALSE(f->eof());
    EXPECT_EQ(f->gets(), "two");
    EXPECT_TRUE(f->eof());
    EXPECT_EQ(f->gets(), "");
    VFile* e = opened("empty", "r");
    EXPECT_FALSE(e->eof()) << "fresh and empty: no read has met the end yet";
    EXPECT_EQ(e->gets(), "");
    EXPECT_TRUE(e->eof());
    EXPECT_TRUE(e->rewind());
    EXPECT_FALSE(e->eof());
}

TEST_F(FileTest, long_lines_and_cr_lf_on_buffer_boundaries) {
    // A 2000-byte line, then CR LF pairs straddling the 511-byte piece and the stream's
    // 4096-byte buffers.
    std::string text(2000, 'x');
    text += "\n";
    for (size_t pos : {2510u, 4095u, 8191u}) {
        text.resize(pos, 'a');
        text += "\r\n";
    }
    spit(dir / "long", text);
    Lines lines = all_lines(opened("long", "r"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], std::string(2000, 'x') + "\n");
    std::string joined;
    for (const std::string& l : lines) joined += l;
    EXPECT_EQ(joined.find('\r'), std::string::npos);
    EXPECT_EQ(opened("long", "r")->read(1 << 20), joined) << "read(n) translates the same way";
}

TEST_F(FileTest, translation_agrees_with_a_reference_for_any_buffer_size) {
    std::mt19937 rng(12345);
    std::string bytes;
    for (int i = 0; i < 20000; ++i) bytes += "ab\r\n"[rng() % 4];
    spit(dir / "mix", bytes);
    std::string expected;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            expected += bytes[i];
    for (size_t buffer : {1u, 2u, 3u, 7u, 4096u}) {
        VFile* f = opened("mix", "r");
        setvbuf(f->stream(), nullptr, _IOFBF, buffer);
        std::string joined;
        for (const std::string& l : all_lines(f)) {
            EXPECT_TRUE(l.back() == '\n' || f->eof()) << "only the last line lacks its LF";
            joined += l;
        }
        EXPECT_EQ(joined, expected) << "gets, buffer " << buffer;
        VFile* g = opened("mix", "r");
        setvbuf(g->stream(), nullptr, _IOFBF, buffer);
        std::string chunks;
        for (std::string c; !(c = g->read(1 + rng() % 5)).empty();) chunks += c;
        EXPECT_EQ(chunks, expected) << "read, buffer " << buffer;
    }
}

TEST_F(FileTest, text_mode_writes_agree_with_a_reference_for_any_buffer_size) {
    // Runs and LFs of every length, so that LFs land on the last byte of the stream's buffer,
    // on the one before it and just after a flush; then a read from the same update stream.
    std::mt19937 rng(99);
    for (size_t buffer : {1u, 2u, 3u, 5u, 64u, 4096u}) {
        VFile* f = opened("w" + std::to_string(buffer), "w+");
        setvbuf(f->stream(), nullptr, _IOFBF, buffer);
        std::string expected, original;
        for (int piece = 0; piece < 300; ++piece) {
            std::string text;
            for (size_t n = rng() % 12; n-- > 0;) text += "ab\n\r"[rng() % 4];
            f->puts(text);
            original += text;
            for (char c : text) expected += c == '\n' ? "\r\n"s : std::string(1, c);
        }
        EXPECT_TRUE(f->rewind());
        EXPECT_EQ(f->read(64), original.substr(0, 64)) << "reading translates back";
        f->close();
        EXPECT_EQ(slurp(dir / ("w" + std::to_string(buffer))), expected) << "buffer " << buffer;
    }
}

TEST_F(FileTest, text_mode_translates_line_ends_binary_mode_passes_them) {
    spit(dir / "crlf", "a\r\nb\rc\r\n\r");
    EXPECT_EQ(all_lines(opened("crlf", "r")), (Lines{"a\n", "b\rc\n", "\r"}));
    EXPECT_EQ(all_lines(opened("crlf", "rb")), (Lines{"a\r\n", "b\rc\r\n", "\r"}));

    VFile* f = opened("out", "w");
    EXPECT_TRUE(f->puts("x\n"));
    EXPECT_EQ(f->write("\n"), 1u) << "counts the bytes given, not those written";
    EXPECT_TRUE(f->binmode());
    EXPECT_TRUE(f->open(dir / "out2", "w"));
    EXPECT_FALSE(f->text_mode()) << "the binary setting survives reopening";
    f->puts("1\n");
    EXPECT_TRUE(f->txtmode());
    f->puts("2\n");
    f->close();
    EXPECT_EQ(slurp(dir / "out"), "x\r\n\r\n");
    EXPECT_EQ(slurp(dir / "out2"), "1\n2\r\n");
    EXPECT_TRUE(f->open(dir / "out", "rb"));
    EXPECT_FALSE(f->binary_setting()) << "a \"b\" in the mode is not remembered";
}

TEST_F(FileTest, an_update_stream_writes_where_it_read_up_to) {
    spit(dir / "rw", "abcdef");
    VFile* f = opened("rw", "r+b");
    EXPECT_EQ(f->read(2), "ab");
    EXPECT_EQ(f->write("XY"), 2u);
    EXPECT_EQ(f->read(2), "ef");
    f->close();
    EXPECT_EQ(slurp(dir / "rw"), "abXYef");
}

TEST_F(FileTest, utf16_byte_order_mark_and_line_ends) {
    VFile* f = opened("u16", "w", "utf16");
    EXPECT_TRUE(f->puts("abc\n"));
    EXPECT_TRUE(f->puts("d"));
    EXPECT_FALSE(f->puts(""));
    f->close();
    EXPECT_EQ(slurp(dir / "u16"), "\xFF\xFE"
                                  "a\0b\0c\0\r\0\n\0d\0"s);
    EXPECT_EQ(all_lines(opened("u16", "r", "utf16")), (Lines{"abc\n", "d"}));

    // Appending to a file that has text adds no second mark ("a+" reports position 0).
    for (const char* mode : {"a", "a+"}) {
        spit(dir / "app", "\xFF\xFEx\0"s);
        opened("app", mode, "utf16")->puts("y");
        keep_.clear();
        EXPECT_EQ(slurp(dir / "app"), "\xFF\xFEx\0y\0"s) << mode;
    }
}

TEST_F(FileTest, utf16_reading_drops_marks_and_keeps_what_follows_a_lone_cr) {
    spit(dir / "u", "\xFF\xFEp\0\xFF\xFEq\0\r\0\n\0r\0\r\0s\0\n\0t\0\r\0\x41"s);
    EXPECT_EQ(all_lines(opened("u", "r", "utf16")), (Lines{"pq\n", "r\n", "s\n", "t\n"}));
    EXPECT_EQ(all_lines(opened("u", "rb", "utf16")), (Lines{"pq\r\n", "r\rs\n", "t\r"}));
}

TEST_F(FileTest, encodings_convert_on_the_way_to_and_from_shift_jis) {
    // Cyrillic Zhe, the euro sign (not in code page 932), a four-byte emoji, a kanji.
    spit(dir / "u8", "\xD0\x96|\xE2\x82\xAC|\xF0\x9F\x98\x80|\xE3\x81\x82\n");
    EXPECT_EQ(opened("u8", "r", "utf8")->gets(), "\x84\x47|?||\x82\xA0\n");
    spit(dir / "euc", "\xA4\xA2\x8E\xB1\n");
    EXPECT_EQ(opened("euc", "r", "EUC")->gets(), "\x82\xA0\xB1\n");
    opened("out8", "wb", "UTF8")->puts("\x82\xA0");
    keep_.clear();
    EXPECT_EQ(slurp(dir / "out8"), "\xE3\x81\x82");
    EXPECT_EQ(make_file("latin1"), nullptr);
}

TEST_F(FileTest, closed_objects_report_their_closed_results) {
    for (const char* enc : {"sjis", "euc", "utf8", "utf16"}) {
        Value v(make_file(enc));
        VFile* f = as_file(v);
        EXPECT_EQ(f->close(), -1);
        EXPECT_EQ(f->gets(), "");
        EXPECT_FALSE(f->puts("x"));
        EXPECT_EQ(f->read(5), "");
        EXPECT_EQ(f->write("x"), 0u);
        EXPECT_TRUE(f->eof());
        EXPECT_FALSE(f->rewind() || f->flush() || f->binmode() || f->txtmode());
    }
}

TEST_F(FileTest, closing_an_attached_stream_gives_minus_one_and_leaves_it_open) {
    FILE* s = std::fopen((dir / "att").c_str(), "w+");
    ASSERT_TRUE(s);
    {
        Value v(make_file("sjis"));
        as_file(v)->attach(s);
        EXPECT_TRUE(as_file(v)->puts("hi\n"));
        EXPECT_EQ(as_file(v)->close(), -1);
        as_file(v)->attach(s);
    } // destroying the object leaves a borrowed stream alone
    EXPECT_GE(std::fputs("more", s), 0);
    EXPECT_EQ(std::fclose(s), 0);
    EXPECT_EQ(slurp(dir / "att"), "hi\r\nmore");
}

TEST_F(FileTest, special_missing_and_refused_files) {
    Value v(make_file("sjis"));
    VFile* f = as_file(v);
    EXPECT_FALSE(f->open(dir / "missing", "r"));
    EXPECT_FALSE(f->open(dir.path(), "r")) << "a directory is no file";
    EXPECT_FALSE(f->open(dir / "x", "rw"));
    EXPECT_FALSE(f->open(dir / "x\0y"s, "w")) << "a NUL inside the name";
    EXPECT_FALSE(std::filesystem::exists(dir / "x"));
    ASSERT_TRUE(f->open("/dev/null", "r"));
    EXPECT_EQ(f->gets(), "");
    EXPECT_TRUE(f->eof());

    // A line without end comes back in parts of the line limit.
    ASSERT_TRUE(f->open("/dev/zero", "r"));
    size_t limit = file_limits.line;
    file_limits.line = 100000;
    EXPECT_EQ(f->gets(), std::string(100000, '\0'));
    file_limits.line = limit;

    // A full disk: short writes and failed flushes are results.
    ASSERT_TRUE(f->open("/dev/full", "w"));
    std::string big(1 << 20, 'z');
    EXPECT_LT(f->write(big), big.size());
    EXPECT_TRUE(f->puts("x")) << "buffered: the failure shows at the flush";
    EXPECT_FALSE(f->flush());
}

TEST_F(FileTest, a_closed_pipe_ends_the_process_quietly) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    std::fflush(nullptr); // the child must not repeat what the parent has buffered
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGPIPE, SIG_IGN); // even when it was ignored
        Value v(make_file("sjis"));
        as_file(v)->attach(fdopen(fds[1], "w"));
        std::string chunk(1 << 16, 'y');
        for (int i = 0; i < 100; ++i) as_file(v)->write(chunk);
        _exit(3);
    }
    close(fds[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGPIPE);
}
