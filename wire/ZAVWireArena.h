#pragma once
// Memory for the objects a parse makes. A parse of a large message makes thousands of small objects
// (sub-messages, strings, arrays, extension entries); taking each from the C allocator was a large part of
// the cost of reading. While a parse runs, those objects come from one arena of growing blocks instead: a
// parse takes a handful of blocks, and nothing is freed one by one. Objects stay ordinary shared objects with
// their own lifetimes: every object in an arena holds a reference to it, so the arena lives until the last of
// them (and the last message that borrowed memory from it) is gone. Memory freed back is not reused, which is
// bounded by what the parse read.
#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <utility>

// Under AddressSanitizer, arena memory not handed out, or given back, is poisoned, so that a use after
// release inside a block is reported as it would be for heap memory.
#if defined(__SANITIZE_ADDRESS__)
#define ZAVWIRE_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZAVWIRE_ARENA_ASAN 1
#endif
#endif
#if defined(ZAVWIRE_ARENA_ASAN)
#include <sanitizer/asan_interface.h>
#define ZAVWIRE_ARENA_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define ZAVWIRE_ARENA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define ZAVWIRE_ARENA_POISON(p, n) ((void)(p), (void)(n))
#define ZAVWIRE_ARENA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

class ZAVWireArena final : public std::pmr::memory_resource {
  public:
    // The first block is `firstBlock` bytes; each next one twice the last, up to a few megabytes.
    explicit ZAVWireArena(size_t firstBlock = 16 * 1024) : nextSize_(firstBlock) {}
    ZAVWireArena(const ZAVWireArena&) = delete;
    ZAVWireArena& operator=(const ZAVWireArena&) = delete;
    ~ZAVWireArena() override;

    // The arena of the parse running on this thread, or null outside parsing.
    static ZAVWireArena* current();

    // The allocation of shared objects during the parse: a bump in the current block when it has room.
    // Blocks hand out whole words, so the cursor stays word-aligned and the objects (which need no more)
    // take no alignment step.
    __attribute__((always_inline)) void* allocateObject(size_t bytes, size_t alignment) {
        if (alignment <= kWord) {
            bytes = (bytes + kWord - 1) & ~(kWord - 1);
            if (bytes <= static_cast<size_t>(end_ - cursor_)) {
                uint8_t* p = cursor_;
                cursor_ = p + bytes;
                ZAVWIRE_ARENA_UNPOISON(p, bytes);
                return p;
            }
        }
        return allocate(bytes, alignment);
    }
    // Storage of a list that grows while the parse reads it, from a region of its own: the list being
    // filled is then mostly the last thing there and grows in place instead of being copied at each step.
    void* allocateGrowable(size_t bytes);
    // Extends the last growable storage, `p` of `bytes`, to `newBytes` where it is, when there is room.
    bool growInPlace(void* p, size_t bytes, size_t newBytes) {
        auto* end = static_cast<uint8_t*>(p) + bytes;
        if (end != growCursor_ || newBytes < bytes || newBytes - bytes > static_cast<size_t>(growEnd_ - end))
            return false;
        growCursor_ = static_cast<uint8_t*>(p) + newBytes;
        ZAVWIRE_ARENA_UNPOISON(end, newBytes - bytes);
        return true;
    }
    void retain() { refs_.fetch_add(1, std::memory_order_relaxed); }
    // A reference taken by the parse that fills the arena, on its own thread between beginParse and
    // sealing: only counted here. Meanwhile the count holds a loan larger than any parse could take, so
    // releases on other threads never bring it to zero; sealing trades the loan for the references counted.
    // So making an object costs no atomic operation of its own.
    __attribute__((always_inline)) void retainWhileParsing() {
        assert(loaned_ && !sealed_.load(std::memory_order_relaxed));
        ++madeWhileParsing_;
    }
    // Starts the parse that fills the arena (the scope that makes it current does).
    void beginParse() {
        if (loaned_ || sealed_.load(std::memory_order_acquire)) return;
        refs_.fetch_add(kLoan, std::memory_order_relaxed);
        loaned_ = true;
    }
    void release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    // Keeps another arena alive as long as this one (an object moving its contents here still has some
    // there).
    void keep(ZAVWireArena* other);
    // Ends the parse that used the arena. Containers that took it as their memory may still grow from any
    // thread afterwards: they then get heap memory, and give it back, without touching the blocks.
    void seal();

