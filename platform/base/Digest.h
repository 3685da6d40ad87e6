#pragma once
// Message digests (MD5, SHA-1, SHA-256, SHA-384, SHA-512) as raw bytes or lower-case hexadecimal text.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/base/Value.h"

namespace plat {

class Digest {
  public:
    enum class Algorithm { MD5, SHA1, SHA256, SHA384, SHA512 };

    static Bytes digest(Algorithm algorithm, const void* data, size_t size);
    static Bytes digest(Algorithm algorithm, std::string_view text) {
        return digest(algorithm, text.data(), text.size());
    }
    // Two digits per byte ("%02x").
    static std::string hex(Algorithm algorithm, std::string_view text);
    static std::string hex(const Bytes& bytes);

    static std::string md5Hex(std::string_view text) { return hex(Algorithm::MD5, text); }
    static std::string sha1Hex(std::string_view text) { return hex(Algorithm::SHA1, text); }
    static std::string sha256Hex(std::string_view text) { return hex(Algorithm::SHA256, text); }
};

}  // namespace plat
