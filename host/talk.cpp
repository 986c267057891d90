// Talk mode: the interactive loop.  Each line runs as script text in the global environment
// of the run, and the display form of its value is printed.  Piped input is read as it comes,
// in pieces of at most 511 bytes (a longer line arrives as several lines); a terminal gets
// line editing and history, and its lines are cut into the same pieces.
//
// The line editor is loaded when talk mode first meets a terminal, so that script runs do not
// pay for loading it; without it a terminal is read like piped input.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

#include "core/convert.h"
#include "core/sjis.h"
#include "host/driver.h"
#include "host/run.h"
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

    // One line without its final LF; false at the end of input.
    bool read(const char* prompt, std::string& line) {
        if (tty) {
            if (!have_pending) {
                char* r = editor.readline(prompt);
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

} // namespace

void talk_mode() {
    LineSource in;
    std::string line;
    while (in.read(">", line)) {
        // On a terminal, a line that leaves a bracket open goes on with the next one; the
        // lines run as one text, joined by LF.
        std::string more;
        while (in.tty && open_brackets(line) > 0 && in.read(">>", more)) line += "\n" + more;
        if (same_ignoring_case(line, ".quit")) break;
        if (same_ignoring_case(line, ".help")) {
            std_printf(stdout, "%s\n\nCommand:\n    .cls, .quit, .load, .help\n\n", kBanner);
            std_flush(stdout);
            continue;
        }
        if (same_ignoring_case(line, ".load")) {
            std::string name;
            if (!in.read("File name: ", name)) break;
            if (!name.empty()) {
                if (driver.preprocess)
                    run_file(name.c_str());
                else
                    run_file_unprocessed(name.c_str());
            }
            continue;
        }
        if (same_ignoring_case(line, ".cls")) {
            std_write(stdout, "\x1b[H\x1b[2J");
            std_flush(stdout);
            continue;
        }
        if (line.empty()) continue;
        if (line.back() != ';') line += ';';
        Value result = run_text(line);
        std_write(stdout, display_form(result) + "\n");
        std_flush(stdout);
    }
}

} // namespace ruvo
