#include "host/run.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unistd.h>

#include "core/reserve.h"
#include "eval/error.h"
#include "eval/evaluate.h"
#include "eval/lower.h"
#include "eval/scope.h"
#include "front/parser.h"
#include "host/driver.h"
#include "host/preprocess.h"
#include "io/ostext.h"
#include "io/stdstream.h"

namespace ruvo {

namespace {

void print_error(const std::string& message) {
    std_write(stderr, message + "\n");
    std::fflush(stderr);
}

// Running out of memory ends a parse or a run like a script error.  What it built is still
// held, so the message is written without making a string.
void report_out_of_memory() {
    spend_memory_reserve();
    std_write(stderr, "error: Out of memory\n");
    std::fflush(stderr);
}

// Parses with [parse_source] (a parseFile or parseText call); null when the parse failed,
// also for want of memory (the front end has let go of all it built by then).
template <class Parse> Context* parse_guarded(Parse&& parse_source) {
    keep_memory_reserve();
    try {
        return parse_source();
    } catch (std::bad_alloc&) {
        report_out_of_memory();
        return nullptr;
    }
}

// Gives back what a run took, on every way out: the scope depth, the tree, the nesting count.
class RunFrame {
public:
    explicit RunFrame(Context* program)
        : program_(program), depth_(scopes.scopeDepth()), outermost_(eval_state.run_depth == 0) {
        if (!objman.mark_roots) eval_init();
        // Nested runs (eval) are on the same thread: the bounds are known.
        if (outermost_) eval_stack_prepare();
        ++eval_state.run_depth;
    }
    ~RunFrame() {
        scopes.restoreDepth(depth_);
        --eval_state.run_depth;
        delete program_;
        if (outermost_) purge_retired_overloads(); // no script code runs any more
    }
    RunFrame(const RunFrame&) = delete;
    RunFrame& operator=(const RunFrame&) = delete;

private:
    Context* program_;
    size_t depth_;
    bool outermost_;
};

// Runs a parsed program (null: the parse failed) and frees it.  [failed] tells whether the
// parse failed or the run ended in an error.
Value run_program(Context* program, bool* failed) {
    if (failed) *failed = true;
    if (!program) return Value();
    keep_memory_reserve();
    Value result;
    bool fault = false;
    RunFrame frame(program);
    VContext ctx;
    try {
        lower_program(program);
        result = execBlock(program, ctx);
        if (ctx.status == VContext::Return) {
            result = ctx.take();
        } else if (ctx.status != VContext::Normal) {
            // The result stays the value of the last statement executed.
            int at = ctx.line;
            ctx.take();
            print_error(error_text(at, "Bad break or continue"));
            fault = true;
        }
    } catch (ScriptError& e) {
        print_error(e.message);
        result.set_null();
        fault = true;
    } catch (VExit& e) {
        result = std::move(e.value);
    } catch (std::bad_alloc&) {
        report_out_of_memory();
        result.set_null();
        fault = true;
    }
    if (failed) *failed = fault;
    return result;
}

} // namespace

Value run_text(std::string_view text, bool* failed) {
    return run_program(parse_guarded([&] { return parseText(text); }), failed);
}

Value run_file_unprocessed(const char* path, bool* failed) {
    return run_program(parse_guarded([&] { return parseFile(path); }), failed);
}

Value run_file(const char* path, bool* failed) {
    if (failed) *failed = true;
    // The preprocessed text goes to a private temporary file, removed right after the parse.
    std::string temp = make_preprocess_temp();
    if (temp.empty()) {
        print_error(error_text(0, "Cannot create a temporary file for the preprocessor"));
        return Value();
    }
    // The preprocessor has turned a UTF-8 script into Shift_JIS already: its coding comment
    // must not convert the text a second time.
    Context* program = parse_guarded([&]() -> Context* {
        int status = preprocess(path, temp.c_str());
        if (status == kPreprocessOutOfMemory) report_out_of_memory();
        return status == 0 ? parseFile(temp.c_str(), false) : nullptr;
    });
    unlink(name_to_os(temp).c_str());
    return run_program(program, failed);
}

} // namespace ruvo
