#pragma once
// Builds PVR version 2 and 3 files and their KTZ and gzip wrappings in memory, for the texture file tests.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kite::pvrfiles {

using Bytes = std::vector<uint8_t>;

inline void putLE32(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void putLE64(Bytes& out, size_t at, uint64_t v) {
    putLE32(out, at, static_cast<uint32_t>(v));
    putLE32(out, at + 4, static_cast<uint32_t>(v >> 32));
}
inline void putBE32(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}

inline constexpr uint32_t kV2RGBA8888 = 0x12;
inline constexpr uint32_t kV2BGRA8888 = 0x1A;
inline constexpr uint32_t kV2RGB565 = 0x13;
inline constexpr uint32_t kV2PVRTC4 = 0x19;
inline constexpr uint64_t kV3RGBA8888 = 0x0808080861626772ULL;
inline constexpr uint64_t kV3RGBA4444 = 0x0404040461626772ULL;
inline constexpr uint64_t kV3RGB888 = 0x0008080800626772ULL;
inline constexpr uint64_t kV3PVRTC4RGBA = 3;

// Version 2: the header, then `data` (its length goes into the header unless `claimedLength` is given).
inline Bytes pvrV2(uint32_t pixelType, uint32_t width, uint32_t height, const Bytes& data,
                   uint32_t alphaMask = 0xFF, int64_t claimedLength = -1) {
    // Sized for header and data at once: growing the header by insert trips a false bounds warning of GCC 12.
    Bytes out(52 + data.size(), 0);
    std::copy(data.begin(), data.end(), out.begin() + 52);
    putLE32(out, 0, 52);
    putLE32(out, 4, height);
    putLE32(out, 8, width);
    putLE32(out, 16, pixelType);
    putLE32(out, 20,
            claimedLength < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(claimedLength));
    putLE32(out, 40, alphaMask);
    out[44] = 'P';
    out[45] = 'V';
    out[46] = 'R';
    out[47] = '!';
    putLE32(out, 48, 1);
    return out;
}

// Version 3: the header, `metadataLength` bytes of metadata, then `data`.
inline Bytes pvrV3(uint64_t pixelFormat, uint32_t width, uint32_t height, uint32_t mipmaps, const Bytes& data,
                   uint32_t metadataLength = 0, uint32_t flags = 0) {
    Bytes out(52 + metadataLength, 0xEE);
    std::fill(out.begin(), out.begin() + 52, 0);
    putLE32(out, 0, 0x03525650);
    putLE32(out, 4, flags);
    putLE64(out, 8, pixelFormat);
    putLE32(out, 24, height);
    putLE32(out, 28, width);
    putLE32(out, 32, 1);
    putLE32(out, 36, 1);
    putLE32(out, 40, 1);
    putLE32(out, 44, mipmaps);
    putLE32(out, 48, metadataLength);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// The KTZ wrapper: signature, compression type, version, reserved, length (all big-endian), zlib stream.
inline Bytes ktz(const Bytes& payload, uint16_t compressionType = 0, uint16_t version = 2,
                 int64_t claimedLength = -1) {
    uLongf bound = compressBound(payload.size());
    Bytes stream(bound);
    compress(stream.data(), &bound, payload.data(), payload.size());
    stream.resize(bound);
    Bytes out(16 + stream.size(), 0);
    std::copy(stream.begin(), stream.end(), out.begin() + 16);
    out[0] = 'K';
    out[1] = 'T';
    out[2] = 'Z';
    out[3] = '!';
    out[4] = static_cast<uint8_t>(compressionType >> 8);
    out[5] = static_cast<uint8_t>(compressionType);
    out[6] = static_cast<uint8_t>(version >> 8);
    out[7] = static_cast<uint8_t>(version);
    putBE32(out, 12,
            claimedLength < 0 ? static_cast<uint32_t>(payload.size()) : static_cast<uint32_t>(claimedLength));
    return out;
}

inline void writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

inline void writeGzip(const std::filesystem::path& path, const Bytes& payload) {
    gzFile f = gzopen(path.c_str(), "wb");
    if (!f) return;
    if (!payload.empty()) gzwrite(f, payload.data(), static_cast<unsigned>(payload.size()));
    gzclose(f);
}

// width x height RGBA pixels, rows top first, each pixel given by `pixel(x, y)`.
template <typename F>
Bytes rgbaPixels(uint32_t width, uint32_t height, F pixel) {
    Bytes out;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const auto p = pixel(x, y);
            out.insert(out.end(), p.begin(), p.end());
        }
    return out;
}

}  // namespace kite::pvrfiles
