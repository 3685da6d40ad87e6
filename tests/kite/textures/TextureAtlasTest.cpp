// The texture atlas on the real context: quad bookkeeping, one draw call per atlas in every 16- and 32-bit
// texture format, uploads only after edits, and GL left ready for client-memory draws.
#include <gtest/gtest.h>

#include <vector>

#include "kite/core/KTDirector.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureAtlas.h"
#include "platform/media/GLContext.h"
#include "tests/kite/textures/TextureDrawSupport.h"
#include "tests/support/GLTestSupport.h"

namespace kite {
namespace {

using testdraw::texelQuad;
using testsupport::Pixel;

// Four texels: red, green, blue, and half-grey at half alpha.
const std::vector<uint8_t> kTexels = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 128, 128, 128, 128};

class TextureAtlasTest : public testsupport::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        ktGLInvalidateStateCache();
        testdraw::useTextureColorProgram();
        KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_RGBA8888);
    }
    void TearDown() override {
        KTTexture2D::setDefaultAlphaPixelFormat(kKTTexture2DPixelFormat_RGBA8888);
        ktGLStateCalls() = ktGLDefaultStateCalls();
        KTShaderCache::purgeSharedShaderCache();
        ktGLInvalidateStateCache();
    }

    static KTTexture2D* texture(KTTexture2DPixelFormat format) {
        KTTexture2D::setDefaultAlphaPixelFormat(format);
        KTImage* image = testdraw::makeImage(kTexels, 2, 2);
        auto* tex = new KTTexture2D();
        EXPECT_TRUE(tex->initWithImage(image));
        image->release();
        tex->setAliasTexParameters();
        return tex;
    }

    // One quad per texel, left to right across the bottom of the view, 16 pixels each.
    static void fillFourCells(KTTextureAtlas* atlas) {
        for (int i = 0; i < 4; ++i) {
            const ktTexturedQuad quad = texelQuad(16.0f * i, 0, 16, i % 2, i / 2, 2, 2);
            atlas->updateQuad(&quad, static_cast<unsigned>(i));
        }
    }

    Pixel cell(const std::vector<uint8_t>& pixels, int i) { return pixel(pixels, 16 * i + 8, 63 - 8); }

    static unsigned expand(unsigned value, unsigned bits) {
        const unsigned max = (1u << bits) - 1;
        return ((value >> (8 - bits)) * 255 + max / 2) / max;
    }
};

TEST_F(TextureAtlasTest, QuadBookkeepingFollowsUpdatesInsertsRemovesAndResizes) {
    KTTextureAtlas* atlas = KTTextureAtlas::createWithTexture(nullptr, 8);
    ASSERT_NE(atlas, nullptr);
    atlas->retain();
    const GLushort* indices = atlas->getIndices();
    EXPECT_EQ((std::vector<GLushort>(indices + 12, indices + 18)),
              (std::vector<GLushort>{8, 9, 10, 11, 10, 9}));

    ktTexturedQuad marked[3];
    for (int i = 0; i < 3; ++i) marked[i] = texelQuad(static_cast<float>(i), 0, 1, 0, 0, 1, 1);
    atlas->updateQuad(&marked[0], 5);
    EXPECT_EQ(atlas->getTotalQuads(), 6u);

    atlas->insertQuad(&marked[1], 6);
    EXPECT_EQ(atlas->getTotalQuads(), 7u);
    EXPECT_EQ(atlas->getQuads()[6].bl.vertices.x, 1.0f);
    atlas->insertQuad(&marked[2], 0);
    EXPECT_EQ(atlas->getQuads()[0].bl.vertices.x, 2.0f);
    EXPECT_EQ(atlas->getQuads()[6].bl.vertices.x, 0.0f);
    EXPECT_EQ(atlas->getQuads()[7].bl.vertices.x, 1.0f);
    // Full: a further insert is refused rather than written past the quads.
    atlas->insertQuad(&marked[0], 0);
    EXPECT_EQ(atlas->getTotalQuads(), 8u);

    atlas->removeQuadAtIndex(0);
    EXPECT_EQ(atlas->getTotalQuads(), 7u);
    EXPECT_EQ(atlas->getQuads()[5].bl.vertices.x, 0.0f);

    EXPECT_TRUE(atlas->resizeCapacity(3));
    EXPECT_EQ(atlas->getCapacity(), 3u);
    EXPECT_EQ(atlas->getTotalQuads(), 3u);
    EXPECT_TRUE(atlas->resizeCapacity(20));
    EXPECT_EQ(atlas->getTotalQuads(), 3u);
    EXPECT_EQ((std::vector<GLushort>(atlas->getIndices() + 19 * 6, atlas->getIndices() + 20 * 6)),
              (std::vector<GLushort>{76, 77, 78, 79, 78, 77}));
    EXPECT_FALSE(atlas->resizeCapacity(KTTextureAtlas::kMaxCapacity + 1));
    EXPECT_EQ(atlas->getCapacity(), 20u);
    atlas->release();
}

