// Serialization bodies of the containers; the stream format lands with serial()/deserial().
#include "core/array.h"
#include "core/hash.h"
#include "core/string.h"

namespace ruvo {

bool VString::serialize(VStream&) const { return false; }
bool VString::deserialize(VStream&) { return false; }
bool VArray::serialize(VStream&) const { return false; }
bool VArray::deserialize(VStream&) { return false; }
bool VHash::serialize(VStream&) const { return false; }
bool VHash::deserialize(VStream&) { return false; }

} // namespace ruvo
