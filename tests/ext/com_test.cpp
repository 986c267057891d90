// Automation objects against a fake dispatch object: the variant conversions both ways, the
// argument order of invokes and puts, PUT against PUTREF, enumeration, the messages with the
// member name, the evaluator's member, call, index and foreach branches, and the .NET bridge.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../lib/builtin_call.h"
#include "core/array.h"
#include "eval/harness.h"
#include "ext/com.h"
#include "ext/dispatch.h"
#include "ext/dotnet.h"
#include "io/codec.h"
#include "test_support.h"

using namespace ruvo;
using namespace ruvo::test;

namespace {

// Live references of every fake interface; each test ends with none.
int live_refs = 0;

struct Counted {
    int refs = 1;
    void add() {
        ++refs;
        ++live_refs;
    }
    bool drop() {
        --live_refs;
        return --refs == 0;
    }
};

class FakeEnum final : public ComEnum {
public:
    explicit FakeEnum(std::vector<double> items) : items_(std::move(items)) { ++live_refs; }
    void add_ref() override { c_.add(); }
    void release() override {
        if (c_.drop()) delete this;
    }
    ComEnum* query_enum() override {
        add_ref();
        return this;
    }
    void reset() override { pos_ = 0; }
    bool skip(uint32_t n) override {
        pos_ += n;
        return true; // past the end is no failure: next() then finds nothing
    }
    bool next(com_var& out) override {
        if (pos_ >= items_.size()) return false;
        out.clear();
        out.v.vt = VT_R8;
        out.v.dblVal = items_[pos_++];
        return true;
    }

private:
    ~FakeEnum() = default;
    Counted c_;
    std::vector<double> items_;
    size_t pos_ = 0;
};

// One recorded invoke: the flags, the arguments as values (in the order received) and the
// named argument ids.
struct Invoke {
    std::string member;
    uint16_t flags;
    std::vector<std::string> args;
    std::vector<int32_t> named;
};

std::string describe(const com_variant& v) {
    Value x = variant_to_value(v);
    std::string s = std::to_string(v.vt) + ":";
    if (as_comobj(x)) return s + "obj";
    append_plain(s, x);
    return s;
}

class FakeServer final : public ComDispatch {
public:
    FakeServer() { ++live_refs; }
    void add_ref() override { c_.add(); }
    void release() override {
        if (c_.drop()) delete this;
    }
    ComDispatch* query_dispatch() override {
        add_ref();
        return this;
    }
    bool get_id(std::u16string_view name, int32_t& id) override {
        static const char* const kMembers[] = {"Name",  "Count", "Echo",    "Fail",
                                               "Child", "Cells", "_NewEnum", "Nothing",
                                               "Flag"};
        std::string n = u16_to_sjis(name);
        for (int i = 0; i < static_cast<int>(std::size(kMembers)); ++i)
            if (n == kMembers[i]) {
                id = i + 1;
                names_[id] = n;
                return true;
            }
        return false;
    }
    bool invoke(int32_t id, uint16_t flags, const com_params& p, com_var* result) override {
        Invoke rec{names_[id], flags, {}, {}};
        for (uint32_t i = 0; i < p.count; ++i) rec.args.push_back(describe(p.args[i].v));
        for (uint32_t i = 0; i < p.named_count; ++i) rec.named.push_back(p.named[i]);
        calls.push_back(rec);
        const std::string& m = names_[id];
        bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        if (m == "Fail") return false;
        if (put) {
            if (m == "Name" || m == "Count" || m == "Flag") {
                props.erase(m);
                props.emplace(m, p.args[0]);
            }
            return true;
        }
        if (!result) return true;
        if (m == "Echo") {
            result->v.vt = VT_R8;
            result->v.dblVal = p.count;
        } else if (m == "Child") {
            add_ref();
            result->v.vt = VT_DISPATCH;
            result->v.pdispVal = this;
        } else if (m == "_NewEnum") {
            if (!collection) return true; // VT_EMPTY: no enumeration
            result->v.vt = VT_UNKNOWN;
            result->v.punkVal = new FakeEnum(items);
        } else if (m == "Nothing") {
            // a method that returns nothing: VT_EMPTY
        } else if (auto it = props.find(m); it != props.end()) {
            com_var copy(it->second); // its contents move into the result
            result->clear();
            result->v = copy.v;
            copy.v = com_variant();
        }
        return true;
    }

