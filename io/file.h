// File objects: VFile and its encoding classes VFileSjis, VFileEuc, VFileUtf8, VFileUtf16.
//
// A file object wraps one C stream (or none: the object is then closed and every operation
// reports its "closed" result).  Text inside the interpreter is Shift_JIS; a file object
// converts lines it reads with its decoder and text it writes with its encoder, while read()
// and write() move raw bytes.  No operation raises: failures are results.
//
// Line ends are the interpreter's own business, not the C library's: in text mode writing
// turns LF into CR LF and reading turns CR LF into LF; in binary mode bytes pass unchanged.
// The translation happens in this class's byte layer (get_byte / put_bytes), so it applies
// alike to files, pipes and the standard streams.  Reads go through the stream's own buffer
// (scanned in place, getc_unlocked), so the end-of-file indicator and rewind() stay exact.
//
// Ownership: an opened stream is owned (closed by close() and by the destructor); an
// attached stream (the process's standard streams) is only borrowed and is never closed here.
// `binary_` is the remembered setting applied to every stream opened or attached later;
// `stream_binary_` is the translation of the current stream.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "core/value.h"

namespace ruvo {

struct FileLimits {
    // The longest line gets() returns: a longer one comes back in parts of this size, so that
    // a file without line ends (or /dev/zero) cannot take all memory.
    size_t line = size_t{256} << 20;
};
extern FileLimits file_limits;

class VFile;

// Watches the writes of one stream of a file object: told when a write, flush or close of it
// fails, before the operation returns its result.  It may raise a script error then, except
// when [can_raise] is false (the file object is being destroyed).  The guard goes with the
// stream: it is dropped when the object closes the stream or lets go of it.
class StreamGuard {
public:
    virtual ~StreamGuard() = default;
    virtual void failed(VFile& file, bool can_raise) = 0;
};

class VFile : public VRef {
public:
    using Codec = std::string (*)(std::string_view);

    explicit VFile(Codec decoder = nullptr, Codec encoder = nullptr)
        : VRef(VKind::File), decoder_(decoder), encoder_(encoder) {}
    ~VFile() override;

    const char* type_name() const override { return "file"; }

    // Closes the current stream, then opens `name` with a C library mode string ("r", "w",
    // "a", optionally "+", "b", "t", "x").  False, with no stream left, on failure; a
    // directory is never opened.
    virtual bool open(std::string_view name, std::string_view mode);
    // No stream: -1.  Owned: the fclose status.  Attached: -1 (the stream is flushed and
    // stays open).  The object forgets the stream in every case.
    virtual int close();
    virtual void attach(FILE* stream);
    // One line with its LF (none at the end of the file), decoded; empty text at the end.
    // A line longer than file_limits.line comes back in parts.
    virtual std::string gets();
    // Encodes and writes; true when at least one byte was written.
    virtual bool puts(std::string_view text);
    // Up to n bytes as they are (line ends still follow the translation mode).
    virtual std::string read(size_t n);
    // Writes the bytes as they are; the number of bytes of `bytes` written.
    virtual size_t write(std::string_view bytes);
    // No stream: true.  Otherwise true once a read has run into the end (or failed).
    virtual bool eof();
    virtual bool rewind();
    virtual bool flush();
    virtual bool binmode();
    virtual bool txtmode();

    // The attached stream is a terminal that shows UTF-8: lines read are converted to
    // Shift_JIS, bytes written are converted for it.  Cleared by open() and attach().
    void show_on_terminal() { terminal_ = true; }

    // Watches the current stream (see StreamGuard); set after open().
    void set_guard(std::unique_ptr<StreamGuard> guard) { guard_ = std::move(guard); }

    FILE* stream() const { return stream_; }
    bool owned() const { return owned_; }
    bool binary_setting() const { return binary_; }
    bool text_mode() const { return !stream_binary_; }

protected:
    // One byte after the text-mode translation, or EOF.
    int get_byte();
    // One raw byte, or EOF.
    int get_raw() { return getc_unlocked(stream_); }
    // Writes bytes through the translation (when `translate` and the stream is in text
    // mode); returns how many of `bytes` went out.  Ends the process quietly on a closed pipe.
    size_t put_bytes(std::string_view bytes, bool translate);
    // Called before a read or write: a stream used both ways is repositioned between the two,
    // as the C library requires.
    void before_read();
    void before_write();
    // A write or flush of the stream failed: a closed pipe ends the process, a standard stream
    // notes it for the exit status, the guard is told.
    void write_error();
    void forget_stream();
    // binmode() and txtmode(): the stream and the remembered setting switch together.
    bool set_translation(bool binary);

    FILE* stream_ = nullptr;
    bool owned_ = true;
    bool binary_ = false;
    bool stream_binary_ = false;
    Codec decoder_;
    Codec encoder_;
    bool terminal_ = false;
    std::unique_ptr<StreamGuard> guard_;

private:
    void read_line(std::string& line, size_t limit);

    enum class LastOp : uint8_t { None, Read, Write };
    LastOp last_ = LastOp::None;
};

class VFileSjis final : public VFile {
public:
    VFileSjis() : VFile(nullptr, nullptr) {}
};

class VFileEuc final : public VFile {
public:
    VFileEuc();
};

class VFileUtf8 final : public VFile {
public:
    VFileUtf8();
};

// UTF-16 (little-endian) files: lines are read and written unit by unit.  Reading drops the
// byte-order marks 0xFEFF and 0xFFFE wherever they stand; in text mode a CR unit ends the line
// (stored as LF, and a LF unit right after it is consumed).  Writing puts FF FE first when the
// stream is at position 0 and, in text mode, writes LF as CR LF (0D 00 0A 00).
class VFileUtf16 final : public VFile {
public:
    std::string gets() override;
    bool puts(std::string_view text) override;
};

// A closed file object of the named encoding ("sjis", "euc", "utf8", "utf16", ASCII case
// ignored); null for any other name.
VFile* make_file(std::string_view encoding);

inline VFile* as_file(const CellData& v) {
    return v.kind() == VKind::File ? static_cast<VFile*>(v.obj()) : nullptr;
}

} // namespace ruvo
