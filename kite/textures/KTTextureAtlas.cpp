#include "kite/textures/KTTextureAtlas.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kite/base/KTMacros.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/textures/KTTexture2D.h"
#include "platform/base/Log.h"
#include "platform/media/GLContext.h"

namespace kite {
namespace {

constexpr size_t kQuadBytes = sizeof(ktTexturedQuad);
constexpr size_t kIndexBytesPerQuad = 6 * sizeof(GLushort);

bool vaoAvailable() {
    const KTGLStateCalls& calls = ktGLStateCalls();
    return plat::glGenVertexArraysOES && plat::glBindVertexArrayOES && plat::glDeleteVertexArraysOES &&
           calls.genVertexArrays && calls.bindVertexArray && calls.deleteVertexArrays;
}

void setQuadAttribPointers() {
    ktGLForgetVertexPointers();
    glVertexAttribPointer(kKTVertexAttrib_Position, 3, GL_FLOAT, GL_FALSE, sizeof(ktQuadVertex),
                          reinterpret_cast<const GLvoid*>(offsetof(ktQuadVertex, vertices)));
    glVertexAttribPointer(kKTVertexAttrib_Color, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(ktQuadVertex),
                          reinterpret_cast<const GLvoid*>(offsetof(ktQuadVertex, colors)));
    glVertexAttribPointer(kKTVertexAttrib_TexCoords, 2, GL_FLOAT, GL_FALSE, sizeof(ktQuadVertex),
                          reinterpret_cast<const GLvoid*>(offsetof(ktQuadVertex, texCoords)));
}

}  // namespace

KTTextureAtlas::KTTextureAtlas() = default;

KTTextureAtlas::~KTTextureAtlas() {
    free(m_pQuads);
    free(m_pIndices);
    if (m_pBuffersVBO[0] || m_pBuffersVBO[1]) glDeleteBuffers(2, m_pBuffersVBO);
    if (m_uVAOname) {
        // A deleted object's name may come back from GL; the cache must not believe it is still bound.
        ktGLBindVAO(0);
        ktGLStateCalls().deleteVertexArrays(1, &m_uVAOname);
    }
    KT_SAFE_RELEASE(m_pTexture);
}

KTTextureAtlas* KTTextureAtlas::createWithTexture(KTTexture2D* texture, unsigned int capacity) {
    auto* atlas = new KTTextureAtlas();
    if (atlas->initWithTexture(texture, capacity)) return ktAutorelease(atlas);
    delete atlas;
    return nullptr;
}

void KTTextureAtlas::setTexture(KTTexture2D* texture) {
    KT_SAFE_RETAIN(texture);
    KT_SAFE_RELEASE(m_pTexture);
    m_pTexture = texture;
}

ktTexturedQuad* KTTextureAtlas::getQuads() {
    m_bDirty = true;
    return m_pQuads;
}

bool KTTextureAtlas::initWithTexture(KTTexture2D* texture, unsigned int capacity) {
    if (capacity > kMaxCapacity) {
        plat::logError("KTTextureAtlas: capacity %u is more than %u quads can address", capacity,
                       kMaxCapacity);
        return false;
    }
    m_uTotalQuads = 0;
    m_uCapacity = capacity;
    setTexture(texture);

    m_pQuads = static_cast<ktTexturedQuad*>(calloc(capacity, kQuadBytes));
    m_pIndices = static_cast<GLushort*>(calloc(static_cast<size_t>(capacity) * 6, sizeof(GLushort)));
    if (capacity && (!m_pQuads || !m_pIndices)) {
        free(m_pQuads);
        free(m_pIndices);
        m_pQuads = nullptr;
        m_pIndices = nullptr;
        KT_SAFE_RELEASE_NULL(m_pTexture);
        m_uCapacity = 0;
        return false;
    }

    setupIndices();
    m_bUseVAO = vaoAvailable();
    if (m_bUseVAO)
        setupVBOandVAO();
    else
        setupVBO();
    m_bDirty = true;
    return true;
}

void KTTextureAtlas::setupIndices() {
    for (unsigned int i = 0; i < m_uCapacity; ++i) {
        const auto base = static_cast<GLushort>(i * 4);
        GLushort* quad = m_pIndices + static_cast<size_t>(i) * 6;
        quad[0] = base;
        quad[1] = static_cast<GLushort>(base + 1);
        quad[2] = static_cast<GLushort>(base + 2);
        quad[3] = static_cast<GLushort>(base + 3);
        quad[4] = static_cast<GLushort>(base + 2);
        quad[5] = static_cast<GLushort>(base + 1);
    }
}

void KTTextureAtlas::setupVBOandVAO() {
    ktGLStateCalls().genVertexArrays(1, &m_uVAOname);
    ktGLBindVAO(m_uVAOname);
    glGenBuffers(2, m_pBuffersVBO);

    glBindBuffer(GL_ARRAY_BUFFER, m_pBuffersVBO[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(kQuadBytes * m_uCapacity), m_pQuads,
                 GL_DYNAMIC_DRAW);
    setQuadAttribPointers();
    glEnableVertexAttribArray(kKTVertexAttrib_Position);
    glEnableVertexAttribArray(kKTVertexAttrib_Color);
    glEnableVertexAttribArray(kKTVertexAttrib_TexCoords);

    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_pBuffersVBO[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(kIndexBytesPerQuad * m_uCapacity),
                 m_pIndices, GL_STATIC_DRAW);

    // The object must be unbound first, or unbinding the element buffer would take it out of the object.
    ktGLBindVAO(0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void KTTextureAtlas::setupVBO() {
    glGenBuffers(2, m_pBuffersVBO);
    mapBuffers();
}

void KTTextureAtlas::mapBuffers() {
    ktGLBindVAO(0);
    glBindBuffer(GL_ARRAY_BUFFER, m_pBuffersVBO[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(kQuadBytes * m_uCapacity), m_pQuads,
                 GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_pBuffersVBO[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(kIndexBytesPerQuad * m_uCapacity),
                 m_pIndices, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void KTTextureAtlas::updateQuad(const ktTexturedQuad* quad, unsigned int index) {
    if (!quad || index >= m_uCapacity) {
        plat::logError("KTTextureAtlas: updateQuad at %u is outside the capacity %u", index, m_uCapacity);
        return;
    }
    m_uTotalQuads = std::max(index + 1, m_uTotalQuads);
    m_pQuads[index] = *quad;
    m_bDirty = true;
}

void KTTextureAtlas::insertQuad(const ktTexturedQuad* quad, unsigned int index) {
    if (!quad || index > m_uTotalQuads || m_uTotalQuads >= m_uCapacity) {
        plat::logError("KTTextureAtlas: insertQuad at %u with %u of %u quads in use", index, m_uTotalQuads,
                       m_uCapacity);
        return;
    }
    const unsigned int after = m_uTotalQuads - index;
    if (after) memmove(&m_pQuads[index + 1], &m_pQuads[index], kQuadBytes * after);
    m_pQuads[index] = *quad;
    ++m_uTotalQuads;
    m_bDirty = true;
}

void KTTextureAtlas::removeQuadAtIndex(unsigned int index) {
    if (index >= m_uTotalQuads) {
        plat::logError("KTTextureAtlas: removeQuadAtIndex %u with %u quads in use", index, m_uTotalQuads);
        return;
    }
    const unsigned int after = m_uTotalQuads - index - 1;
    if (after) memmove(&m_pQuads[index], &m_pQuads[index + 1], kQuadBytes * after);
    --m_uTotalQuads;
    m_bDirty = true;
}

void KTTextureAtlas::increaseTotalQuadsWith(unsigned int amount) {
    if (amount > m_uCapacity - m_uTotalQuads) {
        plat::logError("KTTextureAtlas: %u more quads do not fit (%u of %u in use)", amount, m_uTotalQuads,
                       m_uCapacity);
        m_uTotalQuads = m_uCapacity;
        return;
    }
    m_uTotalQuads += amount;
}

bool KTTextureAtlas::resizeCapacity(unsigned int newCapacity) {
    if (newCapacity == m_uCapacity) return true;
    if (newCapacity > kMaxCapacity) {
        plat::logError("KTTextureAtlas: capacity %u is more than %u quads can address", newCapacity,
                       kMaxCapacity);
        return false;
    }
    const unsigned int oldCapacity = m_uCapacity;
    m_uTotalQuads = std::min(m_uTotalQuads, newCapacity);
    m_uCapacity = newCapacity;

    // Always keep at least one byte so that a capacity of 0 is not confused with a failed allocation.
    const size_t quadBytes = std::max<size_t>(kQuadBytes * newCapacity, 1);
    const size_t indexBytes = std::max<size_t>(kIndexBytesPerQuad * newCapacity, 1);
    auto* quads = static_cast<ktTexturedQuad*>(realloc(m_pQuads, quadBytes));
    if (quads) m_pQuads = quads;
    auto* indices = static_cast<GLushort*>(realloc(m_pIndices, indexBytes));
    if (indices) m_pIndices = indices;

    if (!quads || !indices) {
        free(m_pQuads);
        free(m_pIndices);
        m_pQuads = nullptr;
        m_pIndices = nullptr;
        m_uTotalQuads = 0;
        m_uCapacity = 0;
        return false;
    }
    if (newCapacity > oldCapacity) {
        memset(static_cast<void*>(&m_pQuads[oldCapacity]), 0, kQuadBytes * (newCapacity - oldCapacity));
        memset(&m_pIndices[static_cast<size_t>(oldCapacity) * 6], 0,
               kIndexBytesPerQuad * (newCapacity - oldCapacity));
    }
    setupIndices();
    mapBuffers();
    m_bDirty = true;
    return true;
}

void KTTextureAtlas::uploadDirtyQuads(unsigned int quadCount) {
    // The buffer keeps the full capacity so that a later, larger draw never reads past its end.
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(kQuadBytes * m_uCapacity), nullptr,
                 GL_DYNAMIC_DRAW);
    const size_t bytes = kQuadBytes * quadCount;
    void* mapped = plat::glMapBufferOES ? plat::glMapBufferOES(GL_ARRAY_BUFFER, GL_WRITE_ONLY_OES) : nullptr;
    if (mapped) {
        memcpy(mapped, m_pQuads, bytes);
        plat::glUnmapBufferOES(GL_ARRAY_BUFFER);
    } else {
        glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), m_pQuads);
    }
    m_bDirty = false;
}

void KTTextureAtlas::drawNumberOfQuads(unsigned int n, unsigned int start) {
    if (n == 0) return;
    if (start >= m_uCapacity || n > m_uCapacity - start) {
        plat::logError("KTTextureAtlas: drawing quads %u..%u of a capacity of %u", start, start + n - 1,
                       m_uCapacity);
        if (start >= m_uCapacity) return;
        n = m_uCapacity - start;
    }

    ktGLBindTexture2D(m_pTexture ? m_pTexture->getName() : 0);

    // Every quad in use goes up, not only the drawn ones, so a later draw of more quads finds them.
    const unsigned int uploadCount = std::max(start + n, m_uTotalQuads);
    const auto indexOffset =
        reinterpret_cast<const GLvoid*>(static_cast<uintptr_t>(start) * kIndexBytesPerQuad);

    if (m_bUseVAO) {
        if (m_bDirty) {
            glBindBuffer(GL_ARRAY_BUFFER, m_pBuffersVBO[0]);
            uploadDirtyQuads(uploadCount);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
        }
        ktGLBindVAO(m_uVAOname);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(n * 6), GL_UNSIGNED_SHORT, indexOffset);
        // Sprites and other client-memory draws follow; they must not find this object bound.
        ktGLBindVAO(0);
    } else {
        glBindBuffer(GL_ARRAY_BUFFER, m_pBuffersVBO[0]);
        if (m_bDirty) uploadDirtyQuads(uploadCount);
        ktGLEnableVertexAttribs(kKTVertexAttribFlag_PosColorTex);
        setQuadAttribPointers();
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_pBuffersVBO[1]);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(n * 6), GL_UNSIGNED_SHORT, indexOffset);
        // Client-memory draws that follow would read their pointers as offsets into these buffers.
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }

    ++g_drawCallCount;
}

}  // namespace kite
