// Helpers of the file tests: a scratch directory made with mkdtemp and removed afterwards,
// whole-file reads and writes, and the file I/O family bound for calls by name.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/value.h"
#include "lib/builtin_call.h"
#include "lib/registry.h"
#include "test_support.h"

namespace iotest {

class ScratchDir {
public:
    ScratchDir() {
        char tmpl[] = "/tmp/ruvo_io_XXXXXX";
        const char* d = mkdtemp(tmpl);
        if (!d) throw std::runtime_error("mkdtemp failed"); // never clean up anything else
        path_ = d;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The file I/O built-ins, called by name: call("gets", {}), call("puts", {text}).
inline const ruvo::test::Family call(ruvo::fileio_builtins());

} // namespace iotest
