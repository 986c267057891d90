// The parser through the tree printer: precedence, node shapes, the checks the grammar cannot
// express, error recovery and the all-or-nothing rule.
#include <gtest/gtest.h>

#include <string>

#include "io/stdstream.h"
#include "eval/func.h"
#include "front/parser.h"
#include "front/source.h"

using namespace ruvo;

namespace {

// The messages are compared with plain line ends.
const bool plain_stderr = (note_stream_mode(stderr, true), true);

// The printed program, or "FAIL" when the parse failed.  stderr collects the messages.
std::string tree(std::string_view src, std::string* errors = nullptr) {
    ::testing::internal::CaptureStderr();
    Context* c = parseText(src);
    std::string err = ::testing::internal::GetCapturedStderr();
    if (errors) *errors = err;
    if (!c) return "FAIL";
    std::string s = print_context(c);
    delete c;
    return s;
}

std::string expr(std::string_view src) {
    return tree(std::string(src) + ";");
}

} // namespace

TEST(Parser, Precedence) {
    EXPECT_EQ(expr("a = 1 + 2 * 3"), "(ASSIGN a (ADD 1 (MUL 2 3)))");
    EXPECT_EQ(expr("a && b || c"), "(OR (AND a b) c)");
    EXPECT_EQ(expr("a || b && c"), "(AND (OR a b) c)");
    EXPECT_EQ(expr("a | b & c"), "(BITAND (BITOR a b) c)");
    EXPECT_EQ(expr("a == b & c"), "(BITAND (EQ a b) c)");
    EXPECT_EQ(expr("a && b === c"), "(AND a (SEQ b c))");
    EXPECT_EQ(expr("-a ** b"), "(NEG (POW a b))");
    EXPECT_EQ(expr("!a ** b"), "(POW (NOT a) b)");
    EXPECT_EQ(expr("a ** b ** c"), "(POW a (POW b c))");
    EXPECT_EQ(expr("a && b = c"), "(AND a (ASSIGN b c))");
    EXPECT_EQ(expr("a ? b : c = d"), "(COND a b (ASSIGN c d))");
    EXPECT_EQ(expr("a = b ? c : d ? e : f"), "(ASSIGN a (COND b c (COND d e f)))");
    EXPECT_EQ(expr("a = b += c"), "(ASSIGN a (ADDEQ b c))");
    EXPECT_EQ(expr("a - b - c << 1 >>> 2"), "(USHR (SHL (SUB (SUB a b) c) 1) 2)");
    EXPECT_EQ(expr("a ~ b =~ /x/i !~ c"), "(NMATCH (MATCH (MATCH a b) /x/i) c)");
    EXPECT_EQ(expr("- - a + +b - ~c \\ d % e"),
              "(SUB (ADD (NEG (NEG a)) b) (MOD (IDIV (BITNOT c) d) e))");
    EXPECT_EQ(expr("++a[0] + b.c-- - &f"),
              "(SUB (ADD (PREINC (INDEX a 0)) (POSTDEC (MEMBER b c))) (FUNCREF f))");
    EXPECT_EQ(expr("(a) = (b)++"), "(ASSIGN a (POSTINC b))");
    EXPECT_EQ(tree("if (a) if (b) c; else d;"), "(IF a (IF b c d) _)");
}

TEST(Parser, ComparisonChains) {
    EXPECT_EQ(expr("a < b"), "(LT a b)");
    EXPECT_EQ(expr("a < b >= c"), "(CLT a (CGE b c))");
    EXPECT_EQ(expr("a >= b < c"), "(CGE a (CLT b c))");
    EXPECT_EQ(expr("a == b != c <= d + 1"), "(CEQ a (CNE b (CLE c (ADD d 1))))");
    EXPECT_EQ(expr("a == (b == c)"), "(EQ a (EQ b c))");
    EXPECT_EQ(expr("a << 1 > b === c"), "(SEQ (GT (SHL a 1) b) c)");
}

