#pragma once
// The extension values of one message. A message carries one or two extensions at most in practice, so the
// entries sit side by side in key order, the first few in the same block as the map itself, taken from the
// memory the message draws on (the parse's arena, or the heap); a look-up is a short scan.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <memory_resource>
#include <new>
#include <stdexcept>
#include <utility>

#include "wire/ZAVWireArena.h"
#include "wire/ZAVWireRootObject.h"

class ZAVWireExtensionField;

class ZAVWireExtensionMap {
  public:
    using Key = std::shared_ptr<const ZAVWireExtensionField>;
    using Entry = std::pair<Key, ZAVWireObjectPtr>;
    using iterator = Entry*;
    using const_iterator = const Entry*;

    // A map whose first `room` entries fit in its own block.
    static ZAVWireExtensionMap* make(std::pmr::memory_resource* memory, uint32_t room) {
        void* place = memory->allocate(blockSize(room), alignof(ZAVWireExtensionMap));
        return new (place) ZAVWireExtensionMap(memory, room);
    }
    // A map a parse makes in its arena for a message it has just made, with its first entry: one bump, and
    // the entry built in place. The message's own memory keeps the arena alive for as long as the message
    // lives. Entries added after the parse take the heap, as the sealed arena gives it.
    __attribute__((always_inline)) static ZAVWireExtensionMap* makeWith(ZAVWireArena* arena, uint32_t room,
                                                                        const Key& key,
                                                                        ZAVWireObjectPtr&& value) {
        void* place = arena->allocateObject(blockSize(room), alignof(ZAVWireExtensionMap));
        auto* map = new (place) ZAVWireExtensionMap(arena, room, true);
        new (map->data_) Entry(key, std::move(value));
        map->size_ = 1;
        return map;
    }
    // Releases the entries and gives back the map's memory.
    static void destroy(ZAVWireExtensionMap* map) {
        std::pmr::memory_resource* memory = map->memory_;
        size_t bytes = blockSize(map->room_);
        bool inArena = map->inArena_;
        map->~ZAVWireExtensionMap();
        if (inArena) {
            ZAVWIRE_ARENA_POISON(map, bytes);
        } else {
            memory->deallocate(map, bytes, alignof(ZAVWireExtensionMap));
        }
    }
    ZAVWireExtensionMap(const ZAVWireExtensionMap&) = delete;
    ZAVWireExtensionMap& operator=(const ZAVWireExtensionMap&) = delete;

    std::pmr::memory_resource* resource() const { return memory_; }
    iterator begin() { return data_; }
    iterator end() { return data_ + size_; }
    const_iterator begin() const { return data_; }
    const_iterator end() const { return data_ + size_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    iterator find(const Key& key) { return find(key.get()); }
    const_iterator find(const Key& key) const { return find(key.get()); }
    // By the extension itself: a look-up needs no counted reference to it.
    const_iterator find(const ZAVWireExtensionField* key) const {
        return const_cast<ZAVWireExtensionMap*>(this)->find(key);
    }
    const ZAVWireObjectPtr& at(const Key& key) const {
        const_iterator it = find(key);
        if (it == end()) throw std::out_of_range("ZAVWireExtensionMap::at");
        return it->second;
    }
    // The value stored for the key, a null one inserted when there is none.
    ZAVWireObjectPtr& operator[](const Key& key) {
        iterator position = lowerBound(key.get());
        if (position != end() && position->first.get() == key.get()) return position->second;
        return insertAt(position, key, nullptr)->second;
    }
    // Stores the value unless the key has one already.
    std::pair<iterator, bool> emplace(const Key& key, ZAVWireObjectPtr value) {
        iterator position = lowerBound(key.get());
        if (position != end() && position->first.get() == key.get()) return {position, false};
        return {insertAt(position, key, std::move(value)), true};
    }
    void erase(iterator position) {
        std::move(position + 1, end(), position);
        --size_;
        data_[size_].~Entry();
    }
    size_t erase(const Key& key) {
        iterator position = find(key);
        if (position == end()) return 0;
        erase(position);
        return 1;
    }

  private:
    ZAVWireExtensionMap(std::pmr::memory_resource* memory, uint32_t room, bool inArena = false)
        : memory_(memory), data_(inlineEntries()), capacity_(room), room_(room), inArena_(inArena) {}
    ~ZAVWireExtensionMap() {
        std::destroy(begin(), end());
        if (data_ != inlineEntries()) memory_->deallocate(data_, capacity_ * sizeof(Entry), alignof(Entry));
    }
    static size_t blockSize(uint32_t room) { return sizeof(ZAVWireExtensionMap) + room * sizeof(Entry); }
    Entry* inlineEntries() { return reinterpret_cast<Entry*>(this + 1); }
    iterator find(const ZAVWireExtensionField* key) {
        for (iterator it = begin(); it != end(); ++it) {
            if (it->first.get() == key) return it;
        }
        return end();
    }
    // The first entry whose key does not come before the given one.
    iterator lowerBound(const ZAVWireExtensionField* key) {
        iterator it = begin();
        while (it != end() && std::less<const ZAVWireExtensionField*>()(it->first.get(), key)) ++it;
        return it;
    }
    iterator insertAt(iterator position, const Key& key, ZAVWireObjectPtr value) {
        size_t index = static_cast<size_t>(position - data_);
        if (size_ == capacity_) {
            uint32_t capacity = capacity_ * 2 + 1;
            auto* fresh = static_cast<Entry*>(memory_->allocate(capacity * sizeof(Entry), alignof(Entry)));
            std::uninitialized_move(begin(), end(), fresh);
            std::destroy(begin(), end());
            if (data_ != inlineEntries())
                memory_->deallocate(data_, capacity_ * sizeof(Entry), alignof(Entry));
            data_ = fresh;
            capacity_ = capacity;
        }
        if (index == size_) {
            new (data_ + size_) Entry(key, std::move(value));
        } else {
            new (data_ + size_) Entry(std::move(data_[size_ - 1]));
            std::move_backward(data_ + index, data_ + size_ - 1, data_ + size_);
            data_[index] = Entry(key, std::move(value));
        }
        ++size_;
        return data_ + index;
    }

    std::pmr::memory_resource* memory_;
    Entry* data_;
    uint32_t size_ = 0;
    uint32_t capacity_;
    uint32_t room_;
    bool inArena_ = false;  // the map's block is a bump in a parse's arena
};
static_assert(sizeof(ZAVWireExtensionMap) % alignof(ZAVWireExtensionMap::Entry) == 0);
