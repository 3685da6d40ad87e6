#include "kite/sprites/KTSprite.h"

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "kite/base/KTArray.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/image/KTImage.h"
#include "kite/matrix/KTMatrixStack.h"
#include "kite/sprites/KTAnimationCache.h"
#include "kite/sprites/KTSpriteFrame.h"
#include "kite/sprites/KTSpriteFrameCache.h"
#include "kite/textures/KTTexture2D.h"
#include "kite/textures/KTTextureAtlas.h"
#include "kite/textures/KTTextureCache.h"
#include "platform/base/Log.h"

namespace kite {
namespace {

constexpr const char* kWhiteTextureKey = "kt_2x2_white_image";

KTTexture2D* whiteTexture() {
    KTTextureCache* cache = KTTextureCache::sharedTextureCache();
    if (KTTexture2D* texture = cache->textureForKey(kWhiteTextureKey)) return texture;
    unsigned char pixels[16];
    std::memset(pixels, 0xFF, sizeof pixels);
    auto* image = new KTImage();
    KTTexture2D* texture = nullptr;
    if (image->initWithImageData(pixels, sizeof pixels, kKTImageFormat_RawData, 2, 2, 8))
        texture = cache->addUIImage(image, kWhiteTextureKey);
    image->release();
    return texture;
}

KTRect rectInPixels(const KTRect& rect) {
    const float scale = KTDirector::sharedDirector()->getContentScaleFactor();
    return KTRect(rect.origin.x * scale, rect.origin.y * scale, rect.size.width * scale,
                  rect.size.height * scale);
}

}  // namespace

KTSprite::KTSprite() = default;

KTSprite::~KTSprite() {
    KT_SAFE_RELEASE(m_pobTexture);
}

KTSprite* KTSprite::create(const char* fileName) {
    auto* sprite = new KTSprite();
    if (!sprite->initWithFile(fileName)) {
        sprite->release();
        return nullptr;
    }
    return ktAutorelease(sprite);
}

KTSprite* KTSprite::createWithTexture(KTTexture2D* texture) {
    auto* sprite = new KTSprite();
    if (!sprite->initWithTexture(texture)) {
        sprite->release();
        return nullptr;
    }
    return ktAutorelease(sprite);
}

bool KTSprite::init() {
    return initWithTexture(nullptr, KTRect());
}

bool KTSprite::initWithTexture(KTTexture2D* texture) {
    if (!texture) {
        plat::logWarning("KTSprite: a sprite made from a texture needs one; use init for a plain sprite");
        return false;
    }
    const KTSize size = texture->getContentSize();
    return initWithTexture(texture, KTRect(0, 0, size.width, size.height));
}

bool KTSprite::initWithTexture(KTTexture2D* texture, const KTRect& rect) {
    return initWithTexture(texture, rect, false);
}

bool KTSprite::initWithTexture(KTTexture2D* texture, const KTRect& rect, bool rotated) {
    if (!KTNodeRGBA::init()) return false;

    m_pobBatchNode = nullptr;
    m_bBatched = false;
    m_bRecursiveDirty = false;
    setDirty(false);

    m_bOpacityModifyRGB = true;
    m_sBlendFunc = {GL_ONE, GL_ONE_MINUS_SRC_ALPHA};
    m_bFlipX = m_bFlipY = false;

    setAnchorPoint(KTPoint(0.5f, 0.5f));
    m_obOffsetPosition = KTPoint();
    m_bHasChildren = false;

    std::memset(static_cast<void*>(&m_sQuad), 0, sizeof m_sQuad);
    const _ccColor4B white{255, 255, 255, 255};
    m_sQuad.bl.colors = m_sQuad.br.colors = m_sQuad.tl.colors = m_sQuad.tr.colors = white;

    setShaderProgram(KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionTextureColor));

    setTexture(texture);
    setTextureRect(rect, rotated, rect.size);
    setBatchNode(nullptr);
    return true;
}