TEST(Parser, Statements) {
    EXPECT_EQ(tree(""), "");
    EXPECT_EQ(tree(";;{}"), "(BLOCK)");
    EXPECT_EQ(tree("if (a) b; elif (c) d; elif (e) f; else g;"), "(IF a b (IF c d (IF e f g)))");
    EXPECT_EQ(tree("while (a) { b; c; } do x++; while (y);"),
              "(WHILE a (BLOCK b c)) (DOWHILE y (POSTINC x))");
    EXPECT_EQ(tree("for (i = 0; i < n; i++) ; for (;;) x;"),
              "(FOR (ASSIGN i 0) (LT i n) (POSTINC i) _) (FOR _ _ _ x)");
    EXPECT_EQ(tree("for (var x in a) s; foreach (x in a) s;"),
              "(FOREACH (VAR [x]) a s) (FOREACH x a s)");
    EXPECT_EQ(tree("try a; try b; catch (e) c;"), "(TRY a _ _) (TRY b c e)");
    EXPECT_EQ(tree("try {} catch () d;"), "(TRY (BLOCK) d _)");
    EXPECT_EQ(tree("switch (x) { case 1: f(); default \n: break 2; }"),
              "(SWITCH x (BLOCK (CASE 1) (CALL [] f) (DEFAULT) (BREAK 2)))");
    EXPECT_EQ(tree("return; return a, b, c; continue; return var x = 1;"),
              "(RETURN) (RETURN (LIST a (LIST b c))) (CONTINUE) (RETURN (VAR [(ASSIGN x 1)]))");
    EXPECT_EQ(tree("var a[3], b = 1, c[]; static s; extern e, f;"),
              "(VAR [(INDEX a 3) (ASSIGN b 1) (INDEX c)]) (STATIC [s]) (EXTERN [e f])");
    EXPECT_EQ(tree("a, b, var c, d;"), "(LIST a (LIST b (VAR [c d])))");
}

TEST(Parser, Literals) {
    EXPECT_EQ(expr("x = \"a\" 'b' \"c\""), "(ASSIGN x \"abc\")");
    EXPECT_EQ(expr("[1, [], null, true]"), "(ARRAY [1 (ARRAY []) null true])");
    EXPECT_EQ(expr("hash(\"k\" = 1, \"j\") + hash()"), "(ADD (HASH [\"k\"=1 \"j\"]) (HASH []))");
    EXPECT_EQ(expr("struct(a = 1, b)"), "(STRUCT [a=1 b])");
    EXPECT_EQ(expr("x = (1, 2, 3)"), "(ASSIGN x (TUPLE [1 2 3]))");
    EXPECT_EQ(expr("swap(a, b[1]) + let(c, 2)"), "(ADD (SWAP a (INDEX b 1)) (LET c 2))");
    EXPECT_EQ(expr("o.m(1)(2)"), "FAIL");
    EXPECT_EQ(expr("o.m(1).n[2]"), "(INDEX (MEMBER (CALL [1] (MEMBER o m)) n) 2)");
    EXPECT_EQ(expr("a / b / /c\\/d/m"), "(DIV (DIV a b) /c/d/m)");
    EXPECT_EQ(expr("[a, null, b[0], c.d] = v"),
              "(ASSIGN (ARRAY [a null (INDEX b 0) (MEMBER c d)]) v)");
    EXPECT_EQ(expr("[] = v"), "(ASSIGN (ARRAY []) v)");
}

