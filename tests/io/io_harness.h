// Helpers of the file tests: a scratch directory made with mkdtemp and removed afterwards,
// whole-file reads and writes, and a call of a file I/O built-in by name and argument count.
// (Messages of script errors and arrays come from test_support.h.)
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/value.h"
#include "eval/context.h"
#include "eval/error.h"
#include "lib/registry.h"
#include "test_support.h"

namespace iotest {

class ScratchDir {
public:
    ScratchDir() {
        char tmpl[] = "/tmp/ruvo_io_XXXXXX";
        const char* d = mkdtemp(tmpl);
        path_ = d ? d : "/tmp";
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

// Calls the file I/O built-in registered as `name` for args.size() arguments (or any).
inline ruvo::Value call(const char* name, std::vector<ruvo::Value> args) {
    const ruvo::BuiltinDef* any = nullptr;
    for (const ruvo::BuiltinDef& d : ruvo::fileio_builtins()) {
        if (std::string_view(d.name) != name) continue;
        if (d.count == static_cast<int>(args.size())) any = &d;
        if (d.count < 0 && !any) any = &d;
    }
    if (!any) throw std::runtime_error(std::string("no registration for ") + name);
    ruvo::VContext ctx;
    ruvo::Value result;
    any->handler(ctx, 7, args, result);
    return result;
}

} // namespace iotest