bool KTSprite::initWithSpriteFrame(KTSpriteFrame* spriteFrame) {
    if (!spriteFrame) {
        plat::logWarning("KTSprite: no sprite frame");
        return false;
    }
    const bool ok = initWithTexture(spriteFrame->getTexture(), spriteFrame->getRect());
    setDisplayFrame(spriteFrame);
    return ok;
}

bool KTSprite::initWithSpriteFrameName(const char* spriteFrameName) {
    KTSpriteFrame* frame = KTSpriteFrameCache::sharedSpriteFrameCache()->spriteFrameByName(spriteFrameName);
    if (!frame) {
        plat::logWarning("KTSprite: no sprite frame named %s", spriteFrameName ? spriteFrameName : "(null)");
        return false;
    }
    return initWithSpriteFrame(frame);
}

bool KTSprite::initWithFile(const char* fileName) {
    if (!fileName) return false;
    KTTexture2D* texture = KTTextureCache::sharedTextureCache()->addImage(fileName);
    if (!texture) return false;
    const KTSize size = texture->getContentSize();
    return initWithTexture(texture, KTRect(0, 0, size.width, size.height));
}

bool KTSprite::initWithFile(const char* fileName, const KTRect& rect) {
    if (!fileName) return false;
    KTTexture2D* texture = KTTextureCache::sharedTextureCache()->addImage(fileName);
    if (!texture) return false;
    return initWithTexture(texture, rect);
}

// Texture and blending.

void KTSprite::setTexture(KTTexture2D* texture) {
    // A batched sprite draws with its batch atlas's texture.
    if (m_pobBatchNode) return;
    if (!texture) texture = whiteTexture();
    if (texture == m_pobTexture) return;
    KT_SAFE_RETAIN(texture);
    KT_SAFE_RELEASE(m_pobTexture);
    m_pobTexture = texture;
    updateBlendFunc();
}

KTTexture2D* KTSprite::getTexture() {
    return m_pobTexture;
}

void KTSprite::setBlendFunc(_ccBlendFunc blendFunc) {
    m_sBlendFunc = blendFunc;
}

_ccBlendFunc KTSprite::getBlendFunc() {
    return m_sBlendFunc;
}

void KTSprite::updateBlendFunc() {
    if (m_pobTexture && m_pobTexture->hasPremultipliedAlpha()) {
        m_sBlendFunc = {GL_ONE, GL_ONE_MINUS_SRC_ALPHA};
        setOpacityModifyRGB(true);
    } else {
        m_sBlendFunc = {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA};
        setOpacityModifyRGB(false);
    }
}

// Rects and texture coordinates.

void KTSprite::setTextureRect(const KTRect& rect) {
    setTextureRect(rect, false, rect.size);
}

void KTSprite::setTextureRect(const KTRect& rect, bool rotated, const KTSize& untrimmedSize) {
    m_bRectRotated = rotated;
    setContentSize(untrimmedSize);
    setVertexRect(rect);
    setTextureCoords(rect);

    KTPoint relativeOffset = m_obUnflippedOffsetPositionFromCenter;
    if (m_bFlipX) relativeOffset.x = -relativeOffset.x;
    if (m_bFlipY) relativeOffset.y = -relativeOffset.y;
    m_obOffsetPosition.x = relativeOffset.x + (KTNode::getContentSize().width - m_obRect.size.width) / 2;
    m_obOffsetPosition.y = relativeOffset.y + (KTNode::getContentSize().height - m_obRect.size.height) / 2;

    if (m_pobBatchNode)
        setDirty(true);
    else
        writeQuadPositions();
}

void KTSprite::writeQuadPositions() {
    const float x1 = m_obOffsetPosition.x, y1 = m_obOffsetPosition.y;
    const float x2 = x1 + m_obRect.size.width, y2 = y1 + m_obRect.size.height;
    m_sQuad.bl.vertices = {x1, y1, 0};
    m_sQuad.br.vertices = {x2, y1, 0};
    m_sQuad.tl.vertices = {x1, y2, 0};
    m_sQuad.tr.vertices = {x2, y2, 0};
}

