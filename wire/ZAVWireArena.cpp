#include "wire/ZAVWireArena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {
thread_local ZAVWireArena* tCurrent = nullptr;
constexpr size_t kMaxBlock = 4 * 1024 * 1024;
}  // namespace

ZAVWireArena::~ZAVWireArena() {
    for (Kept* k = kept_; k; k = k->next) k->arena->release();
    while (head_) {
        Block* next = head_->next;
        ZAVWIRE_ARENA_UNPOISON(head_, head_->size);
        std::free(head_);
        head_ = next;
    }
}

void ZAVWireArena::keep(ZAVWireArena* other) {
    if (!other || other == this) return;
    other->retain();
    kept_ = new (allocate(sizeof(Kept), alignof(Kept))) Kept{other, kept_};
}

ZAVWireArena* ZAVWireArena::current() {
    return tCurrent;
}

void* ZAVWireArena::do_allocate(size_t bytes, size_t alignment) {
    if (sealed_.load(std::memory_order_acquire)) return ::operator new(bytes, std::align_val_t(alignment));
    alignment = std::max(alignment, kWord);
    auto aligned = [&](uint8_t* p) {
        return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + alignment - 1) &
                                          ~(alignment - 1));
    };
    if (cursor_) {
        // Whole words, as allocateObject takes them.
        size_t words = (bytes + kWord - 1) & ~(kWord - 1);
        uint8_t* p = aligned(cursor_);
        if (p <= end_ && words >= bytes && static_cast<size_t>(end_ - p) >= words) {
            cursor_ = p + words;
            ZAVWIRE_ARENA_UNPOISON(p, bytes);
            return p;
        }
    }
    size_t header = (sizeof(Block) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
    if (bytes > SIZE_MAX / 2 - header - alignment) throw std::bad_alloc();
    size_t size = nextSize_;
    while (size < header + alignment + bytes) size *= 2;
    auto* block = static_cast<Block*>(std::malloc(size));
    if (!block) throw std::bad_alloc();
    block->next = head_;
    block->size = size;
    head_ = block;
    if (nextSize_ < kMaxBlock) nextSize_ *= 2;
    uint8_t* start = reinterpret_cast<uint8_t*>(block) + header;
    uint8_t* p = aligned(start);
    cursor_ = p + ((bytes + kWord - 1) & ~(kWord - 1));
    end_ = reinterpret_cast<uint8_t*>(block) + size;
    ZAVWIRE_ARENA_POISON(start, static_cast<size_t>(end_ - start));
    ZAVWIRE_ARENA_UNPOISON(p, bytes);
    return p;
}

void* ZAVWireArena::allocateGrowable(size_t bytes) {
    constexpr size_t alignment = alignof(std::max_align_t);
    auto* p = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(growCursor_) + alignment - 1) &
                                         ~(alignment - 1));
    if (growCursor_ && p <= growEnd_ && static_cast<size_t>(growEnd_ - p) >= bytes) {
        growCursor_ = p + bytes;
        ZAVWIRE_ARENA_UNPOISON(p, bytes);
        return p;
    }
    // A list that outgrew the region moves once to a new one, taken from the blocks as any object is, with
    // room for it to double twice; the lists that follow it start in what is left.
    size_t chunk = std::max<size_t>(bytes <= SIZE_MAX / 8 ? bytes * 4 : bytes, 4096);
    p = static_cast<uint8_t*>(allocate(chunk, alignment));
    growCursor_ = p + bytes;
    growEnd_ = p + chunk;
    ZAVWIRE_ARENA_POISON(growCursor_, chunk - bytes);
    return p;
}

void ZAVWireArena::do_deallocate(void* p, size_t bytes, size_t alignment) {
    // Memory of the blocks is given back with the arena; only what came from the heap after sealing is freed.
    if (!sealed_.load(std::memory_order_acquire) || owns(p)) {
        ZAVWIRE_ARENA_POISON(p, bytes);
        return;
    }
    ::operator delete(p, std::align_val_t(alignment));
}

bool ZAVWireArena::owns(const void* p) const {
    auto* byte = static_cast<const uint8_t*>(p);
    for (const Block* b = head_; b; b = b->next) {
        auto* start = reinterpret_cast<const uint8_t*>(b);
        if (byte >= start && byte < start + b->size) return true;
    }
    return false;
}

void ZAVWireArena::seal() {
    if (sealed_.exchange(true, std::memory_order_acq_rel)) return;
    // The one sealing still holds a reference of its own, so this never lets the count reach zero.
    if (loaned_) refs_.fetch_sub(kLoan - madeWhileParsing_, std::memory_order_acq_rel);
}

ZAVWireArenaScope::ZAVWireArenaScope(ZAVWireArena* arena) : previous_(tCurrent), arena_(arena) {
    arena->beginParse();
    tCurrent = arena;
}

ZAVWireArenaScope::~ZAVWireArenaScope() {
    tCurrent = previous_;
    arena_->seal();
}

std::pmr::memory_resource* ZAVWireBorrowMemory(ZAVWireArenaRef& borrowed) {
    return ZAVWireBorrowMemory(borrowed, ZAVWireArena::current());
}

std::pmr::memory_resource* ZAVWireBorrowMemory(ZAVWireArenaRef& borrowed, ZAVWireArena* arena) {
    if (!arena) return std::pmr::new_delete_resource();
    if (borrowed.get() != arena) {
        arena->keep(borrowed.get());
        borrowed = ZAVWireArenaRef::whileParsing(arena);
    }
    return arena;
}
