// The function table after start-up registration: every name of the vocabulary with exactly
// its argument counts, nothing more.  The windowed graphics functions, the native-module
// bridge and the automation functions register elsewhere and are not listed here.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "eval/func.h"
#include "lib/registry.h"

using namespace ruvo;

namespace {

struct Entry {
    const char* name;
    std::vector<int> counts; // -1: any number of arguments
};

// clang-format off
const Entry kVocabulary[] = {
    // core
    {"type", {1}}, {"copy", {1}}, {"len", {1}}, {"keys", {1}}, {"key", {2}}, {"gc", {0}},
    {"error", {-1}}, {"errorf", {-1}}, {"exit", {0, 1}}, {"system", {0, 1}}, {"eval", {1}},
    {"strict", {1}}, {"array", {-1}}, {"arrayi", {-1}}, {"hash", {-1}},
    {"regexp", {1, 2}}, {"deepcopy", {1}},
    // conversions
    {"int", {1}}, {"uint", {1}}, {"num", {1}}, {"str", {1}}, {"convnum", {1}},
    // strings
    {"chop", {1}}, {"chomp", {1}}, {"toupper", {1}}, {"tolower", {1}}, {"substr", {2, 3}},
    {"rsubstr", {2, 3}}, {"index", {2, 3}}, {"rindex", {2, 3}}, {"trim", {1}}, {"ltrim", {1}},
    {"rtrim", {1}}, {"entab", {1, 2}}, {"detab", {1, 2}}, {"jsubstr", {2, 3}},
    {"jrsubstr", {2, 3}}, {"jindex", {2, 3}}, {"jrindex", {2, 3}}, {"jlen", {1}}, {"tr", {3}},
    // arrays
    {"push", {2}}, {"pop", {1}}, {"unshift", {2}}, {"shift", {1}}, {"clear", {1}},
    {"erase", {2}}, {"split", {1, 2}}, {"join", {1, 2}}, {"cat", {-1}}, {"slice", {2, 3}},
    {"splice", {2, 3, 4}}, {"resize", {2, 3}}, {"sort", {1, 2}}, {"reverse", {1}},
    {"map", {-1}}, {"grep", {-1}}, {"rmap", {-1}},
    // math
    {"sin", {1}}, {"cos", {1}}, {"tan", {1}}, {"asin", {1}}, {"acos", {1}}, {"atan", {1, 2}},
    {"sinh", {1}}, {"cosh", {1}}, {"tanh", {1}}, {"asinh", {1}}, {"acosh", {1}},
    {"atanh", {1}}, {"log", {1, 2}}, {"log10", {1}}, {"pow", {2}}, {"exp", {1}},
    {"sqrt", {1}}, {"abs", {1}}, {"floor", {1}}, {"ceil", {1}}, {"round", {1, 2}},
    {"bround", {1, 2}}, {"sign", {1}}, {"finite", {1}}, {"max", {-1}}, {"min", {-1}},
    {"fact", {1}}, {"perm", {2}}, {"comb", {2}}, {"gcd", {-1}}, {"lcm", {-1}},
    {"factor", {1}}, {"clamp", {3}}, {"srand", {0, 1}}, {"random", {0}}, {"rand", {0, 1}},
    // pattern matching
    {"match", {2}}, {"sub", {3}}, {"gsub", {3}},
    // encoding conversion
    {"encode", {2}}, {"decode", {2}},
    // file and console I/O
    {"open", {2, 3}}, {"close", {1}}, {"gets", {0, 1}}, {"puts", {1, 2}}, {"eof", {0, 1}},
    {"rewind", {1}}, {"flush", {1}}, {"binmode", {1}}, {"txtmode", {1}},
    {"read", {1, 2, 3}}, {"write", {1, 2, 3}}, {"chr", {1}}, {"ord", {1}}, {"format", {1}},
    {"print", {-1}}, {"printf", {-1}}, {"sprintf", {-1}},
    // time, file system, process and console
    {"time", {0, 3, 4, 5, 6}}, {"localtime", {0, 1}}, {"stat", {1}}, {"mkdir", {1}},
    {"rmdir", {1}}, {"chdir", {1}}, {"getcwd", {0}}, {"unlink", {1}}, {"rename", {2}},
    {"fcopy", {2}}, {"fmove", {2}}, {"chmod", {2}}, {"dir", {0, 1}}, {"fulldir", {0, 1}},
    {"fullpath", {1}}, {"splitpath", {1}}, {"tick", {0}}, {"sleep", {1}}, {"beep", {0}},
    {"kbhit", {0}}, {"getch", {0}}, {"getche", {0}},
    // binary packing and serialization
    {"pksize", {1}}, {"unpack", {2}}, {"pack", {2}}, {"bsplit", {1, 2}}, {"bjoin", {1, 2}},
    {"serial", {1}}, {"deserial", {1}},
};
// clang-format on

using Table = std::map<std::string, std::multiset<int>>;

Table registered() {
    Table t;
    for (const auto& [name, info] : funcman.table())
        for (const func_data* f : info->overloads) {
            EXPECT_TRUE(f->builtin) << name;
            t[name].insert(f->argc);
        }
    return t;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        funcman.clearFunctions();
        register_builtins();
    }
    void TearDown() override { funcman.clearFunctions(); }
};

TEST_F(RegistryTest, every_name_has_exactly_its_argument_counts) {
    Table want;
    for (const Entry& e : kVocabulary) {
        ASSERT_EQ(want.count(e.name), 0u) << e.name << " listed twice";
        want[e.name].insert(e.counts.begin(), e.counts.end());
    }
    Table got = registered();
    for (const auto& [name, counts] : want) {
        auto it = got.find(name);
        if (it == got.end()) {
            ADD_FAILURE() << name << " is not registered";
            continue;
        }
        EXPECT_EQ(it->second, counts) << name;
    }
    for (const auto& [name, counts] : got)
        EXPECT_TRUE(want.count(name)) << name << " is registered but not in the vocabulary";
    EXPECT_EQ(want.size(), 145u);
}

TEST_F(RegistryTest, no_registration_is_made_twice) {
    size_t overloads = 0;
    for (const auto& [name, info] : funcman.table()) overloads += info->overloads.size();
    EXPECT_EQ(overloads, 188u);
    // a second registration of a name and count would replace the first in the table
    EXPECT_EQ(builtin_registration_count(), overloads);
}

TEST_F(RegistryTest, time_with_a_date_is_a_function_of_its_own) {
    FuncInfo* t = funcman.findFunction("time");
    ASSERT_NE(t, nullptr);
    BuiltinHandler now = t->select(0)->handler, date = t->select(3)->handler;
    EXPECT_NE(now, date);
    for (int n : {4, 5, 6}) EXPECT_EQ(t->select(n)->handler, date) << n;
}

} // namespace