void KTSprite::setVertexRect(const KTRect& rect) {
    m_obRect = rect;
}

void KTSprite::setTextureCoords(KTRect rect) {
    rect = rectInPixels(rect);
    KTTexture2D* texture =
        m_pobBatchNode ? (m_pobTextureAtlas ? m_pobTextureAtlas->getTexture() : nullptr) : m_pobTexture;
    if (!texture) return;
    const float atlasWidth = static_cast<float>(texture->getPixelsWide());
    const float atlasHeight = static_cast<float>(texture->getPixelsHigh());

    float left, right, top, bottom;
    if (m_bRectRotated) {
        left = rect.origin.x / atlasWidth;
        right = (rect.origin.x + rect.size.height) / atlasWidth;
        top = rect.origin.y / atlasHeight;
        bottom = (rect.origin.y + rect.size.width) / atlasHeight;
        if (m_bFlipX) std::swap(top, bottom);
        if (m_bFlipY) std::swap(left, right);
        m_sQuad.bl.texCoords = {left, top};
        m_sQuad.br.texCoords = {left, bottom};
        m_sQuad.tl.texCoords = {right, top};
        m_sQuad.tr.texCoords = {right, bottom};
    } else {
        left = rect.origin.x / atlasWidth;
        right = (rect.origin.x + rect.size.width) / atlasWidth;
        top = rect.origin.y / atlasHeight;
        bottom = (rect.origin.y + rect.size.height) / atlasHeight;
        if (m_bFlipX) std::swap(left, right);
        if (m_bFlipY) std::swap(top, bottom);
        m_sQuad.bl.texCoords = {left, bottom};
        m_sQuad.br.texCoords = {right, bottom};
        m_sQuad.tl.texCoords = {left, top};
        m_sQuad.tr.texCoords = {right, top};
    }
}

void KTSprite::setFlipX(bool flipX) {
    if (m_bFlipX == flipX) return;
    m_bFlipX = flipX;
    setTextureRect(m_obRect, m_bRectRotated, KTNode::getContentSize());
}

// Colour.

void KTSprite::updateColor() {
    _ccColor4B color{_displayedColor.r, _displayedColor.g, _displayedColor.b, _displayedOpacity};
    if (m_bOpacityModifyRGB) {
        const float alpha = color.a / 255.0f;
        color.r = static_cast<GLubyte>(color.r * alpha);
        color.g = static_cast<GLubyte>(color.g * alpha);
        color.b = static_cast<GLubyte>(color.b * alpha);
    }
    m_sQuad.bl.colors = m_sQuad.br.colors = m_sQuad.tl.colors = m_sQuad.tr.colors = color;

    if (m_pobBatchNode) {
        if (m_uAtlasIndex != kKTSpriteIndexNotInitialized && m_pobTextureAtlas)
            m_pobTextureAtlas->updateQuad(&m_sQuad, m_uAtlasIndex);
        else
            setDirty(true);
    }
}

void KTSprite::setOpacity(GLubyte opacity) {
    KTNodeRGBA::setOpacity(opacity);
    updateColor();
}

void KTSprite::updateDisplayedOpacity(GLubyte parentOpacity) {
    KTNodeRGBA::updateDisplayedOpacity(parentOpacity);
    updateColor();
}

void KTSprite::setColor(const _ccColor3B& color) {
    KTNodeRGBA::setColor(color);
    updateColor();
}

void KTSprite::updateDisplayedColor(const _ccColor3B& parentColor) {
    KTNodeRGBA::updateDisplayedColor(parentColor);
    updateColor();
}

void KTSprite::setOpacityModifyRGB(bool modify) {
    if (m_bOpacityModifyRGB == modify) return;
    m_bOpacityModifyRGB = modify;
    updateColor();
}

bool KTSprite::isOpacityModifyRGB() {
    return m_bOpacityModifyRGB;
}

// Drawing.

