#pragma once
// Whole-buffer deflate and inflate over zlib, for request bodies. Every failure gives nothing and one
// console line.
#include <cstdint>
#include <optional>
#include <vector>

class RUVCompressionUtil {
  public:
    using Data = std::vector<uint8_t>;
    enum Mode : unsigned { kZlib = 0, kGzip = 1, kRaw = 2 };
    // Inflation stops with nothing past this many bytes, so a tiny body cannot claim unbounded memory.
    static constexpr uint64_t kMaxInflatedBytes = 64u << 20;

    // Level -1 is zlib's default; other levels are clamped to 1-9. Mode 2 raw, 1 gzip, anything else zlib.
    static std::optional<Data> dataByCompressing(const uint8_t* bytes, uint64_t length, int32_t level,
                                                 unsigned mode);
    // A zlib or gzip stream (detected) unless `raw`; trailing bytes after the stream give nothing.
    static std::optional<Data> dataByInflating(const uint8_t* bytes, uint64_t length, bool raw);

    static std::optional<Data> dataByGzipping(const uint8_t* bytes, uint64_t length, int32_t level = -1);
    static std::optional<Data> dataByGzipping(const Data& data, int32_t level = -1);
    static std::optional<Data> dataByDeflating(const uint8_t* bytes, uint64_t length, int32_t level = -1);
    static std::optional<Data> dataByDeflating(const Data& data, int32_t level = -1);
    static std::optional<Data> dataByRawDeflating(const uint8_t* bytes, uint64_t length, int32_t level = -1);
    static std::optional<Data> dataByRawDeflating(const Data& data, int32_t level = -1);
    static std::optional<Data> dataByInflating(const uint8_t* bytes, uint64_t length);
    static std::optional<Data> dataByInflating(const Data& data);
    static std::optional<Data> dataByRawInflating(const uint8_t* bytes, uint64_t length);
    static std::optional<Data> dataByRawInflating(const Data& data);

    RUVCompressionUtil() = delete;
};
