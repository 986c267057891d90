// #include and its search order, #line output across files, lines left for the scanner, and
// the cpp_main entry point with its options and output file.
#include "pp_test_util.h"

#include <unistd.h>

using pptest::ScratchDir;

namespace {

TEST(Files, IncludeSearchOrder) {
    ScratchDir d;
    d.write("src/same.rv", "from_src_dir\n");
    d.write("inc1/same.rv", "from_inc1\n");
    d.write("inc1/only.rv", "only_in_inc1\n");
    d.write("inc2/only.rv", "only_in_inc2\n");
    d.write("inc2/deep.rv", "#include \"same.rv\"\n");
    std::string main = d.write("src/main.rv", "#include \"same.rv\"\n#include <only.rv>\n"
                                              "#include \"deep.rv\"\n#define F <only.rv>\n"
                                              "#include F\n");
    ruvopp::Options opt;
    opt.include_dirs = {d.path() + "/inc1/", d.path() + "/inc2"};
    pptest::Result r = pptest::run_file(main, opt);
    ASSERT_TRUE(r.ok) << r.errors;
    EXPECT_NE(r.out.find("from_src_dir"), std::string::npos);
    EXPECT_NE(r.out.find("only_in_inc1"), std::string::npos);
    EXPECT_EQ(r.out.find("only_in_inc2"), std::string::npos);
    // deep.rv sits in inc2, so its own directory is searched first: inc2 has no same.rv,
    // then inc1's is found.
    EXPECT_NE(r.out.find("from_inc1"), std::string::npos);
}

TEST(Files, LineDirectivesFollowEveryFile) {
    ScratchDir d;
    d.write("lib/inc.rv", "I1\n#define X 1\n\nI4\n");
    std::string main = d.write("main.rv", "M1\n#include \"lib/inc.rv\"\nM3\n#if 0\n\n\n\n\n\n"
                                          "\n\n\n\n\n#endif\nM16\n#include \"lib/inc.rv\"\n");
    pptest::Result r = pptest::run_file(main);
    ASSERT_TRUE(r.ok) << r.errors;
    EXPECT_EQ(r.out.rfind("#line 1 \"" + main + "\"\n", 0), 0u);
    EXPECT_EQ(pptest::where(r.out, "M1"), main + ":1");
    EXPECT_EQ(pptest::where(r.out, "I1"), d.path() + "/lib/inc.rv:1");
    EXPECT_EQ(pptest::where(r.out, "I4"), d.path() + "/lib/inc.rv:4");
    EXPECT_EQ(pptest::where(r.out, "M3"), main + ":3");
    EXPECT_EQ(pptest::where(r.out, "M16"), main + ":16");

    // An included file without a final newline, ending in a function-like macro name: the
    // name does not take the parenthesis of the including file as its argument list.
    d.write("tail.rv", "#define F(x) [x]\nT2 F");
    main = d.write("main2.rv", "#include \"tail.rv\"\n(M2)\n");
    r = pptest::run_file(main);
    ASSERT_TRUE(r.ok) << r.errors;
    EXPECT_EQ(pptest::where(r.out, "T2 F"), d.path() + "/tail.rv:2");
    EXPECT_EQ(pptest::where(r.out, "(M2)"), main + ":2");
}

TEST(Files, ErrorsInIncludedFilesAndLoops) {
    ScratchDir d;
    d.write("bad.rv", "ok\n\n#error in bad\n");
    d.write("loop.rv", "#include \"loop.rv\"\n");
    pptest::Result r = pptest::run_file(d.write("m.rv", "\n#include \"bad.rv\"\n"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, d.path() + "/bad.rv:3: #error in bad\n");
    r = pptest::run_file(d.write("m.rv", "#include \"nothere.rv\"\n"));
    EXPECT_EQ(r.errors, d.path() + "/m.rv:1: cannot find include file \"nothere.rv\"\n");
    r = pptest::run_file(d.path() + "/loop.rv");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errors, d.path() + "/loop.rv:1: #include nested too deeply\n");
    r = pptest::run_file(d.path() + "/absent.rv");
    EXPECT_EQ(r.errors, d.path() + "/absent.rv: cannot open input file\n");
}

TEST(Files, ScannerLinesPassThrough) {
    pptest::Result r = pptest::run("#!/usr/bin/ruvo -x\n#pragma once \\\n  more\n"
                                   "#define M X\nM\n#line 100 \"orig.rv\"\nM101\n# line 7\nM7\n");
    ASSERT_TRUE(r.ok) << r.errors;
    EXPECT_NE(r.out.find("\n#!/usr/bin/ruvo -x\n#pragma once \\\n  more\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n#line 100 \"orig.rv\"\n"), std::string::npos);
    EXPECT_EQ(pptest::where(r.out, "X"), "t.rv:5");
    EXPECT_EQ(pptest::where(r.out, "M101"), "orig.rv:100");
    EXPECT_EQ(pptest::where(r.out, "M7"), "orig.rv:7");
    // Errors after a #line name the line as renumbered.
    r = pptest::run("#line 50 \"orig.rv\"\n\n#error here\n");
    EXPECT_EQ(r.errors, "orig.rv:51: #error here\n");
    // A name that a #line could not carry loses its quotes.
    r = pptest::run("x\n", "a\"b.rv");
    EXPECT_EQ(r.out, "#line 1 \"ab.rv\"\nx\n");
}

TEST(CppMain, OptionsAndOutputFile) {
    ScratchDir d;
    d.write("inc/h.rv", "from_h\n");
    std::string in = d.write("s.rv", "#include <h.rv>\nA B C\n#ifdef U\nu\n#endif\n");
    std::string out = d.path() + "/s.rv.i";
    ASSERT_EQ(pptest::call_cpp_main(
                  {"-DA", "-DB=2", "-DU", "-UU", "-I" + d.path() + "/inc", "-D", "-o" + out, in}),
              0);
    std::string text = pptest::read_file(out);
    EXPECT_NE(text.find("from_h"), std::string::npos);
    EXPECT_NE(text.find("1 2 C"), std::string::npos);
    EXPECT_EQ(text.find("\nu\n"), std::string::npos);
    EXPECT_EQ(pptest::where(text, "1 2 C"), in + ":2");
}

TEST(CppMain, FailureLeavesNoOutput) {
    ScratchDir d;
    std::string in = d.write("s.rv", "ok\n#error broken\n");
    std::string out = d.write("s.rv.i", "stale output of an earlier run\n");
    std::string errors;
    EXPECT_NE(pptest::call_cpp_main({"-o" + out, in}, &errors), 0);
    EXPECT_EQ(errors, in + ":2: #error broken\n");
    EXPECT_NE(::access(out.c_str(), F_OK), 0);
    EXPECT_NE(pptest::call_cpp_main({"-o" + out, d.path() + "/none.rv"}, &errors), 0);
    EXPECT_EQ(errors, d.path() + "/none.rv: cannot open input file\n");
    EXPECT_NE(pptest::call_cpp_main({"-D1=2", "-o" + out, in}, &errors), 0);
    EXPECT_EQ(errors, "<command line>: -D1=2: macro names must be identifiers\n");
    EXPECT_NE(pptest::call_cpp_main({"-q", in}, &errors), 0);
    EXPECT_NE(::access(out.c_str(), F_OK), 0);
}

} // namespace
