// Native functions by signature: the signature language with its bad forms, resolution, and
// real calls into the C library and the math library with every argument and result
// conversion, through the evaluator's call paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>

#include "../lib/builtin_call.h"
#include "core/array.h"
#include "eval/harness.h"
#include "ext/dllfunc.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {

const Family dll(dllfunc_builtins());

dllfunc_info parsed(std::string_view sig) {
    dllfunc_info info;
    EXPECT_TRUE(parse_dll_signature(sig, info)) << sig;
    return info;
}

bool parses(std::string_view sig) {
    dllfunc_info info;
    return parse_dll_signature(sig, info);
}

std::vector<int32_t> codes(const dllfunc_info& info) {
    std::vector<int32_t> out;
    for (const dll_type& t : info.params) out.push_back(t.code);
    return out;
}

class DllCall : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        register_families({core_builtins(), conversion_builtins(), string_builtins(), serial_builtins(), dllfunc_builtins()});
    }
    // Runs the text, which leaves its answer in `r`, and gives the plain form of r (of each
    // element, for an array), or the error output.
    static std::string result(const std::string& text) {
        RunResult run = EvalTest::run(text + "\nreturn r;");
        if (!run.err.empty()) return run.err;
        VArray* a = run.value.as_array();
        if (!a) return plain_form(run.value);
        std::string out = "[";
        for (size_t i = 0; i < a->size(); ++i) {
            if (i) out += ", ";
            append_plain(out, a->cells[i]);
        }
        return out + "]";
    }
};

} // namespace

TEST(DllSignature, parts_in_any_order_with_defaults) {
    dllfunc_info a = parsed("int __stdcall MessageBoxA(int string string uint)");
    EXPECT_EQ(a.function, "MessageBoxA");
    EXPECT_EQ(a.convention, DT_STDCALL);
    EXPECT_EQ(a.result.code, DT_INT);
    EXPECT_EQ(codes(a), (std::vector<int32_t>{DT_INT, DT_STRING, DT_STRING, DT_UINT}));

    dllfunc_info b = parsed("GetTickCount()");
    EXPECT_EQ(b.result.code, DT_INT);
    EXPECT_EQ(b.convention, DT_CDECL);
    EXPECT_TRUE(b.params.empty());

    // Name, result and convention may stand anywhere around the list.
    dllfunc_info c = parsed("(double,double)pow __cdecl double");
    EXPECT_EQ(c.function, "pow");
    EXPECT_EQ(c.result.code, DT_DOUBLE);
    EXPECT_EQ(codes(c), (std::vector<int32_t>{DT_DOUBLE, DT_DOUBLE}));

    // Commas and white space are the same separators.
    EXPECT_EQ(codes(parsed("int f(int, int)")), codes(parsed("int f(int int)")));
    EXPECT_EQ(codes(parsed("int\tf\n(\rint,,int )")), codes(parsed("int f(int int)")));

    // void declares nothing, wherever it stands in the list.
    EXPECT_TRUE(parsed("int f(void)").params.empty());
    EXPECT_EQ(codes(parsed("int f(void int void uchar)")), (std::vector<int32_t>{DT_INT, DT_UCHAR}));

    // long and ulong share the codes of int and uint and are marked as C longs.
    dllfunc_info l = parsed("ulong f(long ulong int uint)");
    EXPECT_EQ(l.result, (dll_type{DT_UINT, true}));
    EXPECT_EQ(l.params, (std::vector<dll_type>{{DT_INT, true}, {DT_UINT, true}, {DT_INT, false},
                                               {DT_UINT, false}}));

    // Names take letters, digits, "_" and "$"; a number token may be a name too.
    EXPECT_EQ(parsed("$f_1$()").function, "$f_1$");
    EXPECT_EQ(parsed("0x1F_b()").function, "0x1F_b");
    EXPECT_EQ(parsed("int f9g(binary wstring short ushort char float)").function, "f9g");
}

TEST(DllSignature, bad_forms) {
    for (const char* sig : {
             "int f",            // no parameter list
             "int f(int; int)",  // a token in the list that is not a type name
             "(int)",            // no name
             "int f() g",        // a second name
             "Int f()",          // "Int" is a name, then "f" a second one
             "int double f()",   // a second type outside the list is a name
             "__cdecl __stdcall f()", // a second convention is a name
             "int f(int",        // the list is never closed
             "int f(int)(int)",  // a second list
             "int f((int))",     // "(" inside the list
             "int f(__cdecl)",   // a convention inside the list
             "int f(Int)",       // type names are case-sensitive
             "int f())",         // ")" outside the list is a name
             "",
             "   ,, ",
             "()",
         })
        EXPECT_FALSE(parses(sig)) << sig;
}