namespace {

// The quad goes to GL already multiplied by the model-view matrix, through one scratch quad whose attribute
// pointers stay set: consecutive sprites then differ only in the bytes of that quad, and the uniforms
// (projection only) stay as they are. GL reads client memory during the draw call, so the scratch is free
// again when glDrawArrays returns. A program that reads the model-view matrix itself, or a projective
// model-view matrix, takes the quad as it is with the full uniforms.
ktQuadVertex s_eyeSpaceQuad[4];

// What the last sprite drawn through the scratch quad set up, and the state cache's generation right after:
// while neither differs, GL holds this sprite's set-up already and only the draw call is left.
struct SetUp {
    unsigned long generation = 0;
    const KTGLProgram* program = nullptr;
    GLenum blendSrc = 0, blendDst = 0;
    GLuint texture = 0;
};
SetUp s_last;

uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Whether the bottom row of the column-major matrix m is (0, 0, 0, 1), compared by the bits with one branch
// (the shift drops the signs of the zeros).
bool isAffine(const float* m) {
    return (((floatBits(m[3]) | floatBits(m[7]) | floatBits(m[11])) << 1) |
            (floatBits(m[15]) ^ 0x3F800000u)) == 0;
}

}  // namespace

// Whether the quad is the upright rectangle at z 0 that writeQuadPositions makes (a subclass may write
// another): each corner then shares its x and y with two others. Told apart by the bits with a single
// branch; a zero of the other sign merely takes the general way.
[[gnu::always_inline]] inline bool KTSprite::isUprightQuad() const {
    const ktVertex3F &tl = m_sQuad.tl.vertices, &bl = m_sQuad.bl.vertices;
    const ktVertex3F &tr = m_sQuad.tr.vertices, &br = m_sQuad.br.vertices;
    return ((floatBits(tl.x) ^ floatBits(bl.x)) | (floatBits(tr.x) ^ floatBits(br.x)) |
            (floatBits(tl.y) ^ floatBits(tr.y)) | (floatBits(bl.y) ^ floatBits(br.y)) | floatBits(tl.z) |
            floatBits(bl.z) | floatBits(tr.z) | floatBits(br.z)) == 0;
}

// The upright quad's corners times m: every product is made once and z adds nothing. The sums keep the order
// of the general case (writeEyeSpaceQuad), so both give the same bits.
[[gnu::always_inline]] inline void KTSprite::writeUprightEyeSpaceQuad(const float* m,
                                                                      ktQuadVertex* out) const {
    const ktQuadVertex* corners = &m_sQuad.tl;  // tl, bl, tr, br
    // Whole columns of m at once (x, y, z and an unused w per vector); per element the same operations in
    // the same order as one row at a time.
    typedef float Column __attribute__((vector_size(16)));
    Column c0, c1, c3;
    std::memcpy(&c0, m, sizeof c0);
    std::memcpy(&c1, m + 4, sizeof c1);
    std::memcpy(&c3, m + 12, sizeof c3);
    const Column left = c0 * m_sQuad.bl.vertices.x, right = c0 * m_sQuad.br.vertices.x;
    const Column bottom = c1 * m_sQuad.bl.vertices.y, top = c1 * m_sQuad.tl.vertices.y;
    const Column eye[4] = {(left + top) + c3, (left + bottom) + c3, (right + top) + c3,
                           (right + bottom) + c3};
    // Each vector goes out whole; its fourth lane lands on the colour, written right after.
    static_assert(offsetof(ktQuadVertex, vertices) == 0 && offsetof(ktQuadVertex, colors) == 12);
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
        std::memcpy(static_cast<void*>(&out[i]), &eye[i], sizeof eye[i]);
        out[i].colors = corners[i].colors;
        out[i].texCoords = corners[i].texCoords;
    }
}

