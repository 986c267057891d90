#include "host/input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <glob.h>
#include <memory>
#include <new>
#include <sys/stat.h>

#include "core/string.h"
#include "eval/error.h"
#include "eval/scope.h"
#include "io/fileio.h"
#include "io/ostext.h"
#include "io/stdstream.h"

namespace ruvo {

InputFileState input_files;

namespace {

bool has_wildcard(std::string_view s) {
    return s.find_first_of("*?") != std::string_view::npos;
}

// Exists and is not a directory.
bool is_ordinary_file(const std::string& path) {
    struct stat st;
    return stat(name_to_os(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void set_filename(const std::string& name) {
    static const Atom atom = intern("__filename");
    Cell* c = scopes.lookupGlobal(atom);
    if (!c) c = scopes.declareGlobal(atom);
    *c = make_string(name);
}

// Renames without ever replacing an existing entry, so that no backup can overwrite a file.
bool rename_no_replace(const std::string& from_name, const std::string& to_name) {
    std::string from = name_to_os(from_name), to = name_to_os(to_name);
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: check, then rename.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

// The output file of an in-place edit.  When a write, flush or close of it fails, the file
// is cut short: the original is put back by renaming its backup over it (the backup is then
// gone: its text is under the original name again), and the failure is a script error.  At
// shut-down, when no error can be raised any more, the message is printed and the run fails.
class InPlaceOutput final : public StreamGuard {
public:
    InPlaceOutput(std::string name, std::string backup)
        : name_(std::move(name)), backup_(std::move(backup)) {}

    void failed(VFile& file, bool can_raise) override {
        file.close();
        std::rename(name_to_os(backup_).c_str(), name_to_os(name_).c_str());
        if (can_raise) raise(0, "Cannot write output file %s", name_.c_str());
        input_files.output_failed = true;
        try {
            std_write(stderr, error_text(0, "Cannot write output file " + name_) + "\n");
            std::fflush(stderr);
        } catch (const std::bad_alloc&) {
            // The status still tells.
        }
    }

private:
    std::string name_;
    std::string backup_;
};

bool next_in_place(VFile* in) {
    VFile* out = std_file(StdFile::Out);
    if (!out || input_files.next >= input_files.names.size()) return false;
    const std::string name = input_files.names[input_files.next++];
    struct stat st;
    bool exists = stat(name_to_os(name).c_str(), &st) == 0;
    // A missing file cannot be opened, and no backup is made for it.  Only ordinary files
    // are edited: renaming a directory or a device away is no edit.
    bool missing = !exists && (errno == ENOENT || errno == ENOTDIR);
    if (missing || (exists && !S_ISREG(st.st_mode)))
        raise(0, "Cannot open input file %s", name.c_str());
    const std::string backup = backup_name(name);
    // The previous output file is finished first: a failure to write it is reported before
    // this file is renamed.
    if (exists && !backup.empty() && out->owned()) out->close();
    if (!exists || backup.empty() || !rename_no_replace(name, backup))
        raise(0, "Cannot create backup file for %s", name.c_str());
    if (!in->open(backup, "r")) raise(0, "Cannot open input file %s", backup.c_str());
    if (!out->open(name, "w")) raise(0, "Cannot open output file %s", name.c_str());
    out->set_guard(std::make_unique<InPlaceOutput>(name, backup));
    // The rewritten file keeps the permissions of the original.
    fchmod(fileno(out->stream()), st.st_mode & 07777);
    set_filename(name);
    return true;
}

} // namespace

void add_input_file(std::string_view arg) {
    std::string a(arg);
    size_t slash = a.rfind('/');
    std::string prefix = slash == std::string::npos ? std::string() : a.substr(0, slash + 1);
    if (!has_wildcard(a) || has_wildcard(prefix)) {
        input_files.names.push_back(std::move(a));
        return;
    }
    // Only "*" and "?" are wildcards: brackets and backslashes match themselves.
    std::string pattern;
    for (char c : name_to_os(a)) {
        if (c == '[' || c == ']' || c == '\\') pattern += '\\';
        pattern += c;
    }
    glob_t g;
    std::vector<std::string> found;
    if (glob(pattern.c_str(), GLOB_NOSORT, nullptr, &g) == 0) {
        for (size_t i = 0; i < g.gl_pathc; ++i) {
            std::string_view p = g.gl_pathv[i];
            std::string_view entry = p.substr(p.rfind('/') + 1); // npos + 1 == 0
            if (entry != "." && entry != "..") found.push_back(os_to_name(entry));
        }
    }
    globfree(&g);
    std::sort(found.begin(), found.end());
    for (const std::string& e : found) input_files.names.push_back(prefix + e);
}

std::string backup_name(const std::string& name) {
    std::string b = name + ".bak";
    if (!is_ordinary_file(b)) return b;
    for (int i = 0; i < 100000; ++i) {
        b = name + "." + std::to_string(i) + ".bak";
        if (!is_ordinary_file(b)) return b;
    }
    return {};
}

bool next_input_file() {
    VFile* in = std_file(StdFile::In);
    if (!in) return false;
    if (input_files.inplace) return next_in_place(in);
    if (input_files.next >= input_files.names.size()) return false;
    const std::string name = input_files.names[input_files.next++];
    if (!in->open(name, "r")) raise(0, "Cannot open input file %s", name.c_str());
    set_filename(name);
    return true;
}

} // namespace ruvo
