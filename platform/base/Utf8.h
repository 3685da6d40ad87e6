#pragma once
// UTF-8 decoding shared by every reader of outside text (property lists, wire strings, query strings,
// ad settings, datagrams, recorded bodies).
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plat {

// Decodes the sequence at `i` into `codePoint` and moves `i` past it; false (and `i` unchanged) for a
// malformed, truncated, overlong or surrogate sequence, or one beyond U+10FFFF.
bool nextUtf8CodePoint(std::string_view text, size_t& i, uint32_t& codePoint);

bool isValidUtf8(std::string_view text);

}  // namespace plat
