#include "kite/nodes/KTNodeAllocator.h"

#include <cstdint>
#include <mutex>
#include <new>

#include <sys/mman.h>

#include "platform/base/Lasting.h"

// Under AddressSanitizer nodes come from the heap, each a block of its own, so that the leak checker still
// reports a node nobody released (it sees only the heap's blocks, not slots inside mapped slabs).
#if defined(__SANITIZE_ADDRESS__)
#define KT_NODES_FROM_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KT_NODES_FROM_HEAP 1
#endif
#endif

namespace kite {

namespace {

constexpr std::size_t kLine = 64;
// Aligned to its size, so that a slot finds its slab by masking its address.
constexpr std::size_t kSlabBytes = 64 * 1024;
constexpr std::size_t kClasses = kKTNodeSlotMaxBytes / kLine;
// Slabs are carved from chunks of one large page. With thousands of nodes over as many small pages, missing
// the address translation was about half of what a frame's first touch of a node cost.
constexpr std::size_t kChunkBytes = 2 * 1024 * 1024;
constexpr unsigned kSlabsPerChunk = kChunkBytes / kSlabBytes;
static_assert(kSlabsPerChunk == 32);

#ifdef MADV_COLLAPSE
constexpr int kMadviseCollapse = MADV_COLLAPSE;
#else
constexpr int kMadviseCollapse = 25;
#endif

struct Chunk {
    Chunk* next;
    char* base;
    // Bit i set: slab i is free.
    uint32_t freeSlabs;
    // Backed by large pages; a small program's first chunk is not, so that a few nodes do not cost a
    // whole large page of memory.
    bool large;
};

struct Slab {
    Chunk* chunk;
    Slab* prev;
    Slab* next;
    void* freeList;
    unsigned slotBytes;
    unsigned capacity;
    unsigned live;
    // Slots never handed out start at this index: a new slab hands them out in address order.
    unsigned untouched;
    bool listed;
};
static_assert(sizeof(Slab) <= kLine);

struct SizeClass {
    // Slabs with a free slot; the others are found again when one of their slots is freed.
    Slab* open = nullptr;
};

struct Allocator {
    std::mutex mutex;
    SizeClass classes[kClasses];
    Chunk* chunks = nullptr;
    std::size_t slabs = 0;
    std::size_t slotsInUse = 0;
};

Allocator& allocator() {
    // Nodes that singletons hold are released during exit.
    static plat::Lasting<Allocator> instance;
    return *instance;
}

void link(SizeClass& sc, Slab* slab) {
    slab->prev = nullptr;
    slab->next = sc.open;
    if (sc.open) sc.open->prev = slab;
    sc.open = slab;
    slab->listed = true;
}

void unlink(SizeClass& sc, Slab* slab) {
    if (slab->prev)
        slab->prev->next = slab->next;
    else
        sc.open = slab->next;
    if (slab->next) slab->next->prev = slab->prev;
    slab->listed = false;
}

char* slotsOf(Slab* slab) {
    return reinterpret_cast<char*>(slab) + kLine;
}

// A chunk-aligned mapping: twice the size mapped, the ends cut off.
char* mapChunk() {
    void* mapped = mmap(nullptr, 2 * kChunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    auto* start = static_cast<char*>(mapped);
    auto* base = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(start) + kChunkBytes - 1) &
                                         ~(kChunkBytes - 1));
    if (base > start) munmap(start, static_cast<std::size_t>(base - start));
    munmap(base + kChunkBytes, static_cast<std::size_t>(start + 2 * kChunkBytes - (base + kChunkBytes)));
    return base;
}

Slab* takeSlab(Allocator& a) {
    Chunk* chunk = a.chunks;
    while (chunk && chunk->freeSlabs == 0) chunk = chunk->next;
    if (!chunk) {
        char* base = mapChunk();
        if (!base) return nullptr;
        chunk = new (std::nothrow) Chunk{a.chunks, base, ~uint32_t{0}, a.chunks != nullptr};
        if (!chunk) {
            munmap(base, kChunkBytes);
            return nullptr;
        }
        if (chunk->large) {
            madvise(base, kChunkBytes, MADV_HUGEPAGE);
            // The program has many nodes after all: the small-page chunk joins the others. Where the kernel
            // cannot, the chunk stays as it is.
            for (Chunk* other = a.chunks; other; other = other->next) {
                if (other->large) continue;
                other->large = true;
                madvise(other->base, kChunkBytes, MADV_HUGEPAGE);
                madvise(other->base, kChunkBytes, kMadviseCollapse);
            }
        }
        a.chunks = chunk;
    }
    // The lowest free slab: nodes made one after another go up in address.
    const int index = __builtin_ctz(chunk->freeSlabs);
    chunk->freeSlabs &= ~(uint32_t{1} << index);
    auto* slab = reinterpret_cast<Slab*>(chunk->base + static_cast<std::size_t>(index) * kSlabBytes);
    slab->chunk = chunk;
    return slab;
}

void giveBackSlab(Allocator& a, Slab* slab) {
    Chunk* chunk = slab->chunk;
    const auto index = static_cast<unsigned>((reinterpret_cast<char*>(slab) - chunk->base) / kSlabBytes);
    chunk->freeSlabs |= uint32_t{1} << index;
    if (chunk->freeSlabs == ~uint32_t{0}) {
        Chunk** link = &a.chunks;
        while (*link != chunk) link = &(*link)->next;
        *link = chunk->next;
        munmap(chunk->base, kChunkBytes);
        delete chunk;
    } else if (!chunk->large) {
        // Returning part of a large page would split it; a large chunk goes back whole, when it empties.
        madvise(slab, kSlabBytes, MADV_DONTNEED);
    }
}

}  // namespace

