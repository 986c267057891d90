// The scanner and the parser on any bytes: every token of the text first, then a parse of the
// same text, whose tree is freed and whose functions leave the table again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "eval/func.h"
#include "front/node.h"
#include "front/parser.h"
#include "front/source.h"
#include "parser.hpp"

using namespace ruvo;

namespace {

// Tokens whose leaf node the scanner hands over (outside a parse the caller owns it).
bool carries_node(int token) {
    switch (token) {
    case NUMBER:
    case IDENT:
    case STRING:
    case REGEX:
    case NULLVAL:
    case BOOLVAL: return true;
    default: return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (setSourceText(text)) {
        for (int t; (t = nextToken()) != 0;)
            if (carries_node(t)) destroy_node(tokenValue());
        resetScanner();
    }
    delete parseText(text);
    funcman.clearFunctions();
    return 0;
}
