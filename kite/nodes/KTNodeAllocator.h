#pragma once
// Where nodes live. A frame walks thousands of nodes made one after another; taken from slabs of equal,
// cache-line-aligned slots, consecutive nodes of one class lie at one constant distance, and a node's front
// part spans as few cache lines as it can. Once a program has more nodes than fit one large page, the slabs
// sit in large pages, so that a frame's walk does not miss the address translation at every node.
#include <cstddef>

namespace kite {

// Objects larger than this come from the global heap.
inline constexpr std::size_t kKTNodeSlotMaxBytes = 1024;

// Thread-safe. Never null: a failure throws as operator new does.
void* ktNodeAllocate(std::size_t size);
// size must be the size given to ktNodeAllocate.
void ktNodeFree(void* p, std::size_t size) noexcept;

// Slabs the allocator holds now, and slots in use, for tests and benchmarks.
struct KTNodeAllocatorStats {
    std::size_t slabs = 0;
    std::size_t slotsInUse = 0;
};
KTNodeAllocatorStats ktNodeAllocatorStats();
// False in a build under AddressSanitizer, where each node is a heap block of its own for the leak checker.
bool ktNodesFromSlabs();

}  // namespace kite
