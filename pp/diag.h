// Error reporting.  Every error is printed at once as "file:line: message" and marks the run
// as failed; the parts of the preprocessor check failed() and stop, so an error never needs an
// exception to unwind.  Reporter is implemented by the driver, which knows which file and
// which (possibly #line-renumbered) line a physical line of the current file stands for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ruvopp {

// [v] in decimal (std::to_string would drag exported template data into the library).
std::string decimal(int64_t v);

class Reporter {
public:
    virtual ~Reporter() = default;

    // Reports [message] for physical line [line] of the file being read.
    virtual void error(uint32_t line, std::string_view message) = 0;

    bool failed() const { return m_failed; }

protected:
    // Prints "file:line: message" (or "file: message" when [line] is 0) to [sink], or to
    // standard error when [sink] is null, and marks the run as failed.
    void print(std::string* sink, std::string_view file, int64_t line, std::string_view message);

private:
    bool m_failed = false;
};

} // namespace ruvopp
