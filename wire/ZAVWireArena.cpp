#include "wire/ZAVWireArena.h"

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
    auto aligned = [&](uint8_t* p) {
        return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + alignment - 1) &
                                          ~(alignment - 1));
    };
    if (cursor_) {
        uint8_t* p = aligned(cursor_);
        if (p <= end_ && static_cast<size_t>(end_ - p) >= bytes) {
            cursor_ = p + bytes;
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
    head_ = block;
    ++blocks_;
    if (nextSize_ < kMaxBlock) nextSize_ *= 2;
    uint8_t* start = reinterpret_cast<uint8_t*>(block) + header;
    uint8_t* p = aligned(start);
    cursor_ = p + bytes;
    end_ = reinterpret_cast<uint8_t*>(block) + size;
    return p;
}

ZAVWireArenaScope::ZAVWireArenaScope(ZAVWireArena* arena) : previous_(tCurrent) {
    tCurrent = arena;
}

ZAVWireArenaScope::~ZAVWireArenaScope() {
    tCurrent = previous_;
}

std::pmr::memory_resource* ZAVWireBorrowMemory(ZAVWireArenaRef& borrowed) {
    ZAVWireArena* arena = ZAVWireArena::current();
    if (!arena) return std::pmr::new_delete_resource();
    if (borrowed.get() != arena) {
        arena->keep(borrowed.get());
        borrowed = ZAVWireArenaRef(arena);
    }
    return arena;
}
