#include "kite/textures/KTTextureETC.h"

#include "kite/gl/KTGLStateCache.h"

namespace kite {

KTTextureETC::KTTextureETC() = default;

KTTextureETC::~KTTextureETC() {
    if (m_uName) ktGLDeleteTexture(m_uName);
}

bool KTTextureETC::initWithFile(const char* file) {
    (void)file;
    return false;
}

}  // namespace kite
