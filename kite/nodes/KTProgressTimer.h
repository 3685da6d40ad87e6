#pragma once
// Shows part of an inner sprite by a percentage: a pie sector sweeping round a centre (radial) or a
// rectangle growing from a midpoint (bar). The timer builds its own vertex list from the sprite's quad and
// draws it with the sprite's texture and blend function; the sprite itself is never drawn.
#include "kite/base/KTGeometry.h"
#include "kite/base/KTTypes.h"
#include "kite/nodes/KTNodeRGBA.h"

namespace kite {

class KTSprite;

enum KTProgressTimerType {
    kKTProgressTimerTypeRadial = 0,
    kKTProgressTimerTypeBar = 1,
};

// The vertex layout handed to GL: 20 bytes.
struct ktProgressVertex {
    ktVertex2F vertices;
    _ccColor4B colors;
    ktTex2F texCoords;
};
static_assert(sizeof(ktProgressVertex) == 20);

class KTProgressTimer : public KTNodeRGBA {
  public:
    KTProgressTimer();
    ~KTProgressTimer() override;

    static KTProgressTimer* create(KTSprite* sprite);
    bool initWithSprite(KTSprite* sprite);

    void draw() override;
    void setOpacity(GLubyte opacity) override;
    void setColor(const _ccColor3B& color) override;
    // The inner sprite's colour and opacity.
    const _ccColor3B& getColor() override;
    GLubyte getOpacity() override;

    // Clamped to the unit square.
    virtual const KTPoint& getMidpoint();
    virtual void setMidpoint(const KTPoint& midpoint);
    virtual const KTPoint& getBarChangeRate();
    virtual void setBarChangeRate(const KTPoint& barChangeRate);

    KTProgressTimerType getType() const { return m_eType; }
    // Frees the vertices; they are built again at the next change of the percentage.
    void setType(KTProgressTimerType type);
    float getPercentage() const { return m_fPercentage; }
    // Clamped to 0..100; the same value again builds nothing.
    void setPercentage(float percentage);
    KTSprite* getSprite() const { return m_pSprite; }
    void setSprite(KTSprite* sprite);
    bool isReverseDirection() const { return m_bReverseDirection; }
    void setReverseProgress(bool reverse);

    int getVertexDataCount() const { return m_nVertexDataCount; }
    const ktProgressVertex* getVertexData() const { return m_pVertexData; }

  protected:
    ktTex2F textureCoordFromAlphaPoint(KTPoint alpha);
    ktVertex2F vertexFromAlphaPoint(KTPoint alpha);
    void updateProgress();
    void updateBar();
    void updateRadial();
    void updateColor();
    KTPoint boundaryTexCoord(char index);
    void freeVertexData();
    // Null (and a logged error) when count vertices cannot be had.
    bool allocVertexData(int count);

    KTProgressTimerType m_eType = kKTProgressTimerTypeRadial;
    float m_fPercentage = 0.0f;
    KTSprite* m_pSprite = nullptr;
    int m_nVertexDataCount = 0;
    ktProgressVertex* m_pVertexData = nullptr;
    KTPoint m_tMidpoint;
    KTPoint m_tBarChangeRate;
    bool m_bReverseDirection = false;
};

}  // namespace kite
