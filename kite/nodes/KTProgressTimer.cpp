#include "kite/nodes/KTProgressTimer.h"

#include <cstdlib>
#include <utility>

#include "kite/base/KTMacros.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "kite/sprites/KTSprite.h"
#include "kite/textures/KTTexture2D.h"
#include "platform/base/Log.h"

namespace kite {
namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr float kPercentageScale = 100.0f;
constexpr float kLargestFloat = 3.4028235e38f;
// The corners (1,1), (1,0), (0,0), (0,1) as bit pairs, x in the higher bit of each pair.
constexpr unsigned int kBoundaryCorners = 0x4b;

}  // namespace

KTProgressTimer::KTProgressTimer() = default;

KTProgressTimer::~KTProgressTimer() {
    freeVertexData();
    KT_SAFE_RELEASE(m_pSprite);
}

KTProgressTimer* KTProgressTimer::create(KTSprite* sprite) {
    auto* timer = new KTProgressTimer();
    if (timer->initWithSprite(sprite)) return ktAutorelease(timer);
    delete timer;
    return nullptr;
}

bool KTProgressTimer::initWithSprite(KTSprite* sprite) {
    setPercentage(0.0f);
    freeVertexData();
    setAnchorPoint(KTPoint(0.5f, 0.5f));
    m_eType = kKTProgressTimerTypeRadial;
    m_bReverseDirection = false;
    setMidpoint(KTPoint(0.5f, 0.5f));
    setBarChangeRate(KTPoint(1.0f, 1.0f));
    setSprite(sprite);
    setShaderProgram(KTShaderCache::sharedShaderCache()->programForKey(kKTShader_PositionTextureColor));
    return true;
}

void KTProgressTimer::freeVertexData() {
    free(m_pVertexData);
    m_pVertexData = nullptr;
    m_nVertexDataCount = 0;
}

bool KTProgressTimer::allocVertexData(int count) {
    m_pVertexData =
        static_cast<ktProgressVertex*>(calloc(static_cast<size_t>(count), sizeof(ktProgressVertex)));
    if (!m_pVertexData) {
        plat::logError("KTProgressTimer: no memory for %d vertices", count);
        m_nVertexDataCount = 0;
        return false;
    }
    m_nVertexDataCount = count;
    return true;
}

void KTProgressTimer::setPercentage(float percentage) {
    if (m_fPercentage == percentage) return;
    m_fPercentage = clampf(percentage, 0.0f, kPercentageScale);
    updateProgress();
}

void KTProgressTimer::setSprite(KTSprite* sprite) {
    if (m_pSprite == sprite) return;
    KT_SAFE_RETAIN(sprite);
    KT_SAFE_RELEASE(m_pSprite);
    m_pSprite = sprite;
    if (m_pSprite) setContentSize(m_pSprite->getContentSize());
    freeVertexData();
}

void KTProgressTimer::setType(KTProgressTimerType type) {
    if (type == m_eType) return;
    freeVertexData();
    m_eType = type;
}

void KTProgressTimer::setReverseProgress(bool reverse) {
    if (reverse == m_bReverseDirection) return;
    m_bReverseDirection = reverse;
    freeVertexData();
}

void KTProgressTimer::setColor(const _ccColor3B& color) {
    if (m_pSprite) m_pSprite->setColor(color);
    updateColor();
}

const _ccColor3B& KTProgressTimer::getColor() {
    return m_pSprite ? m_pSprite->getColor() : KTNodeRGBA::getColor();
}

void KTProgressTimer::setOpacity(GLubyte opacity) {
    if (m_pSprite) m_pSprite->setOpacity(opacity);
    updateColor();
}

GLubyte KTProgressTimer::getOpacity() {
    return m_pSprite ? m_pSprite->getOpacity() : KTNodeRGBA::getOpacity();
}

const KTPoint& KTProgressTimer::getMidpoint() {
    return m_tMidpoint;
}

void KTProgressTimer::setMidpoint(const KTPoint& midpoint) {
    m_tMidpoint = ktpClamp(midpoint, KTPointZero, KTPoint(1, 1));
}

const KTPoint& KTProgressTimer::getBarChangeRate() {
    return m_tBarChangeRate;
}

void KTProgressTimer::setBarChangeRate(const KTPoint& barChangeRate) {
    m_tBarChangeRate = barChangeRate;
}

