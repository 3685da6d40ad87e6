// The director's purge releases the texture, sprite-frame and animation caches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/core/KTConfiguration.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/image/KTImage.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureCache.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kite {
namespace {

class CachePurgeTest : public testsupport::GLTest {};

TEST_F(CachePurgeTest, DirectorPurgeReleasesTheTextureCache) {
    KTDirector* director = KTDirector::sharedDirector();
    KTConfiguration::sharedConfiguration()->gatherGPUInfo();
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "kept.png").string();
    KTImage* image = testdraw::makeImage(std::vector<uint8_t>(16, 0xFF), 2, 2);
    ASSERT_TRUE(image->saveToFile(path.c_str(), false));
    image->release();

    KTTexture2D* texture = KTTextureCache::sharedTextureCache()->addImage(path.c_str());
    ASSERT_NE(texture, nullptr);
    texture->retain();
    EXPECT_EQ(texture->retainCount(), 2u);

    director->end();
    director->mainLoop();
    EXPECT_EQ(texture->retainCount(), 1u);
    EXPECT_EQ(KTTextureCache::sharedTextureCache()->textureForKey(path.c_str()), nullptr);
    texture->release();
    KTTextureCache::purgeSharedTextureCache();
    ktGLInvalidateStateCache();
}

}  // namespace
}  // namespace kite