TEST_F(TextureAtlasTest, EachPixelFormatDrawsItsColoursInOneDrawCall) {
    struct Case {
        KTTexture2DPixelFormat format;
        unsigned bits[4];  // red, green, blue, alpha (0 alpha bits: opaque)
    };
    const Case cases[] = {
        {kKTTexture2DPixelFormat_RGBA8888, {8, 8, 8, 8}}, {kKTTexture2DPixelFormat_RGB888, {8, 8, 8, 0}},
        {kKTTexture2DPixelFormat_RGB565, {5, 6, 5, 0}},   {kKTTexture2DPixelFormat_RGBA4444, {4, 4, 4, 4}},
        {kKTTexture2DPixelFormat_RGB5A1, {5, 5, 5, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        testsupport::resetGLState();
        ktGLInvalidateStateCache();
        testdraw::useTextureColorProgram();
        KTTexture2D* tex = texture(c.format);
        EXPECT_EQ(tex->getPixelFormat(), c.format);
        auto* atlas = new KTTextureAtlas();
        ASSERT_TRUE(atlas->initWithTexture(tex, 4));
        fillFourCells(atlas);

        g_drawCallCount = 0;
        atlas->drawNumberOfQuads(4, 0);
        EXPECT_EQ(g_drawCallCount, 1u);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

        const auto pixels = readPixels();
        for (int i = 0; i < 4; ++i) {
            const uint8_t* texel = &kTexels[static_cast<size_t>(i) * 4];
            const Pixel expected{static_cast<uint8_t>(expand(texel[0], c.bits[0])),
                                 static_cast<uint8_t>(expand(texel[1], c.bits[1])),
                                 static_cast<uint8_t>(expand(texel[2], c.bits[2])),
                                 static_cast<uint8_t>(c.bits[3] ? expand(texel[3], c.bits[3]) : 255)};
            EXPECT_TRUE(testsupport::near(cell(pixels, i), expected, 3))
                << "cell " << i << ": " << testing::PrintToString(cell(pixels, i)) << " expected "
                << testing::PrintToString(expected);
        }
        atlas->release();
        tex->release();
    }
}

TEST_F(TextureAtlasTest, UploadsOnlyAfterEditsAndALargerLaterDrawFindsEveryQuad) {
    KTTexture2D* tex = texture(kKTTexture2DPixelFormat_RGBA8888);
    auto* atlas = new KTTextureAtlas();
    ASSERT_TRUE(atlas->initWithTexture(tex, 4));
    fillFourCells(atlas);

    g_drawCallCount = 0;
    atlas->drawNumberOfQuads(0, 0);
    EXPECT_EQ(g_drawCallCount, 0u);

    // A draw of one quad, then of all four without edits: the buffer must hold all of them.
    atlas->drawNumberOfQuads(1, 0);
    EXPECT_FALSE(atlas->isDirty());
    atlas->drawNumberOfQuads(4, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    auto pixels = readPixels();
    EXPECT_EQ(cell(pixels, 1), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(cell(pixels, 2), (Pixel{0, 0, 255, 255}));

    // Writing through a pointer taken earlier does not mark the atlas: without an edit nothing is uploaded.
    ktTexturedQuad* quads = atlas->getQuads();
    atlas->drawNumberOfQuads(4, 0);
    quads[0] = texelQuad(0, 0, 16, 1, 0, 2, 2);
    atlas->drawNumberOfQuads(4, 0);
    EXPECT_EQ(cell(readPixels(), 0), (Pixel{255, 0, 0, 255}));
    atlas->getQuads();
    atlas->drawNumberOfQuads(4, 0);
    EXPECT_EQ(cell(readPixels(), 0), (Pixel{0, 255, 0, 255}));

    // A draw reaching past the capacity is cut to it.
    atlas->drawNumberOfQuads(6, 2);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    atlas->release();
    tex->release();
}

// After an atlas draw, a draw from client memory must not have its pointers read as buffer offsets.
void drawAtlasThenClientQuad(KTTextureAtlas* atlas) {
    atlas->drawNumberOfQuads(4, 0);
    GLint arrayBuffer = -1, vao = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING_OES, &vao);
    EXPECT_EQ(arrayBuffer, 0);
    EXPECT_EQ(vao, 0);

    // A client-memory quad over the top half showing the blue texel, drawn the way sprites draw.
    const ktTexturedQuad quad = texelQuad(0, 32, 32, 0, 1, 2, 2);
    ktGLEnableVertexAttribs(kKTVertexAttribFlag_PosColorTex);
    const auto* base = reinterpret_cast<const uint8_t*>(&quad);
    glVertexAttribPointer(kKTVertexAttrib_Position, 3, GL_FLOAT, GL_FALSE, sizeof(ktQuadVertex), base);
    glVertexAttribPointer(kKTVertexAttrib_TexCoords, 2, GL_FLOAT, GL_FALSE, sizeof(ktQuadVertex), base + 16);
    glVertexAttribPointer(kKTVertexAttrib_Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(ktQuadVertex),
                          base + 12);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureAtlasTest, VertexArrayPathLeavesNoBufferOrObjectBound) {
    KTTexture2D* tex = texture(kKTTexture2DPixelFormat_RGBA8888);
    auto* atlas = new KTTextureAtlas();
    ASSERT_TRUE(atlas->initWithTexture(tex, 4));
    fillFourCells(atlas);
    drawAtlasThenClientQuad(atlas);
    const auto pixels = readPixels();
    EXPECT_EQ(cell(pixels, 3), (Pixel{128, 128, 128, 128}));
    EXPECT_EQ(pixel(pixels, 16, 63 - 48), (Pixel{0, 0, 255, 255}));
    atlas->release();
    tex->release();
}

TEST_F(TextureAtlasTest, PlainBufferPathDrawsTheSameWithoutVertexArrayObjects) {
    ktGLStateCalls().genVertexArrays = nullptr;
    KTTexture2D* tex = texture(kKTTexture2DPixelFormat_RGBA8888);
    auto* atlas = new KTTextureAtlas();
    ASSERT_TRUE(atlas->initWithTexture(tex, 4));
    fillFourCells(atlas);
    drawAtlasThenClientQuad(atlas);
    const auto pixels = readPixels();
    EXPECT_EQ(cell(pixels, 0), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(cell(pixels, 3), (Pixel{128, 128, 128, 128}));
    EXPECT_EQ(pixel(pixels, 16, 63 - 48), (Pixel{0, 0, 255, 255}));
    atlas->release();
    tex->release();
}

}  // namespace
}  // namespace kite
