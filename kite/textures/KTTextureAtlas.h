#pragma once
// Many textured quads of one texture drawn with a single indexed draw call. The quads live in a CPU array
// mirrored in a vertex buffer that is re-uploaded only after a change; the index buffer never changes.
#include <GLES2/gl2.h>

#include "kite/base/KTObject.h"
#include "kite/base/KTTypes.h"

namespace kite {

class KTTexture2D;

class KTTextureAtlas : public KTObject {
  public:
    // 16-bit indices address 65536 vertices: 4 per quad.
    static constexpr unsigned int kMaxCapacity = 16384;

    KTTextureAtlas();
    ~KTTextureAtlas() override;

    virtual unsigned int getTotalQuads() { return m_uTotalQuads; }
    virtual unsigned int getCapacity() { return m_uCapacity; }
    virtual KTTexture2D* getTexture() { return m_pTexture; }
    virtual void setTexture(KTTexture2D* texture);
    // The caller may write into the quads, so the atlas counts as changed.
    virtual ktTexturedQuad* getQuads();
    virtual void setQuads(ktTexturedQuad* quads) { m_pQuads = quads; }

    static KTTextureAtlas* createWithTexture(KTTexture2D* texture, unsigned int capacity);
    bool initWithTexture(KTTexture2D* texture, unsigned int capacity);

    void updateQuad(const ktTexturedQuad* quad, unsigned int index);
    void insertQuad(const ktTexturedQuad* quad, unsigned int index);
    void removeQuadAtIndex(unsigned int index);
    // Keeps the first quads that fit; false (and an empty atlas) when memory runs out.
    bool resizeCapacity(unsigned int newCapacity);
    void increaseTotalQuadsWith(unsigned int amount);
    // Re-uploads every quad and index.
    void mapBuffers();
    void drawNumberOfQuads(unsigned int n, unsigned int start = 0);

    const GLushort* getIndices() const { return m_pIndices; }
    bool isDirty() const { return m_bDirty; }

  private:
    void setupIndices();
    void setupVBOandVAO();
    void setupVBO();
    void uploadDirtyQuads(unsigned int quadCount);

    GLushort* m_pIndices = nullptr;
    GLuint m_uVAOname = 0;
    GLuint m_pBuffersVBO[2] = {0, 0};
    bool m_bDirty = false;
    unsigned int m_uTotalQuads = 0;
    unsigned int m_uCapacity = 0;
    KTTexture2D* m_pTexture = nullptr;
    ktTexturedQuad* m_pQuads = nullptr;
    // Chosen at init: a vertex array object when the driver has them, else buffers bound at each draw.
    bool m_bUseVAO = false;
};

}  // namespace kite
