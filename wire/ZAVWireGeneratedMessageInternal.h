#pragma once
// Small field helpers shared by the message base's source files.
#include <bit>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "wire/ZAVWireGeneratedMessage.h"

namespace {

template <typename T>
T fromBits(uint64_t bits) {
    if constexpr (std::is_same_v<T, bool>) {
        return bits != 0;
    } else if constexpr (std::is_same_v<T, float>) {
        return std::bit_cast<float>(static_cast<uint32_t>(bits));
    } else if constexpr (std::is_same_v<T, double>) {
        return std::bit_cast<double>(bits);
    } else {
        return static_cast<T>(bits);
    }
}

inline bool hasObjectSlot(const ZAVWireFieldDescriptor& f) {
    return f.isRepeated() || ZAVWireTypeIsObject(f.type());
}

inline std::shared_ptr<ZAVWireGeneratedMessage> asMessage(const ZAVWireObjectPtr& o) {
    return std::dynamic_pointer_cast<ZAVWireGeneratedMessage>(o);
}

}  // namespace
