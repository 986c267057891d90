#include "core/text.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ruvo {

namespace {

#if defined(__SSE2__)
// Sixteen candidate positions at a time: a position is a candidate when the first, second and
// last bytes of the needle sit there; only candidates are compared in full.  Texts where the
// needle's first byte is common (every word of a list starting alike) cost a few vector
// operations per sixteen bytes instead of a comparison per occurrence of that byte.
size_t find_vector(const char* s, size_t n, const char* t, size_t m) {
    const __m128i first = _mm_set1_epi8(t[0]);
    const __m128i second = _mm_set1_epi8(t[1]);
    const __m128i last = _mm_set1_epi8(t[m - 1]);
    size_t i = 0;
    for (; i + m + 15 <= n; i += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + m - 1));
        __m128i hit = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second)),
                                    _mm_cmpeq_epi8(c, last));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        while (mask) {
            size_t k = i + static_cast<size_t>(__builtin_ctz(mask));
            if (std::memcmp(s + k + 2, t + 2, m - 2) == 0) return k;
            mask &= mask - 1;
        }
    }
    // The last positions, fewer than sixteen.
    for (; i + m <= n; ++i)
        if (s[i] == t[0] && std::memcmp(s + i + 1, t + 1, m - 1) == 0) return i;
    return std::string_view::npos;
}
#endif

} // namespace

size_t find_bytes(std::string_view s, std::string_view t, size_t from) {
    if (from > s.size()) return std::string_view::npos;
    if (t.empty()) return from;
    const char* base = s.data() + from;
    size_t n = s.size() - from;
    if (t.size() > n) return std::string_view::npos;
    if (t.size() == 1) {
        const void* p = std::memchr(base, t[0], n);
        return p ? static_cast<size_t>(static_cast<const char*>(p) - s.data()) : std::string_view::npos;
    }
#if defined(__SSE2__)
    // Long needles go to the C library, whose search stays linear however the needle repeats.
    if (t.size() <= 64) {
        size_t p = find_vector(base, n, t.data(), t.size());
        return p == std::string_view::npos ? p : p + from;
    }
#endif
    const void* p = ::memmem(base, n, t.data(), t.size());
    return p ? static_cast<size_t>(static_cast<const char*>(p) - s.data()) : std::string_view::npos;
}

} // namespace ruvo
