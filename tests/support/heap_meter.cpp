#include "heap_meter.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

uint64_t beyond(const std::atomic<int64_t>& count, int64_t start)
{
    const int64_t value = count.load(std::memory_order_relaxed) - start;
    return value > 0 ? uint64_t(value) : 0;
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

// The program's own allocation calls, on glibc's allocator under its
// exported names: each block carries the size asked for just before it, so
// what is counted is what the callers asked, not how the allocator rounds
// it. Every call of the family is replaced, as glibc requires of a
// replacement, so no block made by one is freed by another.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);

namespace {
struct SBlockHead {
    size_t size;
    void* base;   // what glibc gave
};
constexpr size_t HeadRoom = 16;   // keeps the blocks 16-byte aligned
static_assert(sizeof(SBlockHead) <= HeadRoom, "the head fits before the block");

SBlockHead* headOf(void* block)
{
    return reinterpret_cast<SBlockHead*>(static_cast<char*>(block) - HeadRoom);
}

void* made(void* base, size_t offset, size_t size)
{
    if (!base)
        return nullptr;
    void* block = static_cast<char*>(base) + offset;
    *headOf(block) = {size, base};
    noteMade(size);
    return block;
}

void* allocate(size_t alignment, size_t size)
{
    if (size > SIZE_MAX - 2 * alignment - HeadRoom)
        return nullptr;
    if (alignment <= HeadRoom)
        return made(__libc_malloc(size + HeadRoom), HeadRoom, size);
    return made(__libc_memalign(alignment, size + alignment), alignment, size);
}
} // namespace

void* malloc(size_t size) { return allocate(HeadRoom, size); }
void* memalign(size_t alignment, size_t size) { return allocate(alignment, size); }
void* aligned_alloc(size_t alignment, size_t size) { return allocate(alignment, size); }
void* valloc(size_t size) { return allocate(4096, size); }
void* pvalloc(size_t size) { return allocate(4096, (size + 4095) / 4096 * 4096); }
size_t malloc_usable_size(void* block) { return block ? headOf(block)->size : 0; }

void* calloc(size_t count, size_t size)
{
    void* block = size && count > SIZE_MAX / size ? nullptr : malloc(count * size);
    return block ? std::memset(block, 0, count * size) : nullptr;
}

void free(void* block)
{
    if (!block)
        return;
    const SBlockHead head = *headOf(block);
    noteGone(head.size);
    __libc_free(head.base);
}

void* realloc(void* block, size_t size)
{
    if (!block)
        return malloc(size);
    if (size == 0) {
        free(block);
        return nullptr;
    }
    void* moved = malloc(size);
    if (!moved)
        return nullptr;
    std::memcpy(moved, block, std::min(size, headOf(block)->size));
    free(block);
    return moved;
}

int posix_memalign(void** out, size_t alignment, size_t size)
{
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* block = allocate(alignment, size);
    if (block)
        *out = block;
    return block ? 0 : ENOMEM;
}
}

#endif

CHeapMeter::CHeapMeter() { restart(); }

void CHeapMeter::restart()
{
    Start = held.load(std::memory_order_relaxed);
    peak.store(Start, std::memory_order_relaxed);
}

uint64_t CHeapMeter::peakBytes() const { return beyond(peak, Start); }
