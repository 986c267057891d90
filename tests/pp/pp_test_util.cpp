// Helpers of the preprocessor tests (see pp_test_util.h).
#include "pp_test_util.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "pp/cpp_main.h"

namespace pptest {

ScratchDir::ScratchDir() {
    char tmpl[] = "/tmp/ruvopp-test-XXXXXX";
    const char* p = ::mkdtemp(tmpl);
    if (!p) throw std::runtime_error("mkdtemp failed");
    m_path = p;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string ScratchDir::write(const std::string& name, const std::string& text) const {
    std::filesystem::path p = std::filesystem::path(m_path) / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
}

Result run(const std::string& text, const std::string& name, ruvopp::Options options) {
    Result r;
    options.diagnostics = &r.errors;
    ruvopp::Preprocessor pp(std::move(options));
    r.ok = pp.run_text(name, text);
    r.out = pp.output();
    return r;
}

Result run_file(const std::string& path, ruvopp::Options options) {
    Result r;
    options.diagnostics = &r.errors;
    ruvopp::Preprocessor pp(std::move(options));
    r.ok = pp.run_file(path);
    r.out = pp.output();
    return r;
}

void expect_errors(std::initializer_list<ErrorCase> cases) {
    for (const ErrorCase& c : cases) {
        Result r = run(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.errors, c.error) << c.text;
    }
}

std::string where(const std::string& out, const std::string& marker) {
    std::istringstream in(out);
    std::string line, file = "?";
    long number = 1;
    // The scanner's line directive, with the number minus one counted from the next line.
    static const std::regex directive("^[ \t]*#[ \t]*line[ \t]*([0-9]+)([ \t]*\"([^\"\n]+)\")?",
                                      std::regex::icase);
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, directive)) {
            number = std::max(1L, std::strtol(m[1].str().c_str(), nullptr, 10));
            if (m[3].matched) file = m[3].str();
            continue;
        }
        if (line.find(marker) != std::string::npos) return file + ":" + std::to_string(number);
        ++number;
    }
    return "missing";
}

int call_cpp_main(std::vector<std::string> args, std::string* errors) {
    args.insert(args.begin(), "");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (errors) testing::internal::CaptureStderr();
    int rc = cpp_main(static_cast<int>(args.size()), argv.data());
    if (errors) *errors = testing::internal::GetCapturedStderr();
    return rc;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace pptest