TEST(DllSignature, parameter_bound) {
    std::string list;
    for (size_t i = 0; i < kMaxDllParams; ++i) list += "int ";
    EXPECT_EQ(parsed("f(" + list + ")").params.size(), kMaxDllParams);
    EXPECT_FALSE(parses("f(" + list + "int)"));
    EXPECT_EQ(parsed("f(" + list + "void void)").params.size(), kMaxDllParams);

    std::string huge = "int f(";
    for (int i = 0; i < 100000; ++i) huge += "double,";
    EXPECT_FALSE(parses(huge + ")"));
    std::string voids = "int f(";
    for (int i = 0; i < 100000; ++i) voids += "void ";
    EXPECT_TRUE(parsed(voids + ")").params.empty());
}

// Any bytes give a definition or "Bad definition in dllfunc()".
TEST(DllSignature, arbitrary_bytes) {
    std::mt19937 gen(17);
    const std::string pieces[] = {"int", "void", "(", ")", ",", " ", "abs", "__cdecl", "x",
                                  "9", std::string(1, '\0'), "\xff", "\x82\xa0", "double"};
    for (int round = 0; round < 3000; ++round) {
        std::string sig;
        int n = static_cast<int>(gen() % 12);
        for (int i = 0; i < n; ++i) {
            if (gen() % 4 == 0)
                sig += static_cast<char>(gen() & 0xFF);
            else
                sig += pieces[gen() % std::size(pieces)];
        }
        std::string msg = dll.raised("dllfunc", {str("libc.so.6"), str(sig)});
        if (msg != "(nothing raised)") {
            EXPECT_EQ(msg, "error [7]: Bad definition in dllfunc()");
        }
    }
}

TEST(DllFunc, definition_checks) {
    const std::string bad = "error [7]: Bad definition in dllfunc()";
    EXPECT_EQ(dll.raised("dllfunc", {str("libc.so.6"), str("int abs(int)")}), "(nothing raised)");
    EXPECT_EQ(dll.raised("dllfunc", {str("libnosuch-ruvo.so.9"), str("int abs(int)")}), bad);
    EXPECT_EQ(dll.raised("dllfunc", {str("libc.so.6"), str("int no_such_function_ruvo(int)")}), bad);
    EXPECT_EQ(dll.raised("dllfunc", {str(""), str("int abs(int)")}), bad);
    EXPECT_EQ(dll.raised("dllfunc", {str(std::string_view("libc.so.6\0x", 11)), str("int abs(int)")}),
              bad);
    // A NUL byte is a token of its own: as the only name it names no function.
    EXPECT_EQ(dll.raised("dllfunc", {str("libc.so.6"), str(std::string_view("int \0(int)", 10))}), bad);
    EXPECT_EQ(dll.raised("dllfunc", {str("libc.so.6"), str(std::string_view("int abs\0(int)", 13))}),
              bad);
    EXPECT_EQ(dll.raised("dllfunc", {str("libc.so.6"), str("int f")}), bad);
    EXPECT_EQ(dll.raised("dllfunc", {Value(1), str("int abs(int)")}),
              "error [7]: Cannot convert arg to string");
    EXPECT_EQ(dll.raised("dllfunc", {str("libc.so.6"), Value()}),
              "error [7]: Cannot convert arg to string");
    // A module already in the process, and one loaded by its path.
    EXPECT_EQ(dll.raised("dllfunc", {str("libm.so.6"), str("double pow(double double)")}),
              "(nothing raised)");
}

TEST_F(DllCall, integers_and_their_conversions) {
    EXPECT_EQ(result("var abs = dllfunc(\"libc.so.6\", \"int abs(int)\");"
                     "var r = [abs(-3), abs(\"-7\"), abs(-7.9), abs(true), abs(4294967291),"
                     "abs(1e30), abs(num(\"x\")), abs(null), abs(\" 0x10 \")];"),
              "[3, 7, 7, 1, 5, 0, 0, 0, 16]");
    EXPECT_EQ(result("var toupper = dllfunc(\"libc.so.6\", \"int __stdcall toupper(int)\");"
                     "var r = toupper(97);"),
              "65");
    // The C long carries the low 32 bits, sign- or zero-extended by the name.
    EXPECT_EQ(result("var s = dllfunc(\"libc.so.6\", \"long labs(long)\");"
                     "var u = dllfunc(\"libc.so.6\", \"long labs(ulong)\");"
                     "var r = [s(-5), u(-5), s(4294967291)];"),
              "[5, -5, 5]");
}

