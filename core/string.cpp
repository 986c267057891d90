#include "core/string.h"

namespace ruvo {

StringBuffers string_buffers;

void store_new_string(Cell& c, std::string_view s) {
    c = make_string(s);
}

void store_resized_string(std::string& d, std::string_view s) {
    d.assign(s);
}

} // namespace ruvo
