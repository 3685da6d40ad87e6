#pragma once
// Counts heap allocations in a benchmark program, split by who asked for them: code linked into this
// executable (the project's own static libraries) or a shared library (the GL driver, the C++ runtime).
// It replaces malloc and operator new for the whole program, so include it in exactly one file.
#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <new>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
// Bounds of this executable's code, set by the linker.
extern char __executable_start;
extern char etext;
}

namespace benchalloc {

inline std::atomic<uint64_t> ownAllocations{0};
inline std::atomic<uint64_t> otherAllocations{0};
// The calling thread's share of ownAllocations, apart from the work other threads do meanwhile.
inline thread_local uint64_t threadOwnAllocations = 0;

inline void count(const void* caller) {
    const bool own = caller >= &__executable_start && caller < &etext;
    (own ? ownAllocations : otherAllocations).fetch_add(1, std::memory_order_relaxed);
    if (own) ++threadOwnAllocations;
}

struct Snapshot {
    uint64_t own = ownAllocations.load();
    uint64_t other = otherAllocations.load();
    uint64_t threadOwn = threadOwnAllocations;
};

}  // namespace benchalloc

extern "C" {
void* malloc(size_t size) {
    benchalloc::count(__builtin_return_address(0));
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    benchalloc::count(__builtin_return_address(0));
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
    benchalloc::count(__builtin_return_address(0));
    return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
    benchalloc::count(__builtin_return_address(0));
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    benchalloc::count(__builtin_return_address(0));
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    benchalloc::count(__builtin_return_address(0));
    void* pointer = __libc_memalign(alignment, size);
    if (!pointer) return ENOMEM;
    *out = pointer;
    return 0;
}
void free(void* pointer) {
    __libc_free(pointer);
}
}

void* operator new(std::size_t size) {
    benchalloc::count(__builtin_return_address(0));
    if (void* p = __libc_malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    benchalloc::count(__builtin_return_address(0));
    if (void* p = __libc_malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    __libc_free(p);
}
void operator delete[](void* p) noexcept {
    __libc_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    __libc_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    __libc_free(p);
}
