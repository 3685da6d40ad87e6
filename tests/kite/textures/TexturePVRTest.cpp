// PVR files made here, plain and wrapped, loaded into real GL textures and drawn; damaged headers and
// wrappers are refused without reading past the data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "kite/core/KTConfiguration.h"
#include "kite/textures/KTTexturePVR.h"
#include "platform/base/Log.h"
#include "tests/kite/textures/PVRFileMaker.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kite {
namespace {

using namespace pvrfiles;
using testsupport::Pixel;

// Red, green / blue, white: rows top first.
const Bytes kQuadrantsRGBA = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};

class TexturePVRTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        testdraw::useTextureColorProgram();
    }
    void TearDown() override {
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    std::string write(const char* name, const Bytes& bytes) {
        const auto path = dir_.path() / name;
        writeBytes(path, bytes);
        return path.string();
    }

    // Loads the file and draws the texture over the whole view; near the corners linear filtering only
    // meets the clamped edge, so a 2 x 2 texture shows its four texels exactly there.
    std::vector<Pixel> loadAndDrawQuadrants(const std::string& path) {
        KTTexturePVR* pvr = KTTexturePVR::create(path.c_str());
        if (!pvr) return {};
        glClear(GL_COLOR_BUFFER_BIT);
        const ktTexturedQuad quad = testdraw::texelQuad(0, 0, 64, 0, 0, 1, 1);
        ktGLBindTexture2D(pvr->getName());
        ktGLEnableVertexAttribs(kKTVertexAttribFlag_PosColorTex);
        const auto* base = reinterpret_cast<const uint8_t*>(&quad);
        glVertexAttribPointer(kKTVertexAttrib_Position, 3, GL_FLOAT, GL_FALSE, sizeof(ktQuadVertex), base);
        glVertexAttribPointer(kKTVertexAttrib_TexCoords, 2, GL_FLOAT, GL_FALSE, sizeof(ktQuadVertex),
                              base + 16);
        glVertexAttribPointer(kKTVertexAttrib_Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(ktQuadVertex),
                              base + 12);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        const auto rgba = readPixels();
        return {pixel(rgba, 4, 4), pixel(rgba, 60, 4), pixel(rgba, 4, 60), pixel(rgba, 60, 60)};
    }

    static std::vector<Pixel> quadrants() {
        return {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
    }

    testsupport::TempDir dir_;
};

TEST_F(TexturePVRTest, VersionTwoAndThreeFilesShowTheirTexels) {
    EXPECT_EQ(loadAndDrawQuadrants(write("v2.pvr", pvrV2(kV2RGBA8888, 2, 2, kQuadrantsRGBA))), quadrants());

    auto* pvr =
        KTTexturePVR::create(write("v3.pvr", pvrV3(kV3RGBA8888, 2, 2, 1, kQuadrantsRGBA, 0, 2)).c_str());
    ASSERT_NE(pvr, nullptr);
    EXPECT_TRUE(pvr->hasPremultipliedAlpha());
    EXPECT_TRUE(pvr->isForcePremultipliedAlpha());
    EXPECT_EQ(pvr->getFormat(), kKTTexture2DPixelFormat_RGBA8888);
    EXPECT_EQ(loadAndDrawQuadrants(write("v3b.pvr", pvrV3(kV3RGBA8888, 2, 2, 1, kQuadrantsRGBA))),
              quadrants());

    // RGB888 rows of 6 bytes only upload right with unpack alignment 1.
    const Bytes rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    EXPECT_EQ(loadAndDrawQuadrants(write("rgb.pvr", pvrV3(kV3RGB888, 2, 2, 1, rgb))), quadrants());

    // RGBA4444 is 16-bit little-endian pixels: 0xF00F red, 0x0F0F green, 0x00FF blue, 0xFFFF white.
    const Bytes rgba4444 = {0x0F, 0xF0, 0x0F, 0x0F, 0xFF, 0x00, 0xFF, 0xFF};
    EXPECT_EQ(loadAndDrawQuadrants(write("4444.pvr", pvrV3(kV3RGBA4444, 2, 2, 1, rgba4444))), quadrants());
}

TEST_F(TexturePVRTest, LevelsAreSplitFromTheHeaderSizes) {
    // A 4 x 4 RGBA file with its 2 x 2 and 1 x 1 levels: 64 + 16 + 4 bytes.
    Bytes levels(84, 0x80);
    auto* v2 = KTTexturePVR::create(write("mips2.pvr", pvrV2(kV2RGBA8888, 4, 4, levels)).c_str());
    ASSERT_NE(v2, nullptr);
    ASSERT_EQ(v2->getNumberOfMipmaps(), 3u);
    EXPECT_EQ(v2->getMipmap(0).len, 64u);
    EXPECT_EQ(v2->getMipmap(1).len, 16u);
    EXPECT_EQ(v2->getMipmap(2).len, 4u);
    ktGLBindTexture2D(v2->getName());
    GLint minFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST);

    // Metadata of 15 bytes puts the first level at byte 67.
    const Bytes file = pvrV3(kV3RGBA8888, 2, 2, 1, kQuadrantsRGBA, 15);
    auto* v3 = new KTTexturePVR();
    ASSERT_TRUE(v3->unpackPVRData(file.data(), file.size()));
    EXPECT_EQ(v3->getMipmap(0).address - file.data(), 67);
    v3->release();

    // A wide texture keeps whole levels: 4 x 2, 2 x 1, 1 x 1 at 4 bytes a pixel.
    const Bytes wide = pvrV3(kV3RGBA8888, 4, 2, 3, Bytes(32 + 8 + 4, 0x40));
    auto* w = new KTTexturePVR();
    ASSERT_TRUE(w->unpackPVRData(wide.data(), wide.size()));
    EXPECT_EQ(w->getMipmap(1).len, 8u);
    EXPECT_EQ(w->getMipmap(2).len, 4u);
    EXPECT_TRUE(w->createGLTexture());
    w->release();
}

