// The texture cache on real files: one texture per full path, the loader picked from anywhere in the name,
// removal of single entries and of textures nobody else holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/base/KTAutoreleasePool.h"
#include "kite/files/KTFileUtils.h"
#include "kite/image/KTImage.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Log.h"
#include "tests/kite/textures/PVRFileMaker.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kite {
namespace {

using namespace pvrfiles;

class TextureCacheTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        KTConfiguration::sharedConfiguration()->gatherGPUInfo();
        KTAutoreleasePoolStack::sharedPoolStack()->push();
        KTFileUtils::sharedFileUtils()->addSearchPath(dir_.path().c_str());
    }
    void TearDown() override {
        KTTextureCache::purgeSharedTextureCache();
        KTAutoreleasePoolStack::sharedPoolStack()->pop();
        KTFileUtils::sharedFileUtils()->removeSearchPath(dir_.path().c_str());
        KTFileUtils::sharedFileUtils()->purgeCachedEntries();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    // Saves a width x height picture of one colour; RGB-only files decode without alpha.
    std::string writeImage(const char* name, int width, int height, bool rgbOnly = false) {
        std::vector<uint8_t> rgba;
        for (int i = 0; i < width * height; ++i) rgba.insert(rgba.end(), {200, 100, 50, 255});
        KTImage* image = testdraw::makeImage(rgba, width, height);
        const std::string path = (dir_.path() / name).string();
        EXPECT_TRUE(image->saveToFile(path.c_str(), rgbOnly));
        image->release();
        return path;
    }

    testsupport::TempDir dir_;
};

TEST_F(TextureCacheTest, OneTexturePerFullPath) {
    KTTextureCache* cache = KTTextureCache::sharedTextureCache();
    const std::string full = writeImage("a.png", 4, 2);

    KTTexture2D* byName = cache->addImage("a.png");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->getPixelsWide(), 4u);
    EXPECT_EQ(byName->getPixelsHigh(), 2u);
    EXPECT_EQ(byName->retainCount(), 1u);  // the cache holds the only reference
    EXPECT_EQ(cache->addImage(full.c_str()), byName);
    EXPECT_EQ(cache->textureForKey("a.png"), byName);
    EXPECT_EQ(cache->getTextureCount(), 1u);

    // Decoding is not repeated even when the file changes on disk.
    writeImage("a.png", 8, 8);
    EXPECT_EQ(cache->addImage("a.png")->getPixelsWide(), 4u);
}

TEST_F(TextureCacheTest, TheLoaderIsChosenByExtensionsAnywhereInTheName) {
    plat::LogCapture log;
    KTTextureCache* cache = KTTextureCache::sharedTextureCache();

    // PVR bytes behind a PNG ending still load: ".pvr" occurs earlier in the name.
    const Bytes texels(16, 0x7F);
    writeBytes(dir_.path() / "menu.pvr.png", pvrV2(kV2RGBA8888, 2, 2, texels));
    KTTexture2D* pvr = cache->addImage("menu.pvr.png");
    ASSERT_NE(pvr, nullptr);
    EXPECT_EQ(pvr->getPixelsWide(), 2u);
    EXPECT_EQ(cache->addImage("menu.pvr.png"), pvr);

    // Upper-case endings count, and a real picture in a ".pkm" name is still refused.
    writeImage("Photo.JPG", 2, 2, true);
    EXPECT_NE(cache->addImage("Photo.JPG"), nullptr);
    writeImage("atlas.pkm.png", 2, 2);
    EXPECT_EQ(cache->addImage("atlas.pkm.png"), nullptr);
    writeBytes(dir_.path() / "etc.pkm", Bytes(64, 0));
    EXPECT_EQ(cache->addImage("etc.pkm"), nullptr);

    EXPECT_EQ(cache->addImage("missing.png"), nullptr);
    EXPECT_EQ(cache->addImage(nullptr), nullptr);
    writeBytes(dir_.path() / "junk.png", Bytes(40, 1));
    EXPECT_EQ(cache->addImage("junk.png"), nullptr);
    EXPECT_EQ(cache->textureForKey("junk.png"), nullptr);
}

TEST_F(TextureCacheTest, ImagesAddedUnderAKeyAreShared) {
    KTTextureCache* cache = KTTextureCache::sharedTextureCache();
    KTImage* image = testdraw::makeImage(std::vector<uint8_t>(16, 0xFF), 2, 2);

    KTTexture2D* keyed = cache->addUIImage(image, "white");
    ASSERT_NE(keyed, nullptr);
    EXPECT_EQ(cache->addUIImage(image, "white"), keyed);
    EXPECT_EQ(cache->addUIImage(nullptr, "white"), keyed);
    EXPECT_EQ(cache->textureForKey("white"), keyed);

    KTTexture2D* loose = cache->addUIImage(image, nullptr);
    ASSERT_NE(loose, nullptr);
    EXPECT_NE(loose, keyed);
    EXPECT_EQ(loose->retainCount(), 1u);
    EXPECT_EQ(cache->getTextureCount(), 1u);
    loose->release();
    image->release();
}

TEST_F(TextureCacheTest, RemovingEntries) {
    KTTextureCache* cache = KTTextureCache::sharedTextureCache();
    writeImage("kept.png", 2, 2);
    writeImage("dropped.png", 2, 2);
    writeImage("removed.png", 2, 2);
    KTTexture2D* kept = cache->addImage("kept.png");
    ASSERT_NE(kept, nullptr);
    kept->retain();
    ASSERT_NE(cache->addImage("dropped.png"), nullptr);
    ASSERT_NE(cache->addImage("removed.png"), nullptr);

    cache->removeTextureForKey("removed.png");
    cache->removeTextureForKey(nullptr);
    EXPECT_EQ(cache->textureForKey("removed.png"), nullptr);
    EXPECT_EQ(cache->getTextureCount(), 2u);

    cache->removeUnusedTextures();
    EXPECT_EQ(cache->getTextureCount(), 1u);
    EXPECT_EQ(cache->textureForKey("kept.png"), kept);
    EXPECT_EQ(cache->textureForKey("dropped.png"), nullptr);

    // Purging the cache leaves textures held elsewhere alive.
    KTTextureCache::purgeSharedTextureCache();
    EXPECT_EQ(kept->retainCount(), 1u);
    EXPECT_NE(kept->getName(), 0u);
    kept->release();
    EXPECT_EQ(KTTextureCache::sharedTextureCache()->getTextureCount(), 0u);
}

}  // namespace
}  // namespace kite