TEST(Parser, TrailingCommaEndsArgumentAndParameterLists) {
    EXPECT_EQ(expr("f(4, )"), "(CALL [4] f)");
    EXPECT_EQ(expr("f(4, 5,)"), "(CALL [4 5] f)");
    EXPECT_EQ(expr("o.m(1, )"), "(CALL [1] (MEMBER o m))");
    EXPECT_EQ(tree("{ function tw(p, ) { p; } }"), "(BLOCK (FUNCDEF tw [p] (BLOCK p)))");
    // Only these two lists take it; an empty item is never allowed.
    for (const char* bad : {"x = [1, ];", "x = hash(\"a\", );", "x = struct(a, );", "swap(a, b, );",
                            "let(a, 1, );", "var a, ;", "static a = 1, ;", "extern a, ;", "f(,);",
                            "f(1,,2);", "f(1,,);", "function g(,) {}", "function g(a,,) {}",
                            "x = (1, 2, );"}) {
        std::string err;
        EXPECT_EQ(tree(bad, &err), "FAIL") << bad;
    }
}

TEST(Parser, SyntaxErrors) {
    for (const char* bad :
         {"var a[] = x;", "var a[3] = x;", "x = [1, 2, ];", "[a, 1] = v;", "[a, b] += v;",
          "(a, b) = v;", "for (x of a) s;", "++a++;", "a++ ++;", "09;", "x = 'open", "a = class;",
          "f(", "}", "{", "x = \"\"\"\nnever closed", "a b;"}) {
        std::string err;
        EXPECT_EQ(tree(bad, &err), "FAIL") << bad;
        EXPECT_EQ(err.substr(0, 7), "error [") << bad;
        EXPECT_EQ(err.substr(err.size() - 16), "]: syntax error\n") << bad << ": " << err;
        EXPECT_GE(parseErrorCount(), 1) << bad;
    }
}

TEST(Parser, RecoveryReportsEachErrorWithItsLine) {
    std::string err;
    EXPECT_EQ(tree("a b;\nok;\nvar c[] = 1;\nok;\nfor (x of y) z;\nx + ;", &err), "FAIL");
    EXPECT_EQ(err, "error [1]: syntax error\nerror [3]: syntax error\n"
                   "error [5]: syntax error\nerror [6]: syntax error\n");
    EXPECT_EQ(parseErrorCount(), 4);
    // Within three tokens of the previous error a new one is silent.
    EXPECT_EQ(tree("a b; c d;", &err), "FAIL");
    EXPECT_EQ(err, "error [1]: syntax error\n");
    EXPECT_EQ(parseErrorCount(), 1);
}

TEST(Parser, FunctionDefinitions) {
    funcman.clearFunctions();
    EXPECT_EQ(tree("x; if (c) function f(a, b) { return a; } function f(a, b) { return b; }\n"
                   "function g() { function h(p) {} }"),
              "x (IF c _ _)");
    FuncInfo* f = funcman.findFunction("f");
    ASSERT_TRUE(f);
    ASSERT_EQ(f->overloads.size(), 1u);
    EXPECT_EQ(f->overloads[0]->argc, 2);
    EXPECT_EQ(print_tree(f->overloads[0]->params), "a");
    EXPECT_EQ(print_tree(f->overloads[0]->body), "(BLOCK (RETURN b))"); // the later one
    FuncInfo* g = funcman.findFunction("g");
    ASSERT_TRUE(g);
    EXPECT_EQ(print_tree(g->overloads[0]->body), "(BLOCK (FUNCDEF h [p] (BLOCK)))");
    EXPECT_EQ(funcman.findFunction("h"), nullptr);

    // A failed parse commits nothing, nested definitions included.
    std::string err;
    EXPECT_EQ(tree("function k() { function m() { x; } }\nfunction n(a) { a b; }", &err), "FAIL");
    EXPECT_EQ(err, "error [2]: syntax error\n");
    EXPECT_EQ(funcman.findFunction("k"), nullptr);
    EXPECT_EQ(funcman.findFunction("n"), nullptr);
    funcman.clearFunctions();
}