TEST_F(DllCall, integer_results) {
    // Results are read as the declared C type, then as a signed 32-bit integer.
    EXPECT_EQ(result("var c = dllfunc(\"libc.so.6\", \"char abs(int)\");"
                     "var uc = dllfunc(\"libc.so.6\", \"uchar abs(int)\");"
                     "var s = dllfunc(\"libc.so.6\", \"short abs(int)\");"
                     "var us = dllfunc(\"libc.so.6\", \"ushort abs(int)\");"
                     "var r = [c(200), uc(456), s(40000), us(65535), c(65)];"),
              "[-56, 200, -25536, 65535, 65]");
    EXPECT_EQ(result("var f = dllfunc(\"libc.so.6\", \"ulong strtoul(string binary int)\");"
                     "var g = dllfunc(\"libc.so.6\", \"uint strtoul(string binary int)\");"
                     "var r = [f(\"4294967295\", null, 10), f(\"4294967301\", 0, 10),"
                     "g(\"4294967294\", null, 10)];"),
              "[-1, 5, -2]");
}

TEST_F(DllCall, floating_point) {
    EXPECT_EQ(result("var pow = dllfunc(\"libm.so.6\", \"double pow(double double)\");"
                     "var r = [pow(2, 10), pow(\"2\", 0.5) == sqrt2(), pow(true, 3)];"
                     "function sqrt2() { return 1.4142135623730951; }"),
              "[1024, true, 1]");
    RunResult r = run("var powf = dllfunc(\"libm.so.6\", \"float powf(float float)\");"
                      "return powf(2, 0.5);");
    EXPECT_EQ(r.value.num(), static_cast<double>(std::pow(2.0f, 0.5f)));
    EXPECT_NE(r.value.num(), std::sqrt(2.0)); // rounded to binary32 both ways
    EXPECT_EQ(result("var sqrtf = dllfunc(\"libm.so.6\", \"float sqrtf(float)\");"
                     "var r = sqrtf(-1) == sqrtf(-1);"),
              "false"); // NaN goes through as NaN
}

TEST_F(DllCall, strings) {
    setenv("RUVO_DLL_TEST", "value \x82\xa0", 1);
    unsetenv("RUVO_DLL_TEST_UNSET");
    EXPECT_EQ(result("var getenv = dllfunc(\"libc.so.6\", \"string getenv(string)\");"
                     "var r = [getenv(\"RUVO_DLL_TEST\"), getenv(\"RUVO_DLL_TEST_UNSET\")];"),
              "[value \x82\xa0, null]");
    // A number to a string parameter is its plain form.
    EXPECT_EQ(result("var strlen = dllfunc(\"libc.so.6\", \"ulong strlen(string)\");"
                     "var r = [strlen(\"hello\"), strlen(12345), strlen(\"\"), strlen(true)];"),
              "[5, 5, 0, 4]");
    // Wide strings are converted from and to Shift_JIS by the code page table:
    // "日本語abc" is six characters.
    EXPECT_EQ(result("var wcslen = dllfunc(\"libc.so.6\", \"ulong wcslen(wstring)\");"
                     "var r = [wcslen(\"\x93\xfa\x96\x7b\x8c\xea" "abc\"), wcslen(\"\"), wcslen(-1.5)];"),
              "[6, 0, 4]");
    EXPECT_EQ(result("var wcschr = dllfunc(\"libc.so.6\", \"wstring wcschr(wstring int)\");"
                     "var r = [wcschr(\"\x93\xfa\x96\x7b\x8c\xea" "abc\", 0x672C), "
                     "wcschr(\"abc\", 0x64)];"),
              "[\x96\x7b\x8c\xea" "abc, null]");
    EXPECT_EQ(result("var strchr = dllfunc(\"libc.so.6\", \"binary strchr(string int)\");"
                     "var r = strchr(\"a=b\", 61);"),
              "=b");
}

TEST_F(DllCall, binary_buffers_are_written_back) {
    const std::string snprintf = "var snprintf = dllfunc(\"libc.so.6\", "
                                 "\"int snprintf(binary ulong string int)\");";
    // Every holder of the string sees the bytes; the length stays.
    EXPECT_EQ(result(snprintf + "var buf = \"..........\"; var other = buf; var h = hash(\"b\" = buf);"
                                "var n = snprintf(buf, 11, \"n=%d\", 42);"
                                "var r = [n, len(buf), substr(other, 0, 4), substr(h.b, 0, 4),"
                                "substr(buf, 5)];"),
              "[4, 10, n=42, n=42, .....]");
    // The buffer holds one byte more than the string: its NUL, which is not copied back.
    EXPECT_EQ(result(snprintf + "var buf = \"abc\"; var n = snprintf(buf, 4, \"%d\", 123456);"
                                "var r = [n, buf];"),
              "[6, 123]");
    // A literal yields a new string at each evaluation: its text never changes.
    EXPECT_EQ(result(snprintf + "function lit() { return \"abcdef\"; }"
                                "snprintf(lit(), 7, \"%d\", 999); var r = lit();"),
              "abcdef");
    // A non-string passes a null pointer.
    EXPECT_EQ(result(snprintf + "var r = [snprintf(0, 0, \"%d\", 12345), snprintf(null, 0, \"x\", 0)];"),
              "[5, 1]");
}

