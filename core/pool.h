// Small-object storage for runtime objects.
//
// Scripts make and drop strings, arrays and hashes at a high rate; taking each from the C
// library's allocator costs more than the work done with most of them.  Objects of up to
// kMaxPooled bytes come from per-size free lists instead, carved from 64 KiB chunks that are
// kept for the life of the process.  The interpreter runs script code on one thread, and only
// that thread makes runtime objects, so the lists take no lock.
//
// The sanitizer build hands every object to the C library's allocator, so that use after free
// and overruns of runtime objects stay visible to it.
//
// Making a chunk is also when the pool looks after the C library's heap as a whole: the heap
// grows in large steps, and each stretch it grows by is advised for transparent huge pages
// (see advise_heap() in core/pool.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

// RUVO_ASAN: AddressSanitizer is on (g++ says so with a macro, clang through __has_feature).
#if defined(__SANITIZE_ADDRESS__)
#define RUVO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RUVO_ASAN 1
#endif
#endif

namespace ruvo {

struct ObjectPool {
    static constexpr size_t kGrain = 16;
    static constexpr size_t kMaxPooled = 256;
    static constexpr size_t kClasses = kMaxPooled / kGrain;

    struct FreeBlock {
        FreeBlock* next;
    };

    FreeBlock* free_[kClasses] = {};

    static size_t class_of(size_t n) { return (n + kGrain - 1) / kGrain - 1; }

    void* alloc(size_t n) {
#if defined(RUVO_ASAN)
        return ::operator new(n);
#else
        if (n > kMaxPooled || n == 0) return ::operator new(n);
        size_t c = class_of(n);
        FreeBlock* b = free_[c];
        if (!b) [[unlikely]]
            b = refill(c);
        free_[c] = b->next;
        return b;
#endif
    }
    void release(void* p, size_t n) {
#if defined(RUVO_ASAN)
        ::operator delete(p, n);
#else
        if (n > kMaxPooled || n == 0) {
            ::operator delete(p, n);
            return;
        }
        FreeBlock* b = static_cast<FreeBlock*>(p);
        size_t c = class_of(n);
        b->next = free_[c];
        free_[c] = b;
#endif
    }

private:
    // Carves a new chunk into blocks of class c and returns the first one.
    FreeBlock* refill(size_t c);
    void advise_heap();
    uintptr_t heap_advised_ = 0; // the end of the heap when it was last advised; 0: not set up
};

extern ObjectPool object_pool;

} // namespace ruvo