void KTSprite::writeEyeSpaceQuad(const float* m, ktQuadVertex* out) const {
    const ktQuadVertex* corners = &m_sQuad.tl;  // tl, bl, tr, br
    for (int i = 0; i < 4; ++i) {
        out[i].colors = corners[i].colors;
        out[i].texCoords = corners[i].texCoords;
        const ktVertex3F& v = corners[i].vertices;
        out[i].vertices.x = m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12];
        out[i].vertices.y = m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13];
        out[i].vertices.z = m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14];
    }
}

// A frame runs one sprite's draw between two draw calls, whose driver code pushes it out of the instruction
// cache each time: the usual case (an upright quad, an affine model-view matrix, the previous sprite's
// set-up) is kept to a few cache lines, and everything else is drawSettingUp's.
void KTSprite::draw() {
    // The batch node draws batched sprites from its atlas.
    if (m_pobBatchNode || !m_pShaderProgram) return;
    const float* m = mxGLTopMatrix(MX_GL_MODELVIEW)->mat;
    if (isAffine(m) && m_pShaderProgram->acceptsEyeSpaceVertices() && isUprightQuad()) [[likely]] {
        writeUprightEyeSpaceQuad(m, s_eyeSpaceQuad);
        const GLuint texture = m_pobTexture ? m_pobTexture->getName() : 0;
        if (s_last.generation == ktGLStateGeneration() && s_last.program == m_pShaderProgram &&
            s_last.blendSrc == m_sBlendFunc.src && s_last.blendDst == m_sBlendFunc.dst &&
            s_last.texture == texture && m_pShaderProgram->eyeSpaceUniformsCurrent()) [[likely]] {
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
            ++g_drawCallCount;
            return;
        }
    }
    drawSettingUp(m);
}

// The short visit runs KTNode's transform in line: it must be the one this class has.
static_assert(std::is_same_v<decltype(&KTSprite::nodeToParentTransform), KTAffineTransform (KTNode::*)()>);

// KTNode::visit and draw, in line, for the usual leaf sprite: the product of the model-view matrix and the
// transform is made where the draw reads it instead of on the stack, with the same operations, so the
// corners sent are the same bits. Whatever it does not cover goes the full way, which starts over.
void KTSprite::visit() {
    if (!m_bVisible) return;
    // One test for the four pointers that must all be null.
    if ((reinterpret_cast<uintptr_t>(m_pChildren) | reinterpret_cast<uintptr_t>(m_pGrid) |
         reinterpret_cast<uintptr_t>(m_pCamera) | reinterpret_cast<uintptr_t>(m_pobBatchNode)) ||
        !m_pShaderProgram || (m_uShortVisit != kKTShortVisitYes && !resolveShortVisit())) [[unlikely]]
        return KTNode::visit();
    const KTAffineTransform& t = ownNodeToParentTransform();
    float m[16];
    if (mxGLTopTimesAffine(m, t.a, t.b, t.c, t.d, t.tx, t.ty, m_fVertexZ) && isAffine(m) &&
        m_pShaderProgram->acceptsEyeSpaceVertices() && isUprightQuad()) [[likely]] {
        const GLuint texture = m_pobTexture ? m_pobTexture->getName() : 0;
        if (s_last.generation == ktGLStateGeneration() && s_last.program == m_pShaderProgram &&
            s_last.blendSrc == m_sBlendFunc.src && s_last.blendDst == m_sBlendFunc.dst &&
            s_last.texture == texture && m_pShaderProgram->eyeSpaceUniformsCurrent()) [[likely]] {
            writeUprightEyeSpaceQuad(m, s_eyeSpaceQuad);
            if (m_uOrderOfArrival) m_uOrderOfArrival = 0;
            ++g_drawCallCount;
            // The draw goes last, so that nothing of the sprite is needed after it and the call is the
            // visit's own end.
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
            return;
        }
    }
    KTNode::visit();
}

[[gnu::noinline]] bool KTSprite::resolveShortVisit() {
    // Compared by address: the one object of a class in this program; any doubt merely takes the full way.
    m_uShortVisit = &typeid(*this) == &typeid(KTSprite) ? kKTShortVisitYes : kKTShortVisitNo;
    return m_uShortVisit == kKTShortVisitYes;
}

