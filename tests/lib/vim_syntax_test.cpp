// The Vim syntax file names every built-in and every keyword, and nothing else as such: it
// is written by hand, so a built-in or keyword added later must show up here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "eval/func.h"
#include "lib/registry.h"

using namespace ruvo;

namespace {

std::string source_file(const std::string& rel) {
    const char* dir = std::getenv("RUVO_SOURCE_DIR");
    std::ifstream in(std::string(dir ? dir : "../..") + "/" + rel, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The words of the syntax file's "syn keyword GROUP ..." lines for GROUP.
std::set<std::string> keywords_of(const std::string& vim, const std::string& group) {
    std::set<std::string> words;
    std::istringstream lines(vim);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream w(line);
        std::string syn, kind, g;
        if (!(w >> syn >> kind >> g) || syn != "syn" || kind != "keyword" || g != group) continue;
        for (std::string word; w >> word;) words.insert(word);
    }
    return words;
}

} // namespace

TEST(VimSyntax, names_every_builtin_and_only_those) {
    std::string vim = source_file("editor/vim/syntax/ruvo.vim");
    ASSERT_FALSE(vim.empty());
    register_builtins();
    std::set<std::string> builtins;
    for (const auto& [name, info] : funcman.table()) builtins.insert(name);
    funcman.clearFunctions();
    EXPECT_EQ(builtins.size(), 166U);
    EXPECT_EQ(keywords_of(vim, "rvBuiltin"), builtins);
}

TEST(VimSyntax, names_every_keyword_of_the_scanner) {
    std::string vim = source_file("editor/vim/syntax/ruvo.vim");
    std::string scanner = source_file("front/scanner.l");
    // The rules lie between the two "%%" lines.
    size_t from = scanner.find("\n%%\n"), to = scanner.find("\n%%\n", from + 1);
    ASSERT_NE(to, std::string::npos);
    scanner = scanner.substr(from, to - from);
    // Keyword rules open their line with the bare word, some with glue up to ":" or "(".
    std::regex rule(R"((^|\n)([a-z]+)(\{GLUE\}\S*)?[ \t]+\{)");
    std::set<std::string> missing;
    size_t found = 0;
    for (std::sregex_iterator i(scanner.begin(), scanner.end(), rule), end; i != end; ++i) {
        ++found;
        std::string word = (*i)[2];
        bool named = std::regex_search(vim, std::regex("[ \"(|]" + word + R"((?=[\s\\"|)]))"));
        if (!named) missing.insert(word);
    }
    EXPECT_GE(found, 28U);
    EXPECT_TRUE(missing.empty()) << "not in the syntax file: " << *missing.begin();
}