TEST(Parser, FilesAndMessages) {
    std::string path = ::testing::TempDir() + "front_parse.rv";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("ok;\r\n\r\nbad bad;\n", f);
    std::fclose(f);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(parseFile(path.c_str()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "error [" + path + ":3]: syntax error\n");
    std::remove(path.c_str());

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(parseFile(path.c_str()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "error [" + path + ":1]: Cannot open input file: " + path + "\n\n");
    std::string longpath(600, 'p');
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(parseFile(longpath.c_str()), nullptr);
    std::string msg = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(msg.find(": Cannot open input file: " + longpath.substr(0, 515 - 24) + "\n"),
              std::string::npos);

    Context* c = parseText("#line 40 \"lib.rv\"\nx;\n");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->stmts[0]->line, 40);
    EXPECT_STREQ(frontend.fids.lookup(c->stmts[0]->file), "lib.rv");
    delete c;
    c = parseText("x;");
    EXPECT_EQ(c->stmts[0]->file, -1);
    delete c;
}

TEST(Parser, LongListsAndDeepNesting) {
    std::string list = "x = [";
    for (int i = 0; i < 1000; ++i) list += (i ? ", " : "") + std::to_string(i);
    std::string t = expr(list + "]");
    EXPECT_EQ(t.substr(0, 22), "(ASSIGN x (ARRAY [0 1 ");
    EXPECT_EQ(t.substr(t.size() - 11), " 998 999]))");
    std::string call = "f(a";
    for (int i = 0; i < 1000; ++i) call += ", a";
    EXPECT_NE(expr(call + ")"), "FAIL");

    std::string chain = "if (a) x;";
    for (int i = 0; i < 1000; ++i) chain += " elif (b) y;";
    t = tree(chain + " else z;");
    EXPECT_EQ(t.substr(0, 25), "(IF a x (IF b y (IF b y (");
    EXPECT_EQ(t.substr(t.size() - 1010), "(IF b y z" + std::string(1001, ')'));

    std::string strings = "x = ";
    for (int i = 0; i < 1000000; ++i) strings += "'ab' ";
    EXPECT_EQ(expr(strings).size(), 2000000u + 13);

    std::string err;
    EXPECT_EQ(expr(std::string(500, '(') + "a" + std::string(500, ')')), "FAIL");
    EXPECT_EQ(tree(std::string(100000, '(') + "a", &err), "FAIL");
    EXPECT_EQ(err, "error [1]: yacc stack overflow\n");
    EXPECT_EQ(tree(std::string(100000, '{'), &err), "FAIL");
    EXPECT_EQ(err, "error [1]: yacc stack overflow\n");
    std::string sum = "a";
    for (int i = 0; i < 100000; ++i) sum += "+a";
    EXPECT_EQ(expr(sum).substr(0, 12), "(ADD (ADD (A");
}

TEST(Parser, ArbitraryInputNeverCrashes) {
    // Random runs of fragments that reach deep into the grammar, the scanner's states and
    // the recovery, plus raw bytes.
    const std::vector<std::string> pieces = {"if",        "(",      ")",
                                             "{",         "}",      "[",
                                             "]",         ";",      ",",
                                             "=",         "+",      "++",
                                             "-",         "*",      "/",
                                             "?",         ":",      "a",
                                             "f",         "1",      "0x",
                                             "1.2.",      "'s'",    "\"x\\",
                                             "\"",        "\n",     "#",
                                             "#line 3\n", "\\",     "function",
                                             "var",       "for",    "in",
                                             "else",      "elif",   "try",
                                             "catch",     "switch", "case",
                                             "default:",  "hash(",  "struct(",
                                             "swap(",     "let(",   "return",
                                             "\"\"\"\n",  "/*",     "*/",
                                             "//",        "&",      "||",
                                             "<",         "<=",     ".",
                                             "@pi",       "$1",     std::string(1, '\0'),
                                             "\x82\xa0",  "\xff",   "class"};
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245 + 12345;
        return seed >> 16;
    };
    for (int round = 0; round < 2000; ++round) {
        std::string src;
        for (uint32_t i = 0, n = next() % 80; i < n; ++i) src += pieces[next() % pieces.size()];
        tree(src);
    }
    funcman.clearFunctions();
}
