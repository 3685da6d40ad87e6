#include <gtest/gtest.h>

#include "kite/base/KTString.h"
#include "kite/base/KTValues.h"
#include "kite/core/KTConfiguration.h"
#include "platform/media/GLContext.h"
#include "tests/support/GLTestSupport.h"

using namespace kite;

namespace {

// Each test starts from a fresh configuration.
class ConfigurationTest : public ::testing::Test {
  protected:
    void SetUp() override { KTConfiguration::purgeConfiguration(); }
    void TearDown() override { KTConfiguration::purgeConfiguration(); }
};

}  // namespace

TEST_F(ConfigurationTest, DefaultsBeforeTheGPUIsKnown) {
    KTConfiguration* conf = KTConfiguration::sharedConfiguration();
    EXPECT_EQ(conf, KTConfiguration::sharedConfiguration());
    EXPECT_EQ(conf->getMaxTextureSize(), 0);
    EXPECT_FALSE(conf->supportsNPOT());
    EXPECT_FALSE(conf->supportsPVRTC());
    EXPECT_FALSE(conf->supportsBGRA8888());
    EXPECT_FALSE(conf->checkForGLExtension("GL_OES"));

    EXPECT_STREQ(conf->getCString("kite.version"), "2.2.1");
    EXPECT_FALSE(conf->getBool("kite.compiled_with_profiler", true));
    EXPECT_TRUE(conf->getBool("kite.compiled_with_gl_state_cache"));
    // The director's keys are never stored, so their defaults always apply.
    EXPECT_EQ(conf->getNumber("kite.fps", 60), 60);
    EXPECT_FALSE(conf->getBool("kite.display_fps", false));
    EXPECT_STREQ(conf->getCString("kite.gl.projection", "3d"), "3d");
}

TEST_F(ConfigurationTest, TypedReadsConvertStringsAndNumbers) {
    KTConfiguration* conf = KTConfiguration::sharedConfiguration();
    conf->setObject("flag.off", KTString::create("false"));
    conf->setObject("flag.on", KTString::create("yes"));
    conf->setObject("number.text", KTString::create("30.5"));
    conf->setObject("number.int", KTInteger::create(24));
    conf->setObject("number.double", KTDouble::create(0.25));
    EXPECT_FALSE(conf->getBool("flag.off", true));
    EXPECT_TRUE(conf->getBool("flag.on", false));
    EXPECT_EQ(conf->getNumber("number.text", 0), 30.5);
    EXPECT_EQ(conf->getNumber("number.int", 0), 24);
    EXPECT_EQ(conf->getNumber("number.double", 0), 0.25);
    // A number is not text: the default comes back.
    EXPECT_STREQ(conf->getCString("number.int", "fallback"), "fallback");
    EXPECT_EQ(conf->getCString(nullptr, nullptr), nullptr);
}

TEST_F(ConfigurationTest, GatherReadsTheLiveContextAndKeepsItsOwnExtensionList) {
    ASSERT_NE(testsupport::sharedGLContext(), nullptr);
    KTConfiguration* conf = KTConfiguration::sharedConfiguration();
    {
        // The facts outlive the context that gave them.
        auto context = plat::GLContext::createHeadless(8, 8);
        ASSERT_NE(context, nullptr);
        conf->gatherGPUInfo();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR))
            << "the refused queries must leave no error";
    }
    ASSERT_NE(testsupport::sharedGLContext(), nullptr);

    EXPECT_GE(conf->getMaxTextureSize(), 2048);
    EXPECT_GE(conf->getMaxTextureUnits(), 8);
    EXPECT_EQ(conf->getNumber("gl.max_texture_size", 0), conf->getMaxTextureSize());
    EXPECT_TRUE(conf->supportsNPOT());
    EXPECT_TRUE(conf->getBool("gl.supports_vertex_array_object"));
    EXPECT_TRUE(conf->supportsShareableVAO());
    // The driver names the BGRA format its own way; it still counts.
    EXPECT_TRUE(conf->supportsBGRA8888());
    EXPECT_FALSE(conf->supportsPVRTC());
    EXPECT_NE(std::string(conf->getCString("gl.renderer", "")), "");
    EXPECT_TRUE(conf->checkForGLExtension("GL_OES_vertex_array_object"));
    EXPECT_TRUE(conf->checkForGLExtension("GL_OES_vertex_array"));  // a prefix counts
    EXPECT_FALSE(conf->checkForGLExtension("GL_NOT_AN_EXTENSION"));

    conf->gatherGPUInfo();  // again: values are replaced, not duplicated
    EXPECT_TRUE(conf->supportsNPOT());
    conf->dumpInfo();
}
