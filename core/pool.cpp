#include "core/pool.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

#if defined(__linux__) && !defined(RUVO_ASAN)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#define RUVO_HUGE_HEAP 1
#endif

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

// A script that makes hundreds of thousands of objects touches tens of megabytes of new
// memory; in 4 KiB pages that costs as much time in page faults as the script's own work.
// So the heap grows in large steps (address space only: pages are still made on first
// touch) and every stretch it grows by is advised for transparent huge pages.  Large
// buffers come from the heap too, inside the advised stretches.  Called on every chunk the
// pool makes, which is often enough to advise a new stretch before much of it is used.
void ObjectPool::advise_heap() {
#if RUVO_HUGE_HEAP
    constexpr uintptr_t kHuge = 2u << 20;
    if (heap_advised_ == 0) {
        mallopt(M_TOP_PAD, 32 << 20);
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
        heap_advised_ = reinterpret_cast<uintptr_t>(sbrk(0));
        return;
    }
    auto end = reinterpret_cast<uintptr_t>(sbrk(0));
    if (end < heap_advised_ + kHuge) return;
    uintptr_t from = (heap_advised_ + kHuge - 1) & ~(kHuge - 1);
    uintptr_t to = end & ~(kHuge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    heap_advised_ = end;
#endif
}

ObjectPool::FreeBlock* ObjectPool::refill(size_t c) {
    advise_heap();
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
