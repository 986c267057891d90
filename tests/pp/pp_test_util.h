// Helpers of the preprocessor tests: a scratch directory, running the preprocessor on text or
// files, and reading the output the way the interpreter's scanner numbers it.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "pp/preprocessor.h"

namespace pptest {

// A fresh directory under /tmp, removed with everything in it at the end of the test.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return m_path; }
    // Writes [text] to [name] (sub-directories are created) and returns the full path.
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::string m_path;
};

struct Result {
    bool ok;
    std::string out;
    std::string errors;
};

// Preprocesses [text] as a file named [name] with [options].
Result run(const std::string& text, const std::string& name = "t.rv", ruvopp::Options options = {});
Result run_file(const std::string& path, ruvopp::Options options = {});

// A source text and the one error it must fail with.
struct ErrorCase {
    const char* text;
    const char* error;
};
void expect_errors(std::initializer_list<ErrorCase> cases);

// The file name and line number the scanner gives the output line that holds [marker], as
// "name:line", or "missing".
std::string where(const std::string& out, const std::string& marker);

// cpp_main with the given arguments (argv[0] is added); standard error goes to [errors].
int call_cpp_main(std::vector<std::string> args, std::string* errors = nullptr);

std::string read_file(const std::string& path);

} // namespace pptest
