// Base64 with the standard alphabet (A-Z a-z 0-9 + /, "=" padding, no line breaks), behind the
// "base64"/"b64" rows of encode and decode.
//
// Decoding never fails: characters outside the alphabet are skipped, a NUL byte ends the text,
// a group of four characters gives three bytes, and the first "=" ends both its group (k
// characters before it give k - 1 bytes) and the whole decoding; an unfinished final group is
// dropped.
#pragma once

#include <string>
#include <string_view>

namespace ruvo {

std::string base64_encode(std::string_view bytes);
std::string base64_decode(std::string_view text);

} // namespace ruvo
