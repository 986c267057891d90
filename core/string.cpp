#include "core/string.h"

namespace ruvo {

StringBuffers string_buffers;

} // namespace ruvo