[[gnu::noinline]] void KTSprite::drawSettingUp(const float* m) {
    const bool eyeSpace = isAffine(m) && m_pShaderProgram->acceptsEyeSpaceVertices();
    const GLuint texture = m_pobTexture ? m_pobTexture->getName() : 0;
    if (eyeSpace) {
        if (isUprightQuad())
            writeUprightEyeSpaceQuad(m, s_eyeSpaceQuad);
        else
            writeEyeSpaceQuad(m, s_eyeSpaceQuad);
    }
    const bool setUp = eyeSpace && s_last.generation == ktGLStateGeneration() &&
                       s_last.program == m_pShaderProgram && s_last.blendSrc == m_sBlendFunc.src &&
                       s_last.blendDst == m_sBlendFunc.dst && s_last.texture == texture &&
                       m_pShaderProgram->eyeSpaceUniformsCurrent();
    if (!setUp) {
        ktGLEnable(m_eGLServerState);
        m_pShaderProgram->use();
        if (eyeSpace)
            m_pShaderProgram->setUniformsForBuiltinsWithoutModelview();
        else
            m_pShaderProgram->setUniformsForBuiltins();
        ktGLBlendFunc(m_sBlendFunc.src, m_sBlendFunc.dst);
        ktGLBindTexture2D(texture);
        ktGLEnableVertexAttribs(kKTVertexAttribFlag_PosColorTex);
        ktGLQuadVertexPointers(eyeSpace ? s_eyeSpaceQuad : &m_sQuad.tl);
        if (eyeSpace)
            s_last = {ktGLStateGeneration(), m_pShaderProgram, m_sBlendFunc.src, m_sBlendFunc.dst, texture};
        else
            s_last = {};
    }
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    ++g_drawCallCount;
}

// Frames.

void KTSprite::setDisplayFrame(KTSpriteFrame* frame) {
    if (!frame) {
        plat::logWarning("KTSprite: no sprite frame to display");
        return;
    }
    m_obUnflippedOffsetPositionFromCenter = frame->getOffset();
    KTTexture2D* newTexture = frame->getTexture();
    if (newTexture != m_pobTexture) setTexture(newTexture);
    m_bRectRotated = frame->isRotated();
    setTextureRect(frame->getRect(), m_bRectRotated, frame->getOriginalSize());
}

bool KTSprite::isFrameDisplayed(KTSpriteFrame* frame) {
    if (!frame) return false;
    KTTexture2D* frameTexture = frame->getTexture();
    const GLuint frameName = frameTexture ? frameTexture->getName() : 0;
    const GLuint ownName = m_pobTexture ? m_pobTexture->getName() : 0;
    return frame->getRect().equals(m_obRect) && frameName == ownName &&
           frame->getOffset().equals(m_obUnflippedOffsetPositionFromCenter);
}

KTSpriteFrame* KTSprite::displayFrame() {
    const float scale = KTDirector::sharedDirector()->getContentScaleFactor();
    return KTSpriteFrame::createWithTexture(
        m_pobTexture, rectInPixels(m_obRect), m_bRectRotated,
        KTPoint(m_obUnflippedOffsetPositionFromCenter.x * scale,
                m_obUnflippedOffsetPositionFromCenter.y * scale),
        KTSize(KTNode::getContentSize().width * scale, KTNode::getContentSize().height * scale));
}

void KTSprite::setDisplayFrameWithAnimationName(const char* animationName, int frameIndex) {
    KTAnimation* animation = KTAnimationCache::sharedAnimationCache()->animationByName(animationName);
    KTArray* frames = animation ? animation->getFrames() : nullptr;
    if (!frames || frameIndex < 0 || static_cast<unsigned int>(frameIndex) >= frames->count()) {
        plat::logWarning("KTSprite: animation %s has no frame %d", animationName ? animationName : "(null)",
                         frameIndex);
        return;
    }
    auto* frame =
        dynamic_cast<KTAnimationFrame*>(frames->objectAtIndex(static_cast<unsigned int>(frameIndex)));
    if (frame) setDisplayFrame(frame->getSpriteFrame());
}

