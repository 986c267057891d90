// copy() and deepcopy(): shallow clones through the object's clone(), and recursive copies
// that keep shared parts shared and reproduce cycles (a memo table maps each source object
// to its copy).  The deep copy walks with an explicit stack, so any nesting depth is safe.
#pragma once

#include "core/value.h"

namespace ruvo {

// Numbers, booleans and null unchanged; objects cloned.  "Object not clonable in copy()".
Value shallow_copy(const Value& v, int line);
// "Object not clonable in deepcopy()" for anything but strings, arrays and hashes.
Value deep_copy(const Value& v, int line);

} // namespace ruvo