TEST_F(DllCall, argument_counts_and_call_forms) {
    const std::string count = "error [1]: Incorrect argument count for DLL function\n";
    EXPECT_EQ(result("var abs = dllfunc(\"libc.so.6\", \"int abs(int)\"); var r = abs();"), count);
    EXPECT_EQ(result("var abs = dllfunc(\"libc.so.6\", \"int abs(int)\"); var r = abs(1, 2);"), count);
    EXPECT_EQ(result("var getpid = dllfunc(\"libc.so.6\", \"int getpid(void)\"); var r = getpid(1);"),
              count);
    EXPECT_EQ(result("var getpid = dllfunc(\"libc.so.6\", \"getpid(void)\"); var r = getpid();"),
              std::to_string(getpid()));
    // A void result is null; the call is made.
    EXPECT_EQ(result("var srand = dllfunc(\"libc.so.6\", \"void srand(uint)\");"
                     "var rand = dllfunc(\"libc.so.6\", \"rand()\");"
                     "srand(5); var a = rand(); var r = [srand(5), rand() == a];"),
              "[null, true]");
    // Called through a hash member, and through a variable that shadows a function.
    EXPECT_EQ(result("var h = hash(\"abs\" = dllfunc(\"libc.so.6\", \"int abs(int)\"));"
                     "function f(x) { return \"script\"; }"
                     "var f = dllfunc(\"libc.so.6\", \"int abs(int)\");"
                     "var r = [h.abs(-4), f(-9)];"),
              "[4, 9]");
}

TEST_F(DllCall, object_rules) {
    EXPECT_EQ(result("var r = type(dllfunc(\"libc.so.6\", \"int abs(int)\"));"), "dllfunc");
    EXPECT_EQ(result("var r = copy(dllfunc(\"libc.so.6\", \"int abs(int)\"));"),
              "error [1]: Object not clonable in copy()\n");
    EXPECT_EQ(result("var r = serial(dllfunc(\"libc.so.6\", \"int abs(int)\"));"),
              "error: Object not serializable\n");
    EXPECT_EQ(result("var r = serial([1, dllfunc(\"libc.so.6\", \"int abs(int)\")]);"),
              "error: Object not serializable\n");
}

// A function that is gone at call time makes no call.
TEST(DllFunc, vanished_symbol) {
    auto make = [](const char* sig) {
        dllfunc_info info;
        EXPECT_TRUE(parse_dll_signature(sig, info));
        return make_dllfunc("libc.so.6", std::move(info));
    };
    VContext ctx;
    std::vector<Value> one = {Value(1)};
    EXPECT_EQ(call_dllfunc(ctx, 1, make("int ruvo_gone(int)").obj(), one).num(), -1);
    EXPECT_EQ(call_dllfunc(ctx, 1, make("uchar ruvo_gone(int)").obj(), one).num(), -1);
    EXPECT_EQ(call_dllfunc(ctx, 1, make("double ruvo_gone(int)").obj(), one).num(), -1);
    EXPECT_EQ(call_dllfunc(ctx, 1, make("float ruvo_gone(int)").obj(), one).num(), -1);
    EXPECT_TRUE(call_dllfunc(ctx, 1, make("void ruvo_gone(int)").obj(), one).is_null());
    EXPECT_TRUE(call_dllfunc(ctx, 1, make("string ruvo_gone(int)").obj(), one).is_null());
    // The argument count is checked first.
    try {
        call_dllfunc(ctx, 3, make("int ruvo_gone(int)").obj(), {});
        ADD_FAILURE() << "no error";
    } catch (const ScriptError& e) {
        EXPECT_EQ(e.message, "error [3]: Incorrect argument count for DLL function");
    }
    // An object without a module is not callable: the call yields null.
    dllfunc_info info;
    parse_dll_signature("int abs(int)", info);
    Value empty(new VDllFunc("", info));
    EXPECT_TRUE(call_dllfunc(ctx, 1, empty.obj(), one).is_null());
}