// Transform setters: a batched sprite must rewrite its atlas quad.

void KTSprite::markBatchDirty() {
    if (!m_bBatched || m_bRecursiveDirty) return;
    m_bRecursiveDirty = true;
    setDirty(true);
    if (m_bHasChildren) setDirtyRecursively(true);
}

void KTSprite::setVertexZ(float vertexZ) {
    KTNode::setVertexZ(vertexZ);
    markBatchDirty();
}

void KTSprite::setScaleX(float scaleX) {
    KTNode::setScaleX(scaleX);
    markBatchDirty();
}

void KTSprite::setScaleY(float scaleY) {
    KTNode::setScaleY(scaleY);
    markBatchDirty();
}

void KTSprite::setScale(float scale) {
    KTNode::setScale(scale);
    markBatchDirty();
}

void KTSprite::setPosition(const KTPoint& position) {
    KTNode::setPosition(position);
    markBatchDirty();
}

void KTSprite::setSkewX(float skewX) {
    KTNode::setSkewX(skewX);
    markBatchDirty();
}

void KTSprite::setSkewY(float skewY) {
    KTNode::setSkewY(skewY);
    markBatchDirty();
}

void KTSprite::setAnchorPoint(const KTPoint& anchorPoint) {
    KTNode::setAnchorPoint(anchorPoint);
    markBatchDirty();
}

void KTSprite::setVisible(bool visible) {
    KTNode::setVisible(visible);
    markBatchDirty();
}

void KTSprite::setRotation(float rotation) {
    KTNode::setRotation(rotation);
    markBatchDirty();
}

void KTSprite::setRotationX(float rotationX) {
    KTNode::setRotationX(rotationX);
    markBatchDirty();
}

void KTSprite::setRotationY(float rotationY) {
    KTNode::setRotationY(rotationY);
    markBatchDirty();
}

void KTSprite::setIgnoreAnchorPointForPosition(bool ignore) {
    KTNode::setIgnoreAnchorPointForPosition(ignore);
}

// Children.

void KTSprite::addChild(KTNode* child) {
    KTNode::addChild(child);
}

void KTSprite::addChild(KTNode* child, int zOrder) {
    KTNode::addChild(child, zOrder);
}

void KTSprite::addChild(KTNode* child, int zOrder, int tag) {
    KTAssert(child != nullptr, "Argument must be non-nil");
    if (m_pobBatchNode) {
        auto* childSprite = dynamic_cast<KTSprite*>(child);
        if (!childSprite) {
            plat::logWarning("KTSprite: a batched sprite only takes sprites as children");
            return;
        }
        m_pobBatchNode->appendChild(childSprite);
        if (!m_bReorderChildDirty) setReorderChildDirtyRecursively();
    }
    KTNode::addChild(child, zOrder, tag);
    m_bHasChildren = true;
}

void KTSprite::removeChildWithCleanup(KTNode* child, bool cleanup) {
    if (m_pobBatchNode) {
        if (auto* childSprite = dynamic_cast<KTSprite*>(child))
            m_pobBatchNode->removeSpriteFromAtlas(childSprite);
    }
    KTNode::removeChildWithCleanup(child, cleanup);
}

void KTSprite::removeAllChildrenWithCleanup(bool cleanup) {
    if (m_pobBatchNode && m_pChildren) {
        for (KTObject* object : *m_pChildren) {
            if (auto* childSprite = dynamic_cast<KTSprite*>(object))
                m_pobBatchNode->removeSpriteFromAtlas(childSprite);
        }
    }
    KTNode::removeAllChildrenWithCleanup(cleanup);
    m_bHasChildren = false;
}