ktTex2F KTProgressTimer::textureCoordFromAlphaPoint(KTPoint alpha) {
    if (!m_pSprite) return {0, 0};
    const ktTexturedQuad& quad = m_pSprite->getQuad();
    const KTPoint min(quad.bl.texCoords.u, quad.bl.texCoords.v);
    const KTPoint max(quad.tr.texCoords.u, quad.tr.texCoords.v);
    // A rect stored rotated in the texture runs its axes the other way round.
    if (m_pSprite->isTextureRectRotated()) std::swap(alpha.x, alpha.y);
    return {min.x * (1.0f - alpha.x) + max.x * alpha.x, min.y * (1.0f - alpha.y) + max.y * alpha.y};
}

ktVertex2F KTProgressTimer::vertexFromAlphaPoint(KTPoint alpha) {
    if (!m_pSprite) return {0, 0};
    const ktTexturedQuad& quad = m_pSprite->getQuad();
    const KTPoint min(quad.bl.vertices.x, quad.bl.vertices.y);
    const KTPoint max(quad.tr.vertices.x, quad.tr.vertices.y);
    return {min.x * (1.0f - alpha.x) + max.x * alpha.x, min.y * (1.0f - alpha.y) + max.y * alpha.y};
}

void KTProgressTimer::updateColor() {
    if (!m_pSprite || !m_pVertexData) return;
    const _ccColor4B color = m_pSprite->getQuad().tl.colors;
    for (int i = 0; i < m_nVertexDataCount; ++i) m_pVertexData[i].colors = color;
}

void KTProgressTimer::updateProgress() {
    switch (m_eType) {
        case kKTProgressTimerTypeRadial:
            updateRadial();
            break;
        case kKTProgressTimerTypeBar:
            updateBar();
            break;
    }
}

KTPoint KTProgressTimer::boundaryTexCoord(char index) {
    if (index < 0 || index > 3) return KTPointZero;
    const int pair = index * 2;
    if (m_bReverseDirection)
        return KTPoint(static_cast<float>((kBoundaryCorners >> (7 - pair)) & 1),
                       static_cast<float>((kBoundaryCorners >> (7 - (pair + 1))) & 1));
    return KTPoint(static_cast<float>((kBoundaryCorners >> (pair + 1)) & 1),
                   static_cast<float>((kBoundaryCorners >> pair) & 1));
}

void KTProgressTimer::updateRadial() {
    if (!m_pSprite) return;
    const float alpha = m_fPercentage / kPercentageScale;
    const float angle = kTwoPi * (m_bReverseDirection ? alpha : 1.0f - alpha);

    // The sweep starts at the top edge straight above the midpoint.
    const KTPoint topMid(m_tMidpoint.x, 1.0f);
    const KTPoint percentagePt = ktpRotateByAngle(topMid, m_tMidpoint, angle);

    int index = 0;
    KTPoint hit;
    if (alpha == 0.0f) {
        hit = topMid;
        index = 0;
    } else if (alpha == 1.0f) {
        hit = topMid;
        index = 4;
    } else {
        float minT = kLargestFloat;
        for (int i = 0; i <= 4; ++i) {
            const int pIndex = (i + 3) % 4;
            KTPoint edgePtA = boundaryTexCoord(static_cast<char>(i % 4));
            KTPoint edgePtB = boundaryTexCoord(static_cast<char>(pIndex));
            // The top edge is split at the midpoint: its right half is tried first, its left half last.
            if (i == 0)
                edgePtB = ktpLerp(edgePtA, edgePtB, 1.0f - m_tMidpoint.x);
            else if (i == 4)
                edgePtA = ktpLerp(edgePtA, edgePtB, 1.0f - m_tMidpoint.x);

            float s = 0.0f, t = 0.0f;
            if (ktpLineIntersect(edgePtA, edgePtB, m_tMidpoint, percentagePt, &s, &t)) {
                if ((i == 0 || i == 4) && !(0.0f <= s && s <= 1.0f)) continue;
                if (t >= 0.0f && t < minT) {
                    minT = t;
                    index = i;
                }
            }
        }
        hit = minT < kLargestFloat ? m_tMidpoint + (percentagePt - m_tMidpoint) * minT : topMid;
    }

    bool sameIndexCount = true;
    if (m_nVertexDataCount != index + 3) {
        sameIndexCount = false;
        freeVertexData();
    }
    if (!m_pVertexData && !allocVertexData(index + 3)) return;
    updateColor();

    if (!sameIndexCount) {
        m_pVertexData[0].texCoords = textureCoordFromAlphaPoint(m_tMidpoint);
        m_pVertexData[0].vertices = vertexFromAlphaPoint(m_tMidpoint);
        m_pVertexData[1].texCoords = textureCoordFromAlphaPoint(topMid);
        m_pVertexData[1].vertices = vertexFromAlphaPoint(topMid);
        for (int i = 0; i < index; ++i) {
            const KTPoint corner = boundaryTexCoord(static_cast<char>(i));
            m_pVertexData[i + 2].texCoords = textureCoordFromAlphaPoint(corner);
            m_pVertexData[i + 2].vertices = vertexFromAlphaPoint(corner);
        }
    }
    m_pVertexData[m_nVertexDataCount - 1].texCoords = textureCoordFromAlphaPoint(hit);
    m_pVertexData[m_nVertexDataCount - 1].vertices = vertexFromAlphaPoint(hit);
}

