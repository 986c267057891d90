// The built-in vocabulary: every name with exactly its registered argument counts.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "eval/func.h"
#include "lib/registry.h"

using namespace ruvo;

namespace {
using Vocabulary = std::map<std::string, std::set<int>>;

// Set while the graphics group is not registered yet; its entries then must not be there.
constexpr bool kGraphicsPending = false;

// -1: any number of arguments.  The four groups, in the order of registration.
const Vocabulary kCore = {
    {"type", {1}},         {"copy", {1}},        {"len", {1}},
    {"keys", {1}},         {"key", {2}},         {"gc", {0}},
    {"error", {-1}},       {"errorf", {-1}},     {"exit", {0, 1}},
    {"system", {0, 1}},    {"eval", {1}},        {"strict", {1}},
    {"array", {-1}},       {"arrayi", {-1}},     {"hash", {-1}},
    {"regexp", {1, 2}},    {"deepcopy", {1}},    {"int", {1}},
    {"uint", {1}},         {"num", {1}},         {"str", {1}},
    {"convnum", {1}},      {"chop", {1}},        {"chomp", {1}},
    {"toupper", {1}},      {"tolower", {1}},     {"substr", {2, 3}},
    {"rsubstr", {2, 3}},   {"index", {2, 3}},    {"rindex", {2, 3}},
    {"trim", {1}},         {"ltrim", {1}},       {"rtrim", {1}},
    {"entab", {1, 2}},     {"detab", {1, 2}},    {"jsubstr", {2, 3}},
    {"jrsubstr", {2, 3}},  {"jindex", {2, 3}},   {"jrindex", {2, 3}},
    {"jlen", {1}},         {"tr", {3}},          {"push", {2}},
    {"pop", {1}},          {"unshift", {2}},     {"shift", {1}},
    {"clear", {1}},        {"erase", {2}},       {"split", {1, 2}},
    {"join", {1, 2}},      {"cat", {-1}},        {"slice", {2, 3}},
    {"splice", {2, 3, 4}}, {"resize", {2, 3}},   {"sort", {1, 2}},
    {"reverse", {1}},      {"map", {-1}},        {"grep", {-1}},
    {"rmap", {-1}},        {"sin", {1}},         {"cos", {1}},
    {"tan", {1}},          {"asin", {1}},        {"acos", {1}},
    {"atan", {1, 2}},      {"sinh", {1}},        {"cosh", {1}},
    {"tanh", {1}},         {"asinh", {1}},       {"acosh", {1}},
    {"atanh", {1}},        {"log", {1, 2}},      {"log10", {1}},
    {"pow", {2}},          {"exp", {1}},         {"sqrt", {1}},
    {"abs", {1}},          {"floor", {1}},       {"ceil", {1}},
    {"round", {1, 2}},     {"bround", {1, 2}},   {"sign", {1}},
    {"finite", {1}},       {"max", {-1}},        {"min", {-1}},
    {"fact", {1}},         {"perm", {2}},        {"comb", {2}},
    {"gcd", {-1}},         {"lcm", {-1}},        {"factor", {1}},
    {"clamp", {3}},        {"srand", {0, 1}},    {"random", {0}},
    {"rand", {0, 1}},      {"match", {2}},       {"sub", {3}},
    {"gsub", {3}},         {"encode", {2}},      {"decode", {2}},
    {"open", {2, 3}},      {"close", {1}},       {"gets", {0, 1}},
    {"puts", {1, 2}},      {"eof", {0, 1}},      {"rewind", {1}},
    {"flush", {1}},        {"binmode", {1}},     {"txtmode", {1}},
    {"read", {1, 2, 3}},   {"write", {1, 2, 3}}, {"chr", {1}},
    {"ord", {1}},          {"format", {1}},      {"print", {-1}},
    {"printf", {-1}},      {"sprintf", {-1}},    {"time", {0, 3, 4, 5, 6}},
    {"localtime", {0, 1}}, {"stat", {1}},        {"mkdir", {1}},
    {"rmdir", {1}},        {"chdir", {1}},       {"getcwd", {0}},
    {"unlink", {1}},       {"rename", {2}},      {"fcopy", {2}},
    {"fmove", {2}},        {"chmod", {2}},       {"dir", {0, 1}},
    {"fulldir", {0, 1}},   {"fullpath", {1}},    {"splitpath", {1}},
    {"tick", {0}},         {"sleep", {1}},       {"beep", {0}},
    {"kbhit", {0}},        {"getch", {0}},       {"getche", {0}},
    {"pksize", {1}},       {"unpack", {2}},      {"pack", {2}},
    {"bsplit", {1, 2}},    {"bjoin", {1, 2}},    {"serial", {1}},
    {"deserial", {1}},
};

const Vocabulary kGraphics = {
    {"screen", {0, 2}}, {"window", {4}},    {"cls", {0, 1, 3}},  {"circle", {3, 5, 6}},
    {"line", {4}},      {"box", {4, 5, 6}}, {"fill", {4, 5, 6}}, {"pset", {2, 3}},
    {"point", {2}},     {"gpos", {2}},      {"update", {0, 1}},  {"gprint", {3}},
    {"gprintf", {-1}},  {"font", {2, 3}},   {"color", {0, 1, 3}}, {"paint", {2}},
    {"view", {4}},
};

const Vocabulary kDll = {{"dllfunc", {2}}};

const Vocabulary kCom = {{"comobj", {1}}, {"comget", {1}}, {"dotnet", {2}}};

size_t registrations(const Vocabulary& v) {
    size_t n = 0;
    for (const auto& [name, counts] : v) n += counts.size();
    return n;
}

} // namespace

TEST(Registry, the_vocabulary_has_223_registrations_of_166_names) {
    Vocabulary all;
    for (const Vocabulary* g : {&kCore, &kGraphics, &kDll, &kCom}) all.insert(g->begin(), g->end());
    EXPECT_EQ(all.size(), 166U);
    EXPECT_EQ(registrations(all), 223U);
    EXPECT_EQ(registrations(kCore), 188U);
}

TEST(Registry, every_name_has_exactly_its_counts) {
    register_builtins();
    std::map<std::string, std::set<int>> got;
    for (const auto& [name, info] : funcman.table())
        for (func_data* f : info->overloads)
            if (f->builtin) got[name].insert(f->argc);
    Vocabulary expected = kCore;
    if (!kGraphicsPending) expected.insert(kGraphics.begin(), kGraphics.end());
    expected.insert(kDll.begin(), kDll.end());
    expected.insert(kCom.begin(), kCom.end());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(builtin_registration_count(), registrations(expected));
    funcman.clearFunctions();
}
