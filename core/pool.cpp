#include "core/pool.h"

#include <cstdlib>
#include <vector>

namespace ruvo {

ObjectPool object_pool;

namespace {
// Every chunk ever made.  Never freed, not even by static destructors: objects that statics
// hold may be released while those run.
std::vector<void*>& chunks() {
    static auto* c = new std::vector<void*>;
    return *c;
}
} // namespace

ObjectPool::FreeBlock* ObjectPool::refill(size_t c) {
    constexpr size_t kChunk = 64 * 1024;
    size_t size = (c + 1) * kGrain;
    size_t n = kChunk / size;
    auto* base = static_cast<std::byte*>(::operator new(n * size));
    chunks().push_back(base);
    // Thread the blocks in address order, so that a run of new objects lies together.
    FreeBlock* head = nullptr;
    for (size_t i = n; i-- > 0;) {
        auto* b = reinterpret_cast<FreeBlock*>(base + i * size);
        b->next = head;
        head = b;
    }
    return head;
}

} // namespace ruvo
