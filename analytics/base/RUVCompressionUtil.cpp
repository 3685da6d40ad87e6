#include "analytics/base/RUVCompressionUtil.h"

#include <zlib.h>

#include <algorithm>

#include "platform/base/Log.h"

namespace {
constexpr size_t kChunk = 1024;
// zlib counts in 32 bits.
bool usable(const uint8_t* bytes, uint64_t length) {
    return bytes && length > 0 && length <= 4294967295ull;
}
}  // namespace

std::optional<RUVCompressionUtil::Data> RUVCompressionUtil::dataByCompressing(const uint8_t* bytes,
                                                                              uint64_t length, int32_t level,
                                                                              unsigned mode) {
    if (!usable(bytes, length)) return std::nullopt;
    if (level != -1) level = level < 1 ? 1 : (level > 9 ? 9 : level);
    const int windowBits = mode == kRaw ? -15 : (mode == kGzip ? 31 : 15);
    z_stream stream{};
    int rc = deflateInit2(&stream, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) {
        plat::logError("Failed to init for deflate w/ level %d, error %d", level, rc);
        return std::nullopt;
    }
    Data out;
    out.reserve(length / 4);
    stream.next_in = const_cast<Bytef*>(bytes);
    stream.avail_in = static_cast<uInt>(length);
    uint8_t chunk[kChunk];
    for (;;) {
        stream.next_out = chunk;
        stream.avail_out = kChunk;
        rc = deflate(&stream, Z_FINISH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            plat::logError("Error trying to deflate some of the payload, error %d", rc);
            deflateEnd(&stream);
            return std::nullopt;
        }
        out.insert(out.end(), chunk, chunk + (kChunk - stream.avail_out));
        if (rc == Z_STREAM_END) break;
    }
    if (stream.avail_in > 0)
        plat::logError("finished deflate w/o using all input, %u bytes left", stream.avail_in);
    deflateEnd(&stream);
    return out;
}

std::optional<RUVCompressionUtil::Data> RUVCompressionUtil::dataByInflating(const uint8_t* bytes,
                                                                            uint64_t length, bool raw) {
    if (!usable(bytes, length)) return std::nullopt;
    z_stream stream{};
    int rc = inflateInit2(&stream, raw ? -15 : 47);
    if (rc != Z_OK) {
        plat::logError("Failed to init for inflate, error %d", rc);
        return std::nullopt;
    }
    Data out;
    out.reserve(static_cast<size_t>(std::min<uint64_t>(length * 4, kMaxInflatedBytes)));
    stream.next_in = const_cast<Bytef*>(bytes);
    stream.avail_in = static_cast<uInt>(length);
    uint8_t chunk[kChunk];
    for (;;) {
        stream.next_out = chunk;
        stream.avail_out = kChunk;
        rc = inflate(&stream, Z_NO_FLUSH);
        // Input used up before the stream's end: truncated (inflate itself would only say "no progress").
        if (rc == Z_BUF_ERROR && stream.avail_in == 0) rc = Z_DATA_ERROR;
        if (rc != Z_OK && rc != Z_STREAM_END) {
            plat::logError("Error trying to inflate some of the payload, error %d: %s", rc,
                           stream.msg ? stream.msg : (rc == Z_DATA_ERROR ? "truncated input" : ""));
            inflateEnd(&stream);
            return std::nullopt;
        }
        out.insert(out.end(), chunk, chunk + (kChunk - stream.avail_out));
        if (out.size() > kMaxInflatedBytes) {
            plat::logError("Error trying to inflate some of the payload: more than %llu bytes",
                           static_cast<unsigned long long>(kMaxInflatedBytes));
            inflateEnd(&stream);
            return std::nullopt;
        }
        if (rc == Z_STREAM_END) break;
    }
    const unsigned left = stream.avail_in;
    inflateEnd(&stream);
    if (left > 0) {
        plat::logError("tfinished inflate w/o using all input, %u bytes left", left);
        return std::nullopt;
    }
    return out;
}

using Data = RUVCompressionUtil::Data;
std::optional<Data> RUVCompressionUtil::dataByGzipping(const uint8_t* b, uint64_t n, int32_t level) {
    return dataByCompressing(b, n, level, kGzip);
}
std::optional<Data> RUVCompressionUtil::dataByGzipping(const Data& d, int32_t level) {
    return dataByCompressing(d.data(), d.size(), level, kGzip);
}
std::optional<Data> RUVCompressionUtil::dataByDeflating(const uint8_t* b, uint64_t n, int32_t level) {
    return dataByCompressing(b, n, level, kZlib);
}
std::optional<Data> RUVCompressionUtil::dataByDeflating(const Data& d, int32_t level) {
    return dataByCompressing(d.data(), d.size(), level, kZlib);
}
std::optional<Data> RUVCompressionUtil::dataByRawDeflating(const uint8_t* b, uint64_t n, int32_t level) {
    return dataByCompressing(b, n, level, kRaw);
}
std::optional<Data> RUVCompressionUtil::dataByRawDeflating(const Data& d, int32_t level) {
    return dataByCompressing(d.data(), d.size(), level, kRaw);
}
std::optional<Data> RUVCompressionUtil::dataByInflating(const uint8_t* b, uint64_t n) {
    return dataByInflating(b, n, false);
}
std::optional<Data> RUVCompressionUtil::dataByInflating(const Data& d) {
    return dataByInflating(d.data(), d.size(), false);
}
std::optional<Data> RUVCompressionUtil::dataByRawInflating(const uint8_t* b, uint64_t n) {
    return dataByInflating(b, n, true);
}
std::optional<Data> RUVCompressionUtil::dataByRawInflating(const Data& d) {
    return dataByInflating(d.data(), d.size(), true);
}