    std::vector<Invoke> calls;
    std::map<std::string, com_var> props;
    bool collection = false;
    std::vector<double> items;

private:
    ~FakeServer() = default;
    Counted c_;
    std::map<int32_t, std::string> names_;
};

class Com : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        live_refs = 0;
        register_families({core_builtins(), com_builtins()});
        server = new FakeServer(); // the test's own reference
        current = server;
        com_state = ComState();
        com_state.bridge.init = [] { ++inits; };
        com_state.bridge.create = [](const char* a, const char* b) -> ComDispatch* {
            created += std::string(a) + "," + b + ";";
            current->add_ref();
            return current;
        };
        com_state.bridge.quit = [] { ++quits; };
        inits = quits = 0;
        created.clear();
    }
    void TearDown() override {
        EvalTest::TearDown(); // releases the script's objects
        server->release();
        EXPECT_EQ(live_refs, 0) << "a reference was leaked or released twice";
        com_state = ComState();
    }
    // The text's printed output and errors, with a fake object in the variable o.
    std::string out(const std::string& text) { return output("var o = dotnet(\"t\", \"u\");\n" + text); }

    FakeServer* server = nullptr;
    static inline FakeServer* current = nullptr;
    static inline int inits = 0, quits = 0;
    static inline std::string created;
};

const Family com(com_builtins());

} // namespace

TEST(ComVariant, to_value) {
    auto conv = [](uint16_t vt, auto set) {
        com_variant v;
        v.vt = vt;
        set(v);
        return plain_form(variant_to_value(v)) + (variant_to_value(v).is_bool() ? "?" : "");
    };
    auto none = [](com_variant&) {};
    EXPECT_EQ(conv(VT_EMPTY, none), "0");
    EXPECT_EQ(conv(VT_NULL, none), "0");
    EXPECT_EQ(conv(VT_I2, [](com_variant& v) { v.iVal = -2; }), "-2");
    EXPECT_EQ(conv(VT_I4, [](com_variant& v) { v.lVal = 70000; }), "70000");
    EXPECT_EQ(conv(VT_R4, [](com_variant& v) { v.fltVal = 0.5f; }), "0.5");
    EXPECT_EQ(conv(VT_R8, [](com_variant& v) { v.dblVal = 2.25; }), "2.25");
    EXPECT_EQ(conv(VT_UI1, [](com_variant& v) { v.bVal = 200; }), "200");
    // True only for 0xFFFF.
    EXPECT_EQ(conv(VT_BOOL, [](com_variant& v) { v.boolVal = VARIANT_TRUE; }), "true?");
    EXPECT_EQ(conv(VT_BOOL, [](com_variant& v) { v.boolVal = 1; }), "false?");
    EXPECT_EQ(conv(VT_BOOL, [](com_variant& v) { v.boolVal = 0; }), "false?");
    EXPECT_EQ(conv(VT_BOOL | VT_ARRAY, none), "false?");
    EXPECT_EQ(conv(VT_I4 | VT_ARRAY, none), "0");
    EXPECT_EQ(conv(VT_BSTR, [](com_variant& v) { v.bstrVal = nullptr; }), "0");
    EXPECT_EQ(conv(VT_DISPATCH, [](com_variant& v) { v.pdispVal = nullptr; }), "0");
    EXPECT_EQ(conv(VT_UNKNOWN, [](com_variant& v) { v.punkVal = nullptr; }), "0");
    EXPECT_EQ(conv(7 /* a date */, [](com_variant& v) { v.dblVal = 3; }), "0");

    // The by-reference forms read through their pointer.
    int16_t t = -1, f = 5;
    int32_t i4 = -9;
    double r8 = 1.5;
    Bstr s = bstr_alloc(u"\u3042b"); // the hiragana A and "b"
    EXPECT_EQ(conv(VT_BOOL | VT_BYREF, [&](com_variant& v) { v.byref = &t; }), "true?");
    EXPECT_EQ(conv(VT_BOOL | VT_BYREF, [&](com_variant& v) { v.byref = &f; }), "false?");
    EXPECT_EQ(conv(VT_I4 | VT_BYREF, [&](com_variant& v) { v.byref = &i4; }), "-9");
    EXPECT_EQ(conv(VT_I2 | VT_BYREF, [&](com_variant& v) { v.byref = &t; }), "-1");
    EXPECT_EQ(conv(VT_R8 | VT_BYREF, [&](com_variant& v) { v.byref = &r8; }), "1.5");
    EXPECT_EQ(conv(VT_BSTR | VT_BYREF, [&](com_variant& v) { v.byref = &s; }), "\x82\xa0" "b");
    EXPECT_EQ(conv(VT_BSTR | VT_BYREF, [&](com_variant& v) { v.byref = nullptr; }), "0");
    EXPECT_EQ(conv(VT_BSTR, [&](com_variant& v) { v.bstrVal = s; }), "\x82\xa0" "b");
    bstr_free(s);
}