void KTProgressTimer::updateBar() {
    if (!m_pSprite) return;
    const float alpha = m_fPercentage / kPercentageScale;
    const KTPoint alphaOffset = KTPoint((1.0f - m_tBarChangeRate.x) + alpha * m_tBarChangeRate.x,
                                        (1.0f - m_tBarChangeRate.y) + alpha * m_tBarChangeRate.y) *
                                0.5f;
    KTPoint min = m_tMidpoint - alphaOffset;
    KTPoint max = m_tMidpoint + alphaOffset;

    // Keep the box inside the picture, x first, then y.
    if (min.x < 0.0f) {
        max.x += -min.x;
        min.x = 0.0f;
    }
    if (max.x > 1.0f) {
        min.x -= max.x - 1.0f;
        max.x = 1.0f;
    }
    if (min.y < 0.0f) {
        max.y += -min.y;
        min.y = 0.0f;
    }
    if (max.y > 1.0f) {
        min.y -= max.y - 1.0f;
        max.y = 1.0f;
    }

    auto set = [this](int i, const KTPoint& p) {
        m_pVertexData[i].texCoords = textureCoordFromAlphaPoint(p);
        m_pVertexData[i].vertices = vertexFromAlphaPoint(p);
    };
    if (!m_bReverseDirection) {
        if (!m_pVertexData && !allocVertexData(4)) return;
        set(0, KTPoint(min.x, max.y));
        set(1, KTPoint(min.x, min.y));
        set(2, KTPoint(max.x, max.y));
        set(3, KTPoint(max.x, min.y));
    } else {
        if (!m_pVertexData) {
            if (!allocVertexData(8)) return;
            set(0, KTPoint(0, 1));
            set(1, KTPoint(0, 0));
            set(6, KTPoint(1, 1));
            set(7, KTPoint(1, 0));
        }
        set(2, KTPoint(min.x, max.y));
        set(3, KTPoint(min.x, min.y));
        set(4, KTPoint(max.x, max.y));
        set(5, KTPoint(max.x, min.y));
    }
    updateColor();
}

void KTProgressTimer::draw() {
    if (!m_pVertexData || !m_pSprite || !m_pShaderProgram) return;

    ktGLEnable(m_eGLServerState);
    m_pShaderProgram->use();
    m_pShaderProgram->setUniformsForBuiltins();

    const _ccBlendFunc blend = m_pSprite->getBlendFunc();
    ktGLBlendFunc(blend.src, blend.dst);
    // Leaves no vertex array object bound: the vertices come from client memory.
    ktGLEnableVertexAttribs(kKTVertexAttribFlag_PosColorTex);
    ktGLBindTexture2D(m_pSprite->getTexture() ? m_pSprite->getTexture()->getName() : 0);
    ktGLClientVertexPointers();

    constexpr GLsizei stride = sizeof(ktProgressVertex);
    glVertexAttribPointer(kKTVertexAttrib_Position, 2, GL_FLOAT, GL_FALSE, stride,
                          &m_pVertexData[0].vertices);
    glVertexAttribPointer(kKTVertexAttrib_TexCoords, 2, GL_FLOAT, GL_FALSE, stride,
                          &m_pVertexData[0].texCoords);
    glVertexAttribPointer(kKTVertexAttrib_Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          &m_pVertexData[0].colors);

    if (m_eType == kKTProgressTimerTypeRadial) {
        glDrawArrays(GL_TRIANGLE_FAN, 0, m_nVertexDataCount);
        ++g_drawCallCount;
    } else if (!m_bReverseDirection) {
        glDrawArrays(GL_TRIANGLE_STRIP, 0, m_nVertexDataCount);
        ++g_drawCallCount;
    } else {
        glDrawArrays(GL_TRIANGLE_STRIP, 0, m_nVertexDataCount / 2);
        glDrawArrays(GL_TRIANGLE_STRIP, 4, m_nVertexDataCount / 2);
        g_drawCallCount += 2;
    }
}

}  // namespace kite