void KTSprite::reorderChild(KTNode* child, int zOrder) {
    if (!child || zOrder == child->getZOrder()) return;
    if (m_pobBatchNode && !m_bReorderChildDirty) {
        setReorderChildDirtyRecursively();
        m_pobBatchNode->reorderBatch(true);
    }
    KTNode::reorderChild(child, zOrder);
}

void KTSprite::sortAllChildren() {
    if (!m_bReorderChildDirty) return;
    KTNode::sortAllChildren();
    if (m_pobBatchNode && m_bHasChildren && m_pChildren) {
        for (KTObject* object : *m_pChildren) static_cast<KTNode*>(object)->sortAllChildren();
    }
}

void KTSprite::setReorderChildDirtyRecursively() {
    if (m_bReorderChildDirty) return;
    m_bReorderChildDirty = true;
    for (KTNode* node = m_pParent; node && node != m_pobBatchNode; node = node->getParent()) {
        if (auto* sprite = dynamic_cast<KTSprite*>(node)) sprite->setReorderChildDirtyRecursively();
    }
}

void KTSprite::setDirtyRecursively(bool value) {
    m_bRecursiveDirty = value;
    setDirty(value);
    if (m_bHasChildren && m_pChildren) {
        for (KTObject* object : *m_pChildren) {
            if (auto* childSprite = dynamic_cast<KTSprite*>(object)) childSprite->setDirtyRecursively(true);
        }
    }
}

bool KTSprite::isDirty() {
    return m_bDirty;
}

void KTSprite::setDirty(bool dirty) {
    m_bDirty = dirty;
}

// Batching.

KTSpriteBatchNode* KTSprite::getBatchNode() {
    return m_pobBatchNode;
}

void KTSprite::setBatchNode(KTSpriteBatchNode* batchNode) {
    m_pobBatchNode = batchNode;
    m_bBatched = batchNode != nullptr;
    if (!batchNode) {
        m_uAtlasIndex = kKTSpriteIndexNotInitialized;
        m_pobTextureAtlas = nullptr;
        m_bRecursiveDirty = false;
        setDirty(false);
        writeQuadPositions();
    } else {
        m_transformToBatch = KTAffineTransformMakeIdentity();
        m_pobTextureAtlas = batchNode->getTextureAtlas();
    }
}

void KTSprite::updateTransform() {
    if (isDirty()) {
        auto* parentSprite = dynamic_cast<KTSprite*>(m_pParent);
        const bool parentHidden =
            parentSprite && m_pParent != m_pobBatchNode && parentSprite->m_bShouldBeHidden;
        if (!m_bVisible || parentHidden) {
            m_sQuad.br.vertices = m_sQuad.tl.vertices = m_sQuad.tr.vertices = m_sQuad.bl.vertices = {0, 0, 0};
            m_bShouldBeHidden = true;
        } else {
            m_bShouldBeHidden = false;
            if (!m_pParent || m_pParent == m_pobBatchNode || !parentSprite)
                m_transformToBatch = nodeToParentTransform();
            else
                m_transformToBatch =
                    KTAffineTransformConcat(nodeToParentTransform(), parentSprite->m_transformToBatch);

            const KTAffineTransform& t = m_transformToBatch;
            const float x1 = m_obOffsetPosition.x, y1 = m_obOffsetPosition.y;
            const float x2 = x1 + m_obRect.size.width, y2 = y1 + m_obRect.size.height;
            auto map = [&](float x, float y) {
                return ktVertex3F{x * t.a + y * t.c + t.tx, x * t.b + y * t.d + t.ty, m_fVertexZ};
            };
            m_sQuad.bl.vertices = map(x1, y1);
            m_sQuad.br.vertices = map(x2, y1);
            m_sQuad.tl.vertices = map(x1, y2);
            m_sQuad.tr.vertices = map(x2, y2);
        }
        if (m_pobTextureAtlas) m_pobTextureAtlas->updateQuad(&m_sQuad, m_uAtlasIndex);
        m_bRecursiveDirty = false;
        setDirty(false);
    }
    KTNode::updateTransform();
}

}  // namespace kite
