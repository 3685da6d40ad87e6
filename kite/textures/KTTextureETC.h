#pragma once
// Reader of ETC (".pkm") texture files. No GPU this engine runs on decodes them, so loading always fails
// and the texture cache answers null for such files.
#include <GLES2/gl2.h>

#include "kite/base/KTObject.h"

namespace kite {

class KTTextureETC : public KTObject {
  public:
    KTTextureETC();
    ~KTTextureETC() override;

    // Always false here.
    bool initWithFile(const char* file);

    GLuint getName() const { return m_uName; }
    unsigned int getWidth() const { return m_uWidth; }
    unsigned int getHeight() const { return m_uHeight; }

  private:
    GLuint m_uName = 0;
    unsigned int m_uWidth = 0;
    unsigned int m_uHeight = 0;
};

}  // namespace kite