  private:
    void* do_allocate(size_t bytes, size_t alignment) override;
    void do_deallocate(void* p, size_t bytes, size_t alignment) override;
    bool owns(const void* p) const;
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return &other == this;
    }

    struct Block {
        Block* next;
        size_t size;
    };
    struct Kept {
        ZAVWireArena* arena;
        Kept* next;
    };
    static constexpr size_t kWord = alignof(void*);
    static constexpr size_t kLoan = SIZE_MAX / 4;
    Block* head_ = nullptr;
    Kept* kept_ = nullptr;
    size_t madeWhileParsing_ = 0;
    bool loaned_ = false;
    uint8_t* cursor_ = nullptr;
    uint8_t* end_ = nullptr;
    size_t nextSize_;
    uint8_t* growCursor_ = nullptr;
    uint8_t* growEnd_ = nullptr;
    std::atomic<size_t> refs_{0};
    std::atomic<bool> sealed_{false};
};

// A counted reference to an arena.
class ZAVWireArenaRef {
  public:
    ZAVWireArenaRef() = default;
    explicit ZAVWireArenaRef(ZAVWireArena* arena) : arena_(arena) {
        if (arena_) arena_->retain();
    }
    ZAVWireArenaRef(const ZAVWireArenaRef& other) : ZAVWireArenaRef(other.arena_) {}
    ZAVWireArenaRef(ZAVWireArenaRef&& other) noexcept : arena_(std::exchange(other.arena_, nullptr)) {}
    ZAVWireArenaRef& operator=(ZAVWireArenaRef other) noexcept {
        std::swap(arena_, other.arena_);
        return *this;
    }
    ~ZAVWireArenaRef() {
        if (arena_) arena_->release();
    }
    static ZAVWireArenaRef make(size_t firstBlock) { return ZAVWireArenaRef(new ZAVWireArena(firstBlock)); }
    // A reference taken by the parse filling the arena (see retainWhileParsing).
    static ZAVWireArenaRef whileParsing(ZAVWireArena* arena) {
        ZAVWireArenaRef ref;
        ref.arena_ = arena;
        arena->retainWhileParsing();
        return ref;
    }
    ZAVWireArena* get() const { return arena_; }
    explicit operator bool() const { return arena_ != nullptr; }

  private:
    ZAVWireArena* arena_ = nullptr;
};

// Makes an arena the current one on this thread for as long as it lives, starting its parse, and seals it
// when it ends.
class ZAVWireArenaScope {
  public:
    explicit ZAVWireArenaScope(ZAVWireArena* arena);
    ~ZAVWireArenaScope();
    ZAVWireArenaScope(const ZAVWireArenaScope&) = delete;
    ZAVWireArenaScope& operator=(const ZAVWireArenaScope&) = delete;

  private:
    ZAVWireArena* previous_;
    ZAVWireArena* arena_;
};

// The allocator of shared objects made in an arena: each object's memory holds a reference to the arena
// from its allocation to its deallocation (the allocator's copies in between are plain pointers).
template <typename T>
class ZAVWireArenaAllocator {
  public:
    using value_type = T;
    explicit ZAVWireArenaAllocator(ZAVWireArena* arena) : arena_(arena) {}
    template <typename U>
    ZAVWireArenaAllocator(const ZAVWireArenaAllocator<U>& other) : arena_(other.arena_) {}
    T* allocate(size_t n) {
        void* p = arena_->allocateObject(n * sizeof(T), alignof(T));
        arena_->retainWhileParsing();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n) {
        ZAVWIRE_ARENA_POISON(p, n * sizeof(T));
        arena_->release();
    }
    template <typename U>
    bool operator==(const ZAVWireArenaAllocator<U>& other) const {
        return arena_ == other.arena_;
    }

  private:
    template <typename U>
    friend class ZAVWireArenaAllocator;
    ZAVWireArena* arena_;
};

// A new shared object: from the current arena during a parse, else from the heap.
template <typename T, typename... Args>
std::shared_ptr<T> ZAVWireMakeShared(Args&&... args) {
    if (ZAVWireArena* arena = ZAVWireArena::current())
        return std::allocate_shared<T>(ZAVWireArenaAllocator<T>(arena), std::forward<Args>(args)...);
    return std::make_shared<T>(std::forward<Args>(args)...);
}

// The same in a given arena (null: the heap), for a parse that passes its arena down. Taken in line: a
// parse makes thousands.
template <typename T, typename... Args>
__attribute__((always_inline)) inline std::shared_ptr<T> ZAVWireMakeSharedIn(ZAVWireArena* arena,
                                                                             Args&&... args) {
    if (arena) return std::allocate_shared<T>(ZAVWireArenaAllocator<T>(arena), std::forward<Args>(args)...);
    return std::make_shared<T>(std::forward<Args>(args)...);
}

// Where an object may take memory for its own contents: the current arena during a parse, else the heap.
// `borrowed` is the object's reference to the arena its contents came from; it is moved to the current
// one, which keeps the earlier one alive.
std::pmr::memory_resource* ZAVWireBorrowMemory(ZAVWireArenaRef& borrowed);
// The same for a parse that already holds its arena.
std::pmr::memory_resource* ZAVWireBorrowMemory(ZAVWireArenaRef& borrowed, ZAVWireArena* arena);