TEST_F(TexturePVRTest, WrappedFilesInflateBeforeLoading) {
    const Bytes pvr = pvrV2(kV2RGBA8888, 2, 2, kQuadrantsRGBA);
    EXPECT_EQ(loadAndDrawQuadrants(write("wrapped.pvr.ktz", ktz(pvr))), quadrants());

    const auto gz = dir_.path() / "wrapped.pvr.gz";
    writeGzip(gz, pvr);
    EXPECT_EQ(loadAndDrawQuadrants(gz.string()), quadrants());
}

TEST_F(TexturePVRTest, BGRAFilesLoadWhenTheGPUHasTheExtension) {
    if (!KTConfiguration::sharedConfiguration()->supportsBGRA8888()) GTEST_SKIP() << "no BGRA8888 textures";
    // Blue, green, red, alpha per pixel.
    const Bytes bgra = {0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 255, 255, 255, 255};
    EXPECT_EQ(loadAndDrawQuadrants(write("bgra.pvr", pvrV2(kV2BGRA8888, 2, 2, bgra))), quadrants());
}

TEST_F(TexturePVRTest, PVRTCFailsWithoutTheExtension) {
    if (KTConfiguration::sharedConfiguration()->supportsPVRTC()) GTEST_SKIP() << "GPU decodes PVRTC";
    plat::LogCapture log;
    EXPECT_EQ(KTTexturePVR::create(write("tc3.pvr", pvrV3(kV3PVRTC4RGBA, 8, 8, 1, Bytes(32, 0))).c_str()),
              nullptr);
    EXPECT_EQ(KTTexturePVR::create(write("tc2.pvr", pvrV2(kV2PVRTC4, 8, 8, Bytes(32, 0))).c_str()), nullptr);
}

