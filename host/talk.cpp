// Talk mode: the interactive loop.  Each line runs as script text in the global environment
// of the run, and the display form of its value is printed.  Piped input is read as it comes,
// in pieces of at most 511 bytes (a longer line arrives as several lines); a terminal gets
// line editing and history, and its lines are cut into the same pieces.
//
// The line editor is loaded when talk mode first meets a terminal, so that script runs do not
// pay for loading it; without it a terminal is read like piped input.
//
// On a terminal Ctrl-C drops the line being typed, or stops the line being run (past try and
// catch, shown as "^C" with no result); the session goes on.  SIGINT is caught only while a
// line is typed or run, so a script started with -t ends at Ctrl-C as any script does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

#include "core/attention.h"
#include "core/convert.h"
#include "core/sjis.h"
#include "eval/error.h"
#include "host/driver.h"
#include "host/run.h"
#include "io/interrupt.h"
#include "io/ostext.h"
#include "io/stdstream.h"

namespace ruvo {

namespace {

constexpr size_t kPiece = 511;

struct LineEditor {
    char* (*readline)(const char*) = nullptr;
    int (*add_history)(const char*) = nullptr;
    int (*read_history)(const char*) = nullptr;  // optional: history across sessions
    int (*write_history)(const char*) = nullptr;
    std::string history_file;                     // ~/.ruvo_history, or empty

    bool load() {
        void* lib = dlopen("libedit.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return false;
        readline = reinterpret_cast<char* (*)(const char*)>(dlsym(lib, "readline"));
        add_history = reinterpret_cast<int (*)(const char*)>(dlsym(lib, "add_history"));
        read_history = reinterpret_cast<int (*)(const char*)>(dlsym(lib, "read_history"));
        write_history = reinterpret_cast<int (*)(const char*)>(dlsym(lib, "write_history"));
        if (!readline || !add_history) {
            dlclose(lib);
            return false;
        }
        const char* home = std::getenv("HOME");
        if (home && *home && read_history && write_history) {
            history_file = std::string(home) + "/.ruvo_history";
            read_history(history_file.c_str());
        }
        return true;
    }

    // Every line goes into the file at once, so that no ending of the session loses it.
    void remember(const char* line) {
        add_history(line);
        if (!history_file.empty()) write_history(history_file.c_str());
    }
};

// How many brackets, braces and parentheses the text leaves open; strings, comments and
// the trail bytes of double-byte characters do not count.
int open_brackets(std::string_view text) {
    int depth = 0;
    char quote = 0;
    for (size_t i = 0; i < text.size(); i += sjis_char_len(text, i)) {
        char c = text[i];
        if (quote) {
            if (c == '\\' && quote == '"') ++i;
            else if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (c == '(' || c == '[' || c == '{') {
            ++depth;
        } else if (c == ')' || c == ']' || c == '}') {
            --depth;
        }
    }
    return depth;
}

struct LineSource {
    LineEditor editor;
    bool tty = isatty(STDIN_FILENO) != 0 && editor.load();
    std::string pending; // the rest of a long terminal line
    bool have_pending = false;
    bool abandoned = false; // Ctrl-C dropped the line being typed

    // A line from the editor, or null at the end of input or when Ctrl-C dropped it.
    char* typed_line(const char* prompt) {
        InterruptScope scope;
        char* r = editor.readline(prompt);
        if (!attention_requested(kAttendInterrupt)) return r;
        clear_attention(kAttendInterrupt);
        std::free(r);
        std_write(stdout, "^C\n"); // the editor keeps the terminal from echoing keys
        std_flush(stdout);
        abandoned = true;
        return nullptr;
    }

    // One line without its final LF; false at the end of input.  A line dropped by Ctrl-C
    // comes back empty, with [abandoned] set.
    bool read(const char* prompt, std::string& line) {
        abandoned = false;
        if (tty) {
            if (!have_pending) {
                char* r = typed_line(prompt);
                if (abandoned) {
                    line.clear();
                    return true;
                }
                if (!r) return false;
                if (*r) editor.remember(r);
                pending = os_to_text(r); // typed in the locale's characters
                std::free(r);
                have_pending = true;
            } else {
                std_write(stdout, prompt);
                std_flush(stdout);
            }
            line = pending.substr(0, kPiece);
            pending.erase(0, line.size());
            if (pending.empty()) have_pending = false;
            return true;
        }
        std_write(stdout, prompt);
        std_flush(stdout);
        // Piped input is read in the translation mode of standard input, as a file object
        // reads it: in text mode a CR LF pair arrives as LF, also when the CR is the last
        // byte a piece has room for.  A lone CR stays.
        bool binary = stream_is_binary(stdin);
        line.clear();
        int c = 0;
        while (line.size() < kPiece && c != '\n') {
            c = get_translated(stdin, binary);
            if (c == EOF) break;
            line.push_back(static_cast<char>(c));
        }
        if (line.empty()) return false;
        // The piece is text: a NUL byte ends it.
        line.resize(std::strlen(line.c_str()));
        if (!line.empty() && line.back() == '\n') line.pop_back();
        return true;
    }
};

bool same_ignoring_case(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

// Runs [run] as a line typed at the terminal: Ctrl-C stops it, past try and catch (the
// unwind, or the interrupt still pending when a wait it cut short was the line's last
// step).  False when it was stopped, and then "^C" is shown unless the terminal echoed it.
template <typename Run> bool run_interruptibly(Run&& run) {
    InterruptScope scope;
    bool stopped = false;
    try {
        run();
    } catch (const VInterrupt&) {
        stopped = true;
    }
    if (!stopped && !attention_requested(kAttendInterrupt)) return true;
    clear_attention(kAttendInterrupt);
    clearerr(stdin); // a read it cut short leaves no end of file behind
    std_write(stdout, interrupt_echoed() ? "\n" : "^C\n");
    std_flush(stdout);
    return false;
}

void load_file(const std::string& name) {
    if (driver.preprocess)
        run_file(name.c_str());
    else
        run_file_unprocessed(name.c_str());
}

} // namespace

void talk_mode() {
    LineSource in;
    std::string line;
    while (in.read(">", line)) {
        // On a terminal, a line that leaves a bracket open goes on with the next one; the
        // lines run as one text, joined by LF.
        std::string more;
        while (in.tty && open_brackets(line) > 0 && in.read(">>", more) && !in.abandoned)
            line += "\n" + more;
        if (in.abandoned) continue; // Ctrl-C drops the whole statement typed so far
        if (same_ignoring_case(line, ".quit")) break;
        if (same_ignoring_case(line, ".help")) {
            std_printf(stdout, "%s\n\nCommand:\n    .cls, .quit, .load, .help\n\n", kBanner);
            std_flush(stdout);
            continue;
        }
        if (same_ignoring_case(line, ".load")) {
            std::string name;
            if (!in.read("File name: ", name)) break;
            if (name.empty()) continue;
            if (in.tty)
                run_interruptibly([&] { load_file(name); });
            else
                load_file(name);
            continue;
        }
        if (same_ignoring_case(line, ".cls")) {
            std_write(stdout, "\x1b[H\x1b[2J");
            std_flush(stdout);
            continue;
        }
        if (line.empty()) continue;
        if (line.back() != ';') line += ';';
        Value result;
        if (!in.tty)
            result = run_text(line);
        else if (!run_interruptibly([&] { result = run_text(line); }))
            continue; // stopped: no result line
        std_write(stdout, display_form(result) + "\n");
        std_flush(stdout);
    }
}

} // namespace ruvo
