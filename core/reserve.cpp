#include "core/reserve.h"

#include <cstddef>
#include <cstdlib>

namespace ruvo {

namespace {
constexpr size_t kMemoryReserve = 1 << 20;
void* reserve_block = nullptr;
} // namespace

void keep_memory_reserve() {
    if (!reserve_block) reserve_block = std::malloc(kMemoryReserve);
}

void spend_memory_reserve() {
    std::free(reserve_block);
    reserve_block = nullptr;
}

bool memory_reserve_held() {
    return reserve_block != nullptr;
}

} // namespace ruvo
