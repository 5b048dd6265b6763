#include "heap_meter.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HEAP_METER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define HEAP_METER_ASAN 1
#endif

namespace {

std::atomic<int64_t> held{0};
std::atomic<int64_t> peak{0};

void noteMade(size_t bytes)
{
    const int64_t now = held.fetch_add(int64_t(bytes), std::memory_order_relaxed) + int64_t(bytes);
    int64_t seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void noteGone(size_t bytes)
{
    held.fetch_sub(int64_t(bytes), std::memory_order_relaxed);
}

} // namespace

#ifdef HEAP_METER_ASAN

// The sanitizer's allocator calls these for every block, whoever asks.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*made)(const volatile void*, size_t),
                                                         void (*gone)(const volatile void*));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void* block);

namespace {
void onMade(const volatile void*, size_t size) { noteMade(size); }
void onGone(const volatile void* block) { noteGone(__sanitizer_get_allocated_size(block)); }
const int hooked = __sanitizer_install_malloc_and_free_hooks(onMade, onGone);
} // namespace

#else

// glibc's own allocator under its exported names: the program's malloc and
// kin count each block at its usable size and pass the call on. Every
// allocation call is replaced, so a block is never counted by one family
// and freed by another.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);

namespace {
void* made(void* block)
{
    if (block)
        noteMade(malloc_usable_size(block));
    return block;
}
} // namespace

void* malloc(size_t size) { return made(__libc_malloc(size)); }
void* calloc(size_t count, size_t size) { return made(__libc_calloc(count, size)); }
void* memalign(size_t alignment, size_t size) { return made(__libc_memalign(alignment, size)); }
void* aligned_alloc(size_t alignment, size_t size) { return made(__libc_memalign(alignment, size)); }
void* valloc(size_t size) { return made(__libc_valloc(size)); }
void* pvalloc(size_t size) { return made(__libc_pvalloc(size)); }

void free(void* block)
{
    if (!block)
        return;
    noteGone(malloc_usable_size(block));
    __libc_free(block);
}

void* realloc(void* block, size_t size)
{
    const size_t before = block ? malloc_usable_size(block) : 0;
    void* moved = __libc_realloc(block, size);
    if (!moved) {
        if (block && size == 0)
            noteGone(before);   // freed
        return nullptr;
    }
    if (moved == block) {
        noteGone(before);
        noteMade(malloc_usable_size(moved));
    } else {   // both held while the contents were copied
        noteMade(malloc_usable_size(moved));
        noteGone(before);
    }
    return moved;
}

int posix_memalign(void** out, size_t alignment, size_t size)
{
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* block = made(__libc_memalign(alignment, size));
    if (!block)
        return ENOMEM;
    *out = block;
    return 0;
}
}

#endif

CHeapMeter::CHeapMeter()
{
    restart();
}

void CHeapMeter::restart()
{
    Start = held.load(std::memory_order_relaxed);
    peak.store(Start, std::memory_order_relaxed);
}

uint64_t CHeapMeter::peakBytes() const
{
    const int64_t most = peak.load(std::memory_order_relaxed) - Start;
    return most > 0 ? uint64_t(most) : 0;
}

uint64_t CHeapMeter::heldBytes() const
{
    const int64_t now = held.load(std::memory_order_relaxed) - Start;
    return now > 0 ? uint64_t(now) : 0;
}
