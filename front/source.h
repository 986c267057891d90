// The source reader and the front end's process-wide state.
//
// Scripts are Shift_JIS, whose trail bytes can look like ASCII ('\\', '|', '{' ...).  The
// reader therefore converts the whole source to EUC-JP before the scanner sees it: every byte
// of a Japanese character is then 0x80 or above, so no rule of the scanner can mistake one for
// an ASCII character.  Identifiers and literals go back to Shift_JIS when their token is built,
// so nothing after the scanner ever sees EUC-JP.
//
// `FrontState` holds everything the scanner and the parser keep between calls: the source-file
// table, the current reader, the literal buffer and the parse-wide lists.  The front end is not
// reentrant; a parse starts only after the previous one has ended.  The line counter and the
// current file id live in `scan_pos` (front/node.h), where the node constructors read them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "front/node.h"

namespace ruvo {

struct func_data;

// The two conversions of the source reader.  Front-end only: they follow the scanner's own
// rules exactly (a lone lead byte is copied, a three-byte EUC character is dropped).
std::string front_sjis_to_euc(std::string_view s);
std::string front_euc_to_sjis(std::string_view s);

// The source-file table: names to small ids (their position).  Entries are never removed.
class FIDMan {
public:
    // The id of the first equal name, appending it when new; -1 for a null or empty name.
    int32_t intern(std::string_view name);
    int32_t intern(const char* name) { return name ? intern(std::string_view(name)) : -1; }
    // The name of an id, or null for a negative or unknown id.
    const char* lookup(int32_t id) const;
    // From now on `path` is known as `shown` (the driver opens a script by a path other
    // than the one the user gave; messages keep the name as given).
    void alias(std::string_view path, std::string_view shown);
    // The name a path is shown as.
    std::string_view shown(std::string_view path) const;

private:
    std::vector<std::string> names_;
    std::vector<std::pair<std::string, std::string>> aliases_;
};

// The longest source the front end takes, in bytes as read (the preprocessor's limit for
// one file).  Its EUC-JP form is at most twice as long, well within the scanner's reach.
inline constexpr size_t kMaxSourceBytes = size_t{256} << 20;

// The whole source text in EUC-JP, followed by the two NUL bytes that end a scanner buffer:
// the scanner reads the text where it lies, without copying it piece by piece.
class EucFile {
public:
    enum Status { Ok, Unreadable, TooLarge };
    // Reads the file with CR LF turned into LF, cut at the first NUL byte.  Unreadable when it
    // cannot be opened or read or holds no byte; TooLarge beyond kMaxSourceBytes (a pipe or
    // a device is read up to that bound, so one without end is refused, not read forever).
    // With [utf8_scripts], a file that declares UTF-8 is converted to Shift_JIS
    // (io/ostext.h), and bad_line() tells the first line holding a character Shift_JIS lacks.
    Status openFile(const char* path, bool utf8_scripts = true);
    int bad_line() const { return bad_line_; }
    // Takes a text (cut at the first NUL byte, as a text handed over as a C string would be);
    // false beyond kMaxSourceBytes.
    bool openText(std::string_view text);
    // The text and its two closing NUL bytes.  The scanner may change bytes while it scans.
    char* scan_base() { return text_.data(); }
    size_t scan_size() const { return text_.size(); }

private:
    void take(std::string_view sjis);
    std::string text_;
    int bad_line_ = 0;
};

struct FrontState {
    FIDMan fids;
    std::unique_ptr<EucFile> reader;
    std::string literal; // content of the string or regular-expression literal being scanned
    bool too_large = false; // the last source set was refused for its size

    // Parse-wide, from the start of parse() to its end.
    std::vector<Context*> blocks;                     // open statement lists, program first
    std::vector<std::pair<Atom, func_data*>> pending; // top-level definitions, source order
    std::vector<Node*> nodes;                         // every node built by this parse
    int errors = 0;                                   // syntax errors of the last parse
};
extern FrontState frontend;

// Make a file (false when it cannot be read; a null name only resets) or a text (false when
// too large) the next source of the scanner.  Both reset the line to 1, the file id and the
// scanner state; frontend.too_large tells a source refused for its size from the others.
bool setSourceFile(const char* name, bool utf8_scripts = true);
// See FIDMan::alias.
void set_display_name(std::string_view path, std::string_view shown);
bool setSourceText(std::string_view text);

// Scanner entry points (front/scanner.l).  nextToken returns the token code and leaves the
// token's leaf node, if it has one, in tokenValue(); outside a parse the caller owns it.
int nextToken();
Node* tokenValue();
void beginRegexBody();
// Makes [base] (size bytes, the last two of them NUL) the text the scanner reads next.
void scanBuffer(char* base, size_t size);
// Lets go of the scanner's text and returns it to the code state.
void resetScanner();

} // namespace ruvo
