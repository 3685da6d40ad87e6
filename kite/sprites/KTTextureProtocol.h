#pragma once
// Implemented by nodes that draw a texture with their own blend function.
#include "kite/layers/KTBlendProtocol.h"

namespace kite {

class KTTexture2D;

class KTTextureProtocol : public KTBlendProtocol {
  public:
    virtual KTTexture2D* getTexture() = 0;
    virtual void setTexture(KTTexture2D* texture) = 0;
};

}  // namespace kite
