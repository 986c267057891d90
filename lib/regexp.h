// Compiled regular expressions (Oniguruma's POSIX interface, Shift_JIS, Perl syntax).
//
// `RegExp` holds one compiled pattern and the buffers of its last search (groups, prematch,
// postmatch).  It has its own reference count: a regular-expression literal node keeps one,
// and every `VRegExp` value made from it keeps one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ruvo {

class RegExp {
public:
    RegExp(std::string_view pattern, bool icase, bool multiline);
    virtual ~RegExp();
    RegExp(const RegExp&) = delete;
    RegExp& operator=(const RegExp&) = delete;

    void addref() { ++refs; }
    void release();

    void* compiled = nullptr; // the engine's pattern object; null when compilation failed
    int32_t refs = 0;
    std::string pattern;
    int32_t cflags = 0;
    std::vector<std::string> groups;
    std::string prematch;
    std::string postmatch;
};

} // namespace ruvo