TEST(ComVariant, from_value) {
    com_var v;
    value_to_variant(make_string("\x82\xa0z"), v);
    EXPECT_EQ(v.v.vt, VT_BSTR);
    EXPECT_EQ(bstr_view(v.v.bstrVal), u"\u3042z");
    value_to_variant(Value(2.5), v);
    EXPECT_EQ(v.v.vt, VT_R8);
    EXPECT_EQ(v.v.dblVal, 2.5);
    value_to_variant(Value::boolean(true), v);
    EXPECT_EQ(v.v.vt, VT_BOOL);
    EXPECT_EQ(v.v.boolVal, VARIANT_TRUE);
    value_to_variant(Value::boolean(false), v);
    EXPECT_EQ(v.v.boolVal, VARIANT_FALSE);
    value_to_variant(Value(), v);
    EXPECT_EQ(v.v.vt, VT_EMPTY);
    value_to_variant(Value(new VArray()), v);
    EXPECT_EQ(v.v.vt, VT_EMPTY);
    // A string with a NUL keeps its length across the wide form.
    value_to_variant(make_string(std::string_view("a\0b", 3)), v);
    EXPECT_EQ(plain_form(variant_to_value(v.v)), std::string("a\0b", 3));
}

TEST_F(Com, properties_and_methods) {
    server->props.emplace("Name", std::string_view("server"));
    EXPECT_EQ(out("print(type(o), \" \", o.Name, \" \", o.Nothing, \" \", o.Nothing());"),
              "comobj server 0 0\n");
    // Arguments travel last first.
    server->calls.clear();
    EXPECT_EQ(out("print(o.Echo(1, \"two\", true, null));"), "4\n");
    ASSERT_EQ(server->calls.size(), 1U);
    const Invoke& e = server->calls.back();
    EXPECT_EQ(e.member, "Echo");
    EXPECT_EQ(e.flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(e.args, (std::vector<std::string>{"0:0", "11:true", "8:two", "5:1"}));
    EXPECT_TRUE(e.named.empty());
    // A returned object is an automation object of its own.
    EXPECT_EQ(out("var c = o.Child; print(type(c), \" \", c.Echo(7));"), "comobj 1\n");
}

TEST_F(Com, puts_and_putrefs) {
    EXPECT_EQ(out("o.Name = \"x\"; o.Count = 3; o.Flag = true; o.Child = o;"
                  "o.Cells(1, \"b\") = 5;"
                  "print(o.Name, \" \", o.Count, \" \", o.Flag);"),
              "x 3 true\n");
    std::vector<Invoke> puts;
    for (const Invoke& c : server->calls)
        if (c.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) puts.push_back(c);
    ASSERT_EQ(puts.size(), 5U);
    EXPECT_EQ(puts[0].flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(puts[0].args, (std::vector<std::string>{"8:x"}));
    EXPECT_EQ(puts[0].named, (std::vector<int32_t>{DISPID_PROPERTYPUT}));
    EXPECT_EQ(puts[2].args, (std::vector<std::string>{"11:true"}));
    EXPECT_EQ(puts[3].member, "Child");
    EXPECT_EQ(puts[3].flags, DISPATCH_PROPERTYPUTREF); // an object is put by reference
    EXPECT_EQ(puts[3].args, (std::vector<std::string>{"9:obj"}));
    // The value first, then the index arguments last first; the method is read first.
    EXPECT_EQ(puts[4].member, "Cells");
    EXPECT_EQ(puts[4].args, (std::vector<std::string>{"5:5", "8:b", "5:1"}));
    EXPECT_EQ(puts[4].named, (std::vector<int32_t>{DISPID_PROPERTYPUT}));

    // Compound assignment reads and puts the property.
    EXPECT_EQ(out("o.Count = 10; o.Count += 5; o.Count++; print(o.Count);"), "16\n");
    EXPECT_EQ(out("var old = let(o.Count, 1); print(old, \" \", o.Count);"), "16 1\n");
}

TEST_F(Com, messages_name_the_member) {
    EXPECT_EQ(out("print(o.Fail);"), "error [2]: COM getprop[Fail] failed\n");
    EXPECT_EQ(out("print(o.Fail(1));"), "error [2]: COM invoke[Fail] failed\n");
    EXPECT_EQ(out("print(o.Missing);"), "error [2]: COM getprop[Missing] failed\n");
    EXPECT_EQ(out("o.Missing = 1;"), "error [2]: COM setprop[Missing] failed\n");
    EXPECT_EQ(out("o.Fail = 1;"), "error [2]: COM setprop[Fail] failed\n");
    EXPECT_EQ(out("o.Fail(1) = 2;"), "error [2]: COM invoke[Fail] failed\n");
    EXPECT_EQ(out("var x = 5;\nx.m(1) = 2;"), "error [3]: Bad type operation in operator .\n");
}

TEST_F(Com, collections) {
    server->collection = true;
    server->items = {10, 20, 30};
    EXPECT_EQ(out("print(o[0], \" \", o[2], \" \", o[true], \" \", o[1.9]);"), "10 30 20 20\n");
    EXPECT_EQ(out("var s = 0; foreach (var x in o) s = s + x; print(s);"), "60\n");
    EXPECT_EQ(out("print(o[3]);"), "error [2]: Bad index for COM collection\n");
    EXPECT_EQ(out("print(o[-1]);"), "error [2]: Bad index for COM collection\n");
    EXPECT_EQ(out("print(o[\"0\"]);"), "error [2]: COM collection index must be number\n");
    EXPECT_EQ(out("o[0] = 1;"), "error [2]: Cannot assign to COM collection element\n");
    EXPECT_EQ(out("o[0] += 1;"), "error [2]: Cannot assign to COM collection element\n");

    server->collection = false; // "_NewEnum" yields nothing enumerable
    EXPECT_EQ(out("foreach (var x in o) print(x);"), "error [2]: COM Collection enumeration failed\n");
    EXPECT_EQ(out("print(o[0]);"), "error [2]: COM Collection enumeration failed\n");
}

TEST_F(Com, objects_without_an_interface) {
    // A null interface: reads and calls yield null, puts and enumeration fail.
    current = nullptr;
    com_state.bridge.create = [](const char*, const char*) -> ComDispatch* { return nullptr; };
    EXPECT_EQ(output("print(type(dotnet(\"a\", \"b\")));"), "unknown\n");
    Value empty(new VComObj(nullptr));
    EXPECT_TRUE(com_get_property(as_comobj(empty), "Name", 1).is_null());
    EXPECT_TRUE(com_call_method(as_comobj(empty), "Echo", {}, 1).is_null());
    EXPECT_EQ(raised([&] { com_set_property(as_comobj(empty), "Name", {}, Value(1), 4); }),
              "error [4]: COM setprop[Name] failed");
    EXPECT_EQ(raised([&] { com_to_array(as_comobj(empty), 4); }),
              "error [4]: COM Collection enumeration failed");
    current = server;
}

TEST_F(Com, builtins_and_the_bridge) {
    EXPECT_EQ(output("print(comobj(\"No.Such.ProgId\"), \" \", type(comget(\"Excel.Application\")));"),
              "null unknown\n");
    EXPECT_EQ(com.raised("comobj", {Value(1)}), "error [7]: Cannot convert arg to string");
    EXPECT_EQ(com.raised("comget", {Value()}), "error [7]: Cannot convert arg to string");
    EXPECT_EQ(com.raised("dotnet", {str("a"), Value(2)}), "error [7]: Cannot convert arg to string");
    EXPECT_EQ(inits, 0);
    // initDotNet once; createDotNet with both strings in order.
    EXPECT_EQ(output("var a = dotnet(\"Sys.Type\", \"asm\"); var b = dotnet(\"x\", \"y\");"
                     "print(type(a), type(b));"),
              "comobjcomobj\n");
    EXPECT_EQ(inits, 1);
    EXPECT_EQ(created, "Sys.Type,asm;x,y;");
    EXPECT_EQ(quits, 0);
    dotnet_shutdown();
    dotnet_shutdown();
    EXPECT_EQ(quits, 1);
}

TEST(DotNet, the_component_creates_nothing) {
    com_state = ComState();
    const Family com(com_builtins());
    EXPECT_TRUE(com("dotnet", {str("System.Object"), str("mscorlib")}).is_null());
    EXPECT_TRUE(com_state.dotnet_started);
    dotnet_shutdown();
    EXPECT_FALSE(com_state.dotnet_started);
}