void* ktNodeAllocate(std::size_t size) {
#if defined(KT_NODES_FROM_HEAP)
    void* node = ::operator new (size, std::align_val_t{kLine});
    Allocator& heap = allocator();
    std::lock_guard<std::mutex> heapLock(heap.mutex);
    ++heap.slotsInUse;
    return node;
#endif
    if (size == 0 || size > kKTNodeSlotMaxBytes) return ::operator new(size);
    const std::size_t index = (size - 1) / kLine;
    Allocator& a = allocator();
    std::lock_guard<std::mutex> lock(a.mutex);
    SizeClass& sc = a.classes[index];
    Slab* slab = sc.open;
    if (!slab) {
        slab = takeSlab(a);
        if (!slab) throw std::bad_alloc();
        slab->freeList = nullptr;
        slab->slotBytes = static_cast<unsigned>((index + 1) * kLine);
        slab->capacity = static_cast<unsigned>((kSlabBytes - kLine) / slab->slotBytes);
        slab->live = 0;
        slab->untouched = 0;
        link(sc, slab);
        ++a.slabs;
    }
    void* slot;
    if (slab->freeList) {
        slot = slab->freeList;
        slab->freeList = *static_cast<void**>(slot);
    } else {
        slot = slotsOf(slab) + static_cast<std::size_t>(slab->untouched++) * slab->slotBytes;
    }
    if (++slab->live == slab->capacity) unlink(sc, slab);
    ++a.slotsInUse;
    return slot;
}

void ktNodeFree(void* p, std::size_t size) noexcept {
    if (!p) return;
#if defined(KT_NODES_FROM_HEAP)
    ::operator delete (p, std::align_val_t{kLine});
    Allocator& heap = allocator();
    std::lock_guard<std::mutex> heapLock(heap.mutex);
    --heap.slotsInUse;
    return;
#endif
    if (size == 0 || size > kKTNodeSlotMaxBytes) {
        ::operator delete(p);
        return;
    }
    auto* slab = reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(p) & ~(kSlabBytes - 1));
    Allocator& a = allocator();
    std::lock_guard<std::mutex> lock(a.mutex);
    SizeClass& sc = a.classes[(slab->slotBytes / kLine) - 1];
    --a.slotsInUse;
    if (--slab->live == 0) {
        // An empty slab goes back to the heap at once.
        if (slab->listed) unlink(sc, slab);
        giveBackSlab(a, slab);
        --a.slabs;
        return;
    }
    *static_cast<void**>(p) = slab->freeList;
    slab->freeList = p;
    if (!slab->listed) link(sc, slab);
}

bool ktNodesFromSlabs() {
#if defined(KT_NODES_FROM_HEAP)
    return false;
#else
    return true;
#endif
}

KTNodeAllocatorStats ktNodeAllocatorStats() {
    Allocator& a = allocator();
    std::lock_guard<std::mutex> lock(a.mutex);
    return {a.slabs, a.slotsInUse};
}

}  // namespace kite
