#include "kite/textures/KTTexturePVR.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "kite/core/KTConfiguration.h"
#include "kite/files/KTFileUtils.h"
#include "kite/gl/KTGLStateCache.h"
#include "platform/base/Log.h"

namespace kite {
namespace {

constexpr GLenum kGL_BGRA = 0x80E1;
constexpr GLenum kGL_COMPRESSED_RGB_PVRTC_4BPPV1 = 0x8C00;
constexpr GLenum kGL_COMPRESSED_RGB_PVRTC_2BPPV1 = 0x8C01;
constexpr GLenum kGL_COMPRESSED_RGBA_PVRTC_4BPPV1 = 0x8C02;
constexpr GLenum kGL_COMPRESSED_RGBA_PVRTC_2BPPV1 = 0x8C03;

enum FormatRow {
    kBGRA8888,
    kRGBA8888,
    kRGBA4444,
    kRGBA5551,
    kRGB565,
    kRGB888,
    kA8,
    kL8,
    kLA88,
    kPVRTC2RGB,
    kPVRTC2RGBA,
    kPVRTC4RGB,
    kPVRTC4RGBA,
};

const ktPVRTexturePixelFormatInfo kPixelFormatInfoTable[] = {
    {GL_RGBA, kGL_BGRA, GL_UNSIGNED_BYTE, 32, false, true, kKTTexture2DPixelFormat_RGBA8888},
    {GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE, 32, false, true, kKTTexture2DPixelFormat_RGBA8888},
    {GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4, 16, false, true, kKTTexture2DPixelFormat_RGBA4444},
    {GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, 16, false, true, kKTTexture2DPixelFormat_RGB5A1},
    {GL_RGB, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 16, false, false, kKTTexture2DPixelFormat_RGB565},
    {GL_RGB, GL_RGB, GL_UNSIGNED_BYTE, 24, false, false, kKTTexture2DPixelFormat_RGB888},
    {GL_ALPHA, GL_ALPHA, GL_UNSIGNED_BYTE, 8, false, false, kKTTexture2DPixelFormat_A8},
    {GL_LUMINANCE, GL_LUMINANCE, GL_UNSIGNED_BYTE, 8, false, false, kKTTexture2DPixelFormat_I8},
    {GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, 16, false, true, kKTTexture2DPixelFormat_AI88},
    {kGL_COMPRESSED_RGB_PVRTC_2BPPV1, static_cast<GLenum>(-1), static_cast<GLenum>(-1), 2, true, false,
     kKTTexture2DPixelFormat_PVRTC2},
    {kGL_COMPRESSED_RGBA_PVRTC_2BPPV1, static_cast<GLenum>(-1), static_cast<GLenum>(-1), 2, true, true,
     kKTTexture2DPixelFormat_PVRTC2},
    {kGL_COMPRESSED_RGB_PVRTC_4BPPV1, static_cast<GLenum>(-1), static_cast<GLenum>(-1), 4, true, false,
     kKTTexture2DPixelFormat_PVRTC4},
    {kGL_COMPRESSED_RGBA_PVRTC_4BPPV1, static_cast<GLenum>(-1), static_cast<GLenum>(-1), 4, true, true,
     kKTTexture2DPixelFormat_PVRTC4},
};

struct V2Key {
    uint32_t key;
    FormatRow row;
};
// Without PVRTC support only the first nine keys are searched.
constexpr V2Key kV2Keys[] = {
    {0x1A, kBGRA8888}, {0x12, kRGBA8888},   {0x10, kRGBA4444},   {0x11, kRGBA5551},
    {0x13, kRGB565},   {0x15, kRGB888},     {0x1B, kA8},         {0x16, kL8},
    {0x17, kLA88},     {0x18, kPVRTC2RGBA}, {0x19, kPVRTC4RGBA},
};

struct V3Key {
    uint64_t key;
    FormatRow row;
};
constexpr V3Key kV3Keys[] = {
    {0x0808080861726762ULL, kBGRA8888},
    {0x0808080861626772ULL, kRGBA8888},
    {0x0404040461626772ULL, kRGBA4444},
    {0x0105050561626772ULL, kRGBA5551},
    {0x0005060500626772ULL, kRGB565},
    {0x0008080800626772ULL, kRGB888},
    {0x0000000800000061ULL, kA8},
    {0x000000080000006CULL, kL8},
    {0x000008080000616CULL, kLA88},
    {0, kPVRTC2RGB},
    {1, kPVRTC2RGBA},
    {2, kPVRTC4RGB},
    {3, kPVRTC4RGBA},
};
constexpr unsigned int kKeysWithoutPVRTC = 9;

constexpr unsigned long kHeaderLength = 52;
constexpr char kV2Tag[4] = {'P', 'V', 'R', '!'};
constexpr uint32_t kV3Version = 0x03525650;
constexpr uint32_t kV3PremultipliedFlag = 2;

constexpr unsigned long kCCZHeaderLength = 16;
constexpr uint32_t kCCZMaxVersion = 2;
// Bounds what a damaged header or a compression bomb can make us allocate.
constexpr uint64_t kMaxInflatedLength = 256u * 1024 * 1024;
// Deflate cannot shrink data by more than about this factor.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr unsigned int kGZipFirstRequest = 512 * 1024;

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t le64(const unsigned char* p) {
    return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32;
}
uint32_t be32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint16_t be16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

bool isPowerOfTwo(uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

// Bytes of one level as the file stores it. PVRTC never has fewer than 2 x 2 blocks.
uint64_t levelSize(const ktPVRTexturePixelFormatInfo& info, uint32_t width, uint32_t height) {
    uint64_t blockSize = 1, widthBlocks = width, heightBlocks = height;
    if (info.compressed && info.bpp == 2) {
        blockSize = 8 * 4;
        widthBlocks = width / 8;
        heightBlocks = height / 4;
    } else if (info.compressed && info.bpp == 4) {
        blockSize = 4 * 4;
        widthBlocks = width / 4;
        heightBlocks = height / 4;
    }
    if (info.compressed) {
        widthBlocks = std::max<uint64_t>(widthBlocks, 2);
        heightBlocks = std::max<uint64_t>(heightBlocks, 2);
    }
    return widthBlocks * heightBlocks * (blockSize * info.bpp / 8);
}

bool bgraAllowed(const ktPVRTexturePixelFormatInfo& info) {
    if (info.format != kGL_BGRA) return true;
    if (KTConfiguration::sharedConfiguration()->supportsBGRA8888()) return true;
    plat::logWarning("PVR: BGRA8888 textures are not supported by this GPU");
    return false;
}

std::string lowerCase(const char* text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

KTTexturePVR::KTTexturePVR() = default;

KTTexturePVR::~KTTexturePVR() {
    if (m_uName && !m_bRetainName) ktGLDeleteTexture(m_uName);
}

KTTexturePVR* KTTexturePVR::create(const char* path) {
    auto* pvr = new KTTexturePVR();
    if (!pvr->initWithContentsOfFile(path)) return nullptr;
    return ktAutorelease(pvr);
}

void KTTexturePVR::reset() {
    for (ktPVRMipmap& level : m_asMipmaps) level = {};
    m_uNumberOfMipmaps = 0;
    m_uWidth = m_uHeight = 0;
    m_bHasAlpha = m_bHasPremultipliedAlpha = m_bForcePremultipliedAlpha = false;
    m_eFormat = kKTTexture2DPixelFormat_Default;
    m_pPixelFormatInfo = nullptr;
}

bool KTTexturePVR::addLevel(const unsigned char* address, unsigned int len) {
    if (m_uNumberOfMipmaps >= kKTPVRMipmapMax) {
        plat::logWarning("PVR: more than %u mipmap levels", kKTPVRMipmapMax);
        return false;
    }
    m_asMipmaps[m_uNumberOfMipmaps++] = {address, len};
    return true;
}

bool KTTexturePVR::initWithContentsOfFile(const char* path) {
    if (!path) {
        release();
        return false;
    }
    const std::string lowerPath = lowerCase(path);
    unsigned char* raw = nullptr;
    long len = -1;
    bool fromInflater = false;
    if (lowerPath.find(".ktz") != std::string::npos) {
        len = inflateCCZFile(path, &raw);
        fromInflater = true;
    } else if (lowerPath.find(".gz") != std::string::npos) {
        len = inflateGZipFile(path, &raw);
        fromInflater = true;
    } else {
        unsigned long size = 0;
        raw = KTFileUtils::sharedFileUtils()->getFileData(path, "rb", &size);
        len = raw ? static_cast<long>(size) : -1;
    }
    // The file utilities hand out new[] memory, the inflaters malloc memory.
    auto freeRaw = [&] {
        if (fromInflater)
            std::free(raw);
        else
            delete[] raw;
    };

    if (len < 0) {
        plat::logWarning("PVR: cannot read %s", path);
        freeRaw();
        release();
        return false;
    }

    reset();
    m_uName = 0;
    m_bRetainName = false;
    const bool ok = unpackPVRData(raw, static_cast<unsigned long>(len)) && createGLTexture();
    freeRaw();
    if (!ok) {
        plat::logWarning("PVR: cannot load %s", path);
        release();
        return false;
    }
    return true;
}

bool KTTexturePVR::unpackPVRData(const unsigned char* data, unsigned long len) {
    if (!data || len < kHeaderLength) {
        plat::logWarning("PVR: %lu bytes is shorter than a header", len);
        return false;
    }
    const bool isV2 = std::memcmp(data + 44, kV2Tag, sizeof kV2Tag) == 0;
    const bool isV3 = le32(data) == kV3Version;
    if (!isV2 && !isV3) {
        plat::logWarning("PVR: not a PVR version 2 or 3 file");
        return false;
    }
    if (unpackPVRv2Data(data, len)) return true;
    reset();
    if (unpackPVRv3Data(data, len)) return true;
    reset();
    return false;
}

bool KTTexturePVR::unpackPVRv2Data(const unsigned char* data, unsigned long len) {
    if (!data || len < kHeaderLength || std::memcmp(data + 44, kV2Tag, sizeof kV2Tag) != 0) return false;

    const uint32_t height = le32(data + 4);
    const uint32_t width = le32(data + 8);
    const uint32_t flags = le32(data + 16);
    const uint32_t dataLength = le32(data + 20);
    const uint32_t alphaMask = le32(data + 40);

    KTConfiguration* conf = KTConfiguration::sharedConfiguration();
    if (!conf->supportsNPOT() && (!isPowerOfTwo(width) || !isPowerOfTwo(height))) {
        plat::logWarning("PVR: %ux%u is not a power of two and the GPU needs one", width, height);
        return false;
    }
    if (width == 0 || height == 0) {
        plat::logWarning("PVR: empty %ux%u texture", width, height);
        return false;
    }

    const uint32_t key = flags & 0xFF;
    const unsigned int keyCount = conf->supportsPVRTC() ? std::size(kV2Keys) : kKeysWithoutPVRTC;
    const ktPVRTexturePixelFormatInfo* info = nullptr;
    for (unsigned int i = 0; i < keyCount; ++i) {
        if (kV2Keys[i].key == key) {
            info = &kPixelFormatInfoTable[kV2Keys[i].row];
            break;
        }
    }
    if (!info) {
        plat::logWarning("PVR: unsupported version 2 pixel type 0x%02X", key);
        return false;
    }
    if (!bgraAllowed(*info)) return false;
    if (dataLength > len - kHeaderLength) {
        plat::logWarning("PVR: header claims %u bytes of data, the file has %lu", dataLength,
                         len - kHeaderLength);
        return false;
    }

    m_pPixelFormatInfo = info;
    m_eFormat = info->ccPixelFormat;
    m_uWidth = width;
    m_uHeight = height;
    m_bHasAlpha = alphaMask != 0;

    uint32_t levelWidth = width, levelHeight = height;
    uint64_t offset = 0;
    while (offset < dataLength) {
        const uint64_t size = levelSize(*info, levelWidth, levelHeight);
        const uint64_t packet = std::min<uint64_t>(size, dataLength - offset);
        if (!addLevel(data + kHeaderLength + offset, static_cast<unsigned int>(packet))) return false;
        offset += packet;
        levelWidth = std::max(levelWidth >> 1, 1u);
        levelHeight = std::max(levelHeight >> 1, 1u);
    }
    return levelsHoldTheirPixels();
}

bool KTTexturePVR::unpackPVRv3Data(const unsigned char* data, unsigned long len) {
    if (!data || len < kHeaderLength || le32(data) != kV3Version) return false;

    const uint32_t flags = le32(data + 4);
    const uint64_t pixelFormat = le64(data + 8);
    const uint32_t height = le32(data + 24);
    const uint32_t width = le32(data + 28);
    const uint32_t mipmapCount = le32(data + 44);
    const uint32_t metadataLength = le32(data + 48);

    KTConfiguration* conf = KTConfiguration::sharedConfiguration();
    const unsigned int keyCount = conf->supportsPVRTC() ? std::size(kV3Keys) : kKeysWithoutPVRTC;
    const ktPVRTexturePixelFormatInfo* info = nullptr;
    for (unsigned int i = 0; i < keyCount; ++i) {
        if (kV3Keys[i].key == pixelFormat) {
            info = &kPixelFormatInfoTable[kV3Keys[i].row];
            break;
        }
    }
    if (!info) {
        plat::logWarning("PVR: unsupported version 3 pixel format 0x%016llX",
                         static_cast<unsigned long long>(pixelFormat));
        return false;
    }
    if (!bgraAllowed(*info)) return false;
    if (width == 0 || height == 0) {
        plat::logWarning("PVR: empty %ux%u texture", width, height);
        return false;
    }
    if (mipmapCount > kKTPVRMipmapMax) {
        plat::logWarning("PVR: %u mipmap levels, at most %u are read", mipmapCount, kKTPVRMipmapMax);
        return false;
    }
    uint64_t offset = kHeaderLength + uint64_t(metadataLength);
    if (offset > len) {
        plat::logWarning("PVR: %u bytes of metadata run past the end of the file", metadataLength);
        return false;
    }

    m_pPixelFormatInfo = info;
    m_eFormat = info->ccPixelFormat;
    m_bHasAlpha = info->alpha;
    m_bHasPremultipliedAlpha = (flags & kV3PremultipliedFlag) != 0;
    m_bForcePremultipliedAlpha = true;
    m_uWidth = width;
    m_uHeight = height;

    uint32_t levelWidth = width, levelHeight = height;
    for (uint32_t i = 0; i < mipmapCount; ++i) {
        const uint64_t size = levelSize(*info, levelWidth, levelHeight);
        const uint64_t packet = std::min<uint64_t>(size, len - offset);
        if (!addLevel(data + offset, static_cast<unsigned int>(packet))) return false;
        offset += packet;
        levelWidth = std::max(levelWidth >> 1, 1u);
        levelHeight = std::max(levelHeight >> 1, 1u);
    }
    return levelsHoldTheirPixels();
}

bool KTTexturePVR::levelsHoldTheirPixels() const {
    if (!m_pPixelFormatInfo) return m_uNumberOfMipmaps == 0;
    const ktPVRTexturePixelFormatInfo& info = *m_pPixelFormatInfo;
    // A header may promise more than the file holds: GL must never read past a level.
    uint32_t width = m_uWidth, height = m_uHeight;
    for (unsigned int i = 0; i < m_uNumberOfMipmaps; ++i) {
        if (!info.compressed) {
            const uint64_t needed = uint64_t(width) * height * (info.bpp / 8);
            if (m_asMipmaps[i].len < needed) {
                plat::logWarning("PVR: level %u of %ux%u holds %u bytes, %llu are needed", i, width, height,
                                 m_asMipmaps[i].len, static_cast<unsigned long long>(needed));
                return false;
            }
        }
        width = std::max(width >> 1, 1u);
        height = std::max(height >> 1, 1u);
    }
    return true;
}

bool KTTexturePVR::createGLTexture() {
    if (m_uNumberOfMipmaps == 0) return true;
    const ktPVRTexturePixelFormatInfo& info = *m_pPixelFormatInfo;
    KTConfiguration* conf = KTConfiguration::sharedConfiguration();
    if (!levelsHoldTheirPixels()) return false;

    if (info.compressed && !conf->supportsPVRTC()) {
        plat::logWarning("PVR: PVRTC textures are not supported by this GPU");
        return false;
    }

    // Errors left over by earlier calls are not this upload's.
    while (glGetError() != GL_NO_ERROR) {
    }

    if (m_uName) ktGLDeleteTexture(m_uName);
    m_uName = 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glGenTextures(1, &m_uName);
    ktGLBindTexture2D(m_uName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    m_uNumberOfMipmaps == 1 ? GL_LINEAR : GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    // The BGRA extension of desktop-class drivers wants BGRA as the internal format too.
    GLenum internalFormat = info.internalFormat;
    if (info.format == kGL_BGRA && conf->checkForGLExtension("GL_EXT_texture_format_BGRA8888"))
        internalFormat = kGL_BGRA;

    uint32_t width = m_uWidth, height = m_uHeight;
    for (unsigned int i = 0; i < m_uNumberOfMipmaps; ++i) {
        const ktPVRMipmap& level = m_asMipmaps[i];
        if (info.compressed) {
            glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), internalFormat,
                                   static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0,
                                   static_cast<GLsizei>(level.len), level.address);
        } else {
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), static_cast<GLint>(internalFormat),
                         static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, info.format, info.type,
                         level.address);
        }
        const GLenum err = glGetError();
        if (err != GL_NO_ERROR) {
            plat::logWarning("OpenGL error 0x%04X in %s %d\n", err, __FILE__, __LINE__);
            plat::logWarning("PVR: level %u (%ux%u, %u bytes) was refused", i, width, height, level.len);
            return false;
        }
        width = std::max(width >> 1, 1u);
        height = std::max(height >> 1, 1u);
    }
    return true;
}

int inflateCCZFile(const char* path, unsigned char** out) {
    if (!out) return -1;
    *out = nullptr;
    if (!path) return -1;
    unsigned long size = 0;
    std::unique_ptr<unsigned char[]> compressed(
        KTFileUtils::sharedFileUtils()->getFileData(path, "rb", &size));
    if (!compressed || size == 0) {
        plat::logWarning("KTZ: cannot read %s", path);
        return -1;
    }
    if (size < kCCZHeaderLength) {
        plat::logWarning("KTZ: %s is shorter than its header", path);
        return -1;
    }
    const unsigned char* header = compressed.get();
    if (std::memcmp(header, "KTZ!", 4) != 0) {
        plat::logWarning("KTZ: %s has no KTZ signature", path);
        return -1;
    }
    const uint16_t compressionType = be16(header + 4);
    const uint16_t version = be16(header + 6);
    const uint32_t length = be32(header + 12);
    if (version > kCCZMaxVersion) {
        plat::logWarning("KTZ: %s has unsupported version %u", path, version);
        return -1;
    }
    if (compressionType != 0) {
        plat::logWarning("KTZ: %s has unsupported compression type %u", path, compressionType);
        return -1;
    }
    const uint64_t payload = size - kCCZHeaderLength;
    if (length == 0 || length > kMaxInflatedLength || length > payload * kMaxDeflateRatio + 64) {
        plat::logWarning("KTZ: %s claims an implausible length of %u bytes", path, length);
        return -1;
    }
    auto* buffer = static_cast<unsigned char*>(std::malloc(length));
    if (!buffer) {
        plat::logWarning("KTZ: out of memory for %u bytes", length);
        return -1;
    }
    uLongf destLength = length;
    const int err = uncompress(buffer, &destLength, header + kCCZHeaderLength, static_cast<uLong>(payload));
    // A stream shorter than the header claims would leave the rest of the buffer uninitialised.
    if (err != Z_OK || destLength != length) {
        plat::logWarning("KTZ: %s does not inflate to its %u bytes (zlib %d, %lu bytes)", path, length, err,
                         static_cast<unsigned long>(destLength));
        std::free(buffer);
        return -1;
    }
    *out = buffer;
    return static_cast<int>(length);
}

int inflateGZipFile(const char* path, unsigned char** out) {
    if (!out) return -1;
    *out = nullptr;
    if (!path) return -1;
    gzFile file = gzopen(path, "rb");
    if (!file) {
        plat::logWarning("gzip: cannot open %s", path);
        return -1;
    }
    unsigned int request = kGZipFirstRequest;
    uint64_t bufferSize = request;
    uint64_t total = 0;
    auto* buffer = static_cast<unsigned char*>(std::malloc(bufferSize));
    const char* problem = buffer ? nullptr : "out of memory";
    while (!problem) {
        const int count = gzread(file, buffer + total, request);
        if (count < 0) {
            problem = "damaged data";
            break;
        }
        if (count == 0) break;
        total += static_cast<unsigned int>(count);
        if (static_cast<unsigned int>(count) < request) break;
        request *= 2;
        if (bufferSize + request > kMaxInflatedLength) {
            problem = "too large";
            break;
        }
        auto* grown = static_cast<unsigned char*>(std::realloc(buffer, bufferSize + request));
        if (!grown) {
            problem = "out of memory";
            break;
        }
        buffer = grown;
        bufferSize += request;
    }
    if (!problem) {
        // zlib hands back what it could read from a cut stream and only flags it.
        int err = Z_OK;
        gzerror(file, &err);
        if (err != Z_OK) problem = "the stream is cut short or damaged";
    }
    gzclose(file);
    if (problem) {
        plat::logWarning("gzip: cannot read %s: %s", path, problem);
        std::free(buffer);
        return -1;
    }
    *out = buffer;
    return static_cast<int>(total);
}

}  // namespace kite
