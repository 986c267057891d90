// The preprocessor driver.  It reads the input file, answers directives (#include, #define,
// #undef, the conditionals, #error), hands every other line's tokens to the macro expander and
// collects the output text; directives it does not know, a "#!" line and #line lines are
// passed through unchanged for the interpreter's scanner, which skips '#' lines.
//
// Invariants:
// - Tokens are taken from one TokenInput whose lexer is that of the innermost open file.
//   Directives and the end of a file are seen only when no expanded token is pending, so a
//   file can be entered or left, and a macro redefined, without a token pointing at stale
//   text.
// - Conditional state is one stack of entries for all open files; each file remembers where
//   its own entries begin, so an #endif cannot close a group of the file that included it.
//   Nesting depth costs heap, never native stack.
// - Every written line carries the file name and line number of its source through Output
//   (#line directives), also across #include boundaries and dropped lines.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pp/diag.h"
#include "pp/expander.h"
#include "pp/lexer.h"
#include "pp/macro.h"
#include "pp/output.h"

namespace ruvopp {

struct Limits {
    ExpandLimits expand;
    size_t max_output = size_t{256} << 20; // bytes of preprocessed text
    size_t max_file = size_t{256} << 20;   // bytes of one input file
    size_t max_include_depth = 200;        // open files, the input file included
    int max_expr_depth = 256;              // nesting inside one #if expression
};

struct Options {
    std::vector<std::string> include_dirs; // -I, searched in order after the file's directory
    Limits limits;
    std::string* diagnostics = nullptr; // errors are appended here instead of standard error
};

class Preprocessor final : public Reporter {
public:
    explicit Preprocessor(Options options);

    // -DNAME, -DNAME=VALUE (the text after -D); false with the error reported when malformed.
    bool define(std::string_view arg);
    void undefine(std::string_view name) { m_macros.undef(name); }

    // Preprocesses the file at [path] or the text [text] named [name]; the result is in
    // output().  False when an error was reported.
    bool run_file(const std::string& path);
    bool run_text(const std::string& name, std::string text);

    std::string& output() { return m_out.text(); }

    void error(uint32_t line, std::string_view message) override;

private:
    struct SourceFile {
        SourceFile(std::string p, std::string t, size_t base)
            : path(std::move(p)), text(std::move(t)), display(path),
              line_name(Output::line_name(path)), cond_base(base), lexer(text, Lexer::Mode::File) {}
        std::string path;      // as opened; its directory is searched first by #include
        std::string text;      // the whole file, which the tokens point into
        std::string display;   // the name errors and #line use (a #line may change it)
        std::string line_name; // display fit for a #line directive
        int64_t delta = 0;     // presumed line minus physical line, moved by #line
        size_t cond_base;      // m_conds.size() when the file was entered
        Lexer lexer;
    };
    struct Cond {
        uint32_t line; // of the #if, for "unterminated" errors
        bool parent;   // the enclosing group is being processed
        bool taken;    // some branch of this #if has been chosen
        bool current;  // the branch being read is processed
        bool seen_else;
    };

    bool active() const { return m_conds.empty() || m_conds.back().current; }
    bool read_file(const std::string& path, std::string& text, uint32_t line);
    void push_file(std::string path, std::string text);
    void end_file();
    void run();
    void emit(const Token& t);
    void pass_through(const Token& t);
    void overflow(uint32_t line);

    void directive(const Token& t);
    bool conditional(std::string_view name, std::string_view rest, uint32_t line);
    bool line_directive(const Token& t);
    void include(std::string_view rest, uint32_t line);
    bool find_include(const std::string& name, std::string& path) const;
    bool condition(std::string_view expr, uint32_t line);
    void replace_defined(TokenList& tokens, uint32_t line);

    Options m_options;
    MacroTable m_macros;
    Expander m_expander;
    Output m_out;
    TokenInput m_input;
    std::vector<std::unique_ptr<SourceFile>> m_files;
    std::vector<Cond> m_conds;
    bool m_resync = false; // an included file has ended: the next token must sync
};

} // namespace ruvopp
