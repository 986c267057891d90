// Input files: the file names after the script on the command line, read one after another
// through the script variable `stdin`, so that gets() sees them as one stream while
// `__filename` names the file being read.  With in-place editing (-x) each file is first
// renamed to a backup, the backup is read through `stdin` and the original name is written
// anew through `stdout`.
//
// The list is filled once while the command line is read; the index only moves forward, so
// every file is taken once.  In-place editing never loses data: the backup exists before the
// original name is opened for writing, and no failure removes it; when the rewritten file
// cannot be written whole, the backup is renamed back over it and the script is told
// ("Cannot write output file %s").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ruvo {

struct InputFileState {
    std::vector<std::string> names; // in command-line order, wildcards expanded
    size_t next = 0;                // index of the next name to open
    bool inplace = false;           // -x
    // An in-place output file failed where no script error could be raised (its object was
    // destroyed, at the latest at shut-down): the run fails.
    bool output_failed = false;
};

extern InputFileState input_files;

// Appends a command-line argument: unchanged without "*" or "?" (or with one in its
// directory part); otherwise every matching entry but "." and "..", sorted bytewise, with the
// directory part as written.
void add_input_file(std::string_view arg);

// Opens the next input file on the object `stdin` holds (and, in place, the output file on
// `stdout`'s); true when a file was taken.  Raises "Cannot open input file %s",
// "Cannot create backup file for %s" or "Cannot open output file %s" without a line.
bool next_input_file();

// The backup name in-place editing would use for `name`: name.bak, else the first free
// name.0.bak, name.1.bak, ...; empty when none is free.
std::string backup_name(const std::string& name);

} // namespace ruvo