TEST_F(TexturePVRTest, DamagedHeadersAreRefused) {
    plat::LogCapture log;
    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes v3BadMeta = pvrV3(kV3RGBA8888, 2, 2, 1, kQuadrantsRGBA);
    putLE32(v3BadMeta, 48, 0xFFFFFFF0u);
    const Case cases[] = {
        {"empty", {}},
        {"shorter than a header", Bytes(51, 0)},
        {"no signature", Bytes(80, 0)},
        {"v2 data length beyond the file", pvrV2(kV2RGBA8888, 2, 2, kQuadrantsRGBA, 0xFF, 4096)},
        {"v2 level shorter than its pixels", pvrV2(kV2RGBA8888, 64, 64, kQuadrantsRGBA)},
        {"v2 unknown pixel type", pvrV2(0x77, 2, 2, kQuadrantsRGBA)},
        {"v2 zero width", pvrV2(kV2RGBA8888, 0, 2, kQuadrantsRGBA)},
        {"v3 metadata beyond the file", v3BadMeta},
        {"v3 level beyond the file", pvrV3(kV3RGBA8888, 1024, 1024, 1, kQuadrantsRGBA)},
        {"v3 more than 16 levels", pvrV3(kV3RGBA8888, 2, 2, 17, Bytes(4096, 0))},
        {"v3 missing levels", pvrV3(kV3RGBA8888, 2, 2, 2, kQuadrantsRGBA)},
        {"v3 unknown format", pvrV3(0x1234, 2, 2, 1, kQuadrantsRGBA)},
        {"v2 endless 1 x 1 levels", pvrV2(kV2RGBA8888, 1, 1, Bytes(4 * 40, 0))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.clear();
        EXPECT_EQ(KTTexturePVR::create(write("bad.pvr", c.file).c_str()), nullptr);
        EXPECT_FALSE(log.lines().empty());
    }
    EXPECT_EQ(KTTexturePVR::create((dir_.path() / "missing.pvr").c_str()), nullptr);
}

TEST_F(TexturePVRTest, DamagedWrappersAreRefused) {
    plat::LogCapture log;
    const Bytes pvr = pvrV2(kV2RGBA8888, 2, 2, kQuadrantsRGBA);
    unsigned char* out = reinterpret_cast<unsigned char*>(1);

    EXPECT_EQ(inflateCCZFile(write("v3.ktz", ktz(pvr, 0, 3)).c_str(), &out), -1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(inflateCCZFile(write("type1.ktz", ktz(pvr, 1, 2)).c_str(), &out), -1);
    EXPECT_EQ(inflateCCZFile(write("short.ktz", Bytes{'K', 'T', 'Z', '!', 0, 0}).c_str(), &out), -1);
    Bytes noSignature = ktz(pvr);
    noSignature[0] = 'X';
    EXPECT_EQ(inflateCCZFile(write("sig.ktz", noSignature).c_str(), &out), -1);
    // A stream that ends before the length the header claims would hand back unwritten bytes.
    EXPECT_EQ(inflateCCZFile(write("long.ktz", ktz(pvr, 0, 2, pvr.size() + 10)).c_str(), &out), -1);
    EXPECT_EQ(inflateCCZFile(write("huge.ktz", ktz(pvr, 0, 2, 0xFFFFFFFFu)).c_str(), &out), -1);
    Bytes cut = ktz(pvr);
    cut.resize(cut.size() - 8);
    EXPECT_EQ(inflateCCZFile(write("cut.ktz", cut).c_str(), &out), -1);
    EXPECT_EQ(out, nullptr);

    EXPECT_EQ(inflateGZipFile((dir_.path() / "missing.gz").c_str(), &out), -1);
    const auto good = dir_.path() / "good.gz";
    writeGzip(good, Bytes(100000, 7));
    const std::string text = testsupport::readFile(good);
    Bytes gz(text.begin(), text.end());
    gz.resize(gz.size() / 2);
    EXPECT_EQ(inflateGZipFile(write("cut.gz", gz).c_str(), &out), -1);
    EXPECT_EQ(out, nullptr);
}

TEST_F(TexturePVRTest, GzipReadsGrowTheBufferByDoublingRequests) {
    // 300 KB fits the first request; 2 MB needs requests of 512 KB, 1 MB and 2 MB.
    for (size_t size : {size_t(300 * 1024), size_t(2 * 1024 * 1024)}) {
        Bytes payload(size);
        for (size_t i = 0; i < size; ++i) payload[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
        const auto path = dir_.path() / "big.gz";
        writeGzip(path, payload);
        unsigned char* out = nullptr;
        ASSERT_EQ(inflateGZipFile(path.c_str(), &out), static_cast<int>(size));
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), out));
        std::free(out);
    }
}

}  // namespace
}  // namespace kite
